#include "tests/fixtures/ModalScript.h"
#include "tests/fixtures/TcpClient.h"
#include "tests/fixtures/ZmtSim.h"
#include "tests/reliability/DeviceThread.h"
#include "tests/reliability/ServerRig.h"

#include "config/TPswdDlg.h"
#include "net/TServerClientWinSocket.h"
#include "net/TServerSocket.h"
#include "net/TServerWinSocket.h"
#include "serial/TComPort.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>
#include <memory>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString A = QStringLiteral("127.0.0.2");
const QString B = QStringLiteral("127.0.0.3");
const QString N = QStringLiteral("127.0.0.4");
const QString Stranger = QStringLiteral("127.0.0.66");

// A pseudo-terminal played by the test as the ZMT behind dev/COM1, and the
// program autostarted with the given clients authorized.
struct Served
{
    DeviceThread device; // outlives the program, which closes its port first
    ServerRig rig;

    bool start(const QStringList &authorized)
    {
        return device.isValid() && rig.prepare() && rig.linkDevice(device.slavePath())
            && rig.writeConfiguration(authorized) && rig.start();
    }

    // Waits until the device has received exactly these bytes in all.
    bool deviceGot(const QByteArray &bytes)
    {
        return runLoopUntil([&] { return device.received() == bytes; }, 10000);
    }

    bool idle()
    {
        return runLoopUntil(
            [&] { return rig.form->RequestTexts.isEmpty() && !rig.form->DeviceBusy; }, 10000);
    }

    TCustomWinSocket *connectionOf(const QString &address) const
    {
        const int32_t i = rig.form->FindConnection(address);
        return i < 0 ? nullptr : rig.form->ServerSocket->ServerWinSocket()->ClientAt(i);
    }
};

ModalScript::Step enterPassword(const QString &password)
{
    return {[](QWidget *w) { return qobject_cast<TPswdDlg *>(w) != nullptr; },
            [password](QWidget *w) {
                auto *dialog = qobject_cast<TPswdDlg *>(w);
                dialog->Edit1->setText(password);
                dialog->BitBtnOk->click();
            }};
}

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

} // namespace

// A client that resets while its request is with the device, or still waits
// in the queue: the request is served all the same, its answer is dropped (or
// reaches another connection of the same address), and nobody else notices.
TEST(Faults, ClientResetMidRequestLosesOnlyItsOwnAnswer)
{
    struct Case
    {
        const char *name;
        bool queued; // B's request is at the device when A resets
        bool secondConnection; // A has an older connection too
    };
    const Case cases[] = {
        {"reset while the device works on its request", false, false},
        {"reset while its request waits in the queue", true, false},
        {"reset with an older connection of the same address", false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Served s;
        ASSERT_TRUE(s.start({A, B}));
        std::unique_ptr<TcpClient> older;
        if (c.secondConnection) {
            older = s.rig.connect(A);
            ASSERT_TRUE(older);
        }
        auto a = s.rig.connect(A);
        auto b = s.rig.connect(B);
        ASSERT_TRUE(a && b);

        if (c.queued) {
            ASSERT_TRUE(b->send("REQ-B"));
            ASSERT_TRUE(s.deviceGot("REQ-B"));
            ASSERT_TRUE(a->send("REQ-A"));
        } else {
            ASSERT_TRUE(a->send("REQ-A"));
            ASSERT_TRUE(s.deviceGot("REQ-A"));
            ASSERT_TRUE(b->send("REQ-B"));
        }
        ASSERT_TRUE(runLoopUntil([&] { return s.rig.form->RequestTexts.size() == 2; }, 10000));
        const qsizetype gone = s.rig.count(QStringLiteral("Rozłączenie IP=[%1]").arg(A));
        a->reset();
        ASSERT_TRUE(runLoopUntil(
            [&] { return s.rig.count(QStringLiteral("Rozłączenie IP=[%1]").arg(A)) > gone; },
            10000));
        EXPECT_TRUE(
            s.rig.logged(QStringLiteral("Error #10054 [%1] Connection reset by peer").arg(A)));

        // The device answers both, in the order it got them.
        if (c.queued) {
            s.device.send("ANS-B\n");
            EXPECT_EQ(b->receive(6), QByteArray("ANS-B\n"));
            ASSERT_TRUE(s.deviceGot("REQ-BREQ-A"));
            s.device.send("ANS-A\n");
        } else {
            s.device.send("ANS-A\n");
            ASSERT_TRUE(s.deviceGot("REQ-AREQ-B"));
            s.device.send("ANS-B\n");
            EXPECT_EQ(b->receive(6), QByteArray("ANS-B\n"));
        }
        ASSERT_TRUE(s.idle());
        if (older) {
            EXPECT_EQ(older->receive(6), QByteArray("ANS-A\n"));
        }
        EXPECT_TRUE(b->receiveAvailable().isEmpty());

        // The address is served again on a new connection.
        auto again = s.rig.connect(A);
        ASSERT_TRUE(again);
        ASSERT_TRUE(again->send("REQ-A2"));
        ASSERT_TRUE(s.deviceGot(s.device.received().left(10) + "REQ-A2"));
        s.device.send("ANS-A2\n");
        EXPECT_EQ(again->receive(7), QByteArray("ANS-A2\n"));
        if (older) {
            EXPECT_TRUE(older->receiveAvailable().isEmpty());
        }
    }
}

// A client that sends requests but never reads: its answers pile up in the
// server, in order, until it reads them or goes; the other clients are served
// all along.
TEST(Faults, ClientThatNeverReadsKeepsItsAnswersWhileOthersAreServed)
{
    constexpr int rounds = 8;
    // More than the kernel buffers for one connection (up to 4 MB here).
    constexpr int answerSize = 1024 * 1024;
    for (const bool readsLater : {true, false}) {
        SCOPED_TRACE(readsLater ? "reads in the end" : "goes away unread");
        Served s;
        ASSERT_TRUE(s.start({A, B, N}));
        TcpClient n;
        n.setNoDelay();
        n.setReceiveBufferSize(4096);
        ASSERT_TRUE(n.connectTo(s.rig.port, N));
        auto b = s.rig.connect(B);
        ASSERT_TRUE(b);

        QByteArray expected;
        QByteArray atDevice;
        for (int k = 0; k < rounds; ++k) {
            const QByteArray request = "N-" + QByteArray::number(k);
            ASSERT_TRUE(n.send(request));
            ASSERT_TRUE(s.deviceGot(atDevice += request));
            const QByteArray answer = QByteArray(answerSize, char('a' + k)) + "\n";
            expected += answer;
            s.device.send(answer);
            ASSERT_TRUE(s.idle());

            const QByteArray other = "B-" + QByteArray::number(k);
            ASSERT_TRUE(b->send(other));
            ASSERT_TRUE(s.deviceGot(atDevice += other));
            s.device.send("ANS-" + other + "\n");
            EXPECT_EQ(b->receive(other.size() + 5), "ANS-" + other + "\n");
        }
        TCustomWinSocket *held = s.connectionOf(N);
        ASSERT_NE(held, nullptr);
        EXPECT_GT(held->bytesToWrite(), 0) << "the network took everything: no back-pressure";

        if (readsLater) {
            EXPECT_EQ(n.receive(expected.size(), 30000), expected);
            EXPECT_TRUE(runLoopUntil([&] { return held->bytesToWrite() == 0; }, 10000));
        } else {
            const qsizetype gone = s.rig.count(QStringLiteral("Rozłączenie IP=[%1]").arg(N));
            n.reset();
            ASSERT_TRUE(runLoopUntil(
                [&] { return s.rig.count(QStringLiteral("Rozłączenie IP=[%1]").arg(N)) > gone; },
                10000));
        }
        ASSERT_TRUE(b->send("B-last"));
        ASSERT_TRUE(s.deviceGot(atDevice += "B-last"));
        s.device.send("ANS-B-last\n");
        EXPECT_EQ(b->receive(11), QByteArray("ANS-B-last\n"));
    }
}

// The simulator dies with a request outstanding. The request times out, the
// next write fails and the program shows the error once; the operator then
// closes the server and the port, logs in again and reopens them on the
// simulator restarted behind the same link, and the clients are served again.
TEST(Faults, DeviceThatDiesIsReportedAndTheOperatorReopensIt)
{
    ServerRig rig;
    ASSERT_TRUE(rig.prepare());
    ZmtSim sim({QStringLiteral("--silent")}, rig.work.filePath(QStringLiteral("dev/COM1")));
    ASSERT_TRUE(sim.start()) << qPrintable(sim.errorText());
    ASSERT_TRUE(rig.writeConfiguration({A, B}));
    ASSERT_TRUE(rig.start());
    MessageWatch watch;
    auto a = rig.connect(A);
    auto b = rig.connect(B);
    ASSERT_TRUE(a && b);

    ASSERT_TRUE(a->send("REQ-1"));
    ASSERT_TRUE(sim.waitForRecorded(5));
    sim.kill();
    ASSERT_TRUE(b->send("REQ-2"));
    ASSERT_TRUE(runLoopUntil([&] { return rig.form->RequestTexts.size() == 2; }, 10000));

    // REQ-1 times out; writing REQ-2 to the dead terminal fails, shown once.
    ASSERT_TRUE(runLoopUntil([&] { return !watch.seen().isEmpty(); }, 15000));
    EXPECT_TRUE(
        watch.seen().first().startsWith(QStringLiteral("QMessageBox: WriteFile function failed")))
        << qPrintable(watch.seen().first());
    EXPECT_TRUE(a->receiveAvailable().isEmpty());
    EXPECT_TRUE(b->receiveAvailable().isEmpty());

    // The device comes back behind the same link; the program still holds the
    // dead terminal until the operator reopens the port.
    sim.setOptions({});
    ASSERT_TRUE(sim.start()) << qPrintable(sim.errorText());
    rig.form->SpeedButtonClose->click(); // confirmed by the watch: clients are connected
    EXPECT_TRUE(rig.logged(QStringLiteral("Port szeregowy jest zamknięty")));
    EXPECT_FALSE(rig.form->ServerSocket->Active());
    EXPECT_FALSE(rig.form->LoggedIn);
    {
        ModalScript script({enterPassword(QString())});
        rig.form->SpeedButtonPswd->click();
        ASSERT_TRUE(script.finished());
    }
    ASSERT_TRUE(rig.form->LoggedIn);
    rig.form->SpeedButtonOpen->click();
    ASSERT_TRUE(rig.form->ComPort->Connected());
    ASSERT_TRUE(rig.form->ServerSocket->Active());

    // The first request after the reopening is served at once.
    auto again = rig.connect(A);
    ASSERT_TRUE(again);
    ASSERT_TRUE(again->send("REQ-3"));
    EXPECT_EQ(again->receive(10, 4000), QByteArray("ANS:REQ-3\n"));
    EXPECT_TRUE(sim.recorded().endsWith("REQ-3"));
    // Besides the error, only the question whether to close with clients on.
    ASSERT_EQ(watch.seen().size(), 2);
    EXPECT_EQ(watch.seen().at(1),
              QStringLiteral("TMsgDlg: Niektóre połączenia są aktywne\nZamknąc serwer?"));
}

// The log folder cannot take files: the program says so once, keeps every
// line in the memo and goes on serving. A folder that goes away while the
// program runs leaves the lines in the file already open, and the log moves
// on once the folder is back.
TEST(Faults, UnusableLogFolderIsReportedOnceAndTheServerGoesOn)
{
    enum Obstacle { LogIsAFile, NothingCanBeCreated, FolderGoesAway };
    struct Case
    {
        const char *name;
        Obstacle obstacle;
    };
    const Case cases[] = {
        {"log is a plain file", LogIsAFile},
        {"log is a folder where no file can be created", NothingCanBeCreated},
        {"the folder goes away while the server runs", FolderGoesAway},
    };
    const QString message = QStringLiteral("TMsgDlg: Plik log nie może byc otwarty");
    // Well over two rotations' worth of lines.
    const auto addLines = [](ServerRig &rig, int from, int count) {
        for (int i = from; i < from + count; ++i)
            rig.form->AddLogLine(true,
                                 QStringLiteral("linia %1 ").arg(i, 4, 10, QLatin1Char('0'))
                                     + QString(60, u'ż'));
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Served s;
        ASSERT_TRUE(s.rig.prepare());
        if (c.obstacle == LogIsAFile) {
            ASSERT_TRUE(s.rig.work.writeFile(QStringLiteral("log"), "not a folder\n"));
        } else if (c.obstacle == NothingCanBeCreated) {
            // Root may write anywhere, but no file can be created in /proc.
            ASSERT_TRUE(
                QFile::link(QStringLiteral("/proc"), s.rig.work.filePath(QStringLiteral("log"))));
        }
        MessageWatch watch;
        ASSERT_TRUE(s.start({A}));

        QString openFile;
        if (c.obstacle == FolderGoesAway) {
            EXPECT_TRUE(watch.seen().isEmpty());
            openFile = QFileInfo(s.rig.form->Log.fileName()).fileName();
            ASSERT_TRUE(
                QDir(s.rig.work.path()).rename(QStringLiteral("log"), QStringLiteral("log.gone")));
            ASSERT_TRUE(s.rig.work.writeFile(QStringLiteral("log"), "not a folder\n"));
        }
        addLines(s.rig, 0, 300);
        EXPECT_EQ(watch.seen(), QStringList {message});
        EXPECT_TRUE(
            s.rig.memoLines().last().endsWith(QStringLiteral("linia 0299 ") + QString(60, u'ż')));

        auto a = s.rig.connect(A);
        ASSERT_TRUE(a);
        ASSERT_TRUE(a->send("REQ"));
        ASSERT_TRUE(s.deviceGot("REQ"));
        s.device.send("ANS\n");
        EXPECT_EQ(a->receive(4), QByteArray("ANS\n"));

        if (c.obstacle == FolderGoesAway) {
            // Every line went on into the file that was open.
            const QString kept = WorkDir::fromDiskForm(s.rig.work.readFile("log.gone/" + openFile));
            for (int i = 0; i < 300; i += 37)
                EXPECT_TRUE(
                    kept.contains(QStringLiteral("> linia %1 ").arg(i, 4, 10, QLatin1Char('0'))))
                    << i;
            // With the folder back, the next rotation starts a new file there
            // and the open one names it.
            ASSERT_TRUE(QFile::remove(s.rig.work.filePath(QStringLiteral("log"))));
            ASSERT_TRUE(
                QDir(s.rig.work.path()).rename(QStringLiteral("log.gone"), QStringLiteral("log")));
            addLines(s.rig, 300, 150);
            EXPECT_EQ(watch.seen(), QStringList {message});
            const QString next = QFileInfo(s.rig.form->Log.fileName()).fileName();
            ASSERT_NE(next, openFile);
            const QString closed = WorkDir::fromDiskForm(s.rig.work.readFile("log/" + openFile));
            EXPECT_TRUE(closed.endsWith(QStringLiteral("\n...\n") + next))
                << qPrintable(closed.right(80));
        }
    }
}

// Connections from an address that is not authorized, in quick succession
// and in a burst beyond the listening backlog: each is refused without a byte,
// nothing reaches the device, the authorized client is served in between, and
// no descriptor is left behind.
TEST(Faults, FloodFromAnUnauthorizedAddressIsRefusedWithoutLeaks)
{
    constexpr int floodConnections = 200;
    constexpr int batch = 4; // the program listens with a backlog of 5
    constexpr int burstConnections = 40;
    Served s;
    ASSERT_TRUE(s.start({A}));
    auto a = s.rig.connect(A);
    ASSERT_TRUE(a);
    QByteArray atDevice;
    const auto served = [&](const QByteArray &request) {
        if (!a->send(request) || !s.deviceGot(atDevice += request))
            return false;
        s.device.send("ANS-" + request + "\n");
        return a->receive(request.size() + 5) == "ANS-" + request + "\n";
    };
    // Connections that send at once and wait for the program to refuse them.
    // Beyond the listening backlog the kernel drops the connection requests,
    // and the clients try again until they are taken, and refused.
    quint16 nextPort = floodClientPorts;
    const auto burst = [&](int count) {
        std::vector<int> fds;
        std::vector<int> state(size_t(count), 0); // 0 connecting, 1 sent, 2 closed, 3 got data
        for (int i = 0; i < count; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            const int one = 1;
            ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
            sockaddr_in local {};
            local.sin_family = AF_INET;
            local.sin_port = htons(nextPort++);
            ::inet_pton(AF_INET, Stranger.toLatin1().constData(), &local.sin_addr);
            sockaddr_in remote {};
            remote.sin_family = AF_INET;
            remote.sin_port = htons(s.rig.port);
            remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            ::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local);
            ::connect(fd, reinterpret_cast<sockaddr *>(&remote), sizeof remote);
            fds.push_back(fd);
        }
        runLoopUntil(
            [&] {
                bool done = true;
                for (size_t i = 0; i < fds.size(); ++i) {
                    pollfd p {fds[i], short(state[i] == 0 ? POLLOUT : POLLIN), 0};
                    if (state[i] < 2 && ::poll(&p, 1, 0) > 0) {
                        if (state[i] == 0) {
                            state[i] = ::send(fds[i], "STRANGER", 8, MSG_NOSIGNAL) == 8 ? 1 : 2;
                        } else {
                            char byte;
                            state[i] = ::recv(fds[i], &byte, 1, 0) > 0 ? 3 : 2;
                        }
                    }
                    done = done && state[i] >= 2;
                }
                return done;
            },
            30000);
        for (const int fd : fds)
            ::close(fd);
        return int(std::count(state.begin(), state.end(), 2));
    };
    // One small burst after another.
    const auto flood = [&](int count) {
        int refused = 0;
        for (int done = 0; done < count; done += batch)
            refused += burst(batch);
        return refused;
    };

    // A first round, so that whatever the program sets up on first use is
    // there before counting.
    ASSERT_TRUE(served("warm-up"));
    ASSERT_EQ(flood(batch), batch);
    ASSERT_TRUE(runLoopUntil([&] { return s.rig.form->ConnectionCount() == 1; }, 10000));
    const int descriptors = openDescriptors();

    for (int round = 0; round < 5; ++round) {
        EXPECT_EQ(flood(floodConnections / 5), floodConnections / 5);
        EXPECT_TRUE(served("REQ-" + QByteArray::number(round)));
    }
    EXPECT_EQ(burst(burstConnections), burstConnections);
    EXPECT_TRUE(served("REQ-after-burst"));
    ASSERT_TRUE(runLoopUntil([&] { return s.rig.form->ConnectionCount() == 1; }, 10000));
    EXPECT_EQ(openDescriptors(), descriptors);
    EXPECT_EQ(s.device.received(), atDevice);

    // Every refusal is in the log, right after its disconnection line.
    QStringList lines;
    for (const QString &name : s.rig.work.logFiles()) {
        QStringList part = WorkDir::fromDiskForm(s.rig.work.readFile("log/" + name)).split(u'\n');
        if (!part.last().isEmpty()) // "..." and the next file's name
            part.removeLast();
        part.removeLast();
        for (const QString &line : part)
            lines.append(line.mid(line.indexOf(QStringLiteral("> ")) + 2));
    }
    int refusals = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines.at(i) == QStringLiteral("Nowe połączenie IP=[%1] zostało odrzucone").arg(Stranger)
            && lines.at(i - 1) == QStringLiteral("Rozłączenie IP=[%1]").arg(Stranger))
            ++refusals;
    }
    EXPECT_EQ(refusals, floodConnections + batch + burstConnections);
}
