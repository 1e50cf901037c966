#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// The registry of the settings store, kept by the program itself: keys under
// the roots HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER, each with named values
// that are texts or 32-bit numbers. Key paths and value names are matched
// without regard to letter case and keep the case they were created with.
//
// It lives in one file of the user's, <config>/hollvan/registry.ini (config:
// $XDG_CONFIG_HOME, by default ~/.config), written by the program:
//
//     [HKEY_CURRENT_USER\Software\Example\ComPort]
//     Port=sz:COM1
//     CustomBaudRate=dword:00007a12
//
// Value types travel with the values ("sz:" text, "dword:" eight hex
// digits); "%", line breaks, and in names "=" and "[", are written as %XX.
// Both roots are the user's own here. Changes stay in memory until flush().
class SettingsRegistry
{
public:
    enum class Root : uint8_t { LocalMachine, CurrentUser };
    enum class ValueType : uint8_t { None, String, Integer, Other };

    // Root HKEY_CURRENT_USER, no key open, nothing read yet.
    SettingsRegistry();
    explicit SettingsRegistry(const QString &fileName);

    static QString defaultFileName();
    static QString rootName(Root root);
    QString fileName() const { return m_fileName; }

    // Reads the file; a missing file is an empty registry. False when the
    // file exists but cannot be read or there is no configuration folder.
    bool load();
    // Writes the file when something changed (creating its folder), replacing
    // it as a whole; false on failure.
    bool flush();

    Root rootKey() const { return m_root; }
    void setRootKey(Root root) { m_root = root; }
    // Opens the key at path (backslash-separated, under the root), creating
    // it when missing and canCreate is set; false when it is not there.
    bool openKey(const QString &path, bool canCreate);
    void closeKey() { m_current.reset(); }
    bool hasCurrentKey() const { return m_current.has_value(); }
    // The open key's full path, root first; empty when none is open.
    QString currentPath() const;
    bool keyExists(const QString &path) const;

    // Values of the open key. Without an open key every value is missing and
    // every write fails.
    ValueType valueType(const QString &name) const;
    bool writeString(const QString &name, const QString &value);
    bool writeInteger(const QString &name, int32_t value);
    // The text of a value; empty when there is no such value, none when the
    // value is not a text.
    std::optional<QString> readString(const QString &name) const;
    // The number of a value; none when it is missing or not a number.
    std::optional<int32_t> readInteger(const QString &name) const;

private:
    struct Value
    {
        QString name;
        QString type; // "sz", "dword", or a type this program does not know
        QString data;
    };
    struct Key
    {
        QString path; // full path, root first
        std::vector<Value> values;
    };

    QString fullPath(const QString &path) const;
    Key *findKey(const QString &fullPath);
    const Key *findKey(const QString &fullPath) const;
    const Value *findValue(const QString &name) const;
    bool write(const QString &name, const QString &type, const QString &data);

    QString m_fileName;
    Root m_root = Root::CurrentUser;
    std::vector<Key> m_keys;
    std::optional<QString> m_current;
    bool m_dirty = false;
};
