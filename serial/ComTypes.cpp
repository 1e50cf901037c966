#include "serial/ComTypes.h"

#include "serial/CommModel.h"

#include <QRegularExpression>

#include <array>
#include <iterator>

namespace {

struct EventBit
{
    TComEvent event;
    uint32_t mask;
};

// The one correspondence between the port's events and the device's event bits.
constexpr std::array<EventBit, 10> eventBits = {{
    {evRxChar, WinComm::EV_RXCHAR},
    {evRxFlag, WinComm::EV_RXFLAG},
    {evTxEmpty, WinComm::EV_TXEMPTY},
    {evCTS, WinComm::EV_CTS},
    {evDSR, WinComm::EV_DSR},
    {evRLSD, WinComm::EV_RLSD},
    {evBreak, WinComm::EV_BREAK},
    {evError, WinComm::EV_ERR},
    {evRing, WinComm::EV_RING},
    {evRx80Full, WinComm::EV_RX80FULL},
}};

constexpr std::array<const char *, 16> baudTexts
    = {"Custom", "110",   "300",   "600",   "1200",  "2400",   "4800",   "9600",
       "14400",  "19200", "38400", "56000", "57600", "115200", "128000", "256000"};
constexpr std::array<uint32_t, 16> baudValues
    = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
       14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
constexpr std::array<const char *, 3> stopTexts = {"1", "1.5", "2"};
constexpr std::array<const char *, 4> dataTexts = {"5", "6", "7", "8"};
constexpr std::array<const char *, 5> parityTexts = {"None", "Odd", "Even", "Mark", "Space"};
constexpr std::array<const char *, 4> flowTexts = {"Hardware", "Software", "None", "Custom"};
constexpr std::array<const char *, 3> dtrTexts = {"Disable", "Enable", "Handshake"};
constexpr std::array<const char *, 4> rtsTexts = {"Disable", "Enable", "Handshake", "Toggle"};

// Upper-cases the letters a-z only, so the comparison does not depend on the
// locale or on Unicode case rules.
QString asciiUpper(const QString &text)
{
    QString result = text;
    for (QChar &c : result) {
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 'a' + 'A');
    }
    return result;
}

template<typename E, std::size_t N>
E lookUp(const std::array<const char *, N> &texts, const QString &text, E fallback)
{
    const QString wanted = asciiUpper(text);
    for (std::size_t i = 0; i < N; ++i) {
        if (wanted == asciiUpper(QString::fromLatin1(texts[i])))
            return E(i);
    }
    return fallback;
}

template<std::size_t N>
QString textOf(const std::array<const char *, N> &texts, std::size_t ordinal)
{
    return ordinal < N ? QString::fromLatin1(texts[ordinal]) : QString();
}

} // namespace

uint32_t EventsToMask(TComEvents Events)
{
    uint32_t mask = 0;
    for (const EventBit &e : eventBits) {
        if (Events.contains(e.event))
            mask |= e.mask;
    }
    return mask;
}

TComEvents MaskToEvents(uint32_t Mask)
{
    TComEvents events;
    for (const EventBit &e : eventBits) {
        if (Mask & e.mask)
            events.include(e.event);
    }
    return events;
}

uint32_t BaudRateValue(TBaudRate BaudRate)
{
    return BaudRate < baudValues.size() ? baudValues[BaudRate] : 0;
}

QString BaudRateToStr(TBaudRate BaudRate)
{
    return textOf(baudTexts, BaudRate);
}

QString StopBitsToStr(TStopBits StopBits)
{
    return textOf(stopTexts, StopBits);
}

QString DataBitsToStr(TDataBits DataBits)
{
    return textOf(dataTexts, DataBits);
}

QString ParityToStr(TParityBits Parity)
{
    return textOf(parityTexts, Parity);
}

QString FlowControlToStr(TFlowControl FlowControl)
{
    return textOf(flowTexts, FlowControl);
}

QString DTRControlToStr(TDTRFlowControl DTRControl)
{
    return textOf(dtrTexts, DTRControl);
}

QString RTSControlToStr(TRTSFlowControl RTSControl)
{
    return textOf(rtsTexts, RTSControl);
}

QString YesNoToStr(bool YesNo)
{
    return YesNo ? QStringLiteral("Yes") : QStringLiteral("No");
}

QString CharToSettingStr(char Ch)
{
    const int code = static_cast<unsigned char>(Ch);
    if (code >= 33 && code <= 127)
        return QString(QChar(code));
    return QLatin1Char('#') + QString::number(code);
}

TBaudRate StrToBaudRate(const QString &Str)
{
    return lookUp(baudTexts, Str, br9600);
}

TStopBits StrToStopBits(const QString &Str)
{
    return lookUp(stopTexts, Str, sbOneStopBit);
}

TDataBits StrToDataBits(const QString &Str)
{
    return lookUp(dataTexts, Str, dbEight);
}

TParityBits StrToParity(const QString &Str)
{
    return lookUp(parityTexts, Str, prNone);
}

TFlowControl StrToFlowControl(const QString &Str)
{
    return lookUp(flowTexts, Str, fcCustom);
}

TDTRFlowControl StrToDTRControl(const QString &Str)
{
    return lookUp(dtrTexts, Str, dtrDisable);
}

TRTSFlowControl StrToRTSControl(const QString &Str)
{
    return lookUp(rtsTexts, Str, rtsDisable);
}

bool StrToYesNo(const QString &Str)
{
    return asciiUpper(Str) == QLatin1String("YES");
}

char SettingStrToChar(const QString &Str)
{
    if (Str.isEmpty())
        return 0;
    if (Str.size() > 1 && Str.at(0) == QLatin1Char('#')) {
        // A decimal code with an optional sign; a text that is no 32-bit
        // integer (blanks included) gives character 0.
        const QString digits = Str.mid(1);
        static const QRegularExpression integer(QStringLiteral("^[+-]?[0-9]+$"));
        bool ok = integer.match(digits).hasMatch();
        const int code = ok ? digits.toInt(&ok, 10) : 0;
        return ok ? static_cast<char>(code & 0xFF) : 0;
    }
    return Str.at(0).toLatin1();
}
