#pragma once

#include "net/TCustomWinSocket.h"

#include <QList>

#include <cstdint>

class TServerSocket;
class TServerClientWinSocket;

// The listening endpoint of a TServerSocket: an IPv4 socket on all interfaces
// and the list of the connections it accepted, in order of acceptance. It is
// never a connection itself: IsConnected is false and PeerAddress empty.
class TServerWinSocket : public TCustomWinSocket
{
    Q_OBJECT

public:
    explicit TServerWinSocket(TServerSocket *component);
    ~TServerWinSocket() override;

    // Connections in the list, including closed ones not yet released.
    int32_t ClientCount() const;
    // Throws ESocketError "List index out of bounds (%d)" outside 0..ClientCount-1.
    TServerClientWinSocket *ClientAt(int32_t index) const;
    // Stops listening: every connection is dropped without a disconnection event.
    void CloseConnection() override;

    // Binds to port, fires OnListen, then listens; throws ESocketError and
    // leaves the endpoint closed on failure.
    void listen(int32_t port);
    // True from just before OnListen until the endpoint is closed.
    bool isActive() const { return m_listenFd >= 0; }
    // The port actually bound (useful after listening on port 0); 0 when closed.
    int32_t localPort() const;
    TServerSocket *component() const { return m_component; }

private:
    friend class TServerClientWinSocket;

    void acceptConnection();
    void releaseClient(TServerClientWinSocket *client);
    int closeListener();

    TServerSocket *m_component;
    int m_listenFd = -1;
    QSocketNotifier *m_acceptNotifier = nullptr;
    QList<TServerClientWinSocket *> m_clients;
};
