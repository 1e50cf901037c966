#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// Error codes of the serial layer, the numbers EComPort::Code carries.
enum : int32_t {
    ComErrOpen = 1,
    ComErrWrite = 2,
    ComErrRead = 3,
    ComErrInvalidAsync = 4,
    ComErrPurge = 5,
    ComErrAsyncStatus = 6,
    ComErrSetState = 7,
    ComErrSetTimeouts = 8,
    ComErrSetupComm = 9,
    ComErrClearComm = 10,
    ComErrModemStatus = 11,
    ComErrEscapeComm = 12,
    ComErrTransmitChar = 13,
    ComErrConnected = 14,
    ComErrEnumPorts = 15,
    ComErrStoreSettings = 16,
    ComErrLoadSettings = 17,
    ComErrRegisterLink = 18,
    ComErrLedState = 19,
    ComErrThreadCreated = 20,
    ComErrWaitForEvent = 21,
    ComErrHasLink = 22,
    ComErrRegistry = 23,
};

// The error of the serial layer: a code from 1 to 23 with its fixed English
// text, and the operating-system error number (WinCode, see WinError) or -1
// when the failure has none.
class EComPort : public std::runtime_error
{
public:
    // Message: the code's text followed by " (win error code: N)".
    EComPort(int32_t ACode, int32_t AWinCode);
    // Message: the code's text alone; WinCode is -1.
    explicit EComPort(int32_t ACode);

    int32_t Code() const { return m_code; }
    int32_t WinCode() const { return m_winCode; }

    // The text of a code; empty for a number outside 1..23.
    static std::string PortErrorMessage(int32_t ACode);

private:
    int32_t m_code;
    int32_t m_winCode;
};
