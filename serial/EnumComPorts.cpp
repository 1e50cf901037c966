#include "serial/EnumComPorts.h"

#include "serial/EComPort.h"
#include "serial/WinError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dirent.h>

#include <algorithm>
#include <cerrno>

namespace {

// The names in a folder, without "." and "..". A folder that does not exist
// adds nothing; one that exists but cannot be listed (not a folder, no
// permission, a failing read) is the enumeration's error.
QStringList folderEntries(const QString &folder)
{
    const QByteArray path = QFile::encodeName(folder);
    DIR *dir = ::opendir(path.constData());
    if (!dir) {
        if (errno == ENOENT)
            return {};
        throw EComPort(ComErrRegistry, WinError::fromErrno(errno));
    }
    QStringList names;
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry)
            break;
        const QString name = QFile::decodeName(entry->d_name);
        // Dot entries (".", "..", hidden files such as a ".gitkeep") name no port.
        if (!name.startsWith(QLatin1Char('.')))
            names.append(name);
    }
    const int readError = errno;
    ::closedir(dir);
    if (readError != 0)
        throw EComPort(ComErrRegistry, WinError::fromErrno(readError));
    return names;
}

// A legacy 8250/16550 port slot that the driver registers whether or not a
// UART answers there reports the port type 0 (PORT_UNKNOWN); opening it
// fails, so it is no port. A type that cannot be read leaves the device
// listed: only a known placeholder is left out.
bool isPlaceholderUart(const QString &ttyFolder)
{
    QFile type(ttyFolder + QStringLiteral("/type"));
    if (!type.open(QIODevice::ReadOnly))
        return false;
    return type.readAll().trimmed() == "0";
}

} // namespace

void enumComPortsIn(QStringList &strings, const QString &devFolder, const QString &ttyClassFolder)
{
    QStringList names = folderEntries(devFolder);

    for (const QString &tty : folderEntries(ttyClassFolder)) {
        const QString ttyFolder = ttyClassFolder + QLatin1Char('/') + tty;
        // Only ttys with a device behind them are serial ports; virtual
        // consoles and pseudo-terminals have none.
        if (!QFileInfo::exists(ttyFolder + QStringLiteral("/device")))
            continue;
        if (isPlaceholderUart(ttyFolder))
            continue;
        // The kernel writes a "/" of a device name as "!" in its folder names.
        names.append(QString(tty).replace(QLatin1Char('!'), QLatin1Char('/')));
    }

    // Letter case aside first, so COM10 sorts before COM2; names that differ
    // only in case are different files here and keep a fixed order.
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int c = QString::compare(a, b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : QString::compare(a, b, Qt::CaseSensitive) < 0;
    });
    names.erase(std::unique(names.begin(), names.end()), names.end());
    strings = names;
}

void EnumComPorts(QStringList &Strings)
{
    enumComPortsIn(Strings, QDir::current().filePath(QStringLiteral("dev")),
                   QStringLiteral("/sys/class/tty"));
}
