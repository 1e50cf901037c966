#include "serial/EComPort.h"

#include <array>

namespace {

// PortErrorMessages: the texts of codes 1..23, fixed and not translated.
constexpr std::array<const char *, 23> portErrorMessages = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
};

} // namespace

std::string EComPort::PortErrorMessage(int32_t ACode)
{
    if (ACode < 1 || ACode > int32_t(portErrorMessages.size()))
        return std::string();
    return portErrorMessages[ACode - 1];
}

EComPort::EComPort(int32_t ACode, int32_t AWinCode)
    : std::runtime_error(PortErrorMessage(ACode) + " (win error code: " + std::to_string(AWinCode)
                         + ")")
    , m_code(ACode)
    , m_winCode(AWinCode)
{ }

EComPort::EComPort(int32_t ACode)
    : std::runtime_error(PortErrorMessage(ACode))
    , m_code(ACode)
    , m_winCode(-1)
{ }
