#include "LibmodbusCapture.h"

#include <cerrno>

#include "LoopbackListener.h"

using namespace std::chrono_literals;

namespace {

// Short, since no answer ever comes; the request is complete before libmodbus
// starts to wait.
void ShortenResponseTimeout(modbus_t* ctx) { modbus_set_response_timeout(ctx, 0, 30000); }

}  // namespace

bool CaptureTcpRequest(const ClientCall& call, uint8_t slave, Bytes& captured, std::string& error) {
    LoopbackListener listener;
    if (!listener.Listen(error)) return false;
    modbus_t* ctx = modbus_new_tcp("127.0.0.1", listener.port());
    if (ctx == nullptr) {
        error = std::string("modbus_new_tcp: ") + modbus_strerror(errno);
        return false;
    }
    ShortenResponseTimeout(ctx);
    bool ok = false;
    if (modbus_set_slave(ctx, slave) != 0 || modbus_connect(ctx) != 0) {
        error = std::string("libmodbus cannot connect: ") + modbus_strerror(errno);
    } else {
        // The listener's backlog completes the connection; the request waits
        // in the accepted socket until it is read after the call has returned.
        call(ctx);
        ByteLink server = listener.Accept(2s);
        ok = server.valid() && server.ReceiveMbap(captured, 2s);
        if (!ok) error = "no complete MBAP request arrived from libmodbus";
    }
    modbus_close(ctx);
    modbus_free(ctx);
    return ok;
}

bool CaptureRtuRequest(const ClientCall& call, const std::string& clientEnd, ByteLink& captureEnd,
                       uint8_t slave, Bytes& captured, std::string& error) {
    modbus_t* ctx = modbus_new_rtu(clientEnd.c_str(), 115200, 'N', 8, 1);
    if (ctx == nullptr) {
        error = std::string("modbus_new_rtu: ") + modbus_strerror(errno);
        return false;
    }
    ShortenResponseTimeout(ctx);
    bool ok = false;
    if (modbus_set_slave(ctx, slave) != 0 || modbus_connect(ctx) != 0) {
        error = "libmodbus cannot open " + clientEnd + ": " + modbus_strerror(errno);
    } else {
        captureEnd.Drain();
        call(ctx);
        ok = captureEnd.ReceiveUntilSilence(captured, 50ms, 2s);
        if (!ok) error = "no request arrived from libmodbus at the other end of the pty pair";
    }
    modbus_close(ctx);
    modbus_free(ctx);
    return ok;
}
