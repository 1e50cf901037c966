#pragma once

#include "tools/SimOptions.h"

#include <chrono>
#include <cstdio>
#include <deque>
#include <string>

// The simulated device: a pseudo-terminal whose slave side the server opens
// as its serial port, and a single-threaded loop on the master side that
// frames requests and writes answers. Everything waits in one ppoll with a
// deadline, so the loop sleeps whenever nothing is due.
class Simulator
{
public:
    explicit Simulator(SimOptions options);
    ~Simulator();
    Simulator(const Simulator &) = delete;
    Simulator &operator=(const Simulator &) = delete;

    // Creates the terminal, the link and the ready file. Throws std::system_error.
    void open();
    // The path clients should open: the link, or the slave itself without one.
    std::string devicePath() const;

    // Serves until SIGTERM, SIGINT or SIGHUP arrives on signalFd (a signalfd
    // that also carries SIGUSR1). Throws std::system_error on a failing call.
    void run(int signalFd);

private:
    using Clock = std::chrono::steady_clock;

    struct Segment
    {
        std::string bytes;
        Clock::time_point notBefore;
        bool endsAnswer = false; // its last byte ends the answer to a request
    };

    // When a request came, kept until its answer has gone out (--timing).
    struct RequestTimes
    {
        Clock::time_point firstByte;
        Clock::time_point complete;
    };

    void takeInput(Clock::time_point now);
    void record(const char *data, size_t size);
    void completeFramedRequests(Clock::time_point now);
    void handleRequest(std::string request, Clock::time_point firstByte, Clock::time_point now);
    bool shouldAnswer() const;
    bool queueOutput(const std::string &bytes, Clock::time_point start, unsigned pieces,
                     bool answer);
    void writeTiming(const RequestTimes &times, Clock::time_point answerEnd);
    void writeDue(Clock::time_point now);
    // When the first byte of the segment can be handed to the terminal.
    Clock::time_point firstByteDue(const Segment &segment) const;
    void fireUnsolicited(Clock::time_point now, bool timed);
    Clock::time_point nextDeadline() const;
    void removeLink();
    void removeReadyFile();
    void note(const std::string &what, const std::string &bytes) const;

    SimOptions m_options;
    int m_master = -1;
    // Held open so the master never sees a hang-up while the server has the
    // slave closed; it also keeps the raw line settings across reopens.
    int m_slave = -1;
    int m_record = -1;
    std::FILE *m_timing = nullptr;
    std::deque<RequestTimes> m_answersPending; // answers queued, in order
    std::string m_slaveName;
    bool m_linked = false;
    bool m_readyWritten = false;

    std::string m_input;
    Clock::time_point m_lastInput;
    Clock::time_point m_inputStarted; // when the first byte of m_input came
    long m_requests = 0;

    std::deque<Segment> m_output;
    size_t m_outputBytes = 0;
    bool m_outputBlocked = false; // the terminal's input queue is full
    Clock::time_point m_retryAt;
    Clock::time_point m_lineFreeAt; // with --baud: when the next byte may go
    std::chrono::nanoseconds m_byteTime {0};

    Clock::time_point m_nextUnsolicited = Clock::time_point::max();
};
