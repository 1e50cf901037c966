#pragma once

#include "serial/ComTypes.h"

#include <cstdint>

class TCustomComPort;

// The port's four groups of settings. An object created by a port refers back
// to it (not owning it) and re-applies its group to the open device whenever
// a field really changes; a free-standing object (no port) only stores.
// Objects are copied field by field with Assign/AssignTo, which applies
// nothing.

class TComTimeouts
{
public:
    TComTimeouts() = default;
    explicit TComTimeouts(TCustomComPort *AComPort)
        : FComPort(AComPort)
    { }
    TComTimeouts(const TComTimeouts &) = delete;
    TComTimeouts &operator=(const TComTimeouts &) = delete;

    TCustomComPort *ComPort() const { return FComPort; }
    void Assign(const TComTimeouts &Source);
    void AssignTo(TComTimeouts &Dest) const { Dest.Assign(*this); }

    // Milliseconds; -1 stands for the largest value (no limit / special meaning).
    int32_t ReadInterval() const { return FReadInterval; }
    int32_t ReadTotalMultiplier() const { return FReadTotalMultiplier; }
    int32_t ReadTotalConstant() const { return FReadTotalConstant; }
    int32_t WriteTotalMultiplier() const { return FWriteTotalMultiplier; }
    int32_t WriteTotalConstant() const { return FWriteTotalConstant; }
    void SetReadInterval(int32_t Value);
    void SetReadTotalMultiplier(int32_t Value);
    void SetReadTotalConstant(int32_t Value);
    void SetWriteTotalMultiplier(int32_t Value);
    void SetWriteTotalConstant(int32_t Value);

private:
    void set(int32_t &field, int32_t value);

    TCustomComPort *FComPort = nullptr;
    int32_t FReadInterval = -1;
    int32_t FReadTotalMultiplier = 0;
    int32_t FReadTotalConstant = 0;
    int32_t FWriteTotalMultiplier = 100;
    int32_t FWriteTotalConstant = 1000;
};

class TComFlowControl
{
public:
    TComFlowControl() = default;
    explicit TComFlowControl(TCustomComPort *AComPort)
        : FComPort(AComPort)
    { }
    TComFlowControl(const TComFlowControl &) = delete;
    TComFlowControl &operator=(const TComFlowControl &) = delete;

    TCustomComPort *ComPort() const { return FComPort; }
    void Assign(const TComFlowControl &Source);
    void AssignTo(TComFlowControl &Dest) const { Dest.Assign(*this); }

    bool OutCTSFlow() const { return FOutCTSFlow; }
    bool OutDSRFlow() const { return FOutDSRFlow; }
    TDTRFlowControl ControlDTR() const { return FControlDTR; }
    TRTSFlowControl ControlRTS() const { return FControlRTS; }
    bool XonXoffOut() const { return FXonXoffOut; }
    bool XonXoffIn() const { return FXonXoffIn; }
    bool DSRSensitivity() const { return FDSRSensitivity; }
    bool TxContinueOnXoff() const { return FTxContinueOnXoff; }
    char XonChar() const { return FXonChar; }
    char XoffChar() const { return FXoffChar; }
    void SetOutCTSFlow(bool Value);
    void SetOutDSRFlow(bool Value);
    void SetControlDTR(TDTRFlowControl Value);
    void SetControlRTS(TRTSFlowControl Value);
    void SetXonXoffOut(bool Value);
    void SetXonXoffIn(bool Value);
    void SetDSRSensitivity(bool Value);
    void SetTxContinueOnXoff(bool Value);
    void SetXonChar(char Value);
    void SetXoffChar(char Value);

    // The preset the fields amount to (hardware, software, none or custom);
    // setting a preset rewrites RTS control, CTS flow and both XON/XOFF
    // directions at once and re-applies once.
    TFlowControl FlowControl() const { return GetFlowControl(); }
    TFlowControl GetFlowControl() const;
    void SetFlowControl(TFlowControl Value);

private:
    template<typename T> void set(T &field, T value);

    TCustomComPort *FComPort = nullptr;
    bool FOutCTSFlow = false;
    bool FOutDSRFlow = false;
    TDTRFlowControl FControlDTR = dtrDisable;
    TRTSFlowControl FControlRTS = rtsDisable;
    bool FXonXoffOut = false;
    bool FXonXoffIn = false;
    bool FDSRSensitivity = false;
    bool FTxContinueOnXoff = false;
    char FXonChar = 0x11;
    char FXoffChar = 0x13;
};

class TComParity
{
public:
    TComParity() = default;
    explicit TComParity(TCustomComPort *AComPort)
        : FComPort(AComPort)
    { }
    TComParity(const TComParity &) = delete;
    TComParity &operator=(const TComParity &) = delete;

    TCustomComPort *ComPort() const { return FComPort; }
    void Assign(const TComParity &Source);
    void AssignTo(TComParity &Dest) const { Dest.Assign(*this); }

    TParityBits Bits() const { return FBits; }
    bool Check() const { return FCheck; }
    bool Replace() const { return FReplace; }
    char ReplaceChar() const { return FReplaceChar; }
    void SetBits(TParityBits Value);
    void SetCheck(bool Value);
    void SetReplace(bool Value);
    void SetReplaceChar(char Value);

private:
    template<typename T> void set(T &field, T value);

    TCustomComPort *FComPort = nullptr;
    TParityBits FBits = prNone;
    bool FCheck = false;
    bool FReplace = false;
    char FReplaceChar = 0;
};

class TComBuffer
{
public:
    TComBuffer() = default;
    explicit TComBuffer(TCustomComPort *AComPort)
        : FComPort(AComPort)
    { }
    TComBuffer(const TComBuffer &) = delete;
    TComBuffer &operator=(const TComBuffer &) = delete;

    TCustomComPort *ComPort() const { return FComPort; }
    void Assign(const TComBuffer &Source);
    void AssignTo(TComBuffer &Dest) const { Dest.Assign(*this); }

    // Queue sizes in bytes; a positive odd size is stored one less, so the
    // queues keep even sizes.
    int32_t InputSize() const { return FInputSize; }
    int32_t OutputSize() const { return FOutputSize; }
    void SetInputSize(int32_t Value);
    void SetOutputSize(int32_t Value);

private:
    void set(int32_t &field, int32_t value);

    TCustomComPort *FComPort = nullptr;
    int32_t FInputSize = 1024;
    int32_t FOutputSize = 1024;
};
