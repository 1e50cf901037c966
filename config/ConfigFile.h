#pragma once

#include "config/DataFile.h"

#include <QList>
#include <QString>

// The configuration file: the start mode line, then one line per known client
// (IP, tab, name, tab, flag). These functions only read and write; messages
// and log lines belong to their callers.

inline constexpr char configFilePath[] = "data/Hollvan.cf";

struct AutostartSetting
{
    FileStatus status = FileStatus::Missing;
    bool autostart = false;
};

struct AuthorizedClient
{
    QString ip;
    QString name;

    bool operator==(const AuthorizedClient &) const = default;
};

struct AuthorizedClients
{
    FileStatus status = FileStatus::Missing;
    QList<AuthorizedClient> clients; // file order, repeated IPs kept
};

// One client line. flag is the single character after the second separator,
// empty when the line ends there (a line end is not a flag).
struct ConfigRow
{
    QString ip;
    QString name;
    QString flag;

    bool authorized() const { return flag == QLatin1String("1"); }
    bool operator==(const ConfigRow &) const = default;
};

struct Configuration
{
    FileStatus status = FileStatus::Missing;
    bool autostart = false;
    QList<ConfigRow> rows; // file order; merging repeated IPs is the dialog's job
};

// The main window's reading of the mode line: autostart only when the first
// piece is exactly "Auto" and a line end.
AutostartSetting readAutostart(const QString &path);

// The main window's reading of the authorized clients: every piece, the first
// one included, separated by tabs only, flag character "1".
AuthorizedClients readAuthorizedClients(const QString &path);

// The configuration dialog's reading: the first piece is always the mode line;
// client lines may use "~" in place of a tab.
Configuration loadConfiguration(const QString &path);

// Writes the mode line and the rows in the order given, each with its own flag.
bool saveConfiguration(const QString &path, bool autostart, const QList<ConfigRow> &rows);

// The client a fresh configuration holds: 127.0.0.1 named localhost, not
// authorized.
ConfigRow defaultConfigurationClient();

// Writes a fresh configuration: the mode line "Manual" and the default client,
// so that loadConfiguration lists that client when it reads the file back.
bool createDefaultConfiguration(const QString &path);
