#pragma once

#include "serial/ComTypes.h"

#include <QString>
#include <QStringList>

#include <cstdint>

class QStringListModel;
class TCustomComPort;

// The setting of a port that a selector shows and chooses.
enum TComProperty : uint8_t {
    cpNone,
    cpPort,
    cpBaudRate,
    cpDataBits,
    cpStopBits,
    cpParity,
    cpFlowControl
};

// The logic of a port selector: fills a list with the possible values of one
// setting of a bound port, finds the port's current value in it, keeps the
// value the user chose (pending) and writes it to the port, at once with
// AutoApply or when ApplySettings is called. The list belongs to the
// selector's widget; the port is not owned either.
class TComSelect
{
public:
    explicit TComSelect(QStringListModel *Items);
    TComSelect(const TComSelect &) = delete;
    TComSelect &operator=(const TComSelect &) = delete;

    QStringListModel *Items() const { return FItems; }
    TCustomComPort *ComPort() const { return FComPort; }
    void SetComPort(TCustomComPort *Value) { FComPort = Value; }
    TComProperty ComProperty() const { return FComProperty; }
    // Stores the property and fills the list with its values; cpPort lists
    // the ports present (and raises what EnumComPorts raises).
    void SetComProperty(TComProperty Value);
    bool AutoApply() const { return FAutoApply; }
    void SetAutoApply(bool Value) { FAutoApply = Value; }

    // Fill the list with the values of one property, in ordinal order.
    void SelectPort();
    void SelectBaudRate();
    void SelectDataBits();
    void SelectStopBits();
    void SelectParity();
    void SelectFlowControl();

    // The user chose Text: it becomes the pending value of the property and,
    // with AutoApply, reaches the port at once.
    void Change(const QString &Text);
    // Writes the pending value of the property to the bound port.
    void ApplySettings();
    // ItemIndex becomes the position of the port's current value in the list
    // (letter case aside), or -1; a value found also becomes the pending one.
    // Without a bound port ItemIndex is left as it is.
    void UpdateSettings(int &ItemIndex);

    // The pending values.
    QString Port() const { return FPort; }
    TBaudRate BaudRate() const { return FBaudRate; }
    TDataBits DataBits() const { return FDataBits; }
    TStopBits StopBits() const { return FStopBits; }
    TParityBits Parity() const { return FParity; }
    TFlowControl FlowControl() const { return FFlowControl; }

private:
    void fill(const QStringList &texts);
    void setPending(const QString &Text);
    QString currentText() const;

    QStringListModel *FItems;
    TCustomComPort *FComPort = nullptr;
    TComProperty FComProperty = cpNone;
    bool FAutoApply = false;

    QString FPort;
    TBaudRate FBaudRate = br9600;
    TDataBits FDataBits = dbEight;
    TStopBits FStopBits = sbOneStopBit;
    TParityBits FParity = prNone;
    TFlowControl FFlowControl = fcNone;
};
