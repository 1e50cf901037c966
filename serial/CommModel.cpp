#include "serial/CommModel.h"

namespace {

void put16(QByteArray &bytes, int offset, uint16_t value)
{
    bytes[offset] = char(value & 0xFF);
    bytes[offset + 1] = char(value >> 8);
}

void put32(QByteArray &bytes, int offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = char((value >> (8 * i)) & 0xFF);
}

} // namespace

QByteArray DeviceControlBlock::toBytes() const
{
    QByteArray bytes(Size, '\0');
    put32(bytes, 0, Size);
    put32(bytes, 4, BaudRate);
    put32(bytes, 8, Flags);
    put16(bytes, 14, XonLim);
    put16(bytes, 16, XoffLim);
    bytes[18] = char(ByteSize);
    bytes[19] = char(Parity);
    bytes[20] = char(StopBits);
    bytes[21] = XonChar;
    bytes[22] = XoffChar;
    bytes[23] = ErrorChar;
    bytes[24] = EofChar;
    bytes[25] = EvtChar;
    return bytes;
}
