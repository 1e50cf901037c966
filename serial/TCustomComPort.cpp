#include "serial/TCustomComPort.h"

#include "app/support/ExceptionDisplay.h"
#include "serial/PosixDevice.h"
#include "serial/TComThread.h"
#include "serial/WinError.h"

#include <QScopeGuard>
#include <QtDebug>

#include <algorithm>
#include <system_error>

using namespace WinComm;

namespace {

// A record for one synchronous request, released however the request ends.
class ScopedAsync
{
public:
    ScopedAsync() { InitAsync(m_ptr); }
    ~ScopedAsync() { DoneAsync(m_ptr); }
    ScopedAsync(const ScopedAsync &) = delete;
    ScopedAsync &operator=(const ScopedAsync &) = delete;
    PAsync &ptr() { return m_ptr; }

private:
    PAsync m_ptr = nullptr;
};

void check(int32_t error, int32_t code)
{
    if (error != 0)
        throw EComPort(code, error);
}

} // namespace

TCustomComPort::TCustomComPort(QObject *AOwner)
    : QObject(AOwner)
    , FHandle(std::make_shared<PosixDevice>())
    , FParity(std::make_unique<TComParity>(this))
    , FBuffer(std::make_unique<TComBuffer>(this))
    , FFlowControl(std::make_unique<TComFlowControl>(this))
    , FTimeouts(std::make_unique<TComTimeouts>(this))
{ }

TCustomComPort::~TCustomComPort()
{
    try {
        Close();
    } catch (const std::exception &e) {
        // The port goes anyway: end the thread and release the device.
        qWarning("Hollvan: closing the serial port failed: %s", e.what());
    } catch (...) {
        qWarning("Hollvan: closing the serial port failed");
    }
    FClosing = true;
    FEventThread.reset();
    FThreadCreated = false;
    FNotifyWindow.reset();
    FHandle->close();
}

// ---- opening, closing, configuring ----

void TCustomComPort::Open()
{
    if (FConnected)
        return;
    CallBeforeOpen();
    CreateHandle();
    FConnected = true;
    try {
        SetupComPort();
        if (FEvents.isEmpty()) {
            FThreadCreated = false;
        } else {
            if (FSyncMethod == smWindowSync)
                FNotifyWindow = std::make_unique<QObject>();
            FEventThread = std::make_unique<TComThread>(this);
            FThreadCreated = true;
        }
    } catch (const std::system_error &e) {
        FNotifyWindow.reset();
        DestroyHandle();
        FConnected = false;
        throw EComPort(ComErrOpen, WinError::fromErrno(e.code().value()));
    } catch (...) {
        FNotifyWindow.reset();
        DestroyHandle();
        FConnected = false;
        throw;
    }
    CallAfterOpen();
}

void TCustomComPort::Close()
{
    // A handler run while the port closes may ask for Close again.
    if (!FConnected || FClosing)
        return;
    FClosing = true;
    const auto closing = qScopeGuard([this] { FClosing = false; });
    CallBeforeClose();
    AbortAllAsync();
    if (FThreadCreated) {
        FEventThread.reset();
        FThreadCreated = false;
        FNotifyWindow.reset();
    }
    DestroyHandle();
    FConnected = false;
    CallAfterClose();
}

void TCustomComPort::CreateHandle()
{
    auto device = std::make_shared<PosixDevice>();
    check(device->open(FPort), ComErrOpen);
    FHandle = device;
}

void TCustomComPort::DestroyHandle()
{
    FHandle->close();
    FHandle = std::make_shared<PosixDevice>();
}

void TCustomComPort::SetupComPort()
{
    ApplyBuffer();
    ApplyDCB();
    ApplyTimeouts();
}

void TCustomComPort::BeginUpdate()
{
    ++FUpdateCount;
}

void TCustomComPort::EndUpdate()
{
    if (FUpdateCount <= 0)
        return;
    if (--FUpdateCount == 0)
        SetupComPort();
}

bool TCustomComPort::applying() const
{
    return FConnected && FUpdateCount == 0;
}

void TCustomComPort::ApplyDCB()
{
    if (applying())
        check(FHandle->setCommState(BuildDCB()), ComErrSetState);
}

void TCustomComPort::ApplyTimeouts()
{
    if (!applying())
        return;
    CommTimeouts t;
    t.ReadIntervalTimeout = uint32_t(FTimeouts->ReadInterval());
    t.ReadTotalTimeoutMultiplier = uint32_t(FTimeouts->ReadTotalMultiplier());
    t.ReadTotalTimeoutConstant = uint32_t(FTimeouts->ReadTotalConstant());
    t.WriteTotalTimeoutMultiplier = uint32_t(FTimeouts->WriteTotalMultiplier());
    t.WriteTotalTimeoutConstant = uint32_t(FTimeouts->WriteTotalConstant());
    check(FHandle->setCommTimeouts(t), ComErrSetTimeouts);
}

void TCustomComPort::ApplyBuffer()
{
    if (applying())
        check(FHandle->setupComm(FBuffer->InputSize(), FBuffer->OutputSize()), ComErrSetupComm);
}

DeviceControlBlock TCustomComPort::BuildDCB() const
{
    DeviceControlBlock dcb;
    dcb.BaudRate = FBaudRate == brCustom ? uint32_t(FCustomBaudRate) : BaudRateValue(FBaudRate);

    const TComFlowControl &fc = *FFlowControl;
    const bool replace = FParity->Check() && FParity->Replace();
    uint32_t flags = DCB_BINARY;
    if (FParity->Check())
        flags |= DCB_PARITY;
    if (fc.OutCTSFlow())
        flags |= DCB_OUTX_CTS_FLOW;
    if (fc.OutDSRFlow())
        flags |= DCB_OUTX_DSR_FLOW;
    if (fc.ControlDTR() == dtrEnable)
        flags |= DCB_DTR_ENABLE;
    else if (fc.ControlDTR() == dtrHandshake)
        flags |= DCB_DTR_HANDSHAKE;
    if (fc.DSRSensitivity())
        flags |= DCB_DSR_SENSITIVITY;
    if (fc.TxContinueOnXoff())
        flags |= DCB_TX_CONTINUE_ON_XOFF;
    if (fc.XonXoffOut())
        flags |= DCB_OUTX;
    if (fc.XonXoffIn())
        flags |= DCB_INX;
    if (replace)
        flags |= DCB_ERROR_CHAR;
    if (FDiscardNull)
        flags |= DCB_NULL;
    if (fc.ControlRTS() == rtsEnable)
        flags |= DCB_RTS_ENABLE;
    else if (fc.ControlRTS() == rtsHandshake)
        flags |= DCB_RTS_HANDSHAKE;
    else if (fc.ControlRTS() == rtsToggle)
        flags |= DCB_RTS_TOGGLE;
    dcb.Flags = flags;

    dcb.XonLim = static_cast<uint16_t>(FBuffer->InputSize() / 4);
    dcb.XoffLim = dcb.XonLim;
    dcb.ByteSize = static_cast<uint8_t>(5 + FDataBits);
    dcb.Parity = static_cast<uint8_t>(FParity->Bits());
    dcb.StopBits = static_cast<uint8_t>(FStopBits);
    dcb.XonChar = fc.XonChar();
    dcb.XoffChar = fc.XoffChar();
    dcb.ErrorChar = replace ? FParity->ReplaceChar() : 0;
    dcb.EofChar = 0;
    dcb.EvtChar = FEventChar;
    return dcb;
}

// ---- settings ----

void TCustomComPort::SetConnected(bool Value)
{
    if (Value == FConnected)
        return;
    if (Value)
        Open();
    else
        Close();
}

void TCustomComPort::SetBaudRate(TBaudRate Value)
{
    if (Value == FBaudRate)
        return;
    FBaudRate = Value;
    ApplyDCB();
}

void TCustomComPort::SetCustomBaudRate(int32_t Value)
{
    if (Value == FCustomBaudRate)
        return;
    FCustomBaudRate = Value;
    ApplyDCB();
}

void TCustomComPort::SetPort(const QString &Value)
{
    if (Value == FPort)
        return;
    FPort = Value;
    if (FConnected) {
        Close();
        Open();
    }
}

void TCustomComPort::SetParity(const TComParity &Value)
{
    FParity->Assign(Value);
    ApplyDCB();
}

void TCustomComPort::SetStopBits(TStopBits Value)
{
    if (Value == FStopBits)
        return;
    FStopBits = Value;
    ApplyDCB();
}

void TCustomComPort::SetDataBits(TDataBits Value)
{
    if (Value == FDataBits)
        return;
    FDataBits = Value;
    ApplyDCB();
}

void TCustomComPort::SetDiscardNull(bool Value)
{
    if (Value == FDiscardNull)
        return;
    FDiscardNull = Value;
    ApplyDCB();
}

void TCustomComPort::SetEventChar(char Value)
{
    if (Value == FEventChar)
        return;
    FEventChar = Value;
    ApplyDCB();
}

void TCustomComPort::SetEvents(TComEvents Value)
{
    FEvents = Value;
}

void TCustomComPort::SetBuffer(const TComBuffer &Value)
{
    FBuffer->Assign(Value);
    ApplyBuffer();
}

void TCustomComPort::SetFlowControl(const TComFlowControl &Value)
{
    FFlowControl->Assign(Value);
    ApplyDCB();
}

void TCustomComPort::SetTimeouts(const TComTimeouts &Value)
{
    FTimeouts->Assign(Value);
    ApplyTimeouts();
}

void TCustomComPort::SetSyncMethod(TSyncMethod Value)
{
    if (Value == FSyncMethod)
        return;
    if (FConnected)
        throw EComPort(ComErrConnected);
    FSyncMethod = Value;
}

void TCustomComPort::SetTriggersOnRxChar(bool Value)
{
    if (FLinkedToRxBuf)
        throw EComPort(ComErrHasLink);
    FTriggersOnRxChar = Value;
}

void TCustomComPort::SetEventThreadPriority(TThreadPriority Value)
{
    if (Value == FEventThreadPriority)
        return;
    if (FConnected)
        throw EComPort(ComErrConnected);
    FEventThreadPriority = Value;
}

int TCustomComPort::Handle() const
{
    return FHandle->handle();
}

// ---- modem lines and line functions ----

TComSignals TCustomComPort::Signals()
{
    uint32_t status = 0;
    check(FHandle->getCommModemStatus(status), ComErrModemStatus);
    TComSignals result;
    if (status & MS_CTS_ON)
        result.include(csCTS);
    if (status & MS_DSR_ON)
        result.include(csDSR);
    if (status & MS_RING_ON)
        result.include(csRing);
    if (status & MS_RLSD_ON)
        result.include(csRLSD);
    return result;
}

TComStateFlags TCustomComPort::StateFlags()
{
    uint32_t errors = 0;
    ComStat stat;
    check(FHandle->clearCommError(errors, stat), ComErrClearComm);
    return TComStateFlags::fromBits(stat.Flags & 0x7F);
}

TComErrors TCustomComPort::LastErrors()
{
    uint32_t errors = 0;
    ComStat stat;
    check(FHandle->clearCommError(errors, stat), ComErrClearComm);
    TComErrors result;
    if (errors & CE_FRAME)
        result.include(ceFrame);
    if ((errors & CE_RXPARITY) && FParity->Check())
        result.include(ceRxParity);
    if (errors & CE_OVERRUN)
        result.include(ceOverrun);
    if (errors & CE_RXOVER)
        result.include(ceRxOver);
    if (errors & CE_TXFULL)
        result.include(ceTxFull);
    if (errors & CE_BREAK)
        result.include(ceBreak);
    if (errors & CE_IOE)
        result.include(ceIO);
    if (errors & CE_MODE)
        result.include(ceMode);
    return result;
}

void TCustomComPort::SetBreak(bool OnOff)
{
    check(FHandle->escapeCommFunction(OnOff ? SETBREAK : CLRBREAK), ComErrEscapeComm);
}

void TCustomComPort::SetDTR(bool OnOff)
{
    check(FHandle->escapeCommFunction(OnOff ? SETDTR : CLRDTR), ComErrEscapeComm);
}

void TCustomComPort::SetRTS(bool OnOff)
{
    check(FHandle->escapeCommFunction(OnOff ? SETRTS : CLRRTS), ComErrEscapeComm);
}

void TCustomComPort::SetXonXoff(bool OnOff)
{
    check(FHandle->escapeCommFunction(OnOff ? SETXON : SETXOFF), ComErrEscapeComm);
}

void TCustomComPort::ClearBuffer(bool Input, bool Output)
{
    uint32_t flags = 0;
    if (Input)
        flags |= PURGE_RXCLEAR;
    if (Output)
        flags |= PURGE_TXCLEAR;
    check(FHandle->purgeComm(flags), ComErrPurge);
}

// ---- reading and writing ----

int32_t TCustomComPort::WriteAsync(const char *Buffer, int32_t Count, PAsync &AsyncPtr)
{
    if (!AsyncPtr)
        throw EComPort(ComErrInvalidAsync);
    AsyncPtr->Kind = okWrite;
    AsyncPtr->Data = Count > 0 ? QByteArray(Buffer, Count) : QByteArray();
    AsyncPtr->Size = Count;
    check(FHandle->startWrite(AsyncPtr->Overlapped, AsyncPtr->Data.constData(), Count),
          ComErrWrite);
    SendSignalToLink(leTx, true);
    return AsyncPtr->Overlapped.pending ? 0 : AsyncPtr->Overlapped.transferred;
}

int32_t TCustomComPort::Write(const char *Buffer, int32_t Count)
{
    ScopedAsync async;
    WriteAsync(Buffer, Count, async.ptr());
    return WaitForAsync(async.ptr());
}

int32_t TCustomComPort::WriteStrAsync(const QByteArray &Str, PAsync &AsyncPtr)
{
    if (Str.isEmpty())
        return 0;
    return WriteAsync(Str.constData(), int32_t(Str.size()), AsyncPtr);
}

int32_t TCustomComPort::WriteStr(const QByteArray &Str)
{
    ScopedAsync async;
    WriteStrAsync(Str, async.ptr());
    return WaitForAsync(async.ptr());
}

int32_t TCustomComPort::ReadAsync(char *Buffer, int32_t Count, PAsync &AsyncPtr)
{
    if (!AsyncPtr)
        throw EComPort(ComErrInvalidAsync);
    AsyncPtr->Kind = okRead;
    check(FHandle->startRead(AsyncPtr->Overlapped, Buffer, Count), ComErrRead);
    return AsyncPtr->Overlapped.pending ? 0 : AsyncPtr->Overlapped.transferred;
}

int32_t TCustomComPort::Read(char *Buffer, int32_t Count)
{
    ScopedAsync async;
    ReadAsync(Buffer, Count, async.ptr());
    return WaitForAsync(async.ptr());
}

int32_t TCustomComPort::ReadStrAsync(QByteArray &Str, int32_t Count, PAsync &AsyncPtr)
{
    Str.resize(std::max<int32_t>(Count, 0));
    if (Count <= 0)
        return 0;
    return ReadAsync(Str.data(), Count, AsyncPtr);
}

int32_t TCustomComPort::ReadStr(QByteArray &Str, int32_t Count)
{
    ScopedAsync async;
    ReadStrAsync(Str, Count, async.ptr());
    const int32_t read = WaitForAsync(async.ptr());
    Str.resize(read);
    return read;
}

int32_t TCustomComPort::WaitForAsync(PAsync &AsyncPtr)
{
    if (!AsyncPtr)
        throw EComPort(ComErrInvalidAsync);
    check(PosixDevice::requestResult(AsyncPtr->Overlapped, true),
          AsyncPtr->Kind == okWrite ? ComErrWrite : ComErrRead);
    const int32_t transferred = AsyncPtr->Overlapped.transferred;
    if (AsyncPtr->Kind == okRead && InputCount() == 0)
        SendSignalToLink(leRx, false);
    else if (!AsyncPtr->Data.isNull())
        TxNotifyLink(AsyncPtr->Data, AsyncPtr->Size);
    return transferred;
}

bool TCustomComPort::IsAsyncCompleted(PAsync AsyncPtr)
{
    if (!AsyncPtr)
        throw EComPort(ComErrInvalidAsync);
    const int32_t result = PosixDevice::requestResult(AsyncPtr->Overlapped, false);
    if (result == 0)
        return true;
    if (result == WinError::IoIncomplete || result == WinError::IoPending)
        return false;
    throw EComPort(ComErrAsyncStatus, result);
}

void TCustomComPort::AbortAllAsync()
{
    check(FHandle->purgeComm(PURGE_TXABORT | PURGE_RXABORT), ComErrPurge);
}

int32_t TCustomComPort::InputCount()
{
    uint32_t errors = 0;
    ComStat stat;
    // Asked for with every answer: the output side is not looked at.
    check(FHandle->clearCommError(errors, stat, false), ComErrClearComm);
    return int32_t(stat.cbInQue);
}

int32_t TCustomComPort::OutputCount()
{
    uint32_t errors = 0;
    ComStat stat;
    check(FHandle->clearCommError(errors, stat), ComErrClearComm);
    return int32_t(stat.cbOutQue);
}

void TCustomComPort::TransmitChar(char Ch)
{
    check(FHandle->transmitCommChar(Ch), ComErrTransmitChar);
}

void TCustomComPort::WaitForEvent(TComEvents &Events, int StopEvent, int32_t Timeout)
{
    if (FThreadCreated)
        throw EComPort(ComErrThreadCreated);
    const std::shared_ptr<PosixDevice> device = FHandle;
    check(device->setCommMask(EventsToMask(Events)), ComErrWaitForEvent);
    uint32_t fired = 0;
    int32_t error = 0;
    const PosixDevice::WaitResult result
        = device->waitCommEvent(fired, StopEvent > 0 ? StopEvent : -1, Timeout, error);
    device->setCommMask(0);
    if (result == PosixDevice::WaitResult::Failed)
        throw EComPort(ComErrWaitForEvent, error);
    Events = MaskToEvents(result == PosixDevice::WaitResult::Fired ? fired : 0);
}

// ---- links ----

void TCustomComPort::RegisterLink(TComLink *AComLink)
{
    if (std::find(FLinks.begin(), FLinks.end(), AComLink) != FLinks.end())
        throw EComPort(ComErrRegisterLink);
    FLinks.push_back(AComLink);
    FLinkedToRxBuf = HasLink();
}

void TCustomComPort::UnRegisterLink(TComLink *AComLink)
{
    const auto it = std::find(FLinks.begin(), FLinks.end(), AComLink);
    if (it == FLinks.end())
        throw EComPort(ComErrRegisterLink);
    FLinks.erase(it);
    FLinkedToRxBuf = HasLink();
}

bool TCustomComPort::HasLink() const
{
    return std::any_of(FLinks.begin(), FLinks.end(),
                       [](const TComLink *link) { return bool(link->OnRxBuf); });
}

void TCustomComPort::SendSignalToLink(TComLinkEvent Event, bool OnOff)
{
    // A copy: a handler may (un)register links.
    const std::vector<TComLink *> links = FLinks;
    for (TComLink *link : links) {
        std::function<void(TCustomComPort *, bool)> *slot = nullptr;
        switch (Event) {
        case leConn:
            slot = &link->OnConn;
            break;
        case leCTS:
            slot = &link->OnCTSChange;
            break;
        case leDSR:
            slot = &link->OnDSRChange;
            break;
        case leRLSD:
            slot = &link->OnRLSDChange;
            break;
        case leRx:
            slot = &link->OnRx;
            break;
        case leTx:
            slot = &link->OnTx;
            break;
        default:
            return;
        }
        if (*slot)
            (*slot)(this, OnOff);
    }
}

void TCustomComPort::NotifyLink(TComLinkEvent Event)
{
    const std::vector<TComLink *> links = FLinks;
    for (TComLink *link : links) {
        std::function<void(TCustomComPort *)> *slot = nullptr;
        switch (Event) {
        case leRing:
            slot = &link->OnRing;
            break;
        case leTxEmpty:
            slot = &link->OnTxEmpty;
            break;
        case leRxFlag:
            slot = &link->OnRxFlag;
            break;
        default:
            return;
        }
        if (*slot)
            (*slot)(this);
    }
}

void TCustomComPort::TxNotifyLink(const QByteArray &Buffer, int32_t Count)
{
    const std::vector<TComLink *> links = FLinks;
    for (TComLink *link : links) {
        if (link->OnTxBuf)
            link->OnTxBuf(this, Buffer, Count);
    }
}

// ---- dispatch ----

void TCustomComPort::CallError()
{
    const TComErrors errors = LastErrors();
    if (!errors.isEmpty())
        DoError(errors);
}

void TCustomComPort::CallRxChar()
{
    int32_t Count = InputCount();
    if (Count > 0)
        SendSignalToLink(leRx, true);
    if (Count > 0 && !GetTriggersOnRxChar())
        readForBufferConsumers(Count);
    if (Count > 0)
        DoRxChar(Count);
}

// Reads the waiting bytes for the links that take them as a buffer (and for
// OnRxBuf); Count becomes 0 once they are read.
void TCustomComPort::readForBufferConsumers(int32_t &Count)
{
    QByteArray bytes;
    bool read = false;
    auto readOnce = [&] {
        if (read)
            return;
        bytes.resize(Count);
        bytes.resize(Read(bytes.data(), Count));
        read = true;
        DoRxBuf(bytes, int32_t(bytes.size()));
    };
    const std::vector<TComLink *> links = FLinks;
    for (TComLink *link : links) {
        if (!link->OnRxBuf)
            continue;
        readOnce();
        link->OnRxBuf(this, bytes, int32_t(bytes.size()));
    }
    if (!read && !FTriggersOnRxChar)
        readOnce();
    if (read)
        Count = 0;
}

void TCustomComPort::CallTxEmpty()
{
    SendSignalToLink(leTx, false);
    NotifyLink(leTxEmpty);
    DoTxEmpty();
}

void TCustomComPort::CallBreak()
{
    DoBreak();
}

void TCustomComPort::CallRing()
{
    NotifyLink(leRing);
    DoRing();
}

void TCustomComPort::CallCTSChange()
{
    const bool on = Signals().contains(csCTS);
    SendSignalToLink(leCTS, on);
    DoCTSChange(on);
}

void TCustomComPort::CallDSRChange()
{
    const bool on = Signals().contains(csDSR);
    SendSignalToLink(leDSR, on);
    DoDSRChange(on);
}

void TCustomComPort::CallRxFlag()
{
    NotifyLink(leRxFlag);
    DoRxFlag();
}

void TCustomComPort::CallRLSDChange()
{
    const bool on = Signals().contains(csRLSD);
    SendSignalToLink(leRLSD, on);
    DoRLSDChange(on);
}

void TCustomComPort::CallRx80Full()
{
    DoRx80Full();
}

void TCustomComPort::CallBeforeOpen()
{
    DoBeforeOpen();
}

void TCustomComPort::CallAfterOpen()
{
    SendSignalToLink(leConn, true);
    DoAfterOpen();
    CheckSignals(true);
}

void TCustomComPort::CallBeforeClose()
{
    CheckSignals(false);
    DoBeforeClose();
}

void TCustomComPort::CallAfterClose()
{
    SendSignalToLink(leConn, false);
    DoAfterClose();
}

void TCustomComPort::CheckSignals(bool Open)
{
    if (Open) {
        CallCTSChange();
        CallDSRChange();
        CallRLSDChange();
        return;
    }
    SendSignalToLink(leCTS, false);
    SendSignalToLink(leDSR, false);
    SendSignalToLink(leRLSD, false);
    DoCTSChange(false);
    DoDSRChange(false);
    DoRLSDChange(false);
}

void TCustomComPort::WindowMethod(uint32_t EventCode)
{
    if (!FConnected)
        return;
    runGuarded([this, EventCode] {
        switch (EventCode) {
        case EV_ERR:
            CallError();
            break;
        case EV_RXCHAR:
            CallRxChar();
            break;
        case EV_TXEMPTY:
            CallTxEmpty();
            break;
        case EV_BREAK:
            CallBreak();
            break;
        case EV_RING:
            CallRing();
            break;
        case EV_CTS:
            CallCTSChange();
            break;
        case EV_DSR:
            CallDSRChange();
            break;
        case EV_RXFLAG:
            CallRxFlag();
            break;
        case EV_RLSD:
            CallRLSDChange();
            break;
        case EV_RX80FULL:
            CallRx80Full();
            break;
        default:
            break;
        }
    });
}

// ---- event properties ----

void TCustomComPort::DoAfterClose()
{
    if (OnAfterClose)
        OnAfterClose(this);
}

void TCustomComPort::DoAfterOpen()
{
    if (OnAfterOpen)
        OnAfterOpen(this);
}

void TCustomComPort::DoBeforeClose()
{
    if (OnBeforeClose)
        OnBeforeClose(this);
}

void TCustomComPort::DoBeforeOpen()
{
    if (OnBeforeOpen)
        OnBeforeOpen(this);
}

void TCustomComPort::DoRxChar(int32_t Count)
{
    if (OnRxChar)
        OnRxChar(this, Count);
}

void TCustomComPort::DoRxBuf(const QByteArray &Buffer, int32_t Count)
{
    if (OnRxBuf)
        OnRxBuf(this, Buffer, Count);
}

void TCustomComPort::DoTxEmpty()
{
    if (OnTxEmpty)
        OnTxEmpty(this);
}

void TCustomComPort::DoBreak()
{
    if (OnBreak)
        OnBreak(this);
}

void TCustomComPort::DoRing()
{
    if (OnRing)
        OnRing(this);
}

void TCustomComPort::DoRxFlag()
{
    if (OnRxFlag)
        OnRxFlag(this);
}

void TCustomComPort::DoCTSChange(bool OnOff)
{
    if (OnCTSChange)
        OnCTSChange(this, OnOff);
}

void TCustomComPort::DoDSRChange(bool OnOff)
{
    if (OnDSRChange)
        OnDSRChange(this, OnOff);
}

void TCustomComPort::DoError(TComErrors Errors)
{
    if (OnError)
        OnError(this, Errors);
}

void TCustomComPort::DoRLSDChange(bool OnOff)
{
    if (OnRLSDChange)
        OnRLSDChange(this, OnOff);
}

void TCustomComPort::DoRx80Full()
{
    if (OnRx80Full)
        OnRx80Full(this);
}
