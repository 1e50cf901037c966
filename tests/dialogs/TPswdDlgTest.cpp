#include "tests/fixtures/ModalScript.h"
#include "tests/fixtures/WorkDir.h"

#include "config/PasswordStore.h"
#include "config/TPswdDlg.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QStyle>
#include <QTest>

#include <unistd.h>

namespace {

// Runs each test in a working folder of its own with a data/ folder, as the
// program runs in its working directory.
class TPswdDlgTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_work.enter());
        ASSERT_TRUE(m_work.makeData());
        owner.show();
    }

    void TearDown() override
    {
        QFile::setPermissions(passwordFilePath, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        m_work.leave();
    }

    void writeFile(const QByteArray &bytes)
    {
        ASSERT_TRUE(m_work.writeFile(QLatin1String(passwordFilePath), bytes));
    }

    QByteArray fileBytes() const { return m_work.readFile(QLatin1String(passwordFilePath)); }

    static QByteArray stored(const QString &password)
    {
        return formatPasswordHash(PasswordHash(password)).toLatin1();
    }

    QWidget owner;

private:
    WorkDir m_work;
};

enum Answer { PressOk, PressCancel, PressEnter, PressEscape, CloseWindow };

void answer(TPswdDlg *dialog, Answer how)
{
    switch (how) {
    case PressOk:
        dialog->BitBtnOk->click();
        break;
    case PressCancel:
        dialog->BitBtnCancel->click();
        break;
    case PressEnter:
        QTest::keyClick(dialog->Edit1, Qt::Key_Return);
        break;
    case PressEscape:
        QTest::keyClick(dialog->Edit1, Qt::Key_Escape);
        break;
    case CloseWindow:
        dialog->close();
        break;
    }
}

// Hands the next password dialog to look as it stands, then answers it.
ModalScript::Step lookAndAnswer(Answer how, std::function<void(TPswdDlg *)> look)
{
    return {[](QWidget *w) { return qobject_cast<TPswdDlg *>(w) != nullptr; },
            [=](QWidget *w) {
                auto *dialog = qobject_cast<TPswdDlg *>(w);
                look(dialog);
                answer(dialog, how);
            }};
}

// Fills the entries of the next password dialog and answers it.
ModalScript::Step fillAndAnswer(const QString &first, const QString &second, Answer how,
                                std::function<void(TPswdDlg *)> look = {})
{
    return lookAndAnswer(how, [=](TPswdDlg *dialog) {
        if (look)
            look(dialog);
        dialog->Edit1->setText(first);
        dialog->Edit2->setText(second);
    });
}

TEST_F(TPswdDlgTest, LoginWithoutFileCreatesItAndTakesTheEmptyPassword)
{
    QString caption;
    bool secondShown = true;
    QString firstTitle;
    QChar echo;
    QByteArray fileAtShow;
    ModalScript script({fillAndAnswer({}, {}, PressOk, [&](TPswdDlg *d) {
        caption = d->windowTitle();
        secondShown = d->GroupBox2->isVisible();
        firstTitle = d->GroupBox1->title();
        echo = QChar(
            d->Edit1->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, d->Edit1));
        fileAtShow = fileBytes();
    })});
    TPswdDlg dialog(TPswdDlg::Mode::Login);
    EXPECT_EQ(dialog.exec(), 1);
    EXPECT_TRUE(script.finished());
    EXPECT_EQ(caption, QStringLiteral("Autoryzacja"));
    EXPECT_EQ(firstTitle, QStringLiteral("Wpisz hasło"));
    EXPECT_FALSE(secondShown);
    EXPECT_EQ(echo, QChar(u'*'));
    EXPECT_EQ(dialog.Edit1->echoMode(), QLineEdit::Password);
    EXPECT_EQ(fileAtShow, QByteArray("00000000"));
}

TEST_F(TPswdDlgTest, LoginResults)
{
    struct Case
    {
        const char *name;
        QString storedPassword;
        QString typed;
        Answer how;
        int result;
    };
    const Case cases[] = {
        {"right", "abc", "abc", PressOk, 1},
        {"wrong", "abc", "abd", PressOk, 3},
        {"wrong with Enter", "abc", "abd", PressEnter, 3},
        {"empty when a password is set", "abc", "", PressOk, 3},
        {"letter case counts", "abc", "ABC", PressOk, 3},
        {"another text with the same hash", "ab", "bB", PressOk, 1},
        {"right with Enter", QStringLiteral("zażółć"), QStringLiteral("zażółć"), PressEnter, 1},
        {"cancel", "abc", "abc", PressCancel, 2},
        {"escape", "abc", "abc", PressEscape, 2},
        {"title bar", "abc", "abd", CloseWindow, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(stored(c.storedPassword));
        ModalScript script({fillAndAnswer(c.typed, {}, c.how)});
        TPswdDlg dialog(TPswdDlg::Mode::Login);
        EXPECT_EQ(dialog.exec(), c.result);
        EXPECT_TRUE(script.finished());
        EXPECT_EQ(fileBytes(), stored(c.storedPassword));
    }
}

TEST_F(TPswdDlgTest, LoginRefusedWhenTheFileCannotBeRead)
{
    // A directory in the file's place cannot be read, by root neither.
    ASSERT_TRUE(QDir().mkdir(passwordFilePath));
    for (const QString &password : {QString(), QStringLiteral("abc")}) {
        TPswdDlg dialog(TPswdDlg::Mode::Login);
        ModalScript script({fillAndAnswer(password, QString(), PressOk)});
        EXPECT_EQ(dialog.exec(), 3) << qPrintable(password);
        EXPECT_TRUE(script.finished());
    }
    EXPECT_TRUE(QFileInfo(passwordFilePath).isDir());
}

TEST_F(TPswdDlgTest, ChangeWithDifferingEntriesStaysOpen)
{
    writeFile(stored("abc"));
    SeenMessage seen;
    bool stillOpen = false;
    QString firstAfter, secondAfter;
    ModalScript script({
        fillAndAnswer(QStringLiteral("Nowe"), QStringLiteral("nowe"), PressOk),
        answerMessage("BitBtnLeft", &seen),
        lookAndAnswer(PressCancel,
                      [&](TPswdDlg *dialog) {
                          stillOpen = dialog->isVisible();
                          firstAfter = dialog->Edit1->text();
                          secondAfter = dialog->Edit2->text();
                      }),
    });
    TPswdDlg dialog(TPswdDlg::Mode::Change, &owner);
    EXPECT_EQ(dialog.exec(), 2);
    EXPECT_TRUE(script.finished());
    EXPECT_EQ(seen.caption, QStringLiteral("Błąd"));
    EXPECT_EQ(seen.text, QStringLiteral("Błędne hasło"));
    EXPECT_EQ(seen.leftButton, QStringLiteral("Zamknij"));
    EXPECT_FALSE(seen.rightButtonShown);
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(firstAfter, QStringLiteral("Nowe"));
    EXPECT_EQ(secondAfter, QStringLiteral("nowe"));
    EXPECT_EQ(fileBytes(), stored("abc"));
}

TEST_F(TPswdDlgTest, ChangeStoresTheNewHash)
{
    for (const QString &password : {QStringLiteral("Nowe hasło"), QString()}) {
        SCOPED_TRACE(password.toStdString());
        writeFile(stored("abc"));
        QString caption, secondTitle;
        bool secondShown = false;
        int changeHeight = 0;
        ModalScript script({fillAndAnswer(password, password, PressOk, [&](TPswdDlg *d) {
            caption = d->windowTitle();
            secondShown = d->GroupBox2->isVisible();
            secondTitle = d->GroupBox2->title();
            changeHeight = d->height();
        })});
        TPswdDlg dialog(TPswdDlg::Mode::Change, &owner);
        EXPECT_EQ(dialog.exec(), 1);
        EXPECT_TRUE(script.finished());
        EXPECT_EQ(caption, QStringLiteral("Zmiana hasła"));
        EXPECT_TRUE(secondShown);
        EXPECT_EQ(secondTitle, QStringLiteral("Wpisz ponownie"));
        EXPECT_EQ(fileBytes(), stored(password));

        // The login form leaves out the second entry and is shorter.
        TPswdDlg login(TPswdDlg::Mode::Login);
        login.show();
        EXPECT_LT(login.height(), changeHeight);
    }
}

// A password file that cannot be written must not end in a reported change:
// the operator is told and the dialog stays open until cancelled.
void expectUnwritableChangeRefused(QWidget *owner)
{
    SeenMessage seen;
    bool stillOpen = false;
    ModalScript script({
        fillAndAnswer(QStringLiteral("Nowe"), QStringLiteral("Nowe"), PressOk),
        answerMessage("BitBtnLeft", &seen),
        lookAndAnswer(PressCancel, [&](TPswdDlg *dialog) { stillOpen = dialog->isVisible(); }),
    });
    TPswdDlg dialog(TPswdDlg::Mode::Change, owner);
    EXPECT_EQ(dialog.exec(), 2);
    EXPECT_TRUE(script.finished());
    EXPECT_EQ(seen.caption, QStringLiteral("Błąd"));
    EXPECT_EQ(seen.text, QStringLiteral("Brak dostępu"));
    EXPECT_EQ(seen.leftButton, QStringLiteral("Zamknij"));
    EXPECT_TRUE(stillOpen);
}

TEST_F(TPswdDlgTest, ChangeRefusedWhenTheFileIsADirectory)
{
    ASSERT_TRUE(QDir().mkdir(passwordFilePath));
    expectUnwritableChangeRefused(&owner);
    EXPECT_TRUE(QFileInfo(passwordFilePath).isDir());
}

TEST_F(TPswdDlgTest, ChangeRefusedWhenTheFileIsReadOnly)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes files whatever their permissions";
    writeFile(stored("abc"));
    ASSERT_TRUE(QFile::setPermissions(passwordFilePath, QFileDevice::ReadOwner));
    expectUnwritableChangeRefused(&owner);
    EXPECT_EQ(fileBytes(), stored("abc"));
}

} // namespace
