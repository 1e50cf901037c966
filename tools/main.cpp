#include "tools/SimOptions.h"
#include "tools/Simulator.h"

#include <cstdio>
#include <exception>

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

// zmt-sim: a ZMT on a pseudo-terminal, for demos, tests and benchmarks.
int main(int argc, char **argv)
{
    ParsedCommandLine commandLine;
    try {
        commandLine = parseCommandLine(argc, argv);
    } catch (const UsageError &e) {
        std::fprintf(stderr, "zmt-sim: %s\nTry 'zmt-sim --help'.\n", e.what());
        return 2;
    }
    if (commandLine.help) {
        std::fputs(usageText("zmt-sim").c_str(), stdout);
        return 0;
    }

    // The stop signals arrive through the poll loop, so the link is always
    // removed by the same code; an inherited "ignore" would swallow them.
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGTERM, SIGINT, SIGHUP, SIGUSR1}) {
        ::signal(s, SIG_DFL);
        sigaddset(&signals, s);
    }
    ::signal(SIGPIPE, SIG_IGN);
    const int signalFd = ::sigprocmask(SIG_BLOCK, &signals, nullptr) == 0
        ? ::signalfd(-1, &signals, SFD_CLOEXEC)
        : -1;
    if (signalFd < 0) {
        std::perror("zmt-sim: cannot take over the stop signals");
        return 1;
    }

    try {
        Simulator simulator(commandLine.options);
        simulator.open();
        std::printf("READY %s\n", simulator.devicePath().c_str());
        std::fflush(stdout);
        simulator.run(signalFd);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "zmt-sim: %s\n", e.what());
        return 1;
    }
    return 0;
}
