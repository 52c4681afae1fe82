/* Load generator for the server benchmark.
 *
 * Opens N connections to 127.0.0.1:port (TCP_NODELAY), keeps exactly one request outstanding on
 * each, and checks every reply: its length must be exactly what the request calls for, and its
 * transaction identifier, protocol identifier, length field, unit identifier, function code and
 * byte count (FC3) or echoed address and quantity (FC16) must match. Stops after a number of
 * requests or a number of seconds, whichever comes first, and prints one line:
 *
 *   rps=<completed per second> p50_us=<median latency> p99_us=<99th percentile> n=<completed> errors=<n>
 *
 * With -P, one more line per connection follows: conn=<1..N> p50_us=... p99_us=... n=...
 *
 * Exit status: 0 when every reply was right, 1 on a wrong reply, a closed connection or a socket
 * error (the figures printed then cover what was completed), 2 on bad arguments.
 */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#define MAX_CONNS 8
#define UNIT_ID 1
#define FC16_ADDRESS 100

struct conn {
    int fd;
    uint16_t ti;
    uint8_t request[300];
    int requestLength;
    uint8_t reply[300];
    int have;     /* reply bytes received so far */
    int expected; /* reply length the request calls for */
    uint64_t sentNs;
};

static uint64_t nowNs(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000000000ull + (uint64_t)ts.tv_nsec;
}

static int fc = 3, quantity = 10;

static void buildRequest(struct conn* c)
{
    uint8_t* r = c->request;
    c->ti = (uint16_t)(c->ti + 1);
    r[0] = (uint8_t)(c->ti >> 8);
    r[1] = (uint8_t)c->ti;
    r[2] = r[3] = 0;
    r[6] = UNIT_ID;
    r[7] = (uint8_t)fc;
    if (fc == 3) {
        r[4] = 0;
        r[5] = 6;
        r[8] = 0;
        r[9] = 0; /* start address 0 */
        r[10] = (uint8_t)(quantity >> 8);
        r[11] = (uint8_t)quantity;
        c->requestLength = 12;
        c->expected = 9 + 2 * quantity;
    } else {
        int bytes = 2 * quantity;
        r[4] = 0;
        r[5] = (uint8_t)(7 + bytes);
        r[8] = (uint8_t)(FC16_ADDRESS >> 8);
        r[9] = (uint8_t)FC16_ADDRESS;
        r[10] = (uint8_t)(quantity >> 8);
        r[11] = (uint8_t)quantity;
        r[12] = (uint8_t)bytes;
        for (int i = 0; i < quantity; ++i) {
            uint16_t v = (uint16_t)(c->ti + i);
            r[13 + 2 * i] = (uint8_t)(v >> 8);
            r[14 + 2 * i] = (uint8_t)v;
        }
        c->requestLength = 13 + bytes;
        c->expected = 12;
    }
}

/* Returns NULL when the complete reply is right, otherwise what is wrong. */
static const char* checkReply(const struct conn* c)
{
    const uint8_t* q = c->request;
    const uint8_t* r = c->reply;
    if (c->have != c->expected)
        return "wrong length";
    if (r[0] != q[0] || r[1] != q[1])
        return "wrong transaction identifier";
    if (r[2] != 0 || r[3] != 0)
        return "wrong protocol identifier";
    if (((r[4] << 8) | r[5]) != c->expected - 6)
        return "wrong length field";
    if (r[6] != q[6])
        return "wrong unit identifier";
    if (r[7] != q[7])
        return "wrong function code";
    if (fc == 3 && r[8] != 2 * quantity)
        return "wrong byte count";
    if (fc == 16 && memcmp(r + 8, q + 8, 4) != 0)
        return "wrong address or quantity echo";
    return NULL;
}

static int sendAll(int fd, const uint8_t* p, int n)
{
    while (n > 0) {
        ssize_t k = send(fd, p, (size_t)n, MSG_NOSIGNAL);
        if (k < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        p += k;
        n -= (int)k;
    }
    return 0;
}

static int cmpU64(const void* a, const void* b)
{
    uint64_t x = *(const uint64_t*)a, y = *(const uint64_t*)b;
    return x < y ? -1 : x > y;
}

static void usage(void)
{
    fprintf(stderr, "usage: loadgen -p port [-c connections] [-f 3|16] [-q quantity] [-n max requests] "
                    "[-t max seconds] [-w warm-up requests per connection] [-P]\n");
    exit(2);
}

int main(int argc, char** argv)
{
    int port = 0, nconns = 1, warmup = 100, opt;
    long maxRequests = 100000;
    double maxSeconds = 2.0;
    int perConnection = 0;
    while ((opt = getopt(argc, argv, "p:c:f:q:n:t:w:P")) != -1) {
        switch (opt) {
        case 'p':
            port = atoi(optarg);
            break;
        case 'c':
            nconns = atoi(optarg);
            break;
        case 'f':
            fc = atoi(optarg);
            break;
        case 'q':
            quantity = atoi(optarg);
            break;
        case 'n':
            maxRequests = atol(optarg);
            break;
        case 't':
            maxSeconds = atof(optarg);
            break;
        case 'w':
            warmup = atoi(optarg);
            break;
        case 'P':
            perConnection = 1;
            break;
        default:
            usage();
        }
    }
    if (port < 1 || port > 65535 || nconns < 1 || nconns > MAX_CONNS || maxRequests < 1 || maxSeconds <= 0 ||
        warmup < 0 || (fc != 3 && fc != 16) || quantity < 1 || (fc == 3 && quantity > 125) ||
        (fc == 16 && quantity > 123))
        usage();

    struct conn conns[MAX_CONNS];
    struct pollfd pfd[MAX_CONNS];
    struct sockaddr_in addr;
    memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_port = htons((uint16_t)port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 0; i < nconns; ++i) {
        memset(&conns[i], 0, sizeof conns[i]);
        conns[i].ti = (uint16_t)(0x1000 * (i + 1));
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        if (fd < 0 || setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) != 0 ||
            connect(fd, (struct sockaddr*)&addr, sizeof addr) != 0) {
            fprintf(stderr, "loadgen: connect to port %d: %s\n", port, strerror(errno));
            return 1;
        }
        conns[i].fd = fd;
        pfd[i].fd = fd;
        pfd[i].events = POLLIN;
    }

    uint64_t* latencies = malloc(sizeof(uint64_t) * (size_t)(maxRequests + MAX_CONNS));
    /* Each connection's latencies too, for -P. */
    uint64_t* own[MAX_CONNS] = {0};
    long ownCount[MAX_CONNS] = {0};
    if (!latencies)
        return 2;
    for (int i = 0; perConnection && i < nconns; ++i) {
        own[i] = malloc(sizeof(uint64_t) * (size_t)(maxRequests + MAX_CONNS));
        if (!own[i])
            return 2;
    }
    long completed = 0, warmDone = 0, warmTotal = (long)warmup * nconns;
    long errors = 0;
    uint64_t start = 0, deadline = 0;
    int outstanding = 0;

    for (int i = 0; i < nconns; ++i) {
        buildRequest(&conns[i]);
        conns[i].sentNs = nowNs();
        if (sendAll(conns[i].fd, conns[i].request, conns[i].requestLength) != 0) {
            fprintf(stderr, "loadgen: send: %s\n", strerror(errno));
            return 1;
        }
        ++outstanding;
    }
    if (warmTotal == 0) {
        start = nowNs();
        deadline = start + (uint64_t)(maxSeconds * 1e9);
    }
    /* A server that stops answering must not hang the run: a hard limit of the measured time
     * plus ten seconds for warm-up and the last replies. */
    uint64_t hardStop = nowNs() + (uint64_t)((maxSeconds + 10.0) * 1e9);

    while (outstanding > 0 && errors == 0) {
        int k = poll(pfd, (nfds_t)nconns, 1000);
        if (k < 0 && errno != EINTR) {
            perror("loadgen: poll");
            errors++;
            break;
        }
        uint64_t t = nowNs();
        if (t > hardStop) {
            fprintf(stderr, "loadgen: no reply within the time limit\n");
            errors++;
            break;
        }
        for (int i = 0; i < nconns && k > 0; ++i) {
            if (!(pfd[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            struct conn* c = &conns[i];
            /* Never read past the expected reply: a second reply would be a fault of its own. */
            int want = (c->have < 6) ? 6 - c->have : 0;
            if (c->have >= 6) {
                int announced = 6 + ((c->reply[4] << 8) | c->reply[5]);
                if (announced > (int)sizeof c->reply)
                    announced = (int)sizeof c->reply;
                want = announced - c->have;
            }
            ssize_t got = want > 0 ? recv(c->fd, c->reply + c->have, (size_t)want, 0) : 0;
            if (got <= 0) {
                if (got < 0 && (errno == EINTR || errno == EAGAIN))
                    continue;
                fprintf(stderr, "loadgen: connection %d %s after %ld replies\n", i + 1,
                        got == 0 ? "closed by the server" : strerror(errno), completed + warmDone);
                errors++;
                break;
            }
            c->have += (int)got;
            if (c->have < 6)
                continue;
            int announced = 6 + ((c->reply[4] << 8) | c->reply[5]);
            if (c->have < announced && c->have < (int)sizeof c->reply)
                continue;
            const char* fault = checkReply(c);
            if (fault) {
                fprintf(stderr, "loadgen: connection %d: %s (got %d bytes, expected %d)\n", i + 1, fault, c->have,
                        c->expected);
                errors++;
                break;
            }
            uint64_t done = nowNs();
            c->have = 0;
            --outstanding;
            if (start == 0) {
                if (++warmDone >= warmTotal) {
                    start = done;
                    deadline = start + (uint64_t)(maxSeconds * 1e9);
                }
            } else {
                latencies[completed++] = done - c->sentNs;
                if (perConnection)
                    own[i][ownCount[i]++] = done - c->sentNs;
            }
            if (start != 0 && (completed >= maxRequests || done >= deadline))
                continue; /* this connection is finished */
            buildRequest(c);
            c->sentNs = nowNs();
            if (sendAll(c->fd, c->request, c->requestLength) != 0) {
                fprintf(stderr, "loadgen: send: %s\n", strerror(errno));
                errors++;
                break;
            }
            ++outstanding;
        }
    }
    uint64_t end = nowNs();
    for (int i = 0; i < nconns; ++i)
        close(conns[i].fd);

    double seconds = start ? (double)(end - start) / 1e9 : 0;
    double p50 = 0, p99 = 0;
    if (completed > 0) {
        qsort(latencies, (size_t)completed, sizeof latencies[0], cmpU64);
        p50 = (double)latencies[(completed - 1) / 2] / 1000.0;
        p99 = (double)latencies[(long)((double)(completed - 1) * 0.99)] / 1000.0;
    }
    printf("rps=%.0f p50_us=%.1f p99_us=%.1f n=%ld errors=%ld\n", seconds > 0 ? (double)completed / seconds : 0, p50,
           p99, completed, errors);
    for (int i = 0; perConnection && i < nconns; ++i) {
        double q50 = 0, q99 = 0;
        if (ownCount[i] > 0) {
            qsort(own[i], (size_t)ownCount[i], sizeof own[i][0], cmpU64);
            q50 = (double)own[i][(ownCount[i] - 1) / 2] / 1000.0;
            q99 = (double)own[i][(long)((double)(ownCount[i] - 1) * 0.99)] / 1000.0;
        }
        printf("conn=%d p50_us=%.1f p99_us=%.1f n=%ld\n", i + 1, q50, q99, ownCount[i]);
        free(own[i]);
    }
    free(latencies);
    return errors ? 1 : 0;
}
