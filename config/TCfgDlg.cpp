#include "config/TCfgDlg.h"

#include "app/dialogs/TMsgDlg.h"
#include "app/support/ExceptionDisplay.h"
#include "config/ConfigFile.h"

#include <QAction>
#include <QCheckBox>
#include <QEnterEvent>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QImage>
#include <QItemSelection>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QShowEvent>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>

namespace {

constexpr int kindWarning = 2;
constexpr int kindError = 3;
constexpr int buttonsOkCancel = 1;
constexpr int buttonsClose = 0;
constexpr int resultOk = 1;
constexpr int resultCancel = 2;

// The dialog is laid out in pixels on a 474 x 410 client area, so its font is
// given in pixels too: Verdana 8 pt at 96 dpi.
constexpr int clientWidth = 474;
constexpr int clientHeight = 410;
constexpr int fontPixels = 11;

const QRect groupBoxDbaseRect(4, 4, 216, 240);
const QRect groupBoxAuthorRect(254, 4, 216, 240);
const QRect listRect(4, 18, 208, 214);
const QRect speedButtonToRect(223, 86, 28, 30);
const QRect speedButtonFromRect(223, 128, 28, 30);
const QRect speedButtonNewRect(70, 249, 36, 30);
const QRect speedButtonOutRect(118, 249, 36, 30);
const QRect panelAutoRect(254, 249, 176, 30);
const QRect checkBoxAutoRect(8, 5, 160, 20);
const QRect speedButtonHelpRect(438, 249, 32, 30);
const QRect groupBoxNewRect(4, 284, 216, 102);
const QRect panelIPRect(10, 28, 52, 22);
const QRect editIPRect(66, 28, 140, 22);
const QRect panelNameRect(10, 62, 52, 22);
const QRect editNameRect(66, 62, 140, 22);
const QRect groupBoxBtnRect(254, 284, 216, 102);
const QRect panelBtnRect(8, 18, 200, 78);
constexpr int panelBtnColumn = 66;
constexpr int staticTextTop = 4;
constexpr int staticTextHeight = 16;
constexpr int fileButtonTop = 24;
constexpr int fileButtonSize = 40;
constexpr int statusBarHeight = 20;
constexpr int glyphSize = 20;

const QString textListHint
    = QStringLiteral("Do zaznaczenia i porządkowania użyj prawego przycisku myszki");
const QString textAutoHint
    = QStringLiteral("Ustaw, jeśli chcesz uruchamiać program bez autoryzacji");
const QString textNew = QStringLiteral("Wprowadź nowego klienta do bazy danych");
const QString textOut = QStringLiteral("Usuń zaznaczonych klientów z bazy danych");
const QString textTo = QStringLiteral("Wprowadź zaznaczonych klientów na listę autoryzacji");
const QString textFrom = QStringLiteral("Usuń zaznaczonych klientów z listy autoryzacji");
const QString textSave = QStringLiteral("Zapisz zmiany i pozostań w oknie konfiguracji");
const QString textExit = QStringLiteral("Zapisz zmiany i zamknij okno konfiguracji");
const QString textCancel = QStringLiteral("Zignoruj wszystkie zmiany");
const QString textHelp = QStringLiteral("Wywołaj okienko pomocy");
const QString textNewClient = QStringLiteral("Wpisz adres IP i nazwę nowego klienta");

enum class Glyph { New, Out, To, From, Help, Save, Exit, Cancel };

void paintArrow(QPainter &p, bool right, const QColor &fill, const QColor &edge)
{
    QPolygonF arrow {{2, 7.5}, {10, 7.5}, {10, 3}, {18, 10}, {10, 17}, {10, 12.5}, {2, 12.5}};
    if (!right) {
        for (QPointF &point : arrow)
            point.setX(glyphSize - point.x());
    }
    p.setPen(QPen(edge, 1));
    p.setBrush(fill);
    p.drawPolygon(arrow);
}

void paintFloppy(QPainter &p, const QRectF &body)
{
    const qreal unit = body.width() / 16.0;
    p.setPen(QPen(QColor(0x10, 0x20, 0x50), 1));
    p.setBrush(QColor(0x28, 0x48, 0xA0));
    p.drawRect(body);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(body.left() + 3 * unit, body.top() + 1 * unit, 10 * unit, 6 * unit));
    p.setBrush(QColor(0xC8, 0xC8, 0xC8));
    p.drawRect(QRectF(body.left() + 4 * unit, body.top() + 10 * unit, 8 * unit, 6 * unit));
    p.setBrush(QColor(0x28, 0x48, 0xA0));
    p.drawRect(QRectF(body.left() + 6 * unit, body.top() + 11 * unit, 2 * unit, 4 * unit));
}

// The buttons' glyphs are drawn here rather than loaded, so the program ships
// no image files for them.
QImage paintGlyph(Glyph glyph)
{
    QImage image(glyphSize, glyphSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor green(0x20, 0xA0, 0x30);
    const QColor darkGreen(0x10, 0x60, 0x18);
    const QColor red(0xD8, 0x20, 0x20);
    const QColor darkRed(0x80, 0x10, 0x10);
    switch (glyph) {
    case Glyph::New: {
        QPainterPath plus;
        plus.addRect(8, 3, 4, 14);
        plus.addRect(3, 8, 14, 4);
        p.setPen(QPen(darkGreen, 1));
        p.setBrush(green);
        p.drawPath(plus.simplified());
        break;
    }
    case Glyph::Out:
        p.setPen(QPen(darkRed, 1));
        p.setBrush(red);
        p.drawRect(QRectF(3, 8, 14, 4));
        break;
    case Glyph::To:
        paintArrow(p, true, green, darkGreen);
        break;
    case Glyph::From:
        paintArrow(p, false, red, darkRed);
        break;
    case Glyph::Help: {
        p.setPen(QPen(QColor(0x10, 0x30, 0x80), 1));
        p.setBrush(QColor(0x30, 0x60, 0xD0));
        p.drawEllipse(QRectF(1.5, 1.5, 17, 17));
        QFont font(QStringLiteral("Verdana"));
        font.setPixelSize(14);
        font.setBold(true);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRectF(0, 0, glyphSize, glyphSize), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    case Glyph::Save:
        paintFloppy(p, QRectF(2, 2, 16, 16));
        break;
    case Glyph::Exit: {
        paintFloppy(p, QRectF(1, 1, 14, 14));
        QPainterPath tick;
        tick.moveTo(8, 13.5);
        tick.lineTo(11.5, 17);
        tick.lineTo(18.5, 8.5);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Qt::white, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(tick);
        p.setPen(QPen(green, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(tick);
        break;
    }
    case Glyph::Cancel:
        p.setPen(QPen(red, 3.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4.5, 4.5), QPointF(15.5, 15.5));
        p.drawLine(QPointF(15.5, 4.5), QPointF(4.5, 15.5));
        break;
    }
    return image;
}

// The second state of a glyph: a light grey copy for a disabled button.
QImage greyedGlyph(QImage image)
{
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grey = 128 + qGray(line[x]) / 2;
            line[x] = qRgba(grey, grey, grey, qAlpha(line[x]));
        }
    }
    return image;
}

QIcon glyphIcon(Glyph glyph)
{
    const QImage normal = paintGlyph(glyph);
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(normal), QIcon::Normal);
    icon.addPixmap(QPixmap::fromImage(greyedGlyph(normal)), QIcon::Disabled);
    return icon;
}

QToolButton *makeSpeedButton(QWidget *parent, const char *name, Glyph glyph, const QRect &rect)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setIcon(glyphIcon(glyph));
    button->setIconSize(QSize(glyphSize, glyphSize));
    button->setFocusPolicy(Qt::NoFocus);
    button->setGeometry(rect);
    return button;
}

// A row of either list: the IP in the first column, the name in the second.
// The list orders its rows with this comparison on the column of its sort key.
class ClientItem : public QTreeWidgetItem
{
public:
    ClientItem(const QString &ip, const QString &name, bool ipEditable)
        : QTreeWidgetItem(UserType)
    {
        setText(0, ip);
        setText(1, name);
        Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEnabled;
        if (ipEditable)
            flags |= Qt::ItemIsEditable;
        setFlags(flags);
        setCheckState(0, Qt::Unchecked);
    }

    bool operator<(const QTreeWidgetItem &other) const override
    {
        const QTreeWidget *list = treeWidget();
        const int column = list ? list->sortColumn() : 0;
        return compareClientTexts(text(column), other.text(column)) < 0;
    }
};

// Draws the grid lines between the cells and, in the authorized list, lets
// only the IP be edited in place.
class ClientListDelegate : public QStyledItemDelegate
{
public:
    ClientListDelegate(bool ipEditable, QObject *parent)
        : QStyledItemDelegate(parent)
        , m_ipEditable(ipEditable)
    { }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(option.palette.color(QPalette::Midlight));
        painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        painter->restore();
    }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override
    {
        if (!m_ipEditable || index.column() != 0)
            return nullptr;
        return QStyledItemDelegate::createEditor(parent, option, index);
    }

private:
    bool m_ipEditable;
};

QTreeWidget *makeClientList(QGroupBox *box, const char *name, bool ipEditable)
{
    auto *list = new QTreeWidget(box);
    list->setObjectName(QLatin1String(name));
    list->setGeometry(listRect);
    // Rows carry names before the columns get their captions at show time.
    list->setColumnCount(2);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setAllColumnsShowFocus(true);
    list->header()->setStretchLastSection(false);
    list->header()->setSectionsClickable(false);
    list->header()->setSectionsMovable(false);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    list->setItemDelegate(new ClientListDelegate(ipEditable, list));
    list->setEditTriggers(ipEditable ? QAbstractItemView::SelectedClicked
                                  | QAbstractItemView::EditKeyPressed
                                     : QAbstractItemView::NoEditTriggers);
    // The highlighted row stays as visible when the list loses the focus.
    QPalette palette = list->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    list->setPalette(palette);
    return list;
}

QGroupBox *makeGroupBox(QWidget *parent, const char *name, const QRect &rect)
{
    auto *box = new QGroupBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(rect);
    return box;
}

QLabel *makeEditCaption(QWidget *parent, const char *name, const QRect &rect)
{
    auto *panel = new QLabel(parent);
    panel->setObjectName(QLatin1String(name));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    panel->setGeometry(rect);
    return panel;
}

QLineEdit *makeEdit(QWidget *parent, const char *name, const QRect &rect)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(rect);
    return edit;
}

QLabel *makeStaticText(QWidget *parent, const char *name, int column)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(column * panelBtnColumn, staticTextTop, panelBtnColumn, staticTextHeight);
    return label;
}

QRect fileButtonRect(int column)
{
    return {column * panelBtnColumn + (panelBtnColumn - fileButtonSize) / 2, fileButtonTop,
            fileButtonSize, fileButtonSize};
}

// Every control keeps its hint; only some show it as a tool tip.
void setHint(QWidget *widget, const QString &hint, bool shown)
{
    widget->setProperty("hint", hint);
    widget->setToolTip(shown ? hint : QString());
}

// Hands each checked row of the list to visit, from the last row to the first,
// so that visit may take its own row out; true when any row was checked.
template<typename Visit> bool forEachCheckedRow(QTreeWidget *list, Visit visit)
{
    bool anyChecked = false;
    for (int row = list->topLevelItemCount() - 1; row >= 0; --row) {
        QTreeWidgetItem *item = list->topLevelItem(row);
        if (item->checkState(0) != Qt::Checked)
            continue;
        anyChecked = true;
        visit(row, item);
    }
    return anyChecked;
}

} // namespace

int compareClientTexts(const QString &a, const QString &b)
{
    const QByteArray left = toWindows1250(a);
    const QByteArray right = toWindows1250(b);
    const auto fold = [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 'a' && byte <= 'z' ? byte - ('a' - 'A') : int(byte);
    };
    const qsizetype common = std::min(left.size(), right.size());
    for (qsizetype i = 0; i < common; ++i) {
        const int difference = fold(left.at(i)) - fold(right.at(i));
        if (difference != 0)
            return difference;
    }
    return left.size() < right.size() ? -1 : (left.size() > right.size() ? 1 : 0);
}

TCfgDlg::TCfgDlg(QWidget *owner)
    : QDialog(owner)
    , m_configPath(QString::fromLatin1(configFilePath))
{
    setObjectName(QStringLiteral("CfgDlg"));
    setModal(true);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(clientWidth, clientHeight);
    QFont dialogFont(QStringLiteral("Verdana"));
    dialogFont.setPixelSize(fontPixels);
    setFont(dialogFont);

    createControls();
    connectHandlers();
}

TCfgDlg::~TCfgDlg() = default;

void TCfgDlg::createControls()
{
    GroupBoxDbase = makeGroupBox(this, "GroupBoxDbase", groupBoxDbaseRect);
    ListViewDbase = makeClientList(GroupBoxDbase, "ListViewDbase", false);
    GroupBoxAuthor = makeGroupBox(this, "GroupBoxAuthor", groupBoxAuthorRect);
    ListViewAuthor = makeClientList(GroupBoxAuthor, "ListViewAuthor", true);

    SpeedButtonTo = makeSpeedButton(this, "SpeedButtonTo", Glyph::To, speedButtonToRect);
    SpeedButtonFrom = makeSpeedButton(this, "SpeedButtonFrom", Glyph::From, speedButtonFromRect);
    SpeedButtonNew = makeSpeedButton(this, "SpeedButtonNew", Glyph::New, speedButtonNewRect);
    SpeedButtonOut = makeSpeedButton(this, "SpeedButtonOut", Glyph::Out, speedButtonOutRect);

    GroupBoxNew = makeGroupBox(this, "GroupBoxNew", groupBoxNewRect);
    PanelIP = makeEditCaption(GroupBoxNew, "PanelIP", panelIPRect);
    EditIP = makeEdit(GroupBoxNew, "EditIP", editIPRect);
    PanelName = makeEditCaption(GroupBoxNew, "PanelName", panelNameRect);
    EditName = makeEdit(GroupBoxNew, "EditName", editNameRect);

    PanelAuto = new QFrame(this);
    PanelAuto->setObjectName(QStringLiteral("PanelAuto"));
    PanelAuto->setFrameStyle(QFrame::Panel | QFrame::Raised);
    PanelAuto->setGeometry(panelAutoRect);
    CheckBoxAuto = new QCheckBox(PanelAuto);
    CheckBoxAuto->setObjectName(QStringLiteral("CheckBoxAuto"));
    CheckBoxAuto->setGeometry(checkBoxAutoRect);
    QFont bold = font();
    bold.setBold(true);
    CheckBoxAuto->setFont(bold);
    SpeedButtonHelp = makeSpeedButton(this, "SpeedButtonHelp", Glyph::Help, speedButtonHelpRect);

    GroupBoxBtn = makeGroupBox(this, "GroupBoxBtn", groupBoxBtnRect);
    PanelBtn = new QFrame(GroupBoxBtn);
    PanelBtn->setObjectName(QStringLiteral("PanelBtn"));
    PanelBtn->setGeometry(panelBtnRect);
    StaticTextSave = makeStaticText(PanelBtn, "StaticTextSave", 0);
    SpeedButtonSave = makeSpeedButton(PanelBtn, "SpeedButtonSave", Glyph::Save, fileButtonRect(0));
    StaticTextExit = makeStaticText(PanelBtn, "StaticTextExit", 1);
    SpeedButtonExit = makeSpeedButton(PanelBtn, "SpeedButtonExit", Glyph::Exit, fileButtonRect(1));
    StaticTextCancel = makeStaticText(PanelBtn, "StaticTextCancel", 2);
    SpeedButtonCancel
        = makeSpeedButton(PanelBtn, "SpeedButtonCancel", Glyph::Cancel, fileButtonRect(2));

    StatusBarCfg = new QStatusBar(this);
    StatusBarCfg->setObjectName(QStringLiteral("StatusBarCfg"));
    StatusBarCfg->setSizeGripEnabled(false);
    StatusBarCfg->setGeometry(0, clientHeight - statusBarHeight, clientWidth, statusBarHeight);

    PopupMenuList = new QMenu(this);
    PopupMenuList->setObjectName(QStringLiteral("PopupMenuList"));
    const auto addItem = [this](const char *name) {
        QAction *action = PopupMenuList->addAction(QString());
        action->setObjectName(QLatin1String(name));
        return action;
    };
    PopupMenuSelectAll = addItem("PopupMenuSelectAll");
    PopupMenuUnselectAll = addItem("PopupMenuUnselectAll");
    PopupMenuOrderByIP = addItem("PopupMenuOrderByIP");
    PopupMenuOrderByName = addItem("PopupMenuOrderByName");
}

void TCfgDlg::connectHandlers()
{
    // Buttons, menu items and list signals are dispatch points: whatever a
    // handler throws is shown and the dialog goes on.
    const auto guarded = [this](void (TCfgDlg::*handler)()) {
        return [this, handler] { runGuarded([this, handler] { (this->*handler)(); }); };
    };
    connect(SpeedButtonNew, &QToolButton::clicked, this, guarded(&TCfgDlg::SpeedButtonNewClick));
    connect(SpeedButtonOut, &QToolButton::clicked, this, guarded(&TCfgDlg::SpeedButtonOutClick));
    connect(SpeedButtonTo, &QToolButton::clicked, this, guarded(&TCfgDlg::SpeedButtonToClick));
    connect(SpeedButtonFrom, &QToolButton::clicked, this, guarded(&TCfgDlg::SpeedButtonFromClick));
    connect(SpeedButtonSave, &QToolButton::clicked, this, guarded(&TCfgDlg::SpeedButtonSaveClick));
    connect(SpeedButtonExit, &QToolButton::clicked, this, guarded(&TCfgDlg::SpeedButtonExitClick));
    connect(SpeedButtonCancel, &QToolButton::clicked, this,
            guarded(&TCfgDlg::SpeedButtonCancelClick));
    connect(SpeedButtonHelp, &QToolButton::clicked, this, guarded(&TCfgDlg::SpeedButtonHelpClick));

    connect(PopupMenuList, &QMenu::aboutToShow, this, guarded(&TCfgDlg::PopupMenuListPopup));
    connect(PopupMenuSelectAll, &QAction::triggered, this,
            guarded(&TCfgDlg::PopupMenuSelectAllClick));
    connect(PopupMenuUnselectAll, &QAction::triggered, this,
            guarded(&TCfgDlg::PopupMenuUnselectAllClick));
    connect(PopupMenuOrderByIP, &QAction::triggered, this,
            guarded(&TCfgDlg::PopupMenuOrderByIPClick));
    connect(PopupMenuOrderByName, &QAction::triggered, this,
            guarded(&TCfgDlg::PopupMenuOrderByNameClick));

    connect(ListViewDbase, &QTreeWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { runGuarded([&] { ListViewDbaseContextPopup(pos); }); });
    connect(ListViewAuthor, &QTreeWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { runGuarded([&] { ListViewAuthorContextPopup(pos); }); });
    connect(ListViewDbase->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection &selected, const QItemSelection &deselected) {
                runGuarded([&] { ListViewDbaseSelectionChanged(selected, deselected); });
            });
    connect(ListViewAuthor->model(), &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &, const QList<int> &roles) {
                runGuarded([&] { ListViewAuthorDataChanged(topLeft.column(), roles); });
            });

    watchMouse(this, &TCfgDlg::FormMouseMove);
    watchMouse(SpeedButtonNew, &TCfgDlg::SpeedButtonNewMouseMove);
    watchMouse(SpeedButtonOut, &TCfgDlg::SpeedButtonOutMouseMove);
    watchMouse(SpeedButtonTo, &TCfgDlg::SpeedButtonToMouseMove);
    watchMouse(SpeedButtonFrom, &TCfgDlg::SpeedButtonFromMouseMove);
    watchMouse(SpeedButtonSave, &TCfgDlg::SpeedButtonSaveMouseMove);
    watchMouse(SpeedButtonExit, &TCfgDlg::SpeedButtonExitMouseMove);
    watchMouse(SpeedButtonCancel, &TCfgDlg::SpeedButtonCancelMouseMove);
    watchMouse(ListViewDbase, &TCfgDlg::ListViewDbaseMouseMove);
    watchMouse(ListViewDbase->viewport(), &TCfgDlg::ListViewDbaseMouseMove);
    watchMouse(ListViewAuthor, &TCfgDlg::ListViewAuthorMouseMove);
    watchMouse(ListViewAuthor->viewport(), &TCfgDlg::ListViewAuthorMouseMove);
    watchMouse(GroupBoxNew, &TCfgDlg::GroupBoxNewMouseMove);
    watchMouse(PanelAuto, &TCfgDlg::PanelAutoMouseMove);
    watchMouse(CheckBoxAuto, &TCfgDlg::CheckBoxAutoMouseMove);
    watchMouse(SpeedButtonHelp, &TCfgDlg::SpeedButtonHelpMouseMove);
    watchMouse(PanelBtn, &TCfgDlg::PanelBtnMouseMove);
    watchMouse(GroupBoxBtn, &TCfgDlg::GroupBoxBtnMouseMove);
}

void TCfgDlg::watchMouse(QWidget *widget, void (TCfgDlg::*handler)())
{
    widget->setMouseTracking(true);
    widget->installEventFilter(this);
    m_mouseHandlers.insert(widget, handler);
}

bool TCfgDlg::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseMove:
    case QEvent::Enter: {
        // A control reports the mouse only over itself: a move that reached it
        // from a child, or an entry on the way to a child, leaves the text as
        // it is.
        const auto handler = m_mouseHandlers.value(watched);
        const auto *pointer = dynamic_cast<const QSinglePointEvent *>(event);
        if (handler && pointer
            && !static_cast<QWidget *>(watched)->childAt(pointer->position().toPoint()))
            (this->*handler)();
        break;
    }
    case QEvent::ToolTip:
        // The check box keeps its hint to itself; without this the tool tip of
        // the panel under it would show.
        if (watched == CheckBoxAuto)
            return true;
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void TCfgDlg::setHints()
{
    GroupBoxNew->setTitle(QStringLiteral("Nowy klient"));
    PanelIP->setText(QStringLiteral(" IP   "));
    PanelName->setText(QStringLiteral(" Nazwa"));
    GroupBoxDbase->setTitle(QStringLiteral("Baza klientów"));
    GroupBoxAuthor->setTitle(QStringLiteral("Uprawnieni klienci"));
    GroupBoxBtn->setTitle(QStringLiteral("Plik konfiguracyjny"));
    StaticTextSave->setText(QStringLiteral("Zapisz"));
    StaticTextExit->setText(QStringLiteral("Zakończ"));
    StaticTextCancel->setText(QStringLiteral("Anuluj"));
    CheckBoxAuto->setText(QStringLiteral("Autostart"));

    setHint(EditIP, QStringLiteral("Wpisz adres IP nowego klienta (xxx.xxx.xxx.xxx)"), true);
    setHint(EditName, QStringLiteral("Wpisz nazwę nowego klienta (opcjonalnie)"), true);
    setHint(GroupBoxDbase, textListHint, false);
    setHint(GroupBoxAuthor, textListHint, false);
    setHint(StaticTextSave, textSave, false);
    setHint(StaticTextExit, textExit, false);
    setHint(StaticTextCancel, textCancel, false);
    setHint(CheckBoxAuto, textAutoHint, false);
    setHint(PanelAuto, textAutoHint, true);
    setHint(SpeedButtonHelp, textHelp, true);
    setHint(SpeedButtonNew, textNew, true);
    setHint(SpeedButtonOut, textOut, true);
    setHint(SpeedButtonTo, textTo, true);
    setHint(SpeedButtonFrom, textFrom, true);
}

void TCfgDlg::addColumns(QTreeWidget *list)
{
    list->setHeaderLabels({QStringLiteral(" IP"), QStringLiteral(" Nazwa")});
    const int width = list->viewport()->width();
    list->setColumnWidth(0, 55 * width / 100);
    list->setColumnWidth(1, 45 * width / 100);
}

QTreeWidget *TCfgDlg::contextList() const
{
    return ContextList ? ListViewDbase : ListViewAuthor;
}

void TCfgDlg::sortList(QTreeWidget *list)
{
    list->sortItems(SortKey, Qt::AscendingOrder);
}

void TCfgDlg::ListViewAuthorDataChanged(int column, const QList<int> &roles)
{
    // An IP edited in place puts its row back in order; a check box or a name
    // set by the dialog does not move it.
    if (column == 0
        && (roles.isEmpty() || roles.contains(Qt::DisplayRole) || roles.contains(Qt::EditRole)))
        sortList(ListViewAuthor);
}

void TCfgDlg::showEvent(QShowEvent *event)
{
    // By now the lists have their size, which the column widths are taken from.
    if (!event->spontaneous())
        runGuarded([this] { FormShow(); });
    QDialog::showEvent(event);
}

void TCfgDlg::FormShow()
{
    setWindowTitle(QStringLiteral("Konfiguracja"));
    setHints();
    EditIP->clear();
    EditName->clear();
    addColumns(ListViewDbase);
    LoadConfiguration();
    addColumns(ListViewAuthor);
    CheckBoxAuto->setChecked(AutostartRead);
    Saved = true;
}

int TCfgDlg::AskUser(int kind, int buttons, const QString &text)
{
    return ShowMsgDlg(this, kind, buttons, text);
}

int TCfgDlg::FindClient(const QTreeWidget *list, const QString &ip)
{
    for (int row = list->topLevelItemCount() - 1; row >= 0; --row) {
        if (list->topLevelItem(row)->text(0) == ip)
            return row;
    }
    return -1;
}

void TCfgDlg::CheckAll(QTreeWidget *list, bool state)
{
    for (int row = 0; row < list->topLevelItemCount(); ++row)
        list->topLevelItem(row)->setCheckState(0, state ? Qt::Checked : Qt::Unchecked);
}

void TCfgDlg::AddOrUpdateClient(QTreeWidget *list, const QString &ip, const QString &name)
{
    const int row = FindClient(list, ip);
    if (row < 0) {
        list->addTopLevelItem(new ClientItem(ip, name, list == ListViewAuthor));
        sortList(list);
        Saved = false;
        return;
    }
    QTreeWidgetItem *item = list->topLevelItem(row);
    if (item->text(1) == name) {
        item->setCheckState(0, Qt::Checked);
        return;
    }
    if (AskUser(kindWarning, buttonsOkCancel,
                QStringLiteral("Ten adres IP już istnieje, dane zostaną nadpisane\nJesteś pewien?"))
        != resultOk)
        return;
    item->setText(1, name);
    if (list == ListViewDbase) {
        const int authorRow = FindClient(ListViewAuthor, ip);
        if (authorRow >= 0)
            ListViewAuthor->topLevelItem(authorRow)->setText(1, name);
    }
    Saved = false;
}

void TCfgDlg::LoadConfiguration()
{
    ListViewDbase->clear();
    ListViewAuthor->clear();
    AutostartRead = false;

    Configuration config = loadConfiguration(m_configPath);
    // A fresh file holds the mode line and the default client, so reading it
    // back lists that client.
    if (config.status == FileStatus::Missing && createDefaultConfiguration(m_configPath))
        config = loadConfiguration(m_configPath);
    if (config.status != FileStatus::Ok) {
        AskUser(kindError, buttonsClose, QStringLiteral("Brak dostępu do pliku konfiguracyjnego"));
        return;
    }

    AutostartRead = config.autostart;
    for (const ConfigRow &row : std::as_const(config.rows)) {
        if (row.authorized())
            AddOrUpdateClient(ListViewAuthor, row.ip, row.name);
        AddOrUpdateClient(ListViewDbase, row.ip, row.name);
    }
}

bool TCfgDlg::SaveConfiguration()
{
    QList<ConfigRow> rows;
    for (int row = ListViewDbase->topLevelItemCount() - 1; row >= 0; --row) {
        const QTreeWidgetItem *item = ListViewDbase->topLevelItem(row);
        const bool authorized = FindClient(ListViewAuthor, item->text(0)) >= 0;
        rows.append(
            {item->text(0), item->text(1), authorized ? QStringLiteral("1") : QStringLiteral("0")});
    }
    if (saveConfiguration(m_configPath, CheckBoxAuto->isChecked(), rows))
        return true;
    AskUser(kindError, buttonsClose, QStringLiteral("Brak dostępu"));
    return false;
}

void TCfgDlg::reject()
{
    done(resultCancel);
}

void TCfgDlg::done(int result)
{
    if (FormCloseQuery())
        QDialog::done(result);
}

bool TCfgDlg::FormCloseQuery()
{
    if (Saved && CheckBoxAuto->isChecked() == AutostartRead)
        return true;
    if (ExitRequested) {
        // The dialog closes only once the changes are in the file; after "Brak
        // dostępu" the operator keeps them and may try again or cancel.
        if (AskUser(kindWarning, buttonsOkCancel,
                    QStringLiteral("Zmiany zostaną zapisane\nJestes pewien?"))
                == resultOk
            && SaveConfiguration())
            return true;
        ExitRequested = false;
        return false;
    }
    return AskUser(kindWarning, buttonsOkCancel,
                   QStringLiteral("Zmiany zostaną zignorowane\nJestes pewien?"))
        == resultOk;
}

void TCfgDlg::ListViewDbaseSelectionChanged(const QItemSelection &selected,
                                            const QItemSelection &deselected)
{
    // A row that loses the highlight reports first, the one that gains it last,
    // so the edit fields end with the newly highlighted row.
    for (const QItemSelection *change : {&deselected, &selected}) {
        for (const QModelIndex &index : change->indexes()) {
            if (index.column() == 0)
                ListViewDbaseSelectItem(ListViewDbase->itemFromIndex(index));
        }
    }
}

void TCfgDlg::ListViewDbaseSelectItem(QTreeWidgetItem *item)
{
    if (!item)
        return;
    EditIP->setText(item->text(0));
    EditName->setText(item->text(1));
}

void TCfgDlg::ListViewDbaseContextPopup(const QPoint &pos)
{
    ContextList = true;
    PopupMenuList->popup(ListViewDbase->viewport()->mapToGlobal(pos));
}

void TCfgDlg::ListViewAuthorContextPopup(const QPoint &pos)
{
    ContextList = false;
    PopupMenuList->popup(ListViewAuthor->viewport()->mapToGlobal(pos));
}

void TCfgDlg::PopupMenuListPopup()
{
    PopupMenuSelectAll->setText(QStringLiteral("&Zaznacz wszystkie"));
    PopupMenuUnselectAll->setText(QStringLiteral("&Usuń zaznaczenia"));
    PopupMenuOrderByIP->setText(QStringLiteral("Uporządkuj wg &IP"));
    PopupMenuOrderByName->setText(QStringLiteral("Uporządkuj wg &Nazwy"));
}

void TCfgDlg::PopupMenuSelectAllClick()
{
    CheckAll(contextList(), true);
}

void TCfgDlg::PopupMenuUnselectAllClick()
{
    CheckAll(contextList(), false);
}

void TCfgDlg::PopupMenuOrderByIPClick()
{
    SortKey = 0;
    sortList(contextList());
}

void TCfgDlg::PopupMenuOrderByNameClick()
{
    SortKey = 1;
    sortList(contextList());
}

void TCfgDlg::SpeedButtonNewClick()
{
    AddOrUpdateClient(ListViewDbase, EditIP->text(), EditName->text());
}

void TCfgDlg::SpeedButtonOutClick()
{
    if (AskUser(kindWarning, buttonsOkCancel,
                QStringLiteral("Wybrane adresy IP zostaną usunięte z bazy\nJestes pewien?"))
        != resultOk)
        return;
    if (forEachCheckedRow(ListViewDbase, [this](int row, QTreeWidgetItem *item) {
            const int authorRow = FindClient(ListViewAuthor, item->text(0));
            if (authorRow >= 0)
                delete ListViewAuthor->takeTopLevelItem(authorRow);
            delete ListViewDbase->takeTopLevelItem(row);
        }))
        Saved = false;
}

void TCfgDlg::SpeedButtonToClick()
{
    if (forEachCheckedRow(ListViewDbase, [this](int, QTreeWidgetItem *item) {
            // An address already authorized keeps its row as it is, name included.
            if (FindClient(ListViewAuthor, item->text(0)) < 0)
                AddOrUpdateClient(ListViewAuthor, item->text(0), item->text(1));
            item->setCheckState(0, Qt::Unchecked);
        }))
        Saved = false;
}

void TCfgDlg::SpeedButtonFromClick()
{
    if (AskUser(kindWarning, buttonsOkCancel,
                QStringLiteral("Wybrane adresy IP utracą autoryzację\nJestes pewien?"))
        != resultOk)
        return;
    if (forEachCheckedRow(ListViewAuthor, [this](int row, QTreeWidgetItem *item) {
            const int dbaseRow = FindClient(ListViewDbase, item->text(0));
            if (dbaseRow < 0)
                AskUser(kindError, buttonsClose, QStringLiteral("Adres IP nie znaleziony"));
            else
                ListViewDbase->topLevelItem(dbaseRow)->setCheckState(0, Qt::Checked);
            delete ListViewAuthor->takeTopLevelItem(row);
        }))
        Saved = false;
}

void TCfgDlg::SpeedButtonSaveClick()
{
    if (AskUser(kindWarning, buttonsOkCancel,
                QStringLiteral("Konfiguracja zostanie zapisana\nJestes pewien?"))
        != resultOk)
        return;
    // Only a written file counts as saved: after "Brak dostępu" the changes are
    // still pending, so closing asks about them instead of dropping them.
    if (SaveConfiguration())
        Saved = true;
}

void TCfgDlg::SpeedButtonExitClick()
{
    ExitRequested = true;
    close();
}

void TCfgDlg::SpeedButtonCancelClick()
{
    close();
}

void TCfgDlg::SpeedButtonHelpClick()
{
    emit helpRequested();
}

void TCfgDlg::SpeedButtonNewMouseMove()
{
    StatusBarCfg->showMessage(textNew);
}

void TCfgDlg::SpeedButtonOutMouseMove()
{
    StatusBarCfg->showMessage(textOut);
}

void TCfgDlg::SpeedButtonToMouseMove()
{
    StatusBarCfg->showMessage(textTo);
}

void TCfgDlg::SpeedButtonFromMouseMove()
{
    StatusBarCfg->showMessage(textFrom);
}

void TCfgDlg::SpeedButtonSaveMouseMove()
{
    StatusBarCfg->showMessage(textSave);
}

void TCfgDlg::SpeedButtonExitMouseMove()
{
    StatusBarCfg->showMessage(textExit);
}

void TCfgDlg::SpeedButtonCancelMouseMove()
{
    StatusBarCfg->showMessage(textCancel);
}

void TCfgDlg::ListViewDbaseMouseMove()
{
    StatusBarCfg->showMessage(textListHint);
}

void TCfgDlg::ListViewAuthorMouseMove()
{
    StatusBarCfg->showMessage(textListHint);
}

void TCfgDlg::GroupBoxNewMouseMove()
{
    StatusBarCfg->showMessage(textNewClient);
}

void TCfgDlg::PanelAutoMouseMove()
{
    StatusBarCfg->showMessage(textAutoHint);
}

void TCfgDlg::CheckBoxAutoMouseMove()
{
    StatusBarCfg->showMessage(textAutoHint);
}

void TCfgDlg::SpeedButtonHelpMouseMove()
{
    StatusBarCfg->showMessage(textHelp);
}

void TCfgDlg::FormMouseMove()
{
    StatusBarCfg->clearMessage();
}

void TCfgDlg::PanelBtnMouseMove()
{
    StatusBarCfg->clearMessage();
}

void TCfgDlg::GroupBoxBtnMouseMove()
{
    StatusBarCfg->clearMessage();
}
