#include "TempFolder.h"

#include "config/PortSettingsFile.h"

#include <QFileInfo>

#include <ostream>

void PrintTo(const PortSettingsEntry &e, std::ostream *os)
{
    *os << (e.kind == PortSettingsEntry::SerialPort ? "serial " : "server ") << '"'
        << e.text.toStdString() << '"';
}

namespace {

using Entries = QList<PortSettingsEntry>;

PortSettingsEntry serial(const QString &name)
{
    return {PortSettingsEntry::SerialPort, name};
}

PortSettingsEntry server(const QString &text)
{
    return {PortSettingsEntry::ServerPort, text};
}

class PortSettingsFileTest : public TempFolder
{
protected:
    QString file() const { return dataPath(QStringLiteral("Hollvan.pr")); }
};

TEST_F(PortSettingsFileTest, WrittenSettingsReadBack)
{
    ASSERT_TRUE(writePortSettings(file(), QStringLiteral("COM3"), QStringLiteral("Port:1962")));
    EXPECT_EQ(readBytes(file()), QByteArray("RS232=COM3\r\nPort:1962"));
    const PortSettings read = readPortSettings(file());
    EXPECT_EQ(read.status, FileStatus::Ok);
    EXPECT_EQ(read.entries, Entries({serial("COM3"), server("Port:1962")}));

    ASSERT_TRUE(writePortSettings(file(), QString(), QStringLiteral("Port:")));
    EXPECT_EQ(readBytes(file()), QByteArray("RS232=\r\nPort:"));
    EXPECT_EQ(readPortSettings(file()).entries, Entries({serial(""), server("Port:")}));
}

TEST_F(PortSettingsFileTest, ReaderReportsEveryPieceInOrder)
{
    struct Case
    {
        const char *name;
        QByteArray file;
        Entries entries;
    };
    const Case cases[] = {
        {"line end after the port text stays with it",
         "RS232=COM3\r\nPort:10001\r\n",
         {serial("COM3"), server("Port:10001\n")}},
        {"either order, other lines ignored",
         "Port:1962\njunk\nRS232=ttyUSB0\n",
         {server("Port:1962\n"), serial("ttyUSB0")}},
        {"each occurrence in turn",
         "RS232=COM1\nPort:1\nRS232=COM2\nPort:2",
         {serial("COM1"), server("Port:1\n"), serial("COM2"), server("Port:2")}},
        {"case matters", "rs232=COM1\nport:1\n", {}},
        {"empty file", "", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(file(), c.file);
        const PortSettings read = readPortSettings(file());
        EXPECT_EQ(read.status, FileStatus::Ok);
        EXPECT_EQ(read.entries, c.entries);
    }
}

TEST_F(PortSettingsFileTest, MissingUnreadableAndUnwritable)
{
    EXPECT_EQ(readPortSettings(file()).status, FileStatus::Missing);
    ASSERT_TRUE(makeUnreadable(file(), Unreadable::Directory));
    const PortSettings read = readPortSettings(file());
    EXPECT_EQ(read.status, FileStatus::Unreadable);
    EXPECT_TRUE(read.entries.isEmpty());
    EXPECT_FALSE(writePortSettings(file(), QStringLiteral("COM1"), QStringLiteral("Port:")));
    EXPECT_FALSE(writePortSettings(path(QStringLiteral("nodata/Hollvan.pr")), "COM1", "Port:"));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("nodata"))));
}

TEST_F(PortSettingsFileTest, FileWithoutReadPermissionIsUnreadable)
{
    if (runningAsRoot())
        GTEST_SKIP() << "root reads files whatever their permissions";
    ASSERT_TRUE(makeUnreadable(file(), Unreadable::NoPermission));
    EXPECT_EQ(readPortSettings(file()).status, FileStatus::Unreadable);
}

TEST(ChoosePortIndex, SavedNameAgainstSelectorItems)
{
    const QStringList many = {"COM1", "COM12", "COM3", "ttyUSB0"};
    const QStringList few = {"COM1", "COM3"};
    const QStringList ttyFirst = {"ttyS0", "COM1"};
    struct Case
    {
        const char *name;
        QStringList items;
        QString saved;
        int index;
    };
    const Case cases[] = {
        {"one-digit port listed", many, "COM3", 2},
        {"two-digit port listed whole", many, "COM12", 1},
        {"two-digit port not listed falls back to its first digit", few, "COM12", 0},
        {"fallback needs that port too", {"COM2"}, "COM12", -1},
        {"non-COM name listed", many, "ttyUSB0", 3},
        {"non-COM name not listed", few, "ttyUSB0", -1},
        {"nothing was selected", many, "", -1},
        {"COM0", {"COM0x", "COM1"}, "COM0", -1},
        {"COMX", many, "COMX", -1},
        {"COM without digit", many, "COM", -1},
        {"one-digit port not listed", many, "COM9", -1},
        {"letter case matters", few, "com1", -1},
        {"listed whole although the list starts otherwise", ttyFirst, "COM1", 1},
        {"fallback only when the list starts with COM", ttyFirst, "COM12", -1},
        {"empty selector", {}, "COM1", -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(choosePortIndex(c.items, c.saved), c.index);
    }
}

} // namespace
