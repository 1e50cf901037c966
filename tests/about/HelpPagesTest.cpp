#include "app/HelpPages.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QWidget>

namespace {

// Runs a test in a folder of its own as the working directory, and puts the
// previous one back afterwards.
class WorkingDirectory
{
public:
    explicit WorkingDirectory(const QString &path)
        : previous(QDir::currentPath())
    {
        ok = QDir::setCurrent(path);
    }
    ~WorkingDirectory() { QDir::setCurrent(previous); }
    bool ok = false;

private:
    QString previous;
};

int visibleTopLevelWidgets()
{
    int n = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        n += w->isVisible() ? 1 : 0;
    return n;
}

const QStringList programPages
    = {QStringLiteral("main.html"), QStringLiteral("config.html"), QStringLiteral("open.html"),
       QStringLiteral("intro.html"), QStringLiteral("dbase.html")};

} // namespace

TEST(HelpPages, HelpButtonPageFollowsLoginAndSerialPort)
{
    const struct
    {
        bool loggedIn, connected;
        int kind;
    } cases[] = {
        {false, false, 1},
        {false, true, 1},
        {true, false, 2},
        {true, true, 3},
    };
    for (const auto &c : cases)
        EXPECT_EQ(helpPageKind(c.loggedIn, c.connected), c.kind) << c.loggedIn << c.connected;
}

TEST(HelpPages, PathIsHelpFolderLanguagePrefixAndPageName)
{
    const struct
    {
        int kind;
        const char *path;
    } cases[] = {
        {1, "help/pl_main.html"},  {2, "help/pl_config.html"}, {3, "help/pl_open.html"},
        {0, "help/pl_intro.html"}, {4, "help/pl_intro.html"},  {-1, "help/pl_intro.html"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(helpFilePath(helpPageName(c.kind)), QString::fromLatin1(c.path)) << c.kind;
    EXPECT_EQ(helpFilePath(QStringLiteral("dbase.html")), QStringLiteral("help/pl_dbase.html"));
    EXPECT_EQ(helpFilePath(QStringLiteral("main.html"), HelpLanguage::English),
              QStringLiteral("help/en_main.html"));
}

TEST(HelpPages, MissingHelpFolderGivesMinusOneAndNoMessage)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    WorkingDirectory inFolder(folder.path());
    ASSERT_TRUE(inFolder.ok);

    const int windowsBefore = visibleTopLevelWidgets();
    for (int kind : {1, 2, 3, 0})
        EXPECT_EQ(OpenHelpPage(kind), -1) << kind;
    EXPECT_EQ(openHelpFile(QStringLiteral("dbase.html")), -1);
    QApplication::processEvents();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(visibleTopLevelWidgets(), windowsBefore);
}

TEST(HelpPages, OnlyAnExistingPageFileIsFound)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(QDir(folder.path()).mkpath(QStringLiteral("help/pl_main.html")));
    QFile page(folder.filePath(QStringLiteral("help/pl_config.html")));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.close();
    WorkingDirectory inFolder(folder.path());
    ASSERT_TRUE(inFolder.ok);

    const QString found = locateHelpFile(helpPageName(2));
    EXPECT_TRUE(QFileInfo(found).isAbsolute());
    EXPECT_EQ(QFileInfo(found).canonicalFilePath(), QFileInfo(page.fileName()).canonicalFilePath());
    EXPECT_TRUE(locateHelpFile(helpPageName(1)).isEmpty()) << "a folder is not a page";
    EXPECT_TRUE(locateHelpFile(helpPageName(3)).isEmpty());
    EXPECT_TRUE(locateHelpFile(helpPageName(2), HelpLanguage::English).isEmpty());
    EXPECT_EQ(OpenHelpPage(1), -1);
}

// The pages shipped in help/: every page the program opens is there, declares
// its encoding, and links only to pages that exist.
TEST(HelpPages, ShippedPagesAreCompleteAndLinkedToEachOther)
{
    WorkingDirectory inSources(QStringLiteral(HOLLVAN_SOURCE_DIR));
    ASSERT_TRUE(inSources.ok);
    const QRegularExpression link(QStringLiteral("href=\"([^\"#]*)(#[^\"]*)?\""));
    for (const QString &name : programPages) {
        const QString path = locateHelpFile(name);
        ASSERT_FALSE(path.isEmpty()) << name.toStdString();
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(file.readAll());
        EXPECT_TRUE(html.contains(QStringLiteral("<meta charset=\"utf-8\">")))
            << name.toStdString();
        EXPECT_TRUE(html.contains(QStringLiteral("lang=\"pl\""))) << name.toStdString();
        int links = 0;
        for (const auto &m : link.globalMatch(html)) {
            const QString target = m.captured(1);
            if (target.isEmpty())
                continue;
            ++links;
            EXPECT_TRUE(QFileInfo(QFileInfo(path).dir(), target).isFile())
                << name.toStdString() << " -> " << target.toStdString();
        }
        EXPECT_GE(links, 4) << name.toStdString();
    }
}
