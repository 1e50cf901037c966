#pragma once

#include "net/TCustomWinSocket.h"

class TServerWinSocket;

// A connection accepted by the listening endpoint. Its events go to the
// component's client handlers with the endpoint as sender. Once closed it stays
// in the endpoint's list, at its index, until the event loop delivers its release.
class TServerClientWinSocket : public TCustomWinSocket
{
    Q_OBJECT

public:
    // Takes over the accepted descriptor fd.
    TServerClientWinSocket(int fd, const QString &peerAddress, TServerWinSocket *server);

    TServerWinSocket *ServerWinSocket() const { return m_server; }

protected:
    void notify(Notification what) override;
    void error(TErrorEvent kind, int32_t &code) override;
    void closed() override;

private:
    TServerWinSocket *m_server;
};
