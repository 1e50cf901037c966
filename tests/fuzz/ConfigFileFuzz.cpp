#include "tests/fuzz/FuzzTargets.h"

#include "config/ConfigFile.h"

namespace {

const char target[] = "config_file";

bool survivesSaving(const ConfigRow &row)
{
    // Written back, the row must come back whole: one piece, and texts that
    // the code page holds and the line ends do not change.
    const QString line = row.ip + row.name + row.flag;
    return line.size() + 3 <= maxPieceLength && !line.contains(QChar::ReplacementCharacter)
        && !line.contains(u'\r');
}

} // namespace

// The three readers of the configuration file over any file: fields never hold
// a separator or a line end, the readers agree on the mode line, and what the
// dialog reads it writes back so that it reads the same again.
int fuzzConfigFile(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString path = fuzzInputFile(data, size);

    const AutostartSetting mode = readAutostart(path);
    FUZZ_CHECK(target, mode.status == FileStatus::Ok, QStringLiteral("readAutostart: not read"));
    FUZZ_CHECK(target,
               mode.autostart == (bytes.startsWith("Auto\n") || bytes.startsWith("Auto\r\n")),
               QStringLiteral("autostart %1").arg(mode.autostart));

    const AuthorizedClients clients = readAuthorizedClients(path);
    FUZZ_CHECK(target, clients.status == FileStatus::Ok,
               QStringLiteral("readAuthorizedClients: not read"));
    for (const AuthorizedClient &client : clients.clients) {
        const QString fields = client.ip + client.name;
        FUZZ_CHECK(target, !fields.contains(u'\t') && !fields.contains(u'\n'),
                   QStringLiteral("client \"%1\" \"%2\"").arg(client.ip, client.name));
        FUZZ_CHECK(target, fields.size() + 3 <= maxPieceLength,
                   QStringLiteral("client \"%1\" beyond its piece").arg(client.ip));
    }

    const Configuration configuration = loadConfiguration(path);
    FUZZ_CHECK(target, configuration.status == FileStatus::Ok,
               QStringLiteral("loadConfiguration: not read"));
    FUZZ_CHECK(target, configuration.autostart == mode.autostart,
               QStringLiteral("the readers disagree on the mode line"));
    // The dialog saves each client with the flag "1" or "0".
    QList<ConfigRow> saved;
    bool survives = true;
    for (const ConfigRow &row : configuration.rows) {
        FUZZ_CHECK(target,
                   !(row.ip + row.name).contains(u'\t') && !(row.ip + row.name).contains(u'\n')
                       && row.flag.size() <= 1 && row.flag != QStringLiteral("\n"),
                   QStringLiteral("row \"%1\" \"%2\" \"%3\"").arg(row.ip, row.name, row.flag));
        saved.append(
            {row.ip, row.name, row.authorized() ? QStringLiteral("1") : QStringLiteral("0")});
        survives = survives && survivesSaving(saved.last());
    }
    if (!survives)
        return 0;

    const QString scratch = fuzzScratchFile();
    FUZZ_CHECK(target, saveConfiguration(scratch, configuration.autostart, saved),
               QStringLiteral("cannot save"));
    const Configuration again = loadConfiguration(scratch);
    FUZZ_CHECK(target, again.autostart == configuration.autostart && again.rows == saved,
               QStringLiteral("saved and read again, %1 rows became %2")
                   .arg(saved.size())
                   .arg(again.rows.size()));
    return 0;
}
