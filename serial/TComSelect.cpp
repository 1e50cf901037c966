#include "serial/TComSelect.h"

#include "serial/EnumComPorts.h"
#include "serial/TCustomComPort.h"

#include <QStringListModel>

namespace {

// The texts of every value of an enumeration, in ordinal order.
template<typename E> QStringList allTexts(E last, QString (*toStr)(E))
{
    QStringList texts;
    for (int i = 0; i <= int(last); ++i)
        texts.append(toStr(E(i)));
    return texts;
}

} // namespace

TComSelect::TComSelect(QStringListModel *Items)
    : FItems(Items)
{ }

void TComSelect::SetComProperty(TComProperty Value)
{
    FComProperty = Value;
    switch (Value) {
    case cpNone:
        fill({});
        break;
    case cpPort:
        SelectPort();
        break;
    case cpBaudRate:
        SelectBaudRate();
        break;
    case cpDataBits:
        SelectDataBits();
        break;
    case cpStopBits:
        SelectStopBits();
        break;
    case cpParity:
        SelectParity();
        break;
    case cpFlowControl:
        SelectFlowControl();
        break;
    }
}

void TComSelect::fill(const QStringList &texts)
{
    FItems->setStringList(texts);
}

void TComSelect::SelectPort()
{
    // Emptied first, so a failing enumeration leaves no stale names behind.
    fill({});
    QStringList names;
    EnumComPorts(names);
    fill(names);
}

void TComSelect::SelectBaudRate()
{
    fill(allTexts(br256000, BaudRateToStr));
}

void TComSelect::SelectDataBits()
{
    fill(allTexts(dbEight, DataBitsToStr));
}

void TComSelect::SelectStopBits()
{
    fill(allTexts(sbTwoStopBits, StopBitsToStr));
}

void TComSelect::SelectParity()
{
    fill(allTexts(prSpace, ParityToStr));
}

void TComSelect::SelectFlowControl()
{
    fill(allTexts(fcCustom, FlowControlToStr));
}

void TComSelect::Change(const QString &Text)
{
    setPending(Text);
    if (FAutoApply)
        ApplySettings();
}

void TComSelect::setPending(const QString &Text)
{
    switch (FComProperty) {
    case cpNone:
        break;
    case cpPort:
        FPort = Text;
        break;
    case cpBaudRate:
        FBaudRate = StrToBaudRate(Text);
        break;
    case cpDataBits:
        FDataBits = StrToDataBits(Text);
        break;
    case cpStopBits:
        FStopBits = StrToStopBits(Text);
        break;
    case cpParity:
        FParity = StrToParity(Text);
        break;
    case cpFlowControl:
        FFlowControl = StrToFlowControl(Text);
        break;
    }
}

void TComSelect::ApplySettings()
{
    if (!FComPort)
        return;
    switch (FComProperty) {
    case cpNone:
        break;
    case cpPort:
        FComPort->SetPort(FPort);
        break;
    case cpBaudRate:
        FComPort->SetBaudRate(FBaudRate);
        break;
    case cpDataBits:
        FComPort->SetDataBits(FDataBits);
        break;
    case cpStopBits:
        FComPort->SetStopBits(FStopBits);
        break;
    case cpParity:
        FComPort->Parity()->SetBits(FParity);
        break;
    case cpFlowControl:
        FComPort->FlowControl()->SetFlowControl(FFlowControl);
        break;
    }
}

QString TComSelect::currentText() const
{
    switch (FComProperty) {
    case cpNone:
        break;
    case cpPort:
        return FComPort->Port();
    case cpBaudRate:
        return BaudRateToStr(FComPort->BaudRate());
    case cpDataBits:
        return DataBitsToStr(FComPort->DataBits());
    case cpStopBits:
        return StopBitsToStr(FComPort->StopBits());
    case cpParity:
        return ParityToStr(FComPort->Parity()->Bits());
    case cpFlowControl:
        return FlowControlToStr(FComPort->FlowControl()->FlowControl());
    }
    return QString();
}

void TComSelect::UpdateSettings(int &ItemIndex)
{
    if (!FComPort)
        return;
    const QString text = currentText();
    const QStringList items = FItems->stringList();
    ItemIndex = -1;
    for (int i = 0; i < items.size(); ++i) {
        if (QString::compare(items.at(i), text, Qt::CaseInsensitive) == 0) {
            ItemIndex = i;
            break;
        }
    }
    if (ItemIndex >= 0)
        setPending(items.at(ItemIndex));
}
