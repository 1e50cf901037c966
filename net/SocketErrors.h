#pragma once

#include "net/ESocketError.h"

#include <QString>

#include <cstdint>

// Socket error numbers reach handlers and the log as Windows Sockets numbers,
// so that logged numbers and texts read the same on every platform. This is
// the one table between Linux errno values and those numbers.

// The Windows Sockets number of a Linux errno (10000 + the BSD errno of the
// same condition); 10107 (system call failure) for one that has none.
int32_t wsaFromErrno(int err);

// The text of a Windows Sockets number as the connection-error log line shows it.
QString wsaErrorText(int32_t code);

// "Windows socket error: <system text> (<number>), on API '<api>'" for a call
// that failed with errno err.
ESocketError socketApiError(int err, const char *api);

// "Asynchronous socket error <code>": an error notification nobody handled.
ESocketError asyncSocketError(int32_t code);
