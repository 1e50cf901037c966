#include "serial/SettingsRegistry.h"

#include "serial/WholeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const QString stringType = QStringLiteral("sz");
const QString integerType = QStringLiteral("dword");

bool sameName(const QString &a, const QString &b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

// Writes each of the characters in `special` (and "%") as %XX.
QString escaped(const QString &text, QLatin1StringView special)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c == QLatin1Char('%') || c == QLatin1Char('\r') || c == QLatin1Char('\n')
            || special.contains(c))
            out += QStringLiteral("%%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
        else
            out += c;
    }
    return out;
}

int hexDigit(QChar c)
{
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        return c.unicode() - '0';
    if (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
        return c.unicode() - 'A' + 10;
    if (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
        return c.unicode() - 'a' + 10;
    return -1;
}

// Reverses escaped(); a "%" not followed by two hex digits stands for itself.
QString unescaped(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('%') && i + 2 < text.size()) {
            const int high = hexDigit(text.at(i + 1));
            const int low = hexDigit(text.at(i + 2));
            if (high >= 0 && low >= 0) {
                out += QChar(char16_t(high * 16 + low));
                i += 2;
                continue;
            }
        }
        out += text.at(i);
    }
    return out;
}

const QLatin1StringView nameSpecials("=[");

} // namespace

SettingsRegistry::SettingsRegistry()
    : SettingsRegistry(defaultFileName())
{ }

SettingsRegistry::SettingsRegistry(const QString &fileName)
    : m_fileName(fileName)
{ }

QString SettingsRegistry::defaultFileName()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty())
        return QString();
    return config + QStringLiteral("/hollvan/registry.ini");
}

QString SettingsRegistry::rootName(Root root)
{
    return root == Root::LocalMachine ? QStringLiteral("HKEY_LOCAL_MACHINE")
                                      : QStringLiteral("HKEY_CURRENT_USER");
}

bool SettingsRegistry::load()
{
    m_keys.clear();
    m_current.reset();
    m_dirty = false;
    if (m_fileName.isEmpty())
        return false;
    const std::optional<QByteArray> bytes = readWholeFile(m_fileName);
    if (!bytes)
        return false;

    Key *key = nullptr;
    for (QString line : QString::fromUtf8(*bytes).split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            const QString path = unescaped(line.mid(1, line.size() - 2));
            key = findKey(path);
            if (!key) {
                m_keys.push_back(Key {path, {}});
                key = &m_keys.back();
            }
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        const qsizetype colon = line.indexOf(QLatin1Char(':'), eq + 1);
        // Lines that are no value of a key (blank ones among them) are not kept.
        if (!key || eq < 0 || colon < 0)
            continue;
        Value value {unescaped(line.left(eq)), line.mid(eq + 1, colon - eq - 1),
                     line.mid(colon + 1)};
        if (value.type == stringType)
            value.data = unescaped(value.data);
        key->values.push_back(value);
    }
    return true;
}

bool SettingsRegistry::flush()
{
    if (!m_dirty)
        return true;
    if (m_fileName.isEmpty() || !QDir().mkpath(QFileInfo(m_fileName).absolutePath()))
        return false;
    QString text;
    for (const Key &key : m_keys) {
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        text += QLatin1Char('[') + escaped(key.path, QLatin1StringView()) + QStringLiteral("]\n");
        for (const Value &value : key.values) {
            const QString data
                = value.type == stringType ? escaped(value.data, QLatin1StringView()) : value.data;
            text += escaped(value.name, nameSpecials) + QLatin1Char('=') + value.type
                + QLatin1Char(':') + data + QLatin1Char('\n');
        }
    }
    if (!replaceWholeFile(m_fileName, text.toUtf8()))
        return false;
    m_dirty = false;
    return true;
}

QString SettingsRegistry::fullPath(const QString &path) const
{
    // Empty parts (a leading, doubled or trailing backslash) name no key.
    QStringList parts = path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    parts.prepend(rootName(m_root));
    return parts.join(QLatin1Char('\\'));
}

SettingsRegistry::Key *SettingsRegistry::findKey(const QString &fullPath)
{
    for (Key &key : m_keys) {
        if (sameName(key.path, fullPath))
            return &key;
    }
    return nullptr;
}

const SettingsRegistry::Key *SettingsRegistry::findKey(const QString &fullPath) const
{
    return const_cast<SettingsRegistry *>(this)->findKey(fullPath);
}

bool SettingsRegistry::openKey(const QString &path, bool canCreate)
{
    const QString full = fullPath(path);
    if (const Key *key = findKey(full)) {
        m_current = key->path;
        return true;
    }
    if (!canCreate)
        return false;
    m_keys.push_back(Key {full, {}});
    m_current = full;
    m_dirty = true;
    return true;
}

QString SettingsRegistry::currentPath() const
{
    return m_current.value_or(QString());
}

bool SettingsRegistry::keyExists(const QString &path) const
{
    return findKey(fullPath(path)) != nullptr;
}

const SettingsRegistry::Value *SettingsRegistry::findValue(const QString &name) const
{
    if (!m_current)
        return nullptr;
    const Key *key = findKey(*m_current);
    if (!key)
        return nullptr;
    for (const Value &value : key->values) {
        if (sameName(value.name, name))
            return &value;
    }
    return nullptr;
}

SettingsRegistry::ValueType SettingsRegistry::valueType(const QString &name) const
{
    const Value *value = findValue(name);
    if (!value)
        return ValueType::None;
    if (value->type == stringType)
        return ValueType::String;
    if (value->type == integerType)
        return ValueType::Integer;
    return ValueType::Other;
}

bool SettingsRegistry::write(const QString &name, const QString &type, const QString &data)
{
    Key *key = m_current ? findKey(*m_current) : nullptr;
    if (!key)
        return false;
    m_dirty = true;
    for (Value &value : key->values) {
        if (sameName(value.name, name)) {
            value.type = type;
            value.data = data;
            return true;
        }
    }
    key->values.push_back(Value {name, type, data});
    return true;
}

bool SettingsRegistry::writeString(const QString &name, const QString &value)
{
    return write(name, stringType, value);
}

bool SettingsRegistry::writeInteger(const QString &name, int32_t value)
{
    return write(name, integerType,
                 QStringLiteral("%1").arg(uint32_t(value), 8, 16, QLatin1Char('0')));
}

std::optional<QString> SettingsRegistry::readString(const QString &name) const
{
    const Value *value = findValue(name);
    if (!value)
        return QString();
    if (value->type != stringType)
        return std::nullopt;
    return value->data;
}

std::optional<int32_t> SettingsRegistry::readInteger(const QString &name) const
{
    const Value *value = findValue(name);
    if (!value || value->type != integerType || value->data.size() != 8)
        return std::nullopt;
    bool ok = false;
    const uint32_t number = value->data.toUInt(&ok, 16);
    if (!ok)
        return std::nullopt;
    return int32_t(number);
}
