#pragma once

#include <QByteArray>

#include <cstdint>

// The device model the port works with, kept from the communications model
// of the serial drivers it was first written for: a control block with the
// line format and handshake, five time limits, an event mask, line error
// bits, modem status bits, queue counts. The POSIX device layer renders these
// values onto termios and ioctls; everything above it keeps their meaning.
namespace WinComm {

// Event mask bits.
inline constexpr uint32_t EV_RXCHAR = 0x0001;
inline constexpr uint32_t EV_RXFLAG = 0x0002;
inline constexpr uint32_t EV_TXEMPTY = 0x0004;
inline constexpr uint32_t EV_CTS = 0x0008;
inline constexpr uint32_t EV_DSR = 0x0010;
inline constexpr uint32_t EV_RLSD = 0x0020;
inline constexpr uint32_t EV_BREAK = 0x0040;
inline constexpr uint32_t EV_ERR = 0x0080;
inline constexpr uint32_t EV_RING = 0x0100;
inline constexpr uint32_t EV_RX80FULL = 0x0400;

// Line error bits.
inline constexpr uint32_t CE_RXOVER = 0x0001;
inline constexpr uint32_t CE_OVERRUN = 0x0002;
inline constexpr uint32_t CE_RXPARITY = 0x0004;
inline constexpr uint32_t CE_FRAME = 0x0008;
inline constexpr uint32_t CE_BREAK = 0x0010;
inline constexpr uint32_t CE_TXFULL = 0x0100;
inline constexpr uint32_t CE_IOE = 0x0400;
inline constexpr uint32_t CE_MODE = 0x8000;

// Modem status bits.
inline constexpr uint32_t MS_CTS_ON = 0x0010;
inline constexpr uint32_t MS_DSR_ON = 0x0020;
inline constexpr uint32_t MS_RING_ON = 0x0040;
inline constexpr uint32_t MS_RLSD_ON = 0x0080;

// Line functions.
inline constexpr uint32_t SETXOFF = 1;
inline constexpr uint32_t SETXON = 2;
inline constexpr uint32_t SETRTS = 3;
inline constexpr uint32_t CLRRTS = 4;
inline constexpr uint32_t SETDTR = 5;
inline constexpr uint32_t CLRDTR = 6;
inline constexpr uint32_t SETBREAK = 8;
inline constexpr uint32_t CLRBREAK = 9;

// Purge flags.
inline constexpr uint32_t PURGE_TXABORT = 0x0001;
inline constexpr uint32_t PURGE_RXABORT = 0x0002;
inline constexpr uint32_t PURGE_TXCLEAR = 0x0004;
inline constexpr uint32_t PURGE_RXCLEAR = 0x0008;

// Control block flag word.
inline constexpr uint32_t DCB_BINARY = 0x0001;
inline constexpr uint32_t DCB_PARITY = 0x0002;
inline constexpr uint32_t DCB_OUTX_CTS_FLOW = 0x0004;
inline constexpr uint32_t DCB_OUTX_DSR_FLOW = 0x0008;
inline constexpr uint32_t DCB_DTR_ENABLE = 0x0010;
inline constexpr uint32_t DCB_DTR_HANDSHAKE = 0x0020;
inline constexpr uint32_t DCB_DTR_MASK = 0x0030;
inline constexpr uint32_t DCB_DSR_SENSITIVITY = 0x0040;
inline constexpr uint32_t DCB_TX_CONTINUE_ON_XOFF = 0x0080;
inline constexpr uint32_t DCB_OUTX = 0x0100;
inline constexpr uint32_t DCB_INX = 0x0200;
inline constexpr uint32_t DCB_ERROR_CHAR = 0x0400;
inline constexpr uint32_t DCB_NULL = 0x0800;
inline constexpr uint32_t DCB_RTS_ENABLE = 0x1000;
inline constexpr uint32_t DCB_RTS_HANDSHAKE = 0x2000;
inline constexpr uint32_t DCB_RTS_TOGGLE = 0x3000;
inline constexpr uint32_t DCB_RTS_MASK = 0x3000;

// Parity and stop bit values of the control block.
inline constexpr uint8_t NOPARITY = 0;
inline constexpr uint8_t ODDPARITY = 1;
inline constexpr uint8_t EVENPARITY = 2;
inline constexpr uint8_t MARKPARITY = 3;
inline constexpr uint8_t SPACEPARITY = 4;
inline constexpr uint8_t ONESTOPBIT = 0;
inline constexpr uint8_t ONE5STOPBITS = 1;
inline constexpr uint8_t TWOSTOPBITS = 2;

inline constexpr uint32_t MAXDWORD = 0xFFFFFFFF;

} // namespace WinComm

// The device control block: line format, rate and handshake, as one record.
struct DeviceControlBlock
{
    static constexpr int Size = 28;

    uint32_t BaudRate = 0;
    uint32_t Flags = 0;
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    uint8_t ByteSize = 8;
    uint8_t Parity = WinComm::NOPARITY;
    uint8_t StopBits = WinComm::ONESTOPBIT;
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;

    // The 28-byte little-endian record; bytes not named above are zero.
    QByteArray toBytes() const;
};

// The five time limits in milliseconds; MAXDWORD has its special meanings
// for reads (see PosixDevice).
struct CommTimeouts
{
    uint32_t ReadIntervalTimeout = WinComm::MAXDWORD;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 0;
    uint32_t WriteTotalTimeoutConstant = 0;
};

// The status the driver reports with its error bits: status flags (bit n for
// TComStateFlag n) and the byte counts of both queues.
struct ComStat
{
    uint32_t Flags = 0;
    uint32_t cbInQue = 0;
    uint32_t cbOutQue = 0;
};
