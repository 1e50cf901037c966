#pragma once

#include <QMainWindow>

class QPlainTextEdit;

// The main window. It owns the whole server state for the life of the
// process; the event log view Terminal fills its client area.
class TMainForm : public QMainWindow
{
    Q_OBJECT

public:
    explicit TMainForm(QWidget *parent = nullptr);
    ~TMainForm() override;

    QPlainTextEdit *Terminal = nullptr;
};
