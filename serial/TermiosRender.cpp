#include "serial/TermiosRender.h"

namespace {

struct Speed
{
    uint32_t rate;
    speed_t constant;
};

constexpr Speed standardSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

} // namespace

bool renderControlBlock(const DeviceControlBlock &dcb, termios &t, uint32_t &customRate)
{
    using namespace WinComm;

    tcflag_t size = 0;
    switch (dcb.ByteSize) {
    case 5:
        size = CS5;
        break;
    case 6:
        size = CS6;
        break;
    case 7:
        size = CS7;
        break;
    case 8:
        size = CS8;
        break;
    default:
        return false;
    }

    tcflag_t parity = 0;
    switch (dcb.Parity) {
    case NOPARITY:
        break;
    case ODDPARITY:
        parity = PARENB | PARODD;
        break;
    case EVENPARITY:
        parity = PARENB;
        break;
    case MARKPARITY:
        parity = PARENB | CMSPAR | PARODD;
        break;
    case SPACEPARITY:
        parity = PARENB | CMSPAR;
        break;
    default:
        return false;
    }

    if (dcb.StopBits > TWOSTOPBITS || dcb.BaudRate == 0)
        return false;

    speed_t speed = B38400;
    customRate = dcb.BaudRate;
    for (const Speed &s : standardSpeeds) {
        if (s.rate == dcb.BaudRate) {
            speed = s.constant;
            customRate = 0;
            break;
        }
    }

    // Raw bytes both ways: no line editing, echo, signals, translation or
    // output processing; a read is satisfied by one byte.
    t.c_iflag &= ~(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL | IXON
                   | IXOFF | IXANY | IUCLC | IMAXBEL);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CREAD | CLOCAL | size | parity;
    if (dcb.StopBits != ONESTOPBIT)
        t.c_cflag |= CSTOPB;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;

    if (dcb.Flags & DCB_PARITY) {
        t.c_iflag |= INPCK;
        // Errored bytes arrive marked (0xFF 0x00 byte) so that the device
        // layer can put the replacement character in their place.
        if (dcb.Flags & DCB_ERROR_CHAR)
            t.c_iflag |= PARMRK;
    }
    // The kernel's CTS/RTS handshake covers both directions at once.
    if ((dcb.Flags & DCB_OUTX_CTS_FLOW) || (dcb.Flags & DCB_RTS_MASK) == DCB_RTS_HANDSHAKE)
        t.c_cflag |= CRTSCTS;
    if (dcb.Flags & DCB_OUTX)
        t.c_iflag |= IXON;
    if (dcb.Flags & DCB_INX)
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);

    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    return true;
}
