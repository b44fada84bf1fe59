/* A libmodbus Modbus RTU slave (address 1) on a serial device, holding the
 * values the serial peer test expects; serves until killed.
 * Usage: libmodbus_rtu_server DEVICE BAUD */
#include <errno.h>
#include <modbus.h>
#include <stdio.h>
#include <stdlib.h>

static void Fill(uint8_t* bits, int start, const uint8_t* values, int count) {
    for (int i = 0; i < count; ++i) bits[start + i] = values[i];
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s DEVICE BAUD\n", argv[0]);
        return 2;
    }
    modbus_t* context = modbus_new_rtu(argv[1], atoi(argv[2]), 'N', 8, 1);
    modbus_mapping_t* map = modbus_mapping_new(100, 100, 100, 100);
    if (context == NULL || map == NULL) return 1;
    const uint8_t coils[] = {1, 0, 1, 1, 0, 0, 1, 0, 1, 1};
    const uint8_t inputs[] = {0, 1, 1, 0, 1, 0, 0, 0, 1, 1};
    Fill(map->tab_bits, 0, coils, 10);
    Fill(map->tab_input_bits, 20, inputs, 10);
    const uint16_t holding[] = {1234, 5678, 9, 65535};
    const uint16_t inputRegisters[] = {11, 22, 33, 44};
    for (int i = 0; i < 4; ++i) {
        map->tab_registers[40 + i] = holding[i];
        map->tab_input_registers[60 + i] = inputRegisters[i];
    }
    modbus_set_slave(context, 1);
    if (modbus_connect(context) != 0) {
        fprintf(stderr, "cannot open %s: %s\n", argv[1], modbus_strerror(errno));
        return 1;
    }
    uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    for (;;) {
        int length = modbus_receive(context, query);
        if (length > 0) modbus_reply(context, query, length, map);
    }
}
