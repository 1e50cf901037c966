#pragma once

#include <cstdint>

// Error numbers reported in EComPort::WinCode. The port reports the error
// numbers of the communications model it keeps (missing device 2, busy or
// denied 5, invalid handle 6, ...), so that texts and callers that know
// those numbers read them unchanged on Linux.
namespace WinError {

inline constexpr int32_t Success = 0;
inline constexpr int32_t InvalidFunction = 1;
inline constexpr int32_t FileNotFound = 2;
inline constexpr int32_t PathNotFound = 3;
inline constexpr int32_t TooManyOpenFiles = 4;
inline constexpr int32_t AccessDenied = 5;
inline constexpr int32_t InvalidHandle = 6;
inline constexpr int32_t NotEnoughMemory = 8;
inline constexpr int32_t WriteProtect = 19;
inline constexpr int32_t GenFailure = 31;
inline constexpr int32_t InvalidParameter = 87;
inline constexpr int32_t DiskFull = 112;
inline constexpr int32_t FilenameTooLong = 206;
inline constexpr int32_t OperationAborted = 995;
inline constexpr int32_t IoIncomplete = 996;
inline constexpr int32_t IoPending = 997;
inline constexpr int32_t NoAccess = 998;
inline constexpr int32_t IoDevice = 1117;
inline constexpr int32_t CounterTimeout = 1121;
inline constexpr int32_t CantResolveFilename = 1921;

// The error number for a POSIX errno value; conditions without a closer
// counterpart give GenFailure.
int32_t fromErrno(int errnoValue);

} // namespace WinError
