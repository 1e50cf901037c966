#include "config/ConfigFile.h"

#include <optional>

namespace {

const QString autoLine = QStringLiteral("Auto\n");
constexpr QChar tab = u'\t';
constexpr QChar tilde = u'~';

bool isAutoLine(const QStringList &pieces)
{
    return !pieces.isEmpty() && pieces.first() == autoLine;
}

// The dialog accepts "~" in place of a separator: the first "~" of the piece
// and then the first "~" after the first separator.
std::optional<ConfigRow> parseDialogLine(QString piece)
{
    qsizetype at = piece.indexOf(tilde);
    if (at >= 0)
        piece[at] = tab;
    const qsizetype first = piece.indexOf(tab);
    if (first < 0)
        return std::nullopt;
    at = piece.indexOf(tilde, first + 1);
    if (at >= 0)
        piece[at] = tab;
    const qsizetype second = piece.indexOf(tab, first + 1);
    if (second < 0)
        return std::nullopt;
    QString flag = piece.mid(second + 1, 1);
    if (flag == QLatin1String("\n"))
        flag.clear();
    return ConfigRow {piece.left(first), piece.mid(first + 1, second - first - 1), flag};
}

} // namespace

AutostartSetting readAutostart(const QString &path)
{
    const DataFileContent content = readDataFile(path);
    return {content.status, isAutoLine(content.pieces)};
}

AuthorizedClients readAuthorizedClients(const QString &path)
{
    const DataFileContent content = readDataFile(path);
    AuthorizedClients result {content.status, {}};
    for (const QString &piece : content.pieces) {
        const qsizetype first = piece.indexOf(tab);
        if (first < 0)
            continue;
        const qsizetype second = piece.indexOf(tab, first + 1);
        if (second < 0)
            continue;
        if (second + 1 >= piece.size() || piece.at(second + 1) != u'1')
            continue;
        result.clients.append({piece.left(first), piece.mid(first + 1, second - first - 1)});
    }
    return result;
}

Configuration loadConfiguration(const QString &path)
{
    const DataFileContent content = readDataFile(path);
    Configuration result {content.status, isAutoLine(content.pieces), {}};
    for (qsizetype i = 1; i < content.pieces.size(); ++i) {
        if (auto row = parseDialogLine(content.pieces.at(i)))
            result.rows.append(*row);
    }
    return result;
}

bool saveConfiguration(const QString &path, bool autostart, const QList<ConfigRow> &rows)
{
    QString text = autostart ? autoLine : QStringLiteral("Manual\n");
    for (const ConfigRow &row : rows)
        text += row.ip + tab + row.name + tab + row.flag + u'\n';
    return writeDataFile(path, text);
}

ConfigRow defaultConfigurationClient()
{
    return {QStringLiteral("127.0.0.1"), QStringLiteral("localhost"), QStringLiteral("0")};
}

bool createDefaultConfiguration(const QString &path)
{
    return saveConfiguration(path, false, {defaultConfigurationClient()});
}
