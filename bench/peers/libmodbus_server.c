/* libmodbus peer of the server benchmark: 65536 holding and input registers, the usual
 * receive/reply loop, select() over the listening socket and up to two connections.
 *
 * usage: libmodbus_server port        (stops on SIGTERM or SIGINT)
 */
#include <errno.h>
#include <modbus/modbus.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/select.h>
#include <unistd.h>

#define MAX_CONNECTIONS 2

static volatile sig_atomic_t stopping = 0;
static void onSignal(int sig)
{
    (void)sig;
    stopping = 1;
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: libmodbus_server port\n");
        return 2;
    }
    signal(SIGTERM, onSignal);
    signal(SIGINT, onSignal);
    modbus_t* ctx = modbus_new_tcp("127.0.0.1", atoi(argv[1]));
    modbus_mapping_t* map = modbus_mapping_new(0, 0, 65536, 65536);
    if (!ctx || !map) {
        fprintf(stderr, "libmodbus_server: %s\n", modbus_strerror(errno));
        return 1;
    }
    int lfd = modbus_tcp_listen(ctx, MAX_CONNECTIONS);
    if (lfd < 0) {
        fprintf(stderr, "libmodbus_server: listen: %s\n", modbus_strerror(errno));
        return 1;
    }
    int clients[MAX_CONNECTIONS] = {-1, -1};
    uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
    while (!stopping) {
        fd_set rd;
        FD_ZERO(&rd);
        int maxfd = -1, open = 0;
        for (int i = 0; i < MAX_CONNECTIONS; ++i) {
            if (clients[i] >= 0) {
                FD_SET(clients[i], &rd);
                maxfd = clients[i] > maxfd ? clients[i] : maxfd;
                ++open;
            }
        }
        if (open < MAX_CONNECTIONS) {
            FD_SET(lfd, &rd);
            maxfd = lfd > maxfd ? lfd : maxfd;
        }
        struct timeval tv = {0, 500000};
        if (select(maxfd + 1, &rd, NULL, NULL, &tv) < 0) {
            if (errno == EINTR)
                continue;
            perror("libmodbus_server: select");
            break;
        }
        if (open < MAX_CONNECTIONS && FD_ISSET(lfd, &rd)) {
            int fd = lfd;
            int client = modbus_tcp_accept(ctx, &fd); /* accepts and makes it the context's socket */
            for (int i = 0; client >= 0 && i < MAX_CONNECTIONS; ++i) {
                if (clients[i] < 0) {
                    clients[i] = client;
                    break;
                }
            }
        }
        for (int i = 0; i < MAX_CONNECTIONS; ++i) {
            if (clients[i] < 0 || !FD_ISSET(clients[i], &rd))
                continue;
            modbus_set_socket(ctx, clients[i]);
            int rc = modbus_receive(ctx, query);
            if (rc > 0) {
                modbus_reply(ctx, query, rc, map);
            } else if (rc < 0) {
                close(clients[i]);
                clients[i] = -1;
            }
        }
    }
    for (int i = 0; i < MAX_CONNECTIONS; ++i)
        if (clients[i] >= 0)
            close(clients[i]);
    close(lfd);
    modbus_mapping_free(map);
    modbus_free(ctx);
    return 0;
}
