#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

// Nearest-rank percentile (p from 0 to 100) of unsorted values; 0 when empty.
double percentile(std::vector<double> values, double p);

// One line of the simulator's --timing file, monotonic nanoseconds.
struct RequestTiming
{
    int64_t firstByte = 0;
    int64_t complete = 0;
    int64_t answerEnd = 0; // 0: not answered
};

// The lines of a timing file, ordered by arrival of the request.
std::vector<RequestTiming> readTimingFile(const std::string &path);

// The device's idle time between the end of an answer and the first byte of
// the next request, in microseconds, for requests that arrived within
// [from, to]. The next request must have come after the answer ended.
std::vector<double> deviceIdleGapsUs(const std::vector<RequestTiming> &timings, int64_t from,
                                     int64_t to);

// From /proc/<pid>/status: a field such as VmRSS or VmHWM, in kB; -1 if absent.
long processStatusKb(pid_t pid, const char *field);
// From /proc/<pid>/limits: the soft limit of open files; -1 if unknown.
long processOpenFilesLimit(pid_t pid);
// Established TCP connections whose local port is `port` (the server's side).
int establishedServerConnections(int port);
// True once something listens on the TCP port.
bool listening(int port);

// A TCP port that was free a moment ago on every address, outside the range
// of ephemeral ports.
int freePort();

std::string machineDescription();
