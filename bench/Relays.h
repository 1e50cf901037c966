#pragma once

#include "bench/Processes.h"

#include <string>
#include <vector>

// The programs under comparison and the simulated device behind them.
struct Programs
{
    std::string hollvan;
    std::string zmtSim;
    std::string socat;
    std::string ser2net;
};

// The ZMT simulator on a fresh pseudo-terminal: requests end in CR, every
// request is timed into `timingFile`. Returns the terminal's slave device.
// `realtime`: the simulator gets real-time scheduling where allowed, so that
// its pacing of a slow line keeps time however busy the machine is (it
// stands for hardware, which never waits for the processor).
std::string startDevice(Child &child, const Programs &programs, const std::string &linkPath,
                        const std::string &timingFile, const std::string &logFile,
                        const std::vector<std::string> &extraOptions = {}, bool realtime = false);

// socat between a TCP listener on 127.0.0.1:port and the terminal, raw.
void startSocat(Child &child, const Programs &programs, int port, const std::string &slave,
                const std::string &logFile);

// ser2net 4 with a YAML file of its own in `dir`: with its defaults, or tuned
// for latency (no character delay, TCP_NODELAY on its side too).
void startSer2net(Child &child, const Programs &programs, int port, const std::string &slave,
                  bool tuned, const std::string &dir);

// Hollvan's working folder: autostart, the clients authorized by address,
// the device behind dev/COM1 and the server port. Returns the link path the
// device must take.
std::string prepareHollvanFolder(const std::string &dir, int port,
                                 const std::vector<std::string> &authorized);
// Starts the real program as an operator's service would, without a screen,
// with the common default of 1024 open files as its soft limit.
void startHollvan(Child &child, const Programs &programs, const std::string &dir);

// Waits until something listens on the port (the relay is up); throws when
// the child ends or the time is up.
void waitUntilListening(Child &child, int port, int timeoutMs = 20000);
