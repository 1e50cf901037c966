#pragma once

#include "net/ESocketError.h"
#include "net/SocketEvents.h"
#include "net/TCustomWinSocket.h"
#include "net/TServerClientWinSocket.h"
#include "net/TServerWinSocket.h"

#include <QObject>

#include <cstdint>

// The listening TCP server of the main window: non-blocking, every event
// delivered on the GUI thread from the event loop.
//
// Order of events: OnListen (Active already true, before listening starts);
// per connection OnClientConnect then OnAccept; OnClientRead per arrival;
// OnClientDisconnect while the connection is still open, nested inside
// whatever called CloseConnection; OnClientError with a Windows Sockets number
// for a reset or dead peer and for a failed receive or send; OnClientWrite
// once the bytes a busy client could not take at once have all gone out. A closed
// connection keeps its index until the event loop releases it. Deactivation
// drops every connection without events.
class TServerSocket : public QObject
{
    Q_OBJECT

public:
    explicit TServerSocket(QObject *parent = nullptr);
    ~TServerSocket() override;

    bool Active() const;
    // Starts or stops listening; failures throw ESocketError and leave it inactive.
    void SetActive(bool value);
    int32_t Port() const;
    // Throws ESocketError when changed while active.
    void SetPort(int32_t value);
    TServerWinSocket *ServerWinSocket() const;

    TSocketNotifyEvent OnListen;
    TSocketNotifyEvent OnAccept;
    TSocketNotifyEvent OnClientConnect;
    TSocketNotifyEvent OnClientDisconnect;
    TSocketNotifyEvent OnClientRead;
    TSocketNotifyEvent OnClientWrite;
    TSocketErrorEvent OnClientError;

private:
    TServerWinSocket *m_server;
    int32_t m_port = 1962;
};
