/* A libmodbus Modbus TCP slave on 127.0.0.1 holding the values the engine's
 * peer test expects; serves one connection at a time until killed.
 * Usage: libmodbus_tcp_server PORT */
#include <errno.h>
#include <modbus.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static void Fill(uint8_t* bits, int start, const uint8_t* values, int count) {
    for (int i = 0; i < count; ++i) bits[start + i] = values[i];
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s PORT\n", argv[0]);
        return 2;
    }
    modbus_t* context = modbus_new_tcp("127.0.0.1", atoi(argv[1]));
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
    int listener = modbus_tcp_listen(context, 1);
    if (listener < 0) return 1;
    for (;;) {
        if (modbus_tcp_accept(context, &listener) < 0) return 1;
        uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
        for (;;) {
            int length = modbus_receive(context, query);
            if (length > 0) {
                modbus_reply(context, query, length, map);
            } else if (length == -1) {
                break; /* the master closed the connection */
            }
        }
        close(modbus_get_socket(context));
    }
}
