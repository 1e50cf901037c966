#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

// Many client workstations at once, on a thread of their own so that the
// program under test keeps its GUI thread to itself. Each client has its own
// loopback address and one request outstanding at a time; every request holds
// a unique id, and the answer must be the device's echo of exactly that
// request. Clients reconnect every few answers and take and release the lock
// now and then, so the program logs connections, disconnections and locks
// while it relays. The whole run is bounded: it stops by itself at its deadline.
class LoadDriver
{
public:
    struct Plan
    {
        quint16 port = 0;
        // Client i binds localPorts + i * connections per client + its
        // connection's number, a port of its own outside the ephemeral range.
        quint16 localPorts = 30000;
        int clients = 200;
        int requests = 50; // per client
        int reconnectEvery = 10; // answers per connection
        std::vector<int> lockAfter {20, 40}; // a lock cycle after this many answers
        char terminator = '\r'; // ends each request; the device frames by it
        std::chrono::seconds deadline {150};
    };

    struct Result
    {
        bool finished = false; // every client did all its work
        int answers = 0; // answers that matched their request
        int wrongAnswers = 0;
        int refusals = 0; // "LOCK\r\n" replies while another client held the lock
        int lockCycles = 0;
        int connections = 0;
        QStringList problems; // the first few, for the failure message
    };

    explicit LoadDriver(Plan plan);
    ~LoadDriver();
    LoadDriver(const LoadDriver &) = delete;
    LoadDriver &operator=(const LoadDriver &) = delete;

    // The address of client i: 127.0.1.1 and up, distinct for every client.
    static QString address(int client);
    // The number of connections each client makes over the run.
    int connectionsPerClient() const;

    void start();
    bool done() const { return m_done.load(); }
    Result result() const;

private:
    struct Client;
    void run();
    void step(Client &c, std::chrono::steady_clock::time_point now);
    void problem(const QString &text);

    Plan m_plan;
    std::thread m_thread;
    std::atomic<bool> m_done {false};
    std::atomic<bool> m_stop {false};
    mutable std::mutex m_mutex;
    Result m_result;
};
