#include "app/EventLog.h"

#include "config/DataFile.h"

#include <QDir>

EventLog::EventLog(const QString &directory)
    : m_directory(directory)
{
}

EventLog::~EventLog()
{
    close();
}

QString EventLog::nameFor(const QDateTime &time)
{
    return time.toString(QStringLiteral("yyMMdd_HHmmss")) + QStringLiteral(".log");
}

bool EventLog::OpenLogFile(const QDateTime &now)
{
    QDir dir(m_directory);
    if (!dir.exists() && !QDir().mkpath(m_directory))
        return false;

    // Two files started within one second would share a name, and opening the
    // second would empty the first. Take the next free second instead: the
    // name keeps its pattern and the names still sort in the order started.
    QDateTime start = now;
    while (dir.exists(nameFor(start)))
        start = start.addSecs(1);
    const QString name = nameFor(start);

    QFile next(dir.filePath(name));
    if (!next.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    if (LogFile.isOpen()) {
        LogFile.write("...\r\n" + toWindows1250(name));
        LogFile.close();
    }
    LogFile.setFileName(next.fileName());
    next.close();
    return LogFile.open(QIODevice::WriteOnly | QIODevice::Append);
}

bool EventLog::write(const QString &line)
{
    if (!LogFile.isOpen())
        return false;
    // Each line is flushed at once: a server stopped by its service manager or
    // by a power cut keeps every line it showed. Log lines are rare (requests
    // are not logged), so the cost is small.
    LogFile.write(toWindows1250(line) + "\r\n");
    LogFile.flush();
    LogSize += int32_t(line.size()) + 1;
    if (LogSize > RotateAfter) {
        LogSize = 0;
        return true;
    }
    return false;
}

void EventLog::close()
{
    if (LogFile.isOpen())
        LogFile.close();
}

int32_t EventLog::CountLogFiles() const
{
    QDir dir(m_directory);
    if (!dir.exists())
        return 0;
    return int32_t(dir.entryList({QStringLiteral("*.log")},
                                 QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                       .size());
}

void EventLog::PruneLogFiles()
{
    int32_t n = CountLogFiles();
    if (n == 0)
        return;
    QDir dir(m_directory);
    const QStringList names = dir.entryList({QStringLiteral("*.log")},
                                            QDir::AllEntries | QDir::Hidden | QDir::System
                                                | QDir::NoDotAndDotDot,
                                            QDir::Name);
    const QString current = LogFile.isOpen() ? QFileInfo(LogFile.fileName()).fileName() : QString();
    for (const QString &name : names) {
        if (n <= KeepFiles)
            break;
        // The open file is passed over like any file that cannot be deleted;
        // a directory named *.log is counted but never removed.
        if (name == current || QFileInfo(dir.filePath(name)).isDir())
            continue;
        if (dir.remove(name))
            --n;
    }
}
