// Reading and writing, synchronous and asynchronous, and waiting for events
// without the event thread, on kernel pseudo-terminals.

#include "SerialTestSupport.h"

#include "serial/WinError.h"
#include "tests/fixtures/PtyDevice.h"

#include <QTest>

#include <gtest/gtest.h>

#include <sys/eventfd.h>
#include <unistd.h>

#include <functional>
#include <tuple>
#include <vector>

namespace {

// A port on a fresh pty without an event thread, so the test decides when
// bytes are taken.
struct QuietPort
{
    PtyDevice pty;
    TComPort port;

    QuietPort()
    {
        setApplicationSettings(port);
        port.SetEvents(TComEvents());
        port.SetPort(pty.slavePath());
        port.Open();
    }
    // Waits until the port has `count` bytes waiting.
    bool waitForInput(int count)
    {
        return QTest::qWaitFor([&] { return port.InputCount() >= count; }, 10000)
               && port.InputCount() == count;
    }
};

TEST(SerialWrite, WriteStrSendsEveryByte)
{
    QuietPort q;
    EXPECT_EQ(q.port.WriteStr("0123456789"), 10);
    EXPECT_EQ(q.pty.read(10), "0123456789");

    const QByteArray binary("\x00\xff\r\n\x11\x13", 6);
    EXPECT_EQ(q.port.WriteStr(binary), 6);
    EXPECT_EQ(q.pty.read(6), binary);

    // An empty text sends nothing.
    EXPECT_EQ(q.port.WriteStr(QByteArray()), 0);
    EXPECT_EQ(q.port.WriteStr("!"), 1);
    EXPECT_EQ(q.pty.read(1), "!");
    EXPECT_TRUE(q.pty.readAvailable().isEmpty());

    q.port.TransmitChar('Z');
    EXPECT_EQ(q.pty.read(1), "Z");
}

TEST(SerialWrite, WriteThatRunsOutOfTimeReturnsWhatWasSent)
{
    QuietPort q;
    q.port.Timeouts()->SetWriteTotalMultiplier(0);
    q.port.Timeouts()->SetWriteTotalConstant(200);
    // Far more than the terminal buffers while nobody reads the other side.
    QByteArray data(4 * 1024 * 1024, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char('a' + i % 26);
    const int32_t sent = q.port.WriteStr(data);
    EXPECT_GT(sent, 0);
    EXPECT_LT(sent, data.size());
    EXPECT_EQ(q.pty.read(sent), data.left(sent));
    EXPECT_TRUE(q.pty.readAvailable().isEmpty());
}

TEST(SerialRead, ReadStrEdgeCases)
{
    QuietPort q;
    QByteArray text = "stale";
    EXPECT_EQ(q.port.ReadStr(text, 0), 0);
    EXPECT_TRUE(text.isEmpty());
    EXPECT_EQ(q.port.ReadStr(text, 5), 0);
    EXPECT_TRUE(text.isEmpty());

    ASSERT_TRUE(q.pty.write("abc"));
    ASSERT_TRUE(q.waitForInput(3));
    EXPECT_EQ(q.port.ReadStr(text, 5), 3);
    EXPECT_EQ(text, "abc");

    ASSERT_TRUE(q.pty.write("defgh"));
    ASSERT_TRUE(q.waitForInput(5));
    const int32_t count = q.port.InputCount();
    EXPECT_EQ(q.port.ReadStr(text, count), count);
    EXPECT_EQ(text, "defgh");
    EXPECT_EQ(q.port.InputCount(), 0);

    char buffer[4] = {};
    ASSERT_TRUE(q.pty.write("wxyz"));
    ASSERT_TRUE(q.waitForInput(4));
    EXPECT_EQ(q.port.Read(buffer, 2), 2);
    EXPECT_EQ(QByteArray(buffer, 2), "wx");
    EXPECT_EQ(q.port.Read(buffer, 4), 2);
    EXPECT_EQ(QByteArray(buffer, 2), "yz");
}

TEST(SerialRead, InputQueueHoldsBackWithoutDroppingBytes)
{
    QuietPort q;
    q.port.Buffer()->SetInputSize(64);
    QByteArray sent;
    for (int i = 0; i < 1000; ++i)
        sent += char(' ' + i % 90);
    ASSERT_TRUE(q.pty.write(sent));
    ASSERT_TRUE(q.waitForInput(64));

    QByteArray received;
    while (received.size() < sent.size()) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return q.port.InputCount() > 0; }, 10000));
        EXPECT_LE(q.port.InputCount(), 64);
        QByteArray chunk;
        q.port.ReadStr(chunk, q.port.InputCount());
        received += chunk;
    }
    EXPECT_EQ(received, sent);
}

TEST(SerialRead, ClearBufferAndNullDiscarding)
{
    QuietPort q;
    ASSERT_TRUE(q.pty.write("old"));
    ASSERT_TRUE(q.waitForInput(3));
    q.port.ClearBuffer(true, false);
    EXPECT_EQ(q.port.InputCount(), 0);
    q.port.ClearBuffer(false, false);

    q.port.SetDiscardNull(true);
    ASSERT_TRUE(q.pty.write(QByteArray("a\0b\0\0c", 6)));
    ASSERT_TRUE(q.waitForInput(3));
    QByteArray text;
    EXPECT_EQ(q.port.ReadStr(text, 10), 3);
    EXPECT_EQ(text, "abc");
}

TEST(SerialAsync, MissingRecordRaisesCodeFour)
{
    QuietPort q;
    PAsync none = nullptr;
    QByteArray text;
    char buffer[4];
    const std::vector<std::pair<const char *, std::function<void()>>> cases = {
        {"WriteAsync", [&] { q.port.WriteAsync("x", 1, none); }},
        {"WriteStrAsync", [&] { q.port.WriteStrAsync("x", none); }},
        {"ReadAsync", [&] { q.port.ReadAsync(buffer, 1, none); }},
        {"ReadStrAsync", [&] { q.port.ReadStrAsync(text, 1, none); }},
        {"WaitForAsync", [&] { q.port.WaitForAsync(none); }},
        {"IsAsyncCompleted", [&] { q.port.IsAsyncCompleted(none); }},
    };
    for (const auto &[name, operation] : cases) {
        SCOPED_TRACE(name);
        expectComError(operation, ComErrInvalidAsync, -1);
    }
}

TEST(SerialAsync, RecordWithoutRequestCompletesAtOnce)
{
    QuietPort q;
    PAsync async = nullptr;
    InitAsync(async);
    ASSERT_NE(async, nullptr);
    EXPECT_TRUE(q.port.IsAsyncCompleted(async));
    EXPECT_EQ(q.port.WaitForAsync(async), 0);
    DoneAsync(async);
    EXPECT_EQ(async, nullptr);
}

TEST(SerialAsync, PendingReadCompletesWhenBytesArriveOrEndsOnAbort)
{
    QuietPort q;
    // No time limits: a read waits for all it asked for.
    q.port.Timeouts()->SetReadInterval(0);
    PAsync async = nullptr;
    InitAsync(async);
    char buffer[4] = {};
    EXPECT_EQ(q.port.ReadAsync(buffer, 4, async), 0);
    EXPECT_FALSE(q.port.IsAsyncCompleted(async));
    ASSERT_TRUE(q.pty.write("wx"));
    ASSERT_TRUE(q.pty.write("yz"));
    EXPECT_EQ(q.port.WaitForAsync(async), 4);
    EXPECT_EQ(QByteArray(buffer, 4), "wxyz");

    // The same record, reused; AbortAllAsync ends it.
    EXPECT_EQ(q.port.ReadAsync(buffer, 4, async), 0);
    EXPECT_FALSE(q.port.IsAsyncCompleted(async));
    q.port.AbortAllAsync();
    expectComError([&] { q.port.WaitForAsync(async); }, ComErrRead, WinError::OperationAborted);
    DoneAsync(async);
}

TEST(SerialAsync, ReadTimeLimitsKeepTheirMeaning)
{
    QuietPort q;
    char buffer[8];
    // Return as soon as anything is there, or empty-handed after the constant.
    q.port.Timeouts()->SetReadTotalMultiplier(-1);
    q.port.Timeouts()->SetReadTotalConstant(50);
    EXPECT_EQ(q.port.Read(buffer, 8), 0);
    ASSERT_TRUE(q.pty.write("ab"));
    ASSERT_TRUE(q.waitForInput(2));
    EXPECT_EQ(q.port.Read(buffer, 8), 2);

    // A total limit: what arrived by then.
    q.port.Timeouts()->SetReadInterval(0);
    q.port.Timeouts()->SetReadTotalMultiplier(0);
    q.port.Timeouts()->SetReadTotalConstant(100);
    ASSERT_TRUE(q.pty.write("cde"));
    EXPECT_EQ(q.port.Read(buffer, 8), 3);
    EXPECT_EQ(QByteArray(buffer, 3), "cde");
}

TEST(SerialAsync, WriteAsyncCompletesAndLinksSeeTheBytes)
{
    TComLink link;
    QStringList log;
    QuietPort q;
    link.OnTx = [&](TCustomComPort *, bool on) { log << (on ? "tx on" : "tx off"); };
    link.OnTxBuf = [&](TCustomComPort *, const QByteArray &bytes, int32_t count) {
        log << "txbuf " + QString::fromLatin1(bytes) + " " + QString::number(count);
    };
    q.port.RegisterLink(&link);

    PAsync async = nullptr;
    InitAsync(async);
    const int32_t now = q.port.WriteStrAsync("hello", async);
    EXPECT_TRUE(now == 0 || now == 5);
    EXPECT_EQ(q.port.WaitForAsync(async), 5);
    EXPECT_TRUE(q.port.IsAsyncCompleted(async));
    EXPECT_EQ(async->Data, "hello");
    DoneAsync(async);
    EXPECT_EQ(q.pty.read(5), "hello");
    EXPECT_EQ(log, QStringList({"tx on", "txbuf hello 5"}));
}

TEST(SerialWaitForEvent, WaitsWithoutTheThread)
{
    QuietPort q;
    TComEvents events = {evRxChar, evRxFlag};
    q.port.WaitForEvent(events, 0, 0);
    EXPECT_TRUE(events.isEmpty());

    ASSERT_TRUE(q.pty.write("line\n"));
    events = {evRxChar, evRxFlag};
    q.port.WaitForEvent(events, -1, 10000);
    EXPECT_EQ(events, (TComEvents{evRxChar, evRxFlag}));
    EXPECT_EQ(q.port.InputCount(), 5);

    // A signalled stop event ends a wait without a time limit.
    const int stop = eventfd(1, EFD_CLOEXEC);
    events = {evRing};
    q.port.WaitForEvent(events, stop, -1);
    EXPECT_TRUE(events.isEmpty());
    close(stop);
}

TEST(SerialWaitForEvent, RefusedWhileTheThreadRuns)
{
    PtyDevice pty;
    TComPort port;
    port.SetPort(pty.slavePath());
    port.Open();
    ASSERT_TRUE(port.ThreadCreated());
    TComEvents events = {evRxChar};
    expectComError([&] { port.WaitForEvent(events, 0, 0); }, ComErrThreadCreated, -1);
}

TEST(SerialHangUp, PortSurvivesTheOtherSideClosing)
{
    int chars = 0;
    PtyDevice pty;
    TComPort port;
    setApplicationSettings(port);
    port.OnRxChar = [&](TCustomComPort *, int32_t) { ++chars; };
    port.SetPort(pty.slavePath());
    port.Open();
    pty.hangUp();
    QByteArray text;
    EXPECT_EQ(port.ReadStr(text, 10), 0);
    expectComError([&] { port.WriteStr("x"); }, ComErrWrite, WinError::IoDevice);
    port.Close();
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(chars, 0);
}

} // namespace
