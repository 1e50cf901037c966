#include "tests/fixtures/TcpClient.h"
#include "tests/fixtures/WorkDir.h"
#include "tests/fixtures/ZmtSim.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The real program, started as an operator's service would start it: in its
// working directory, without a display, with the ZMT simulator behind
// dev/COM1 and an autostart configuration.
TEST(Program, RelaysRequestsOfAnAuthorizedClientThroughTheSimulator)
{
    WorkDir work;
    ASSERT_TRUE(work.makeData() && work.makeDev() && work.makeHelp());
    ASSERT_TRUE(work.writeDataFile(QStringLiteral("Hollvan.cf"),
                                   QStringLiteral("Auto\n127.0.0.1\tlocalhost\t1\n")));
    ZmtSim sim({}, work.filePath(QStringLiteral("dev/COM1")));
    ASSERT_TRUE(sim.start()) << qPrintable(sim.errorText());

    QTemporaryDir runtime;
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(work.path());
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QStringLiteral(HOLLVAN_BINARY), {});
    ASSERT_TRUE(program.waitForStarted(10000));

    TcpClient client;
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.connectTo(10001, QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.1"), 500); }, 20000));
    client.setNoDelay();
    for (const QByteArray &request : {QByteArray("ZMT?"), QByteArray("odczyt 1")}) {
        ASSERT_TRUE(client.send(request));
        EXPECT_EQ(client.receiveUntil([](const QByteArray &got) { return got.endsWith('\n'); }),
                  "ANS:" + request + "\n");
    }
    ASSERT_TRUE(client.send("LOCKE"));
    EXPECT_EQ(client.receive(9), QByteArray("EXE 000\r\n"));
    EXPECT_EQ(sim.recorded(), QByteArray("ZMT?odczyt 1"));

    program.terminate();
    ASSERT_TRUE(program.waitForFinished(20000));
    const QStringList logs = work.logFiles();
    ASSERT_EQ(logs.size(), 1);
    const QString log = WorkDir::fromDiskForm(work.readFile(QStringLiteral("log/") + logs.first()));
    EXPECT_TRUE(log.contains(QStringLiteral("> Serwer jest aktywny\n")));
    EXPECT_TRUE(log.contains(QStringLiteral("> Blokada włączona przez IP=[127.0.0.1]\n")));
}
