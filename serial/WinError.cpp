#include "serial/WinError.h"

#include <cerrno>

namespace WinError {

namespace {

struct Mapping
{
    int errnoValue;
    int32_t winCode;
};

// The one table from POSIX conditions to the port's error numbers.
constexpr Mapping mappings[] = {
    {ENOENT, FileNotFound},
    {ENXIO, FileNotFound}, // a device node without a device behind it
    {ENODEV, FileNotFound},
    {ENOTDIR, PathNotFound},
    {EMFILE, TooManyOpenFiles},
    {ENFILE, TooManyOpenFiles},
    {EACCES, AccessDenied},
    {EPERM, AccessDenied},
    {EBUSY, AccessDenied}, // another opener holds the device exclusively
    {EWOULDBLOCK, AccessDenied}, // the device lock is held by another opener
    {EISDIR, AccessDenied},
    {EBADF, InvalidHandle},
    {ENOMEM, NotEnoughMemory},
    {EROFS, WriteProtect},
    {EINVAL, InvalidParameter},
    {ENOTTY, InvalidFunction}, // not a terminal: the device has no serial functions
    {ENOSPC, DiskFull},
    {ENAMETOOLONG, FilenameTooLong},
    {ECANCELED, OperationAborted},
    {EFAULT, NoAccess},
    {EIO, IoDevice},
    {ETIMEDOUT, CounterTimeout},
    {ELOOP, CantResolveFilename},
};

} // namespace

int32_t fromErrno(int errnoValue)
{
    if (errnoValue == 0)
        return Success;
    for (const Mapping &m : mappings) {
        if (m.errnoValue == errnoValue)
            return m.winCode;
    }
    return GenFailure;
}

} // namespace WinError
