/* A Modbus/TCP master on libmodbus that exercises a server on 127.0.0.1:<port>: it writes and
 * reads holding registers, reads input registers, mask-writes, reads and writes in one request,
 * reads the exception status and provokes two exception replies. One line per step; exit code 0
 * when every step got the expected answer.
 *
 * "<port> poll <count> <timeout ms>" instead reads holding register 0 <count> times (at most
 * 1000) on one connection, each with that response timeout, and prints one line per request:
 * "<n> ok", "<n> timeout" or "<n> error: <reason>"; exit code 0 once all were asked. */
#include <errno.h>
#include <modbus.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int failures = 0;

static void check(int ok, const char* step, const char* detail)
{
    printf("%s %s%s%s\n", ok ? "OK" : "FAIL", step, detail ? ": " : "", detail ? detail : "");
    if (!ok)
        failures++;
}

/* The poll mode: every request on its own, a lost reply seen as the master's timeout. */
static int pollHolding(modbus_t* ctx, int count, int timeoutMs)
{
    if (count < 1 || count > 1000 || timeoutMs < 1 || timeoutMs > 10000) {
        fprintf(stderr, "poll takes 1-1000 requests and a timeout of 1-10000 ms\n");
        return 2;
    }
    modbus_set_response_timeout(ctx, (uint32_t)(timeoutMs / 1000), (uint32_t)(timeoutMs % 1000) * 1000);
    for (int i = 1; i <= count; ++i) {
        uint16_t value = 0;
        if (modbus_read_registers(ctx, 0, 1, &value) == 1)
            printf("%d ok\n", i);
        else if (errno == ETIMEDOUT)
            printf("%d timeout\n", i);
        else
            printf("%d error: %s\n", i, modbus_strerror(errno));
        fflush(stdout);
    }
    return 0;
}

int main(int argc, char** argv)
{
    if (argc < 2 || (argc > 2 && (argc != 5 || strcmp(argv[2], "poll") != 0))) {
        fprintf(stderr, "usage: %s port [poll count timeout-ms]\n", argv[0]);
        return 2;
    }
    modbus_t* ctx = modbus_new_tcp("127.0.0.1", atoi(argv[1]));
    if (!ctx || modbus_connect(ctx) != 0) {
        fprintf(stderr, "connect: %s\n", modbus_strerror(errno));
        return 2;
    }
    modbus_set_slave(ctx, 1);
    if (argc == 5) {
        const int result = pollHolding(ctx, atoi(argv[3]), atoi(argv[4]));
        modbus_close(ctx);
        modbus_free(ctx);
        return result;
    }
    modbus_set_response_timeout(ctx, 2, 0);

    uint16_t regs[8] = {0};
    const uint16_t values[3] = {0x1111, 0x2222, 0x3333};

    check(modbus_write_register(ctx, 100, 0xABCD) == 1, "FC6 write single", NULL);
    check(modbus_write_registers(ctx, 101, 3, values) == 3, "FC16 write multiple", NULL);
    int n = modbus_read_registers(ctx, 100, 4, regs);
    check(n == 4 && regs[0] == 0xABCD && regs[1] == 0x1111 && regs[3] == 0x3333, "FC3 read holding", NULL);
    n = modbus_read_input_registers(ctx, 0, 5, regs);
    check(n == 5 && regs[0] == 0 && regs[4] == 0, "FC4 read input", NULL);

    /* (0x0012 AND 0x00F2) OR (0x0025 AND NOT 0x00F2) = 0x0017 */
    modbus_write_register(ctx, 200, 0x0012);
    check(modbus_mask_write_register(ctx, 200, 0x00F2, 0x0025) == 1, "FC22 mask write", NULL);
    n = modbus_read_registers(ctx, 200, 1, regs);
    check(n == 1 && regs[0] == 0x0017, "FC22 result", NULL);

    const uint16_t rw[2] = {0x0A0A, 0x0B0B};
    n = modbus_write_and_read_registers(ctx, 300, 2, rw, 299, 4, regs);
    check(n == 4 && regs[0] == 0 && regs[1] == 0x0A0A && regs[2] == 0x0B0B && regs[3] == 0, "FC23 write and read",
          NULL);

    /* FC7: the low byte of holding register 0xFFFF. */
    modbus_write_register(ctx, 0xFFFF, 0x12AB);
    uint8_t raw[] = {0x01, 0x07};
    uint8_t reply[MODBUS_TCP_MAX_ADU_LENGTH];
    int len = modbus_send_raw_request(ctx, raw, 2);
    if (len > 0)
        len = modbus_receive_confirmation(ctx, reply);
    check(len == 9 && reply[7] == 0x07 && reply[8] == 0xAB, "FC7 exception status", NULL);

    /* FC1 is not served: exception 1. */
    uint8_t bits[8];
    n = modbus_read_bits(ctx, 0, 8, bits);
    check(n == -1 && errno == EMBXILFUN, "FC1 illegal function", modbus_strerror(errno));

    /* A range past 65535: exception 2. */
    n = modbus_read_registers(ctx, 65535, 2, regs);
    check(n == -1 && errno == EMBXILADD, "range past 65535", modbus_strerror(errno));

    /* The connection still serves after the exceptions. */
    n = modbus_read_registers(ctx, 101, 1, regs);
    check(n == 1 && regs[0] == 0x1111, "served after exceptions", NULL);

    modbus_close(ctx);
    modbus_free(ctx);
    return failures == 0 ? 0 : 1;
}
