#pragma once

#include <QtGlobal>

#include <cstdint>
#include <functional>

class QObject;
class TCustomWinSocket;

// The operation that failed, as an error event reports it.
enum class TErrorEvent { eeGeneral, eeSend, eeReceive, eeConnect, eeDisconnect, eeAccept };

// Sender is the component for OnListen and OnAccept and the listening endpoint
// for the client events; Socket is the connection concerned.
using TSocketNotifyEvent = std::function<void(QObject *Sender, TCustomWinSocket *Socket)>;

// ErrorCode carries the Windows Sockets number; a handler that sets it to 0
// has handled the error.
using TSocketErrorEvent = std::function<void(QObject *Sender, TCustomWinSocket *Socket,
                                             TErrorEvent ErrorEvent, int32_t &ErrorCode)>;
