#include "app/TMainForm.h"

#include "app/HelpPages.h"
#include "app/TAboutDlg.h"
#include "app/TPortEdit.h"
#include "app/TStatusBar.h"
#include "app/dialogs/TMsgDlg.h"
#include "app/support/ExceptionDisplay.h"
#include "config/ConfigFile.h"
#include "config/PortSettingsFile.h"
#include "config/TCfgDlg.h"
#include "config/TPswdDlg.h"
#include "net/SocketErrors.h"
#include "net/TServerSocket.h"
#include "serial/TComComboBox.h"
#include "serial/TComPort.h"

#include <QAbstractEventDispatcher>
#include <QCloseEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <ctime>

namespace {

const QByteArray LockReplyAccepted = QByteArrayLiteral("EXE 000\r\n");
const QByteArray LockReplyRefused = QByteArrayLiteral("LOCK\r\n");
constexpr int ResponseTimeoutMs = 5000;
constexpr int MemoLines = 400;
constexpr qint64 LampRefreshMs = 40;

// The local time of day in the system's long time format.
QString longTimeText()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[64];
    const size_t n = std::strftime(buffer, sizeof buffer, "%X", &local);
    return QString::fromLocal8Bit(buffer, qsizetype(n));
}

} // namespace

TMainForm::TMainForm(QWidget *parent)
    : QMainWindow(parent)
{
    createComponents();
    FormCreate();
}

TMainForm::~TMainForm()
{
    FormDestroy();
    // The port and the server go before the rest of the window: closing the
    // port may still run a hand-over from its event thread, and that must not
    // reach a half-destroyed window.
    ComPort->OnRxChar = nullptr;
    ComPort->OnRxFlag = nullptr;
    delete ComPort;
    ComPort = nullptr;
    ServerSocket->OnListen = nullptr;
    ServerSocket->OnAccept = nullptr;
    ServerSocket->OnClientConnect = nullptr;
    ServerSocket->OnClientDisconnect = nullptr;
    ServerSocket->OnClientRead = nullptr;
    ServerSocket->OnClientError = nullptr;
    delete ServerSocket;
    ServerSocket = nullptr;
}

QToolButton *TMainForm::addSpeedButton(const QString &name, Glyph glyph,
                                       void (TMainForm::*handler)())
{
    auto *button = new QToolButton(MainToolBar);
    button->setObjectName(name);
    button->setAutoRaise(true);
    button->setFixedSize(25, 24);
    button->setIcon(glyphIcon(glyph));
    button->setIconSize(QSize(GlyphSize, GlyphSize));
    if (handler) {
        connect(button, &QToolButton::clicked, this,
                [this, handler] { runGuarded([&] { (this->*handler)(); }); });
    }
    MainToolBar->addWidget(button);
    return button;
}

void TMainForm::createComponents()
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Hollvan"));
    resize(480, 400);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    // The application's port to the ZMT: 9600 8N1, no handshake, DTR held
    // off, RTS held on, line feed as the event character, every event.
    ComPort = new TComPort(this);
    ComPort->setObjectName(QStringLiteral("ComPort"));
    ComPort->SetBaudRate(br9600);
    ComPort->SetPort(QStringLiteral("COM1"));
    ComPort->Parity()->SetBits(prNone);
    ComPort->SetStopBits(sbOneStopBit);
    ComPort->SetDataBits(dbEight);
    ComPort->SetEventChar('\n');
    ComPort->SetEvents(allComEvents);
    ComPort->FlowControl()->SetOutCTSFlow(false);
    ComPort->FlowControl()->SetOutDSRFlow(false);
    ComPort->FlowControl()->SetControlDTR(dtrDisable);
    ComPort->FlowControl()->SetControlRTS(rtsEnable);
    ComPort->FlowControl()->SetXonXoffOut(false);
    ComPort->FlowControl()->SetXonXoffIn(false);
    ComPort->OnRxChar = [this](TCustomComPort *sender, int32_t count) { ComPortRxChar(sender, count); };
    ComPort->OnRxFlag = [this](TCustomComPort *sender) { ComPortRxFlag(sender); };

    MainToolBar = new QToolBar(this);
    MainToolBar->setObjectName(QStringLiteral("MainToolBar"));
    // Flat buttons side by side: the port entry's panel takes what the
    // buttons leave, so the toolbar adds no handle, spacing or margins.
    MainToolBar->setMovable(false);
    MainToolBar->setFloatable(false);
    MainToolBar->layout()->setSpacing(0);
    MainToolBar->layout()->setContentsMargins(0, 0, 0, 0);
    MainToolBar->setContentsMargins(0, 0, 0, 0);
    addToolBar(Qt::TopToolBarArea, MainToolBar);
    SpeedButtonExit = addSpeedButton(QStringLiteral("SpeedButtonExit"), Glyph::Exit,
                                     &TMainForm::SpeedButtonExitClick);
    SpeedButtonPswd = addSpeedButton(QStringLiteral("SpeedButtonPswd"), Glyph::Pswd,
                                     &TMainForm::SpeedButtonPswdClick);
    SpeedButtonCfg = addSpeedButton(QStringLiteral("SpeedButtonCfg"), Glyph::Cfg,
                                    &TMainForm::SpeedButtonCfgClick);

    // The serial port selector lists the machine's ports once, while the
    // window is built, and starts on the port component's own name.
    ComComboBox = new TComComboBox(MainToolBar);
    ComComboBox->setObjectName(QStringLiteral("ComComboBox"));
    ComComboBox->setFixedWidth(75);
    ComComboBox->SetComProperty(cpPort);
    ComComboBox->SetText(QStringLiteral("COM1"));
    ComComboBox->SetComPort(ComPort);
    ComComboBox->SetAutoApply(true);
    MainToolBar->addWidget(ComComboBox);

    SpeedButtonOpen = addSpeedButton(QStringLiteral("SpeedButtonOpen"), Glyph::Open,
                                     &TMainForm::SpeedButtonOpenClick);
    SpeedButtonClose = addSpeedButton(QStringLiteral("SpeedButtonClose"), Glyph::Close,
                                      &TMainForm::SpeedButtonCloseClick);
    PanelEmpty = new QWidget(MainToolBar);
    PanelEmpty->setObjectName(QStringLiteral("PanelEmpty"));
    PanelEmpty->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    EditPort = new TPortEdit(PanelEmpty);
    EditPort->move(32, 0);
    EditPort->resize(105, 22);
    SpeedButtonTest = new QToolButton(PanelEmpty);
    SpeedButtonTest->setObjectName(QStringLiteral("SpeedButtonTest"));
    SpeedButtonTest->setIcon(glyphIcon(Glyph::Test));
    SpeedButtonTest->setAutoRaise(true);
    SpeedButtonTest->move(194, 0);
    MainToolBar->addWidget(PanelEmpty);
    SpeedButtonHelp = addSpeedButton(QStringLiteral("SpeedButtonHelp"), Glyph::Help,
                                     &TMainForm::SpeedButtonHelpClick);
    SpeedButtonAbout = addSpeedButton(QStringLiteral("SpeedButtonAbout"), Glyph::About,
                                      &TMainForm::SpeedButtonAboutClick);

    Terminal = new QPlainTextEdit(this);
    Terminal->setObjectName(QStringLiteral("Terminal"));
    Terminal->setReadOnly(true);
    Terminal->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Terminal->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Terminal->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Terminal->setMaximumBlockCount(MemoLines);

    StatusBar = new TStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->OnDrawPanel = [this](TStatusBar *sender, int panel, const QRect &rect,
                                    QPainter &canvas) {
        StatusBarDrawPanel(sender, panel, rect, canvas);
    };

    auto *client = new QWidget(this);
    auto *layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Terminal);
    layout->addWidget(StatusBar);
    setCentralWidget(client);

    ServerSocket = new TServerSocket(this);
    ServerSocket->setObjectName(QStringLiteral("ServerSocket"));
    ServerSocket->SetPort(1962);
    ServerSocket->OnListen = [this](QObject *s, TCustomWinSocket *c) { ServerSocketListen(s, c); };
    ServerSocket->OnAccept = [this](QObject *s, TCustomWinSocket *c) { ServerSocketAccept(s, c); };
    ServerSocket->OnClientConnect
        = [this](QObject *s, TCustomWinSocket *c) { ServerSocketClientConnect(s, c); };
    ServerSocket->OnClientDisconnect
        = [this](QObject *s, TCustomWinSocket *c) { ServerSocketClientDisconnect(s, c); };
    ServerSocket->OnClientRead = [this](QObject *s, TCustomWinSocket *c) { ServerSocketClientRead(s, c); };
    ServerSocket->OnClientError = [this](QObject *s, TCustomWinSocket *c, TErrorEvent e, int32_t &code) {
        ServerSocketClientError(s, c, e, code);
    };

    m_lampTimer = new QTimer(this);
    m_lampTimer->setSingleShot(true);
    connect(m_lampTimer, &QTimer::timeout, this,
            [this] { runGuarded([this] { updateQueueLamp(); }); });

    TimerZMT = new QTimer(this);
    TimerZMT->setObjectName(QStringLiteral("TimerZMT"));
    TimerZMT->setSingleShot(true);
    TimerZMT->setInterval(ResponseTimeoutMs);
    connect(TimerZMT, &QTimer::timeout, this, [this] { runGuarded([this] { TimerZMTTimer(); }); });
}

// ---------------------------------------------------------------------------
// Start-up and shutdown

void TMainForm::FormCreate()
{
    LoggedIn = false;
    DeviceBusy = false;
    LockActive = false;
    AuthorizedIPs.clear();
    RequestIPs.clear();
    RequestTexts.clear();
    LockIP.clear();
    OpenLogFile();
    ConfigFileName = QStringLiteral("data/Hollvan.cf");
    PortSettingsFileName = QStringLiteral("data/Hollvan.pr");
    // The status texts catch up each time the event queue runs empty, so the
    // connection count follows the deferred release of closed connections.
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            [this] { runGuarded([this] { RefreshStatusTexts(); }); });
}

void TMainForm::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    // The start-up sequence may ask the operator (a missing configuration
    // file, say); it runs from the loop once the window is on screen rather
    // than inside the show event.
    QMetaObject::invokeMethod(this, [this] { runGuarded([this] { FormShow(); }); }, Qt::QueuedConnection);
}

void TMainForm::FormShow()
{
    SpeedButtonExit->setToolTip(QStringLiteral("Wyjście"));
    SpeedButtonHelp->setToolTip(QStringLiteral("Pomoc"));
    SpeedButtonAbout->setToolTip(QStringLiteral("O programie"));
    AddLogLine(true, QStringLiteral("Witamy w programie Hollvan"));
    ReadPortSettings();
    ReadAutostart();
    if (Autostart) {
        LoggedIn = true;
        // Failures here are silent by design: the operator sees the inactive
        // state and can open the port and the server from the toolbar.
        if (OpenSerialPort(SelectedPortName()))
            ActivateServer();
    }
    RefreshControls();
    SpeedButtonTest->hide();
    PruneLogFiles();
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    bool canClose = true;
    runGuarded([&] { FormCloseQuery(canClose); });
    if (!canClose) {
        event->ignore();
        return;
    }
    runGuarded([this] { FormClose(); });
    event->accept();
}

void TMainForm::FormCloseQuery(bool &CanClose)
{
    WritePortSettings();
    const int32_t n = ConnectionCount();
    if (n < 0)
        return;
    if (n == 0) {
        if (ShowMsgDlg(2, 2, QStringLiteral("Serwer zostanie zamknięty\nJestes pewien?")) == 1)
            DeactivateServer();
        else
            CanClose = false;
        return;
    }
    if (ShowMsgDlg(2, 1, QStringLiteral("Niektóre połączenia są aktywne\nZamknąc serwer?")) != 1) {
        CanClose = false;
        return;
    }
    // From the last connection down to the first: a closed connection keeps
    // its place until it is released, so the indices stay valid.
    TServerWinSocket *listener = ServerSocket->ServerWinSocket();
    for (int32_t i = listener->ClientCount() - 1; i >= 0; --i)
        listener->ClientAt(i)->CloseConnection();
    DeactivateServer();
}

void TMainForm::FormClose()
{
    Log.close();
}

void TMainForm::FormDestroy()
{
    RequestTexts.clear();
    RequestIPs.clear();
    AuthorizedIPs.clear();
    Log.close();
}

void TMainForm::SpeedButtonExitClick()
{
    close();
}

// ---------------------------------------------------------------------------
// Relay

void TMainForm::ServerSocketClientRead(QObject *, TCustomWinSocket *Socket)
{
    CurrentRequest = Socket->ReceivePending();
    const QString ip = Socket->PeerAddress();

    // Lock step: lock commands are answered here and never reach the device.
    if (!LockActive) {
        if (IsUnlockRequest()) {
            Socket->SendString(LockReplyAccepted);
            return;
        }
        if (IsLockRequest()) {
            LockActive = true;
            LockIP = ip;
            AddLogLine(true, QStringLiteral("Blokada włączona przez IP=[%1]").arg(ip));
            Socket->SendString(LockReplyAccepted);
            return;
        }
    } else {
        if (ip != LockIP) {
            Socket->SendString(LockReplyRefused);
            return;
        }
        if (IsLockRequest()) {
            Socket->SendString(LockReplyAccepted);
            return;
        }
        if (IsUnlockRequest()) {
            AddLogLine(true, QStringLiteral("Blokada wyłączona"));
            Socket->SendString(LockReplyAccepted);
            LockActive = false;
            return;
        }
    }

    RequestTexts.append(CurrentRequest);
    RequestIPs.append(ip);
    if (!DeviceBusy) {
        SendNext();
        updateQueueLamp();
    }
}

void TMainForm::SendNext()
{
    if (RequestTexts.isEmpty())
        return;
    CurrentRequest = RequestTexts.first();
    try {
        ComPort->WriteStr(CurrentRequest);
        m_writeFailing = false;
    } catch (const EComPort &) {
        // The device could not take the request (port closed under us, device
        // unplugged). The request is handled like one the device did not
        // answer: its time-out drops it and the queue moves on, so the relay
        // recovers by itself once the device is usable again. The first
        // failure of a run is shown; repeats would only stack message boxes.
        TimerZMT->start(ResponseTimeoutMs);
        DeviceBusy = true;
        if (!m_writeFailing) {
            m_writeFailing = true;
            throw;
        }
        return;
    }
    TimerZMT->start(ResponseTimeoutMs);
    DeviceBusy = true;
}

void TMainForm::ComPortRxChar(TCustomComPort *, int32_t Count)
{
    QByteArray s;
    ComPort->ReadStr(s, Count);
    ResponseBuffer.append(s);
}

void TMainForm::ComPortRxFlag(TCustomComPort *)
{
    QString ip;
    if (!RequestIPs.isEmpty())
        ip = RequestIPs.first();
    else if (LockActive)
        ip = LockIP;
    else
        return; // unsolicited output waits in the buffer for the next answer
    const int32_t i = FindConnection(ip);
    if (i >= 0)
        ServerSocket->ServerWinSocket()->ClientAt(i)->SendString(ResponseBuffer);
    DropHead();
    SendNext();
}

void TMainForm::TimerZMTTimer()
{
    TimerZMT->stop();
    DropHead();
    SendNext();
}

void TMainForm::DropHead()
{
    TimerZMT->stop();
    DeviceBusy = false;
    ResponseBuffer.clear();
    if (!RequestTexts.isEmpty())
        RequestTexts.removeFirst();
    if (!RequestIPs.isEmpty())
        RequestIPs.removeFirst();
    updateQueueLamp();
}

void TMainForm::updateQueueLamp()
{
    // Of the status bar only the lamp follows the queue, and only when it
    // goes from empty to waiting or back. With one busy client that happens
    // twice a request, thousands of times a second: the lamp is repainted at
    // most every LampRefreshMs, which the eye cannot tell from every change,
    // and a request costs the event loop no repaint of its own.
    if (RequestTexts.isEmpty() != m_lampDrawnLit || m_lampTimer->isActive())
        return;
    const qint64 since = m_lampClock.isValid() ? m_lampClock.elapsed() : LampRefreshMs;
    if (since < LampRefreshMs) {
        m_lampTimer->start(int(LampRefreshMs - since));
        return;
    }
    m_lampClock.start();
    StatusBar->update(StatusBar->panelRect(2));
}

int32_t TMainForm::ConnectionCount() const
{
    if (!ServerSocket->Active())
        return -1;
    return ServerSocket->ServerWinSocket()->ClientCount();
}

int32_t TMainForm::FindConnection(const QString &ip) const
{
    const int32_t n = ConnectionCount();
    if (n <= 0)
        return -1;
    // The last-accepted connection of an address gets its answers.
    for (int32_t i = n - 1; i >= 0; --i) {
        if (ServerSocket->ServerWinSocket()->ClientAt(i)->PeerAddress() == ip)
            return i;
    }
    return -1;
}

bool TMainForm::IsLockRequest() const
{
    return CurrentRequest.toUpper().contains("LOCKE");
}

bool TMainForm::IsUnlockRequest() const
{
    return CurrentRequest.toUpper().contains("LOCKD");
}

// ---------------------------------------------------------------------------
// Admission and connection events

void TMainForm::ServerSocketListen(QObject *, TCustomWinSocket *)
{
    ReadAuthorizedClients();
    LockActive = false;
    RefreshControls();
}

void TMainForm::ServerSocketAccept(QObject *, TCustomWinSocket *) {}

void TMainForm::ServerSocketClientConnect(QObject *, TCustomWinSocket *Socket)
{
    const QString ip = Socket->PeerAddress();
    int32_t k = -1;
    for (int32_t i = 0; i < AuthorizedIPs.size(); ++i) {
        if (AuthorizedIPs.at(i).compare(ip, Qt::CaseInsensitive) == 0) {
            k = i;
            break;
        }
    }
    QString line = QStringLiteral("Nowe połączenie IP=[%1] ").arg(ip);
    if (k < 0) {
        line += QStringLiteral("zostało odrzucone");
        Socket->CloseConnection();
    } else {
        line += QStringLiteral("zostało przyjęte");
    }
    AddLogLine(true, line);
    RefreshControls();
}

void TMainForm::ServerSocketClientDisconnect(QObject *, TCustomWinSocket *Socket)
{
    const QString ip = Socket->PeerAddress();
    AddLogLine(true, QStringLiteral("Rozłączenie IP=[%1]").arg(ip));
    if (LockActive && ip == LockIP) {
        LockActive = false;
        AddLogLine(true, QStringLiteral("Blokada wyłączona"));
    }
    RefreshControls();
}

void TMainForm::ServerSocketClientError(QObject *, TCustomWinSocket *Socket, TErrorEvent,
                                        int32_t &ErrorCode)
{
    const QString ip = Socket->PeerAddress();
    const QString line
        = QStringLiteral("Error #%1 [%2] %3").arg(ErrorCode).arg(ip, wsaErrorText(ErrorCode));
    ErrorCode = 0;
    AddLogLine(true, line);
    if (Socket->IsConnected())
        Socket->CloseConnection();
}

// ---------------------------------------------------------------------------
// Event log

void TMainForm::AddLogLine(bool withTime, const QString &text)
{
    const QString line = (withTime ? longTimeText() : QString()) + QStringLiteral("> ") + text;
    // The memo keeps the latest lines only, so a long run does not grow the
    // window's memory; a wrapped line is still one line here.
    Terminal->appendPlainText(line);
    if (Log.write(line))
        OpenLogFile();
}

void TMainForm::OpenLogFile()
{
    // A failed rotation keeps the open file in use and is tried again after
    // the next 10000 characters; the operator hears of it once, not at every
    // try, until a file can be opened again.
    if (Log.OpenLogFile()) {
        m_logFailing = false;
    } else if (!m_logFailing) {
        m_logFailing = true;
        ShowMsgDlg(3, 0, QStringLiteral("Plik log nie może byc otwarty"));
    }
}

int32_t TMainForm::CountLogFiles() const
{
    return Log.CountLogFiles();
}

void TMainForm::PruneLogFiles()
{
    Log.PruneLogFiles();
}

// ---------------------------------------------------------------------------
// Data files

bool TMainForm::configurationReadable(FileStatus status)
{
    switch (status) {
    case FileStatus::Missing:
        ShowMsgDlg(2, 0, QStringLiteral("Nie znaleziono pliku konfiguracyjnego"));
        return false;
    case FileStatus::Unreadable:
        ShowMsgDlg(3, 0, QStringLiteral("Brak dostępu do pliku konfiguracyjnego"));
        return false;
    case FileStatus::Ok:
        break;
    }
    return true;
}

void TMainForm::ReadAutostart()
{
    const AutostartSetting result = readAutostart(ConfigFileName);
    if (!configurationReadable(result.status))
        return;
    Autostart = result.autostart;
    if (Autostart)
        AddLogLine(true, QStringLiteral("Autostart włączony"));
}

void TMainForm::ReadAuthorizedClients()
{
    const AuthorizedClients result = readAuthorizedClients(ConfigFileName);
    if (!configurationReadable(result.status))
        return;
    AddLogLine(true, QStringLiteral("Autoryzowani klienci:"));
    for (const AuthorizedClient &client : result.clients) {
        AuthorizedIPs.append(client.ip);
        AddLogLine(false, QStringLiteral("%1 IP=[%2]").arg(client.name, client.ip));
    }
}

void TMainForm::ReadPortSettings()
{
    const PortSettings settings = readPortSettings(PortSettingsFileName);
    switch (settings.status) {
    case FileStatus::Missing:
        return;
    case FileStatus::Unreadable:
        ShowMsgDlg(3, 0, QStringLiteral("Brak dostępu do pliku konfiguracyjnego"));
        return;
    case FileStatus::Ok:
        break;
    }
    for (const PortSettingsEntry &entry : settings.entries) {
        if (entry.kind == PortSettingsEntry::SerialPort) {
            QStringList items;
            for (int i = 0; i < ComComboBox->count(); ++i)
                items.append(ComComboBox->itemText(i));
            const int index = choosePortIndex(items, entry.text);
            if (index >= 0) {
                ComComboBox->setCurrentIndex(index);
                ComPort->SetPort(items.at(index));
            }
        } else {
            // The entry judges the text as if it had been typed, a line end
            // read with it included.
            EditPort->setText(entry.text);
        }
    }
}

void TMainForm::WritePortSettings()
{
    if (!writePortSettings(PortSettingsFileName, ComComboBox->GetText(), EditPort->text()))
        ShowMsgDlg(3, 0, QStringLiteral("Brak dostępu"));
}

// ---------------------------------------------------------------------------
// Open and close sequences

QString TMainForm::SelectedPortName() const
{
    return ComComboBox->GetText();
}

bool TMainForm::OpenSerialPort(const QString &portName)
{
    try {
        ComPort->SetPort(portName);
        ComPort->Open();
    } catch (const EComPort &) {
        // Not reported by design: the operator sees that the state did not
        // change and can pick another port.
        return false;
    }
    AddLogLine(true, QStringLiteral("Port szeregowy jest otwarty"));
    return true;
}

bool TMainForm::ActivateServer()
{
    int32_t port = EditPort->PortValue();
    if (port < 1024) {
        EditPort->setText(QStringLiteral("Port:10001"));
        port = 10001;
    }
    try {
        ServerSocket->SetPort(port);
        ServerSocket->SetActive(true);
    } catch (const ESocketError &) {
        // Not reported by design (a port in use, say): the server stays
        // inactive and the operator can try again.
        return false;
    }
    AddLogLine(true, QStringLiteral("Serwer jest aktywny"));
    return true;
}

void TMainForm::DeactivateServer()
{
    try {
        ServerSocket->SetActive(false);
        AddLogLine(true, QStringLiteral("Serwer jest wyłączony"));
    } catch (const ESocketError &) {
        ShowMsgDlg(3, 0, QStringLiteral("Nie można zamknąć serwera"));
    }
}

void TMainForm::CloseSerialPort()
{
    try {
        ComPort->Close();
        AddLogLine(true, QStringLiteral("Port szeregowy jest zamknięty"));
    } catch (const EComPort &) {
        ShowMsgDlg(3, 0, QStringLiteral("Nie można zamknąć portu szeregowego"));
    }
}

void TMainForm::CloseAll()
{
    DeactivateServer();
    CloseSerialPort();
    AuthorizedIPs.clear();
    RequestIPs.clear();
    RequestTexts.clear();
    // The request at the device went with the port: its time-out must not
    // outlive the close and drop the first request after a reopening unwritten.
    DropHead();
    LoggedIn = false;
    // Cleared again by the next start of listening, before any client can
    // connect.
    LockActive = true;
}

void TMainForm::SpeedButtonOpenClick()
{
    if (OpenSerialPort(SelectedPortName()))
        ActivateServer();
    RefreshControls();
}

void TMainForm::SpeedButtonCloseClick()
{
    if (ConnectionCount() <= 0
        || ShowMsgDlg(2, 2, QStringLiteral("Niektóre połączenia są aktywne\nZamknąc serwer?")) == 1)
        CloseAll();
    RefreshControls();
}

void TMainForm::SpeedButtonPswdClick()
{
    // Without an owner the dialog logs the operator in; owned by the window it
    // changes the password of a logged-in operator.
    const bool login = !LoggedIn;
    TPswdDlg dialog(login ? TPswdDlg::Mode::Login : TPswdDlg::Mode::Change, login ? nullptr : this);
    const int result = dialog.exec();
    if (result == 1) {
        if (login) {
            AddLogLine(true, QStringLiteral("Użytkownik zalogowany"));
            LoggedIn = true;
            RefreshControls();
        } else {
            AddLogLine(true, QStringLiteral("Hasło zostało zmienione"));
        }
    } else if (result == 3) {
        AddLogLine(true, QStringLiteral("Niepoprawne hasło"));
    }
}

void TMainForm::SpeedButtonCfgClick()
{
    // The window reloads nothing afterwards: the authorized clients are read
    // again when the server next starts listening.
    TCfgDlg dialog(this);
    connect(&dialog, &TCfgDlg::helpRequested, this,
            [] { openHelpFile(QStringLiteral("dbase.html")); });
    dialog.exec();
}

int TMainForm::OpenHelpPage(int pageKind)
{
    return ::OpenHelpPage(pageKind);
}

void TMainForm::SpeedButtonHelpClick()
{
    OpenHelpPage(helpPageKind(LoggedIn, ComPort->Connected()));
}

void TMainForm::SpeedButtonAboutClick()
{
    TAboutDlg about(nullptr);
    about.exec();
}

void TMainForm::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    runGuarded([this] { FormResize(); });
}

void TMainForm::FormResize()
{
    // The port entry stays between the Close button and the Help and About
    // buttons.
    PanelEmpty->setFixedWidth(qMax(0, width() - 254));
}

void TMainForm::RefreshControls()
{
    const bool configuration = LoggedIn && !ServerSocket->Active();
    const bool transmission = LoggedIn && ServerSocket->Active();
    // A disabled control keeps its hint text; Qt shows no tooltip for it.
    auto set = [](QWidget *control, bool enabled, const QString &hint) {
        control->setEnabled(enabled);
        control->setToolTip(hint);
    };
    set(SpeedButtonPswd, !transmission,
        LoggedIn ? QStringLiteral("Zmień hasło") : QStringLiteral("Wprowadź hasło"));
    set(SpeedButtonCfg, configuration, QStringLiteral("Skonfiguruj serwer"));
    set(ComComboBox, configuration, QStringLiteral("Wybierz port szeregowy dla ZMT"));
    set(EditPort, configuration, QStringLiteral("Wybierz port komunikacyjny dla Pendrik"));
    set(SpeedButtonOpen, configuration, QStringLiteral("Uaktywnij serwer"));
    set(SpeedButtonClose, transmission, QStringLiteral("Zamknij serwer"));
    RefreshStatusTexts();
    StatusBar->update();
}

void TMainForm::RefreshStatusTexts()
{
    // Runs each time the event loop goes idle: the texts are only built
    // when what they show has changed.
    const int32_t count = ServerSocket->Active() ? ConnectionCount() : -1;
    const int stateKey = !LoggedIn ? 0 : (count < 0 ? 1 : 2);
    if (stateKey == m_statusTextState && count == m_statusTextCount)
        return;
    m_statusTextState = stateKey;
    m_statusTextCount = count;
    QString state;
    QString next;
    if (!LoggedIn) {
        state = QStringLiteral("AUTORYZACJA");
        next = QStringLiteral("Wprowadź hasło");
    } else if (!ServerSocket->Active()) {
        state = QStringLiteral("KONFIGURACJA");
        next = QStringLiteral("Włącz serwer");
    } else {
        state = QStringLiteral("TRANSMISJA:%1").arg(ConnectionCount());
        next = QStringLiteral("Wyłącz serwer");
    }
    if (StatusBar->panelText(0) != state)
        StatusBar->setPanelText(0, state);
    if (StatusBar->panelText(4) != next)
        StatusBar->setPanelText(4, next);
}

void TMainForm::StatusBarDrawPanel(TStatusBar *Sender, int Panel, const QRect &Rect, QPainter &Canvas)
{
    int index = 0;
    if (Panel == 2) {
        m_lampDrawnLit = !RequestTexts.isEmpty();
        index = m_lampDrawnLit ? ImageLitBulb : ImageUnlitBulb;
    } else {
        const int state = !LoggedIn ? 0 : (ServerSocket->Active() ? 2 : 1);
        index = Panel == 1 ? ImageRedLamp + state : ImageKey + state;
    }
    const QImage image = ImageList.image(index);
    Sender->setPanelWidth(Panel, image.width() + (Panel == 1 ? 5 : 6));
    drawImageWhiteTransparent(Canvas, Rect.topLeft() + QPoint(1, 2), image);
}

int TMainForm::ShowMsgDlg(int kind, int buttons, const QString &text)
{
    return ::ShowMsgDlg(this, kind, buttons, text);
}
