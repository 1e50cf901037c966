#include "serial/ComSettingsStore.h"
#include "serial/SettingsRegistry.h"
#include "serial/TComPort.h"

#include "tests/fixtures/PtyDevice.h"
#include "tests/fixtures/WorkDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <termios.h>

#include <memory>

namespace {

const TStoredProps allGroups = {spBasic, spFlowControl, spBuffer, spTimeouts, spParity, spOthers};

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// The value names in a stored file, in their order.
QStringList valueNames(const QByteArray &file)
{
    QStringList names;
    for (const QByteArray &line : file.split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0 && !line.startsWith('['))
            names.append(QString::fromLatin1(line.left(eq)));
    }
    return names;
}

// Every stored setting of a port as a text, to compare ports whole.
QStringList snapshot(const TCustomComPort &p)
{
    const auto n = [](auto v) { return QString::number(int(v)); };
    return {p.Port(),
            n(p.BaudRate()),
            n(p.CustomBaudRate()),
            n(p.StopBits()),
            n(p.DataBits()),
            n(p.Parity()->Bits()),
            n(p.EventChar()),
            n(p.DiscardNull()),
            n(p.Parity()->Check()),
            n(p.Parity()->Replace()),
            n(uint8_t(p.Parity()->ReplaceChar())),
            n(p.Buffer()->OutputSize()),
            n(p.Buffer()->InputSize()),
            n(p.Timeouts()->ReadInterval()),
            n(p.Timeouts()->ReadTotalConstant()),
            n(p.Timeouts()->ReadTotalMultiplier()),
            n(p.Timeouts()->WriteTotalConstant()),
            n(p.Timeouts()->WriteTotalMultiplier()),
            n(p.FlowControl()->ControlRTS()),
            n(p.FlowControl()->ControlDTR()),
            n(p.FlowControl()->DSRSensitivity()),
            n(p.FlowControl()->OutCTSFlow()),
            n(p.FlowControl()->OutDSRFlow()),
            n(p.FlowControl()->TxContinueOnXoff()),
            n(p.FlowControl()->XonXoffIn()),
            n(p.FlowControl()->XonXoffOut()),
            n(uint8_t(p.FlowControl()->XoffChar())),
            n(uint8_t(p.FlowControl()->XonChar()))};
}

template<typename F> int32_t raisedCode(F &&f, int32_t *winCode = nullptr)
{
    try {
        f();
    } catch (const EComPort &e) {
        if (winCode)
            *winCode = e.WinCode();
        return e.Code();
    }
    return 0;
}

// A working folder that is also the user's configuration folder, and the
// application's port named ComPort.
class ComSettingsStoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(work.isValid());
        savedConfigHome = qgetenv("XDG_CONFIG_HOME");
        hadConfigHome = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(work.filePath(QStringLiteral("config"))));
        port = makePort();
    }
    void TearDown() override
    {
        port.reset();
        if (hadConfigHome)
            qputenv("XDG_CONFIG_HOME", savedConfigHome);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }

    static std::unique_ptr<TComPort> makePort()
    {
        auto p = std::make_unique<TComPort>();
        p->setObjectName(QStringLiteral("ComPort"));
        return p;
    }

    QString iniPath() const { return work.filePath(QStringLiteral("port.ini")); }
    QString registryPath() const
    {
        return work.filePath(QStringLiteral("config/hollvan/registry.ini"));
    }
    QString storedFile(TStoreType type) const
    {
        return type == stIniFile ? iniPath() : registryPath();
    }
    QString location(TStoreType type) const
    {
        return type == stIniFile ? iniPath()
                                 : QStringLiteral("HKEY_CURRENT_USER\\Software\\Example");
    }

    WorkDir work;
    QByteArray savedConfigHome;
    bool hadConfigHome = false;
    std::unique_ptr<TComPort> port;
};

TEST_F(ComSettingsStoreTest, DefaultsGoToTheIniAsTheBasicValues)
{
    ComSettingsStore store(*port);
    EXPECT_EQ(store.StoredProps(), TStoredProps({spBasic}));
    store.StoreSettings(stIniFile, iniPath());
    EXPECT_EQ(readFile(iniPath()),
              QByteArray("[ComPort]\r\n"
                         "Port=COM1\r\n"
                         "BaudRate=9600\r\n"
                         "StopBits=1\r\n"
                         "DataBits=8\r\n"
                         "Parity=None\r\n"
                         "FlowControl=None\r\n"));
}

TEST_F(ComSettingsStoreTest, CustomRateIsStoredOnlyWithTheCustomBaudRate)
{
    struct Case
    {
        TStoreType type;
        TBaudRate rate;
        const char *customLine; // nullptr: no such value
    };
    const Case cases[] = {
        {stIniFile, brCustom, "CustomBaudRate=31250"},
        {stIniFile, br19200, nullptr},
        {stRegistry, brCustom, "CustomBaudRate=dword:00007a12"},
        {stRegistry, br19200, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << int(c.type) << " rate " << int(c.rate));
        QFile::remove(storedFile(c.type));
        auto source = makePort();
        source->SetBaudRate(c.rate);
        source->SetCustomBaudRate(31250);
        ComSettingsStore(*source).StoreSettings(c.type, location(c.type));

        const QByteArray file = readFile(storedFile(c.type));
        QStringList expected
            = {"Port", "BaudRate", "StopBits", "DataBits", "Parity", "FlowControl"};
        if (c.customLine) {
            expected.insert(2, QStringLiteral("CustomBaudRate"));
            const QByteArray lineEnd = c.type == stIniFile ? "\r\n" : "\n";
            EXPECT_TRUE(file.contains(c.customLine + lineEnd)) << file.toStdString();
        }
        EXPECT_EQ(valueNames(file), expected);

        auto loaded = makePort();
        ComSettingsStore(*loaded).LoadSettings(c.type, location(c.type));
        EXPECT_EQ(loaded->BaudRate(), c.rate);
        EXPECT_EQ(loaded->CustomBaudRate(), c.customLine ? 31250 : 9600);
    }
}

TEST_F(ComSettingsStoreTest, EveryGroupTravelsThereAndBack)
{
    auto source = makePort();
    TCustomComPort &s = *source;
    s.SetPort(QStringLiteral("portż"));
    s.SetBaudRate(brCustom);
    s.SetCustomBaudRate(31250);
    s.SetStopBits(sbTwoStopBits);
    s.SetDataBits(dbSeven);
    s.Parity()->SetBits(prEven);
    s.SetEventChar('\n');
    s.SetDiscardNull(true);
    s.Parity()->SetCheck(true);
    s.Parity()->SetReplace(true);
    s.Parity()->SetReplaceChar(char(200));
    s.Buffer()->SetOutputSize(2048);
    s.Buffer()->SetInputSize(4096);
    s.Timeouts()->SetReadInterval(10);
    s.Timeouts()->SetReadTotalConstant(20);
    s.Timeouts()->SetReadTotalMultiplier(30);
    s.Timeouts()->SetWriteTotalConstant(-1);
    s.Timeouts()->SetWriteTotalMultiplier(50);
    s.FlowControl()->SetControlRTS(rtsToggle);
    s.FlowControl()->SetControlDTR(dtrHandshake);
    s.FlowControl()->SetDSRSensitivity(true);
    s.FlowControl()->SetOutCTSFlow(true);
    s.FlowControl()->SetOutDSRFlow(true);
    s.FlowControl()->SetTxContinueOnXoff(true);
    s.FlowControl()->SetXonXoffIn(true);
    s.FlowControl()->SetXonXoffOut(true);
    s.FlowControl()->SetXoffChar('#');
    s.FlowControl()->SetXonChar(' ');

    // The test's values differ from the defaults everywhere, so each one
    // that does not travel shows.
    const QStringList defaults = snapshot(*makePort());
    const QStringList values = snapshot(s);
    for (qsizetype i = 0; i < values.size(); ++i)
        EXPECT_NE(values.at(i), defaults.at(i)) << "field " << i;

    for (TStoreType type : {stIniFile, stRegistry}) {
        SCOPED_TRACE(int(type));
        ComSettingsStore out(s);
        out.SetStoredProps(allGroups);
        out.StoreSettings(type, location(type));

        auto loaded = makePort();
        ComSettingsStore in(*loaded);
        in.SetStoredProps(allGroups);
        in.LoadSettings(type, location(type));
        EXPECT_EQ(snapshot(*loaded), values);
    }

    // Windows text in the ini file; typed values in the registry.
    const QByteArray ini = readFile(iniPath());
    EXPECT_TRUE(ini.contains("Port=port\xbf\r\n"));
    EXPECT_TRUE(ini.contains("EventChar=#10\r\n"));
    EXPECT_TRUE(ini.contains("Parity.ReplaceChar=#200\r\n"));
    EXPECT_TRUE(ini.contains("FlowControl.XonChar=#32\r\n"));
    EXPECT_TRUE(ini.contains("Timeouts.WriteTotalConstant=-1\r\n"));
    const QByteArray reg = readFile(registryPath());
    EXPECT_TRUE(reg.startsWith("[HKEY_CURRENT_USER\\Software\\Example\\ComPort]\n"));
    EXPECT_TRUE(reg.contains("\nPort=sz:port\xc5\xbc\n"));
    EXPECT_TRUE(reg.contains("\nDiscardNull=sz:Yes\n"));
    EXPECT_TRUE(reg.contains("\nBuffer.InputSize=dword:00001000\n"));
    EXPECT_TRUE(reg.contains("\nTimeouts.WriteTotalConstant=dword:ffffffff\n"));
}

TEST_F(ComSettingsStoreTest, MissingIniKeysKeepTheirValues)
{
    writeFile(iniPath(), "[ComPort]\r\nFlowControl.ControlDTR=Enable\r\n");
    port->FlowControl()->SetOutDSRFlow(true);
    port->FlowControl()->SetControlRTS(rtsEnable);
    ComSettingsStore store(*port);
    store.SetStoredProps({spFlowControl});
    store.LoadSettings(stIniFile, iniPath());
    EXPECT_TRUE(port->FlowControl()->OutDSRFlow());
    EXPECT_EQ(port->FlowControl()->ControlRTS(), rtsEnable);
    EXPECT_EQ(port->FlowControl()->ControlDTR(), dtrEnable);

    // The one exception: a missing custom rate reads as 9600.
    writeFile(iniPath(), "[comport]\nbaudrate = custom\n");
    port->SetCustomBaudRate(31250);
    store.SetStoredProps({spBasic});
    store.LoadSettings(stIniFile, iniPath());
    EXPECT_EQ(port->BaudRate(), brCustom);
    EXPECT_EQ(port->CustomBaudRate(), 9600);
    EXPECT_EQ(port->Port(), QStringLiteral("COM1"));
}

TEST_F(ComSettingsStoreTest, PresetThenItsFieldsLeaveTheLaterValues)
{
    writeFile(iniPath(), "[ComPort]\r\nFlowControl=Hardware\r\nFlowControl.ControlRTS=Enable\r\n");
    ComSettingsStore store(*port);
    store.SetStoredProps({spBasic, spFlowControl});
    store.LoadSettings(stIniFile, iniPath());
    EXPECT_EQ(port->FlowControl()->ControlRTS(), rtsEnable);
    EXPECT_TRUE(port->FlowControl()->OutCTSFlow()); // from the preset
}

TEST_F(ComSettingsStoreTest, RegistryLoadFailsOnAMissingNumberAfterSettingEarlierValues)
{
    writeFile(registryPath(),
              "[HKEY_CURRENT_USER\\Software\\Example\\ComPort]\n"
              "Port=sz:COM7\n"
              "BaudRate=sz:19200\n"
              "Buffer.OutputSize=dword:00000800\n");
    port->Parity()->SetBits(prOdd);
    ComSettingsStore store(*port);
    store.SetStoredProps({spBasic, spBuffer});
    int32_t winCode = 0;
    EXPECT_EQ(raisedCode([&] { store.LoadSettings(stRegistry, location(stRegistry)); }, &winCode),
              ComErrLoadSettings);
    EXPECT_EQ(winCode, -1);
    EXPECT_EQ(port->Port(), QStringLiteral("COM7"));
    EXPECT_EQ(port->BaudRate(), br19200);
    EXPECT_EQ(port->Parity()->Bits(), prNone); // a missing text reads as empty: the default
    EXPECT_EQ(port->Buffer()->OutputSize(), 2048);
    EXPECT_EQ(port->Buffer()->InputSize(), 1024);
    EXPECT_EQ(port->UpdateCount(), 0);

    // A value of the wrong type is no value either.
    writeFile(registryPath(),
              "[HKEY_CURRENT_USER\\Software\\Example\\ComPort]\n"
              "Port=dword:00000001\n");
    store.SetStoredProps({spBasic});
    EXPECT_EQ(raisedCode([&] { store.LoadSettings(stRegistry, location(stRegistry)); }),
              ComErrLoadSettings);
}

TEST_F(ComSettingsStoreTest, RegistryLocationPicksRootAndKey)
{
    struct Case
    {
        const char *location;
        const char *key;
    };
    const Case cases[] = {
        {"hkey_local_machine\\Software\\Example", "HKEY_LOCAL_MACHINE\\Software\\Example\\ComPort"},
        {"HKEY_CURRENT_USER\\Software\\Example\\", "HKEY_CURRENT_USER\\Software\\Example\\ComPort"},
        {"HKEY_USERS\\Software\\Other", "HKEY_CURRENT_USER\\Software\\Other\\ComPort"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.location);
        QFile::remove(registryPath());
        ComSettingsStore(*port).StoreSettings(stRegistry, QString::fromLatin1(c.location));
        EXPECT_TRUE(readFile(registryPath()).startsWith(QByteArray("[") + c.key + "]\n"));
    }

    // Key paths and names are found without regard to letter case.
    port->SetPort(QStringLiteral("COM5"));
    ComSettingsStore(*port).StoreSettings(stRegistry, "hkey_local_machine\\Software\\Example");
    auto loaded = makePort();
    loaded->setObjectName(QStringLiteral("comport"));
    ComSettingsStore(*loaded).LoadSettings(stRegistry, "HKEY_LOCAL_MACHINE\\SOFTWARE\\EXAMPLE");
    EXPECT_EQ(loaded->Port(), QStringLiteral("COM5"));
}

TEST_F(ComSettingsStoreTest, LocationWithoutBackslashOpensNoKey)
{
    ComSettingsStore store(*port);
    int32_t winCode = 0;
    EXPECT_EQ(
        raisedCode([&] { store.StoreSettings(stRegistry, QStringLiteral("Software")); }, &winCode),
        ComErrStoreSettings);
    EXPECT_EQ(winCode, -1);
    EXPECT_FALSE(QFile::exists(registryPath()));

    // Reads find nothing: texts read as empty, a number is missing.
    store.LoadSettings(stRegistry, QStringLiteral("Software"));
    EXPECT_EQ(port->Port(), QString());
    store.SetStoredProps({spBuffer});
    EXPECT_EQ(raisedCode([&] { store.LoadSettings(stRegistry, QStringLiteral("Software")); }),
              ComErrLoadSettings);
}

TEST_F(ComSettingsStoreTest, StoringIntoAnIniKeepsEverythingElseInIt)
{
    writeFile(iniPath(),
              "; settings\n"
              "[Other]\n"
              "A=1\n"
              "\n"
              "[comport]\n"
              "Port = COM9\n"
              "Extra=x\n"
              "\n"
              "[Last]\n"
              "B=2\n");
    ComSettingsStore(*port).StoreSettings(stIniFile, iniPath());
    EXPECT_EQ(readFile(iniPath()),
              QByteArray("; settings\r\n"
                         "[Other]\r\n"
                         "A=1\r\n"
                         "\r\n"
                         "[comport]\r\n"
                         "Port=COM1\r\n"
                         "Extra=x\r\n"
                         "BaudRate=9600\r\n"
                         "StopBits=1\r\n"
                         "DataBits=8\r\n"
                         "Parity=None\r\n"
                         "FlowControl=None\r\n"
                         "\r\n"
                         "[Last]\r\n"
                         "B=2\r\n"));
}

TEST_F(ComSettingsStoreTest, UnreadableFilesFailWithTheStoresCodes)
{
    // A folder where the file should be can be neither read nor replaced.
    ASSERT_TRUE(QDir().mkpath(iniPath()));
    ASSERT_TRUE(QDir().mkpath(registryPath()));
    for (TStoreType type : {stIniFile, stRegistry}) {
        SCOPED_TRACE(int(type));
        ComSettingsStore store(*port);
        EXPECT_EQ(raisedCode([&] { store.StoreSettings(type, location(type)); }),
                  ComErrStoreSettings);
        EXPECT_EQ(raisedCode([&] { store.LoadSettings(type, location(type)); }),
                  ComErrLoadSettings);
        EXPECT_EQ(port->UpdateCount(), 0);
        EXPECT_EQ(port->Port(), QStringLiteral("COM1"));
    }
}

// Loading into an open port: a new port name reopens it at once, the other
// settings reach the device together at the end.
class ComSettingsStoreOpenPortTest : public ComSettingsStoreTest
{
protected:
    void SetUp() override
    {
        ComSettingsStoreTest::SetUp();
        ASSERT_TRUE(pty1.isValid() && pty2.isValid());
        ASSERT_TRUE(work.linkDevice(QStringLiteral("COM1"), pty1.slavePath()));
        ASSERT_TRUE(work.linkDevice(QStringLiteral("COM2"), pty2.slavePath()));
        ASSERT_TRUE(work.enter());
        port->Open();
        ASSERT_TRUE(port->Connected());
    }
    void TearDown() override
    {
        port.reset();
        work.leave();
        ComSettingsStoreTest::TearDown();
    }

    static speed_t speedOf(const PtyDevice &pty)
    {
        termios t {};
        return ::tcgetattr(pty.slaveFd(), &t) == 0 ? cfgetospeed(&t) : speed_t(0);
    }

    PtyDevice pty1;
    PtyDevice pty2;
};

TEST_F(ComSettingsStoreOpenPortTest, NewPortAndRateReachTheDevice)
{
    writeFile(iniPath(), "[ComPort]\r\nPort=COM2\r\nBaudRate=19200\r\n");
    ComSettingsStore(*port).LoadSettings(stIniFile, iniPath());
    EXPECT_TRUE(port->Connected());
    EXPECT_EQ(port->Port(), QStringLiteral("COM2"));
    EXPECT_EQ(port->UpdateCount(), 0);
    EXPECT_EQ(speedOf(pty2), speed_t(B19200));
    EXPECT_EQ(port->WriteStr("ok\n"), 3);
    EXPECT_EQ(pty2.readUntil('\n'), QByteArray("ok\n"));
}

// The application's port, counting the control blocks that reach its open device.
class CountingPort : public TComPort
{
public:
    int controlBlocksApplied = 0;

protected:
    void ApplyDCB() override
    {
        if (Connected() && UpdateCount() == 0)
            ++controlBlocksApplied;
        TComPort::ApplyDCB();
    }
};

TEST_F(ComSettingsStoreOpenPortTest, LoadedSettingsReachTheDeviceOnceAtTheEnd)
{
    port->Close();
    CountingPort counting;
    counting.setObjectName(QStringLiteral("ComPort"));
    counting.Open();
    counting.controlBlocksApplied = 0;

    writeFile(iniPath(),
              "[ComPort]\r\nBaudRate=19200\r\nDataBits=7\r\nParity=Even\r\n"
              "StopBits=2\r\nFlowControl.ControlRTS=Enable\r\n");
    ComSettingsStore store(counting);
    store.SetStoredProps({spBasic, spFlowControl});
    store.LoadSettings(stIniFile, iniPath());
    EXPECT_EQ(counting.controlBlocksApplied, 1);

    termios t {};
    ASSERT_EQ(::tcgetattr(pty1.slaveFd(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B19200));
    // A pseudo-terminal keeps the rate and the stop bits (it forces 8 bits, no parity).
    EXPECT_TRUE(t.c_cflag & CSTOPB);
}

TEST_F(ComSettingsStoreOpenPortTest, APortThatCannotReopenFailsTheLoad)
{
    writeFile(iniPath(), "[ComPort]\r\nPort=COM3\r\nBaudRate=19200\r\n");
    EXPECT_EQ(raisedCode([&] { ComSettingsStore(*port).LoadSettings(stIniFile, iniPath()); }),
              ComErrLoadSettings);
    EXPECT_FALSE(port->Connected());
    EXPECT_EQ(port->Port(), QStringLiteral("COM3"));
    EXPECT_EQ(port->BaudRate(), br9600); // the load stopped at the port name
    EXPECT_EQ(port->UpdateCount(), 0);
}

} // namespace

namespace {

TEST(SettingsRegistry, OddNamesAndTextsSurviveTheFile)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString file = tmp.filePath(QStringLiteral("registry.ini"));
    const QString name = QStringLiteral("[a=b]%20");
    const QString text = QStringLiteral("line\nnext\r=%41 ]");
    {
        SettingsRegistry registry(file);
        ASSERT_TRUE(registry.load());
        ASSERT_TRUE(registry.openKey(QStringLiteral("Software\\Odd]Key\nX"), true));
        ASSERT_TRUE(registry.writeString(name, text));
        ASSERT_TRUE(registry.writeInteger(QStringLiteral("n"), -2));
        ASSERT_TRUE(registry.flush());
    }
    SettingsRegistry registry(file);
    ASSERT_TRUE(registry.load());
    ASSERT_TRUE(registry.openKey(QStringLiteral("software\\odd]key\nx"), false));
    EXPECT_EQ(registry.readString(name), text);
    EXPECT_EQ(registry.readInteger(QStringLiteral("n")), -2);
    EXPECT_EQ(registry.valueType(QStringLiteral("N")), SettingsRegistry::ValueType::Integer);
    EXPECT_EQ(registry.readInteger(name), std::nullopt);
    EXPECT_EQ(registry.readString(QStringLiteral("n")), std::nullopt);
    EXPECT_EQ(registry.readString(QStringLiteral("absent")), QString());
}

} // namespace
