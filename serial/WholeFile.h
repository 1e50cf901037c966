#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The settings files of the serial component (the initialisation file and
// the registry file) are read and written as a whole.

// The file's bytes; empty for a missing file, none when it exists but cannot
// be read.
std::optional<QByteArray> readWholeFile(const QString &fileName);

// Replaces the file with bytes, so that a failed write leaves the old one;
// false on failure.
bool replaceWholeFile(const QString &fileName, const QByteArray &bytes);
