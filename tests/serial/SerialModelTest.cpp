// The serial settings model without a device: conversions, event masks,
// error texts, settings objects and their re-application, the control block
// and its termios rendering, error numbers.

#include "SerialTestSupport.h"

#include "serial/ComTypes.h"
#include "serial/CommModel.h"
#include "serial/TermiosRender.h"
#include "serial/WinError.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

// ---- text conversions ----

struct ConversionCase
{
    const char *name;
    std::function<int()> actual;
    int expected;
};

TEST(SerialConversions, TextToValue)
{
    const std::vector<ConversionCase> cases = {
        {"baud 115200", [] { return int(StrToBaudRate("115200")); }, br115200},
        {"baud 9601", [] { return int(StrToBaudRate("9601")); }, br9600},
        {"baud empty", [] { return int(StrToBaudRate("")); }, br9600},
        {"baud leading blank", [] { return int(StrToBaudRate(" 9600")); }, br9600},
        {"baud custom lower case", [] { return int(StrToBaudRate("custom")); }, brCustom},
        {"baud 256000", [] { return int(StrToBaudRate("256000")); }, br256000},
        {"stop 1.5", [] { return int(StrToStopBits("1.5")); }, sbOne5StopBits},
        {"stop 1.50", [] { return int(StrToStopBits("1.50")); }, sbOneStopBit},
        {"stop 2", [] { return int(StrToStopBits("2")); }, sbTwoStopBits},
        {"data 7", [] { return int(StrToDataBits("7")); }, dbSeven},
        {"data 9", [] { return int(StrToDataBits("9")); }, dbEight},
        {"parity mark mixed case", [] { return int(StrToParity("mArK")); }, prMark},
        {"parity unknown", [] { return int(StrToParity("odd ")); }, prNone},
        {"flow none lower case", [] { return int(StrToFlowControl("none")); }, fcNone},
        {"flow xyz", [] { return int(StrToFlowControl("xyz")); }, fcCustom},
        {"flow HARDWARE", [] { return int(StrToFlowControl("HARDWARE")); }, fcHardware},
        {"dtr handshake", [] { return int(StrToDTRControl("handshake")); }, dtrHandshake},
        {"dtr unknown", [] { return int(StrToDTRControl("toggle")); }, dtrDisable},
        {"rts toggle", [] { return int(StrToRTSControl("Toggle")); }, rtsToggle},
        {"rts unknown", [] { return int(StrToRTSControl("on")); }, rtsDisable},
        {"yes", [] { return int(StrToYesNo("yes")); }, 1},
        {"YES", [] { return int(StrToYesNo("YES")); }, 1},
        {"yes with blank", [] { return int(StrToYesNo("Yes ")); }, 0},
        {"y", [] { return int(StrToYesNo("y")); }, 0},
        {"true", [] { return int(StrToYesNo("true")); }, 0},
    };
    for (const ConversionCase &c : cases)
        EXPECT_EQ(c.actual(), c.expected) << c.name;
}

TEST(SerialConversions, EveryValueSurvivesItsText)
{
    const QStringList baudTexts = {"Custom", "110",   "300",   "600",   "1200",   "2400",
                                   "4800",   "9600",  "14400", "19200", "38400",  "56000",
                                   "57600",  "115200", "128000", "256000"};
    for (int i = 0; i < baudTexts.size(); ++i) {
        EXPECT_EQ(BaudRateToStr(TBaudRate(i)), baudTexts[i]);
        EXPECT_EQ(StrToBaudRate(baudTexts[i].toLower()), TBaudRate(i));
    }
    EXPECT_EQ(QStringList({StopBitsToStr(sbOneStopBit), StopBitsToStr(sbOne5StopBits),
                           StopBitsToStr(sbTwoStopBits)}),
              QStringList({"1", "1.5", "2"}));
    for (int i = 0; i <= dbEight; ++i)
        EXPECT_EQ(StrToDataBits(DataBitsToStr(TDataBits(i))), TDataBits(i));
    for (int i = 0; i <= prSpace; ++i)
        EXPECT_EQ(StrToParity(ParityToStr(TParityBits(i)).toUpper()), TParityBits(i));
    for (int i = 0; i <= fcCustom; ++i)
        EXPECT_EQ(StrToFlowControl(FlowControlToStr(TFlowControl(i))), TFlowControl(i));
    for (int i = 0; i <= dtrHandshake; ++i)
        EXPECT_EQ(StrToDTRControl(DTRControlToStr(TDTRFlowControl(i))), TDTRFlowControl(i));
    for (int i = 0; i <= rtsToggle; ++i)
        EXPECT_EQ(StrToRTSControl(RTSControlToStr(TRTSFlowControl(i))), TRTSFlowControl(i));
    EXPECT_EQ(YesNoToStr(true), "Yes");
    EXPECT_EQ(YesNoToStr(false), "No");
    EXPECT_EQ(ParityToStr(prSpace), "Space");
    EXPECT_EQ(FlowControlToStr(fcNone), "None");
}

TEST(SerialConversions, CharactersAsSettingTexts)
{
    const std::vector<std::pair<int, QString>> toText = {
        {10, "#10"}, {32, "#32"}, {33, "!"},    {65, "A"},
        {127, QString(QChar(127))}, {0, "#0"}, {128, "#128"}, {200, "#200"},
    };
    for (const auto &[code, text] : toText)
        EXPECT_EQ(CharToSettingStr(char(code)), text) << code;

    const std::vector<std::pair<QString, int>> toChar = {
        {"#13", 13}, {"#x", 0},    {"", 0},       {"#", '#'},  {"A", 'A'},
        {"AB", 'A'}, {"#300", 44}, {"# 13", 0},   {"#-1", 255}, {"#200", 200},
        {"#99999999999", 0},
    };
    for (const auto &[text, code] : toChar)
        EXPECT_EQ(static_cast<unsigned char>(SettingStrToChar(text)), code) << qPrintable(text);
}

// ---- events and masks ----

TEST(SerialEventMask, EachEventHasItsBit)
{
    const std::vector<std::pair<TComEvent, uint32_t>> bits = {
        {evRxChar, 0x0001}, {evRxFlag, 0x0002}, {evTxEmpty, 0x0004}, {evCTS, 0x0008},
        {evDSR, 0x0010},    {evRLSD, 0x0020},   {evBreak, 0x0040},   {evError, 0x0080},
        {evRing, 0x0100},   {evRx80Full, 0x0400},
    };
    for (const auto &[event, bit] : bits) {
        EXPECT_EQ(EventsToMask(TComEvents{event}), bit) << int(event);
        EXPECT_EQ(MaskToEvents(bit), TComEvents{event}) << int(event);
    }
    EXPECT_EQ(EventsToMask(allComEvents), 0x05FFu);
    EXPECT_EQ(MaskToEvents(0xFFFFFFFF), allComEvents);
    EXPECT_TRUE(MaskToEvents(0x0200 | 0x0800 | 0x8000).isEmpty());
}

// ---- errors ----

TEST(SerialErrors, MessagesWithAndWithoutErrorNumber)
{
    const EComPort open(ComErrOpen, 2);
    EXPECT_STREQ(open.what(), "Unable to open com port (win error code: 2)");
    EXPECT_EQ(open.Code(), 1);
    EXPECT_EQ(open.WinCode(), 2);

    const EComPort connected(ComErrConnected);
    EXPECT_STREQ(connected.what(), "Cannot set property while connected");
    EXPECT_EQ(connected.WinCode(), -1);

    EXPECT_EQ(EComPort::PortErrorMessage(18), "Link (un)registration failed");
    EXPECT_EQ(EComPort::PortErrorMessage(20), "Cannot wait for event if event thread is created");
    EXPECT_EQ(EComPort::PortErrorMessage(23), "Registry error");
    std::set<std::string> texts;
    for (int code = 1; code <= 23; ++code)
        texts.insert(EComPort::PortErrorMessage(code));
    EXPECT_EQ(texts.size(), 23u);
    EXPECT_EQ(EComPort::PortErrorMessage(0), "");
    EXPECT_EQ(EComPort::PortErrorMessage(24), "");
}

TEST(SerialErrors, PosixConditionsAsErrorNumbers)
{
    const std::vector<std::pair<int, int32_t>> table = {
        {0, 0},        {ENOENT, 2},    {ENXIO, 2},      {ENODEV, 2}, {ENOTDIR, 3},
        {EMFILE, 4},   {EACCES, 5},    {EPERM, 5},      {EBUSY, 5},  {EWOULDBLOCK, 5},
        {EBADF, 6},    {ENOMEM, 8},    {EINVAL, 87},    {ENOTTY, 1}, {EIO, 1117},
        {ETIMEDOUT, 1121}, {ECANCELED, 995}, {EDOM, 31},
    };
    for (const auto &[err, code] : table)
        EXPECT_EQ(WinError::fromErrno(err), code) << err;
}

// ---- settings objects ----

TEST(SerialSettings, DefaultsOfPortAndSettingsObjects)
{
    TComPort port;
    EXPECT_EQ(port.Port(), "COM1");
    EXPECT_EQ(port.BaudRate(), br9600);
    EXPECT_EQ(port.CustomBaudRate(), 9600);
    EXPECT_EQ(port.DataBits(), dbEight);
    EXPECT_EQ(port.StopBits(), sbOneStopBit);
    EXPECT_EQ(port.EventChar(), 0);
    EXPECT_EQ(port.Events(), allComEvents);
    EXPECT_EQ(port.SyncMethod(), smThreadSync);
    EXPECT_TRUE(port.TriggersOnRxChar());
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.Handle(), -1);

    EXPECT_EQ(port.Timeouts()->ReadInterval(), -1);
    EXPECT_EQ(port.Timeouts()->ReadTotalMultiplier(), 0);
    EXPECT_EQ(port.Timeouts()->ReadTotalConstant(), 0);
    EXPECT_EQ(port.Timeouts()->WriteTotalMultiplier(), 100);
    EXPECT_EQ(port.Timeouts()->WriteTotalConstant(), 1000);
    EXPECT_EQ(port.Buffer()->InputSize(), 1024);
    EXPECT_EQ(port.Buffer()->OutputSize(), 1024);
    EXPECT_EQ(port.FlowControl()->ControlRTS(), rtsDisable);
    EXPECT_EQ(port.FlowControl()->XonChar(), 0x11);
    EXPECT_EQ(port.FlowControl()->XoffChar(), 0x13);
    EXPECT_EQ(port.FlowControl()->FlowControl(), fcNone);
    EXPECT_EQ(port.Parity()->Bits(), prNone);
    EXPECT_EQ(port.FlowControl()->ComPort(), &port);
}

TEST(SerialSettings, FlowControlPreset)
{
    struct Case
    {
        const char *name;
        std::function<void(TComFlowControl &)> setup;
        TFlowControl expected;
    };
    const std::vector<Case> cases = {
        {"defaults", [](TComFlowControl &) {}, fcNone},
        {"application (RTS on)", [](TComFlowControl &f) { f.SetControlRTS(rtsEnable); }, fcCustom},
        {"RTS handshake and CTS",
         [](TComFlowControl &f) {
             f.SetControlRTS(rtsHandshake);
             f.SetOutCTSFlow(true);
         },
         fcHardware},
        {"hardware plus XON in",
         [](TComFlowControl &f) {
             f.SetControlRTS(rtsHandshake);
             f.SetOutCTSFlow(true);
             f.SetXonXoffIn(true);
         },
         fcCustom},
        {"both XON/XOFF",
         [](TComFlowControl &f) {
             f.SetXonXoffIn(true);
             f.SetXonXoffOut(true);
         },
         fcSoftware},
        {"XON/XOFF out only", [](TComFlowControl &f) { f.SetXonXoffOut(true); }, fcCustom},
        {"DTR and DSR play no part",
         [](TComFlowControl &f) {
             f.SetControlDTR(dtrHandshake);
             f.SetOutDSRFlow(true);
             f.SetDSRSensitivity(true);
         },
         fcNone},
    };
    for (const Case &c : cases) {
        TComFlowControl flow;
        c.setup(flow);
        EXPECT_EQ(flow.FlowControl(), c.expected) << c.name;
    }

    TComFlowControl flow;
    flow.SetControlRTS(rtsEnable);
    flow.SetControlDTR(dtrEnable);
    flow.SetFlowControl(fcNone);
    EXPECT_EQ(flow.ControlRTS(), rtsDisable);
    EXPECT_EQ(flow.ControlDTR(), dtrEnable);
    flow.SetFlowControl(fcHardware);
    EXPECT_EQ(flow.ControlRTS(), rtsHandshake);
    EXPECT_TRUE(flow.OutCTSFlow());
    flow.SetFlowControl(fcSoftware);
    EXPECT_EQ(flow.ControlRTS(), rtsDisable);
    EXPECT_FALSE(flow.OutCTSFlow());
    EXPECT_TRUE(flow.XonXoffIn() && flow.XonXoffOut());
    flow.SetFlowControl(fcCustom);
    EXPECT_EQ(flow.FlowControl(), fcSoftware);
}

TEST(SerialSettings, AssignCopiesEveryField)
{
    TComFlowControl from;
    from.SetOutCTSFlow(true);
    from.SetOutDSRFlow(true);
    from.SetControlDTR(dtrHandshake);
    from.SetControlRTS(rtsToggle);
    from.SetXonXoffOut(true);
    from.SetXonXoffIn(true);
    from.SetDSRSensitivity(true);
    from.SetTxContinueOnXoff(true);
    from.SetXonChar('a');
    from.SetXoffChar('b');
    TComFlowControl to;
    from.AssignTo(to);
    EXPECT_TRUE(to.OutCTSFlow() && to.OutDSRFlow() && to.XonXoffOut() && to.XonXoffIn()
                && to.DSRSensitivity() && to.TxContinueOnXoff());
    EXPECT_EQ(to.ControlDTR(), dtrHandshake);
    EXPECT_EQ(to.ControlRTS(), rtsToggle);
    EXPECT_EQ(to.XonChar(), 'a');
    EXPECT_EQ(to.XoffChar(), 'b');

    TComTimeouts t1;
    t1.SetReadInterval(1);
    t1.SetReadTotalMultiplier(2);
    t1.SetReadTotalConstant(3);
    t1.SetWriteTotalMultiplier(4);
    t1.SetWriteTotalConstant(5);
    TComTimeouts t2;
    t2.Assign(t1);
    EXPECT_EQ(QList<int>({t2.ReadInterval(), t2.ReadTotalMultiplier(), t2.ReadTotalConstant(),
                          t2.WriteTotalMultiplier(), t2.WriteTotalConstant()}),
              QList<int>({1, 2, 3, 4, 5}));

    TComParity p1;
    p1.SetBits(prMark);
    p1.SetCheck(true);
    p1.SetReplace(true);
    p1.SetReplaceChar('?');
    TComParity p2;
    p2.Assign(p1);
    EXPECT_EQ(p2.Bits(), prMark);
    EXPECT_TRUE(p2.Check() && p2.Replace());
    EXPECT_EQ(p2.ReplaceChar(), '?');
}

TEST(SerialSettings, BufferSizesAreKeptEven)
{
    const std::vector<std::pair<int32_t, int32_t>> cases = {
        {1025, 1024}, {1024, 1024}, {4096, 4096}, {1, 0}, {-3, -3}, {0, 0}, {7, 6}};
    for (const auto &[given, stored] : cases) {
        TComBuffer buffer;
        buffer.SetInputSize(given);
        buffer.SetOutputSize(given);
        EXPECT_EQ(buffer.InputSize(), stored) << given;
        EXPECT_EQ(buffer.OutputSize(), stored) << given;
    }
}

TEST(SerialSettings, ChangedSettingsReapplyTheirGroupOnce)
{
    struct Case
    {
        const char *name;
        std::function<void(CountingPort &)> change;
        int dcb, timeouts, buffer;
    };
    const std::vector<Case> cases = {
        {"same baud rate", [](CountingPort &p) { p.SetBaudRate(br9600); }, 0, 0, 0},
        {"other baud rate", [](CountingPort &p) { p.SetBaudRate(br19200); }, 1, 0, 0},
        {"custom rate", [](CountingPort &p) { p.SetCustomBaudRate(31250); }, 1, 0, 0},
        {"data bits", [](CountingPort &p) { p.SetDataBits(dbSeven); }, 1, 0, 0},
        {"event character", [](CountingPort &p) { p.SetEventChar('\n'); }, 1, 0, 0},
        {"same RTS control",
         [](CountingPort &p) { p.FlowControl()->SetControlRTS(rtsDisable); }, 0, 0, 0},
        {"RTS control", [](CountingPort &p) { p.FlowControl()->SetControlRTS(rtsEnable); }, 1,
         0, 0},
        {"preset custom changes nothing, still applies",
         [](CountingPort &p) { p.FlowControl()->SetFlowControl(fcCustom); }, 1, 0, 0},
        {"preset hardware applies once",
         [](CountingPort &p) { p.FlowControl()->SetFlowControl(fcHardware); }, 1, 0, 0},
        {"parity bits", [](CountingPort &p) { p.Parity()->SetBits(prEven); }, 1, 0, 0},
        {"parity object, unchanged", [](CountingPort &p) { p.SetParity(TComParity()); }, 1, 0,
         0},
        {"same input size", [](CountingPort &p) { p.Buffer()->SetInputSize(1024); }, 0, 0, 0},
        {"odd input size", [](CountingPort &p) { p.Buffer()->SetInputSize(1025); }, 0, 0, 1},
        {"input size", [](CountingPort &p) { p.Buffer()->SetInputSize(2048); }, 0, 0, 1},
        {"buffer object", [](CountingPort &p) { p.SetBuffer(TComBuffer()); }, 0, 0, 1},
        {"same read interval", [](CountingPort &p) { p.Timeouts()->SetReadInterval(-1); }, 0, 0,
         0},
        {"write constant", [](CountingPort &p) { p.Timeouts()->SetWriteTotalConstant(500); }, 0,
         1, 0},
        {"timeouts object", [](CountingPort &p) { p.SetTimeouts(TComTimeouts()); }, 0, 1, 0},
        {"flow object", [](CountingPort &p) { p.SetFlowControl(TComFlowControl()); }, 1, 0, 0},
        {"events are only stored", [](CountingPort &p) { p.SetEvents(TComEvents{evRxChar}); }, 0,
         0, 0},
        {"port name on a closed port", [](CountingPort &p) { p.SetPort("ttyS9"); }, 0, 0, 0},
    };
    for (const Case &c : cases) {
        CountingPort port;
        c.change(port);
        EXPECT_EQ(port.dcb, c.dcb) << c.name;
        EXPECT_EQ(port.timeouts, c.timeouts) << c.name;
        EXPECT_EQ(port.buffer, c.buffer) << c.name;
    }
}

TEST(SerialSettings, ApplicationFlowControlReadsCustomAndPresetNoneDropsRts)
{
    TComPort port;
    setApplicationSettings(port);
    EXPECT_EQ(port.FlowControl()->FlowControl(), fcCustom);
    port.FlowControl()->SetFlowControl(fcNone);
    EXPECT_EQ(port.FlowControl()->ControlRTS(), rtsDisable);
}

TEST(SerialSettings, ThreadSettingsAndLinks)
{
    TComPort port;
    port.SetSyncMethod(smNone);
    EXPECT_EQ(port.SyncMethod(), smNone);
    port.SetEventThreadPriority(tpLower);
    EXPECT_EQ(port.EventThreadPriority(), tpLower);

    TComLink plain;
    TComLink buffered;
    buffered.OnRxBuf = [](TCustomComPort *, const QByteArray &, int32_t) {};
    port.RegisterLink(&plain);
    expectComError([&] { port.RegisterLink(&plain); }, ComErrRegisterLink, -1);
    EXPECT_FALSE(port.LinkedToRxBuf());
    port.SetTriggersOnRxChar(false);

    port.RegisterLink(&buffered);
    EXPECT_TRUE(port.LinkedToRxBuf());
    EXPECT_FALSE(port.GetTriggersOnRxChar());
    expectComError([&] { port.SetTriggersOnRxChar(false); }, ComErrHasLink, -1);

    port.UnRegisterLink(&buffered);
    EXPECT_FALSE(port.LinkedToRxBuf());
    expectComError([&] { port.UnRegisterLink(&buffered); }, ComErrRegisterLink, -1);
    port.SetTriggersOnRxChar(true);
    EXPECT_TRUE(port.TriggersOnRxChar());
    ASSERT_EQ(port.Links().size(), 1u);
    EXPECT_EQ(port.Links().front(), &plain);
}

// ---- the control block ----

QByteArray hexBytes(const char *hex)
{
    return QByteArray::fromHex(QByteArray(hex).replace(' ', ""));
}

uint32_t field(const QByteArray &bytes, int offset, int width)
{
    uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes.at(offset + i));
    return value;
}

TEST(SerialControlBlock, ApplicationSettingsRecord)
{
    TComPort port;
    setApplicationSettings(port);
    EXPECT_EQ(port.BuildDCB().toBytes().toHex(' '),
              hexBytes("1c000000 80250000 01100000 0000 0001 0001 08 00 00 11 13 00 00 0a 0000")
                  .toHex(' '));
}

TEST(SerialControlBlock, FieldsFollowTheSettings)
{
    struct Expect
    {
        int offset;
        int width;
        uint32_t value;
    };
    struct Case
    {
        const char *name;
        std::function<void(TComPort &)> setup;
        std::vector<Expect> expect;
    };
    enum { Baud = 4, Flags = 8, XonLim = 14, XoffLim = 16, ByteSize = 18, Parity = 19, Stop = 20 };
    enum { XonChar = 21, XoffChar = 22, ErrorChar = 23, EvtChar = 25 };
    const std::vector<Case> cases = {
        {"defaults",
         [](TComPort &) {},
         {{0, 4, 28}, {Baud, 4, 9600}, {Flags, 4, 0x0001}, {XonLim, 2, 256}, {ByteSize, 1, 8},
          {EvtChar, 1, 0}}},
        {"input size 4096",
         [](TComPort &p) { p.Buffer()->SetInputSize(4096); },
         {{XonLim, 2, 1024}, {XoffLim, 2, 1024}}},
        {"input size 1026", [](TComPort &p) { p.Buffer()->SetInputSize(1026); }, {{XonLim, 2, 256}}},
        {"7 data bits, even parity",
         [](TComPort &p) {
             p.SetDataBits(dbSeven);
             p.Parity()->SetBits(prEven);
         },
         {{ByteSize, 1, 7}, {Parity, 1, 2}}},
        {"5 data bits, mark, 1.5 stop bits",
         [](TComPort &p) {
             p.SetDataBits(dbFive);
             p.Parity()->SetBits(prMark);
             p.SetStopBits(sbOne5StopBits);
         },
         {{ByteSize, 1, 5}, {Parity, 1, 3}, {Stop, 1, 1}}},
        {"space parity, two stop bits",
         [](TComPort &p) {
             p.Parity()->SetBits(prSpace);
             p.SetStopBits(sbTwoStopBits);
         },
         {{Parity, 1, 4}, {Stop, 1, 2}}},
        {"replace without check",
         [](TComPort &p) {
             p.Parity()->SetReplace(true);
             p.Parity()->SetReplaceChar('?');
         },
         {{Flags, 4, 0x0001}, {ErrorChar, 1, 0}}},
        {"check and replace",
         [](TComPort &p) {
             p.Parity()->SetCheck(true);
             p.Parity()->SetReplace(true);
             p.Parity()->SetReplaceChar('?');
         },
         {{Flags, 4, 0x0403}, {ErrorChar, 1, '?'}}},
        {"custom rate",
         [](TComPort &p) {
             p.SetBaudRate(brCustom);
             p.SetCustomBaudRate(31250);
         },
         {{Baud, 4, 31250}}},
        {"custom rate ignored for a listed rate",
         [](TComPort &p) {
             p.SetCustomBaudRate(31250);
             p.SetBaudRate(br256000);
         },
         {{Baud, 4, 256000}}},
        {"hardware handshake",
         [](TComPort &p) { p.FlowControl()->SetFlowControl(fcHardware); },
         {{Flags, 4, 0x2005}}},
        {"software handshake, own characters",
         [](TComPort &p) {
             p.FlowControl()->SetFlowControl(fcSoftware);
             p.FlowControl()->SetXonChar('Q');
             p.FlowControl()->SetXoffChar('S');
         },
         {{Flags, 4, 0x0301}, {XonChar, 1, 'Q'}, {XoffChar, 1, 'S'}}},
        {"DTR handshake, DSR flow and sensitivity, continue on XOFF",
         [](TComPort &p) {
             p.FlowControl()->SetControlDTR(dtrHandshake);
             p.FlowControl()->SetOutDSRFlow(true);
             p.FlowControl()->SetDSRSensitivity(true);
             p.FlowControl()->SetTxContinueOnXoff(true);
         },
         {{Flags, 4, 0x00E9}}},
        {"DTR enabled", [](TComPort &p) { p.FlowControl()->SetControlDTR(dtrEnable); },
         {{Flags, 4, 0x0011}}},
        {"RTS toggle, discard null",
         [](TComPort &p) {
             p.FlowControl()->SetControlRTS(rtsToggle);
             p.SetDiscardNull(true);
         },
         {{Flags, 4, 0x3801}}},
    };
    for (const Case &c : cases) {
        TComPort port;
        c.setup(port);
        const QByteArray bytes = port.BuildDCB().toBytes();
        ASSERT_EQ(bytes.size(), 28) << c.name;
        for (const Expect &e : c.expect)
            EXPECT_EQ(field(bytes, e.offset, e.width), e.value) << c.name << " @" << e.offset;
        EXPECT_EQ(field(bytes, 12, 2), 0u) << c.name;
        EXPECT_EQ(field(bytes, 24, 1), 0u) << c.name;
        EXPECT_EQ(field(bytes, 26, 2), 0u) << c.name;
    }
}

// ---- termios rendering ----

TEST(SerialTermios, ControlBlockRendering)
{
    using namespace WinComm;
    struct Case
    {
        const char *name;
        std::function<void(DeviceControlBlock &)> setup;
        tcflag_t cflagSet, cflagClear, iflagSet, iflagClear;
        uint32_t customRate;
    };
    const tcflag_t parityBits = PARENB | PARODD | CMSPAR;
    const std::vector<Case> cases = {
        {"8N1 9600", [](DeviceControlBlock &) {}, CS8 | CREAD | CLOCAL,
         parityBits | CSTOPB | CRTSCTS, 0, INPCK | PARMRK | IXON | IXOFF, 0},
        {"7E1",
         [](DeviceControlBlock &d) {
             d.ByteSize = 7;
             d.Parity = EVENPARITY;
         },
         CS7 | PARENB, PARODD | CMSPAR | CSTOPB, 0, 0, 0},
        {"5O2",
         [](DeviceControlBlock &d) {
             d.ByteSize = 5;
             d.Parity = ODDPARITY;
             d.StopBits = TWOSTOPBITS;
         },
         CS5 | PARENB | PARODD | CSTOPB, CMSPAR, 0, 0, 0},
        {"6 mark 1.5",
         [](DeviceControlBlock &d) {
             d.ByteSize = 6;
             d.Parity = MARKPARITY;
             d.StopBits = ONE5STOPBITS;
         },
         CS6 | PARENB | PARODD | CMSPAR | CSTOPB, 0, 0, 0, 0},
        {"space", [](DeviceControlBlock &d) { d.Parity = SPACEPARITY; }, PARENB | CMSPAR, PARODD,
         0, 0, 0},
        {"parity check", [](DeviceControlBlock &d) { d.Flags |= DCB_PARITY; }, 0, 0, INPCK,
         PARMRK, 0},
        {"check and replace",
         [](DeviceControlBlock &d) { d.Flags |= DCB_PARITY | DCB_ERROR_CHAR; }, 0, 0,
         INPCK | PARMRK, IGNPAR, 0},
        {"CTS flow", [](DeviceControlBlock &d) { d.Flags |= DCB_OUTX_CTS_FLOW; }, CRTSCTS, 0, 0,
         0, 0},
        {"RTS handshake", [](DeviceControlBlock &d) { d.Flags |= DCB_RTS_HANDSHAKE; }, CRTSCTS,
         0, 0, 0, 0},
        {"RTS enabled is no handshake", [](DeviceControlBlock &d) { d.Flags |= DCB_RTS_ENABLE; },
         0, CRTSCTS, 0, 0, 0},
        {"XON/XOFF both", [](DeviceControlBlock &d) { d.Flags |= DCB_OUTX | DCB_INX; }, 0, 0,
         IXON | IXOFF, IXANY, 0},
        {"XON/XOFF in only", [](DeviceControlBlock &d) { d.Flags |= DCB_INX; }, 0, 0, IXOFF,
         IXON, 0},
        {"14400 has no constant", [](DeviceControlBlock &d) { d.BaudRate = 14400; }, 0, 0, 0, 0,
         14400},
        {"256000 has no constant", [](DeviceControlBlock &d) { d.BaudRate = 256000; }, 0, 0, 0,
         0, 256000},
        {"115200 has one", [](DeviceControlBlock &d) { d.BaudRate = 115200; }, 0, 0, 0, 0, 0},
    };
    for (const Case &c : cases) {
        DeviceControlBlock dcb;
        dcb.BaudRate = 9600;
        dcb.Flags = DCB_BINARY;
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
        c.setup(dcb);
        // Start from a cooked terminal: the rendering must make it raw.
        termios t = {};
        t.c_iflag = ICRNL | IXON | IGNPAR | ISTRIP;
        t.c_oflag = OPOST | ONLCR;
        t.c_lflag = ICANON | ECHO | ECHOE | ISIG | IEXTEN;
        t.c_cflag = CS7 | PARENB | HUPCL;
        uint32_t customRate = 1;
        ASSERT_TRUE(renderControlBlock(dcb, t, customRate)) << c.name;
        if (!(c.iflagSet & IXON)) {
            EXPECT_FALSE(t.c_iflag & IXON) << c.name;
        }
        EXPECT_FALSE(t.c_iflag & (ICRNL | ISTRIP)) << c.name;
        EXPECT_FALSE(t.c_oflag & OPOST) << c.name;
        EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) << c.name;
        EXPECT_EQ(t.c_cc[VMIN], 1) << c.name;
        EXPECT_EQ(t.c_cc[VTIME], 0) << c.name;
        EXPECT_EQ(t.c_cflag & c.cflagSet, c.cflagSet) << c.name;
        EXPECT_EQ(t.c_cflag & c.cflagClear, 0u) << c.name;
        EXPECT_EQ(t.c_iflag & c.iflagSet, c.iflagSet) << c.name;
        EXPECT_EQ(t.c_iflag & c.iflagClear, 0u) << c.name;
        EXPECT_EQ(t.c_cc[VSTART], 0x11) << c.name;
        EXPECT_EQ(t.c_cc[VSTOP], 0x13) << c.name;
        EXPECT_EQ(customRate, c.customRate) << c.name;
        if (c.customRate == 0) {
            EXPECT_EQ(cfgetospeed(&t), dcb.BaudRate == 9600 ? B9600 : B115200) << c.name;
        }
    }
}

TEST(SerialTermios, ValuesWithoutRenderingAreRefused)
{
    const std::vector<std::pair<const char *, std::function<void(DeviceControlBlock &)>>> cases = {
        {"rate 0", [](DeviceControlBlock &d) { d.BaudRate = 0; }},
        {"9 data bits", [](DeviceControlBlock &d) { d.ByteSize = 9; }},
        {"4 data bits", [](DeviceControlBlock &d) { d.ByteSize = 4; }},
        {"parity 5", [](DeviceControlBlock &d) { d.Parity = 5; }},
        {"stop bits 3", [](DeviceControlBlock &d) { d.StopBits = 3; }},
    };
    for (const auto &[name, setup] : cases) {
        DeviceControlBlock dcb;
        dcb.BaudRate = 9600;
        setup(dcb);
        termios t = {};
        uint32_t customRate = 0;
        EXPECT_FALSE(renderControlBlock(dcb, t, customRate)) << name;
    }
}

} // namespace
