#include "tests/fuzz/FuzzTargets.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

void abortOnFailure(const std::string &what)
{
    std::fprintf(stderr, "property failed: %s\n", what.c_str());
    std::abort();
}

FuzzFailureHandler failureHandler = abortOnFailure;

QTemporaryDir &folder()
{
    // In memory where the machine has it: the writers sync every file they
    // commit, which on a disk would slow each run down to the disk's pace.
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                 ? QStringLiteral("/dev/shm/hollvan-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/hollvan-fuzz-XXXXXX"));
    return dir;
}

} // namespace

void setFuzzFailureHandler(FuzzFailureHandler handler)
{
    failureHandler = handler ? handler : abortOnFailure;
}

void fuzzFailure(const char *target, const QString &what)
{
    failureHandler(std::string(target) + ": " + what.toStdString());
}

QString fuzzInputFile(const uint8_t *data, size_t size)
{
    const QString path = folder().filePath(QStringLiteral("input"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::abort();
    }
    return path;
}

QString fuzzScratchFile()
{
    return folder().filePath(QStringLiteral("scratch"));
}
