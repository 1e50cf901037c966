#include "TempFolder.h"

#include "config/ConfigFile.h"

#include <QFileInfo>

#include <ostream>

void PrintTo(const AuthorizedClient &c, std::ostream *os)
{
    *os << "{" << c.ip.toStdString() << " | " << c.name.toStdString() << "}";
}

void PrintTo(const ConfigRow &r, std::ostream *os)
{
    *os << "{" << r.ip.toStdString() << " | " << r.name.toStdString() << " | "
        << r.flag.toStdString() << "}";
}

namespace {

// One file, read by the three readers: the main window's mode line and
// authorized clients, and the configuration dialog's whole reading.
struct ReadersCase
{
    const char *name;
    QByteArray file;
    bool autostart; // main window and dialog agree on it
    QList<AuthorizedClient> authorized; // main window
    QList<ConfigRow> rows; // dialog
};

QByteArray filled(int count)
{
    return QByteArray(count, 'n');
}

class ConfigFileTest : public TempFolder
{
protected:
    QString file() const { return dataPath(QStringLiteral("Hollvan.cf")); }
};

TEST_F(ConfigFileTest, ThreeReadersOnTheSameFile)
{
    const ReadersCase cases[] = {
        {"Auto with CR LF",
         "Auto\r\n10.0.0.1\tA\t1\r\n",
         true,
         {{"10.0.0.1", "A"}},
         {{"10.0.0.1", "A", "1"}}},
        {"Auto with LF", "Auto\n", true, {}, {}},
        {"auto in lower case", "auto\n", false, {}, {}},
        {"Auto and a blank", "Auto \n", false, {}, {}},
        {"Auto without line end", "Auto", false, {}, {}},
        {"empty file", "", false, {}, {}},
        {"flags",
         "Manual\r\n"
         "10.0.0.5\t\t1\r\n"
         "10.0.0.6\tX\t1x\r\n"
         "10.0.0.7\tY\t10\r\n"
         "10.0.0.8\tZ\t0\r\n"
         "10.0.0.9\tW\t 1\r\n"
         "10.0.0.10\tV\t\r\n"
         "10.0.0.11\tV\t",
         false,
         {{"10.0.0.5", ""}, {"10.0.0.6", "X"}, {"10.0.0.7", "Y"}},
         {{"10.0.0.5", "", "1"},
          {"10.0.0.6", "X", "1"},
          {"10.0.0.7", "Y", "1"},
          {"10.0.0.8", "Z", "0"},
          {"10.0.0.9", "W", " "},
          {"10.0.0.10", "V", ""},
          {"10.0.0.11", "V", ""}}},
        {"one tab or none", "Manual\n10.0.0.1\tA\n10.0.0.2\n\t\n", false, {}, {}},
        {"repeated IP",
         "Manual\n1.1.1.1\tA\t1\n1.1.1.1\tB\t1\n",
         false,
         {{"1.1.1.1", "A"}, {"1.1.1.1", "B"}},
         {{"1.1.1.1", "A", "1"}, {"1.1.1.1", "B", "1"}}},
        {"tilde separators", "Manual\n10.0.0.7~Lab~1\n", false, {}, {{"10.0.0.7", "Lab", "1"}}},
        {"tilde in a name",
         "Manual\n10.0.0.8\tLa~b\t1\n",
         false,
         {{"10.0.0.8", "La~b"}},
         {{"10.0.0.8", "La", "b"}}},
        {"first line is a client",
         "127.0.0.1\tlocalhost\t1",
         false,
         {{"127.0.0.1", "localhost"}},
         {}},
        // 8 + 1 + 68 + 1 characters put the flag at the 79th place; one more
        // character of name pushes it into the next piece.
        {"flag at the 79th character",
         "Manual\n10.0.0.9\t" + filled(68) + "\t1\n",
         false,
         {{"10.0.0.9", QString(68, u'n')}},
         {{"10.0.0.9", QString(68, u'n'), "1"}}},
        // The dialog still lists that client, with no flag: not authorized.
        {"flag beyond the 79th character",
         "Manual\n10.0.0.9\t" + filled(69) + "\t1\n",
         false,
         {},
         {{"10.0.0.9", QString(69, u'n'), ""}}},
        // The rest of a long line is a piece of its own and is read as a line.
        {"rest of a long line",
         "Manual\n" + filled(79) + "1.2.3.4\tX\t1\n",
         false,
         {{"1.2.3.4", "X"}},
         {{"1.2.3.4", "X", "1"}}},
        {"Polish name",
         "Manual\r\n10.0.0.3\t\xa3\xf3"
         "d\x9f\t1\r\n",
         false,
         {{"10.0.0.3", QStringLiteral("Łódź")}},
         {{"10.0.0.3", QStringLiteral("Łódź"), "1"}}},
    };
    for (const ReadersCase &c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(file(), c.file);

        const AutostartSetting mode = readAutostart(file());
        EXPECT_EQ(mode.status, FileStatus::Ok);
        EXPECT_EQ(mode.autostart, c.autostart);

        const AuthorizedClients clients = readAuthorizedClients(file());
        EXPECT_EQ(clients.status, FileStatus::Ok);
        EXPECT_EQ(clients.clients, c.authorized);

        const Configuration config = loadConfiguration(file());
        EXPECT_EQ(config.status, FileStatus::Ok);
        EXPECT_EQ(config.autostart, c.autostart);
        EXPECT_EQ(config.rows, c.rows);
    }
}

TEST_F(ConfigFileTest, MissingFile)
{
    EXPECT_EQ(readAutostart(file()).status, FileStatus::Missing);
    EXPECT_EQ(readAuthorizedClients(file()).status, FileStatus::Missing);
    EXPECT_EQ(loadConfiguration(file()).status, FileStatus::Missing);
}

void expectUnreadable(const QString &file)
{
    const AutostartSetting mode = readAutostart(file);
    EXPECT_EQ(mode.status, FileStatus::Unreadable);
    EXPECT_FALSE(mode.autostart);
    const AuthorizedClients clients = readAuthorizedClients(file);
    EXPECT_EQ(clients.status, FileStatus::Unreadable);
    EXPECT_TRUE(clients.clients.isEmpty());
    const Configuration config = loadConfiguration(file);
    EXPECT_EQ(config.status, FileStatus::Unreadable);
    EXPECT_FALSE(config.autostart);
    EXPECT_TRUE(config.rows.isEmpty());
}

TEST_F(ConfigFileTest, DirectoryUnderTheNameIsUnreadable)
{
    ASSERT_TRUE(makeUnreadable(file(), Unreadable::Directory));
    expectUnreadable(file());
}

TEST_F(ConfigFileTest, FileWithoutReadPermissionIsUnreadable)
{
    if (runningAsRoot())
        GTEST_SKIP() << "root reads files whatever their permissions";
    ASSERT_TRUE(makeUnreadable(file(), Unreadable::NoPermission));
    expectUnreadable(file());
}

TEST_F(ConfigFileTest, SaveWritesRowsInTheOrderGiven)
{
    // The dialog passes its rows bottom-up: a list showing A, B, C arrives as
    // C, B, A, and the file holds them so.
    const QList<ConfigRow> rows
        = {{"10.0.0.3", "C", "1"}, {"10.0.0.2", QStringLiteral("Bąk"), "0"}, {"", "", "0"}};
    ASSERT_TRUE(saveConfiguration(file(), true, rows));
    EXPECT_EQ(readBytes(file()),
              QByteArray("Auto\r\n"
                         "10.0.0.3\tC\t1\r\n"
                         "10.0.0.2\tB\xb9k\t0\r\n"
                         "\t\t0\r\n"));
    const Configuration back = loadConfiguration(file());
    EXPECT_TRUE(back.autostart);
    EXPECT_EQ(back.rows, rows);
    EXPECT_EQ(readAuthorizedClients(file()).clients, QList<AuthorizedClient>({{"10.0.0.3", "C"}}));

    ASSERT_TRUE(saveConfiguration(file(), false, {}));
    EXPECT_EQ(readBytes(file()), QByteArray("Manual\r\n"));
}

TEST_F(ConfigFileTest, SaveFailsWithoutTouchingAnything)
{
    const QString elsewhere = path(QStringLiteral("nodata/Hollvan.cf"));
    EXPECT_FALSE(saveConfiguration(elsewhere, false, {}));
    EXPECT_FALSE(createDefaultConfiguration(elsewhere));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("nodata"))));

    ASSERT_TRUE(makeUnreadable(file(), Unreadable::Directory));
    EXPECT_FALSE(saveConfiguration(file(), false, {}));
    EXPECT_TRUE(QFileInfo(file()).isDir());
}

TEST_F(ConfigFileTest, DefaultFileKeepsItsClientForEveryReader)
{
    ASSERT_TRUE(createDefaultConfiguration(file()));
    EXPECT_EQ(readBytes(file()), QByteArray("Manual\r\n127.0.0.1\tlocalhost\t0\r\n"));

    const Configuration config = loadConfiguration(file());
    EXPECT_FALSE(config.autostart);
    EXPECT_EQ(config.rows, QList<ConfigRow>({defaultConfigurationClient()}));
    EXPECT_FALSE(config.rows.first().authorized());

    EXPECT_FALSE(readAutostart(file()).autostart);
    EXPECT_TRUE(readAuthorizedClients(file()).clients.isEmpty());
}

} // namespace
