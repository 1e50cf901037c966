#include "app/SingleInstance.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// True while some process holds the single-instance lock at path.
bool lockHeld(const QString &path)
{
    int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return held;
}

QProcessEnvironment programEnvironment(const QString &runtimeDir)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
    return env;
}

// The soft limit of open files of a running process as /proc shows it (a
// number or "unlimited").
QByteArray openFilesLimit(qint64 pid)
{
    QFile limits(QStringLiteral("/proc/%1/limits").arg(pid));
    if (!limits.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray &line : limits.readAll().split('\n')) {
        if (line.startsWith("Max open files"))
            return line.mid(14).simplified().split(' ').first();
    }
    return {};
}

} // namespace

// Started with the common soft limit of 1024 descriptors, the program takes
// its hard limit, so that a thousand workstations can be connected at once.
TEST(ProcessEntry, TakesTheHardLimitOfOpenFiles)
{
    rlimit own {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &own), 0);
    if (own.rlim_max != RLIM_INFINITY && own.rlim_max <= 1024)
        GTEST_SKIP() << "the hard limit here is " << own.rlim_max;
    QTemporaryDir runtime, work;
    ASSERT_TRUE(runtime.isValid() && work.isValid());

    QProcess program;
    program.setProcessEnvironment(programEnvironment(runtime.path()));
    program.setWorkingDirectory(work.path());
    program.setChildProcessModifier([] {
        rlimit low {};
        ::getrlimit(RLIMIT_NOFILE, &low);
        low.rlim_cur = 1024;
        ::setrlimit(RLIMIT_NOFILE, &low);
    });
    program.start(QStringLiteral(HOLLVAN_BINARY), {});
    ASSERT_TRUE(program.waitForStarted(10000));
    const QString lock = runtime.path() + QStringLiteral("/Hollvan.lock");
    ASSERT_TRUE(QTest::qWaitFor([&] { return lockHeld(lock); }, 20000));

    const QByteArray expected = own.rlim_max == RLIM_INFINITY
        ? QByteArray("unlimited")
        : QByteArray::number(qulonglong(own.rlim_max));
    EXPECT_EQ(openFilesLimit(program.processId()), expected);
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(20000));
}

TEST(ProcessEntry, SecondCopyReportsAndTouchesNothing)
{
    QTemporaryDir runtime, first, second;
    ASSERT_TRUE(runtime.isValid() && first.isValid() && second.isValid());

    QProcess running;
    running.setProcessEnvironment(programEnvironment(runtime.path()));
    running.setWorkingDirectory(first.path());
    running.start(QStringLiteral(HOLLVAN_BINARY), {});
    ASSERT_TRUE(running.waitForStarted(10000));

    const QString lock = runtime.path() + QStringLiteral("/Hollvan.lock");
    ASSERT_TRUE(QTest::qWaitFor([&] { return lockHeld(lock); }, 20000));

    QProcess copy;
    copy.setProcessEnvironment(programEnvironment(runtime.path()));
    copy.setWorkingDirectory(second.path());
    copy.start(QStringLiteral(HOLLVAN_BINARY), {});
    ASSERT_TRUE(copy.waitForFinished(30000));
    EXPECT_EQ(copy.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(copy.exitCode(), 0);
    EXPECT_TRUE(QString::fromLocal8Bit(copy.readAllStandardError())
                    .contains(QStringLiteral("Program Hollvan jest już uruchomiony!")));
    EXPECT_TRUE(QDir(second.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());

    running.terminate();
    ASSERT_TRUE(running.waitForFinished(20000));
    EXPECT_FALSE(lockHeld(lock));
}

TEST(ProcessEntry, LockIsReleasedWithItsHolder)
{
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    {
        SingleInstance a(QStringLiteral("HollvanTest"));
        ASSERT_TRUE(a.acquired());
        SingleInstance b(QStringLiteral("HollvanTest"));
        EXPECT_FALSE(b.acquired());
    }
    SingleInstance c(QStringLiteral("HollvanTest"));
    EXPECT_TRUE(c.acquired());
}
