#pragma once

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// How the simulated ZMT frames requests and shapes its answers. Defaults give
// a fast, well-behaved device: every request is answered at once with an echo.
struct SimOptions
{
    std::string linkPath; // empty: no link, the slave's own name is reported
    std::string readyFile;
    std::string recordFile;
    std::string timingFile;

    // Empty: the bytes that arrive without a pause of `gap` form one request.
    std::string terminator;
    std::chrono::milliseconds gap {2};

    std::chrono::milliseconds delay {0};
    unsigned baud = 0; // 0: no pacing
    unsigned chunks = 1;
    std::chrono::milliseconds chunkGap {5};

    bool silent = false;
    long silentAfter = -1; // < 0: no limit
    unsigned answerEvery = 1;

    std::optional<std::string> fixed;
    std::string prefix = "ANS:";
    bool lineFeed = true;

    std::optional<std::string> unsolicited;
    std::chrono::milliseconds unsolicitedEvery {1000}; // 0: only on SIGUSR1

    bool verbose = false;
};

class UsageError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct ParsedCommandLine
{
    SimOptions options;
    bool help = false;
};

// Throws UsageError with a one-line reason.
ParsedCommandLine parseCommandLine(int argc, char **argv);
std::string usageText(std::string_view program);

// Turns \n, \r, \t, \\ and \xHH in a command-line text into bytes, so answers
// and terminators can hold control characters. Throws UsageError.
std::string decodeEscapes(std::string_view text);
