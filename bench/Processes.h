#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

// A program the benchmark runs: a relay, the simulated device. Started with
// its output in a log file, stopped with SIGTERM (SIGKILL when it does not go
// in time). Every running child is also known to the watchdog, which ends
// them all should the benchmark overrun its time.
class Child
{
public:
    struct Options
    {
        std::vector<std::string> argv;
        std::vector<std::string> env; // NAME=value, added to the benchmark's own
        std::string workDir; // empty: the benchmark's
        std::string logFile; // standard output and error; empty: /dev/null
        long openFilesLimit = 0; // soft RLIMIT_NOFILE for the child; 0: inherited
        bool realtime = false; // SCHED_FIFO when allowed, else as usual
    };

    Child() = default;
    ~Child();
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;

    // Throws std::runtime_error when the program cannot be started.
    void start(const Options &options);
    // SIGTERM, then SIGKILL after `grace`; returns once the child is gone.
    void stop(std::chrono::milliseconds grace = std::chrono::milliseconds(3000));
    bool running();
    pid_t pid() const { return m_pid; }
    const std::string &name() const { return m_name; }

private:
    bool reap(bool wait);

    pid_t m_pid = -1;
    std::string m_name;
};

// Ends the benchmark with every child when `seconds` have passed: the
// benchmark stops by itself whatever hangs.
void armWatchdog(unsigned seconds);
// Lets SIGINT and SIGTERM stop the children too before the benchmark ends.
void stopChildrenOnSignals();

// Raises the benchmark's own soft limit of open files to its hard limit;
// returns the new soft limit.
long raiseOpenFilesLimit();
