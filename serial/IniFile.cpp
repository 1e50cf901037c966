#include "serial/IniFile.h"

#include "serial/WholeFile.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {

const char *const fileEncoding = "windows-1250";

bool sameName(const QString &a, const QString &b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

} // namespace

IniFile::IniFile(const QString &fileName)
    : m_fileName(fileName)
{ }

IniFile::Line IniFile::parse(const QString &text)
{
    Line line;
    line.text = text;
    const QString trimmed = text.trimmed();
    if (trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'))) {
        line.isSection = true;
        line.section = trimmed.mid(1, trimmed.size() - 2).trimmed();
        return line;
    }
    if (trimmed.startsWith(QLatin1Char(';')))
        return line;
    const qsizetype eq = trimmed.indexOf(QLatin1Char('='));
    if (eq > 0) {
        line.key = trimmed.left(eq).trimmed();
        line.value = trimmed.mid(eq + 1).trimmed();
    }
    return line;
}

bool IniFile::load()
{
    m_lines.clear();
    m_dirty = false;
    const std::optional<QByteArray> bytes = readWholeFile(m_fileName);
    if (!bytes)
        return false;
    QStringDecoder decode(fileEncoding);
    QString text = decode(*bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QStringList lines = text.split(QLatin1Char('\n'));
    // The line end of the last line leaves an empty piece behind.
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    for (const QString &l : lines)
        m_lines.push_back(parse(l));
    return true;
}

bool IniFile::flush()
{
    if (!m_dirty)
        return true;
    QString text;
    for (const Line &line : m_lines)
        text += line.text + QStringLiteral("\r\n");
    QStringEncoder encode(fileEncoding);
    if (!replaceWholeFile(m_fileName, encode(text)))
        return false;
    m_dirty = false;
    return true;
}

std::optional<QString> IniFile::find(const QString &section, const QString &key) const
{
    bool inSection = false;
    for (const Line &line : m_lines) {
        if (line.isSection)
            inSection = sameName(line.section, section);
        else if (inSection && !line.key.isEmpty() && sameName(line.key, key))
            return line.value;
    }
    return std::nullopt;
}

bool IniFile::valueExists(const QString &section, const QString &key) const
{
    return find(section, key).has_value();
}

QString IniFile::readString(const QString &section, const QString &key, const QString &def) const
{
    return find(section, key).value_or(def);
}

int32_t IniFile::readInteger(const QString &section, const QString &key, int32_t def) const
{
    const std::optional<QString> text = find(section, key);
    if (!text)
        return def;
    bool ok = false;
    const int32_t value = text->toInt(&ok, 10);
    return ok ? value : def;
}

void IniFile::writeString(const QString &section, const QString &key, const QString &value)
{
    m_dirty = true;
    // A line break inside a value would cut the file's structure; it is
    // written as a blank.
    QString flat = value;
    flat.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QString text = key + QLatin1Char('=') + flat;
    bool inSection = false;
    std::vector<Line>::iterator sectionEnd = m_lines.end();
    for (auto it = m_lines.begin(); it != m_lines.end(); ++it) {
        if (it->isSection) {
            if (inSection)
                break;
            inSection = sameName(it->section, section);
            if (inSection)
                sectionEnd = it + 1;
            continue;
        }
        if (!inSection)
            continue;
        if (!it->key.isEmpty() && sameName(it->key, key)) {
            *it = parse(text);
            return;
        }
        // New keys go after the section's last non-blank line, so a blank line
        // that separates it from the next section stays where it is.
        if (!it->text.trimmed().isEmpty())
            sectionEnd = it + 1;
    }
    if (sectionEnd == m_lines.end() && !inSection) {
        Line header;
        header.text = QLatin1Char('[') + section + QLatin1Char(']');
        header.section = section;
        header.isSection = true;
        m_lines.push_back(header);
        m_lines.push_back(parse(text));
        return;
    }
    m_lines.insert(sectionEnd, parse(text));
}

void IniFile::writeInteger(const QString &section, const QString &key, int32_t value)
{
    writeString(section, key, QString::number(value));
}
