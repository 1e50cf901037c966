#include "config/TPswdDlg.h"

#include "app/dialogs/TMsgDlg.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QVBoxLayout>

namespace {

constexpr int resultOk = 1;
constexpr int resultCancel = 2;
constexpr int resultAbort = 3;

// The password entries echo "*" whatever the platform's mask character is.
class StarEchoStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return u'*';
        if (hint == SH_LineEdit_PasswordMaskDelay)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// One style object for every password entry of the run, released with the
// application so that no entry outlives it.
QStyle *starEchoStyle()
{
    static QStyle *style = [] {
        auto *created = new StarEchoStyle;
        created->setParent(QCoreApplication::instance());
        return created;
    }();
    return style;
}

QLineEdit *makePasswordEntry(QGroupBox *box, const char *name)
{
    auto *edit = new QLineEdit(box);
    edit->setObjectName(QLatin1String(name));
    edit->setStyle(starEchoStyle());
    edit->setEchoMode(QLineEdit::Password);
    auto *layout = new QVBoxLayout(box);
    layout->addWidget(edit);
    return edit;
}

} // namespace

TPswdDlg::TPswdDlg(Mode mode, QWidget *owner)
    : QDialog(owner)
    , m_mode(mode)
{
    setObjectName(QStringLiteral("PswdDlg"));
    setModal(true);

    GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    Edit1 = makePasswordEntry(GroupBox1, "Edit1");
    GroupBox2 = new QGroupBox(this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    Edit2 = makePasswordEntry(GroupBox2, "Edit2");

    BitBtnOk = new QPushButton(QStringLiteral("OK"), this);
    BitBtnOk->setObjectName(QStringLiteral("BitBtnOk"));
    BitBtnOk->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    BitBtnOk->setDefault(true);
    BitBtnCancel = new QPushButton(QStringLiteral("Anuluj"), this);
    BitBtnCancel->setObjectName(QStringLiteral("BitBtnCancel"));
    BitBtnCancel->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    BitBtnCancel->setAutoDefault(false);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(BitBtnOk);
    buttons->addWidget(BitBtnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1);
    layout->addWidget(GroupBox2);
    layout->addLayout(buttons);
    // The window follows its visible content, so it is shorter for a login.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    GroupBox2->setVisible(m_mode == Mode::Change);

    connect(BitBtnOk, &QPushButton::clicked, this, [this] { done(resultOk); });
    connect(BitBtnCancel, &QPushButton::clicked, this, [this] { done(resultCancel); });
}

TPswdDlg::~TPswdDlg() = default;

void TPswdDlg::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

void TPswdDlg::FormShow()
{
    const bool change = m_mode == Mode::Change;
    setWindowTitle(change ? QStringLiteral("Zmiana hasła") : QStringLiteral("Autoryzacja"));
    GroupBox1->setTitle(QStringLiteral("Wpisz hasło"));
    GroupBox1->setVisible(true);
    GroupBox2->setTitle(QStringLiteral("Wpisz ponownie"));
    GroupBox2->setVisible(change);
    BitBtnOk->setText(QStringLiteral("OK"));
    BitBtnCancel->setText(QStringLiteral("Anuluj"));
    Edit1->setFocus();
    // Showing the dialog creates a missing password file in either mode.
    m_store.LoadPassword();
}

void TPswdDlg::reject()
{
    done(resultCancel);
}

void TPswdDlg::done(int result)
{
    if (FormCloseQuery(result))
        QDialog::done(result);
}

bool TPswdDlg::FormCloseQuery(int &modalResult)
{
    if (modalResult != resultOk)
        return true;

    if (m_mode == Mode::Login) {
        // A password file that exists but cannot be read holds a password we
        // do not know; falling back to the empty password would let anyone in.
        if (m_store.unreadable() || PasswordHash(Edit1->text()) != m_store.storedHash())
            modalResult = resultAbort;
        return true;
    }

    if (Edit1->text() != Edit2->text()) {
        ShowMsgDlg(this, 3, 0, QStringLiteral("Błędne hasło"));
        return false;
    }
    const int32_t previous = m_store.storedHash();
    m_store.setStoredHash(PasswordHash(Edit1->text()));
    if (!m_store.SavePassword()) {
        // The file keeps the old password, so no change may be reported: the
        // operator is told and stays in the dialog to retry or cancel.
        m_store.setStoredHash(previous);
        ShowMsgDlg(this, 3, 0, QStringLiteral("Brak dostępu"));
        return false;
    }
    return true;
}
