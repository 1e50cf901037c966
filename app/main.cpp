#include "app/SingleInstance.h"
#include "app/TMainForm.h"
#include "app/support/ExceptionDisplay.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <memory>

#include <sys/resource.h>

namespace {

// Every client workstation holds a connection, and each connection is a
// descriptor; the usual soft limit of 1024 would turn clients away a little
// short of a thousand. Nothing in the program waits with select(), so the
// hard limit is safe to take.
void raiseOpenFilesLimit()
{
    rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        // Without it the program still runs, with fewer clients at most.
        (void)::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

bool hasScreenUser()
{
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

} // namespace

int main(int argc, char *argv[])
{
    raiseOpenFilesLimit();
    // The lock is taken before anything else and held until the process ends.
    SingleInstance instance(QStringLiteral("Hollvan"));

    QApplication app(argc, argv);
    if (!instance.acquired()) {
        const QString text = QStringLiteral("Program Hollvan jest już uruchomiony!");
        if (hasScreenUser())
            QMessageBox::information(nullptr, QStringLiteral("Hollvan"), text);
        else
            std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        return 0;
    }

    runGuarded([&] {
        QApplication::setApplicationName(QStringLiteral("Hollvan"));
        QApplication::setApplicationDisplayName(QStringLiteral("Hollvan"));
        auto form = std::make_unique<TMainForm>();
        form->show();
        QApplication::exec();
    });
    return 0;
}
