#include "config/PortSettingsFile.h"

namespace {

const QString serialPrefix = QStringLiteral("RS232=");
const QString serverPrefix = QStringLiteral("Port:");
const QString comPrefix = QStringLiteral("COM");

} // namespace

bool writePortSettings(const QString &path, const QString &selectorText,
                       const QString &editPortText)
{
    return writeDataFile(path, serialPrefix + selectorText + u'\n' + editPortText);
}

PortSettings readPortSettings(const QString &path)
{
    const DataFileContent content = readDataFile(path);
    PortSettings result {content.status, {}};
    for (const QString &piece : content.pieces) {
        if (piece.startsWith(serialPrefix)) {
            QString name = piece.mid(serialPrefix.size());
            if (name.endsWith(u'\n'))
                name.chop(1);
            result.entries.append({PortSettingsEntry::SerialPort, name});
        } else if (piece.startsWith(serverPrefix)) {
            result.entries.append({PortSettingsEntry::ServerPort, piece});
        }
    }
    return result;
}

int choosePortIndex(const QStringList &items, const QString &savedName)
{
    if (savedName.isEmpty())
        return -1;
    const int whole = int(items.indexOf(savedName));
    if (whole >= 0)
        return whole;

    if (savedName.size() < comPrefix.size() + 1 || !savedName.startsWith(comPrefix))
        return -1;
    const QChar digit = savedName.at(comPrefix.size());
    if (digit < u'1' || digit > u'9')
        return -1;
    if (!items.join(u'\n').startsWith(comPrefix))
        return -1;
    return int(items.indexOf(comPrefix + digit));
}
