#pragma once

#include "serial/PosixDevice.h"

#include <QByteArray>

#include <cstdint>

enum TOperationKind : uint8_t { okWrite, okRead };

// One asynchronous read or write on a port, owned by whoever called
// InitAsync, released by DoneAsync. A record may carry several requests one
// after another; it must not be released while its request is pending (end
// it with WaitForAsync or TCustomComPort::AbortAllAsync).
struct TAsync
{
    DeviceRequest Overlapped; // the request's completion state
    TOperationKind Kind = okWrite;
    QByteArray Data; // of a write: a copy of the bytes, handed to the links on completion
    int32_t Size = 0;
};
using PAsync = TAsync *;

// A fresh record: waiting on it before any request returns 0 bytes at once.
void InitAsync(PAsync &AsyncPtr);
void DoneAsync(PAsync &AsyncPtr);
