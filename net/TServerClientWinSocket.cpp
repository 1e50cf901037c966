#include "net/TServerClientWinSocket.h"

#include "net/TServerSocket.h"
#include "net/TServerWinSocket.h"

#include <QMetaObject>
#include <QPointer>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {

// A workstation that dies without a word is noticed after about two minutes
// (60 s idle, then 5 probes 10 s apart) and leaves through the error path.
constexpr int keepAliveIdleSeconds = 60;
constexpr int keepAliveIntervalSeconds = 10;
constexpr int keepAliveProbes = 5;

void setOption(int fd, int level, int name, int value)
{
    // Best effort: a connection without one of these options still works, it
    // only answers later or notices a dead peer later.
    (void)::setsockopt(fd, level, name, &value, sizeof value);
}

} // namespace

TServerClientWinSocket::TServerClientWinSocket(int fd, const QString &peerAddress,
                                               TServerWinSocket *server)
    : TCustomWinSocket(server)
    , m_server(server)
{
    // Answers are short and awaited: send them at once.
    setOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
    setOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
    setOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, keepAliveIdleSeconds);
    setOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, keepAliveIntervalSeconds);
    setOption(fd, IPPROTO_TCP, TCP_KEEPCNT, keepAliveProbes);
    attachConnected(fd, peerAddress);
}

void TServerClientWinSocket::notify(Notification what)
{
    const TServerSocket *component = m_server->component();
    // A copy: the handler may replace the component's handlers or destroy it.
    TSocketNotifyEvent handler;
    switch (what) {
    case Notification::Disconnect:
        handler = component->OnClientDisconnect;
        break;
    case Notification::Read:
        handler = component->OnClientRead;
        break;
    case Notification::Write:
        handler = component->OnClientWrite;
        break;
    }
    if (handler)
        handler(m_server, this);
}

void TServerClientWinSocket::error(TErrorEvent kind, int32_t &code)
{
    const TSocketErrorEvent handler = m_server->component()->OnClientError;
    if (handler)
        handler(m_server, this, kind, code);
}

void TServerClientWinSocket::closed()
{
    QMetaObject::invokeMethod(
        m_server,
        [server = m_server, client = QPointer<TServerClientWinSocket>(this)] {
            if (client)
                server->releaseClient(client);
        },
        Qt::QueuedConnection);
}
