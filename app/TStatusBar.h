#pragma once

#include <QString>
#include <QWidget>

#include <array>
#include <exception>
#include <functional>

class QPainter;

// The main window's status bar: a row of five panels without bevels, 25 pixels
// high. Text panels show their text; owner-drawn panels are painted by the
// OnDrawPanel handler each time the bar repaints. Panel rectangles start 2
// pixels below the top, under the bar's top border, and the last panel runs on
// to the right edge when the bar is wider than the panels together.
class TStatusBar : public QWidget
{
    Q_OBJECT

public:
    enum class PanelStyle { Text, OwnerDraw };

    static constexpr int PanelCount = 5;
    static constexpr int BarHeight = 25;
    static constexpr int TopBorder = 2;

    explicit TStatusBar(QWidget *parent = nullptr);
    ~TStatusBar() override;

    int panelCount() const { return PanelCount; }

    // Out-of-range panel numbers are ignored by the setters and read as an
    // empty text, a width of 0 and an empty rectangle.
    QString panelText(int panel) const;
    void setPanelText(int panel, const QString &text);
    int panelWidth(int panel) const;
    // May be called from OnDrawPanel: the panels to the right move at once,
    // and the bar repaints if the width changed.
    void setPanelWidth(int panel, int width);
    PanelStyle panelStyle(int panel) const;
    Qt::Alignment panelAlignment(int panel) const;
    QRect panelRect(int panel) const;

    // Paints an owner-drawn panel (1, 2 and 3) into Rect on Canvas.
    std::function<void(TStatusBar *StatusBar, int Panel, const QRect &Rect, QPainter &Canvas)>
        OnDrawPanel;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    struct Panel
    {
        int width;
        PanelStyle style;
        Qt::Alignment alignment;
        QString text;
    };

    static bool isPanel(int panel) { return panel >= 0 && panel < PanelCount; }
    void drawPanel(QPainter &painter, int panel);
    void reportDrawError(std::exception_ptr error);

    std::array<Panel, PanelCount> panels;
    bool errorShown = false;
};
