#include "app/SingleInstance.h"
#include "app/TMainForm.h"
#include "app/support/ExceptionDisplay.h"
#include "app/support/Unattended.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <unistd.h>
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
    if (isUnattended())
        return false;
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

// Write end of the stop signals' pipe; the handler may do nothing but write.
int stopPipeWrite = -1;

extern "C" void onStopSignal(int signal)
{
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(stopPipeWrite, &number, 1);
    errno = savedErrno;
}

// SIGTERM, SIGINT and SIGHUP stop the program the way the operator's Exit
// button does, so that the port settings are written, the connections closed,
// "Serwer jest wyłączony" logged and the log file closed. The handler only
// writes the signal's number into a pipe; the GUI thread reads it through a
// socket notifier and runs the close there.
class StopSignals : public QObject
{
public:
    explicit StopSignals(TMainForm *window)
        : m_window(window)
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
            std::perror("Hollvan: no pipe for the stop signals");
            return;
        }
        m_readFd = fds[0];
        stopPipeWrite = fds[1];
        m_notifier = new QSocketNotifier(m_readFd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] { signalled(); });

        struct sigaction action = {};
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int signal : {SIGTERM, SIGINT, SIGHUP})
            ::sigaction(signal, &action, nullptr);
    }

    // The write end stays open: a signal may still arrive while the process
    // winds down, and its byte then simply goes unread.
    ~StopSignals() override
    {
        struct sigaction action = {};
        action.sa_handler = SIG_DFL;
        sigemptyset(&action.sa_mask);
        for (int signal : {SIGTERM, SIGINT, SIGHUP})
            ::sigaction(signal, &action, nullptr);
        if (m_readFd >= 0)
            ::close(m_readFd);
    }

private:
    void signalled()
    {
        unsigned char number = 0;
        while (::read(m_readFd, &number, 1) == 1) {
            reportToStderr(QStringLiteral("stopping on signal %1 (%2)")
                               .arg(number)
                               .arg(QString::fromLocal8Bit(::strsignal(number))));
        }
        // Whoever sent the signal will not answer questions: from here on the
        // messages go to the journal and the close questions are consented.
        setUnattended();
        // Queued, so it comes after the start-up sequence that the window
        // posted when it was shown: the close must not write the port
        // settings before they have been read.
        QTimer::singleShot(0, this, [this] { closeWindow(); });
    }

    // An open modal window (a message, the password or configuration dialog,
    // the About box) runs a loop of its own; it is dismissed first, and the
    // window is closed from the loop beneath once that one has ended.
    void closeWindow()
    {
        if (!m_window)
            return;
        if (QWidget *modal = QApplication::activeModalWidget()) {
            modal->close();
            QTimer::singleShot(modal->isVisible() ? 100 : 0, this, [this] { closeWindow(); });
            return;
        }
        m_window->close();
    }

    QPointer<TMainForm> m_window;
    QSocketNotifier *m_notifier = nullptr;
    int m_readFd = -1;
};

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
        // Taken over only now: until the window is shown a stop signal ends the
        // process the default way, before any setting is read or written.
        StopSignals stopSignals(form.get());
        QApplication::exec();
    });
    return 0;
}
