#pragma once

#include <QDateTime>
#include <QFile>
#include <QString>

#include <cstdint>

// The file side of the event log: the current log file in log/, its rotation
// after 10000 characters and the pruning of old files. The memo side and the
// messages belong to the main window.
class EventLog
{
public:
    static constexpr int32_t RotateAfter = 10000;
    static constexpr int KeepFiles = 100;

    explicit EventLog(const QString &directory = QStringLiteral("log"));
    ~EventLog();

    // Starts a new log file, closing the current one with a pointer to its
    // successor. False when the folder or the file cannot be created; a file
    // that was open then stays in use.
    bool OpenLogFile(const QDateTime &now = QDateTime::currentDateTime());
    // Writes one line (CR LF on disk, Windows-1250). True when the file is now
    // over its size and the caller should start the next one.
    bool write(const QString &line);
    void close();
    bool isOpen() const { return LogFile.isOpen(); }
    QString fileName() const { return LogFile.fileName(); }

    int32_t CountLogFiles() const;
    void PruneLogFiles();

    // Name of a log file started at the given time: yymmdd_hhmmss.log.
    static QString nameFor(const QDateTime &time);

    QFile LogFile;
    int32_t LogSize = 0;

private:
    QString m_directory;
};
