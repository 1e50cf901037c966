#include "tests/fixtures/TcpClient.h"
#include "tests/fixtures/WorkDir.h"
#include "tests/fixtures/ZmtSim.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

// The program as a process in a working directory of its own, without a
// display; standard error is collected for the checks.
class Program
{
public:
    Program(const QString &workDir, bool unattended)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        if (unattended)
            env.insert(QStringLiteral("HOLLVAN_UNATTENDED"), QStringLiteral("1"));
        else
            env.remove(QStringLiteral("HOLLVAN_UNATTENDED"));
        m_process.setProcessEnvironment(env);
        m_process.setWorkingDirectory(workDir);
        m_process.start(QStringLiteral(HOLLVAN_BINARY), {});
    }
    ~Program()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }

    bool started() { return m_process.waitForStarted(10000); }
    void signal(int number) { ::kill(pid_t(m_process.processId()), number); }
    bool waitForStderr(const QString &text)
    {
        return QTest::qWaitFor([&] { return stderrText().contains(text); }, 20000);
    }
    QString stderrText()
    {
        m_stderr += m_process.readAllStandardError();
        return QString::fromUtf8(m_stderr);
    }
    // Ends on its own within the bound, normally and with status 0.
    bool exitedCleanly()
    {
        const bool ended
            = QTest::qWaitFor([&] { return m_process.state() == QProcess::NotRunning; }, 20000);
        stderrText();
        return ended && m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }

private:
    QTemporaryDir m_runtime;
    QProcess m_process;
    QByteArray m_stderr;
};

QString logText(const WorkDir &work)
{
    const QStringList logs = work.logFiles();
    return logs.isEmpty()
        ? QString()
        : WorkDir::fromDiskForm(work.readFile(QStringLiteral("log/") + logs.last()));
}

bool logContains(const WorkDir &work, const QString &text)
{
    return QTest::qWaitFor([&] { return logText(work).contains(text); }, 20000);
}

TEST(StopSignals, StopTheServerThroughItsCloseSequence)
{
    struct Case
    {
        int signal;
        bool unattended;
    };
    for (const Case c : {Case {SIGTERM, true}, Case {SIGINT, false}, Case {SIGHUP, false}}) {
        SCOPED_TRACE(testing::Message() << "signal " << c.signal);
        WorkDir work;
        ASSERT_TRUE(work.makeData() && work.makeDev());
        ASSERT_TRUE(work.writeDataFile(QStringLiteral("Hollvan.cf"),
                                       QStringLiteral("Auto\n127.0.0.1\tlocalhost\t1\n")));
        ZmtSim sim({}, work.filePath(QStringLiteral("dev/COM1")));
        ASSERT_TRUE(sim.start()) << qPrintable(sim.errorText());

        Program program(work.path(), c.unattended);
        ASSERT_TRUE(program.started());
        TcpClient client;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return client.connectTo(10001, QStringLiteral("127.0.0.1"),
                                        QStringLiteral("127.0.0.1"), 500);
            },
            20000));
        ASSERT_TRUE(client.send("ZMT?"));
        ASSERT_EQ(client.receiveUntil([](const QByteArray &got) { return got.endsWith('\n'); }),
                  QByteArray("ANS:ZMT?\n"));

        // With a client connected the close asks "OK"/"Anuluj"; a stop signal
        // consents, closes the connection and then the server.
        program.signal(c.signal);
        ASSERT_TRUE(program.exitedCleanly()) << qPrintable(program.stderrText());
        EXPECT_TRUE(client.waitForClosed());
        EXPECT_TRUE(program.stderrText().contains(QStringLiteral(
            "Hollvan: Ostrzeżenie: Niektóre połączenia są aktywne / Zamknąc serwer? [OK]\n")));
        const QStringList lines = logText(work).split(u'\n', Qt::SkipEmptyParts);
        ASSERT_GE(lines.size(), 2);
        EXPECT_TRUE(
            lines.at(lines.size() - 2).endsWith(QStringLiteral("> Rozłączenie IP=[127.0.0.1]")));
        EXPECT_TRUE(lines.last().endsWith(QStringLiteral("> Serwer jest wyłączony")));
        EXPECT_EQ(work.readFile(QStringLiteral("data/Hollvan.pr")),
                  QByteArray("RS232=COM1\r\nPort:10001"));
    }
}

// Attended start in a folder without data/: the start-up stops at the warning
// about the missing configuration file, in a nested loop. The signal closes
// that window and the program, and the close's own complaint (the port
// settings cannot be written) goes to stderr instead of a second window.
TEST(StopSignals, DismissAnOpenMessageAndStopWithoutAsking)
{
    WorkDir work;
    Program program(work.path(), false);
    ASSERT_TRUE(program.started());
    // The welcome line comes just before the configuration file is looked for.
    ASSERT_TRUE(logContains(work, QStringLiteral("> Witamy w programie Hollvan\n")));
    program.signal(SIGTERM);
    ASSERT_TRUE(program.exitedCleanly()) << qPrintable(program.stderrText());
    EXPECT_TRUE(
        program.stderrText().contains(QStringLiteral("Hollvan: Błąd: Brak dostępu [Zamknij]\n")));
    EXPECT_FALSE(
        program.stderrText().contains(QStringLiteral("Nie znaleziono pliku konfiguracyjnego")));
}

// Unattended, the start-up's messages never wait: with log a plain file and
// no data/, both complaints reach stderr before anything is sent to the
// process, and it still stops on the signal.
TEST(StopSignals, UnattendedStartUpWritesItsMessagesAndGoesOn)
{
    WorkDir work;
    ASSERT_TRUE(work.writeFile(QStringLiteral("log"), QByteArray("not a folder")));
    Program program(work.path(), true);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(program.waitForStderr(
        QStringLiteral("Hollvan: Błąd: Plik log nie może byc otwarty [Zamknij]\n")));
    ASSERT_TRUE(program.waitForStderr(
        QStringLiteral("Hollvan: Ostrzeżenie: Nie znaleziono pliku konfiguracyjnego [Zamknij]\n")));
    program.signal(SIGTERM);
    EXPECT_TRUE(program.exitedCleanly()) << qPrintable(program.stderrText());
}

} // namespace
