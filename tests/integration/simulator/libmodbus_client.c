/* A small Modbus master built on libmodbus, for testing the slave simulator
 * against a client nobody here wrote.
 *
 *   kestrom-libmodbus-client tcp PORT UNIT OP...
 *   kestrom-libmodbus-client rtu DEVICE BAUD PARITY(N|E|O) UNIT OP...
 *
 * OP is one of
 *   read-coils A N | read-inputs A N | read-hr A N | read-ir A N
 *   write-coil A V | write-hr A V | write-coils A V,V,... | write-hrs A V,V,...
 * Each OP prints one line: its name, then the values read ("ok" for writes),
 * or "error " and libmodbus's text. The exit status is 0 when every OP ran
 * (errors included), 2 for bad arguments, 1 when the link cannot be set up.
 */
#include <errno.h>
#include <modbus.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define MAX_ITEMS 2100

static int parse_list(const char* text, int* values, int max) {
    int count = 0;
    const char* p = text;
    while (*p && count < max) {
        char* end = NULL;
        values[count++] = (int)strtol(p, &end, 0);
        if (end == p) return -1;
        p = *end == ',' ? end + 1 : end;
    }
    return count;
}

static int run_op(modbus_t* ctx, char** argv, int argc, int at) {
    static uint16_t regs[MAX_ITEMS];
    static uint8_t bits[MAX_ITEMS];
    static int values[MAX_ITEMS];
    if (at + 2 >= argc) return -1;
    const char* op = argv[at];
    const int address = atoi(argv[at + 1]);
    const char* arg = argv[at + 2];
    int rc;
    printf("%s", op);
    if (strncmp(op, "read-", 5) == 0) {
        const int n = atoi(arg);
        if (n < 0 || n > MAX_ITEMS) return -1;
        if (strcmp(op, "read-coils") == 0)
            rc = modbus_read_bits(ctx, address, n, bits);
        else if (strcmp(op, "read-inputs") == 0)
            rc = modbus_read_input_bits(ctx, address, n, bits);
        else if (strcmp(op, "read-hr") == 0)
            rc = modbus_read_registers(ctx, address, n, regs);
        else if (strcmp(op, "read-ir") == 0)
            rc = modbus_read_input_registers(ctx, address, n, regs);
        else
            return -1;
        if (rc < 0) {
            printf(" error %s\n", modbus_strerror(errno));
            return 0;
        }
        const int is_bits = strstr(op, "coils") || strstr(op, "inputs");
        for (int i = 0; i < rc; ++i) printf(" %d", is_bits ? bits[i] : regs[i]);
        printf("\n");
        return 0;
    }
    const int n = parse_list(arg, values, MAX_ITEMS);
    if (n <= 0) return -1;
    for (int i = 0; i < n; ++i) {
        regs[i] = (uint16_t)values[i];
        bits[i] = (uint8_t)(values[i] != 0);
    }
    if (strcmp(op, "write-coil") == 0)
        rc = modbus_write_bit(ctx, address, values[0]);
    else if (strcmp(op, "write-hr") == 0)
        rc = modbus_write_register(ctx, address, regs[0]);
    else if (strcmp(op, "write-coils") == 0)
        rc = modbus_write_bits(ctx, address, n, bits);
    else if (strcmp(op, "write-hrs") == 0)
        rc = modbus_write_registers(ctx, address, n, regs);
    else
        return -1;
    if (rc < 0)
        printf(" error %s\n", modbus_strerror(errno));
    else
        printf(" ok\n");
    return 0;
}

int main(int argc, char** argv) {
    modbus_t* ctx = NULL;
    int at;
    if (argc >= 4 && strcmp(argv[1], "tcp") == 0) {
        ctx = modbus_new_tcp("127.0.0.1", atoi(argv[2]));
        at = 3;
    } else if (argc >= 7 && strcmp(argv[1], "rtu") == 0) {
        ctx = modbus_new_rtu(argv[2], atoi(argv[3]), argv[4][0], 8, 1);
        at = 5;
    } else {
        fprintf(stderr, "usage: see the comment at the top of the source\n");
        return 2;
    }
    if (ctx == NULL) return 1;
    modbus_set_slave(ctx, atoi(argv[at++]));
    modbus_set_response_timeout(ctx, 2, 0);
    if (modbus_connect(ctx) != 0) {
        fprintf(stderr, "connect: %s\n", modbus_strerror(errno));
        modbus_free(ctx);
        return 1;
    }
    int status = 0;
    for (; at < argc; at += 3) {
        if (at + 2 >= argc || run_op(ctx, argv, argc, at) != 0) {
            fprintf(stderr, "bad operation at '%s'\n", argv[at]);
            status = 2;
            break;
        }
    }
    fflush(stdout);
    modbus_close(ctx);
    modbus_free(ctx);
    return status;
}
