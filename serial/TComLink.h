#pragma once

#include <QByteArray>

#include <cstdint>
#include <functional>

class TCustomComPort;

// Another component's window on a port's activity: registered with
// TCustomComPort::RegisterLink (not owned by the port), told about
// connection, line, transmit and receive events. Unset handlers are skipped.
class TComLink
{
public:
    std::function<void(TCustomComPort *Sender, bool OnOff)> OnConn;
    std::function<void(TCustomComPort *Sender, const QByteArray &Buffer, int32_t Count)> OnRxBuf;
    std::function<void(TCustomComPort *Sender, const QByteArray &Buffer, int32_t Count)> OnTxBuf;
    std::function<void(TCustomComPort *Sender)> OnTxEmpty;
    std::function<void(TCustomComPort *Sender)> OnRxFlag;
    std::function<void(TCustomComPort *Sender, bool OnOff)> OnCTSChange;
    std::function<void(TCustomComPort *Sender, bool OnOff)> OnDSRChange;
    std::function<void(TCustomComPort *Sender, bool OnOff)> OnRLSDChange;
    std::function<void(TCustomComPort *Sender)> OnRing;
    std::function<void(TCustomComPort *Sender, bool OnOff)> OnTx;
    std::function<void(TCustomComPort *Sender, bool OnOff)> OnRx;
};
