#include "tests/fuzz/FuzzTargets.h"

#include "config/DataFile.h"

namespace {

const char target[] = "data_file";

} // namespace

// The line reader every data file goes through: pieces of at most 79
// characters that end at a line end or at their limit, nothing lost but the CR
// of each CR LF; a text that the code page holds is written and read back
// unchanged.
int fuzzDataFile(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList pieces = splitPieces(bytes);
    qsizetype characters = 0;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        const QString &piece = pieces.at(i);
        const qsizetype lineEnd = piece.indexOf(u'\n');
        FUZZ_CHECK(target, !piece.isEmpty() && piece.size() <= maxPieceLength,
                   QStringLiteral("piece %1 of %2 characters").arg(i).arg(piece.size()));
        FUZZ_CHECK(target, lineEnd < 0 || lineEnd == piece.size() - 1,
                   QStringLiteral("piece %1 goes on after its line end").arg(i));
        FUZZ_CHECK(target, i == pieces.size() - 1 || lineEnd >= 0 || piece.size() == maxPieceLength,
                   QStringLiteral("piece %1 ends early").arg(i));
        characters += piece.size();
    }
    FUZZ_CHECK(target, characters == bytes.size() - bytes.count("\r\n"),
               QStringLiteral("%1 characters from %2 bytes").arg(characters).arg(bytes.size()));

    const DataFileContent content = readDataFile(fuzzInputFile(data, size));
    FUZZ_CHECK(target, content.status == FileStatus::Ok && content.pieces == pieces,
               QStringLiteral("the file reads otherwise than its bytes"));

    const QString text = fromWindows1250(bytes);
    if (text.contains(QChar::ReplacementCharacter))
        return 0;
    const QString scratch = fuzzScratchFile();
    FUZZ_CHECK(target, writeDataFile(scratch, text), QStringLiteral("cannot write"));
    FUZZ_CHECK(target, readDataFile(scratch).pieces.join(QString()) == text,
               QStringLiteral("written and read back otherwise"));
    return 0;
}
