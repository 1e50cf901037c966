#include "tests/fixtures/ModalScript.h"
#include "tests/fixtures/WorkDir.h"

#include "app/dialogs/TMsgDlg.h"
#include "config/TCfgDlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>

#include <functional>
#include <memory>
#include <ostream>

void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

const QString configPath = QStringLiteral("data/Hollvan.cf");

const QString askOverwrite
    = QStringLiteral("Ten adres IP już istnieje, dane zostaną nadpisane\nJesteś pewien?");
const QString askIgnore = QStringLiteral("Zmiany zostaną zignorowane\nJestes pewien?");
const QString askSaveOnExit = QStringLiteral("Zmiany zostaną zapisane\nJestes pewien?");
const QString askSave = QStringLiteral("Konfiguracja zostanie zapisana\nJestes pewien?");
const QString askOut = QStringLiteral("Wybrane adresy IP zostaną usunięte z bazy\nJestes pewien?");
const QString askFrom = QStringLiteral("Wybrane adresy IP utracą autoryzację\nJestes pewien?");
const QString errorNoFile = QStringLiteral("Brak dostępu do pliku konfiguracyjnego");
const QString errorNoAccess = QStringLiteral("Brak dostępu");
const QString errorNotFound = QStringLiteral("Adres IP nie znaleziony");

// Answers every message dialog that appears while it lives, as an operator
// would: on the dialog's show it queues a call that finds the active modal
// window inside the dialog's loop and presses a button. The answers are taken
// in order (true: the left button, "OK" or "Zamknij"; false: "Anuluj"); once
// they run out an unexpected question is refused, so a test never hangs on it
// and sees it in the list of messages (a ModalScript would wait on it instead).
class Messages : public QObject
{
public:
    explicit Messages(std::initializer_list<bool> answers = {})
        : m_answers(answers)
    {
        qApp->installEventFilter(this);
    }
    ~Messages() override { qApp->removeEventFilter(this); }

    void expect(std::initializer_list<bool> answers) { m_answers.append(answers); }

    QStringList texts() const
    {
        QStringList result;
        for (const SeenMessage &m : seen)
            result.append(m.text);
        return result;
    }

    QList<SeenMessage> seen;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && !event->spontaneous()) {
            if (auto *dialog = qobject_cast<TMsgDlg *>(watched)) {
                QPointer<TMsgDlg> shown(dialog);
                QTimer::singleShot(0, this, [this, shown] { answer(shown); });
            }
        }
        return false;
    }

private:
    void answer(const QPointer<TMsgDlg> &dialog)
    {
        if (!dialog)
            return;
        EXPECT_EQ(QApplication::activeModalWidget(), dialog.data());
        seen.append(seenMessage(dialog));
        const bool left = m_answers.isEmpty() ? false : m_answers.takeFirst();
        if (left || !dialog->BitBtnRight->isVisible())
            dialog->BitBtnLeft->click();
        else
            dialog->BitBtnRight->click();
    }

    QList<bool> m_answers;
};

// Rows as "IP|name", with "|x" for a checked box, top to bottom.
QStringList rows(const QTreeWidget *list)
{
    QStringList result;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = list->topLevelItem(i);
        QString row = item->text(0) + u'|' + item->text(1);
        if (item->checkState(0) == Qt::Checked)
            row += QStringLiteral("|x");
        result.append(row);
    }
    return result;
}

QTreeWidgetItem *rowOf(const QTreeWidget *list, const QString &ip)
{
    const int row = TCfgDlg::FindClient(list, ip);
    return row < 0 ? nullptr : list->topLevelItem(row);
}

void check(const QTreeWidget *list, const QString &ip)
{
    QTreeWidgetItem *item = rowOf(list, ip);
    ASSERT_NE(item, nullptr) << ip.toStdString();
    item->setCheckState(0, Qt::Checked);
}

// Opens the list's context menu the way a right click does and picks an item.
void contextMenu(TCfgDlg &dialog, QTreeWidget *list, QAction *item)
{
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10),
                            list->viewport()->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(list->viewport(), &event);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.PopupMenuList->isVisible(); }, 10000));
    item->trigger();
    dialog.PopupMenuList->close();
}

// Each test runs in a working folder of its own with a data/ folder, as the
// program runs in its working directory.
class TCfgDlgTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_work.enter());
        ASSERT_TRUE(m_work.makeData());
        owner.setGeometry(100, 100, 800, 600);
        owner.show();
    }

    void writeConfig(const QByteArray &bytes) { ASSERT_TRUE(m_work.writeFile(configPath, bytes)); }

    QByteArray configBytes() const { return m_work.readFile(configPath); }

    // Shows the dialog without a loop of its own, so the test drives it step
    // by step; closing it goes the same way as under exec().
    std::unique_ptr<TCfgDlg> open()
    {
        auto dialog = std::make_unique<TCfgDlg>(&owner);
        dialog->show();
        return dialog;
    }

    QWidget owner;

private:
    WorkDir m_work;
};

const QByteArray threeClients = "Manual\r\n10.0.0.3\tC\t0\r\n10.0.0.2\tB\t1\r\n10.0.0.1\tA\t0\r\n";

TEST(CompareClientTexts, OrdersBytesWithOnlyLatinLettersFolded)
{
    struct Case
    {
        const char *name;
        QString first;
        QString second;
    };
    // first comes strictly before second
    const Case cases[] = {
        {"addresses as text", "10.0.0.10", "10.0.0.9"},
        {"longer addresses as text", "192.168.1.100", "192.168.1.20"},
        {"prefix first", "10.0.0.1", "10.0.0.10"},
        {"empty first", "", "0"},
        {"a-z folded to upper case", "abc", "ABD"},
        {"folded letter before an underscore", "a", "_"},
        {"bytes unsigned: Polish letters after ASCII", "z", QStringLiteral("ą")},
        {"Polish letters not folded", QStringLiteral("Ą"), QStringLiteral("ą")},
        {"compared on Windows-1250 bytes", QStringLiteral("ł"), QStringLiteral("ą")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_LT(compareClientTexts(c.first, c.second), 0);
        EXPECT_GT(compareClientTexts(c.second, c.first), 0);
    }
    EXPECT_EQ(compareClientTexts(QStringLiteral("lab"), QStringLiteral("LAB")), 0);
    EXPECT_EQ(compareClientTexts(QString(), QString()), 0);
}

TEST_F(TCfgDlgTest, ShowsTheDialogWithItsColumnsOverItsOwner)
{
    writeConfig(threeClients);
    auto dialog = open();
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Konfiguracja"));
    EXPECT_EQ(dialog->size(), QSize(474, 410));
    const QPoint offCentre = dialog->geometry().center() - owner.geometry().center();
    EXPECT_LE(offCentre.manhattanLength(), 2);
    EXPECT_TRUE(dialog->CheckBoxAuto->font().bold());

    for (QTreeWidget *list : {dialog->ListViewDbase, dialog->ListViewAuthor}) {
        SCOPED_TRACE(list->objectName().toStdString());
        EXPECT_EQ(list->headerItem()->text(0), QStringLiteral(" IP"));
        EXPECT_EQ(list->headerItem()->text(1), QStringLiteral(" Nazwa"));
        const int width = list->viewport()->width();
        EXPECT_EQ(list->columnWidth(0), 55 * width / 100);
        EXPECT_EQ(list->columnWidth(1), 45 * width / 100);
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            EXPECT_TRUE(list->topLevelItem(i)->data(0, Qt::CheckStateRole).isValid());
    }

    // Only the authorized list's IP can be edited in place, and never a name.
    const auto editorOpens = [](QTreeWidget *list, int column) {
        QTreeWidgetItem *item = list->topLevelItem(0);
        list->setCurrentItem(item, column);
        QTest::keyClick(list, Qt::Key_F2);
        QWidget *editor = list->indexWidget(list->indexFromItem(item, column));
        if (editor)
            QTest::keyClick(editor, Qt::Key_Escape);
        return editor != nullptr;
    };
    EXPECT_FALSE(editorOpens(dialog->ListViewDbase, 0));
    EXPECT_FALSE(editorOpens(dialog->ListViewDbase, 1));
    EXPECT_TRUE(editorOpens(dialog->ListViewAuthor, 0));
    EXPECT_FALSE(editorOpens(dialog->ListViewAuthor, 1));
}

TEST_F(TCfgDlgTest, LoadsTheClientsOfTheFile)
{
    struct Case
    {
        const char *name;
        QByteArray file;
        std::initializer_list<bool> answers;
        QStringList dbase;
        QStringList author;
        bool autostart;
        QStringList messages;
    };
    const Case cases[] = {
        {"tabs and flags",
         "Auto\r\n10.0.0.2\tB\t1\r\n10.0.0.1\tA\t0\r\n",
         {},
         {"10.0.0.1|A", "10.0.0.2|B"},
         {"10.0.0.2|B"},
         true,
         {}},
        {"tilde separators",
         "Manual\n10.0.0.7~Lab~1\n",
         {},
         {"10.0.0.7|Lab"},
         {"10.0.0.7|Lab"},
         false,
         {}},
        {"first line is only the mode",
         "10.0.0.1\tA\t1\r\n10.0.0.2\tB\t0\r\n",
         {},
         {"10.0.0.2|B"},
         {},
         false,
         {}},
        {"line without a second separator skipped",
         "Manual\r\n10.0.0.1\tA\r\n10.0.0.2\tB\t\r\n",
         {},
         {"10.0.0.2|B"},
         {},
         false,
         {}},
        {"repeated address with its name only checks the row",
         "Manual\r\n10.0.0.1\tA\t0\r\n10.0.0.1\tA\t0\r\n",
         {},
         {"10.0.0.1|A|x"},
         {},
         false,
         {}},
        {"repeated address renamed after OK",
         "Manual\r\n10.0.0.1\tA\t0\r\n10.0.0.1\tB\t0\r\n",
         {true},
         {"10.0.0.1|B"},
         {},
         false,
         {askOverwrite}},
        {"repeated address kept after Anuluj",
         "Manual\r\n10.0.0.1\tA\t0\r\n10.0.0.1\tB\t0\r\n",
         {false},
         {"10.0.0.1|A"},
         {},
         false,
         {askOverwrite}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        writeConfig(c.file);
        Messages messages(c.answers);
        auto dialog = open();
        EXPECT_EQ(messages.texts(), c.messages);
        EXPECT_EQ(rows(dialog->ListViewDbase), c.dbase);
        EXPECT_EQ(rows(dialog->ListViewAuthor), c.author);
        EXPECT_EQ(dialog->CheckBoxAuto->isChecked(), c.autostart);
        EXPECT_EQ(dialog->autostartAsRead(), c.autostart);
        EXPECT_TRUE(dialog->saved());
        EXPECT_TRUE(dialog->EditIP->text().isEmpty());
        dialog->QDialog::done(2);
    }
}

TEST_F(TCfgDlgTest, MissingFileIsCreatedWithTheDefaultClient)
{
    Messages messages;
    auto dialog = open();
    EXPECT_TRUE(messages.seen.isEmpty());
    EXPECT_EQ(configBytes(), QByteArray("Manual\r\n127.0.0.1\tlocalhost\t0\r\n"));
    EXPECT_EQ(rows(dialog->ListViewDbase), QStringList {"127.0.0.1|localhost"});
    EXPECT_TRUE(rows(dialog->ListViewAuthor).isEmpty());
    EXPECT_FALSE(dialog->CheckBoxAuto->isChecked());
}

TEST_F(TCfgDlgTest, FileOutOfReachLeavesTheListsEmpty)
{
    struct Case
    {
        const char *name;
        std::function<bool()> spoil;
    };
    // Both hold for root too: no permission bits are involved.
    const Case cases[] = {
        {"missing and the data folder is gone",
         [] { return QDir(QStringLiteral("data")).removeRecursively(); }},
        {"a folder in place of the file", [] { return QDir().mkpath(configPath); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QDir(QStringLiteral("data")).removeRecursively();
        ASSERT_TRUE(QDir().mkdir(QStringLiteral("data")));
        ASSERT_TRUE(c.spoil());
        Messages messages;
        auto dialog = open();
        ASSERT_EQ(messages.seen.size(), 1);
        EXPECT_EQ(messages.seen[0].caption, QStringLiteral("Błąd"));
        EXPECT_EQ(messages.seen[0].text, errorNoFile);
        EXPECT_EQ(messages.seen[0].leftButton, QStringLiteral("Zamknij"));
        EXPECT_FALSE(messages.seen[0].rightButtonShown);
        EXPECT_EQ(dialog->ListViewDbase->topLevelItemCount(), 0);
        EXPECT_EQ(dialog->ListViewAuthor->topLevelItemCount(), 0);
        EXPECT_FALSE(dialog->CheckBoxAuto->isChecked());
        dialog->QDialog::done(2);
    }
}

enum class Close { CancelButton, ExitButton, Escape, TitleBar };

void requestClose(TCfgDlg &dialog, Close how)
{
    switch (how) {
    case Close::CancelButton:
        dialog.SpeedButtonCancel->click();
        break;
    case Close::ExitButton:
        dialog.SpeedButtonExit->click();
        break;
    case Close::Escape:
        QTest::keyClick(&dialog, Qt::Key_Escape);
        break;
    case Close::TitleBar:
        dialog.close();
        break;
    }
}

TEST_F(TCfgDlgTest, ClosingWithoutChangesNeitherAsksNorWrites)
{
    const Close ways[] = {Close::CancelButton, Close::ExitButton, Close::Escape, Close::TitleBar};
    for (Close how : ways) {
        SCOPED_TRACE(int(how));
        writeConfig(threeClients);
        const QDateTime old = QDateTime::currentDateTime().addYears(-3);
        {
            QFile f(configPath);
            ASSERT_TRUE(f.open(QIODevice::ReadWrite));
            ASSERT_TRUE(f.setFileTime(old, QFileDevice::FileModificationTime));
        }
        Messages messages;
        TCfgDlg dialog(&owner);
        bool stillOpen = false;
        QTimer::singleShot(0, &dialog, [&] {
            // Selecting and checking rows is no change to the configuration.
            dialog.ListViewDbase->setCurrentItem(dialog.ListViewDbase->topLevelItem(1));
            check(dialog.ListViewDbase, QStringLiteral("10.0.0.1"));
            requestClose(dialog, how);
            stillOpen = dialog.isVisible();
            if (stillOpen)
                dialog.QDialog::done(2);
        });
        dialog.exec();
        EXPECT_FALSE(stillOpen);
        EXPECT_TRUE(messages.seen.isEmpty());
        EXPECT_EQ(configBytes(), threeClients);
        EXPECT_EQ(QFileInfo(configPath).lastModified(), old);
    }
}

TEST_F(TCfgDlgTest, ClosingWithChangesAsks)
{
    struct Case
    {
        const char *name;
        std::function<void(TCfgDlg &)> change;
        Close how;
        bool answer;
        QString question;
        bool closes;
        QByteArray file;
    };
    const auto toggleAutostart = [](TCfgDlg &d) { d.CheckBoxAuto->click(); };
    const auto addClient = [](TCfgDlg &d) {
        d.EditIP->setText(QStringLiteral("10.0.0.4"));
        d.EditName->setText(QStringLiteral("D"));
        d.SpeedButtonNew->click();
    };
    const QByteArray withAuto = "Auto\r\n10.0.0.3\tC\t0\r\n10.0.0.2\tB\t1\r\n10.0.0.1\tA\t0\r\n";
    const QByteArray withD
        = "Manual\r\n10.0.0.4\tD\t0\r\n10.0.0.3\tC\t0\r\n10.0.0.2\tB\t1\r\n10.0.0.1\tA\t0\r\n";
    const Case cases[] = {
        {"autostart only, cancel refused", toggleAutostart, Close::CancelButton, false, askIgnore,
         false, threeClients},
        {"autostart only, cancel agreed", toggleAutostart, Close::CancelButton, true, askIgnore,
         true, threeClients},
        {"new client, Escape agreed", addClient, Close::Escape, true, askIgnore, true,
         threeClients},
        {"new client, title bar refused", addClient, Close::TitleBar, false, askIgnore, false,
         threeClients},
        {"autostart only, exit agreed", toggleAutostart, Close::ExitButton, true, askSaveOnExit,
         true, withAuto},
        {"new client, exit agreed", addClient, Close::ExitButton, true, askSaveOnExit, true, withD},
        {"new client, exit refused", addClient, Close::ExitButton, false, askSaveOnExit, false,
         threeClients},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        writeConfig(threeClients);
        auto dialog = open();
        c.change(*dialog);
        Messages messages({c.answer});
        requestClose(*dialog, c.how);
        ASSERT_EQ(messages.seen.size(), 1);
        EXPECT_EQ(messages.seen[0].caption, QStringLiteral("Ostrzeżenie"));
        EXPECT_EQ(messages.seen[0].text, c.question);
        EXPECT_EQ(messages.seen[0].leftButton, QStringLiteral("OK"));
        EXPECT_TRUE(messages.seen[0].rightButtonShown);
        EXPECT_EQ(dialog->isVisible(), !c.closes);
        EXPECT_EQ(configBytes(), c.file);
        EXPECT_FALSE(dialog->exitRequested() && dialog->isVisible());
        if (dialog->isVisible()) {
            // A refused exit leaves no save behind it: Cancel asks to ignore.
            messages.seen.clear();
            messages.expect({true});
            dialog->SpeedButtonCancel->click();
            EXPECT_EQ(messages.texts(), QStringList {askIgnore});
            EXPECT_FALSE(dialog->isVisible());
            EXPECT_EQ(configBytes(), threeClients);
        }
    }
}

TEST_F(TCfgDlgTest, SavedAutostartChangeStillAsksOnCancel)
{
    writeConfig(threeClients);
    auto dialog = open();
    dialog->CheckBoxAuto->click();
    Messages messages({true, false});
    dialog->SpeedButtonSave->click();
    EXPECT_TRUE(dialog->saved());
    EXPECT_TRUE(configBytes().startsWith("Auto\r\n"));
    dialog->SpeedButtonCancel->click();
    EXPECT_EQ(messages.texts(), (QStringList {askSave, askIgnore}));
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(TCfgDlgTest, SaveRefusedWritesNothing)
{
    writeConfig(threeClients);
    auto dialog = open();
    dialog->CheckBoxAuto->click();
    Messages messages({false});
    dialog->SpeedButtonSave->click();
    EXPECT_EQ(messages.texts(), QStringList {askSave});
    EXPECT_EQ(configBytes(), threeClients);
}

TEST_F(TCfgDlgTest, AddingAnAddressThatIsListed)
{
    struct Case
    {
        const char *name;
        QString newName;
        std::initializer_list<bool> answers;
        QStringList messages;
        QStringList dbase;
        QStringList author;
        bool saved;
    };
    const Case cases[] = {
        {"same name checks the row",
         "Stary",
         {},
         {},
         {"10.0.0.1|Stary|x"},
         {"10.0.0.1|Stary"},
         true},
        {"another name, OK renames in both lists",
         "Nowy",
         {true},
         {askOverwrite},
         {"10.0.0.1|Nowy"},
         {"10.0.0.1|Nowy"},
         false},
        {"another name, Anuluj changes nothing",
         "Nowy",
         {false},
         {askOverwrite},
         {"10.0.0.1|Stary"},
         {"10.0.0.1|Stary"},
         true},
        {"name differing in case only is another name",
         "stary",
         {true},
         {askOverwrite},
         {"10.0.0.1|stary"},
         {"10.0.0.1|stary"},
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        writeConfig("Manual\r\n10.0.0.1\tStary\t1\r\n");
        auto dialog = open();
        dialog->EditIP->setText(QStringLiteral("10.0.0.1"));
        dialog->EditName->setText(c.newName);
        Messages messages(c.answers);
        dialog->SpeedButtonNew->click();
        EXPECT_EQ(messages.texts(), c.messages);
        EXPECT_EQ(rows(dialog->ListViewDbase), c.dbase);
        EXPECT_EQ(rows(dialog->ListViewAuthor), c.author);
        EXPECT_EQ(dialog->saved(), c.saved);
        EXPECT_EQ(dialog->EditIP->text(), QStringLiteral("10.0.0.1"));
        EXPECT_EQ(dialog->EditName->text(), c.newName);
        dialog->QDialog::done(2);
    }
}

TEST_F(TCfgDlgTest, MovingAuthorizedClientsKeepsTheirRows)
{
    // The authorized row is named A while the database row keeps B: the
    // overwrite while loading is refused.
    writeConfig(
        "Manual\r\n10.0.0.1\tB\t0\r\n10.0.0.1\tA\t1\r\n10.0.0.2\tC\t0\r\n10.0.0.3\tD\t0\r\n");
    Messages messages({false});
    auto dialog = open();
    ASSERT_EQ(rows(dialog->ListViewDbase),
              (QStringList {"10.0.0.1|B", "10.0.0.2|C", "10.0.0.3|D"}));
    ASSERT_EQ(rows(dialog->ListViewAuthor), QStringList {"10.0.0.1|A"});
    check(dialog->ListViewDbase, QStringLiteral("10.0.0.1"));
    check(dialog->ListViewDbase, QStringLiteral("10.0.0.2"));
    dialog->SpeedButtonTo->click();
    EXPECT_EQ(messages.texts(), QStringList {askOverwrite});
    EXPECT_EQ(rows(dialog->ListViewDbase),
              (QStringList {"10.0.0.1|B", "10.0.0.2|C", "10.0.0.3|D"}));
    EXPECT_EQ(rows(dialog->ListViewAuthor), (QStringList {"10.0.0.1|A", "10.0.0.2|C"}));
    EXPECT_FALSE(dialog->saved());
}

TEST_F(TCfgDlgTest, MovingNothingCheckedIsNoChange)
{
    writeConfig(threeClients);
    Messages messages;
    auto dialog = open();
    dialog->SpeedButtonTo->click();
    EXPECT_TRUE(messages.seen.isEmpty());
    EXPECT_EQ(rows(dialog->ListViewAuthor), QStringList {"10.0.0.2|B"});
    EXPECT_TRUE(dialog->saved());
}

TEST_F(TCfgDlgTest, DeletingFromTheDatabaseRemovesTheAuthorization)
{
    for (bool agreed : {true, false}) {
        SCOPED_TRACE(agreed);
        writeConfig("Manual\r\n10.0.0.1\tA\t1\r\n10.0.0.2\tB\t1\r\n10.0.0.3\tC\t0\r\n");
        auto dialog = open();
        check(dialog->ListViewDbase, QStringLiteral("10.0.0.1"));
        check(dialog->ListViewDbase, QStringLiteral("10.0.0.3"));
        Messages messages({agreed});
        dialog->SpeedButtonOut->click();
        EXPECT_EQ(messages.texts(), QStringList {askOut});
        if (agreed) {
            EXPECT_EQ(rows(dialog->ListViewDbase), QStringList {"10.0.0.2|B"});
            EXPECT_EQ(rows(dialog->ListViewAuthor), QStringList {"10.0.0.2|B"});
        } else {
            EXPECT_EQ(rows(dialog->ListViewDbase),
                      (QStringList {"10.0.0.1|A|x", "10.0.0.2|B", "10.0.0.3|C|x"}));
            EXPECT_EQ(rows(dialog->ListViewAuthor), (QStringList {"10.0.0.1|A", "10.0.0.2|B"}));
        }
        EXPECT_EQ(dialog->saved(), !agreed);
        dialog->QDialog::done(2);
    }
}

TEST_F(TCfgDlgTest, OutAndFromAskEvenWithNothingChecked)
{
    struct Case
    {
        const char *name;
        QToolButton *TCfgDlg::*button;
        QString question;
    };
    const Case cases[] = {
        {"out", &TCfgDlg::SpeedButtonOut, askOut},
        {"from", &TCfgDlg::SpeedButtonFrom, askFrom},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        writeConfig(threeClients);
        auto dialog = open();
        Messages messages({true});
        ((*dialog).*c.button)->click();
        ASSERT_EQ(messages.seen.size(), 1);
        EXPECT_EQ(messages.seen[0].caption, QStringLiteral("Ostrzeżenie"));
        EXPECT_EQ(messages.seen[0].text, c.question);
        EXPECT_EQ(rows(dialog->ListViewDbase),
                  (QStringList {"10.0.0.1|A", "10.0.0.2|B", "10.0.0.3|C"}));
        EXPECT_EQ(rows(dialog->ListViewAuthor), QStringList {"10.0.0.2|B"});
        EXPECT_TRUE(dialog->saved());
        dialog->QDialog::done(2);
    }
}

TEST_F(TCfgDlgTest, RemovingAuthorizationOfAnAddressMissingFromTheDatabase)
{
    writeConfig("Manual\r\n10.0.0.1\tA\t1\r\n10.0.0.2\tB\t1\r\n10.0.0.3\tC\t0\r\n");
    auto dialog = open();

    // The operator edits an authorized IP in place; the list puts the row back
    // in order, and the edit is no change to save.
    QTreeWidget *author = dialog->ListViewAuthor;
    author->setCurrentItem(author->topLevelItem(0));
    QTest::keyClick(author, Qt::Key_F2);
    QLineEdit *editor = author->viewport()->findChild<QLineEdit *>();
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("10.0.0.99"));
    QTest::keyClick(editor, Qt::Key_Return);
    const QStringList edited {"10.0.0.2|B", "10.0.0.99|A"};
    EXPECT_TRUE(QTest::qWaitFor([&] { return rows(author) == edited; }, 10000))
        << rows(author).join(u' ').toStdString();
    EXPECT_TRUE(dialog->saved());

    contextMenu(*dialog, author, dialog->PopupMenuSelectAll);
    EXPECT_EQ(rows(author), (QStringList {"10.0.0.2|B|x", "10.0.0.99|A|x"}));
    Messages messages({true, true});
    dialog->SpeedButtonFrom->click();
    EXPECT_EQ(messages.texts(), (QStringList {askFrom, errorNotFound}));
    ASSERT_EQ(messages.seen.size(), 2);
    EXPECT_EQ(messages.seen[1].caption, QStringLiteral("Błąd"));
    EXPECT_FALSE(messages.seen[1].rightButtonShown);
    EXPECT_TRUE(rows(author).isEmpty());
    EXPECT_EQ(rows(dialog->ListViewDbase),
              (QStringList {"10.0.0.1|A", "10.0.0.2|B|x", "10.0.0.3|C"}));
    EXPECT_FALSE(dialog->saved());
}

TEST_F(TCfgDlgTest, EditingAnAuthorizedAddressAwayFromTheDatabaseUnauthorizesOnSave)
{
    writeConfig("Manual\r\n10.0.0.1\tA\t1\r\n");
    auto dialog = open();
    dialog->ListViewAuthor->topLevelItem(0)->setText(0, QStringLiteral("10.0.0.9"));
    dialog->CheckBoxAuto->click();
    Messages messages({true});
    dialog->SpeedButtonSave->click();
    EXPECT_EQ(configBytes(), QByteArray("Auto\r\n10.0.0.1\tA\t0\r\n"));
}

TEST_F(TCfgDlgTest, AddressesSortAsText)
{
    writeConfig("Manual\r\n");
    auto dialog = open();
    for (const char *ip : {"192.168.1.20", "10.0.0.9", "192.168.1.100", "10.0.0.10"}) {
        dialog->EditIP->setText(QLatin1String(ip));
        dialog->EditName->setText(QStringLiteral("x"));
        dialog->SpeedButtonNew->click();
    }
    EXPECT_EQ(rows(dialog->ListViewDbase),
              (QStringList {"10.0.0.10|x", "10.0.0.9|x", "192.168.1.100|x", "192.168.1.20|x"}));
    EXPECT_FALSE(dialog->saved());
}

TEST_F(TCfgDlgTest, OrderByNameReachesTheOtherListAtItsNextAddition)
{
    writeConfig("Manual\r\n10.0.0.1\tZenon\t1\r\n10.0.0.2\tAdam\t1\r\n10.0.0.3\tmarek\t0\r\n");
    auto dialog = open();
    // The captions are given as the menu opens.
    contextMenu(*dialog, dialog->ListViewAuthor, dialog->PopupMenuOrderByName);
    EXPECT_EQ(dialog->PopupMenuSelectAll->text(), QStringLiteral("&Zaznacz wszystkie"));
    EXPECT_EQ(dialog->PopupMenuUnselectAll->text(), QStringLiteral("&Usuń zaznaczenia"));
    EXPECT_EQ(dialog->PopupMenuOrderByIP->text(), QStringLiteral("Uporządkuj wg &IP"));
    EXPECT_EQ(dialog->PopupMenuOrderByName->text(), QStringLiteral("Uporządkuj wg &Nazwy"));
    EXPECT_EQ(dialog->contextList(), dialog->ListViewAuthor);
    EXPECT_EQ(dialog->sortKey(), 1);
    EXPECT_EQ(rows(dialog->ListViewAuthor), (QStringList {"10.0.0.2|Adam", "10.0.0.1|Zenon"}));
    EXPECT_EQ(rows(dialog->ListViewDbase),
              (QStringList {"10.0.0.1|Zenon", "10.0.0.2|Adam", "10.0.0.3|marek"}));
    EXPECT_TRUE(dialog->saved());

    dialog->EditIP->setText(QStringLiteral("10.0.0.0"));
    dialog->EditName->setText(QStringLiteral("Bolek"));
    dialog->SpeedButtonNew->click();
    EXPECT_EQ(
        rows(dialog->ListViewDbase),
        (QStringList {"10.0.0.2|Adam", "10.0.0.0|Bolek", "10.0.0.3|marek", "10.0.0.1|Zenon"}));

    contextMenu(*dialog, dialog->ListViewDbase, dialog->PopupMenuOrderByIP);
    EXPECT_EQ(dialog->contextList(), dialog->ListViewDbase);
    EXPECT_EQ(dialog->sortKey(), 0);
    EXPECT_EQ(
        rows(dialog->ListViewDbase),
        (QStringList {"10.0.0.0|Bolek", "10.0.0.1|Zenon", "10.0.0.2|Adam", "10.0.0.3|marek"}));
}

TEST_F(TCfgDlgTest, CheckAllAndNoneActOnTheListClicked)
{
    writeConfig(threeClients);
    auto dialog = open();
    contextMenu(*dialog, dialog->ListViewDbase, dialog->PopupMenuSelectAll);
    EXPECT_EQ(rows(dialog->ListViewDbase),
              (QStringList {"10.0.0.1|A|x", "10.0.0.2|B|x", "10.0.0.3|C|x"}));
    EXPECT_EQ(rows(dialog->ListViewAuthor), QStringList {"10.0.0.2|B"});
    contextMenu(*dialog, dialog->ListViewAuthor, dialog->PopupMenuSelectAll);
    contextMenu(*dialog, dialog->ListViewDbase, dialog->PopupMenuUnselectAll);
    EXPECT_EQ(rows(dialog->ListViewDbase),
              (QStringList {"10.0.0.1|A", "10.0.0.2|B", "10.0.0.3|C"}));
    EXPECT_EQ(rows(dialog->ListViewAuthor), QStringList {"10.0.0.2|B|x"});
    EXPECT_TRUE(dialog->saved());
}

TEST_F(TCfgDlgTest, SavingWritesTheRowsBottomUp)
{
    writeConfig("Manual\r\n10.0.0.1\tA\t0\r\n10.0.0.3\tC\t1\r\n10.0.0.2~B~0\r\n");
    auto dialog = open();
    ASSERT_EQ(rows(dialog->ListViewDbase),
              (QStringList {"10.0.0.1|A", "10.0.0.2|B", "10.0.0.3|C"}));
    // A client without an address is accepted and written as it stands.
    dialog->EditName->setText(QStringLiteral("bez adresu"));
    dialog->SpeedButtonNew->click();
    Messages messages({true});
    dialog->SpeedButtonSave->click();
    EXPECT_EQ(messages.texts(), QStringList {askSave});
    EXPECT_TRUE(dialog->saved());
    EXPECT_EQ(configBytes(),
              QByteArray("Manual\r\n10.0.0.3\tC\t1\r\n10.0.0.2\tB\t0\r\n"
                         "10.0.0.1\tA\t0\r\n\tbez adresu\t0\r\n"));
}

TEST_F(TCfgDlgTest, NamesAreWrittenInWindows1250)
{
    writeConfig("Manual\r\n");
    auto dialog = open();
    dialog->EditIP->setText(QStringLiteral("10.0.0.1"));
    dialog->EditName->setText(QStringLiteral("Pracownia żółta"));
    dialog->SpeedButtonNew->click();
    Messages messages({true});
    dialog->SpeedButtonSave->click();
    EXPECT_EQ(configBytes(), QByteArray("Manual\r\n10.0.0.1\tPracownia \xBF\xF3\xB3ta\t0\r\n"));
}

// A configuration that could not be written must not count as saved: the
// operator's changes stay in the dialog, which stays open on the exit path.
TEST_F(TCfgDlgTest, FailedWriteKeepsTheChangesAndTheDialog)
{
    struct Case
    {
        const char *name;
        std::function<bool()> spoil;
        std::function<bool()> mend;
    };
    const Case cases[] = {
        {"a folder in place of the file",
         [] { return QFile::remove(configPath) && QDir().mkdir(configPath); },
         [] { return QDir().rmdir(configPath); }},
        {"the data folder removed", [] { return QDir(QStringLiteral("data")).removeRecursively(); },
         [] { return QDir().mkdir(QStringLiteral("data")); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        writeConfig(threeClients);
        auto dialog = open();
        dialog->EditIP->setText(QStringLiteral("10.0.0.4"));
        dialog->SpeedButtonNew->click();
        ASSERT_TRUE(c.spoil());

        Messages messages({true, true});
        dialog->SpeedButtonSave->click();
        EXPECT_EQ(messages.texts(), (QStringList {askSave, errorNoAccess}));
        EXPECT_EQ(messages.seen.value(1).caption, QStringLiteral("Błąd"));
        EXPECT_FALSE(dialog->saved());

        messages.seen.clear();
        messages.expect({true, true});
        dialog->SpeedButtonExit->click();
        EXPECT_EQ(messages.texts(), (QStringList {askSaveOnExit, errorNoAccess}));
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_FALSE(dialog->saved());
        EXPECT_FALSE(dialog->exitRequested());
        EXPECT_EQ(dialog->ListViewDbase->topLevelItemCount(), 4);

        ASSERT_TRUE(c.mend());
        messages.seen.clear();
        messages.expect({true});
        dialog->SpeedButtonExit->click();
        EXPECT_EQ(messages.texts(), QStringList {askSaveOnExit});
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(configBytes(),
                  QByteArray("Manual\r\n10.0.0.4\t\t0\r\n10.0.0.3\tC\t0\r\n"
                             "10.0.0.2\tB\t1\r\n10.0.0.1\tA\t0\r\n"));
    }
}

TEST_F(TCfgDlgTest, HighlightedDatabaseRowFillsTheEditFields)
{
    writeConfig(threeClients);
    auto dialog = open();
    QTreeWidget *dbase = dialog->ListViewDbase;
    const auto clickRow = [&](int row) {
        const QRect rect = dbase->visualItemRect(dbase->topLevelItem(row));
        QTest::mouseClick(dbase->viewport(), Qt::LeftButton, {}, rect.center() + QPoint(20, 0));
    };
    clickRow(2);
    EXPECT_EQ(dialog->EditIP->text(), QStringLiteral("10.0.0.3"));
    EXPECT_EQ(dialog->EditName->text(), QStringLiteral("C"));
    clickRow(0);
    EXPECT_EQ(dialog->EditIP->text(), QStringLiteral("10.0.0.1"));
    EXPECT_EQ(dialog->EditName->text(), QStringLiteral("A"));
    EXPECT_EQ(rows(dbase), (QStringList {"10.0.0.1|A", "10.0.0.2|B", "10.0.0.3|C"}));

    // The authorized list leaves the fields alone.
    QTreeWidget *author = dialog->ListViewAuthor;
    QTest::mouseClick(author->viewport(), Qt::LeftButton, {},
                      author->visualItemRect(author->topLevelItem(0)).center() + QPoint(20, 0));
    EXPECT_EQ(dialog->EditIP->text(), QStringLiteral("10.0.0.1"));
    EXPECT_TRUE(dialog->saved());
}

TEST_F(TCfgDlgTest, StatusBarDescribesTheControlUnderTheMouse)
{
    writeConfig(threeClients);
    // The pointer goes to the top-level window under it, so the dialog's owner
    // is kept out of the way.
    owner.hide();
    auto dialog = open();
    const QString listText
        = QStringLiteral("Do zaznaczenia i porządkowania użyj prawego przycisku myszki");
    const QString autoText
        = QStringLiteral("Ustaw, jeśli chcesz uruchamiać program bez autoryzacji");
    struct Case
    {
        QWidget *widget;
        QPoint at;
        QString text;
    };
    const QPoint middle(-1, -1);
    const Case cases[] = {
        {dialog->SpeedButtonNew, middle, QStringLiteral("Wprowadź nowego klienta do bazy danych")},
        {dialog->SpeedButtonOut, middle,
         QStringLiteral("Usuń zaznaczonych klientów z bazy danych")},
        {dialog->SpeedButtonTo, middle,
         QStringLiteral("Wprowadź zaznaczonych klientów na listę autoryzacji")},
        {dialog->SpeedButtonFrom, middle,
         QStringLiteral("Usuń zaznaczonych klientów z listy autoryzacji")},
        {dialog->SpeedButtonSave, middle,
         QStringLiteral("Zapisz zmiany i pozostań w oknie konfiguracji")},
        {dialog->SpeedButtonExit, middle,
         QStringLiteral("Zapisz zmiany i zamknij okno konfiguracji")},
        {dialog->SpeedButtonCancel, middle, QStringLiteral("Zignoruj wszystkie zmiany")},
        {dialog->ListViewDbase->viewport(), middle, listText},
        {dialog->ListViewAuthor->viewport(), middle, listText},
        {dialog->GroupBoxNew, QPoint(4, 95),
         QStringLiteral("Wpisz adres IP i nazwę nowego klienta")},
        // Over a control with no text of its own the last text stays.
        {dialog->EditIP, middle, QStringLiteral("Wpisz adres IP i nazwę nowego klienta")},
        {dialog->PanelAuto, QPoint(172, 15), autoText},
        {dialog->CheckBoxAuto, QPoint(5, 10), autoText},
        {dialog->SpeedButtonHelp, middle, QStringLiteral("Wywołaj okienko pomocy")},
        {dialog.get(), QPoint(235, 200), QString()},
        {dialog->SpeedButtonCancel, middle, QStringLiteral("Zignoruj wszystkie zmiany")},
        {dialog->PanelBtn, QPoint(5, 70), QString()},
        {dialog->SpeedButtonCancel, middle, QStringLiteral("Zignoruj wszystkie zmiany")},
        {dialog->StatusBarCfg, QPoint(5, 5), QStringLiteral("Zignoruj wszystkie zmiany")},
        {dialog->GroupBoxBtn, QPoint(3, 99), QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.widget->objectName().toStdString());
        const QPoint at = c.at == middle ? c.widget->rect().center() : c.at;
        ASSERT_TRUE(c.widget->rect().contains(at));
        QTest::mouseMove(c.widget, at);
        EXPECT_EQ(dialog->StatusBarCfg->currentMessage(), c.text);
    }
}

TEST_F(TCfgDlgTest, OnlyTheListedControlsShowTheirHints)
{
    writeConfig(threeClients);
    auto dialog = open();
    QStringList withHint, withToolTip;
    for (QWidget *w : dialog->findChildren<QWidget *>()) {
        if (!w->property("hint").toString().isEmpty())
            withHint.append(w->objectName());
        if (!w->toolTip().isEmpty())
            withToolTip.append(w->objectName());
    }
    withHint.sort();
    withToolTip.sort();
    EXPECT_EQ(withToolTip,
              (QStringList {"EditIP", "EditName", "PanelAuto", "SpeedButtonFrom", "SpeedButtonHelp",
                            "SpeedButtonNew", "SpeedButtonOut", "SpeedButtonTo"}));
    EXPECT_EQ(withHint,
              (QStringList {"CheckBoxAuto", "EditIP", "EditName", "GroupBoxAuthor", "GroupBoxDbase",
                            "PanelAuto", "SpeedButtonFrom", "SpeedButtonHelp", "SpeedButtonNew",
                            "SpeedButtonOut", "SpeedButtonTo", "StaticTextCancel", "StaticTextExit",
                            "StaticTextSave"}));

    // The check box lies on PanelAuto, whose tool tip must not show over it.
    const auto askToolTip = [](QWidget *w, QPoint at) {
        QToolTip::hideText();
        QHelpEvent help(QEvent::ToolTip, at, w->mapToGlobal(at));
        QApplication::sendEvent(w, &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    EXPECT_EQ(askToolTip(dialog->CheckBoxAuto, QPoint(5, 10)), QString());
    EXPECT_EQ(askToolTip(dialog->PanelAuto, QPoint(172, 15)), dialog->PanelAuto->toolTip());
    QToolTip::hideText();
    EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 10000));
}

TEST_F(TCfgDlgTest, HelpButtonAsksForThePage)
{
    writeConfig(threeClients);
    auto dialog = open();
    QSignalSpy help(dialog.get(), &TCfgDlg::helpRequested);
    dialog->SpeedButtonHelp->click();
    EXPECT_EQ(help.count(), 1);
    EXPECT_TRUE(dialog->isVisible());
}

} // namespace
