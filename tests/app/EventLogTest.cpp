#include "app/EventLog.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const QDateTime start(QDate(2007, 11, 20), QTime(14, 30, 5));

struct EventLogTest : ::testing::Test
{
    QTemporaryDir root;
    QString dir() const { return root.filePath(QStringLiteral("log")); }
};

} // namespace

TEST_F(EventLogTest, FileIsNamedByItsStartAndHoldsWindowsText)
{
    EventLog log(dir());
    ASSERT_TRUE(log.OpenLogFile(start));
    EXPECT_EQ(QFileInfo(log.fileName()).fileName(), QStringLiteral("071120_143005.log"));
    log.write(QStringLiteral("14:30:05> Blokada włączona przez IP=[10.0.0.7]"));
    log.close();
    EXPECT_EQ(contents(dir() + QStringLiteral("/071120_143005.log")),
              QByteArray("14:30:05> Blokada w\xb3\xb9" "czona przez IP=[10.0.0.7]\r\n"));
}

TEST_F(EventLogTest, RotationKeepsTheCrossingLineAndPointsToTheNextFile)
{
    EventLog log(dir());
    ASSERT_TRUE(log.OpenLogFile(start));
    const QString first = log.fileName();
    // 999 characters + line end: ten lines bring the count to exactly 10000.
    const QString line(999, QLatin1Char('x'));
    for (int i = 0; i < 9; ++i)
        ASSERT_FALSE(log.write(line));
    ASSERT_EQ(log.LogSize, 9000);
    ASSERT_FALSE(log.write(QString(989, QLatin1Char('y')))); // 9990
    EXPECT_TRUE(log.write(QString(29, QLatin1Char('z'))));    // 10020: rotate now
    EXPECT_EQ(log.LogSize, 0);
    ASSERT_TRUE(log.OpenLogFile(start));
    const QString second = log.fileName();
    ASSERT_NE(first, second);
    log.write(QStringLiteral("next"));
    log.close();

    const QByteArray old = contents(first);
    EXPECT_TRUE(old.endsWith(QByteArray(29, 'z') + "\r\n...\r\n" + QFileInfo(second).fileName().toLatin1()));
    EXPECT_EQ(contents(second), QByteArray("next\r\n"));
}

TEST_F(EventLogTest, FilesStartedInOneSecondDoNotOverwriteEachOther)
{
    EventLog log(dir());
    ASSERT_TRUE(log.OpenLogFile(start));
    log.write(QStringLiteral("first"));
    const QString first = log.fileName();
    ASSERT_TRUE(log.OpenLogFile(start));
    log.write(QStringLiteral("second"));
    const QString second = log.fileName();
    log.close();

    EXPECT_NE(first, second);
    EXPECT_LT(QFileInfo(first).fileName(), QFileInfo(second).fileName());
    EXPECT_TRUE(contents(first).startsWith("first\r\n...\r\n"));
    EXPECT_EQ(contents(second), QByteArray("second\r\n"));

    // A later run in that same second does not empty either.
    EventLog again(dir());
    ASSERT_TRUE(again.OpenLogFile(start));
    again.close();
    EXPECT_EQ(contents(second), QByteArray("second\r\n"));
    EXPECT_EQ(again.CountLogFiles(), 3);
}

TEST_F(EventLogTest, PruningKeepsTheNewestHundredAndPassesOverWhatCannotGo)
{
    ASSERT_TRUE(QDir().mkpath(dir()));
    for (int i = 0; i < 105; ++i) {
        QFile f(dir() + QStringLiteral("/%1_000000.log").arg(70000 + i, 6, 10, QLatin1Char('0')));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    // Oldest of all by name, and not deletable: counted, passed over.
    ASSERT_TRUE(QDir(dir()).mkdir(QStringLiteral("000000_000000.log")));
    QFile other(dir() + QStringLiteral("/notes.txt"));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));

    EventLog log(dir());
    ASSERT_TRUE(log.OpenLogFile(start));
    ASSERT_EQ(log.CountLogFiles(), 107);
    log.PruneLogFiles();

    EXPECT_EQ(log.CountLogFiles(), 100);
    const QStringList left = QDir(dir()).entryList({QStringLiteral("*.log")}, QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
    EXPECT_TRUE(left.contains(QStringLiteral("000000_000000.log")));
    EXPECT_TRUE(left.contains(QFileInfo(log.fileName()).fileName()));
    EXPECT_FALSE(left.contains(QStringLiteral("070006_000000.log"))); // the 7th oldest file went
    EXPECT_TRUE(left.contains(QStringLiteral("070007_000000.log")));  // the 8th stayed
    EXPECT_TRUE(QFile::exists(dir() + QStringLiteral("/notes.txt")));
}

TEST_F(EventLogTest, FolderThatCannotBeCreatedLeavesNoFile)
{
    // A plain file in the way of the folder: fails for root as well.
    QFile blocker(dir());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EventLog log(dir());
    EXPECT_FALSE(log.OpenLogFile(start));
    EXPECT_FALSE(log.isOpen());
    EXPECT_FALSE(log.write(QStringLiteral("only the memo sees this")));
    EXPECT_EQ(log.CountLogFiles(), 0);
}
