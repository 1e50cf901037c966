#include "app/support/Unattended.h"

#include <QByteArray>

#include <atomic>
#include <cstdio>

namespace {

std::atomic<bool> forcedUnattended {false};

} // namespace

bool isUnattended()
{
    // Read on every call: the variable belongs to the environment the process
    // was started in, and tests switch it within one run.
    return forcedUnattended.load() || qgetenv("HOLLVAN_UNATTENDED") == "1";
}

void setUnattended()
{
    forcedUnattended.store(true);
}

void reportToStderr(const QString &text)
{
    QString line = text;
    line.replace(QLatin1Char('\n'), QStringLiteral(" / "));
    const QByteArray bytes = QStringLiteral("Hollvan: %1\n").arg(line).toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}
