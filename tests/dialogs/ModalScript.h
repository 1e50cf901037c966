#pragma once

#include "app/dialogs/TMsgDlg.h"

#include <QApplication>
#include <QLabel>
#include <QObject>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

// Answers modal windows from inside their nested loops, as an operator would.
// Each step says which window it expects and what to do with it. The script
// looks at the active modal window on a short single-shot timer that is armed
// again before each step runs, so a step that opens another modal window (a
// message over a dialog) is answered by the next step inside that window's loop.
class ModalScript : public QObject
{
public:
    struct Step
    {
        std::function<bool(QWidget *)> matches;
        std::function<void(QWidget *)> act;
    };

    explicit ModalScript(std::vector<Step> steps)
        : m_steps(std::move(steps))
    {
        arm();
    }

    // Steps that found their window.
    std::size_t done() const { return m_next; }
    bool finished() const { return m_next == m_steps.size(); }
    // A modal window nobody expected was closed after waiting 10 s for a step.
    bool gaveUp() const { return m_gaveUp; }

private:
    void arm()
    {
        if (!finished())
            QTimer::singleShot(5, this, [this] { poll(); });
    }

    void poll()
    {
        arm();
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal) {
            m_unmatched = 0;
            return;
        }
        if (m_steps[m_next].matches(modal)) {
            m_unmatched = 0;
            m_steps[m_next++].act(modal);
        } else if (++m_unmatched > 2000) {
            m_gaveUp = true;
            modal->close();
        }
    }

    std::vector<Step> m_steps;
    std::size_t m_next = 0;
    int m_unmatched = 0;
    bool m_gaveUp = false;
};

// What a message dialog showed when it was answered.
struct SeenMessage
{
    QString caption;
    QString text;
    QString leftButton;
    bool rightButtonShown = false;
};

// Answers the next TMsgDlg by pressing the named button (or closing it when
// button is null), noting what it showed.
inline ModalScript::Step answerMessage(const char *button, SeenMessage *seen = nullptr)
{
    return {[](QWidget *w) { return qobject_cast<TMsgDlg *>(w) != nullptr; },
            [button, seen](QWidget *w) {
                auto *dialog = qobject_cast<TMsgDlg *>(w);
                if (seen) {
                    *seen = {dialog->windowTitle(), dialog->LabelTxt->text(),
                             dialog->BitBtnLeft->text(), dialog->BitBtnRight->isVisible()};
                }
                if (button)
                    dialog->findChild<QPushButton *>(QLatin1String(button))->click();
                else
                    dialog->close();
            }};
}
