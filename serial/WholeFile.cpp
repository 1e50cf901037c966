#include "serial/WholeFile.h"

#include <QFile>
#include <QSaveFile>

std::optional<QByteArray> readWholeFile(const QString &fileName)
{
    QFile file(fileName);
    if (!file.exists())
        return QByteArray();
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

bool replaceWholeFile(const QString &fileName, const QByteArray &bytes)
{
    QSaveFile file(fileName);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}
