#include "net/TServerWinSocket.h"

#include "app/support/ExceptionDisplay.h"
#include "net/SocketErrors.h"
#include "net/TServerClientWinSocket.h"
#include "net/TServerSocket.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int listenBacklog = 5;
// Out of descriptors or memory, a pending connection cannot be taken; the
// listener rests this long instead of being woken for it again and again.
constexpr int acceptPauseMs = 200;

} // namespace

TServerWinSocket::TServerWinSocket(TServerSocket *component)
    : TCustomWinSocket(component)
    , m_component(component)
{ }

TServerWinSocket::~TServerWinSocket()
{
    qDeleteAll(m_clients);
    m_clients.clear();
    // Nobody is left to hear of a failing close.
    closeListener();
}

int32_t TServerWinSocket::ClientCount() const
{
    return static_cast<int32_t>(m_clients.size());
}

TServerClientWinSocket *TServerWinSocket::ClientAt(int32_t index) const
{
    if (index < 0 || index >= m_clients.size())
        throw ESocketError(
            QStringLiteral("List index out of bounds (%1)").arg(index).toStdString());
    return m_clients.at(index);
}

void TServerWinSocket::listen(int32_t port)
{
    if (isActive())
        return;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw ESocketError("Can't create new socket");
    m_listenFd = fd;
    QPointer<TServerWinSocket> self(this);
    try {
        // A restart must not fail on the last run's connections in TIME_WAIT;
        // Linux still refuses a port that another socket listens on. Without
        // the option only such a restart is affected.
        const int one = 1;
        (void)::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        address.sin_port = htons(static_cast<uint16_t>(port));
        if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) < 0)
            throw socketApiError(errno, "bind");
        m_acceptNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(m_acceptNotifier, &QSocketNotifier::activated, this,
                &TServerWinSocket::acceptConnection);

        const TSocketNotifyEvent onListen = m_component->OnListen;
        if (onListen)
            onListen(m_component, this);
        // The handler may have closed the endpoint (or destroyed the component).
        if (!self || m_listenFd != fd)
            return;
        if (::listen(fd, listenBacklog) < 0)
            throw socketApiError(errno, "listen");
    } catch (...) {
        if (self && m_listenFd == fd)
            closeListener();
        throw;
    }
}

int32_t TServerWinSocket::localPort() const
{
    sockaddr_in address {};
    socklen_t length = sizeof address;
    if (m_listenFd < 0
        || ::getsockname(m_listenFd, reinterpret_cast<sockaddr *>(&address), &length) < 0)
        return 0;
    return ntohs(address.sin_port);
}

void TServerWinSocket::CloseConnection()
{
    // Last first, each closed without an event, as when the listener goes.
    while (!m_clients.isEmpty())
        delete m_clients.takeLast();
    if (const int err = closeListener())
        throw socketApiError(err, "closesocket");
}

int TServerWinSocket::closeListener()
{
    delete m_acceptNotifier;
    m_acceptNotifier = nullptr;
    if (m_listenFd < 0)
        return 0;
    const int fd = m_listenFd;
    m_listenFd = -1;
    if (::close(fd) < 0 && errno != EINTR)
        return errno;
    return 0;
}

void TServerWinSocket::acceptConnection()
{
    runGuarded([this] {
        if (m_listenFd < 0)
            return;
        sockaddr_in peer {};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(m_listenFd, reinterpret_cast<sockaddr *>(&peer), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            // A failed accept loses only that attempt (the peer gave up, or
            // the call was interrupted); nothing is reported.
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                m_acceptNotifier->setEnabled(false);
                QTimer::singleShot(acceptPauseMs, this, [this] {
                    if (m_acceptNotifier)
                        m_acceptNotifier->setEnabled(true);
                });
            }
            return;
        }
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
        auto *client = new TServerClientWinSocket(fd, QString::fromLatin1(text), this);
        m_clients.append(client);

        QPointer<TServerClientWinSocket> alive(client);
        const TSocketNotifyEvent onClientConnect = m_component->OnClientConnect;
        if (onClientConnect)
            onClientConnect(this, client);
        // Fires also for a connection that the handler has closed, but not for
        // one that is gone (the listener was closed meanwhile).
        if (!alive)
            return;
        const TSocketNotifyEvent onAccept = m_component->OnAccept;
        if (onAccept)
            onAccept(m_component, client);
    });
}

void TServerWinSocket::releaseClient(TServerClientWinSocket *client)
{
    if (m_clients.removeOne(client))
        delete client;
}
