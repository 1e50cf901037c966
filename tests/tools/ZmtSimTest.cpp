#include "tests/fixtures/ZmtSim.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <functional>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The server's side of the line: the linked device opened the way a serial
// port is, in raw mode.
class Device
{
public:
    explicit Device(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(),
                      O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios tio {};
        if (m_fd >= 0 && ::tcgetattr(m_fd, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(m_fd, TCSANOW, &tio);
        }
    }
    ~Device()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Device(const Device &) = delete;
    Device &operator=(const Device &) = delete;

    bool isOpen() const { return m_fd >= 0; }

    bool write(const QByteArray &bytes)
    {
        return ::write(m_fd, bytes.constData(), bytes.size()) == bytes.size();
    }

    // Everything received until done() holds or the time is up.
    QByteArray readUntil(const std::function<bool(const QByteArray &)> &done, int timeoutMs = 10000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!done(m_buffer) && !deadline.hasExpired()) {
            pollfd pfd {m_fd, POLLIN, 0};
            if (::poll(&pfd, 1, static_cast<int>(deadline.remainingTime())) <= 0)
                continue;
            char chunk[512];
            const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
            if (n > 0)
                m_buffer.append(chunk, n);
        }
        return std::exchange(m_buffer, QByteArray());
    }

    QByteArray readLines(int count, int timeoutMs = 10000)
    {
        return readUntil([count](const QByteArray &b) { return b.count('\n') >= count; },
                         timeoutMs);
    }

    QByteArray readBytes(qsizetype size, int timeoutMs = 10000)
    {
        return readUntil([size](const QByteArray &b) { return b.size() >= size; }, timeoutMs);
    }

    // What arrives within a short while; used only to show that nothing does.
    QByteArray readForAWhile()
    {
        return readUntil([](const QByteArray &) { return false; }, 300);
    }

private:
    int m_fd = -1;
    QByteArray m_buffer;
};

} // namespace

TEST(ZmtSim, EchoesEveryRequestWithoutLineEnds)
{
    ZmtSim sim;
    ASSERT_TRUE(sim.start()) << qPrintable(sim.errorText());
    Device device(sim.devicePath());
    ASSERT_TRUE(device.isOpen());

    const struct
    {
        QByteArray request;
        QByteArray answer;
    } cases[] = {
        {"REQ 1", "ANS:REQ 1\n"},
        {"id=42;PING\r\n", "ANS:id=42;PING\n"},
        {"A\rB\nC", "ANS:ABC\n"},
        {QByteArray("\x00\xfa\x7f", 3), QByteArray("ANS:\x00\xfa\x7f\n", 8)},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(device.write(c.request));
        EXPECT_EQ(device.readLines(1), c.answer) << c.request.toHex().constData();
    }
}

TEST(ZmtSim, OptionsShapeTheAnswer)
{
    const struct
    {
        QStringList options;
        QByteArray answer;
    } cases[] = {
        {{"--fixed", "EXE 000"}, "EXE 000\n"},
        {{"--fixed", "A\\r\\nB\\n"}, "A\r\nB\n"},
        {{"--prefix", "R="}, "R=X17\n"},
        {{"--prefix", "", "--no-line-feed"}, "X17"},
        {{"--chunks", "4", "--chunk-gap", "10"}, "ANS:X17\n"},
        {{"--chunks", "50"}, "ANS:X17\n"},
        {{"--delay", "50"}, "ANS:X17\n"},
        {{"--baud", "115200", "--chunks", "3"}, "ANS:X17\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(qPrintable(c.options.join(' ')));
        ZmtSim sim(c.options);
        ASSERT_TRUE(sim.start()) << qPrintable(sim.errorText());
        Device device(sim.devicePath());
        ASSERT_TRUE(device.write("X17"));
        EXPECT_EQ(device.readBytes(c.answer.size()), c.answer);
    }
}

TEST(ZmtSim, BaudRatePacesTheAnswer)
{
    ZmtSim sim({"--baud", "9600"});
    ASSERT_TRUE(sim.start()) << qPrintable(sim.errorText());
    Device device(sim.devicePath());
    const QByteArray request(96, 'x');

    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(device.write(request));
    const QByteArray answer = device.readLines(1);
    // A lower bound only: pacing can make the answer late, never early.
    // 101 bytes at 10 bits each take 105.2 ms at 9600 baud, and the last one
    // arrives only once its bits have passed.
    EXPECT_GE(clock.elapsed(), 105);
    EXPECT_EQ(answer, "ANS:" + request + "\n");
}

// The benchmark measures the device's idle time from these lines, on the same
// monotonic clock as its own.
TEST(ZmtSim, TimingFileHasALinePerRequestOnTheMonotonicClock)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString timingPath = dir.filePath("timing");
    ZmtSim sim(
        {"--terminator", "\\r", "--silent-after", "2", "--baud", "9600", "--timing", timingPath});
    ASSERT_TRUE(sim.start()) << qPrintable(sim.errorText());
    Device device(sim.devicePath());
    const auto clock = [] {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };

    const long long before = clock();
    ASSERT_TRUE(device.write("A\rBB\r"));
    EXPECT_EQ(device.readLines(2), "ANS:A\nANS:BB\n");
    ASSERT_TRUE(device.write("C\r"));
    ASSERT_TRUE(sim.waitForRecorded(7));
    ASSERT_TRUE(sim.terminate());
    const long long after = clock();

    QFile file(timingPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QList<QList<long long>> lines;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        QList<long long> fields;
        for (const QByteArray &field : line.split(' '))
            fields.append(field.toLongLong());
        ASSERT_EQ(fields.size(), 3) << line.constData();
        lines.append(fields);
    }
    ASSERT_EQ(lines.size(), 3);
    const long long byteNs = 10'000'000'000LL / 9600;
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_GE(lines[i][0], before);
        EXPECT_LE(lines[i][0], lines[i][1]);
        EXPECT_LE(lines[i][1], after);
    }
    // "ANS:A\n" is 6 bytes on the line, "ANS:BB\n" 7 more behind it; late
    // wake-ups can only add to that.
    EXPECT_GE(lines[0][2] - lines[0][1], 6 * byteNs);
    EXPECT_GE(lines[1][2] - lines[1][1], 13 * byteNs);
    EXPECT_LE(lines[1][2], after);
    EXPECT_EQ(lines[2][2], 0) << "the third request is not answered";
}

TEST(ZmtSim, TerminatorSplitsOneReadIntoRequests)
{
    ZmtSim sim({"--terminator", "\\r"});
    ASSERT_TRUE(sim.start()) << qPrintable(sim.errorText());
    Device device(sim.devicePath());
    ASSERT_TRUE(device.write("A\rBB\rC"));
    EXPECT_EQ(device.readLines(2), "ANS:A\nANS:BB\n");
    ASSERT_TRUE(device.write("C\r"));
    EXPECT_EQ(device.readLines(1), "ANS:CC\n");
}

// Requests end in a line feed here so that each is one request however the
// writes are timed; a final answered request shows that none came before it.
TEST(ZmtSim, LeavesRequestsUnansweredAsAsked)
{
    const struct
    {
        QStringList options;
        QByteArray answers;
        bool quietAfterwards;
    } cases[] = {
        {{"--answer-every", "2"}, "ANS:2\nANS:4\n", false},
        {{"--answer-every", "3"}, "ANS:3\n", true},
        {{"--silent-after", "2"}, "ANS:1\nANS:2\n", true},
        {{"--silent"}, "", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(qPrintable(c.options.join(' ')));
        ZmtSim sim(QStringList {"--terminator", "\\n"} + c.options);
        ASSERT_TRUE(sim.start()) << qPrintable(sim.errorText());
        Device device(sim.devicePath());
        ASSERT_TRUE(device.write("1\n2\n3\n4\n"));
        EXPECT_EQ(device.readBytes(c.answers.size()), c.answers);
        ASSERT_TRUE(sim.waitForRecorded(8));
        EXPECT_EQ(sim.recorded(), "1\n2\n3\n4\n");
        if (c.quietAfterwards) {
            EXPECT_EQ(device.readForAWhile(), QByteArray());
        }
    }
}

TEST(ZmtSim, RecordsEveryByteReceived)
{
    ZmtSim sim;
    ASSERT_TRUE(sim.start()) << qPrintable(sim.errorText());
    Device device(sim.devicePath());
    const QByteArray first("R1\r\n\x00\xff", 6);
    const QByteArray second("R2 \x80\x81", 5);

    ASSERT_TRUE(device.write(first));
    device.readLines(1);
    ASSERT_TRUE(sim.waitForRecorded(first.size()));
    EXPECT_EQ(sim.recorded(), first);
    ASSERT_TRUE(device.write(second));
    device.readLines(1);
    ASSERT_TRUE(sim.waitForRecorded(first.size() + second.size()));
    EXPECT_EQ(sim.recorded(), first + second);

    sim.clearRecord();
    ASSERT_TRUE(device.write("R3"));
    EXPECT_EQ(device.readLines(1), "ANS:R3\n");
    ASSERT_TRUE(sim.waitForRecorded(2));
    EXPECT_EQ(sim.recorded(), "R3");
}

TEST(ZmtSim, SendsUnsolicitedOutput)
{
    {
        ZmtSim sim({"--unsolicited", "EVT 1", "--unsolicited-every", "20"});
        ASSERT_TRUE(sim.start()) << qPrintable(sim.errorText());
        Device device(sim.devicePath());
        const QByteArray received = device.readLines(2);
        EXPECT_TRUE(received.startsWith("EVT 1\nEVT 1\n")) << received.constData();
    }
    {
        ZmtSim sim({"--unsolicited", "BEEP\\n", "--unsolicited-every", "0"});
        ASSERT_TRUE(sim.start()) << qPrintable(sim.errorText());
        Device device(sim.devicePath());
        sim.sendUnsolicited();
        EXPECT_EQ(device.readLines(1), "BEEP\n");
        EXPECT_EQ(device.readForAWhile(), QByteArray());
    }
}

TEST(ZmtSim, ServesTheDeviceAgainAfterItIsReopened)
{
    ZmtSim sim;
    ASSERT_TRUE(sim.start()) << qPrintable(sim.errorText());
    for (int round = 0; round < 3; ++round) {
        Device device(sim.devicePath());
        ASSERT_TRUE(device.isOpen());
        const QByteArray request = "OPEN" + QByteArray::number(round);
        ASSERT_TRUE(device.write(request));
        EXPECT_EQ(device.readLines(1), "ANS:" + request + "\n");
    }
    EXPECT_TRUE(sim.isRunning());
}

TEST(ZmtSim, ManagesItsLink)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath("COM1");

    // A link left behind by an earlier run is replaced.
    ASSERT_TRUE(QFile::link("/nonexistent/pts/99", link));
    ZmtSim sim({}, link);
    ASSERT_TRUE(sim.start()) << qPrintable(sim.errorText());
    EXPECT_TRUE(sim.slavePath().startsWith("/dev/pts/")) << qPrintable(sim.slavePath());
    {
        Device device(link);
        ASSERT_TRUE(device.write("L1"));
        EXPECT_EQ(device.readLines(1), "ANS:L1\n");
    }

    ASSERT_TRUE(sim.terminate());
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_FALSE(QFileInfo(link).isSymLink());

    // A killed simulator leaves its link stale; the next start takes it over.
    ASSERT_TRUE(sim.start()) << qPrintable(sim.errorText());
    sim.kill();
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    ASSERT_TRUE(sim.restart()) << qPrintable(sim.errorText());
    Device device(link);
    ASSERT_TRUE(device.write("L2"));
    EXPECT_EQ(device.readLines(1), "ANS:L2\n");
}

TEST(ZmtSim, ReadyFileNamesTheDeviceWhileItRuns)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString ready = dir.filePath("ready");
    ZmtSim sim({"--ready-file", ready});
    ASSERT_TRUE(sim.start()) << qPrintable(sim.errorText());
    QFile file(ready);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromLocal8Bit(file.readAll()), sim.devicePath() + "\n");
    ASSERT_TRUE(sim.terminate());
    EXPECT_FALSE(QFileInfo::exists(ready));
}

TEST(ZmtSim, RefusesToReplaceAFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("COM1");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("keep me");
    }
    ZmtSim sim({}, path);
    EXPECT_FALSE(sim.start());
    EXPECT_TRUE(sim.errorText().contains("refusing")) << qPrintable(sim.errorText());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "keep me");
}

TEST(ZmtSim, RejectsBadCommandLines)
{
    const QStringList cases[] = {
        {"--chunks", "0"}, {"--delay", "soon"},  {"--bogus"}, {"--fixed", "\\q"},
        {"--fixed"},       {"--terminator", ""}, {"a", "b"},
    };
    for (const QStringList &arguments : cases) {
        QProcess process;
        process.start(ZMT_SIM_BINARY, arguments);
        ASSERT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitCode(), 2) << qPrintable(arguments.join(' '));
        EXPECT_TRUE(process.readAllStandardError().contains("--help"));
    }
    QProcess help;
    help.start(ZMT_SIM_BINARY, {"--help"});
    ASSERT_TRUE(help.waitForFinished(10000));
    EXPECT_EQ(help.exitCode(), 0);
    EXPECT_TRUE(help.readAllStandardOutput().contains("--unsolicited-every"));
}
