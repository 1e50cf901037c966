#pragma once

#include <QString>

#include <cstdint>
#include <initializer_list>

// Port settings as enumerations. Each enumerator's ordinal is its position,
// from 0; the device values they stand for are given by the conversions below
// and by the control block (see DeviceControlBlock).

enum TBaudRate : uint8_t {
    brCustom,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
enum TStopBits : uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits : uint8_t { dbFive, dbSix, dbSeven, dbEight };
enum TParityBits : uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl : uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl : uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl : uint8_t { fcHardware, fcSoftware, fcNone, fcCustom };
enum TComEvent : uint8_t {
    evRxChar,
    evTxEmpty,
    evRxFlag,
    evRing,
    evBreak,
    evCTS,
    evDSR,
    evError,
    evRLSD,
    evRx80Full
};
enum TComSignal : uint8_t { csCTS, csDSR, csRing, csRLSD };
enum TComError : uint8_t {
    ceFrame,
    ceRxParity,
    ceOverrun,
    ceBreak,
    ceIO,
    ceMode,
    ceRxOver,
    ceTxFull
};
enum TSyncMethod : uint8_t { smThreadSync, smWindowSync, smNone };
enum TComLinkEvent : uint8_t {
    leConn,
    leCTS,
    leDSR,
    leRLSD,
    leRing,
    leRx,
    leTx,
    leTxEmpty,
    leRxFlag
};
// The device's status flags, in the order of the status word the driver reports.
enum TComStateFlag : uint8_t {
    sfCTSHold,
    sfDSRHold,
    sfRLSDHold,
    sfXoffHold,
    sfXoffSent,
    sfEof,
    sfTxim
};
enum TThreadPriority : uint8_t {
    tpIdle,
    tpLowest,
    tpLower,
    tpNormal,
    tpHigher,
    tpHighest,
    tpTimeCritical
};

// A set of enumerators, stored as bits: bit n stands for ordinal n.
template<typename E> class TComSet
{
public:
    constexpr TComSet() = default;
    constexpr TComSet(std::initializer_list<E> items)
    {
        for (E item : items)
            m_bits |= bit(item);
    }
    static constexpr TComSet fromBits(uint32_t bits)
    {
        TComSet set;
        set.m_bits = bits;
        return set;
    }

    constexpr uint32_t bits() const { return m_bits; }
    constexpr bool contains(E item) const { return (m_bits & bit(item)) != 0; }
    constexpr bool isEmpty() const { return m_bits == 0; }
    constexpr void include(E item) { m_bits |= bit(item); }
    constexpr void exclude(E item) { m_bits &= ~bit(item); }

    friend constexpr bool operator==(TComSet a, TComSet b) { return a.m_bits == b.m_bits; }
    friend constexpr TComSet operator|(TComSet a, TComSet b)
    {
        return fromBits(a.m_bits | b.m_bits);
    }
    friend constexpr TComSet operator&(TComSet a, TComSet b)
    {
        return fromBits(a.m_bits & b.m_bits);
    }

private:
    static constexpr uint32_t bit(E item) { return uint32_t(1) << uint32_t(item); }
    uint32_t m_bits = 0;
};

using TComEvents = TComSet<TComEvent>;
using TComSignals = TComSet<TComSignal>;
using TComErrors = TComSet<TComError>;
using TComStateFlags = TComSet<TComStateFlag>;

inline constexpr TComEvents allComEvents
    = {evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full};

// The communications event mask of the device (EV_... bits) and back; bits
// outside the ten events are ignored.
uint32_t EventsToMask(TComEvents Events);
TComEvents MaskToEvents(uint32_t Mask);

// Bits per second of a rate; brCustom gives 0, the caller substitutes the
// custom rate.
uint32_t BaudRateValue(TBaudRate BaudRate);

// Settings as texts, as the port selector and the settings store show them.
// A text that matches no entry (letter case aside) gives the default value.
QString BaudRateToStr(TBaudRate BaudRate);
QString StopBitsToStr(TStopBits StopBits);
QString DataBitsToStr(TDataBits DataBits);
QString ParityToStr(TParityBits Parity);
QString FlowControlToStr(TFlowControl FlowControl);
QString DTRControlToStr(TDTRFlowControl DTRControl);
QString RTSControlToStr(TRTSFlowControl RTSControl);
QString YesNoToStr(bool YesNo);
QString CharToSettingStr(char Ch);

TBaudRate StrToBaudRate(const QString &Str);
TStopBits StrToStopBits(const QString &Str);
TDataBits StrToDataBits(const QString &Str);
TParityBits StrToParity(const QString &Str);
TFlowControl StrToFlowControl(const QString &Str);
TDTRFlowControl StrToDTRControl(const QString &Str);
TRTSFlowControl StrToRTSControl(const QString &Str);
bool StrToYesNo(const QString &Str);
char SettingStrToChar(const QString &Str);
