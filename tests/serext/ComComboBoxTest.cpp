#include "serial/TComComboBox.h"
#include "serial/TComPort.h"

#include "tests/fixtures/PtyDevice.h"
#include "tests/fixtures/WorkDir.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStringListModel>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

// Chooses an entry as the user does, with the keyboard, which is what makes
// the combo box report a choice (setting the index from code does not).
void choose(TComComboBox &box, const QString &text)
{
    const int target = box.findText(text);
    ASSERT_GE(target, 0) << text.toStdString();
    ASSERT_GE(box.count(), 2);
    if (target > 0) {
        box.setCurrentIndex(target - 1);
        QTest::keyClick(&box, Qt::Key_Down);
    } else {
        box.setCurrentIndex(1);
        QTest::keyClick(&box, Qt::Key_Up);
    }
    ASSERT_EQ(box.currentIndex(), target);
}

// Answers every modal message box that appears by pressing its button, and
// keeps what it said.
class MessageBoxAnswerer
{
public:
    MessageBoxAnswerer()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            texts.append(box->text());
            box->buttons().constFirst()->click();
        });
        m_timer.start(10);
    }
    QStringList texts;

private:
    QTimer m_timer;
};

// A working folder whose dev/ maps COM1 and COM2 onto two pseudo-terminals,
// a port on the application's settings and a window for the selector.
class ComComboBoxTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty1.isValid() && pty2.isValid());
        ASSERT_TRUE(work.linkDevice(QStringLiteral("COM1"), pty1.slavePath()));
        ASSERT_TRUE(work.linkDevice(QStringLiteral("COM2"), pty2.slavePath()));
        ASSERT_TRUE(work.enter());
        port = std::make_unique<TComPort>();
        port->setObjectName(QStringLiteral("ComPort"));
        port->SetEventChar('\n');
        port->FlowControl()->SetControlRTS(rtsEnable);
    }
    void TearDown() override
    {
        box.reset();
        port.reset();
        work.leave();
    }

    TComComboBox &makeBox()
    {
        box = std::make_unique<TComComboBox>(&window);
        box->setObjectName(QStringLiteral("ComComboBox"));
        box->show();
        return *box;
    }

    WorkDir work;
    PtyDevice pty1;
    PtyDevice pty2;
    QWidget window;
    std::unique_ptr<TComPort> port;
    std::unique_ptr<TComComboBox> box;
};

TEST_F(ComComboBoxTest, PortSelectorAsTheMainWindowSetsItUp)
{
    TComComboBox &b = makeBox();
    EXPECT_FALSE(b.isEditable());
    b.SetComProperty(cpPort);
    const QStringList items = b.ComSelect()->Items()->stringList();
    EXPECT_TRUE(items.contains(QStringLiteral("COM1")));
    EXPECT_TRUE(items.contains(QStringLiteral("COM2")));
    EXPECT_EQ(b.currentIndex(), 0); // no port bound yet: the first entry
    b.SetText(QStringLiteral("COM2"));
    EXPECT_EQ(b.GetText(), QStringLiteral("COM2"));
    b.SetText(QStringLiteral("COM1"));
    b.SetComPort(port.get());
    b.SetAutoApply(true);
    EXPECT_EQ(b.GetComPort(), port.get());
    EXPECT_TRUE(b.GetAutoApply());
    EXPECT_EQ(b.GetText(), QStringLiteral("COM1"));
}

TEST_F(ComComboBoxTest, BindingShowsThePortsNameRegardlessOfCase)
{
    struct Case
    {
        const char *portName;
        const char *shown;
    };
    for (const Case &c : {Case {"com1", "COM1"}, Case {"COM2", "COM2"}, Case {"COM9", ""}}) {
        SCOPED_TRACE(c.portName);
        port->SetPort(QString::fromLatin1(c.portName));
        TComComboBox &b = makeBox();
        b.SetComProperty(cpPort);
        b.SetComPort(port.get());
        EXPECT_EQ(b.GetText(), QString::fromLatin1(c.shown));
        EXPECT_EQ(b.currentIndex() < 0, *c.shown == '\0');
    }
}

// One property of the port as a selector shows and chooses it.
struct PropertyCase
{
    const char *label;
    TComProperty property;
    QStringList entries;
    std::function<void(TCustomComPort &)> prepare; // gives the port a value
    int shownIndex; // the entry of that value
    const char *chosen; // the entry the user picks
    std::function<QString(TCustomComPort &)> current; // the port's value as an entry
};

const std::vector<PropertyCase> &propertyCases()
{
    static const std::vector<PropertyCase> cases = {
        {"baud rate",
         cpBaudRate,
         {"Custom", "110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "38400",
          "56000", "57600", "115200", "128000", "256000"},
         [](TCustomComPort &p) { p.SetBaudRate(br19200); },
         9,
         "Custom",
         [](TCustomComPort &p) { return BaudRateToStr(p.BaudRate()); }},
        {"data bits",
         cpDataBits,
         {"5", "6", "7", "8"},
         [](TCustomComPort &p) { p.SetDataBits(dbSeven); },
         2,
         "5",
         [](TCustomComPort &p) { return DataBitsToStr(p.DataBits()); }},
        {"stop bits",
         cpStopBits,
         {"1", "1.5", "2"},
         [](TCustomComPort &p) { p.SetStopBits(sbTwoStopBits); },
         2,
         "1.5",
         [](TCustomComPort &p) { return StopBitsToStr(p.StopBits()); }},
        {"parity",
         cpParity,
         {"None", "Odd", "Even", "Mark", "Space"},
         [](TCustomComPort &p) { p.Parity()->SetBits(prEven); },
         2,
         "Mark",
         [](TCustomComPort &p) { return ParityToStr(p.Parity()->Bits()); }},
        {"flow control",
         cpFlowControl,
         {"Hardware", "Software", "None", "Custom"},
         [](TCustomComPort &p) { p.FlowControl()->SetFlowControl(fcHardware); },
         0,
         "None",
         [](TCustomComPort &p) { return FlowControlToStr(p.FlowControl()->FlowControl()); }},
    };
    return cases;
}

TEST_F(ComComboBoxTest, PropertyListsShowTheValueAndApplyTheChoice)
{
    for (const PropertyCase &c : propertyCases()) {
        for (bool autoApply : {true, false}) {
            SCOPED_TRACE(std::string(c.label) + (autoApply ? ", auto apply" : ", apply later"));
            TCustomComPort p;
            c.prepare(p);
            const QString before = c.current(p);
            TComComboBox &b = makeBox();
            b.SetComPort(&p);
            b.SetComProperty(c.property);
            EXPECT_EQ(b.ComSelect()->Items()->stringList(), c.entries);
            EXPECT_EQ(b.currentIndex(), c.shownIndex);
            b.SetAutoApply(autoApply);
            QSignalSpy changed(&b, &TComComboBox::changed);

            choose(b, QString::fromLatin1(c.chosen));
            EXPECT_EQ(changed.count(), 1);
            EXPECT_EQ(c.current(p), autoApply ? QString::fromLatin1(c.chosen) : before);
            b.ApplySettings();
            EXPECT_EQ(c.current(p), QString::fromLatin1(c.chosen));
            box.reset(); // before the port it is bound to
        }
    }
}

TEST_F(ComComboBoxTest, ChoosingCustomRateAndFlowPresetReachTheirFields)
{
    TComComboBox &b = makeBox();
    port->SetBaudRate(br19200);
    b.SetComPort(port.get());
    b.SetComProperty(cpBaudRate);
    b.SetAutoApply(true);
    choose(b, QStringLiteral("Custom"));
    EXPECT_EQ(port->BaudRate(), brCustom);

    // The application's port reads as the Custom preset (RTS held on);
    // choosing None switches RTS control off.
    b.SetComProperty(cpFlowControl);
    EXPECT_EQ(b.GetText(), QStringLiteral("Custom"));
    choose(b, QStringLiteral("None"));
    EXPECT_EQ(port->FlowControl()->ControlRTS(), rtsDisable);
}

TEST_F(ComComboBoxTest, DestroyingTheBoundPortSelectsTheFirstEntryAndUnbinds)
{
    TComComboBox &b = makeBox();
    port->SetBaudRate(br19200);
    b.SetComPort(port.get());
    b.SetComProperty(cpBaudRate);
    b.SetAutoApply(true);
    ASSERT_EQ(b.currentIndex(), 9);

    port.reset();
    EXPECT_EQ(b.GetComPort(), nullptr);
    EXPECT_EQ(b.currentIndex(), 0);
    // A later choice has no port to reach.
    choose(b, QStringLiteral("9600"));
    EXPECT_EQ(b.GetText(), QStringLiteral("9600"));
}

TEST_F(ComComboBoxTest, TextsSelectIgnoringCaseAndAbsentOnesChangeNothing)
{
    TComComboBox &b = makeBox();
    b.SetComProperty(cpParity);
    b.SetText(QStringLiteral("even"));
    EXPECT_EQ(b.GetText(), QStringLiteral("Even"));
    b.SetText(QStringLiteral("xyz"));
    EXPECT_EQ(b.GetText(), QStringLiteral("Even"));

    b.SetComProperty(cpNone);
    EXPECT_EQ(b.count(), 0);
    EXPECT_EQ(b.GetText(), QString());
}

TEST_F(ComComboBoxTest, ChoosingAnotherPortWhileOpenReopensItThere)
{
    TComComboBox &b = makeBox();
    b.SetComProperty(cpPort);
    b.SetText(QStringLiteral("COM1"));
    b.SetComPort(port.get());
    b.SetAutoApply(true);
    port->Open();
    ASSERT_TRUE(port->Connected());

    choose(b, QStringLiteral("COM2"));
    EXPECT_TRUE(port->Connected());
    EXPECT_EQ(port->Port(), QStringLiteral("COM2"));
    EXPECT_EQ(port->WriteStr("ping\n"), 5);
    EXPECT_EQ(pty2.readUntil('\n'), QByteArray("ping\n"));
    EXPECT_EQ(pty1.readAvailable(), QByteArray());
}

TEST_F(ComComboBoxTest, APortThatCannotOpenIsShownAsAnErrorAndLeftClosed)
{
    // A map entry whose device is gone.
    ASSERT_TRUE(QFile::link(work.filePath(QStringLiteral("gone")), QStringLiteral("dev/COM3")));
    TComComboBox &b = makeBox();
    b.SetComProperty(cpPort);
    b.SetComPort(port.get());
    b.SetAutoApply(true);
    port->Open();
    ASSERT_TRUE(port->Connected());
    QSignalSpy changed(&b, &TComComboBox::changed);

    MessageBoxAnswerer answerer;
    choose(b, QStringLiteral("COM3"));
    EXPECT_EQ(answerer.texts,
              QStringList({QStringLiteral("Unable to open com port (win error code: 2)")}));
    EXPECT_FALSE(port->Connected());
    EXPECT_EQ(port->Port(), QStringLiteral("COM3"));
    EXPECT_EQ(changed.count(), 0);
}

} // namespace
