#pragma once

#include "config/DataFile.h"

#include <QList>
#include <QString>
#include <QStringList>

// The port settings file: "RS232=" and the serial port selector's text, then
// the server port entry's text. The reader looks at every piece for both forms,
// in any order; applying them to the controls is the main window's job.

inline constexpr char portSettingsFilePath[] = "data/Hollvan.pr";

struct PortSettingsEntry
{
    enum Kind { SerialPort, ServerPort };

    Kind kind = SerialPort;
    // SerialPort: the name after "RS232=", without the line end.
    // ServerPort: the whole piece beginning with "Port:", exactly as read, a
    // line end included, so that the entry judges it like typed text.
    QString text;

    bool operator==(const PortSettingsEntry &) const = default;
};

struct PortSettings
{
    FileStatus status = FileStatus::Missing;
    QList<PortSettingsEntry> entries; // file order; each is applied in turn
};

bool writePortSettings(const QString &path, const QString &selectorText,
                       const QString &editPortText);

PortSettings readPortSettings(const QString &path);

// The selector index to restore for a saved port name, or -1 to leave the
// selector as it is. A name the selector lists exactly is restored whatever it
// is (COM12, ttyUSB0). Only a "COM" name that is not listed falls back to the
// one-digit port formed from its first digit (COM12 -> COM1), and only when
// the items, joined by line ends, begin with "COM".
int choosePortIndex(const QStringList &items, const QString &savedName);
