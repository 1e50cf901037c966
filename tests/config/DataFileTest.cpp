#include "TempFolder.h"

#include "config/DataFile.h"

#include <QFileInfo>

namespace {

struct SplitCase
{
    const char *name;
    QByteArray bytes;
    QStringList pieces;
};

QString repeated(char c, int count)
{
    return QString(count, QLatin1Char(c));
}

QByteArray repeatedBytes(char c, int count)
{
    return QByteArray(count, c);
}

TEST(DataFilePieces, SplitLikeFgetsWithEightyByteBuffer)
{
    const SplitCase cases[] = {
        {"empty", "", {}},
        {"crlf lines", "Manual\r\nA\r\n", {"Manual\n", "A\n"}},
        {"lf lines", "Manual\nA\n", {"Manual\n", "A\n"}},
        {"no final line end", "Manual\nA", {"Manual\n", "A"}},
        {"blank lines", "\r\n\n\r\n", {"\n", "\n", "\n"}},
        {"lone cr kept", "a\rb\r\nc\r", {"a\rb\n", "c\r"}},
        {"78 chars and crlf fit", repeatedBytes('x', 78) + "\r\n", {repeated('x', 78) + "\n"}},
        {"79 chars push the line end into its own piece",
         repeatedBytes('x', 79) + "\r\nnext\n",
         {repeated('x', 79), "\n", "next\n"}},
        {"long line cut every 79",
         repeatedBytes('a', 79) + repeatedBytes('b', 79) + "cc\n",
         {repeated('a', 79), repeated('b', 79), "cc\n"}},
        {"long line without line end",
         repeatedBytes('z', 100),
         {repeated('z', 79), repeated('z', 21)}},
    };
    for (const SplitCase &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(splitPieces(c.bytes), c.pieces);
    }
}

TEST(DataFileText, PolishLettersRoundTripThroughWindows1250)
{
    const QString letters = QStringLiteral("ąćęłńóśźżĄĆĘŁŃÓŚŹŻ");
    const QByteArray bytes(
        "\xb9\xe6\xea\xb3\xf1\xf3\x9c\x9f\xbf\xa5\xc6\xca\xa3\xd1\xd3\x8c\x8f\xaf");
    EXPECT_EQ(toWindows1250(letters), bytes);
    EXPECT_EQ(fromWindows1250(bytes), letters);
    // One byte is one character, so the 79-character limit counts letters.
    const QStringList pieces = splitPieces(QByteArray(100, '\xb9'));
    ASSERT_EQ(pieces.size(), 2);
    EXPECT_EQ(pieces.first(), QString(79, QChar(u'ą')));
}

class DataFileIo : public TempFolder
{
};

TEST_F(DataFileIo, ReadReportsMissingAndOk)
{
    EXPECT_EQ(readDataFile(dataPath("none")).status, FileStatus::Missing);
    writeBytes(dataPath("f"), "Za\xbf\xf3\xb3\xe6\r\nb");
    const DataFileContent content = readDataFile(dataPath("f"));
    EXPECT_EQ(content.status, FileStatus::Ok);
    EXPECT_EQ(content.pieces, QStringList({QStringLiteral("Zażółć\n"), QStringLiteral("b")}));
}

TEST_F(DataFileIo, DirectoryUnderTheNameIsUnreadable)
{
    ASSERT_TRUE(makeUnreadable(dataPath("f"), Unreadable::Directory));
    const DataFileContent content = readDataFile(dataPath("f"));
    EXPECT_EQ(content.status, FileStatus::Unreadable);
    EXPECT_TRUE(content.pieces.isEmpty());
}

TEST_F(DataFileIo, FileWithoutReadPermissionIsUnreadable)
{
    if (runningAsRoot())
        GTEST_SKIP() << "root reads files whatever their permissions";
    ASSERT_TRUE(makeUnreadable(dataPath("f"), Unreadable::NoPermission));
    EXPECT_EQ(readDataFile(dataPath("f")).status, FileStatus::Unreadable);
}

TEST_F(DataFileIo, WriterUsesCrLfAndWindows1250)
{
    ASSERT_TRUE(writeDataFile(dataPath("f"), QStringLiteral("Łódź\nb\n\nend")));
    EXPECT_EQ(readBytes(dataPath("f")),
              QByteArray("\xa3\xf3"
                         "d\x9f\r\nb\r\n\r\nend"));
    // Rewriting replaces the whole content.
    ASSERT_TRUE(writeDataFile(dataPath("f"), QStringLiteral("x")));
    EXPECT_EQ(readBytes(dataPath("f")), QByteArray("x"));
}

TEST_F(DataFileIo, WriterReportsFailureAndCreatesNoFolder)
{
    EXPECT_FALSE(writeDataFile(path("nodata/f"), QStringLiteral("x")));
    EXPECT_FALSE(QFileInfo::exists(path("nodata")));

    ASSERT_TRUE(QDir().mkpath(dataPath("dir")));
    EXPECT_FALSE(writeDataFile(dataPath("dir"), QStringLiteral("x")));
    EXPECT_TRUE(QFileInfo(dataPath("dir")).isDir());
}

TEST_F(DataFileIo, WriterLeavesReadOnlyFileUnchanged)
{
    if (runningAsRoot())
        GTEST_SKIP() << "root writes files whatever their permissions";
    writeBytes(dataPath("f"), "old");
    ASSERT_TRUE(QFile::setPermissions(dataPath("f"), QFileDevice::ReadOwner));
    m_locked.append(dataPath("f"));
    EXPECT_FALSE(writeDataFile(dataPath("f"), QStringLiteral("new")));
    EXPECT_EQ(readBytes(dataPath("f")), QByteArray("old"));
}

} // namespace
