#include "engine/win32/SerialDcb.h"

void FillDcb(DCB& dcb, const SerialSettings& settings) {
    dcb.BaudRate = settings.baud;
    dcb.ByteSize = settings.databits;
    dcb.Parity = settings.parity;
    dcb.StopBits = settings.stopbits;
    dcb.fBinary = 1;
    dcb.fParity = 1;
    dcb.fDsrSensitivity = 0;
    dcb.fNull = 0;
    dcb.fAbortOnError = 0;
    const Handshake handshake = HandshakeFor(settings.handshaking);
    const bool hardware = handshake == Handshake::Hardware;
    const bool software = handshake == Handshake::Software;
    dcb.fOutxCtsFlow = hardware ? 1 : 0;
    dcb.fOutxDsrFlow = hardware ? 1 : 0;
    dcb.fDtrControl = hardware ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_DISABLE;
    dcb.fRtsControl = hardware ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_DISABLE;
    dcb.fOutX = software ? 1 : 0;
    dcb.fInX = software ? 1 : 0;
}
