#include "net/TCustomWinSocket.h"

#include "app/support/ExceptionDisplay.h"
#include "net/SocketErrors.h"

#include <QPointer>
#include <QSocketNotifier>

#include <cerrno>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr qsizetype compactAfter = 64 * 1024;

bool wouldBlock(int err)
{
    return err == EAGAIN || err == EWOULDBLOCK || err == EINTR;
}

} // namespace

TCustomWinSocket::TCustomWinSocket(QObject *parent)
    : QObject(parent)
{ }

TCustomWinSocket::~TCustomWinSocket()
{
    // A connection destroyed while open (the listener is being closed) goes
    // without events; a failing close has nobody left to tell.
    closeDescriptor();
}

bool TCustomWinSocket::IsConnected() const
{
    return m_connected;
}

QString TCustomWinSocket::PeerAddress() const
{
    // Taken at acceptance: after a reset Linux no longer answers getpeername,
    // yet the error and disconnection handlers still need the address.
    return m_connected ? m_peerAddress : QString();
}

void TCustomWinSocket::attachConnected(int fd, const QString &peerAddress)
{
    m_fd = fd;
    m_peerAddress = peerAddress;
    m_connected = true;
    m_readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &TCustomWinSocket::readReady);
    m_writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &TCustomWinSocket::writeReady);
}

void TCustomWinSocket::notify(Notification) { }

void TCustomWinSocket::error(TErrorEvent, int32_t &) { }

void TCustomWinSocket::closed() { }

void TCustomWinSocket::readReady()
{
    runGuarded([this] {
        if (m_fd < 0)
            return;
        char probe;
        const ssize_t n = ::recv(m_fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
        const int err = errno;
        if (n > 0) {
            // One notification per arrival: the next comes once ReceivePending
            // has taken the data, so a handler that leaves it (or runs a
            // nested loop before taking it) does not spin the loop. The
            // notifier is switched off only then: switching it costs the
            // event loop a wake-up each time, twice for every request.
            if (m_readUntaken) {
                m_readNotifier->setEnabled(false);
                return;
            }
            m_readUntaken = true;
            QPointer<TCustomWinSocket> self(this);
            try {
                notify(Notification::Read);
            } catch (...) {
                if (self)
                    holdUntaken();
                throw;
            }
            if (self)
                holdUntaken();
        } else if (n == 0) {
            CloseConnection();
        } else if (!wouldBlock(err)) {
            asyncError(TErrorEvent::eeDisconnect, err);
        }
    });
}

void TCustomWinSocket::writeReady()
{
    runGuarded([this] {
        if (m_fd < 0)
            return;
        while (m_unsentFrom < m_unsent.size()) {
            const ssize_t n = ::send(m_fd, m_unsent.constData() + m_unsentFrom,
                                     size_t(m_unsent.size() - m_unsentFrom), MSG_NOSIGNAL);
            if (n < 0) {
                const int err = errno;
                if (wouldBlock(err)) {
                    // Let go of what has been sent once it is the larger part,
                    // so a client that keeps up slowly does not keep it all.
                    if (m_unsentFrom > compactAfter && m_unsentFrom * 2 > m_unsent.size()) {
                        m_unsent.remove(0, m_unsentFrom);
                        m_unsentFrom = 0;
                    }
                    return;
                }
                dropUnsent();
                failedCall(TErrorEvent::eeSend, err, "send");
                return;
            }
            m_unsentFrom += n;
        }
        dropUnsent();
        notify(Notification::Write);
    });
}

void TCustomWinSocket::asyncError(TErrorEvent kind, int err)
{
    // The connection is broken: nothing more can arrive or be delivered. The
    // socket stays open for the handler to close; it gets no further notifications.
    m_readNotifier->setEnabled(false);
    dropUnsent();
    int32_t code = wsaFromErrno(err);
    error(kind, code);
    if (code != 0)
        throw asyncSocketError(code);
}

void TCustomWinSocket::failedCall(TErrorEvent kind, int err, const char *api)
{
    int32_t code = wsaFromErrno(err);
    QPointer<TCustomWinSocket> self(this);
    error(kind, code);
    if (self)
        CloseConnection();
    if (code != 0)
        throw socketApiError(err, api);
}

void TCustomWinSocket::holdUntaken()
{
    if (m_readUntaken && m_readNotifier)
        m_readNotifier->setEnabled(false);
}

QByteArray TCustomWinSocket::ReceivePending()
{
    if (m_fd < 0)
        return {};
    m_readUntaken = false;
    if (!m_closing)
        m_readNotifier->setEnabled(true);
    int pending = 0;
    if (::ioctl(m_fd, FIONREAD, &pending) < 0) {
        failedCall(TErrorEvent::eeReceive, errno, "recv");
        return {};
    }
    if (pending <= 0)
        return {};
    QByteArray data(pending, Qt::Uninitialized);
    const ssize_t n = ::recv(m_fd, data.data(), size_t(pending), 0);
    if (n < 0) {
        const int err = errno;
        if (!wouldBlock(err))
            failedCall(TErrorEvent::eeReceive, err, "recv");
        return {};
    }
    data.truncate(n);
    return data;
}

int32_t TCustomWinSocket::SendString(const QByteArray &text)
{
    if (m_fd < 0 || text.isEmpty())
        return 0;
    const auto size = static_cast<int32_t>(text.size());
    if (bytesToWrite() > 0) {
        // Behind bytes that are still waiting: keep the order.
        m_unsent.append(text);
        return size;
    }
    ssize_t n = ::send(m_fd, text.constData(), size_t(size), MSG_NOSIGNAL);
    if (n < 0) {
        const int err = errno;
        if (!wouldBlock(err)) {
            failedCall(TErrorEvent::eeSend, err, "send");
            return -1;
        }
        n = 0;
    }
    if (n < size) {
        // A busy client must not lose an answer: keep the rest until the
        // socket can take it.
        m_unsent = text.mid(n);
        m_unsentFrom = 0;
        m_writeNotifier->setEnabled(true);
    }
    return size;
}

void TCustomWinSocket::CloseConnection()
{
    // A disconnection handler that closes again would otherwise recurse.
    if (m_fd < 0 || m_closing)
        return;
    m_closing = true;
    // Closing: nothing more is taken from the socket, also not from a nested
    // event loop that the disconnection handler may run.
    m_readNotifier->setEnabled(false);
    m_writeNotifier->setEnabled(false);
    QPointer<TCustomWinSocket> self(this);
    try {
        notify(Notification::Disconnect);
    } catch (...) {
        // The close was asked for; a failing handler does not keep the connection.
        if (self)
            finishClose();
        throw;
    }
    if (self)
        finishClose();
}

void TCustomWinSocket::finishClose()
{
    m_closing = false;
    if (m_fd < 0)
        return;
    const int err = closeDescriptor();
    closed();
    if (err != 0)
        throw socketApiError(err, "closesocket");
}

int TCustomWinSocket::closeDescriptor()
{
    // The notifiers go before the descriptor: a notifier must never watch a
    // closed (and perhaps already reused) descriptor.
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    dropUnsent();
    m_connected = false;
    m_peerAddress.clear();
    if (m_fd < 0)
        return 0;
    const int fd = m_fd;
    m_fd = -1;
    // Linux releases the descriptor even when close reports EINTR.
    if (::close(fd) < 0 && errno != EINTR)
        return errno;
    return 0;
}

void TCustomWinSocket::dropUnsent()
{
    m_unsent.clear();
    m_unsentFrom = 0;
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(false);
}
