#include "app/TMainForm.h"
#include "app/TPortEdit.h"
#include "net/TServerSocket.h"
#include "serial/TComPort.h"
#include "tests/fixtures/FreePort.h"
#include "tests/fixtures/ModalScript.h"
#include "tests/fixtures/PtyDevice.h"
#include "tests/fixtures/TcpClient.h"
#include "tests/fixtures/WorkDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTest>

#include <memory>


namespace {

const QString A = QStringLiteral("127.0.0.2");
const QString B = QStringLiteral("127.0.0.3");

// The program in a working directory of its own: an autostart configuration,
// dev/COM1 linked to a pseudo-terminal played by the test as the ZMT, and the
// main window listening on a free port.
class ServerCore : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(work.isValid() && work.makeData() && work.makeDev());
        ASSERT_TRUE(device.isValid());
        ASSERT_TRUE(work.linkDevice(QStringLiteral("COM1"), device.slavePath()));
        ASSERT_TRUE(work.enter());
    }

    void TearDown() override { form.reset(); }

    void writeConfiguration(const QString &text)
    {
        ASSERT_TRUE(work.writeDataFile(QStringLiteral("Hollvan.cf"), text));
    }

    // Starts the main window with the default configuration: autostart, and
    // the clients 127.0.0.1 to 127.0.0.3 authorized.
    void start(const QString &configuration = QStringLiteral("Auto\n"
                                                             "127.0.0.1\tlocalhost\t1\n"
                                                             "127.0.0.2\tstacja A\t1\n"
                                                             "127.0.0.3\tstacja B\t1\n"))
    {
        writeConfiguration(configuration);
        port = freeListeningPort();
        ASSERT_NE(port, 0);
        form = std::make_unique<TMainForm>();
        form->EditPort->setText(QStringLiteral("Port:%1").arg(port));
        form->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return logged(QStringLiteral("Serwer jest aktywny")); }, 10000));
    }

    std::unique_ptr<TcpClient> connect(const QString &address)
    {
        auto client = std::make_unique<TcpClient>();
        client->setNoDelay();
        EXPECT_TRUE(client->connectTo(port, address));
        const QString admitted = QStringLiteral("Nowe połączenie IP=[%1] zostało przyjęte").arg(address);
        const int before = int(messages().count(admitted));
        EXPECT_TRUE(QTest::qWaitFor([&] { return messages().count(admitted) > before; }, 10000));
        return client;
    }

    QStringList lines() const
    {
        return form->Terminal->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // The log lines without their time stamps.
    QStringList messages() const
    {
        QStringList out;
        for (const QString &line : lines())
            out.append(line.mid(line.indexOf(QStringLiteral("> ")) + 2));
        return out;
    }

    bool logged(const QString &text) const { return messages().contains(text); }

    // What the program wrote to the device, waiting for count bytes while the
    // program's loop runs.
    QByteArray fromDevice(int count, int timeoutMs = 10000)
    {
        QByteArray got;
        const bool complete = QTest::qWaitFor(
            [&] {
                got += device.readAvailable();
                return got.size() >= count;
            },
            timeoutMs);
        EXPECT_TRUE(complete) << "the device got only " << got.constData();
        return got;
    }

    bool waitQueued(int n)
    {
        return QTest::qWaitFor([&] { return form->RequestTexts.size() == n; }, 10000);
    }

    WorkDir work;
    PtyDevice device;
    std::unique_ptr<TMainForm> form;
    quint16 port = 0;
};

} // namespace

TEST_F(ServerCore, AutostartOpensPortAndServerAndLogsInOrder)
{
    start();
    EXPECT_TRUE(form->LoggedIn);
    EXPECT_TRUE(form->ComPort->Connected());
    EXPECT_EQ(form->ConnectionCount(), 0);
    const QStringList expected = {
        QStringLiteral("Witamy w programie Hollvan"), QStringLiteral("Autostart włączony"),
        QStringLiteral("Port szeregowy jest otwarty"), QStringLiteral("Autoryzowani klienci:"),
        QStringLiteral("localhost IP=[127.0.0.1]"), QStringLiteral("stacja A IP=[127.0.0.2]"),
        QStringLiteral("stacja B IP=[127.0.0.3]"), QStringLiteral("Serwer jest aktywny")};
    EXPECT_EQ(messages(), expected);

    // Client lines carry no time stamp; every other line does.
    const QRegularExpression stamped(QStringLiteral("^\\S+> \\S"));
    for (const QString &line : lines()) {
        if (line.contains(QStringLiteral(" IP=[127.0.0.")))
            EXPECT_TRUE(line.startsWith(QStringLiteral("> "))) << qPrintable(line);
        else
            EXPECT_TRUE(stamped.match(line).hasMatch()) << qPrintable(line);
    }
}

TEST_F(ServerCore, RequestsWaitInOneQueueAndAnswersGoToTheirSenders)
{
    start();
    auto a = connect(A);
    auto b = connect(B);

    ASSERT_TRUE(a->send("REQ-A"));
    ASSERT_TRUE(waitQueued(1));
    EXPECT_EQ(fromDevice(5), QByteArray("REQ-A"));
    ASSERT_TRUE(b->send("REQ-B"));
    ASSERT_TRUE(waitQueued(2));
    EXPECT_TRUE(device.readAvailable().isEmpty()) << "the second request waits for the first answer";

    // An answer arriving in pieces goes out whole, line end included.
    ASSERT_TRUE(device.write("ANS"));
    ASSERT_TRUE(device.write("-A\n"));
    EXPECT_EQ(a->receive(6), QByteArray("ANS-A\n"));
    EXPECT_EQ(fromDevice(5), QByteArray("REQ-B"));
    ASSERT_TRUE(device.write("ANS-B\n"));
    EXPECT_EQ(b->receive(6), QByteArray("ANS-B\n"));
    ASSERT_TRUE(waitQueued(0));
    EXPECT_FALSE(form->DeviceBusy);
    EXPECT_TRUE(a->receiveAvailable().isEmpty());
}

TEST_F(ServerCore, AnswersForAnAddressGoToItsLastAcceptedConnection)
{
    start();
    auto first = connect(A);
    auto second = connect(A);
    ASSERT_TRUE(first->send("Q1"));
    EXPECT_EQ(fromDevice(2), QByteArray("Q1"));
    ASSERT_TRUE(device.write("R1\n"));
    EXPECT_EQ(second->receive(3), QByteArray("R1\n"));
    EXPECT_TRUE(first->receiveAvailable().isEmpty());
}

TEST_F(ServerCore, UnansweredRequestIsDroppedAndLateAnswerEndsTheNext)
{
    start();
    auto a = connect(A);
    auto b = connect(B);
    ASSERT_TRUE(a->send("REQ-A"));
    EXPECT_EQ(fromDevice(5), QByteArray("REQ-A"));
    ASSERT_TRUE(b->send("REQ-B"));
    ASSERT_TRUE(waitQueued(2));

    // Five seconds without an answer: A's request goes, B's is written.
    EXPECT_EQ(fromDevice(5, 15000), QByteArray("REQ-B"));
    ASSERT_TRUE(waitQueued(1));
    EXPECT_TRUE(a->receiveAvailable().isEmpty());

    // A's late answer ends B's request and reaches B.
    ASSERT_TRUE(device.write("LATE-A\n"));
    EXPECT_EQ(b->receive(7), QByteArray("LATE-A\n"));
    ASSERT_TRUE(waitQueued(0));

    // The answer to B's request now finds no request: it waits in the buffer
    // and goes out in front of the next answer.
    ASSERT_TRUE(device.write("ANS-B\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->ResponseBuffer == "ANS-B\n"; }, 10000));
    ASSERT_TRUE(a->send("REQ-C"));
    EXPECT_EQ(fromDevice(5), QByteArray("REQ-C"));
    ASSERT_TRUE(device.write("ANS-C\n"));
    EXPECT_EQ(a->receive(12), QByteArray("ANS-B\nANS-C\n"));
    EXPECT_TRUE(b->receiveAvailable().isEmpty());
}

TEST_F(ServerCore, ReopeningSoonAfterACloseServesTheNextRequestAtOnce)
{
    start();
    {
        auto a = connect(A);
        ASSERT_TRUE(a->send("REQ-OLD"));
        EXPECT_EQ(fromDevice(7), QByteArray("REQ-OLD"));
        ASSERT_TRUE(device.write("PART"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->ResponseBuffer == "PART"; }, 10000));
        ModalScript script({answerMessage("BitBtnLeft")});
        form->SpeedButtonCloseClick();
        ASSERT_TRUE(script.finished());
    }
    ASSERT_FALSE(form->ServerSocket->Active());
    form->LoggedIn = true;
    form->SpeedButtonOpenClick();
    ASSERT_TRUE(form->ServerSocket->Active());

    auto b = connect(B);
    ASSERT_TRUE(b->send("REQ-NEW"));
    EXPECT_EQ(fromDevice(7), QByteArray("REQ-NEW"));
    ASSERT_TRUE(device.write("ANS-NEW\n"));
    EXPECT_EQ(b->receive(8), QByteArray("ANS-NEW\n"));
}

TEST_F(ServerCore, LockCommandsAreAnsweredByTheServer)
{
    start();
    auto a = connect(A);
    auto b = connect(B);
    const QByteArray accepted("EXE 000\r\n");
    const QByteArray refused("LOCK\r\n");

    // Without a lock: an unlock is accepted and changes nothing, a text with
    // both commands only gets the reply.
    ASSERT_TRUE(b->send("lockd"));
    EXPECT_EQ(b->receive(9), accepted);
    ASSERT_TRUE(b->send("LOCKE LOCKD"));
    EXPECT_EQ(b->receive(9), accepted);
    EXPECT_FALSE(form->LockActive);

    // A device command that merely contains the word takes the lock.
    ASSERT_TRUE(a->send("status locked?"));
    EXPECT_EQ(a->receive(9), accepted);
    EXPECT_TRUE(form->LockActive);
    EXPECT_TRUE(logged(QStringLiteral("Blokada włączona przez IP=[127.0.0.2]")));

    // Another address is refused whatever it sends, an unlock included.
    for (const QByteArray &text : {QByteArray("REQ-B"), QByteArray("LOCKD"), QByteArray("LOCKE")}) {
        ASSERT_TRUE(b->send(text));
        EXPECT_EQ(b->receive(6), refused) << text.constData();
    }
    EXPECT_TRUE(form->LockActive);

    // The holder's requests are relayed; with the queue empty, device output
    // goes to the holder.
    ASSERT_TRUE(a->send("REQ-A"));
    EXPECT_EQ(fromDevice(5), QByteArray("REQ-A"));
    ASSERT_TRUE(device.write("ANS-A\n"));
    EXPECT_EQ(a->receive(6), QByteArray("ANS-A\n"));
    ASSERT_TRUE(device.write("EVENT\n"));
    EXPECT_EQ(a->receive(6), QByteArray("EVENT\n"));
    EXPECT_TRUE(device.readAvailable().isEmpty()) << "B's texts never reached the device";

    // The holder locking again, and with both commands, keeps the lock.
    ASSERT_TRUE(a->send("Locke\r\nLockd\r\n"));
    EXPECT_EQ(a->receive(9), accepted);
    EXPECT_TRUE(form->LockActive);

    const int before = int(messages().count(QStringLiteral("Blokada wyłączona")));
    ASSERT_TRUE(a->send("LOCKD"));
    EXPECT_EQ(a->receive(9), accepted);
    EXPECT_FALSE(form->LockActive);
    EXPECT_EQ(messages().count(QStringLiteral("Blokada wyłączona")), before + 1);
}

TEST_F(ServerCore, DisconnectionOfTheHolderReleasesTheLock)
{
    start();
    auto a1 = connect(A);
    auto a2 = connect(A);
    auto b = connect(B);
    ASSERT_TRUE(a1->send("LOCKE"));
    EXPECT_EQ(a1->receive(9), QByteArray("EXE 000\r\n"));
    a2->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->LockActive; }, 10000));
    const QStringList log = messages();
    const qsizetype gone = log.lastIndexOf(QStringLiteral("Rozłączenie IP=[127.0.0.2]"));
    ASSERT_GE(gone, 0);
    EXPECT_EQ(log.value(gone + 1), QStringLiteral("Blokada wyłączona"));

    ASSERT_TRUE(b->send("REQ-B"));
    EXPECT_EQ(fromDevice(5), QByteArray("REQ-B"));
}

TEST_F(ServerCore, UnauthorizedAddressesAreRefused)
{
    start(QStringLiteral("Auto\n127.000.000.004\tzera\t1\n127.0.0.2\tA\t1\n127.0.0.5\tnie\t0\n"));
    for (const QString &address :
         {QStringLiteral("127.0.0.9"), QStringLiteral("127.0.0.4"), QStringLiteral("127.0.0.5")}) {
        TcpClient client;
        ASSERT_TRUE(client.connectTo(port, address));
        EXPECT_TRUE(client.waitForClosed());
        EXPECT_TRUE(client.receiveAvailable().isEmpty());
        const QStringList log = messages();
        const qsizetype refused
            = log.indexOf(QStringLiteral("Nowe połączenie IP=[%1] zostało odrzucone").arg(address));
        ASSERT_GE(refused, 1) << qPrintable(address);
        EXPECT_EQ(log.at(refused - 1), QStringLiteral("Rozłączenie IP=[%1]").arg(address));
    }
    // A refused connection is counted until it is released, then not.
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->ConnectionCount() == 0; }, 10000));
    EXPECT_TRUE(device.readAvailable().isEmpty());
}

TEST_F(ServerCore, ResetConnectionIsLoggedWithItsErrorAndClosed)
{
    start();
    auto a = connect(A);
    a->reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return logged(QStringLiteral("Rozłączenie IP=[127.0.0.2]")); },
                                10000));
    const QStringList log = messages();
    const qsizetype gone = log.indexOf(QStringLiteral("Rozłączenie IP=[127.0.0.2]"));
    EXPECT_EQ(log.value(gone - 1), QStringLiteral("Error #10054 [127.0.0.2] Connection reset by peer"));
}

TEST_F(ServerCore, ClosingWithClientsAsksAndDisconnectsTheLaterFirst)
{
    start();
    auto a = connect(A);
    auto b = connect(B);
    SeenMessage seen;
    ModalScript script({answerMessage("BitBtnLeft", &seen)});
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(script.finished());
    EXPECT_EQ(seen.text, QStringLiteral("Niektóre połączenia są aktywne\nZamknąc serwer?"));
    EXPECT_EQ(seen.leftButton, QStringLiteral("OK"));
    const QStringList log = messages();
    ASSERT_GE(log.size(), 3);
    EXPECT_EQ(log.mid(log.size() - 3),
              (QStringList{QStringLiteral("Rozłączenie IP=[127.0.0.3]"),
                           QStringLiteral("Rozłączenie IP=[127.0.0.2]"),
                           QStringLiteral("Serwer jest wyłączony")}));
    EXPECT_FALSE(form->ServerSocket->Active());
    EXPECT_FALSE(form->Log.isOpen());
}

TEST_F(ServerCore, RefusedCloseLeavesTheServerRunning)
{
    start();
    ModalScript script({answerMessage("BitBtnRight")});
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(script.finished());
    EXPECT_TRUE(form->ServerSocket->Active());
    auto a = connect(A);
    ASSERT_TRUE(a->send("Q"));
    EXPECT_EQ(fromDevice(1), QByteArray("Q"));
}

TEST_F(ServerCore, AutostartWithAMissingPortOpensNothing)
{
    device.hangUp();
    ASSERT_TRUE(QFile::remove(QStringLiteral("dev/COM1")));
    writeConfiguration(QStringLiteral("Auto\n127.0.0.1\tlocalhost\t1\n"));
    form = std::make_unique<TMainForm>();
    form->show();
    // The whole start-up sequence runs in one dispatch, so it has ended when
    // its line shows.
    ASSERT_TRUE(QTest::qWaitFor([&] { return logged(QStringLiteral("Autostart włączony")); }, 10000));
    EXPECT_TRUE(form->LoggedIn);
    EXPECT_FALSE(form->ComPort->Connected());
    EXPECT_FALSE(form->ServerSocket->Active());
    EXPECT_EQ(messages(),
              (QStringList{QStringLiteral("Witamy w programie Hollvan"), QStringLiteral("Autostart włączony")}));
}

TEST_F(ServerCore, ServerPortBelow1024ListensOn10001)
{
    writeConfiguration(QStringLiteral("Manual\n"));
    form = std::make_unique<TMainForm>();
    form->LoggedIn = true;
    form->EditPort->setText(QStringLiteral("Port:80"));
    ASSERT_EQ(form->EditPort->PortValue(), 80);
    ASSERT_TRUE(form->OpenSerialPort(QStringLiteral("COM1")));
    if (form->ActivateServer()) {
        EXPECT_EQ(form->ServerSocket->Port(), 10001);
        form->DeactivateServer();
    }
    // Whether or not 10001 was free here, the entry now names it.
    EXPECT_EQ(form->EditPort->text(), QStringLiteral("Port:10001"));
    EXPECT_EQ(form->EditPort->PortValue(), 10001);
}

TEST_F(ServerCore, MemoKeepsTheLatest400Lines)
{
    writeConfiguration(QStringLiteral("Manual\n"));
    form = std::make_unique<TMainForm>();
    for (int i = 1; i <= 401; ++i)
        form->AddLogLine(false, QStringLiteral("line %1").arg(i));
    const QStringList shown = lines();
    ASSERT_EQ(shown.size(), 400);
    EXPECT_EQ(shown.first(), QStringLiteral("> line 2"));
    EXPECT_EQ(shown.last(), QStringLiteral("> line 401"));
}
