#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

// A plain initialisation file: "[Section]" lines and "Key=Value" lines below
// them. Section and key names are matched without regard to letter case;
// keys and values are read with surrounding blanks removed. Writing replaces
// a key's value where it stands, adds a new key at the end of its section and
// a new section at the end of the file; every other line (comments, other
// sections) is kept as it was.
//
// The file is in the Windows text form of the program's other files
// (Windows-1250, CR LF written, LF or CR LF read), so it moves between
// machines unchanged. Changes stay in memory until flush().
class IniFile
{
public:
    explicit IniFile(const QString &fileName);

    QString fileName() const { return m_fileName; }
    // Reads the file; a missing file is an empty one. False when the file
    // exists but cannot be read.
    bool load();
    // Writes the file (replacing it as a whole, so a failed write leaves
    // the old one); false on failure. Does nothing when nothing changed.
    bool flush();

    bool valueExists(const QString &section, const QString &key) const;
    QString readString(const QString &section, const QString &key, const QString &def) const;
    // A decimal number; a missing key or a text that is not one gives def.
    int32_t readInteger(const QString &section, const QString &key, int32_t def) const;
    void writeString(const QString &section, const QString &key, const QString &value);
    void writeInteger(const QString &section, const QString &key, int32_t value);

private:
    struct Line
    {
        QString text;
        QString section; // for a section header line: its name
        QString key; // for a key line: its name; empty otherwise
        QString value;
        bool isSection = false;
    };

    std::optional<QString> find(const QString &section, const QString &key) const;
    static Line parse(const QString &text);

    QString m_fileName;
    std::vector<Line> m_lines;
    bool m_dirty = false;
};
