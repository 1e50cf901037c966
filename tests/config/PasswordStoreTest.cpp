#include "TempFolder.h"

#include "config/DataFile.h"
#include "config/PasswordStore.h"

#include <QFileInfo>

#include <cstdint>

namespace {

// The hash worked out independently: 64-bit arithmetic, kept to 32 bits after
// every step.
int32_t referenceHash(const QString &text)
{
    int64_t acc = 0;
    for (const char c : toWindows1250(text)) {
        int64_t b = static_cast<unsigned char>(c);
        if (b >= 128)
            b -= 256;
        acc = (acc * 32 + 13 * b) & 0xFFFFFFFFLL;
    }
    const int64_t asSigned = acc >= 0x80000000LL ? acc - 0x100000000LL : acc;
    return static_cast<int32_t>(asSigned % 2147483647LL);
}

TEST(PasswordHash, WorkedValues)
{
    struct Case
    {
        QString text;
        int32_t hash;
        const char *stored;
    };
    const Case cases[] = {
        {"", 0, "00000000"},
        {"abc", 1333319, "00145847"},
        {QStringLiteral("ą"), -923, "fffffc65"},
        // Texts whose accumulator ends at 7FFFFFFF, 80000001 and 80000000: the
        // remainder by 7FFFFFFF turns them into 0, 0 and -1.
        {"!<0&+(;", 0, "00000000"},
        {"$!-725%", 0, "00000000"},
        {"$>>>>>@", -1, "ffffffff"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(PasswordHash(c.text), c.hash);
        EXPECT_EQ(formatPasswordHash(c.hash), QLatin1String(c.stored));
    }
}

TEST(PasswordHash, LongTextsWrapAroundAt32Bits)
{
    const QString texts[] = {
        "abcde",
        "abcdef",
        QStringLiteral("Zażółć gęślą jaźń"),
        "The quick brown fox jumps over the lazy dog 0123456789",
        QString(40, QChar(u'ż')),
        QString(7, QChar(u'\x7f')),
    };
    for (const QString &text : texts) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(PasswordHash(text), referenceHash(text));
    }
    // Past five characters the 32-bit result differs from a wider sum.
    int64_t wide = 0;
    for (const char c : QByteArray("abcdefgh"))
        wide = wide * 32 + 13 * c;
    EXPECT_NE(int64_t(PasswordHash("abcdefgh")), wide % 2147483647LL);
}

TEST(PasswordHash, StoredTextParsesLikeHexScan)
{
    struct Case
    {
        const char *name;
        QString text;
        std::optional<int32_t> hash;
    };
    const Case cases[] = {
        {"lower case", "fffffc65", -923},
        {"upper case", "FFFFFC65", -923},
        {"leading zeros", "00145847", 1333319},
        {"only the first eight characters", "fffffc65123", -923},
        {"leading blanks count among the eight", "   fffffc65", 0xfffff},
        {"leading tab", "\t1f", 0x1f},
        {"stops at a non-digit", "12g4", 0x12},
        {"line end after the digits", "1f\n", 0x1f},
        {"no digits", "xyz", std::nullopt},
        {"only white space", "  \n", std::nullopt},
        {"empty", "", std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(parsePasswordHash(c.text), c.hash);
    }
}

class PasswordStoreTest : public TempFolder
{
protected:
    QString file() const { return dataPath(QStringLiteral("Hollvan.pw")); }
};

TEST_F(PasswordStoreTest, MissingFileIsCreatedWithTheEmptyPassword)
{
    PasswordStore store(file());
    store.setStoredHash(5);
    EXPECT_TRUE(store.LoadPassword());
    EXPECT_EQ(store.storedHash(), PasswordHash(QString()));
    EXPECT_EQ(readBytes(file()), QByteArray("00000000"));
}

TEST_F(PasswordStoreTest, FileContentDecidesTheStoredHash)
{
    struct Case
    {
        const char *name;
        QByteArray file;
        int32_t hash;
    };
    const Case cases[] = {
        {"as written", "fffffc65", -923},
        {"upper case", "FFFFFC65", -923},
        {"more than eight digits", "00145847ff", 1333319},
        {"leading spaces", "  145847", 0x145847},
        {"line end", "1f\r\nabc", 0x1f},
        {"line end first", "\r\n00145847", 0},
        {"empty file keeps the initial value", "", 0},
        {"no digits keep the initial value", "zz", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(file(), c.file);
        PasswordStore store(file());
        EXPECT_TRUE(store.LoadPassword());
        EXPECT_EQ(store.storedHash(), c.hash);
        EXPECT_EQ(readBytes(file()), c.file);
    }
}

TEST_F(PasswordStoreTest, SaveWritesEightDigitsWithoutLineEnd)
{
    PasswordStore store(file());
    store.setStoredHash(PasswordHash(QStringLiteral("ą")));
    ASSERT_TRUE(store.SavePassword());
    EXPECT_EQ(readBytes(file()), QByteArray("fffffc65"));

    PasswordStore again(file());
    EXPECT_TRUE(again.LoadPassword());
    EXPECT_EQ(again.storedHash(), -923);
}

TEST_F(PasswordStoreTest, FailuresKeepTheHashAndCreateNoFolder)
{
    PasswordStore noFolder(path(QStringLiteral("nodata/Hollvan.pw")));
    EXPECT_FALSE(noFolder.LoadPassword());
    EXPECT_EQ(noFolder.storedHash(), 0);
    EXPECT_FALSE(noFolder.SavePassword());
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("nodata"))));

    ASSERT_TRUE(makeUnreadable(file(), Unreadable::Directory));
    PasswordStore unreadable(file());
    unreadable.setStoredHash(7);
    EXPECT_FALSE(unreadable.LoadPassword());
    EXPECT_EQ(unreadable.storedHash(), 7);
    EXPECT_FALSE(unreadable.SavePassword());
}

} // namespace
