#pragma once

#include "net/SocketEvents.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>

class QSocketNotifier;

// One end of a TCP connection on a non-blocking socket, watched by socket
// notifiers on the GUI thread. Notifications reach the owner as events: a read
// notification fires once and again only after ReceivePending has taken the
// data; the peer's orderly close runs CloseConnection; a reset or a dead peer
// is an error notification. Bytes the network cannot take at once are kept in
// order and sent as soon as the socket becomes writable again.
class TCustomWinSocket : public QObject
{
    Q_OBJECT

public:
    ~TCustomWinSocket() override;

    // True from acceptance until the socket is closed.
    bool IsConnected() const;
    // The peer's dotted IPv4 address; empty once the connection is closed.
    QString PeerAddress() const;
    // Everything pending on the socket, exactly as it arrived.
    QByteArray ReceivePending();
    // The count of bytes accepted for delivery (sent now or kept to be sent);
    // 0 on a closed connection, -1 after a failure that the error handler cleared.
    int32_t SendString(const QByteArray &text);
    // Fires the disconnection event while still open, then closes the socket.
    virtual void CloseConnection();

    // The operating-system socket, -1 once closed.
    int socketDescriptor() const { return m_fd; }
    // Bytes accepted by SendString that the network has not taken yet.
    qsizetype bytesToWrite() const { return m_unsent.size() - m_unsentFrom; }

protected:
    explicit TCustomWinSocket(QObject *parent = nullptr);

    enum class Notification { Disconnect, Read, Write };

    // Takes over an accepted, non-blocking descriptor and starts watching it.
    void attachConnected(int fd, const QString &peerAddress);

    // What happened on the connection, reported to the owner's handlers. The
    // connection object may be gone when these return.
    virtual void notify(Notification what);
    virtual void error(TErrorEvent kind, int32_t &code);
    // The socket has just been closed by CloseConnection.
    virtual void closed();

private:
    void readReady();
    void holdUntaken();
    void writeReady();
    void asyncError(TErrorEvent kind, int err);
    void failedCall(TErrorEvent kind, int err, const char *api);
    void finishClose();
    int closeDescriptor();
    void dropUnsent();

    int m_fd = -1;
    bool m_connected = false;
    bool m_closing = false;
    // A read notification went out and ReceivePending has not been called
    // since: no further read notification until it is.
    bool m_readUntaken = false;
    QString m_peerAddress;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QByteArray m_unsent;
    qsizetype m_unsentFrom = 0;
};
