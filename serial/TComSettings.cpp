#include "serial/TComSettings.h"

#include "serial/TCustomComPort.h"

// ---- TComTimeouts ----

void TComTimeouts::Assign(const TComTimeouts &Source)
{
    FReadInterval = Source.FReadInterval;
    FReadTotalMultiplier = Source.FReadTotalMultiplier;
    FReadTotalConstant = Source.FReadTotalConstant;
    FWriteTotalMultiplier = Source.FWriteTotalMultiplier;
    FWriteTotalConstant = Source.FWriteTotalConstant;
}

void TComTimeouts::set(int32_t &field, int32_t value)
{
    if (field == value)
        return;
    field = value;
    if (FComPort)
        FComPort->ApplyTimeouts();
}

void TComTimeouts::SetReadInterval(int32_t Value)
{
    set(FReadInterval, Value);
}

void TComTimeouts::SetReadTotalMultiplier(int32_t Value)
{
    set(FReadTotalMultiplier, Value);
}

void TComTimeouts::SetReadTotalConstant(int32_t Value)
{
    set(FReadTotalConstant, Value);
}

void TComTimeouts::SetWriteTotalMultiplier(int32_t Value)
{
    set(FWriteTotalMultiplier, Value);
}

void TComTimeouts::SetWriteTotalConstant(int32_t Value)
{
    set(FWriteTotalConstant, Value);
}

// ---- TComFlowControl ----

void TComFlowControl::Assign(const TComFlowControl &Source)
{
    FOutCTSFlow = Source.FOutCTSFlow;
    FOutDSRFlow = Source.FOutDSRFlow;
    FControlDTR = Source.FControlDTR;
    FControlRTS = Source.FControlRTS;
    FXonXoffOut = Source.FXonXoffOut;
    FXonXoffIn = Source.FXonXoffIn;
    FDSRSensitivity = Source.FDSRSensitivity;
    FTxContinueOnXoff = Source.FTxContinueOnXoff;
    FXonChar = Source.FXonChar;
    FXoffChar = Source.FXoffChar;
}

template<typename T> void TComFlowControl::set(T &field, T value)
{
    if (field == value)
        return;
    field = value;
    if (FComPort)
        FComPort->ApplyDCB();
}

void TComFlowControl::SetOutCTSFlow(bool Value)
{
    set(FOutCTSFlow, Value);
}

void TComFlowControl::SetOutDSRFlow(bool Value)
{
    set(FOutDSRFlow, Value);
}

void TComFlowControl::SetControlDTR(TDTRFlowControl Value)
{
    set(FControlDTR, Value);
}

void TComFlowControl::SetControlRTS(TRTSFlowControl Value)
{
    set(FControlRTS, Value);
}

void TComFlowControl::SetXonXoffOut(bool Value)
{
    set(FXonXoffOut, Value);
}

void TComFlowControl::SetXonXoffIn(bool Value)
{
    set(FXonXoffIn, Value);
}

void TComFlowControl::SetDSRSensitivity(bool Value)
{
    set(FDSRSensitivity, Value);
}

void TComFlowControl::SetTxContinueOnXoff(bool Value)
{
    set(FTxContinueOnXoff, Value);
}

void TComFlowControl::SetXonChar(char Value)
{
    set(FXonChar, Value);
}

void TComFlowControl::SetXoffChar(char Value)
{
    set(FXoffChar, Value);
}

TFlowControl TComFlowControl::GetFlowControl() const
{
    if (FControlRTS == rtsHandshake && FOutCTSFlow && !FXonXoffIn && !FXonXoffOut)
        return fcHardware;
    if (FControlRTS == rtsDisable && !FOutCTSFlow && FXonXoffIn && FXonXoffOut)
        return fcSoftware;
    if (FControlRTS == rtsDisable && !FOutCTSFlow && !FXonXoffIn && !FXonXoffOut)
        return fcNone;
    return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl Value)
{
    if (Value != fcCustom) {
        FControlRTS = rtsDisable;
        FOutCTSFlow = false;
        FXonXoffIn = false;
        FXonXoffOut = false;
        if (Value == fcHardware) {
            FControlRTS = rtsHandshake;
            FOutCTSFlow = true;
        } else if (Value == fcSoftware) {
            FXonXoffIn = true;
            FXonXoffOut = true;
        }
    }
    // One re-application for the whole preset, also for fcCustom.
    if (FComPort)
        FComPort->ApplyDCB();
}

// ---- TComParity ----

void TComParity::Assign(const TComParity &Source)
{
    FBits = Source.FBits;
    FCheck = Source.FCheck;
    FReplace = Source.FReplace;
    FReplaceChar = Source.FReplaceChar;
}

template<typename T> void TComParity::set(T &field, T value)
{
    if (field == value)
        return;
    field = value;
    if (FComPort)
        FComPort->ApplyDCB();
}

void TComParity::SetBits(TParityBits Value)
{
    set(FBits, Value);
}

void TComParity::SetCheck(bool Value)
{
    set(FCheck, Value);
}

void TComParity::SetReplace(bool Value)
{
    set(FReplace, Value);
}

void TComParity::SetReplaceChar(char Value)
{
    set(FReplaceChar, Value);
}

// ---- TComBuffer ----

void TComBuffer::Assign(const TComBuffer &Source)
{
    FInputSize = Source.FInputSize;
    FOutputSize = Source.FOutputSize;
}

void TComBuffer::set(int32_t &field, int32_t value)
{
    if (field == value)
        return;
    field = (value > 0 && value % 2 == 1) ? value - 1 : value;
    if (FComPort)
        FComPort->ApplyBuffer();
}

void TComBuffer::SetInputSize(int32_t Value)
{
    set(FInputSize, Value);
}

void TComBuffer::SetOutputSize(int32_t Value)
{
    set(FOutputSize, Value);
}
