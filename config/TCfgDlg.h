#pragma once

#include <QDialog>
#include <QHash>
#include <QList>
#include <QString>

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QItemSelection;
class QPoint;
class QStatusBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

// The order of the client lists: texts compared byte by byte on their
// Windows-1250 form, bytes as unsigned values, only "a" to "z" folded to upper
// case, a prefix before the longer text. Negative, zero or positive like
// strcmp.
int compareClientTexts(const QString &a, const QString &b);

// The configuration dialog: the client database, the authorized clients and
// the start mode, edited in memory and written to data/Hollvan.cf only when the
// operator saves. Created with its owner, shown once with exec(), destroyed
// afterwards; it returns no result of interest.
class TCfgDlg : public QDialog
{
    Q_OBJECT

public:
    explicit TCfgDlg(QWidget *owner);
    ~TCfgDlg() override;

    // Every way of closing (Cancel, Exit, Escape, the title bar) comes here and
    // goes through FormCloseQuery, which may keep the dialog open.
    void done(int result) override;
    void reject() override;

    // Shows the program's message dialog over this one and returns its modal
    // result (1 is consent).
    int AskUser(int kind, int buttons, const QString &text);
    // The highest row index whose IP equals ip exactly, -1 if none.
    static int FindClient(const QTreeWidget *list, const QString &ip);
    static void CheckAll(QTreeWidget *list, bool state);
    // Adds the client, or merges it into the row of the same IP: the same name
    // only checks that row, another name is taken after the operator agrees
    // (in the database list it renames the authorized row too).
    void AddOrUpdateClient(QTreeWidget *list, const QString &ip, const QString &name);
    // Fills both lists and the Autostart state from the configuration file,
    // creating a default file when there is none.
    void LoadConfiguration();
    // Writes the file from the lists; false after telling the operator that it
    // could not be written.
    bool SaveConfiguration();

    bool saved() const { return Saved; }
    bool exitRequested() const { return ExitRequested; }
    bool autostartAsRead() const { return AutostartRead; }
    // The list the context menu acts on.
    QTreeWidget *contextList() const;
    // 0: by IP, 1: by name; one key for both lists.
    int sortKey() const { return SortKey; }

    QGroupBox *GroupBoxDbase = nullptr;
    QTreeWidget *ListViewDbase = nullptr;
    QGroupBox *GroupBoxAuthor = nullptr;
    QTreeWidget *ListViewAuthor = nullptr;
    QToolButton *SpeedButtonTo = nullptr;
    QToolButton *SpeedButtonFrom = nullptr;
    QToolButton *SpeedButtonNew = nullptr;
    QToolButton *SpeedButtonOut = nullptr;
    QGroupBox *GroupBoxNew = nullptr;
    QLabel *PanelIP = nullptr;
    QLineEdit *EditIP = nullptr;
    QLabel *PanelName = nullptr;
    QLineEdit *EditName = nullptr;
    QFrame *PanelAuto = nullptr;
    QCheckBox *CheckBoxAuto = nullptr;
    QToolButton *SpeedButtonHelp = nullptr;
    QGroupBox *GroupBoxBtn = nullptr;
    QFrame *PanelBtn = nullptr;
    QLabel *StaticTextSave = nullptr;
    QToolButton *SpeedButtonSave = nullptr;
    QLabel *StaticTextExit = nullptr;
    QToolButton *SpeedButtonExit = nullptr;
    QLabel *StaticTextCancel = nullptr;
    QToolButton *SpeedButtonCancel = nullptr;
    QStatusBar *StatusBarCfg = nullptr;
    QMenu *PopupMenuList = nullptr;
    QAction *PopupMenuSelectAll = nullptr;
    QAction *PopupMenuUnselectAll = nullptr;
    QAction *PopupMenuOrderByIP = nullptr;
    QAction *PopupMenuOrderByName = nullptr;

signals:
    // The help button asks for the page "dbase.html"; the main window opens it
    // with the program's help pages.
    void helpRequested();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void connectHandlers();
    void setHints();
    void watchMouse(QWidget *widget, void (TCfgDlg::*handler)());
    void addColumns(QTreeWidget *list);
    void sortList(QTreeWidget *list);
    void ListViewAuthorDataChanged(int column, const QList<int> &roles);

    void FormShow();
    bool FormCloseQuery();

    void ListViewDbaseSelectionChanged(const QItemSelection &selected,
                                       const QItemSelection &deselected);
    // Runs both for the row that loses the highlight and the one that gains it.
    void ListViewDbaseSelectItem(QTreeWidgetItem *item);
    void ListViewDbaseContextPopup(const QPoint &pos);
    void ListViewAuthorContextPopup(const QPoint &pos);
    void PopupMenuListPopup();
    void PopupMenuSelectAllClick();
    void PopupMenuUnselectAllClick();
    void PopupMenuOrderByIPClick();
    void PopupMenuOrderByNameClick();

    void SpeedButtonNewClick();
    void SpeedButtonOutClick();
    void SpeedButtonToClick();
    void SpeedButtonFromClick();
    void SpeedButtonSaveClick();
    void SpeedButtonExitClick();
    void SpeedButtonCancelClick();
    void SpeedButtonHelpClick();

    void SpeedButtonNewMouseMove();
    void SpeedButtonOutMouseMove();
    void SpeedButtonToMouseMove();
    void SpeedButtonFromMouseMove();
    void SpeedButtonSaveMouseMove();
    void SpeedButtonExitMouseMove();
    void SpeedButtonCancelMouseMove();
    void ListViewDbaseMouseMove();
    void ListViewAuthorMouseMove();
    void GroupBoxNewMouseMove();
    void PanelAutoMouseMove();
    void CheckBoxAutoMouseMove();
    void SpeedButtonHelpMouseMove();
    void FormMouseMove();
    void PanelBtnMouseMove();
    void GroupBoxBtnMouseMove();

    QString m_configPath;
    bool AutostartRead = false;
    bool Saved = false;
    bool ExitRequested = false;
    bool ContextList = false; // true: the database list
    int SortKey = 0;
    QHash<QObject *, void (TCfgDlg::*)()> m_mouseHandlers;
};
