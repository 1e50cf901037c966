#pragma once

#include "serial/ComTypes.h"

#include <QString>

#include <cstdint>

class IniFile;
class SettingsRegistry;
class TCustomComPort;

enum TStoreType : uint8_t { stRegistry, stIniFile };
enum TStoredProp : uint8_t { spBasic, spFlowControl, spBuffer, spTimeouts, spParity, spOthers };
using TStoredProps = TComSet<TStoredProp>;

// Writes a port's settings to an ini file or to the registry of the settings
// store (SettingsRegistry), and reads them back, in fixed named values
// grouped by TStoredProp; StoredProps chooses the groups written and read
// (spBasic alone by default). The ini section, and the last part of the
// registry key, is the port's objectName().
//
// Every failure, whatever its cause, is EComPort code 16 ("Failed to store
// settings") or 17 ("Failed to load settings") without an operating-system
// code; values set before a failure stay set.
class ComSettingsStore
{
public:
    explicit ComSettingsStore(TCustomComPort &ComPort);
    virtual ~ComSettingsStore() = default;
    ComSettingsStore(const ComSettingsStore &) = delete;
    ComSettingsStore &operator=(const ComSettingsStore &) = delete;

    TCustomComPort &ComPort() const { return FComPort; }
    TStoredProps StoredProps() const { return FStoredProps; }
    void SetStoredProps(TStoredProps Value) { FStoredProps = Value; }

    // StoreTo / LoadFrom: the ini file's name, or the registry location:
    // a root ("HKEY_LOCAL_MACHINE" or "HKEY_CURRENT_USER", letter case aside),
    // a backslash and the key path, e.g. "HKEY_CURRENT_USER\Software\Example".
    void StoreSettings(TStoreType StoreType, const QString &StoreTo);
    // Loads between BeginUpdate and EndUpdate, so an open port gets all the
    // loaded settings at once at the end; a changed port name reopens it at
    // once.
    void LoadSettings(TStoreType StoreType, const QString &LoadFrom);

    // Positions Registry on the settings key: the text before the first
    // backslash of Location picks the root (anything but the two root names
    // keeps HKEY_CURRENT_USER); the rest, ending in a backslash, followed by
    // Name is the key, created when missing. A location without a backslash
    // opens no key: writes then fail and reads find nothing.
    static void OpenSettingsKey(SettingsRegistry &Registry, const QString &Location,
                                const QString &Name);

protected:
    // Write or read the values of the groups in StoredProps, in their fixed
    // order, through an open ini file or a registry positioned on the key.
    // Each raises (any exception) on failure.
    virtual void StoreRegistry(SettingsRegistry &Registry);
    virtual void StoreIniFile(IniFile &Ini);
    virtual void LoadRegistry(SettingsRegistry &Registry);
    virtual void LoadIniFile(IniFile &Ini);

private:
    void storeIniFile(const QString &fileName);
    void storeRegistry(const QString &location);
    void loadIniFile(const QString &fileName);
    void loadRegistry(const QString &location);

    TCustomComPort &FComPort;
    TStoredProps FStoredProps = {spBasic};
};
