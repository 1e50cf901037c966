#pragma once

#include "serial/ComTypes.h"
#include "serial/CommModel.h"
#include "serial/EComPort.h"
#include "serial/TAsync.h"
#include "serial/TComLink.h"
#include "serial/TComSettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class PosixDevice;
class TComThread;

using TRxCharEvent = std::function<void(TCustomComPort *Sender, int32_t Count)>;
using TRxBufEvent
    = std::function<void(TCustomComPort *Sender, const QByteArray &Buffer, int32_t Count)>;
using TComSignalEvent = std::function<void(TCustomComPort *Sender, bool OnOff)>;
using TComErrorEvent = std::function<void(TCustomComPort *Sender, TComErrors Errors)>;

// One serial device: its settings, opening and configuring it, an event
// thread that reports what the device does, reading and writing.
//
// Settings changed on a closed port take effect at Open, which applies them
// all; on an open port each change re-applies its group (buffer sizes,
// control block, time limits) unless an update is in progress
// (BeginUpdate/EndUpdate). Every failure raises EComPort.
//
// While the port is open and Events is not empty, an event thread waits on
// the device; each completed wait is handed over as SyncMethod says (the
// default smThreadSync runs the handlers on the GUI thread while the event
// thread waits). Handlers are std::function properties; Sender is the port.
class TCustomComPort : public QObject
{
    Q_OBJECT

public:
    explicit TCustomComPort(QObject *AOwner = nullptr);
    ~TCustomComPort() override;

    // ---- opening, closing, configuring ----
    void Open();
    void Close();
    void BeginUpdate();
    void EndUpdate();

    // ---- settings ----
    bool Connected() const { return FConnected; }
    void SetConnected(bool Value);
    TBaudRate BaudRate() const { return FBaudRate; }
    void SetBaudRate(TBaudRate Value);
    int32_t CustomBaudRate() const { return FCustomBaudRate; }
    void SetCustomBaudRate(int32_t Value);
    QString Port() const { return FPort; }
    void SetPort(const QString &Value);
    TComParity *Parity() const { return FParity.get(); }
    void SetParity(const TComParity &Value);
    TStopBits StopBits() const { return FStopBits; }
    void SetStopBits(TStopBits Value);
    TDataBits DataBits() const { return FDataBits; }
    void SetDataBits(TDataBits Value);
    bool DiscardNull() const { return FDiscardNull; }
    void SetDiscardNull(bool Value);
    char EventChar() const { return FEventChar; }
    void SetEventChar(char Value);
    TComEvents Events() const { return FEvents; }
    void SetEvents(TComEvents Value);
    TComBuffer *Buffer() const { return FBuffer.get(); }
    void SetBuffer(const TComBuffer &Value);
    TComFlowControl *FlowControl() const { return FFlowControl.get(); }
    void SetFlowControl(const TComFlowControl &Value);
    TComTimeouts *Timeouts() const { return FTimeouts.get(); }
    void SetTimeouts(const TComTimeouts &Value);
    TSyncMethod SyncMethod() const { return FSyncMethod; }
    void SetSyncMethod(TSyncMethod Value);
    bool TriggersOnRxChar() const { return GetTriggersOnRxChar(); }
    bool GetTriggersOnRxChar() const { return FTriggersOnRxChar; }
    void SetTriggersOnRxChar(bool Value);
    TThreadPriority EventThreadPriority() const { return FEventThreadPriority; }
    void SetEventThreadPriority(TThreadPriority Value);

    // ---- run-time state ----
    int Handle() const; // the device's descriptor; -1 while closed
    int32_t UpdateCount() const { return FUpdateCount; }
    bool ThreadCreated() const { return FThreadCreated; }
    bool LinkedToRxBuf() const { return FLinkedToRxBuf; }
    const std::vector<TComLink *> &Links() const { return FLinks; }
    // The control block that ApplyDCB sends, built from the settings.
    DeviceControlBlock BuildDCB() const;

    // ---- modem lines and line functions ----
    TComSignals Signals();
    TComStateFlags StateFlags();
    TComErrors LastErrors(); // and clears the device's error state
    void SetBreak(bool OnOff);
    void SetDTR(bool OnOff);
    void SetRTS(bool OnOff);
    void SetXonXoff(bool OnOff);
    void ClearBuffer(bool Input, bool Output);

    // ---- reading and writing ----
    // The asynchronous forms return what was transferred at once (0 while
    // the request is pending); WaitForAsync waits for the request to end.
    int32_t WriteAsync(const char *Buffer, int32_t Count, PAsync &AsyncPtr);
    int32_t Write(const char *Buffer, int32_t Count);
    int32_t WriteStrAsync(const QByteArray &Str, PAsync &AsyncPtr);
    int32_t WriteStr(const QByteArray &Str);
    int32_t ReadAsync(char *Buffer, int32_t Count, PAsync &AsyncPtr);
    int32_t Read(char *Buffer, int32_t Count);
    int32_t ReadStrAsync(QByteArray &Str, int32_t Count, PAsync &AsyncPtr);
    int32_t ReadStr(QByteArray &Str, int32_t Count);
    int32_t WaitForAsync(PAsync &AsyncPtr);
    bool IsAsyncCompleted(PAsync AsyncPtr);
    void AbortAllAsync();
    int32_t InputCount();
    int32_t OutputCount();
    void TransmitChar(char Ch);
    // Waits without the event thread (Events empty at Open) for one of Events,
    // at most Timeout ms (negative: no limit), or until StopEvent (a
    // descriptor that becomes readable; 0 or negative for none) is signalled.
    // Events becomes what occurred (empty after a time-out or a stop).
    void WaitForEvent(TComEvents &Events, int StopEvent, int32_t Timeout);

    // ---- links ----
    void RegisterLink(TComLink *AComLink);
    void UnRegisterLink(TComLink *AComLink);

    // ---- events ----
    std::function<void(TCustomComPort *Sender)> OnBeforeOpen;
    std::function<void(TCustomComPort *Sender)> OnAfterOpen;
    std::function<void(TCustomComPort *Sender)> OnBeforeClose;
    std::function<void(TCustomComPort *Sender)> OnAfterClose;
    TRxCharEvent OnRxChar;
    TRxBufEvent OnRxBuf;
    std::function<void(TCustomComPort *Sender)> OnTxEmpty;
    std::function<void(TCustomComPort *Sender)> OnBreak;
    std::function<void(TCustomComPort *Sender)> OnRing;
    std::function<void(TCustomComPort *Sender)> OnRxFlag;
    std::function<void(TCustomComPort *Sender)> OnRx80Full;
    TComSignalEvent OnCTSChange;
    TComSignalEvent OnDSRChange;
    TComSignalEvent OnRLSDChange;
    TComErrorEvent OnError;

protected:
    // Steps of Open and Close.
    virtual void CreateHandle();
    virtual void DestroyHandle();
    virtual void SetupComPort();

    virtual void DoAfterClose();
    virtual void DoAfterOpen();
    virtual void DoBeforeClose();
    virtual void DoBeforeOpen();
    virtual void DoRxChar(int32_t Count);
    virtual void DoRxBuf(const QByteArray &Buffer, int32_t Count);
    virtual void DoTxEmpty();
    virtual void DoBreak();
    virtual void DoRing();
    virtual void DoRxFlag();
    virtual void DoCTSChange(bool OnOff);
    virtual void DoDSRChange(bool OnOff);
    virtual void DoError(TComErrors Errors);
    virtual void DoRLSDChange(bool OnOff);
    virtual void DoRx80Full();

    // Send one group of settings to the open device; nothing happens while
    // the port is closed or an update is in progress.
    virtual void ApplyDCB();
    virtual void ApplyTimeouts();
    virtual void ApplyBuffer();

    // Per-event operations of the dispatch of one completed wait.
    void CallError();
    void CallRxChar();
    void CallTxEmpty();
    void CallBreak();
    void CallRing();
    void CallCTSChange();
    void CallDSRChange();
    void CallRxFlag();
    void CallRLSDChange();
    void CallRx80Full();
    // Open and close notifications.
    void CallBeforeOpen();
    void CallAfterOpen();
    void CallBeforeClose();
    void CallAfterClose();
    void CheckSignals(bool Open);
    // Delivery of one event code (EV_... value) handed over without waiting
    // (smWindowSync): runs its Call... operation if the port is still open.
    void WindowMethod(uint32_t EventCode);

    bool HasLink() const;
    void NotifyLink(TComLinkEvent Event);
    void SendSignalToLink(TComLinkEvent Event, bool OnOff);
    void TxNotifyLink(const QByteArray &Buffer, int32_t Count);

private:
    friend class TComThread;
    friend class TComTimeouts;
    friend class TComFlowControl;
    friend class TComParity;
    friend class TComBuffer;

    bool applying() const;
    std::shared_ptr<PosixDevice> device() const { return FHandle; }
    void readForBufferConsumers(int32_t &Count);

    std::shared_ptr<PosixDevice> FHandle; // a closed device while the port is closed
    bool FConnected = false;
    bool FClosing = false;
    int32_t FUpdateCount = 0;
    std::unique_ptr<TComThread> FEventThread;
    bool FThreadCreated = false;
    std::unique_ptr<QObject> FNotifyWindow;
    std::vector<TComLink *> FLinks;
    bool FLinkedToRxBuf = false;

    TBaudRate FBaudRate = br9600;
    int32_t FCustomBaudRate = 9600;
    QString FPort = QStringLiteral("COM1");
    std::unique_ptr<TComParity> FParity;
    TStopBits FStopBits = sbOneStopBit;
    TDataBits FDataBits = dbEight;
    bool FDiscardNull = false;
    char FEventChar = 0;
    TComEvents FEvents = allComEvents;
    std::unique_ptr<TComBuffer> FBuffer;
    std::unique_ptr<TComFlowControl> FFlowControl;
    std::unique_ptr<TComTimeouts> FTimeouts;
    TSyncMethod FSyncMethod = smThreadSync;
    bool FTriggersOnRxChar = true;
    TThreadPriority FEventThreadPriority = tpNormal;
};
