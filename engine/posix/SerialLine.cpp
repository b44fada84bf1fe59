#include "engine/posix/SerialLine.h"

#include <sys/ioctl.h>

namespace {

bool SpeedFor(std::uint32_t baud, speed_t& speed) {
    struct Rate {
        std::uint32_t baud;
        speed_t speed;
    };
    static constexpr Rate kRates[] = {
        {110, B110},       {300, B300},       {600, B600},       {1200, B1200},
        {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},
        {38400, B38400},   {57600, B57600},   {115200, B115200}, {230400, B230400},
        {460800, B460800}, {500000, B500000}, {921600, B921600}, {1000000, B1000000},
    };
    for (const Rate& rate : kRates) {
        if (rate.baud == baud) {
            speed = rate.speed;
            return true;
        }
    }
    return false;
}

bool DataBitsFor(std::uint8_t databits, tcflag_t& size) {
    switch (databits) {
        case 5:
            size = CS5;
            return true;
        case 6:
            size = CS6;
            return true;
        case 7:
            size = CS7;
            return true;
        case 8:
            size = CS8;
            return true;
        default:
            return false;
    }
}

}  // namespace

bool FillTermios(termios& tio, const SerialSettings& settings) {
    speed_t speed;
    tcflag_t size;
    if (!SpeedFor(settings.baud, speed) || !DataBitsFor(settings.databits, size)) return false;
    cfmakeraw(&tio);
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    // CLOCAL: a line without carrier detect must not hold reads and writes.
    tio.c_cflag |= size | CREAD | CLOCAL;
    switch (settings.parity) {
        case 0:
            break;
        case 1:
            tio.c_cflag |= PARENB | PARODD;
            break;
        case 2:
            tio.c_cflag |= PARENB;
            break;
        case 3:
            tio.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case 4:
            tio.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            return false;
    }
    switch (settings.stopbits) {
        case 0:
            break;
        case 2:
            tio.c_cflag |= CSTOPB;
            break;
        default:
            return false;  // one and a half stop bits: no termios form
    }
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    switch (HandshakeFor(settings.handshaking)) {
        case Handshake::Hardware:
            tio.c_cflag |= CRTSCTS;
            break;
        case Handshake::Software:
            tio.c_iflag |= IXON | IXOFF;
            break;
        case Handshake::None:
            break;
    }
    // Reads never wait inside the driver; the port times them itself.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return true;
}

bool ApplyLineSettings(int fd, const SerialSettings& settings) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0 || !FillTermios(tio, settings)) return false;
    if (tcsetattr(fd, TCSANOW, &tio) != 0) return false;
    // A pty has no modem lines; their failure changes nothing.
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (HandshakeFor(settings.handshaking) == Handshake::Hardware) {
        ioctl(fd, TIOCMBIS, &lines);
    } else {
        ioctl(fd, TIOCMBIC, &lines);
    }
    return true;
}
