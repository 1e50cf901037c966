#include "app/TStatusBar.h"

#include "app/Glyphs.h"
#include "app/support/ExceptionDisplay.h"

#include <QMetaObject>
#include <QPaintEvent>
#include <QPainter>

namespace {

// Room between a text panel's edge and its text.
constexpr int TextMargin = 3;

} // namespace

TStatusBar::TStatusBar(QWidget *parent)
    : QWidget(parent)
    , panels {{
          {150, PanelStyle::Text, Qt::AlignLeft, QString()},
          {StatusImageList::Size + 5, PanelStyle::OwnerDraw, Qt::AlignLeft, QString()},
          {StatusImageList::Size + 6, PanelStyle::OwnerDraw, Qt::AlignLeft, QString()},
          {StatusImageList::Size + 6, PanelStyle::OwnerDraw, Qt::AlignLeft, QString()},
          {100, PanelStyle::Text, Qt::AlignHCenter, QString()},
      }}
{
    setFixedHeight(BarHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

TStatusBar::~TStatusBar() = default;

QString TStatusBar::panelText(int panel) const
{
    return isPanel(panel) ? panels[panel].text : QString();
}

void TStatusBar::setPanelText(int panel, const QString &text)
{
    if (!isPanel(panel) || panels[panel].text == text)
        return;
    panels[panel].text = text;
    update(panelRect(panel));
}

int TStatusBar::panelWidth(int panel) const
{
    return isPanel(panel) ? panels[panel].width : 0;
}

void TStatusBar::setPanelWidth(int panel, int width)
{
    width = qMax(0, width);
    if (!isPanel(panel) || panels[panel].width == width)
        return;
    panels[panel].width = width;
    updateGeometry();
    update();
}

TStatusBar::PanelStyle TStatusBar::panelStyle(int panel) const
{
    return isPanel(panel) ? panels[panel].style : PanelStyle::Text;
}

Qt::Alignment TStatusBar::panelAlignment(int panel) const
{
    return isPanel(panel) ? panels[panel].alignment : Qt::AlignLeft;
}

QRect TStatusBar::panelRect(int panel) const
{
    if (!isPanel(panel))
        return QRect();
    int left = 0;
    for (int i = 0; i < panel; ++i)
        left += panels[i].width;
    int width = panels[panel].width;
    if (panel == PanelCount - 1)
        width = qMax(width, this->width() - left);
    return QRect(left, TopBorder, width, height() - TopBorder);
}

QSize TStatusBar::sizeHint() const
{
    int width = 0;
    for (const Panel &p : panels)
        width += p.width;
    return QSize(width, BarHeight);
}

QSize TStatusBar::minimumSizeHint() const
{
    return QSize(0, BarHeight);
}

void TStatusBar::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().window());
    // A repaint of one panel (the queue lamp changes with every request)
    // leaves the others alone: laying out their texts costs more than the
    // whole lamp.
    for (int panel = 0; panel < PanelCount; ++panel) {
        if (event->region().intersects(panelRect(panel)))
            drawPanel(painter, panel);
    }
}

void TStatusBar::drawPanel(QPainter &painter, int panel)
{
    // Each rectangle is taken when its panel is drawn, so a width set by the
    // handler for one panel already places the panels after it.
    const QRect rect = panelRect(panel);
    if (panels[panel].style == PanelStyle::Text) {
        painter.save();
        painter.setClipRect(rect);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(rect.adjusted(TextMargin, 0, -TextMargin, 0),
                         int(panels[panel].alignment | Qt::AlignVCenter | Qt::TextSingleLine),
                         panels[panel].text);
        painter.restore();
        return;
    }
    if (!OnDrawPanel)
        return;
    painter.save();
    try {
        OnDrawPanel(this, panel, rect, painter);
    } catch (...) {
        reportDrawError(std::current_exception());
    }
    painter.restore();
}

void TStatusBar::reportDrawError(std::exception_ptr error)
{
    // A message box must not open inside a paint event, so the error is shown
    // from the event loop. While one is on screen, repaints that fail the same
    // way add nothing to it and are not shown again.
    if (errorShown)
        return;
    errorShown = true;
    QMetaObject::invokeMethod(
        this,
        [this, error] {
            runGuarded([error] { std::rethrow_exception(error); });
            errorShown = false;
        },
        Qt::QueuedConnection);
}
