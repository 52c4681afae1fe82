/* The "limit" server of the benchmark: what a trivial Modbus/TCP server costs on this kernel.
 *
 * Reads whole frames (the length in the header says how long), and answers each with a canned
 * reply of the right size for its function code: the request's header is echoed, an FC3 or FC4
 * reply carries the byte count and zeros, any other function echoes address and quantity. No
 * register store, no checks. Up to 8 connections, served from one thread with poll().
 *
 * usage: limit_server port        (stops on SIGTERM or SIGINT)
 */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#define MAX_CLIENTS 8

struct client {
    uint8_t buf[600];
    int have;
};

static volatile sig_atomic_t stopping = 0;
static void onSignal(int sig)
{
    (void)sig;
    stopping = 1;
}

/* Answers every complete frame at the front of c->buf; returns -1 when the connection must go. */
static int answerFrames(int fd, struct client* c)
{
    int used = 0;
    while (c->have - used >= 6) {
        uint8_t* q = c->buf + used;
        int frame = 6 + ((q[4] << 8) | q[5]);
        if (frame < 8 || frame > 260)
            return -1;
        if (c->have - used < frame)
            break;
        uint8_t reply[300];
        int n;
        memcpy(reply, q, 8);
        if (q[7] == 3 || q[7] == 4) {
            int bytes = 2 * ((q[10] << 8) | q[11]);
            if (bytes > 250)
                bytes = 250;
            reply[8] = (uint8_t)bytes;
            memset(reply + 9, 0, (size_t)bytes);
            n = 9 + bytes;
        } else {
            memcpy(reply + 8, q + 8, 4);
            n = 12;
        }
        reply[4] = (uint8_t)((n - 6) >> 8);
        reply[5] = (uint8_t)(n - 6);
        if (send(fd, reply, (size_t)n, MSG_NOSIGNAL) != n)
            return -1;
        used += frame;
    }
    memmove(c->buf, c->buf + used, (size_t)(c->have - used));
    c->have -= used;
    return 0;
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: limit_server port\n");
        return 2;
    }
    signal(SIGTERM, onSignal);
    signal(SIGINT, onSignal);
    int lfd = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(lfd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    struct sockaddr_in addr;
    memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_port = htons((uint16_t)atoi(argv[1]));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(lfd, (struct sockaddr*)&addr, sizeof addr) != 0 || listen(lfd, 8) != 0) {
        perror("limit_server: listen");
        return 1;
    }
    struct pollfd pfd[MAX_CLIENTS + 1];
    static struct client clients[MAX_CLIENTS + 1];
    int n = 1;
    pfd[0].fd = lfd;
    pfd[0].events = POLLIN;
    while (!stopping) {
        if (poll(pfd, (nfds_t)n, 500) < 0) {
            if (errno == EINTR)
                continue;
            perror("limit_server: poll");
            return 1;
        }
        for (int i = n - 1; i >= 1; --i) {
            if (!pfd[i].revents)
                continue;
            struct client* c = &clients[i];
            ssize_t got = recv(pfd[i].fd, c->buf + c->have, sizeof c->buf - (size_t)c->have, 0);
            if (got > 0) {
                c->have += (int)got;
                if (answerFrames(pfd[i].fd, c) == 0)
                    continue;
            } else if (got < 0 && errno == EINTR) {
                continue;
            }
            close(pfd[i].fd);
            pfd[i] = pfd[n - 1];
            clients[i] = clients[n - 1];
            --n;
        }
        if ((pfd[0].revents & POLLIN) && n <= MAX_CLIENTS) {
            int fd = accept(lfd, NULL, NULL);
            if (fd >= 0) {
                pfd[n].fd = fd;
                pfd[n].events = POLLIN;
                pfd[n].revents = 0;
                clients[n].have = 0;
                ++n;
            }
        }
    }
    for (int i = 0; i < n; ++i)
        close(pfd[i].fd);
    return 0;
}
