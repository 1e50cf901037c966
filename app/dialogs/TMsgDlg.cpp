#include "app/dialogs/TMsgDlg.h"

#include "app/support/Unattended.h"

#include <QColor>
#include <QFont>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QStyle>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr int iconSize = 32;
constexpr int clientWidth = 359;
constexpr int designHeight = 112;
constexpr int panelImgWidth = 42;
constexpr int panelImgBorder = 5;
constexpr int panelTxtTopHeight = 5;
constexpr int panelBtnHeight = 35;
constexpr int buttonWidth = 91;
constexpr int buttonHeight = 25;
constexpr int buttonTop = 3;
constexpr int rightButtonMargin = 10;
constexpr int labelSideMargin = 5;

// Icon tables hold one colour per pixel, row by row. faceColour is not a
// colour of its own: it stands for the palette's button face, which is only
// known when the icon is drawn.
using IconTable = std::array<QRgb, iconSize * iconSize>;
constexpr QRgb faceColour = 0;

constexpr QRgb white = 0xFFFFFFFF;
constexpr QRgb black = 0xFF000000;
constexpr QRgb blue = 0xFF1F5FD0;
constexpr QRgb darkBlue = 0xFF0A2F7F;
constexpr QRgb yellow = 0xFFFFD800;
constexpr QRgb red = 0xFFD01010;
constexpr QRgb darkRed = 0xFF7F0000;

void fillRect(IconTable &t, int left, int top, int right, int bottom, QRgb colour)
{
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x)
            t[y * iconSize + x] = colour;
}

// Letters of the STOP sign, 5 x 7 each.
constexpr std::array<std::array<const char *, 7>, 4> stopLetters {{
    {".###.", "#...#", "#....", ".###.", "....#", "#...#", ".###."},
    {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."},
    {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."},
    {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."},
}};

IconTable makeInformationIcon()
{
    IconTable t;
    t.fill(faceColour);
    fillRect(t, 2, 2, 29, 29, darkBlue);
    fillRect(t, 3, 3, 28, 28, blue);
    for (int corner : {2 * iconSize + 2, 2 * iconSize + 29, 29 * iconSize + 2, 29 * iconSize + 29})
        t[corner] = faceColour;
    fillRect(t, 14, 6, 17, 9, white); // the dot
    fillRect(t, 12, 12, 17, 13, white); // the stem with its nib
    fillRect(t, 14, 14, 17, 23, white);
    fillRect(t, 11, 24, 20, 25, white); // the foot
    return t;
}

IconTable makeWarningIcon()
{
    IconTable t;
    t.fill(faceColour);
    for (int y = 0; y < iconSize; ++y) {
        for (int x = 0; x < iconSize; ++x) {
            const double px = x + 0.5;
            const double py = y + 0.5;
            const double halfWidth = (py - 2.0) * 15.0 / 28.0;
            if (py < 2.0 || py > 30.0 || std::fabs(px - 16.0) > halfWidth)
                continue;
            const bool inner = py <= 27.5 && std::fabs(px - 16.0) <= halfWidth - 2.6;
            t[y * iconSize + x] = inner ? yellow : red;
        }
    }
    fillRect(t, 15, 10, 16, 20, black); // the bar of "!"
    fillRect(t, 15, 23, 16, 25, black); // its dot
    return t;
}

IconTable makeErrorIcon()
{
    IconTable t;
    t.fill(faceColour);
    for (int y = 0; y < iconSize; ++y) {
        for (int x = 0; x < iconSize; ++x) {
            const double dx = std::fabs(x + 0.5 - 16.0);
            const double dy = std::fabs(y + 0.5 - 16.0);
            if (dx > 15.5 || dy > 15.5 || dx + dy > 22.0)
                continue;
            const bool inner = dx <= 14.5 && dy <= 14.5 && dx + dy <= 20.6;
            t[y * iconSize + x] = inner ? red : darkRed;
        }
    }
    for (int letter = 0; letter < 4; ++letter) {
        const int left = 4 + letter * 6;
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 5; ++col)
                if (stopLetters[letter][row][col] == '#')
                    t[(12 + row) * iconSize + left + col] = white;
    }
    return t;
}

// The tables are generated once, the first time any message is shown.
const IconTable *iconTable(int kind)
{
    static const std::array<IconTable, 3> tables {makeInformationIcon(), makeWarningIcon(),
                                                  makeErrorIcon()};
    if (kind < 1 || kind > 3)
        return nullptr;
    return &tables[kind - 1];
}

QPixmap drawIcon(const IconTable &table, const QColor &face)
{
    QImage image(iconSize, iconSize, QImage::Format_RGB32);
    for (int y = 0; y < iconSize; ++y) {
        for (int x = 0; x < iconSize; ++x) {
            const QRgb colour = table[y * iconSize + x];
            image.setPixel(x, y, colour == faceColour ? face.rgb() : colour);
        }
    }
    return QPixmap::fromImage(image);
}

QString captionForKind(int kind)
{
    switch (kind) {
    case 1:
        return QStringLiteral("Informacja");
    case 2:
        return QStringLiteral("Ostrzeżenie");
    case 3:
        return QStringLiteral("Błąd");
    default:
        return QStringLiteral("Komunikat");
    }
}

QString leftButtonText(int buttons)
{
    switch (buttons) {
    case 1:
        return QStringLiteral("OK");
    case 2:
        return QStringLiteral("Tak");
    default:
        return QStringLiteral("Zamknij");
    }
}

QFrame *makePanel(QWidget *parent, const char *name)
{
    auto *panel = new QFrame(parent);
    panel->setObjectName(QLatin1String(name));
    return panel;
}

} // namespace

TMsgDlg::TMsgDlg(QWidget *owner, int kind, int buttons, const QString &text)
    : QDialog(owner)
    , m_kind(kind)
    , m_buttons(buttons)
    , m_text(text)
{
    setObjectName(QStringLiteral("MsgDlg"));
    setModal(true);
    QFont font(QStringLiteral("Verdana"));
    font.setPixelSize(11);
    setFont(font);

    PanelImg = makePanel(this, "PanelImg");
    Image = new QLabel(PanelImg);
    Image->setObjectName(QStringLiteral("Image"));
    Image->setGeometry(panelImgBorder, panelImgBorder, iconSize, iconSize);

    PanelTxt = makePanel(this, "PanelTxt");
    PanelTxtTop = makePanel(PanelTxt, "PanelTxtTop");
    LabelTxt = new QLabel(PanelTxt);
    LabelTxt->setObjectName(QStringLiteral("LabelTxt"));
    LabelTxt->setTextFormat(Qt::PlainText);
    LabelTxt->setAlignment(Qt::AlignCenter);
    LabelTxt->setWordWrap(true);

    PanelBtn = makePanel(this, "PanelBtn");
    BitBtnLeft = new QPushButton(PanelBtn);
    BitBtnLeft->setObjectName(QStringLiteral("BitBtnLeft"));
    BitBtnLeft->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    BitBtnLeft->setText(QStringLiteral("OK"));
    BitBtnLeft->setDefault(true);
    BitBtnRight = new QPushButton(PanelBtn);
    BitBtnRight->setObjectName(QStringLiteral("BitBtnRight"));
    BitBtnRight->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    BitBtnRight->setText(QStringLiteral("Anuluj"));

    connect(BitBtnLeft, &QPushButton::clicked, this, [this] { done(1); });
    connect(BitBtnRight, &QPushButton::clicked, this, [this] { done(3); });
}

TMsgDlg::~TMsgDlg() = default;

void TMsgDlg::setVisible(bool visible)
{
    if (visible && !isVisible())
        FormShow();
    QDialog::setVisible(visible);
}

void TMsgDlg::reject()
{
    done(2);
}

void TMsgDlg::FormShow()
{
    setWindowTitle(captionForKind(m_kind));
    if (const IconTable *table = iconTable(m_kind)) {
        Image->setPixmap(drawIcon(*table, palette().color(QPalette::Button)));
        PanelImg->setVisible(true);
    } else {
        PanelImg->setVisible(false);
    }

    BitBtnLeft->setText(leftButtonText(m_buttons));
    switch (m_buttons) {
    case 1:
        BitBtnRight->setText(QStringLiteral("Anuluj"));
        BitBtnRight->setVisible(true);
        break;
    case 2:
        BitBtnRight->setText(QStringLiteral("Nie"));
        BitBtnRight->setVisible(true);
        break;
    default:
        BitBtnRight->setVisible(false);
        break;
    }
    LabelTxt->setText(m_text);
    placeControls();
    BitBtnLeft->setFocus();
}

void TMsgDlg::placeControls()
{
    const bool withImage = !PanelImg->isHidden();
    const int textLeft = withImage ? panelImgWidth : 0;
    const int textWidth = clientWidth - textLeft;
    const int labelWidth = textWidth - 2 * labelSideMargin;
    const int labelHeight = LabelTxt->heightForWidth(labelWidth);

    // The window keeps its design size and grows downwards for a long text.
    int upperHeight = designHeight - panelBtnHeight;
    upperHeight = std::max(upperHeight, panelTxtTopHeight + labelHeight + panelTxtTopHeight);
    if (withImage)
        upperHeight = std::max(upperHeight, panelImgWidth);

    PanelImg->setGeometry(0, 0, panelImgWidth, upperHeight);
    PanelTxt->setGeometry(textLeft, 0, textWidth, upperHeight);
    PanelTxtTop->setGeometry(0, 0, textWidth, panelTxtTopHeight);
    LabelTxt->setGeometry(labelSideMargin, panelTxtTopHeight, labelWidth,
                          upperHeight - panelTxtTopHeight);
    PanelBtn->setGeometry(0, upperHeight, clientWidth, panelBtnHeight);
    BitBtnLeft->setGeometry((clientWidth - buttonWidth) / 2, buttonTop, buttonWidth, buttonHeight);
    BitBtnRight->setGeometry(clientWidth - buttonWidth - rightButtonMargin, buttonTop, buttonWidth,
                             buttonHeight);
    setFixedSize(clientWidth, upperHeight + panelBtnHeight);
}

int ShowMsgDlg(QWidget *owner, int kind, int buttons, const QString &text)
{
    // With nobody at the screen the window would wait for ever, and with it
    // the start-up or the stop that asked. The message goes to the journal and
    // the left button answers: consent, which is what a service stop wants.
    if (isUnattended()) {
        reportToStderr(
            QStringLiteral("%1: %2 [%3]").arg(captionForKind(kind), text, leftButtonText(buttons)));
        return 1;
    }
    // On the heap and guarded: the owner may go away while the nested loop runs
    // and take the dialog with it.
    QPointer<TMsgDlg> dialog = new TMsgDlg(owner, kind, buttons, text);
    const int result = dialog->exec();
    delete dialog.data();
    return result;
}
