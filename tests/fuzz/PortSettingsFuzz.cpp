#include "tests/fuzz/FuzzTargets.h"

#include "config/PortSettingsFile.h"

namespace {

const char target[] = "port_settings_file";

} // namespace

// The port settings reader over any file: entries as the forms say, every
// server port text handled by the entry's check, and the serial port chosen
// only among the listed ports. A file that the program writes reads back as
// written.
int fuzzPortSettingsFile(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const PortSettings settings = readPortSettings(fuzzInputFile(data, size));
    FUZZ_CHECK(target, settings.status == FileStatus::Ok, QStringLiteral("not read"));

    // The lines of the input stand for the port selector's list.
    QStringList items = fromWindows1250(bytes).split(u'\n');
    for (const PortSettingsEntry &entry : settings.entries) {
        if (entry.kind == PortSettingsEntry::ServerPort) {
            FUZZ_CHECK(target, entry.text.startsWith(QStringLiteral("Port:")),
                       QStringLiteral("server port \"%1\"").arg(entry.text));
            checkPortTextHolds(entry.text);
            continue;
        }
        FUZZ_CHECK(target, !entry.text.contains(u'\n'),
                   QStringLiteral("serial port \"%1\"").arg(entry.text));
        const int index = choosePortIndex(items, entry.text);
        FUZZ_CHECK(target, index >= -1 && index < items.size(),
                   QStringLiteral("index %1 of %2").arg(index).arg(items.size()));
        if (index >= 0) {
            const QString chosen = items.at(index);
            FUZZ_CHECK(target,
                       chosen == entry.text
                           || (entry.text.startsWith(QStringLiteral("COM")) && entry.text.size() > 3
                               && chosen == QStringLiteral("COM") + entry.text.at(3)),
                       QStringLiteral("\"%1\" chose \"%2\"").arg(entry.text, chosen));
        }
    }

    // Written by the program: the selector's text and the entry's text, taken
    // from the two halves of the input.
    const qsizetype half = bytes.indexOf('\0');
    const QString selector = fromWindows1250(bytes.left(half < 0 ? 0 : half));
    const QString entryText = QStringLiteral("Port:") + fromWindows1250(bytes.mid(half + 1));
    if (selector.contains(u'\n') || entryText.contains(u'\n') || entryText.contains(u'\r')
        || (selector + entryText).contains(QChar::ReplacementCharacter)
        || selector.size() + 7 > maxPieceLength || entryText.size() > maxPieceLength)
        return 0;
    const QString scratch = fuzzScratchFile();
    FUZZ_CHECK(target, writePortSettings(scratch, selector, entryText),
               QStringLiteral("cannot write"));
    const QList<PortSettingsEntry> expected
        = {{PortSettingsEntry::SerialPort, selector}, {PortSettingsEntry::ServerPort, entryText}};
    FUZZ_CHECK(target, readPortSettings(scratch).entries == expected,
               QStringLiteral("\"%1\" and \"%2\" read back otherwise").arg(selector, entryText));
    return 0;
}
