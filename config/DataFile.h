#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The data files under data/ keep their Windows text form so that they move
// between machines unchanged: Windows-1250 bytes, CR LF written, LF or CR LF
// accepted. Every reader of the program takes a file through readDataFile and
// every writer through writeDataFile.

enum class FileStatus { Missing, Unreadable, Ok };

// A line reader hands out pieces of at most this many characters, the way a
// C fgets with an 80-byte buffer does.
inline constexpr qsizetype maxPieceLength = 79;

struct DataFileContent
{
    FileStatus status = FileStatus::Missing;
    QStringList pieces; // in file order; empty unless status is Ok
};

// Reads the whole file and cuts it into pieces. Missing when nothing exists
// under that name, Unreadable when it exists but cannot be read (a directory,
// no permission, a read error).
DataFileContent readDataFile(const QString &path);

// CR LF is folded to LF, then the text is cut like fgets: a piece ends after a
// line end ("\n", which it keeps) or after maxPieceLength characters; a final
// piece without a line end is kept as it is. Each piece is decoded on its own.
QStringList splitPieces(const QByteArray &bytes);

QString fromWindows1250(const QByteArray &bytes);
QByteArray toWindows1250(const QString &text);

// Writes text in the on-disk form (LF becomes CR LF, Windows-1250). The file
// is replaced only when everything has been written, so a failed write leaves
// the previous content; false when the file cannot be created or written.
// Folders are never created.
bool writeDataFile(const QString &path, const QString &text);
