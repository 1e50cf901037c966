// The event thread and the dispatch of its events, on kernel
// pseudo-terminals with the test answering as the device.

#include "SerialTestSupport.h"

#include "tests/fixtures/PtyDevice.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace {

// The application's port on a fresh pty, with handlers that do what the
// application's do: OnRxChar reads exactly the bytes reported and appends
// them, OnRxFlag takes the collected answer.
struct AnsweringPort
{
    PtyDevice pty;
    QByteArray pending;
    QList<QByteArray> answers;
    QStringList log;
    TComPort port; // last: closing it may still run the handlers

    explicit AnsweringPort(TSyncMethod sync = smThreadSync)
    {
        setApplicationSettings(port);
        port.SetSyncMethod(sync);
        port.OnRxChar = [this](TCustomComPort *sender, int32_t count) {
            QByteArray bytes;
            sender->ReadStr(bytes, count);
            pending += bytes;
            log << QStringLiteral("rx %1").arg(count);
        };
        port.OnRxFlag = [this](TCustomComPort *) {
            log << QStringLiteral("flag");
            answers << pending;
            pending.clear();
        };
        port.SetPort(pty.slavePath());
    }
    bool waitForAnswers(int count)
    {
        return QTest::qWaitFor([&] { return answers.size() >= count; }, 10000);
    }
    bool waitForPending(int size)
    {
        return QTest::qWaitFor([&] { return pending.size() >= size; }, 10000);
    }
    // Clears onGui as soon as OnRxChar runs on any thread but the GUI thread.
    void watchRxThread(bool &onGui)
    {
        auto read = port.OnRxChar;
        port.OnRxChar = [read, &onGui](TCustomComPort *sender, int32_t count) {
            onGui = onGui && QThread::currentThread() == qApp->thread();
            read(sender, count);
        };
    }
};

TEST(SerialEvents, AnswerInChunksIsDeliveredInOrder)
{
    AnsweringPort a;
    a.port.Open();
    ASSERT_TRUE(a.pty.write("12"));
    ASSERT_TRUE(a.waitForPending(2));
    ASSERT_TRUE(a.pty.write("345"));
    ASSERT_TRUE(a.waitForPending(5));
    ASSERT_TRUE(a.pty.write("6\n"));
    ASSERT_TRUE(a.waitForAnswers(1));

    EXPECT_EQ(a.answers, QList<QByteArray>({"123456\n"}));
    // Every rx count adds up to the bytes sent; the flag comes right after
    // the rx that delivered the line feed, in the same wait.
    int total = 0;
    for (const QString &entry : a.log) {
        if (entry.startsWith("rx "))
            total += entry.mid(3).toInt();
    }
    EXPECT_EQ(total, 7);
    ASSERT_GE(a.log.size(), 4);
    EXPECT_EQ(a.log.last(), "flag");
    EXPECT_TRUE(a.log.at(a.log.size() - 2).startsWith("rx "));
    EXPECT_EQ(a.log.count("flag"), 1);

    // The next answer in one piece.
    ASSERT_TRUE(a.pty.write("OK 000\r\n"));
    ASSERT_TRUE(a.waitForAnswers(2));
    EXPECT_EQ(a.answers.last(), "OK 000\r\n");
}

TEST(SerialEvents, HandlersRunOnTheGuiThreadWhileTheEventThreadWaits)
{
    bool onGui = true;
    AnsweringPort a;
    a.watchRxThread(onGui);
    a.port.Open();
    ASSERT_TRUE(a.pty.write("x\n"));
    ASSERT_TRUE(a.waitForAnswers(1));
    EXPECT_TRUE(onGui);
}

TEST(SerialEvents, TransmitEmptyAndEightyPercentFull)
{
    int txEmpty = 0;
    QList<int> fullAt;
    AnsweringPort a;
    a.port.OnTxEmpty = [&](TCustomComPort *) { ++txEmpty; };
    a.port.OnRx80Full = [&](TCustomComPort *sender) { fullAt << sender->InputCount(); };
    a.port.OnRxChar = nullptr; // leave the bytes waiting
    a.port.Buffer()->SetInputSize(10);
    a.port.Open();

    EXPECT_EQ(a.port.WriteStr("ping"), 4);
    EXPECT_TRUE(QTest::qWaitFor([&] { return txEmpty > 0; }, 10000));
    EXPECT_EQ(a.pty.read(4), "ping");

    // 80 % of 10 bytes: reported once, when the eighth is waiting.
    ASSERT_TRUE(a.pty.write("1234567"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return a.port.InputCount() == 7; }, 10000));
    ASSERT_TRUE(a.pty.write("8"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !fullAt.isEmpty(); }, 10000));
    EXPECT_EQ(fullAt, QList<int>({8}));
}

TEST(SerialEvents, UnreadBytesAreDiscardedAtClose)
{
    int reported = 0;
    AnsweringPort a;
    auto read = a.port.OnRxChar;
    a.port.OnRxChar = [&](TCustomComPort *, int32_t count) { reported += count; };
    a.port.Open();
    ASSERT_TRUE(a.pty.write("stale"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return reported >= 5; }, 10000));
    a.port.Close();

    a.port.OnRxChar = read;
    a.port.Open();
    ASSERT_TRUE(a.pty.write("fresh\n"));
    ASSERT_TRUE(a.waitForAnswers(1));
    EXPECT_EQ(a.answers.first(), "fresh\n");
}

TEST(SerialEvents, BufferConsumersReadForTheApplication)
{
    QByteArray viaPort;
    QByteArray viaLink;
    int rxChar = 0;
    TComLink link;
    AnsweringPort a;
    a.port.OnRxChar = [&](TCustomComPort *, int32_t) { ++rxChar; };
    a.port.OnRxBuf = [&](TCustomComPort *, const QByteArray &bytes, int32_t count) {
        EXPECT_EQ(bytes.size(), count);
        viaPort += bytes;
    };
    a.port.SetTriggersOnRxChar(false);
    link.OnRxBuf = [&](TCustomComPort *, const QByteArray &bytes, int32_t) { viaLink += bytes; };
    a.port.RegisterLink(&link);
    a.port.Open();
    ASSERT_TRUE(a.pty.write("buffered\n"));
    ASSERT_TRUE(a.waitForAnswers(1));
    EXPECT_EQ(viaPort, "buffered\n");
    EXPECT_EQ(viaLink, "buffered\n");
    EXPECT_EQ(rxChar, 0);
    EXPECT_EQ(a.port.InputCount(), 0);
}

TEST(SerialEvents, LinksFollowTheReceivePath)
{
    TComLink link;
    QStringList seen;
    AnsweringPort a;
    link.OnRx = [&](TCustomComPort *, bool on) { seen << (on ? "rx on" : "rx off"); };
    link.OnRxFlag = [&](TCustomComPort *) { seen << "rxflag"; };
    a.port.RegisterLink(&link);
    a.port.Open();
    ASSERT_TRUE(a.pty.write("a\n"));
    ASSERT_TRUE(a.waitForAnswers(1));
    // rx on when bytes wait, rx off once the handler's read emptied the
    // queue, then the event character.
    ASSERT_GE(seen.size(), 3);
    EXPECT_EQ(seen.mid(seen.size() - 3), QStringList({"rx on", "rx off", "rxflag"}));
    EXPECT_EQ(seen.count("rxflag"), 1);
}

// Closes the active modal message box (from a timer, as the operator would)
// and keeps its text.
struct MessageBoxCloser
{
    QStringList texts;
    QTimer timer;

    MessageBoxCloser()
    {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            texts << box->text();
            box->button(QMessageBox::Ok)->click();
        });
        timer.start(10);
    }
};

TEST(SerialEvents, ErrorInAHandlerIsShownAndDeliveryGoesOn)
{
    bool failOnce = true;
    MessageBoxCloser closer;
    AnsweringPort a;
    auto read = a.port.OnRxChar;
    a.port.OnRxChar = [&](TCustomComPort *sender, int32_t count) {
        read(sender, count);
        if (failOnce) {
            failOnce = false;
            throw std::runtime_error("handler failed");
        }
    };
    a.port.Open();

    ASSERT_TRUE(a.pty.write("first\n"));
    ASSERT_TRUE(a.waitForAnswers(1));
    EXPECT_EQ(closer.texts, QStringList({"handler failed"}));
    // The event character of the same wait still reached its handler.
    EXPECT_EQ(a.answers.first(), "first\n");

    ASSERT_TRUE(a.pty.write("second\n"));
    ASSERT_TRUE(a.waitForAnswers(2));
    EXPECT_EQ(a.answers.last(), "second\n");
    EXPECT_EQ(closer.texts.size(), 1);
}

TEST(SerialEvents, PortErrorInAHandlerIsShownToo)
{
    MessageBoxCloser closer;
    AnsweringPort a;
    a.port.OnRxFlag = [&](TCustomComPort *sender) {
        a.answers << a.pending;
        QByteArray more;
        PAsync none = nullptr;
        sender->ReadStrAsync(more, 1, none); // no record: code 4
    };
    a.port.Open();
    ASSERT_TRUE(a.pty.write("x\n"));
    ASSERT_TRUE(a.waitForAnswers(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !closer.texts.isEmpty(); }, 10000));
    EXPECT_EQ(closer.texts.first(), "Invalid Async parameter");
    ASSERT_TRUE(a.pty.write("y\n"));
    ASSERT_TRUE(a.waitForAnswers(2));
}

// Calls Close the moment the hand-over's queued call reaches the GUI
// thread, before it runs: the dispatch is then pending and not running.
class CloseOnHandOver : public QObject
{
public:
    explicit CloseOnHandOver(TCustomComPort &port) : m_port(port) {}
    bool armed = true;
    bool fired = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (armed && watched == qApp && event->type() == QEvent::MetaCall) {
            armed = false;
            fired = true;
            m_port.Close();
        }
        return false;
    }

private:
    TCustomComPort &m_port;
};

TEST(SerialEvents, CloseRunsAPendingHandOverAndDoesNotDeadlock)
{
    bool closing = false;
    bool ranInsideClose = false;
    int rxCalls = 0;
    AnsweringPort a;
    auto read = a.port.OnRxChar;
    a.port.OnRxChar = [&](TCustomComPort *sender, int32_t count) {
        ++rxCalls;
        ranInsideClose = closing;
        read(sender, count);
    };
    a.port.OnBeforeClose = [&](TCustomComPort *) { closing = true; };
    a.port.OnAfterClose = [&](TCustomComPort *) { closing = false; };
    a.port.Open();

    CloseOnHandOver filter(a.port);
    qApp->installEventFilter(&filter);
    ASSERT_TRUE(a.pty.write("late\n"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !a.port.Connected(); }, 10000));
    qApp->removeEventFilter(&filter);

    EXPECT_TRUE(filter.fired);
    EXPECT_EQ(rxCalls, 1);
    EXPECT_TRUE(ranInsideClose);
    EXPECT_EQ(a.answers, QList<QByteArray>({"late\n"}));
    // The queued call that arrives afterwards finds nothing left to do.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(rxCalls, 1);
    EXPECT_EQ(a.answers.size(), 1);
}

TEST(SerialEvents, HandlerMayCloseThePort)
{
    AnsweringPort a;
    auto read = a.port.OnRxChar;
    a.port.OnRxChar = [&](TCustomComPort *sender, int32_t count) {
        read(sender, count);
        sender->Close();
    };
    a.port.Open();
    ASSERT_TRUE(a.pty.write("bye\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !a.port.Connected(); }, 10000));
    EXPECT_EQ(a.pending, "bye\n");
    // The port closed inside the wait's dispatch: its event character is
    // not reported any more.
    QCoreApplication::processEvents();
    EXPECT_TRUE(a.answers.isEmpty());

    a.port.Open();
    ASSERT_TRUE(a.pty.write("again\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !a.port.Connected(); }, 10000));
    EXPECT_EQ(a.pending, "bye\nagain\n");
}

TEST(SerialEvents, DestroyingAnOpenPortEndsItsThread)
{
    auto a = std::make_unique<AnsweringPort>();
    a->port.Open();
    ASSERT_TRUE(a->pty.write("a\n"));
    ASSERT_TRUE(a->waitForAnswers(1));
    ASSERT_TRUE(a->pty.write("b\n"));
    a.reset();
    // Whatever was handed over late finds the port gone.
    QCoreApplication::processEvents();
}

TEST(SerialEvents, WithoutSynchronisationHandlersRunOnTheEventThread)
{
    std::mutex mutex;
    QByteArray received;
    bool offGui = true;
    std::atomic<int> flags = 0;
    PtyDevice pty;
    TComPort port;
    setApplicationSettings(port);
    port.SetSyncMethod(smNone);
    port.OnRxChar = [&](TCustomComPort *sender, int32_t count) {
        QByteArray bytes;
        sender->ReadStr(bytes, count);
        std::lock_guard lock(mutex);
        offGui = offGui && QThread::currentThread() != qApp->thread();
        received += bytes;
    };
    port.OnRxFlag = [&](TCustomComPort *) { ++flags; };
    port.SetPort(pty.slavePath());
    port.Open();
    ASSERT_TRUE(pty.write("direct\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return flags.load() > 0; }, 10000));
    port.Close();
    std::lock_guard lock(mutex);
    EXPECT_EQ(received, "direct\n");
    EXPECT_TRUE(offGui);
}

TEST(SerialEvents, QueuedDeliveryRunsOnTheGuiThreadAndStopsAtClose)
{
    bool onGui = true;
    AnsweringPort a(smWindowSync);
    a.watchRxThread(onGui);
    a.port.Open();
    ASSERT_TRUE(a.pty.write("queued\n"));
    ASSERT_TRUE(a.waitForAnswers(1));
    EXPECT_EQ(a.answers.first(), "queued\n");
    EXPECT_TRUE(onGui);

    // Taken or not by the time the port closes, this answer is not delivered.
    ASSERT_TRUE(a.pty.write("dropped\n"));
    a.port.Close();
    QCoreApplication::processEvents();
    EXPECT_EQ(a.answers.size(), 1);
}

} // namespace
