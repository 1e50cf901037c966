#include "tests/fixtures/ModalScript.h"

#include "app/TPortEdit.h"

#include <gtest/gtest.h>

#include <QTest>

namespace {

const QString W1 = QStringLiteral("Po słowie 'Port:' możesz wprowadzić żądany numer portu.\n"
                                  "Poprawne znaki to: '0'..'9', 'a'..'f', 'A'..'F', 'h' oraz 'H'");
const QString W2 = QStringLiteral("Błąd numeru portu. Możesz wprowadzić dziesiętnie w zakresie:\n"
                                  "1024..65535 lub heksadecymalnie: 400h..FFFFh");
const QString W3 = QStringLiteral("Dopuszczalne formaty wprowadzenia numeru portu to: 1024..65535\n"
                                  "lub heksadecymalnie: 400h..FFFFh lub 400H..FFFFH");

class TPortEditTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        edit = new TPortEdit(&window);
        window.show();
    }

    QWidget window;
    TPortEdit *edit = nullptr;
};

TEST_F(TPortEditTest, StartsWithBarePrefix)
{
    EXPECT_EQ(edit->objectName(), QStringLiteral("EditPort"));
    EXPECT_EQ(edit->text(), QStringLiteral("Port:"));
    EXPECT_EQ(edit->PortValue(), 0);
}

TEST_F(TPortEditTest, TextsAndTheirValuesOrWarnings)
{
    struct Case
    {
        QString text;
        int32_t value;
        const QString *warning; // nullptr: accepted as it stands
    };
    const Case cases[] = {
        {"Port:", 0, nullptr},          {"Port:1962", 1962, nullptr},
        {"Port:65535", 65535, nullptr}, {"Port:65536", 0, &W2},
        {"Port:100000", 0, &W3},        {"Port:80", 80, nullptr},
        {"Port:00080", 80, nullptr},    {"Port:400h", 1024, nullptr},
        {"Port:FFFFh", 65535, nullptr}, {"Port:ffffH", 65535, nullptr},
        {"Port:3FFh", 1023, nullptr},   {"Port:h", 0, nullptr},
        {"Port:12345h", 0, &W2},        {"Port:12ab", 0, nullptr},
        {"Port:1h2", 0, &W3},           {"Port: 1962", 0, &W3},
        {"port:1962", 0, &W1},          {"Port:1962\n", 0, &W3},
        {"Port:123456h", 0, &W2},       {"", 0, &W1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        // Start from a value so that a reset to 0 shows.
        edit->setText(QStringLiteral("Port:777"));
        ASSERT_EQ(edit->PortValue(), 777);

        SeenMessage seen;
        // A second answer stands by: the reset to "Port:" must not warn again.
        ModalScript script({answerMessage("BitBtnLeft", &seen), answerMessage("BitBtnLeft")});
        edit->setText(c.text);

        EXPECT_EQ(edit->PortValue(), c.value);
        if (c.warning) {
            EXPECT_EQ(script.done(), 1u);
            EXPECT_EQ(seen.caption, QStringLiteral("Ostrzeżenie"));
            EXPECT_EQ(seen.text, *c.warning);
            EXPECT_EQ(seen.leftButton, QStringLiteral("Zamknij"));
            EXPECT_FALSE(seen.rightButtonShown);
            EXPECT_EQ(edit->text(), QStringLiteral("Port:"));
        } else {
            EXPECT_EQ(script.done(), 0u) << seen.text.toStdString();
            EXPECT_EQ(edit->text(), c.text);
        }
    }
}

TEST_F(TPortEditTest, TypingIsCheckedAtEveryKey)
{
    edit->setFocus();
    edit->end(false);
    QTest::keyClicks(edit, QStringLiteral("400h"));
    EXPECT_EQ(edit->text(), QStringLiteral("Port:400h"));
    EXPECT_EQ(edit->PortValue(), 1024);

    // Deleting into the prefix warns and restores it.
    edit->setText(QStringLiteral("Port:"));
    edit->end(false);
    SeenMessage seen;
    ModalScript script({answerMessage("BitBtnLeft", &seen)});
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_TRUE(script.finished());
    EXPECT_EQ(seen.text, W1);
    EXPECT_EQ(edit->text(), QStringLiteral("Port:"));
    EXPECT_EQ(edit->PortValue(), 0);
}

} // namespace
