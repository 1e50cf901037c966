#include "tests/fixtures/ModalScript.h"

#include "app/dialogs/TMsgDlg.h"

#include <gtest/gtest.h>

#include <QFrame>
#include <QImage>
#include <QPixmap>
#include <QTest>

namespace {

TEST(TMsgDlg, LooksByKindAndButtonSet)
{
    struct Case
    {
        int kind;
        int buttons;
        const char *caption;
        const char *left;
        const char *right; // nullptr: hidden
        bool icon;
    };
    const Case cases[] = {
        {1, 1, "Informacja", "OK", "Anuluj", true},
        {2, 2, "Ostrzeżenie", "Tak", "Nie", true},
        {3, 0, "Błąd", "Zamknij", nullptr, true},
        {0, 0, "Komunikat", "Zamknij", nullptr, false},
        {7, 9, "Komunikat", "Zamknij", nullptr, false},
        {-1, 2, "Komunikat", "Tak", "Nie", false},
    };
    QWidget owner;
    owner.setGeometry(120, 100, 600, 400);
    owner.show();
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << ", buttons " << c.buttons);
        TMsgDlg dialog(&owner, c.kind, c.buttons, QStringLiteral("Treść komunikatu"));
        dialog.show();
        EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8(c.caption));
        EXPECT_EQ(dialog.LabelTxt->text(), QStringLiteral("Treść komunikatu"));
        EXPECT_EQ(dialog.BitBtnLeft->text(), QString::fromUtf8(c.left));
        EXPECT_EQ(dialog.BitBtnRight->isVisible(), c.right != nullptr);
        if (c.right) {
            EXPECT_EQ(dialog.BitBtnRight->text(), QString::fromUtf8(c.right));
        }
        EXPECT_EQ(dialog.PanelImg->isVisible(), c.icon);
        EXPECT_TRUE(dialog.BitBtnLeft->isDefault());
        const QPoint offCentre = dialog.geometry().center() - owner.geometry().center();
        EXPECT_LE(offCentre.manhattanLength(), 2);

        // The left button is centred, the right one 10 pixels from the edge.
        const int width = dialog.width();
        EXPECT_EQ(dialog.BitBtnLeft->geometry(), QRect((width - 91) / 2, 3, 91, 25));
        EXPECT_EQ(dialog.BitBtnRight->geometry(), QRect(width - 91 - 10, 3, 91, 25));
        EXPECT_EQ(dialog.PanelBtn->height(), 35);
        EXPECT_EQ(dialog.PanelBtn->geometry().bottom(), dialog.height() - 1);
        if (c.icon) {
            EXPECT_EQ(dialog.PanelImg->width(), 42);
            EXPECT_EQ(dialog.Image->pixmap().size(), QSize(32, 32));
            EXPECT_LE(dialog.LabelTxt->mapTo(&dialog, QPoint()).x(), 42 + 10);
            EXPECT_GE(dialog.LabelTxt->mapTo(&dialog, QPoint()).x(), 42);
        }
    }
}

TEST(TMsgDlg, LongTextWrapsAndTheWindowGrowsDownwards)
{
    TMsgDlg shortText(nullptr, 1, 0, QStringLiteral("Krótko"));
    shortText.show();
    EXPECT_EQ(shortText.size(), QSize(359, 112));

    QString longText;
    for (int i = 0; i < 12; ++i)
        longText += QStringLiteral("Niektóre połączenia są aktywne\n");
    TMsgDlg tall(nullptr, 1, 0, longText);
    tall.show();
    EXPECT_EQ(tall.width(), 359);
    EXPECT_GT(tall.height(), 112);
    EXPECT_GE(tall.LabelTxt->height(), tall.LabelTxt->heightForWidth(tall.LabelTxt->width()));
}

TEST(TMsgDlg, IconsAreDrawnWithTheButtonFaceBehind)
{
    struct Probe
    {
        QPoint at;
        QRgb colour; // 0: the palette's button face
    };
    struct Case
    {
        int kind;
        std::vector<Probe> probes;
    };
    const Case cases[] = {
        {1, {{{0, 0}, 0}, {{5, 20}, 0xFF1F5FD0}, {{15, 18}, 0xFFFFFFFF}, {{15, 7}, 0xFFFFFFFF}}},
        {2,
         {{{0, 0}, 0},
          {{0, 31}, 0},
          {{15, 3}, 0xFFD01010},
          {{8, 26}, 0xFFFFD800},
          {{15, 15}, 0xFF000000},
          {{16, 24}, 0xFF000000}}},
        {3,
         {{{0, 0}, 0},
          {{31, 31}, 0},
          {{16, 4}, 0xFFD01010},
          {{5, 12}, 0xFFFFFFFF},
          {{16, 0}, 0xFF7F0000}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.kind);
        TMsgDlg dialog(nullptr, c.kind, 0, QStringLiteral("x"));
        dialog.show();
        const QImage image = dialog.Image->pixmap().toImage();
        const QRgb face = dialog.palette().color(QPalette::Button).rgb();
        for (const Probe &p : c.probes) {
            SCOPED_TRACE(testing::Message() << p.at.x() << "," << p.at.y());
            EXPECT_EQ(image.pixel(p.at), p.colour ? p.colour : face);
        }
    }
}

TEST(TMsgDlg, ModalResults)
{
    enum Answer { Left, Right, Close, Enter, Escape };
    struct Case
    {
        const char *name;
        int buttons;
        Answer answer;
        int result;
    };
    const Case cases[] = {
        {"Tak", 2, Left, 1},      {"Nie", 2, Right, 3},           {"title bar", 2, Close, 2},
        {"OK", 1, Left, 1},       {"Anuluj", 1, Right, 3},        {"Enter", 1, Enter, 1},
        {"Escape", 1, Escape, 2}, {"Zamknij Enter", 0, Enter, 1},
    };
    QWidget owner;
    owner.show();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ModalScript script({{[](QWidget *w) { return qobject_cast<TMsgDlg *>(w) != nullptr; },
                             [&c](QWidget *w) {
                                 auto *dialog = qobject_cast<TMsgDlg *>(w);
                                 switch (c.answer) {
                                 case Left:
                                     dialog->BitBtnLeft->click();
                                     break;
                                 case Right:
                                     dialog->BitBtnRight->click();
                                     break;
                                 case Close:
                                     dialog->close();
                                     break;
                                 case Enter:
                                     QTest::keyClick(dialog, Qt::Key_Return);
                                     break;
                                 case Escape:
                                     QTest::keyClick(dialog, Qt::Key_Escape);
                                     break;
                                 }
                             }}});
        EXPECT_EQ(ShowMsgDlg(&owner, 2, c.buttons, QStringLiteral("Jestes pewien?")), c.result);
        EXPECT_TRUE(script.finished());
        // The dialog is released before ShowMsgDlg returns.
        EXPECT_TRUE(owner.findChildren<TMsgDlg *>().isEmpty());
    }
}

} // namespace
