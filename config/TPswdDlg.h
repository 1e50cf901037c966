#pragma once

#include "config/PasswordStore.h"

#include <QDialog>

class QGroupBox;
class QLineEdit;
class QPushButton;

// The password dialog: logs the operator in, or sets a new password for an
// operator who is logged in. Modal result 1: the password was right, or the new
// one has been stored; 3: wrong password at login; 2: cancelled, nothing
// happened.
class TPswdDlg : public QDialog
{
    Q_OBJECT

public:
    enum class Mode { Login, Change };

    explicit TPswdDlg(Mode mode, QWidget *owner = nullptr);
    ~TPswdDlg() override;

    Mode mode() const { return m_mode; }

    void done(int result) override;
    void reject() override;

    QGroupBox *GroupBox1 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QGroupBox *GroupBox2 = nullptr;
    QLineEdit *Edit2 = nullptr;
    QPushButton *BitBtnOk = nullptr;
    QPushButton *BitBtnCancel = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormShow();
    // Decides whether the dialog may close with the given result and may
    // change that result; false keeps the dialog open.
    bool FormCloseQuery(int &modalResult);

    Mode m_mode;
    PasswordStore m_store;
};
