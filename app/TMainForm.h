#pragma once

#include "app/EventLog.h"
#include "app/Glyphs.h"
#include "config/DataFile.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <cstdint>

class QPlainTextEdit;
class QPainter;
class QRect;
class QTimer;
class QToolBar;
class QToolButton;
class QWidget;
class TComComboBox;
class TComPort;
class TCustomComPort;
class TCustomWinSocket;
class TPortEdit;
class TServerSocket;
class TStatusBar;
enum class TErrorEvent;

// The main window. It owns the whole server for the life of the process: the
// serial port to the ZMT, the listening socket, the response timer, the event
// log, and the request queue with the flags of the relay and the lock. Every
// handler runs on the GUI thread, so none of this state needs a lock.
class TMainForm : public QMainWindow
{
    Q_OBJECT

public:
    explicit TMainForm(QWidget *parent = nullptr);
    ~TMainForm() override;

    // Components.
    TComPort *ComPort = nullptr;
    TServerSocket *ServerSocket = nullptr;
    QTimer *TimerZMT = nullptr;
    QPlainTextEdit *Terminal = nullptr;
    QToolBar *MainToolBar = nullptr;
    QToolButton *SpeedButtonExit = nullptr;
    QToolButton *SpeedButtonPswd = nullptr;
    QToolButton *SpeedButtonCfg = nullptr;
    TComComboBox *ComComboBox = nullptr;
    QToolButton *SpeedButtonOpen = nullptr;
    QToolButton *SpeedButtonClose = nullptr;
    QToolButton *SpeedButtonHelp = nullptr;
    QToolButton *SpeedButtonAbout = nullptr;
    QToolButton *SpeedButtonTest = nullptr;
    QWidget *PanelEmpty = nullptr;
    TPortEdit *EditPort = nullptr;
    TStatusBar *StatusBar = nullptr;
    StatusImageList ImageList;

    // Server-core state.
    bool LoggedIn = false;
    bool Autostart = false;
    bool DeviceBusy = false;
    bool LockActive = false;
    QString LockIP;
    QByteArray CurrentRequest;
    QByteArray ResponseBuffer;
    QStringList AuthorizedIPs;
    QList<QByteArray> RequestTexts;
    QStringList RequestIPs;
    QString ConfigFileName = QStringLiteral("data/Hollvan.cf");
    QString PortSettingsFileName = QStringLiteral("data/Hollvan.pr");
    EventLog Log;

    // Window events.
    void FormCreate();
    void FormShow();
    void FormCloseQuery(bool &CanClose);
    void FormClose();
    void FormDestroy();
    bool shownOnce() const { return m_shown; }

    // Relay.
    void ServerSocketClientRead(QObject *Sender, TCustomWinSocket *Socket);
    void ComPortRxChar(TCustomComPort *Sender, int32_t Count);
    void ComPortRxFlag(TCustomComPort *Sender);
    void TimerZMTTimer();
    void SendNext();
    void DropHead();
    int32_t ConnectionCount() const;
    int32_t FindConnection(const QString &ip) const;

    // Lock.
    bool IsLockRequest() const;
    bool IsUnlockRequest() const;

    // Admission and connection events.
    void ServerSocketListen(QObject *Sender, TCustomWinSocket *Socket);
    void ServerSocketAccept(QObject *Sender, TCustomWinSocket *Socket);
    void ServerSocketClientConnect(QObject *Sender, TCustomWinSocket *Socket);
    void ServerSocketClientDisconnect(QObject *Sender, TCustomWinSocket *Socket);
    void ServerSocketClientError(QObject *Sender, TCustomWinSocket *Socket, TErrorEvent ErrorEvent,
                                 int32_t &ErrorCode);

    // Event log.
    void AddLogLine(bool withTime, const QString &text);
    void OpenLogFile();
    int32_t CountLogFiles() const;
    void PruneLogFiles();

    // Data files.
    void ReadAutostart();
    void ReadAuthorizedClients();
    void ReadPortSettings();
    void WritePortSettings();

    // Open and close sequences, controls.
    bool OpenSerialPort(const QString &portName);
    bool ActivateServer();
    void CloseSerialPort();
    void DeactivateServer();
    void CloseAll();
    void RefreshControls();
    void RefreshStatusTexts();
    QString SelectedPortName() const;

    // Toolbar.
    void SpeedButtonExitClick();
    void SpeedButtonOpenClick();
    void SpeedButtonCloseClick();
    void SpeedButtonPswdClick();
    void SpeedButtonCfgClick();
    void SpeedButtonHelpClick();
    void SpeedButtonAboutClick();
    void FormResize();
    void StatusBarDrawPanel(TStatusBar *Sender, int Panel, const QRect &Rect, QPainter &Canvas);
    int OpenHelpPage(int pageKind);

    int ShowMsgDlg(int kind, int buttons, const QString &text);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void createComponents();
    // Tells the operator why the configuration file cannot be read.
    bool configurationReadable(FileStatus status);
    void updateQueueLamp();
    QToolButton *addSpeedButton(const QString &name, Glyph glyph, void (TMainForm::*handler)());

    bool m_shown = false;
    bool m_closing = false;
    // A failed write to the device is shown once; while the device stays
    // unusable the following failures are not shown again.
    bool m_writeFailing = false;
    // Likewise a log folder that cannot take a new file.
    bool m_logFailing = false;
    // What the status bar shows now: the lamp as last drawn, the state and
    // connection count of the texts (-1: not set yet).
    bool m_lampDrawnLit = false;
    QTimer *m_lampTimer = nullptr;
    QElapsedTimer m_lampClock; // since the lamp was last asked to repaint
    int m_statusTextState = -1;
    int32_t m_statusTextCount = -1;
};
