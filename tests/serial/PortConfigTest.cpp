// The settings as the terminal receives them, read back from the pty, and
// updates that batch them.

#include "SerialTestSupport.h"

#include "serial/CustomSpeed.h"
#include "tests/fixtures/PtyDevice.h"

#include <gtest/gtest.h>

#include <termios.h>

#include <functional>
#include <vector>

namespace {

termios terminalOf(const PtyDevice &pty)
{
    termios t = {};
    EXPECT_EQ(tcgetattr(pty.slaveFd(), &t), 0);
    return t;
}

uint32_t rateOf(const PtyDevice &pty)
{
    uint32_t input = 0;
    uint32_t output = 0;
    EXPECT_EQ(readLineSpeed(pty.slaveFd(), input, output), 0);
    EXPECT_EQ(input, output);
    return output;
}

TEST(SerialTerminal, ApplicationSettingsGiveRaw8N1At9600)
{
    PtyDevice pty;
    // A cooked terminal to begin with.
    termios cooked = terminalOf(pty);
    cooked.c_lflag |= ICANON | ECHO | ISIG;
    cooked.c_iflag |= ICRNL | IXON;
    cooked.c_oflag |= OPOST;
    cfsetspeed(&cooked, B38400);
    ASSERT_EQ(tcsetattr(pty.slaveFd(), TCSANOW, &cooked), 0);

    TComPort port;
    setApplicationSettings(port);
    port.SetPort(pty.slavePath());
    port.Open();

    const termios t = terminalOf(pty);
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN));
    EXPECT_FALSE(t.c_iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF | ISTRIP | INPCK));
    EXPECT_FALSE(t.c_oflag & OPOST);
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_FALSE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS));
    EXPECT_TRUE(t.c_cflag & CREAD);
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
    EXPECT_EQ(cfgetispeed(&t), speed_t(B9600));
    EXPECT_EQ(rateOf(pty), 9600u);
}

TEST(SerialTerminal, SettingsReachAnOpenTerminalAtOnce)
{
    // Pseudo-terminals keep 8 data bits without parity whatever is asked;
    // everything else reads back.
    struct Case
    {
        const char *name;
        std::function<void(TComPort &)> change;
        std::function<void(const termios &)> check;
        uint32_t rate;
    };
    const std::vector<Case> cases = {
        {"19200", [](TComPort &p) { p.SetBaudRate(br19200); }, [](const termios &) {}, 19200},
        {"14400 without a constant", [](TComPort &p) { p.SetBaudRate(br14400); },
         [](const termios &) {}, 14400},
        {"256000 without a constant", [](TComPort &p) { p.SetBaudRate(br256000); },
         [](const termios &) {}, 256000},
        {"custom 31250",
         [](TComPort &p) {
             p.SetCustomBaudRate(31250);
             p.SetBaudRate(brCustom);
         },
         [](const termios &) {}, 31250},
        {"two stop bits", [](TComPort &p) { p.SetStopBits(sbTwoStopBits); },
         [](const termios &t) { EXPECT_TRUE(t.c_cflag & CSTOPB); }, 9600},
        {"1.5 stop bits as two", [](TComPort &p) { p.SetStopBits(sbOne5StopBits); },
         [](const termios &t) { EXPECT_TRUE(t.c_cflag & CSTOPB); }, 9600},
        {"hardware handshake", [](TComPort &p) { p.FlowControl()->SetFlowControl(fcHardware); },
         [](const termios &t) { EXPECT_TRUE(t.c_cflag & CRTSCTS); }, 9600},
        {"software handshake, own characters",
         [](TComPort &p) {
             p.FlowControl()->SetFlowControl(fcSoftware);
             p.FlowControl()->SetXonChar('Q');
             p.FlowControl()->SetXoffChar('S');
         },
         [](const termios &t) {
             EXPECT_TRUE(t.c_iflag & IXON);
             EXPECT_TRUE(t.c_iflag & IXOFF);
             EXPECT_EQ(t.c_cc[VSTART], 'Q');
             EXPECT_EQ(t.c_cc[VSTOP], 'S');
         },
         9600},
        {"parity check", [](TComPort &p) { p.Parity()->SetCheck(true); },
         [](const termios &t) {
             EXPECT_TRUE(t.c_iflag & INPCK);
             EXPECT_FALSE(t.c_iflag & PARMRK);
         },
         9600},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        PtyDevice pty;
        TComPort port;
        setApplicationSettings(port);
        port.SetPort(pty.slavePath());
        port.Open();
        c.change(port);
        c.check(terminalOf(pty));
        EXPECT_EQ(rateOf(pty), c.rate);
    }
}

TEST(SerialTerminal, SettingsOfAClosedPortWaitForOpen)
{
    PtyDevice pty;
    TComPort port;
    port.SetPort(pty.slavePath());
    port.Open();
    port.Close();
    port.SetBaudRate(br57600);
    EXPECT_EQ(rateOf(pty), 9600u);
    port.Open();
    EXPECT_EQ(rateOf(pty), 57600u);
}

TEST(SerialTerminal, UpdateAppliesEachGroupOnceAtTheEnd)
{
    PtyDevice pty;
    CountingPort port;
    port.SetPort(pty.slavePath());
    port.Open();
    EXPECT_EQ(port.buffer, 1);
    EXPECT_EQ(port.dcb, 1);
    EXPECT_EQ(port.timeouts, 1);

    port.BeginUpdate();
    port.BeginUpdate();
    EXPECT_EQ(port.UpdateCount(), 2);
    port.SetBaudRate(br19200);
    port.SetStopBits(sbTwoStopBits);
    port.FlowControl()->SetFlowControl(fcHardware);
    port.Timeouts()->SetWriteTotalConstant(500);
    port.Buffer()->SetInputSize(2048);
    // Nothing reached the terminal yet.
    EXPECT_EQ(rateOf(pty), 9600u);
    EXPECT_FALSE(terminalOf(pty).c_cflag & (CSTOPB | CRTSCTS));

    port.reset();
    port.EndUpdate();
    EXPECT_EQ(rateOf(pty), 9600u);
    EXPECT_EQ(port.dcb + port.timeouts + port.buffer, 0);

    port.EndUpdate();
    EXPECT_EQ(port.UpdateCount(), 0);
    EXPECT_EQ(port.buffer, 1);
    EXPECT_EQ(port.dcb, 1);
    EXPECT_EQ(port.timeouts, 1);
    EXPECT_EQ(rateOf(pty), 19200u);
    EXPECT_TRUE(terminalOf(pty).c_cflag & CSTOPB);
    EXPECT_TRUE(terminalOf(pty).c_cflag & CRTSCTS);

    // An EndUpdate too many does nothing.
    port.reset();
    port.EndUpdate();
    EXPECT_EQ(port.UpdateCount(), 0);
    EXPECT_EQ(port.dcb + port.timeouts + port.buffer, 0);
}

} // namespace
