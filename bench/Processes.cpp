#include "bench/Processes.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The children the watchdog ends; read from a signal handler, so a fixed
// table of atomics rather than a container.
constexpr int maxChildren = 32;
std::atomic<pid_t> liveChildren[maxChildren];

void remember(pid_t pid)
{
    for (auto &slot : liveChildren) {
        pid_t empty = 0;
        if (slot.compare_exchange_strong(empty, pid))
            return;
    }
}

void forget(pid_t pid)
{
    for (auto &slot : liveChildren) {
        pid_t expected = pid;
        if (slot.compare_exchange_strong(expected, 0))
            return;
    }
}

void killChildren()
{
    for (auto &slot : liveChildren) {
        const pid_t pid = slot.load();
        if (pid > 0)
            ::kill(pid, SIGKILL);
    }
}

void onAlarm(int)
{
    static const char text[] = "hollvan-bench: time is up, stopping\n";
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, text, sizeof text - 1);
    killChildren();
    ::_exit(3);
}

void onStopSignal(int signal)
{
    killChildren();
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

} // namespace

Child::~Child()
{
    if (m_pid > 0)
        stop(std::chrono::milliseconds(1000));
}

void Child::start(const Options &options)
{
    if (options.argv.empty())
        throw std::runtime_error("no program to start");
    m_name = options.argv.front();
    std::vector<char *> argv;
    for (const std::string &arg : options.argv)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);

    // An error pipe tells the parent whether exec worked.
    int status[2];
    if (::pipe2(status, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));

    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(status[0]);
        ::close(status[1]);
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    }
    if (pid == 0) {
        // Only async-signal-safe calls from here on, bar setenv before exec.
        ::setpgid(0, 0);
        const int out = ::open(options.logFile.empty() ? "/dev/null" : options.logFile.c_str(),
                               O_WRONLY | O_CREAT | O_APPEND, 0644);
        const int in = ::open("/dev/null", O_RDONLY);
        if (out >= 0) {
            ::dup2(out, STDOUT_FILENO);
            ::dup2(out, STDERR_FILENO);
        }
        if (in >= 0)
            ::dup2(in, STDIN_FILENO);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        for (int s : {SIGINT, SIGTERM, SIGALRM, SIGPIPE})
            ::signal(s, SIG_DFL);
        if (options.realtime) {
            sched_param priority {};
            priority.sched_priority = 10;
            ::sched_setscheduler(0, SCHED_FIFO, &priority);
        }
        if (options.openFilesLimit > 0) {
            rlimit limit {};
            if (::getrlimit(RLIMIT_NOFILE, &limit) == 0) {
                limit.rlim_cur = std::min<rlim_t>(rlim_t(options.openFilesLimit), limit.rlim_max);
                ::setrlimit(RLIMIT_NOFILE, &limit);
            }
        }
        for (const std::string &entry : options.env) {
            const auto equals = entry.find('=');
            if (equals != std::string::npos)
                ::setenv(entry.substr(0, equals).c_str(), entry.c_str() + equals + 1, 1);
        }
        if (!options.workDir.empty() && ::chdir(options.workDir.c_str()) != 0) {
            const int err = errno;
            [[maybe_unused]] const ssize_t n = ::write(status[1], &err, sizeof err);
            ::_exit(127);
        }
        ::execvp(argv[0], argv.data());
        const int err = errno;
        [[maybe_unused]] const ssize_t n = ::write(status[1], &err, sizeof err);
        ::_exit(127);
    }
    ::close(status[1]);
    int err = 0;
    ssize_t got;
    do {
        got = ::read(status[0], &err, sizeof err);
    } while (got < 0 && errno == EINTR);
    ::close(status[0]);
    if (got == static_cast<ssize_t>(sizeof err)) {
        ::waitpid(pid, nullptr, 0);
        throw std::runtime_error("cannot start " + m_name + ": " + std::strerror(err));
    }
    m_pid = pid;
    remember(pid);
}

bool Child::reap(bool wait)
{
    if (m_pid <= 0)
        return true;
    const pid_t r = ::waitpid(m_pid, nullptr, wait ? 0 : WNOHANG);
    if (r == m_pid || (r < 0 && errno == ECHILD)) {
        forget(m_pid);
        m_pid = -1;
        return true;
    }
    return false;
}

bool Child::running()
{
    return !reap(false);
}

void Child::stop(std::chrono::milliseconds grace)
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (std::chrono::steady_clock::now() < deadline) {
        if (reap(false))
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(m_pid, SIGKILL);
    reap(true);
}

void armWatchdog(unsigned seconds)
{
    ::signal(SIGALRM, onAlarm);
    ::alarm(seconds);
}

void stopChildrenOnSignals()
{
    ::signal(SIGINT, onStopSignal);
    ::signal(SIGTERM, onStopSignal);
    ::signal(SIGPIPE, SIG_IGN);
}

long raiseOpenFilesLimit()
{
    rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return -1;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    return limit.rlim_cur == RLIM_INFINITY ? -1 : long(limit.rlim_cur);
}
