#include "serial/ComSettingsStore.h"

#include "serial/EComPort.h"
#include "serial/IniFile.h"
#include "serial/SettingsRegistry.h"
#include "serial/TCustomComPort.h"

#include <optional>
#include <stdexcept>

namespace {

using Port = TCustomComPort;

// One stored value: its group, its name, and how it is taken from and given
// to the port, as a text or as a number.
struct SettingValue
{
    TStoredProp group;
    const char *name;
    QString (*text)(const Port &) = nullptr;
    void (*setText)(Port &, const QString &) = nullptr;
    int32_t (*number)(const Port &) = nullptr;
    void (*setNumber)(Port &, int32_t) = nullptr;
    // Whether the value is written and read at all with the port's current settings.
    bool (*present)(const Port &) = nullptr;
    // What a missing ini key reads as, instead of the current value.
    std::optional<int32_t> iniMissing = std::nullopt;
};

// Every stored value, in the order in which they are written and read: by
// group, and within a group. Later values override what a preset set before
// (FlowControl.ControlRTS after FlowControl).
const SettingValue settingValues[] = {
    {.group = spBasic,
     .name = "Port",
     .text = [](const Port &p) { return p.Port(); },
     .setText = [](Port &p, const QString &v) { p.SetPort(v); }},
    {.group = spBasic,
     .name = "BaudRate",
     .text = [](const Port &p) { return BaudRateToStr(p.BaudRate()); },
     .setText = [](Port &p, const QString &v) { p.SetBaudRate(StrToBaudRate(v)); }},
    {.group = spBasic,
     .name = "CustomBaudRate",
     .number = [](const Port &p) { return p.CustomBaudRate(); },
     .setNumber = [](Port &p, int32_t v) { p.SetCustomBaudRate(v); },
     .present = [](const Port &p) { return p.BaudRate() == brCustom; },
     .iniMissing = 9600},
    {.group = spBasic,
     .name = "StopBits",
     .text = [](const Port &p) { return StopBitsToStr(p.StopBits()); },
     .setText = [](Port &p, const QString &v) { p.SetStopBits(StrToStopBits(v)); }},
    {.group = spBasic,
     .name = "DataBits",
     .text = [](const Port &p) { return DataBitsToStr(p.DataBits()); },
     .setText = [](Port &p, const QString &v) { p.SetDataBits(StrToDataBits(v)); }},
    {.group = spBasic,
     .name = "Parity",
     .text = [](const Port &p) { return ParityToStr(p.Parity()->Bits()); },
     .setText = [](Port &p, const QString &v) { p.Parity()->SetBits(StrToParity(v)); }},
    {.group = spBasic,
     .name = "FlowControl",
     .text = [](const Port &p) { return FlowControlToStr(p.FlowControl()->FlowControl()); },
     .setText
     = [](Port &p, const QString &v) { p.FlowControl()->SetFlowControl(StrToFlowControl(v)); }},

    {.group = spOthers,
     .name = "EventChar",
     .text = [](const Port &p) { return CharToSettingStr(p.EventChar()); },
     .setText = [](Port &p, const QString &v) { p.SetEventChar(SettingStrToChar(v)); }},
    {.group = spOthers,
     .name = "DiscardNull",
     .text = [](const Port &p) { return YesNoToStr(p.DiscardNull()); },
     .setText = [](Port &p, const QString &v) { p.SetDiscardNull(StrToYesNo(v)); }},

    {.group = spParity,
     .name = "Parity.Check",
     .text = [](const Port &p) { return YesNoToStr(p.Parity()->Check()); },
     .setText = [](Port &p, const QString &v) { p.Parity()->SetCheck(StrToYesNo(v)); }},
    {.group = spParity,
     .name = "Parity.Replace",
     .text = [](const Port &p) { return YesNoToStr(p.Parity()->Replace()); },
     .setText = [](Port &p, const QString &v) { p.Parity()->SetReplace(StrToYesNo(v)); }},
    {.group = spParity,
     .name = "Parity.ReplaceChar",
     .text = [](const Port &p) { return CharToSettingStr(p.Parity()->ReplaceChar()); },
     .setText = [](Port &p, const QString &v) { p.Parity()->SetReplaceChar(SettingStrToChar(v)); }},

    {.group = spBuffer,
     .name = "Buffer.OutputSize",
     .number = [](const Port &p) { return p.Buffer()->OutputSize(); },
     .setNumber = [](Port &p, int32_t v) { p.Buffer()->SetOutputSize(v); }},
    {.group = spBuffer,
     .name = "Buffer.InputSize",
     .number = [](const Port &p) { return p.Buffer()->InputSize(); },
     .setNumber = [](Port &p, int32_t v) { p.Buffer()->SetInputSize(v); }},

    {.group = spTimeouts,
     .name = "Timeouts.ReadInterval",
     .number = [](const Port &p) { return p.Timeouts()->ReadInterval(); },
     .setNumber = [](Port &p, int32_t v) { p.Timeouts()->SetReadInterval(v); }},
    {.group = spTimeouts,
     .name = "Timeouts.ReadTotalConstant",
     .number = [](const Port &p) { return p.Timeouts()->ReadTotalConstant(); },
     .setNumber = [](Port &p, int32_t v) { p.Timeouts()->SetReadTotalConstant(v); }},
    {.group = spTimeouts,
     .name = "Timeouts.ReadTotalMultiplier",
     .number = [](const Port &p) { return p.Timeouts()->ReadTotalMultiplier(); },
     .setNumber = [](Port &p, int32_t v) { p.Timeouts()->SetReadTotalMultiplier(v); }},
    {.group = spTimeouts,
     .name = "Timeouts.WriteTotalConstant",
     .number = [](const Port &p) { return p.Timeouts()->WriteTotalConstant(); },
     .setNumber = [](Port &p, int32_t v) { p.Timeouts()->SetWriteTotalConstant(v); }},
    {.group = spTimeouts,
     .name = "Timeouts.WriteTotalMultiplier",
     .number = [](const Port &p) { return p.Timeouts()->WriteTotalMultiplier(); },
     .setNumber = [](Port &p, int32_t v) { p.Timeouts()->SetWriteTotalMultiplier(v); }},

    {.group = spFlowControl,
     .name = "FlowControl.ControlRTS",
     .text = [](const Port &p) { return RTSControlToStr(p.FlowControl()->ControlRTS()); },
     .setText
     = [](Port &p, const QString &v) { p.FlowControl()->SetControlRTS(StrToRTSControl(v)); }},
    {.group = spFlowControl,
     .name = "FlowControl.ControlDTR",
     .text = [](const Port &p) { return DTRControlToStr(p.FlowControl()->ControlDTR()); },
     .setText
     = [](Port &p, const QString &v) { p.FlowControl()->SetControlDTR(StrToDTRControl(v)); }},
    {.group = spFlowControl,
     .name = "FlowControl.DSRSensitivity",
     .text = [](const Port &p) { return YesNoToStr(p.FlowControl()->DSRSensitivity()); },
     .setText
     = [](Port &p, const QString &v) { p.FlowControl()->SetDSRSensitivity(StrToYesNo(v)); }},
    {.group = spFlowControl,
     .name = "FlowControl.OutCTSFlow",
     .text = [](const Port &p) { return YesNoToStr(p.FlowControl()->OutCTSFlow()); },
     .setText = [](Port &p, const QString &v) { p.FlowControl()->SetOutCTSFlow(StrToYesNo(v)); }},
    {.group = spFlowControl,
     .name = "FlowControl.OutDSRFlow",
     .text = [](const Port &p) { return YesNoToStr(p.FlowControl()->OutDSRFlow()); },
     .setText = [](Port &p, const QString &v) { p.FlowControl()->SetOutDSRFlow(StrToYesNo(v)); }},
    {.group = spFlowControl,
     .name = "FlowControl.TxContinueOnXoff",
     .text = [](const Port &p) { return YesNoToStr(p.FlowControl()->TxContinueOnXoff()); },
     .setText
     = [](Port &p, const QString &v) { p.FlowControl()->SetTxContinueOnXoff(StrToYesNo(v)); }},
    {.group = spFlowControl,
     .name = "FlowControl.XonXoffIn",
     .text = [](const Port &p) { return YesNoToStr(p.FlowControl()->XonXoffIn()); },
     .setText = [](Port &p, const QString &v) { p.FlowControl()->SetXonXoffIn(StrToYesNo(v)); }},
    {.group = spFlowControl,
     .name = "FlowControl.XonXoffOut",
     .text = [](const Port &p) { return YesNoToStr(p.FlowControl()->XonXoffOut()); },
     .setText = [](Port &p, const QString &v) { p.FlowControl()->SetXonXoffOut(StrToYesNo(v)); }},
    {.group = spFlowControl,
     .name = "FlowControl.XoffChar",
     .text = [](const Port &p) { return CharToSettingStr(p.FlowControl()->XoffChar()); },
     .setText
     = [](Port &p, const QString &v) { p.FlowControl()->SetXoffChar(SettingStrToChar(v)); }},
    {.group = spFlowControl,
     .name = "FlowControl.XonChar",
     .text = [](const Port &p) { return CharToSettingStr(p.FlowControl()->XonChar()); },
     .setText
     = [](Port &p, const QString &v) { p.FlowControl()->SetXonChar(SettingStrToChar(v)); }},
};

// Visits the values of the chosen groups in their order. Whether a value is
// present is decided when it is reached, so a rate loaded as brCustom brings
// in the custom rate after it.
template<typename Visit> void forEachValue(const Port &port, TStoredProps groups, Visit visit)
{
    for (const SettingValue &value : settingValues) {
        if (!groups.contains(value.group))
            continue;
        if (value.present && !value.present(port))
            continue;
        visit(value, QString::fromLatin1(value.name));
    }
}

// The error of one step; its text goes to the log when the store replaces it
// by its own code.
[[noreturn]] void fail(const QString &what)
{
    throw std::runtime_error(what.toStdString());
}

QString describe(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("unknown error");
    }
}

} // namespace

ComSettingsStore::ComSettingsStore(TCustomComPort &ComPort)
    : FComPort(ComPort)
{ }

void ComSettingsStore::StoreSettings(TStoreType StoreType, const QString &StoreTo)
{
    try {
        if (StoreType == stIniFile)
            storeIniFile(StoreTo);
        else
            storeRegistry(StoreTo);
    } catch (...) {
        // The caller learns only that storing failed; the cause goes to the log.
        qWarning("Hollvan: storing the port settings failed: %s",
                 qPrintable(describe(std::current_exception())));
        throw EComPort(ComErrStoreSettings);
    }
}

void ComSettingsStore::LoadSettings(TStoreType StoreType, const QString &LoadFrom)
{
    std::exception_ptr error;
    FComPort.BeginUpdate();
    try {
        if (StoreType == stIniFile)
            loadIniFile(LoadFrom);
        else
            loadRegistry(LoadFrom);
    } catch (...) {
        error = std::current_exception();
    }
    // Always ends the update, also after a failure: the values set so far
    // stay set and reach an open device here.
    try {
        FComPort.EndUpdate();
    } catch (...) {
        if (!error)
            error = std::current_exception();
    }
    if (error) {
        // The caller learns only that loading failed; the cause goes to the log.
        qWarning("Hollvan: loading the port settings failed: %s", qPrintable(describe(error)));
        throw EComPort(ComErrLoadSettings);
    }
}

void ComSettingsStore::storeIniFile(const QString &fileName)
{
    IniFile ini(fileName);
    // The file's other sections and lines are kept, so it is read first; one
    // that cannot be read is not overwritten.
    if (!ini.load())
        fail(QStringLiteral("cannot read %1").arg(fileName));
    StoreIniFile(ini);
    if (!ini.flush())
        fail(QStringLiteral("cannot write %1").arg(fileName));
}

void ComSettingsStore::storeRegistry(const QString &location)
{
    SettingsRegistry registry;
    if (!registry.load())
        fail(QStringLiteral("cannot read the registry %1").arg(registry.fileName()));
    OpenSettingsKey(registry, location, FComPort.objectName());
    StoreRegistry(registry);
    if (!registry.flush())
        fail(QStringLiteral("cannot write the registry %1").arg(registry.fileName()));
}

void ComSettingsStore::loadIniFile(const QString &fileName)
{
    IniFile ini(fileName);
    if (!ini.load())
        fail(QStringLiteral("cannot read %1").arg(fileName));
    LoadIniFile(ini);
}

void ComSettingsStore::loadRegistry(const QString &location)
{
    SettingsRegistry registry;
    if (!registry.load())
        fail(QStringLiteral("cannot read the registry %1").arg(registry.fileName()));
    // A key created by opening it is not written back: loading changes no file.
    OpenSettingsKey(registry, location, FComPort.objectName());
    LoadRegistry(registry);
}

void ComSettingsStore::OpenSettingsKey(SettingsRegistry &Registry, const QString &Location,
                                       const QString &Name)
{
    const qsizetype backslash = Location.indexOf(QLatin1Char('\\'));
    if (backslash < 0)
        return;
    const QString root = Location.left(backslash).toUpper();
    if (root == SettingsRegistry::rootName(SettingsRegistry::Root::LocalMachine))
        Registry.setRootKey(SettingsRegistry::Root::LocalMachine);
    else if (root == SettingsRegistry::rootName(SettingsRegistry::Root::CurrentUser))
        Registry.setRootKey(SettingsRegistry::Root::CurrentUser);
    QString path = Location.mid(backslash + 1);
    if (!path.endsWith(QLatin1Char('\\')))
        path += QLatin1Char('\\');
    Registry.openKey(path + Name, true);
}

void ComSettingsStore::StoreIniFile(IniFile &Ini)
{
    const QString section = FComPort.objectName();
    forEachValue(FComPort, FStoredProps, [&](const SettingValue &value, const QString &name) {
        if (value.text)
            Ini.writeString(section, name, value.text(FComPort));
        else
            Ini.writeInteger(section, name, value.number(FComPort));
    });
}

void ComSettingsStore::StoreRegistry(SettingsRegistry &Registry)
{
    forEachValue(FComPort, FStoredProps, [&](const SettingValue &value, const QString &name) {
        const bool written = value.text ? Registry.writeString(name, value.text(FComPort))
                                        : Registry.writeInteger(name, value.number(FComPort));
        if (!written)
            fail(QStringLiteral("no registry key open for the value %1").arg(name));
    });
}

void ComSettingsStore::LoadIniFile(IniFile &Ini)
{
    const QString section = FComPort.objectName();
    forEachValue(FComPort, FStoredProps, [&](const SettingValue &value, const QString &name) {
        if (value.text) {
            value.setText(FComPort, Ini.readString(section, name, value.text(FComPort)));
        } else {
            const int32_t missing = value.iniMissing.value_or(value.number(FComPort));
            value.setNumber(FComPort, Ini.readInteger(section, name, missing));
        }
    });
}

void ComSettingsStore::LoadRegistry(SettingsRegistry &Registry)
{
    forEachValue(FComPort, FStoredProps, [&](const SettingValue &value, const QString &name) {
        if (value.text) {
            // A missing text reads as the empty text (and so as the
            // conversion's default); a value of another type is an error.
            const std::optional<QString> text = Registry.readString(name);
            if (!text)
                fail(QStringLiteral("the registry value %1 is not a text").arg(name));
            value.setText(FComPort, *text);
        } else {
            const std::optional<int32_t> number = Registry.readInteger(name);
            if (!number)
                fail(QStringLiteral("the registry has no number value %1").arg(name));
            value.setNumber(FComPort, *number);
        }
    });
}
