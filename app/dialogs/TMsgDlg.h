#pragma once

#include <QDialog>
#include <QString>

class QFrame;
class QLabel;
class QPushButton;

// The program's message dialog for every warning, error and question. Kind:
// 1 information, 2 warning, 3 error, anything else a plain message without an
// icon. Button set: 1 "OK"/"Anuluj", 2 "Tak"/"Nie", anything else a single
// "Zamknij". Modal result: 1 for the left button, 3 for the right one, 2 when
// the window is closed from its title bar (or with Escape).
class TMsgDlg : public QDialog
{
    Q_OBJECT

public:
    TMsgDlg(QWidget *owner, int kind, int buttons, const QString &text);
    ~TMsgDlg() override;

    void setVisible(bool visible) override;
    void reject() override;

    QFrame *PanelImg = nullptr;
    QLabel *Image = nullptr;
    QFrame *PanelTxt = nullptr;
    QFrame *PanelTxtTop = nullptr;
    QLabel *LabelTxt = nullptr;
    QFrame *PanelBtn = nullptr;
    QPushButton *BitBtnLeft = nullptr;
    QPushButton *BitBtnRight = nullptr;

private:
    // Captions, icon, buttons and text by kind and set, then the layout; runs
    // just before the window is displayed.
    void FormShow();
    void placeControls();

    int m_kind;
    int m_buttons;
    QString m_text;
};

// Creates the dialog with owner, shows it modally, releases it and returns its
// modal result.
int ShowMsgDlg(QWidget *owner, int kind, int buttons, const QString &text);
