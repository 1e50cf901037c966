#include "app/TMainForm.h"
#include "app/TPortEdit.h"
#include "app/TStatusBar.h"
#include "config/TPswdDlg.h"
#include "net/TServerSocket.h"
#include "serial/TComComboBox.h"
#include "serial/TComPort.h"
#include "tests/fixtures/ModalScript.h"
#include "tests/fixtures/PtyDevice.h"
#include "tests/fixtures/TcpClient.h"
#include "tests/fixtures/WorkDir.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QToolButton>

#include <memory>

namespace {

// Answers the password dialog with the given text and its OK button.
ModalScript::Step enterPassword(const QString &password)
{
    return {[](QWidget *w) { return qobject_cast<TPswdDlg *>(w) != nullptr; },
            [password](QWidget *w) {
                auto *dialog = qobject_cast<TPswdDlg *>(w);
                dialog->Edit1->setText(password);
                dialog->BitBtnOk->click();
            }};
}

struct ControlState
{
    bool pswd, cfg, combo, edit, open, close;
    const char *pswdHint;
};

// The operator console of a manually started program: a working directory
// with a configuration, two devices in dev/ and no password file yet.
class MainWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(work.isValid() && work.makeData() && work.makeDev());
        ASSERT_TRUE(work.writeDataFile(QStringLiteral("Hollvan.cf"),
                                       QStringLiteral("Manual\n127.0.0.1\tlocalhost\t1\n")));
        ASSERT_TRUE(work.linkDevice(QStringLiteral("COM1"), com1.slavePath()));
        ASSERT_TRUE(work.linkDevice(QStringLiteral("COM2"), com2.slavePath()));
        ASSERT_TRUE(work.enter());
    }

    void TearDown() override { form.reset(); }

    void start()
    {
        form = std::make_unique<TMainForm>();
        form->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return logged(QStringLiteral("Witamy w programie Hollvan")); },
                                    10000));
    }

    bool logged(const QString &text) const
    {
        const QStringList lines = form->Terminal->toPlainText().split(QLatin1Char('\n'));
        for (const QString &line : lines) {
            if (line.endsWith(QStringLiteral("> ") + text))
                return true;
        }
        return false;
    }

    void expectControls(const ControlState &want, const char *state)
    {
        SCOPED_TRACE(state);
        EXPECT_EQ(form->SpeedButtonPswd->isEnabled(), want.pswd);
        EXPECT_EQ(form->SpeedButtonCfg->isEnabled(), want.cfg);
        EXPECT_EQ(form->ComComboBox->isEnabled(), want.combo);
        EXPECT_EQ(form->EditPort->isEnabled(), want.edit);
        EXPECT_EQ(form->SpeedButtonOpen->isEnabled(), want.open);
        EXPECT_EQ(form->SpeedButtonClose->isEnabled(), want.close);
        EXPECT_EQ(form->SpeedButtonPswd->toolTip(), QString::fromUtf8(want.pswdHint));
        EXPECT_TRUE(form->SpeedButtonExit->isEnabled() && form->SpeedButtonHelp->isEnabled()
                    && form->SpeedButtonAbout->isEnabled());
        EXPECT_FALSE(form->SpeedButtonTest->isVisible());
    }

    void logIn()
    {
        ModalScript script({enterPassword(QString())});
        form->SpeedButtonPswd->click();
        ASSERT_TRUE(script.finished());
        ASSERT_TRUE(form->LoggedIn);
    }

    QString panel(int i) const
    {
        form->RefreshStatusTexts();
        return form->StatusBar->panelText(i);
    }

    // The colour at the middle of an owner-drawn panel's image.
    QRgb imageMiddle(int panel)
    {
        const QImage shot = form->StatusBar->grab().toImage();
        const QRect rect = form->StatusBar->panelRect(panel);
        return shot.pixel(rect.topLeft() + QPoint(1, 2) + QPoint(8, 8));
    }

    QRgb listMiddle(int index) { return form->ImageList.image(index).pixel(8, 8); }

    WorkDir work;
    PtyDevice com1;
    PtyDevice com2;
    std::unique_ptr<TMainForm> form;
};

const ControlState AuthorizationControls{true, false, false, false, false, false, "Wprowadź hasło"};
const ControlState ConfigurationControls{true, true, true, true, true, false, "Zmień hasło"};
const ControlState TransmissionControls{false, false, false, false, false, true, "Zmień hasło"};

} // namespace

TEST_F(MainWindow, WalksThroughTheThreeOperatorStates)
{
    start();
    expectControls(AuthorizationControls, "Authorization");
    EXPECT_EQ(panel(0), QStringLiteral("AUTORYZACJA"));
    EXPECT_EQ(panel(4), QStringLiteral("Wprowadź hasło"));
    EXPECT_EQ(imageMiddle(1), listMiddle(ImageRedLamp));
    EXPECT_EQ(imageMiddle(3), listMiddle(ImageKey));

    // A fresh data folder: the empty password logs in and the file appears.
    logIn();
    EXPECT_TRUE(logged(QStringLiteral("Użytkownik zalogowany")));
    EXPECT_TRUE(QFile::exists(QStringLiteral("data/Hollvan.pw")));
    expectControls(ConfigurationControls, "Configuration");
    EXPECT_EQ(form->ComComboBox->toolTip(), QStringLiteral("Wybierz port szeregowy dla ZMT"));
    EXPECT_EQ(form->SpeedButtonOpen->toolTip(), QStringLiteral("Uaktywnij serwer"));
    EXPECT_EQ(panel(0), QStringLiteral("KONFIGURACJA"));
    EXPECT_EQ(panel(4), QStringLiteral("Włącz serwer"));
    EXPECT_EQ(imageMiddle(1), listMiddle(ImageYellowLamp));
    EXPECT_EQ(imageMiddle(3), listMiddle(ImageOpenPadlock));

    form->SpeedButtonOpen->click();
    ASSERT_TRUE(form->ServerSocket->Active());
    expectControls(TransmissionControls, "Transmission");
    EXPECT_EQ(panel(0), QStringLiteral("TRANSMISJA:0"));
    EXPECT_EQ(panel(4), QStringLiteral("Wyłącz serwer"));
    EXPECT_EQ(imageMiddle(1), listMiddle(ImageGreenLamp));
    EXPECT_EQ(imageMiddle(3), listMiddle(ImageClosedPadlock));
    EXPECT_EQ(form->EditPort->text(), QStringLiteral("Port:10001"));
    EXPECT_EQ(form->StatusBar->panelWidth(1), 16 + 5);
    EXPECT_EQ(form->StatusBar->panelWidth(2), 16 + 6);

    // No connections: Close asks nothing and logs the operator out.
    form->SpeedButtonClose->click();
    EXPECT_FALSE(form->ServerSocket->Active());
    EXPECT_FALSE(form->ComPort->Connected());
    expectControls({true, false, false, false, false, false, "Wprowadź hasło"}, "after Close");
    EXPECT_EQ(panel(0), QStringLiteral("AUTORYZACJA"));
    EXPECT_TRUE(logged(QStringLiteral("Serwer jest wyłączony")));
    EXPECT_TRUE(logged(QStringLiteral("Port szeregowy jest zamknięty")));
}

TEST_F(MainWindow, CloseWithConnectionsAsksFirst)
{
    start();
    logIn();
    form->SpeedButtonOpen->click();
    ASSERT_TRUE(form->ServerSocket->Active());
    TcpClient client;
    ASSERT_TRUE(client.connectTo(10001));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->ConnectionCount() == 1; }, 10000));
    EXPECT_EQ(panel(0), QStringLiteral("TRANSMISJA:1"));

    // The request lamp lights while a request waits.
    EXPECT_EQ(imageMiddle(2), listMiddle(ImageUnlitBulb));
    ASSERT_TRUE(client.send("REQ"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->RequestTexts.isEmpty(); }, 10000));
    EXPECT_EQ(imageMiddle(2), listMiddle(ImageLitBulb));

    SeenMessage seen;
    {
        ModalScript script({answerMessage("BitBtnRight", &seen)});
        form->SpeedButtonClose->click();
        ASSERT_TRUE(script.finished());
    }
    EXPECT_EQ(seen.caption, QStringLiteral("Ostrzeżenie"));
    EXPECT_EQ(seen.text, QStringLiteral("Niektóre połączenia są aktywne\nZamknąc serwer?"));
    EXPECT_EQ(seen.leftButton, QStringLiteral("Tak"));
    EXPECT_TRUE(form->ServerSocket->Active());
    EXPECT_TRUE(form->ComPort->Connected());
    EXPECT_TRUE(form->LoggedIn);

    ModalScript script({answerMessage("BitBtnLeft")});
    form->SpeedButtonClose->click();
    ASSERT_TRUE(script.finished());
    EXPECT_FALSE(form->ServerSocket->Active());
    EXPECT_FALSE(form->LoggedIn);
    EXPECT_TRUE(form->RequestTexts.isEmpty());
    EXPECT_TRUE(client.waitForClosed());
}

TEST_F(MainWindow, WrongPasswordIsLogged)
{
    start();
    ModalScript script({enterPassword(QStringLiteral("nie to"))});
    form->SpeedButtonPswd->click();
    ASSERT_TRUE(script.finished());
    EXPECT_FALSE(form->LoggedIn);
    EXPECT_TRUE(logged(QStringLiteral("Niepoprawne hasło")));
    expectControls(AuthorizationControls, "still Authorization");
}

TEST_F(MainWindow, PortEntryPanelFollowsTheWindowWidth)
{
    start();
    for (int width : {480, 600, 260, 200}) {
        form->resize(width, 400);
        (void)QTest::qWaitFor([&] { return form->width() == width; }, 1000);
        EXPECT_EQ(form->PanelEmpty->width(), qMax(0, form->width() - 254)) << width;
    }
}

TEST_F(MainWindow, PortChoicesSurviveARestart)
{
    start();
    logIn();
    ASSERT_EQ(form->ComComboBox->GetText(), QStringLiteral("COM1"));
    const int com2Index = form->ComComboBox->findText(QStringLiteral("COM2"));
    ASSERT_GE(com2Index, 0);
    form->ComComboBox->setCurrentIndex(com2Index);
    emit form->ComComboBox->activated(com2Index);
    EXPECT_EQ(form->ComPort->Port(), QStringLiteral("COM2"));
    form->EditPort->setText(QStringLiteral("Port:1962"));
    ASSERT_TRUE(form->close());
    EXPECT_EQ(work.readFile(QStringLiteral("data/Hollvan.pr")), QByteArray("RS232=COM2\r\nPort:1962"));

    form.reset();
    start();
    EXPECT_EQ(form->ComComboBox->GetText(), QStringLiteral("COM2"));
    EXPECT_EQ(form->ComPort->Port(), QStringLiteral("COM2"));
    EXPECT_EQ(form->EditPort->text(), QStringLiteral("Port:1962"));
    EXPECT_EQ(form->EditPort->PortValue(), 1962);
}
