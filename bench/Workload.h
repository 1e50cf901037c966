#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The clients of one measurement, driven from one epoll loop. Each client
// keeps exactly one request outstanding (a relay that reads a burst as one
// request would merge two), waits for its answer, checks it and sends the
// next. A request is "C<client>S<sequence><padding>\r"; the simulated device
// answers "ANS:" + the request without the CR + "\n", so every answer names
// the client and the request it belongs to.
struct WorkloadPlan
{
    // TCP: the relay's port on 127.0.0.1; clients bind to their source
    // addresses first (empty: no bind). Pty: the device itself, one client.
    int port = 0;
    std::string ptyPath;
    std::vector<std::string> sources;

    int requestsPerClient = 0; // 0: until `duration` is over
    std::chrono::milliseconds duration {0};
    // Clients connecting or waiting for their first answer at once. Keeps a
    // server's accept queue from overflowing while many clients come.
    int rampWindow = 0; // 0: all at once
    // Clients that have their first answer wait until every client has
    // one, so the load starts with all of them connected and the ramp is not
    // slowed down by a long queue.
    bool holdUntilRamped = false;
    int padding = 0; // extra bytes per request
    int warmup = 0; // round trips per client left out of the statistics
    // The whole run, the wait for the last answers included.
    std::chrono::milliseconds limit {60000};
    // How long an unanswered request is waited for before it counts as lost;
    // beyond the relay's own time-out of 5 s.
    std::chrono::milliseconds answerWait {6000};
};

struct WorkloadResult
{
    std::vector<double> roundTripUs; // answered requests after the warm-up
    uint64_t sent = 0;
    uint64_t answered = 0;
    uint64_t answeredInWindow = 0; // between windowStart and windowEnd
    uint64_t answerBytes = 0;
    // Answers that are not the answer to the request the client waits for
    // (another client's, an earlier one, garbled).
    uint64_t misrouted = 0;
    uint64_t lost = 0; // requests never answered
    int connected = 0; // clients whose connection was established
    int connectFailures = 0;
    int closedByPeer = 0;
    // Monotonic nanoseconds: every client had started (ramp over) and no new
    // request was sent after windowEnd.
    int64_t windowStart = 0;
    int64_t windowEnd = 0;
    int64_t firstAnswerAt = 0;
    int64_t lastAnswerAt = 0;
    uint64_t bytesAfterFirstAnswer = 0; // answer bytes after the first answer
    bool timedOut = false;
};

// Runs the clients. `beforeClosing`, when given, is called once every client
// has finished, while their connections are still open (for measurements of
// the loaded server).
WorkloadResult runWorkload(const WorkloadPlan &plan,
                           const std::function<void()> &beforeClosing = {});

int64_t monotonicNs();

// The request text of client `id`, sequence number `sequence`.
std::string requestText(int id, uint32_t sequence, int padding = 0);

// One client that sends a request and waits for its answer before anything
// else happens: the plainest measure of a relay's round trip. Several of
// them, one per relay, take turns so that every relay sees the same load of
// the machine.
class SequentialClient
{
public:
    SequentialClient() = default;
    ~SequentialClient();
    SequentialClient(const SequentialClient &) = delete;
    SequentialClient &operator=(const SequentialClient &) = delete;

    // Throws std::runtime_error when the connection cannot be made.
    void connectTcp(int port, const std::string &source);
    void openTerminal(const std::string &path);

    // Runs `count` round trips; those after the first `warmup` go into
    // `result`. Stops at the first request not answered within `wait`.
    void run(int count, int warmup, WorkloadResult &result,
             std::chrono::milliseconds wait = std::chrono::milliseconds(6000));

private:
    int m_fd = -1;
    uint32_t m_sequence = 0;
    std::string m_input;
};
