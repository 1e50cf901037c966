#include "net/TServerSocket.h"

#include "tests/fixtures/TcpClient.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int waitMs = 10000;

QString describe(TErrorEvent kind)
{
    switch (kind) {
    case TErrorEvent::eeGeneral:
        return QStringLiteral("general");
    case TErrorEvent::eeSend:
        return QStringLiteral("send");
    case TErrorEvent::eeReceive:
        return QStringLiteral("receive");
    case TErrorEvent::eeConnect:
        return QStringLiteral("connect");
    case TErrorEvent::eeDisconnect:
        return QStringLiteral("disconnect");
    case TErrorEvent::eeAccept:
        return QStringLiteral("accept");
    }
    return {};
}

// Distinct bytes at every position, so that a lost, doubled or reordered
// piece shows.
QByteArray pattern(qsizetype size, char seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + seed + i / 251) & 0xff);
    return bytes;
}

// A server listening on a free port, whose handlers write what they see to
// a list of events.
class ServerSocketTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        server.SetPort(0);
        server.OnClientConnect = [this](QObject *sender, TCustomWinSocket *socket) {
            log(QStringLiteral("connect %1 count=%2 sender=%3")
                    .arg(socket->PeerAddress())
                    .arg(clientCount())
                    .arg(sender == server.ServerWinSocket() ? "endpoint" : "other"));
        };
        server.OnAccept = [this](QObject *sender, TCustomWinSocket *socket) {
            log(QStringLiteral("accept %1 sender=%2")
                    .arg(socket->PeerAddress(), sender == &server ? "component" : "other"));
        };
        server.OnClientDisconnect = [this](QObject *, TCustomWinSocket *socket) {
            log(QStringLiteral("disconnect %1 connected=%2 count=%3")
                    .arg(socket->PeerAddress())
                    .arg(socket->IsConnected())
                    .arg(clientCount()));
        };
        server.OnClientRead
            = [this](QObject *, TCustomWinSocket *socket) { received += socket->ReceivePending(); };
        server.SetActive(true);
        port = quint16(server.ServerWinSocket()->localPort());
        ASSERT_NE(port, 0);
    }

    // What the program's error handler does: log, clear the code, close.
    void useProgramErrorHandler()
    {
        server.OnClientError
            = [this](QObject *, TCustomWinSocket *socket, TErrorEvent kind, int32_t &code) {
                  log(QStringLiteral("error %1 %2 %3")
                          .arg(describe(kind))
                          .arg(code)
                          .arg(socket->PeerAddress()));
                  code = 0;
                  if (socket->IsConnected())
                      socket->CloseConnection();
                  log(QStringLiteral("error handled"));
              };
    }

    void log(const QString &line) { events << line; }
    int32_t clientCount() const { return server.ServerWinSocket()->ClientCount(); }
    bool waitForClientCount(int32_t count)
    {
        return QTest::qWaitFor([&] { return clientCount() == count; }, waitMs);
    }
    bool waitForEvents(qsizetype count)
    {
        return QTest::qWaitFor([&] { return events.size() >= count; }, waitMs);
    }
    // Connects from bindAddress and waits until the server has taken the connection.
    void connectClient(TcpClient &client, const char *bindAddress)
    {
        const int32_t before = clientCount();
        ASSERT_TRUE(client.connectTo(port, QString::fromLatin1(bindAddress)));
        ASSERT_TRUE(waitForClientCount(before + 1));
    }
    TServerClientWinSocket *connection(int32_t index) const
    {
        return server.ServerWinSocket()->ClientAt(index);
    }

    TServerSocket server;
    quint16 port = 0;
    QStringList events;
    QByteArray received;
};

TEST(ServerSocketProperties, DefaultsAndPortChanges)
{
    TServerSocket server;
    EXPECT_EQ(server.Port(), 1962);
    EXPECT_FALSE(server.Active());
    EXPECT_EQ(server.ServerWinSocket()->ClientCount(), 0);

    server.SetPort(0);
    server.SetActive(true);
    ASSERT_TRUE(server.Active());
    server.SetPort(0); // the value it already has
    try {
        server.SetPort(10001);
        FAIL() << "port changed while active";
    } catch (const ESocketError &e) {
        EXPECT_STREQ(e.what(), "Can't change value while socket is active");
    }
    EXPECT_EQ(server.Port(), 0);
    server.SetActive(false);
    server.SetPort(10001);
    EXPECT_EQ(server.Port(), 10001);
}

TEST(ServerSocketProperties, ListenFiresWhileActiveBeforeAnyConnection)
{
    TServerSocket server;
    server.SetPort(0);
    int listens = 0;
    server.OnListen = [&](QObject *sender, TCustomWinSocket *socket) {
        ++listens;
        EXPECT_EQ(sender, &server);
        EXPECT_EQ(socket, server.ServerWinSocket());
        EXPECT_TRUE(server.Active());
        EXPECT_EQ(server.ServerWinSocket()->ClientCount(), 0);
    };
    server.SetActive(true);
    server.SetActive(true); // the value it already has
    EXPECT_EQ(listens, 1);

    TcpClient client;
    ASSERT_TRUE(client.connectTo(quint16(server.ServerWinSocket()->localPort())));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return server.ServerWinSocket()->ClientCount() == 1; }, waitMs));
}

TEST_F(ServerSocketTest, ConnectThenAcceptForEachConnectionInOrder)
{
    TcpClient first, second;
    connectClient(first, "127.0.0.2");
    connectClient(second, "127.0.0.3");
    EXPECT_EQ(events,
              QStringList({
                  "connect 127.0.0.2 count=1 sender=endpoint",
                  "accept 127.0.0.2 sender=component",
                  "connect 127.0.0.3 count=2 sender=endpoint",
                  "accept 127.0.0.3 sender=component",
              }));
    EXPECT_EQ(connection(0)->PeerAddress(), "127.0.0.2");
    EXPECT_EQ(connection(1)->PeerAddress(), "127.0.0.3");
    EXPECT_TRUE(connection(1)->IsConnected());
}

TEST_F(ServerSocketTest, CloseInsideConnectNestsTheDisconnectionAndStillAccepts)
{
    server.OnClientConnect = [this](QObject *, TCustomWinSocket *socket) {
        log("connect " + socket->PeerAddress());
        socket->CloseConnection();
        log(QStringLiteral("connect end peer='%1' connected=%2 count=%3")
                .arg(socket->PeerAddress())
                .arg(socket->IsConnected())
                .arg(clientCount()));
    };
    server.OnAccept = [this](QObject *, TCustomWinSocket *socket) {
        log(QStringLiteral("accept connected=%1 count=%2")
                .arg(socket->IsConnected())
                .arg(clientCount()));
    };
    TcpClient client;
    ASSERT_TRUE(client.connectTo(port, "127.0.0.3"));
    ASSERT_TRUE(waitForEvents(4));
    EXPECT_EQ(events,
              QStringList({
                  "connect 127.0.0.3",
                  "disconnect 127.0.0.3 connected=1 count=1",
                  "connect end peer='' connected=0 count=1",
                  "accept connected=0 count=1",
              }));
    EXPECT_TRUE(waitForClientCount(0));
    EXPECT_TRUE(client.waitForClosed());
    EXPECT_TRUE(client.receiveAvailable().isEmpty());
}

TEST_F(ServerSocketTest, ReadsTakeEverythingPendingAndAnswersGoBack)
{
    server.OnClientRead = [this](QObject *, TCustomWinSocket *socket) {
        const QByteArray request = socket->ReceivePending();
        received += request;
        EXPECT_EQ(socket->SendString(request), request.size());
    };
    TcpClient client;
    connectClient(client, "127.0.0.2");

    ASSERT_TRUE(client.send("REQ1\r"));
    ASSERT_TRUE(client.send("REQ2\r"));
    EXPECT_EQ(client.receive(10), "REQ1\rREQ2\r");

    // A long request arrives in as many reads as it takes, byte for byte.
    const QByteArray longRequest = pattern(300000, 1);
    ASSERT_TRUE(client.send(longRequest));
    EXPECT_EQ(client.receive(longRequest.size()), longRequest);
    EXPECT_EQ(received, "REQ1\rREQ2\r" + longRequest);
}

TEST_F(ServerSocketTest, PeerCloseDisconnectsWhileTheAddressStillAnswers)
{
    useProgramErrorHandler();
    TcpClient client;
    connectClient(client, "127.0.0.4");
    ASSERT_TRUE(client.send("last words"));
    client.close();
    ASSERT_TRUE(waitForEvents(3));
    EXPECT_EQ(received, "last words");
    EXPECT_EQ(events.last(), "disconnect 127.0.0.4 connected=1 count=1");
    EXPECT_TRUE(waitForClientCount(0));
    EXPECT_EQ(events.size(), 3); // no error
}

TEST_F(ServerSocketTest, PeerResetIsAnErrorThenTheHandlersCloseDisconnects)
{
    useProgramErrorHandler();
    TcpClient client;
    connectClient(client, "127.0.0.3");
    client.reset();
    ASSERT_TRUE(waitForEvents(5));
    EXPECT_EQ(events.mid(2),
              QStringList({
                  "error disconnect 10054 127.0.0.3",
                  "disconnect 127.0.0.3 connected=1 count=1",
                  "error handled",
              }));
    EXPECT_TRUE(waitForClientCount(0));
    EXPECT_EQ(events.size(), 5);
}

// Answers every message box shown meanwhile with its default button and
// keeps the texts.
class MessageBoxAnswerer
{
public:
    MessageBoxAnswerer()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                texts << box->text();
                box->button(QMessageBox::Ok)->click();
            }
        });
        m_timer.start();
    }
    QStringList texts;

private:
    QTimer m_timer;
};

TEST_F(ServerSocketTest, AnUnhandledErrorIsShownOnceAndTheServerGoesOn)
{
    MessageBoxAnswerer answerer;
    TcpClient client;
    connectClient(client, "127.0.0.2");
    client.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !answerer.texts.isEmpty(); }, waitMs));
    EXPECT_EQ(answerer.texts, QStringList("Asynchronous socket error 10054"));

    // Nobody closed it: it stays, silent, until closed.
    ASSERT_EQ(clientCount(), 1);
    EXPECT_TRUE(connection(0)->IsConnected());

    TcpClient next;
    connectClient(next, "127.0.0.3");
    ASSERT_TRUE(next.send("ping"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return received == "ping"; }, waitMs));
    EXPECT_EQ(answerer.texts.size(), 1);

    connection(0)->CloseConnection();
    EXPECT_EQ(events.last(), "disconnect 127.0.0.2 connected=1 count=2");
}

TEST_F(ServerSocketTest, FailedSendRunsTheErrorPathAndCloses)
{
    struct Case
    {
        bool handled;
        const char *name;
    };
    for (const Case c : {Case {true, "handled"}, Case {false, "unhandled"}}) {
        SCOPED_TRACE(c.name);
        events.clear();
        server.OnClientError = nullptr;
        if (c.handled)
            useProgramErrorHandler();
        TcpClient client;
        connectClient(client, "127.0.0.5");
        TServerClientWinSocket *socket = connection(0);
        client.reset();
        // Wait for the reset to reach the server's socket without running the
        // event loop, so that the send meets it before the read notification.
        pollfd p {socket->socketDescriptor(), POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, waitMs), 1);

        if (c.handled) {
            EXPECT_EQ(socket->SendString("answer"), -1);
            EXPECT_EQ(events.mid(2),
                      QStringList({
                          "error send 10054 127.0.0.5",
                          "disconnect 127.0.0.5 connected=1 count=1",
                          "error handled",
                      }));
        } else {
            try {
                socket->SendString("answer");
                ADD_FAILURE() << "no exception";
            } catch (const ESocketError &e) {
                EXPECT_TRUE(QString::fromUtf8(e.what()).endsWith("(10054), on API 'send'"))
                    << e.what();
            }
            EXPECT_EQ(events.last(), "disconnect 127.0.0.5 connected=1 count=1");
        }
        EXPECT_FALSE(socket->IsConnected());
        EXPECT_TRUE(waitForClientCount(0));
    }
}

TEST_F(ServerSocketTest, ClosedConnectionsKeepTheirIndexUntilReleased)
{
    TcpClient clients[3];
    const char *addresses[] = {"127.0.0.2", "127.0.0.3", "127.0.0.4"};
    for (int i = 0; i < 3; ++i)
        connectClient(clients[i], addresses[i]);
    events.clear();

    for (int32_t i = 2; i >= 0; --i) {
        connection(i)->CloseConnection();
        EXPECT_EQ(clientCount(), 3);
    }
    EXPECT_EQ(events,
              QStringList({
                  "disconnect 127.0.0.4 connected=1 count=3",
                  "disconnect 127.0.0.3 connected=1 count=3",
                  "disconnect 127.0.0.2 connected=1 count=3",
              }));
    for (int32_t i = 0; i < 3; ++i) {
        TServerClientWinSocket *closed = connection(i);
        EXPECT_FALSE(closed->IsConnected());
        EXPECT_TRUE(closed->PeerAddress().isEmpty());
        EXPECT_EQ(closed->SendString("too late"), 0);
        EXPECT_TRUE(closed->ReceivePending().isEmpty());
        closed->CloseConnection(); // already closed: nothing happens
    }
    EXPECT_EQ(events.size(), 3);

    EXPECT_TRUE(waitForClientCount(0));
    for (auto &client : clients) {
        EXPECT_TRUE(client.waitForClosed());
        EXPECT_TRUE(client.receiveAvailable().isEmpty());
    }
}

TEST_F(ServerSocketTest, IndexOutsideTheListThrows)
{
    TcpClient client;
    connectClient(client, "127.0.0.2");
    for (const int32_t index : {1, -1}) {
        try {
            connection(index);
            ADD_FAILURE() << "no exception for " << index;
        } catch (const ESocketError &e) {
            EXPECT_EQ(QString::fromUtf8(e.what()),
                      QStringLiteral("List index out of bounds (%1)").arg(index));
        }
    }
}

TEST_F(ServerSocketTest, DeactivationDropsConnectionsWithoutEventsAndCanRestart)
{
    useProgramErrorHandler();
    TcpClient clients[3];
    const char *addresses[] = {"127.0.0.2", "127.0.0.3", "127.0.0.4"};
    for (int i = 0; i < 3; ++i)
        connectClient(clients[i], addresses[i]);
    events.clear();

    server.SetActive(false);
    EXPECT_FALSE(server.Active());
    EXPECT_EQ(clientCount(), 0);
    for (auto &client : clients)
        EXPECT_TRUE(client.waitForClosed());
    EXPECT_TRUE(events.isEmpty());

    // The dropped connections wait in TIME_WAIT on the server side; a restart
    // on the same port must still succeed.
    server.SetPort(port);
    server.SetActive(true);
    TcpClient again;
    connectClient(again, "127.0.0.2");
    EXPECT_EQ(events.size(), 2);
}

TEST_F(ServerSocketTest, DeactivationInsideAHandlerLeavesNothingBehind)
{
    server.OnClientRead = [this](QObject *, TCustomWinSocket *) {
        log("read");
        server.SetActive(false);
    };
    TcpClient reader;
    connectClient(reader, "127.0.0.2");
    ASSERT_TRUE(reader.send("x"));
    ASSERT_TRUE(reader.waitForClosed());
    EXPECT_FALSE(server.Active());
    EXPECT_EQ(clientCount(), 0);

    // Closed from inside OnClientConnect: the connection is gone, so OnAccept
    // has nothing left to report.
    events.clear();
    server.SetActive(true);
    server.OnClientConnect = [this](QObject *, TCustomWinSocket *) {
        log("connect");
        server.SetActive(false);
    };
    TcpClient connecting;
    ASSERT_TRUE(connecting.connectTo(quint16(server.ServerWinSocket()->localPort()), "127.0.0.3"));
    ASSERT_TRUE(connecting.waitForClosed());
    EXPECT_EQ(events, QStringList("connect"));
    EXPECT_FALSE(server.Active());
}

TEST(ServerSocketLifetime, DestroyingAnActiveServerClosesEverythingSilently)
{
    auto server = std::make_unique<TServerSocket>();
    server->SetPort(0);
    int disconnects = 0;
    server->OnClientDisconnect = [&](QObject *, TCustomWinSocket *) { ++disconnects; };
    server->SetActive(true);
    const auto port = quint16(server->ServerWinSocket()->localPort());
    TcpClient client;
    ASSERT_TRUE(client.connectTo(port, "127.0.0.2"));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return server->ServerWinSocket()->ClientCount() == 1; }, waitMs));
    // A closed but unreleased connection too: its pending release must not
    // outlive the server.
    TcpClient second;
    ASSERT_TRUE(second.connectTo(port, "127.0.0.3"));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return server->ServerWinSocket()->ClientCount() == 2; }, waitMs));
    server->ServerWinSocket()->ClientAt(1)->CloseConnection();
    EXPECT_EQ(disconnects, 1);

    server.reset();
    EXPECT_TRUE(client.waitForClosed());
    EXPECT_TRUE(second.waitForClosed());
    EXPECT_EQ(disconnects, 1);
    QCoreApplication::processEvents(); // the orphaned release, if any, finds nothing
}

// A plain listener on address:port, as another program would hold it.
int listenOn(const char *address, quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in local {};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &local.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) < 0 || ::listen(fd, 5) < 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

TEST(ServerSocketActivation, APortInUseFailsWithBindAndStaysInactive)
{
    for (const char *occupant : {"0.0.0.0", "127.0.0.1"}) {
        SCOPED_TRACE(occupant);
        const int other = listenOn(occupant, 0);
        ASSERT_GE(other, 0);
        sockaddr_in bound {};
        socklen_t length = sizeof bound;
        ::getsockname(other, reinterpret_cast<sockaddr *>(&bound), &length);

        TServerSocket server;
        server.SetPort(ntohs(bound.sin_port));
        int listens = 0;
        server.OnListen = [&](QObject *, TCustomWinSocket *) { ++listens; };
        try {
            server.SetActive(true);
            ADD_FAILURE() << "activated on a port in use";
        } catch (const ESocketError &e) {
            const QString text = QString::fromUtf8(e.what());
            EXPECT_TRUE(text.startsWith("Windows socket error: ")) << e.what();
            EXPECT_TRUE(text.endsWith("(10048), on API 'bind'")) << e.what();
        }
        EXPECT_EQ(listens, 0);
        EXPECT_FALSE(server.Active());

        // The failed attempt leaves nothing behind: the component starts
        // normally on another port.
        ::close(other);
        server.SetPort(0);
        server.SetActive(true);
        EXPECT_TRUE(server.Active());
        EXPECT_EQ(listens, 1);
    }
}

TEST(ServerSocketActivation, AFailingListenHandlerLeavesItInactive)
{
    TServerSocket server;
    server.SetPort(0);
    server.OnListen = [](QObject *, TCustomWinSocket *) { throw ESocketError("handler failed"); };
    EXPECT_THROW(server.SetActive(true), ESocketError);
    EXPECT_FALSE(server.Active());
}

TEST_F(ServerSocketTest, AcceptedConnectionsSendAtOnceAndWatchForDeadPeers)
{
    TcpClient client;
    connectClient(client, "127.0.0.2");
    const int fd = connection(0)->socketDescriptor();
    const auto option = [fd](int level, int name) {
        int value = -1;
        socklen_t length = sizeof value;
        EXPECT_EQ(::getsockopt(fd, level, name, &value, &length), 0);
        return value;
    };
    EXPECT_EQ(option(IPPROTO_TCP, TCP_NODELAY), 1);
    EXPECT_EQ(option(SOL_SOCKET, SO_KEEPALIVE), 1);
    EXPECT_GE(option(IPPROTO_TCP, TCP_KEEPIDLE), 60);
    EXPECT_LE(option(IPPROTO_TCP, TCP_KEEPIDLE), 120);
    EXPECT_GE(option(IPPROTO_TCP, TCP_KEEPINTVL), 10);
    EXPECT_LE(option(IPPROTO_TCP, TCP_KEEPINTVL), 20);
    EXPECT_GE(option(IPPROTO_TCP, TCP_KEEPCNT), 2);
    EXPECT_LE(option(IPPROTO_TCP, TCP_KEEPCNT), 10);
}

TEST_F(ServerSocketTest, AnswersToABusyClientArriveWholeAndInOrder)
{
    int writes = 0;
    server.OnClientWrite = [&](QObject *, TCustomWinSocket *) { ++writes; };
    TcpClient client;
    client.setReceiveBufferSize(16384);
    connectClient(client, "127.0.0.2");
    TServerClientWinSocket *socket = connection(0);

    // The client reads nothing while the answers go out: the socket buffers
    // fill and the rest must wait in the connection, in order.
    const QByteArray answers[]
        = {pattern(4 << 20, 3), "short answer\n", pattern(4 << 20, 5), "EXE 000\r\n"};
    QByteArray expected;
    for (const QByteArray &answer : answers) {
        EXPECT_EQ(socket->SendString(answer), answer.size());
        expected += answer;
    }
    EXPECT_GT(socket->bytesToWrite(), 0);
    EXPECT_EQ(writes, 0);

    const QByteArray delivered = client.receive(expected.size(), 60000);
    EXPECT_EQ(delivered.size(), expected.size());
    EXPECT_TRUE(delivered == expected);
    EXPECT_EQ(socket->bytesToWrite(), 0);
    EXPECT_EQ(writes, 1);

    // With nothing waiting, a send goes straight out again.
    EXPECT_EQ(socket->SendString("next\n"), 5);
    EXPECT_EQ(socket->bytesToWrite(), 0);
    EXPECT_EQ(client.receive(5), "next\n");
}

TEST_F(ServerSocketTest, WaitingBytesGoWithTheConnection)
{
    useProgramErrorHandler();
    TcpClient client;
    client.setReceiveBufferSize(16384);
    connectClient(client, "127.0.0.3");
    TServerClientWinSocket *socket = connection(0);
    EXPECT_EQ(socket->SendString(pattern(8 << 20, 7)), 8 << 20);
    ASSERT_GT(socket->bytesToWrite(), 0);

    client.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.contains("error handled"); }, waitMs));
    EXPECT_TRUE(events.filter("error ").first().endsWith(" 10054 127.0.0.3"))
        << qPrintable(events.join('|'));
    EXPECT_TRUE(events.contains("disconnect 127.0.0.3 connected=1 count=1"));
    EXPECT_EQ(socket->bytesToWrite(), 0);
    EXPECT_TRUE(waitForClientCount(0));
}

} // namespace
