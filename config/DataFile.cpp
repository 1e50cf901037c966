#include "config/DataFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace {

constexpr const char *codePage = "windows-1250";

} // namespace

QString fromWindows1250(const QByteArray &bytes)
{
    QStringDecoder decoder(codePage);
    return decoder.decode(bytes);
}

QByteArray toWindows1250(const QString &text)
{
    // Characters outside the code page become the code page's substitute byte.
    QStringEncoder encoder(codePage);
    return encoder.encode(text);
}

QStringList splitPieces(const QByteArray &bytes)
{
    QStringList pieces;
    QByteArray piece;
    piece.reserve(maxPieceLength);
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size; ++i) {
        char c = bytes.at(i);
        if (c == '\r' && i + 1 < size && bytes.at(i + 1) == '\n') {
            c = '\n';
            ++i;
        }
        piece.append(c);
        if (c == '\n' || piece.size() == maxPieceLength) {
            pieces.append(fromWindows1250(piece));
            piece.clear();
        }
    }
    if (!piece.isEmpty())
        pieces.append(fromWindows1250(piece));
    return pieces;
}

DataFileContent readDataFile(const QString &path)
{
    DataFileContent content;
    if (!QFileInfo::exists(path))
        return content;

    content.status = FileStatus::Unreadable;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return content;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return content;

    content.status = FileStatus::Ok;
    content.pieces = splitPieces(bytes);
    return content;
}

bool writeDataFile(const QString &path, const QString &text)
{
    QByteArray bytes = toWindows1250(text);
    bytes.replace("\n", "\r\n");

    QSaveFile file(path);
    // Where no temporary file can be made next to it, write the file in place
    // as a plain text-mode writer would.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
