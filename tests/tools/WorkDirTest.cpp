#include "tests/fixtures/WorkDir.h"
#include "tests/fixtures/ZmtSim.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

TEST(WorkDir, WritesDataFilesInTheProgramsDiskForm)
{
    WorkDir work;
    ASSERT_TRUE(work.isValid());
    ASSERT_TRUE(
        work.writeDataFile("Hollvan.cf", QString::fromUtf8("Auto\n10.0.0.1\tŻółta Łąka\t1\r\n")));
    EXPECT_EQ(work.readFile("data/Hollvan.cf"),
              QByteArray("Auto\r\n10.0.0.1\t\xaf\xf3\xb3ta \xa3\xb9ka\t1\r\n"));
    EXPECT_EQ(work.readDataFile("Hollvan.cf"),
              QString::fromUtf8("Auto\n10.0.0.1\tŻółta Łąka\t1\n"));

    // A character outside the code page must not turn silently into '?'.
    EXPECT_FALSE(work.writeDataFile("Hollvan.pw", QString::fromUtf8("日本\n")));
    EXPECT_FALSE(QFileInfo::exists(work.filePath("data/Hollvan.pw")));
}

TEST(WorkDir, EntersAndRestoresTheCurrentDirectory)
{
    const QString before = QDir::currentPath();
    {
        WorkDir work;
        ASSERT_TRUE(work.makeData());
        ASSERT_TRUE(work.enter());
        EXPECT_TRUE(work.enter());
        EXPECT_EQ(QFileInfo(QDir::currentPath()).canonicalFilePath(),
                  QFileInfo(work.path()).canonicalFilePath());
        EXPECT_TRUE(QFileInfo("data").isDir());
        work.leave();
        EXPECT_EQ(QDir::currentPath(), before);
        ASSERT_TRUE(work.enter());
    }
    EXPECT_EQ(QDir::currentPath(), before);
}

TEST(WorkDir, CopiesTheHelpPagesWhenTheRepositoryHasThem)
{
    WorkDir work;
    ASSERT_TRUE(work.makeHelp());
    const QDir source(HOLLVAN_SOURCE_DIR "/help");
    const QStringList expected
        = source.exists() ? source.entryList(QDir::Files, QDir::Name) : QStringList();
    EXPECT_EQ(QDir(work.filePath("help")).entryList(QDir::Files, QDir::Name), expected);
    // Copying again over the first copy works too.
    EXPECT_TRUE(work.makeHelp());
}

TEST(WorkDir, DeviceLinkReachesTheSimulator)
{
    WorkDir work;
    ZmtSim sim;
    ASSERT_TRUE(sim.start()) << qPrintable(sim.errorText());
    ASSERT_TRUE(work.linkDevice("COM1", "/nonexistent/stale"));
    ASSERT_TRUE(work.linkDevice("COM1", sim.devicePath()));
    ASSERT_TRUE(work.enter());

    // The program opens its port by the name relative to its directory.
    const int fd = ::open("dev/COM1", O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    termios tio {};
    ASSERT_EQ(::tcgetattr(fd, &tio), 0);
    ::cfmakeraw(&tio);
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &tio), 0);
    ASSERT_EQ(::write(fd, "W1", 2), 2);
    QByteArray answer;
    while (!answer.endsWith('\n')) {
        pollfd pfd {fd, POLLIN, 0};
        ASSERT_GT(::poll(&pfd, 1, 10000), 0);
        char buffer[64];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        ASSERT_GT(n, 0);
        answer.append(buffer, n);
    }
    ::close(fd);
    EXPECT_EQ(answer, "ANS:W1\n");
}

TEST(WorkDir, ListsLogFilesOldestFirst)
{
    WorkDir work;
    ASSERT_TRUE(work.makeLog());
    for (const char *name : {"240102_000000.log", "231231_235959.log", "notes.txt"})
        ASSERT_TRUE(work.writeFile(QStringLiteral("log/") + name, "x"));
    EXPECT_EQ(work.logFiles(), QStringList({"231231_235959.log", "240102_000000.log"}));
}
