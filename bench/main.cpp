// hollvan-bench: the relay benchmark. Drives the real Hollvan with the ZMT
// simulator behind it, and the same workload through socat, ser2net and
// straight to the terminal, then prints one table. Loopback only; every
// phase is bounded in count and time, and a watchdog ends the run whatever
// hangs.

#include "bench/Measures.h"
#include "bench/Processes.h"
#include "bench/Relays.h"
#include "bench/Workload.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <getopt.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct Settings
{
    Programs programs;
    bool keep = false;
    std::string only; // empty: every phase
    std::string relays; // empty: all of them in the single-client phase
    std::string compare; // another build of Hollvan, measured beside it (single client)
    int singleRequests = 2000;
    int singleWarmup = 200;
    int pressureClients = 50;
    std::chrono::milliseconds pressureTime {5000};
    int pacedClients = 8;
    std::chrono::milliseconds pacedTime {6000};
    int scaleClients = 1000;
    int scaleRequests = 6;
};

// Round trips of one relay with a single client.
struct SingleRow
{
    std::string relay;
    std::optional<WorkloadResult> result;
    std::string failure;
    double p50() const { return result ? percentile(result->roundTripUs, 50) : 0; }
    double p99() const { return result ? percentile(result->roundTripUs, 99) : 0; }
};

struct PressureResult
{
    WorkloadResult load;
    std::vector<double> gapsUs;
};

struct PacedResult
{
    WorkloadResult load;
    double lineShare = 0; // answer bits per second over the line rate
    std::vector<double> gapsUs;
};

struct ScaleResult
{
    WorkloadResult load;
    int serverConnections = -1;
    long rssKb = -1;
    long peakRssKb = -1;
    long openFilesLimit = -1;
};

void progress(const std::string &text)
{
    std::fprintf(stderr, "hollvan-bench: %s\n", text.c_str());
}

std::vector<std::string> addresses(int count, bool spread)
{
    // Distinct client addresses: 127.0.0.2 ... for a few, 127.0.x.y across
    // the loopback network for many.
    std::vector<std::string> list;
    for (int i = 0; i < count; ++i) {
        if (spread)
            list.push_back("127.0." + std::to_string(1 + i / 250) + "."
                           + std::to_string(1 + i % 250));
        else
            list.push_back("127.0.0." + std::to_string(2 + i));
    }
    return list;
}

// The phases of the benchmark, each in a folder of its own under the root:
// the simulated device first, then the relay on it, then the clients.
class Bench
{
public:
    explicit Bench(const Settings &settings, const std::string &root)
        : m_settings(settings)
        , m_root(root)
    { }

    // Every relay gets its own device and one client; the clients take
    // turns in rounds, so that a change in the load of the machine (other
    // work on it) falls on all relays alike.
    std::vector<SingleRow> singles(const std::vector<std::string> &relays)
    {
        struct Setup
        {
            SingleRow row;
            Child device;
            Child server;
            SequentialClient client;
            WorkloadResult result;
        };
        std::vector<std::unique_ptr<Setup>> setups;
        for (const std::string &relay : relays) {
            auto setup = std::make_unique<Setup>();
            setup->row.relay = relay;
            progress("single client through " + relay + ": starting");
            try {
                start(*setup, relay);
            } catch (const std::exception &e) {
                setup->row.failure = e.what();
                progress("  failed: " + setup->row.failure);
            }
            setups.push_back(std::move(setup));
        }
        progress("single client: measuring");
        const int rounds = 20;
        for (int round = 0; round < rounds; ++round) {
            for (auto &setup : setups) {
                if (!setup->row.failure.empty())
                    continue;
                const int count = m_settings.singleRequests / rounds;
                const int warmup = round == 0 ? m_settings.singleWarmup : 0;
                try {
                    setup->client.run(count + warmup, warmup, setup->result);
                } catch (const std::exception &e) {
                    setup->row.failure = e.what();
                }
            }
        }
        std::vector<SingleRow> rows;
        for (auto &setup : setups) {
            if (setup->row.failure.empty())
                setup->row.result = setup->result;
            setup->server.stop();
            setup->device.stop();
            rows.push_back(setup->row);
        }
        return rows;
    }

    template<typename Setup> void start(Setup &setup, const std::string &relay)
    {
        const fs::path dir = folder("single-" + slug(relay));
        if (relay == "hollvan" || relay == "compare") {
            const int port = freePort();
            const std::string link = prepareHollvanFolder(dir, port, {"127.0.0.1"});
            startDevice(setup.device, m_settings.programs, link, dir / "timing",
                        dir / "zmt-sim.log");
            Programs programs = m_settings.programs;
            if (relay == "compare")
                programs.hollvan = m_settings.compare;
            startHollvan(setup.server, programs, dir);
            waitUntilListening(setup.server, port);
            setup.client.connectTcp(port, "127.0.0.1");
            return;
        }
        const std::string slave = startDevice(setup.device, m_settings.programs, dir / "zmt",
                                              dir / "timing", dir / "zmt-sim.log");
        if (relay == "direct") {
            setup.client.openTerminal(slave);
            return;
        }
        const int port = freePort();
        if (relay == "socat")
            startSocat(setup.server, m_settings.programs, port, slave, dir / "socat.log");
        else
            startSer2net(setup.server, m_settings.programs, port, slave, relay != "ser2net", dir);
        setup.client.connectTcp(port, "");
    }

    std::optional<PressureResult> pressure()
    {
        progress("queue pressure, " + std::to_string(m_settings.pressureClients) + " clients");
        try {
            const fs::path dir = folder("pressure");
            Child device;
            Child server;
            WorkloadPlan plan;
            plan.port = freePort();
            plan.sources = addresses(m_settings.pressureClients, false);
            plan.duration = m_settings.pressureTime;
            plan.rampWindow = 4;
            plan.holdUntilRamped = true;
            plan.limit = m_settings.pressureTime + 30s;
            const std::string link = prepareHollvanFolder(dir, plan.port, plan.sources);
            startDevice(device, m_settings.programs, link, dir / "timing", dir / "zmt-sim.log");
            startHollvan(server, m_settings.programs, dir);
            waitUntilListening(server, plan.port);
            PressureResult result;
            result.load = runWorkload(plan);
            server.stop();
            device.stop();
            result.gapsUs = deviceIdleGapsUs(readTimingFile(dir / "timing"),
                                             result.load.windowStart, result.load.windowEnd);
            return result;
        } catch (const std::exception &e) {
            progress(std::string("  failed: ") + e.what());
            return std::nullopt;
        }
    }

    std::optional<PacedResult> paced(bool direct)
    {
        progress(std::string("9600 baud line, ") + (direct ? "direct" : "hollvan"));
        try {
            const fs::path dir = folder(direct ? "paced-direct" : "paced-hollvan");
            Child device;
            Child server;
            WorkloadPlan plan;
            plan.duration = m_settings.pacedTime;
            plan.limit = m_settings.pacedTime + 30s;
            plan.holdUntilRamped = true;
            const std::vector<std::string> pacing = {"--baud", "9600"};
            if (direct) {
                plan.ptyPath = startDevice(device, m_settings.programs, dir / "zmt", dir / "timing",
                                           dir / "zmt-sim.log", pacing, true);
            } else {
                plan.port = freePort();
                plan.sources = addresses(m_settings.pacedClients, false);
                plan.rampWindow = 4;
                const std::string link = prepareHollvanFolder(dir, plan.port, plan.sources);
                startDevice(device, m_settings.programs, link, dir / "timing", dir / "zmt-sim.log",
                            pacing, true);
                startHollvan(server, m_settings.programs, dir);
                waitUntilListening(server, plan.port);
            }
            PacedResult result;
            result.load = runWorkload(plan);
            server.stop();
            device.stop();
            const double seconds
                = double(result.load.lastAnswerAt - result.load.firstAnswerAt) / 1e9;
            if (seconds > 0)
                result.lineShare
                    = double(result.load.bytesAfterFirstAnswer) * 10.0 / 9600.0 / seconds;
            result.gapsUs = deviceIdleGapsUs(readTimingFile(dir / "timing"),
                                             result.load.windowStart, result.load.windowEnd);
            return result;
        } catch (const std::exception &e) {
            progress(std::string("  failed: ") + e.what());
            return std::nullopt;
        }
    }

    std::optional<ScaleResult> scale()
    {
        progress("scale, " + std::to_string(m_settings.scaleClients) + " clients");
        try {
            const fs::path dir = folder("scale");
            Child device;
            Child server;
            WorkloadPlan plan;
            plan.port = freePort();
            plan.sources = addresses(m_settings.scaleClients, true);
            plan.requestsPerClient = m_settings.scaleRequests;
            plan.rampWindow = 4;
            plan.holdUntilRamped = true;
            plan.limit = 120s;
            const std::string link = prepareHollvanFolder(dir, plan.port, plan.sources);
            startDevice(device, m_settings.programs, link, dir / "timing", dir / "zmt-sim.log");
            startHollvan(server, m_settings.programs, dir);
            waitUntilListening(server, plan.port);
            ScaleResult result;
            const pid_t pid = server.pid();
            result.load = runWorkload(plan, [&] {
                result.serverConnections = establishedServerConnections(plan.port);
                result.rssKb = processStatusKb(pid, "VmRSS");
                result.peakRssKb = processStatusKb(pid, "VmHWM");
                result.openFilesLimit = processOpenFilesLimit(pid);
            });
            server.stop();
            device.stop();
            return result;
        } catch (const std::exception &e) {
            progress(std::string("  failed: ") + e.what());
            return std::nullopt;
        }
    }

private:
    static std::string slug(const std::string &name)
    {
        std::string s;
        for (char c : name)
            s += (std::isalnum(static_cast<unsigned char>(c)) ? c : '-');
        return s;
    }

    fs::path folder(const std::string &name) const
    {
        const fs::path dir = fs::path(m_root) / name;
        fs::create_directories(dir);
        return dir;
    }

    const Settings &m_settings;
    const std::string m_root;
};

std::string ms(double us)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", us / 1000.0);
    return text;
}

const char *verdict(bool met)
{
    return met ? "met" : "NOT MET";
}

int usage(const char *program, int status)
{
    std::fprintf(status == 0 ? stdout : stderr,
                 "Usage: %s --hollvan PATH --zmt-sim PATH [--socat PATH] [--ser2net PATH]\n"
                 "          [--keep] [--quick] [--only single|pressure|paced|scale]\n"
                 "          [--relays direct,socat,ser2net,ser2net-tuned,hollvan]\n"
                 "          [--compare OTHER-HOLLVAN]\n"
                 "Runs the relay benchmark and prints its table. --keep leaves the working\n"
                 "folders (logs, timing files) in place; --quick runs shorter phases; --only\n"
                 "runs one phase; --compare measures another build of Hollvan beside it\n"
                 "in the single-client phase.\n",
                 program);
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    Settings settings;
    settings.programs.socat = "socat";
    settings.programs.ser2net = "ser2net";
    const option longOptions[] = {
        {"hollvan", required_argument, nullptr, 'h'},
        {"zmt-sim", required_argument, nullptr, 'z'},
        {"socat", required_argument, nullptr, 's'},
        {"ser2net", required_argument, nullptr, 'n'},
        {"keep", no_argument, nullptr, 'k'},
        {"quick", no_argument, nullptr, 'q'},
        {"only", required_argument, nullptr, 'o'},
        {"relays", required_argument, nullptr, 'r'},
        {"compare", required_argument, nullptr, 'c'},
        {"help", no_argument, nullptr, '?'},
        {nullptr, 0, nullptr, 0},
    };
    for (int c; (c = getopt_long(argc, argv, "", longOptions, nullptr)) != -1;) {
        switch (c) {
        case 'h':
            settings.programs.hollvan = optarg;
            break;
        case 'z':
            settings.programs.zmtSim = optarg;
            break;
        case 's':
            settings.programs.socat = optarg;
            break;
        case 'n':
            settings.programs.ser2net = optarg;
            break;
        case 'k':
            settings.keep = true;
            break;
        case 'o':
            settings.only = optarg;
            break;
        case 'r':
            settings.relays = "," + std::string(optarg) + ",";
            break;
        case 'c':
            settings.compare = fs::absolute(optarg).string();
            break;
        case 'q':
            settings.singleRequests = 500;
            settings.singleWarmup = 50;
            settings.pressureTime = 2000ms;
            settings.pacedTime = 2000ms;
            settings.scaleRequests = 3;
            break;
        default:
            return usage(argv[0], std::strcmp(argv[optind - 1], "--help") == 0 ? 0 : 2);
        }
    }
    if (settings.programs.hollvan.empty() || settings.programs.zmtSim.empty())
        return usage(argv[0], 2);
    for (std::string *path : {&settings.programs.hollvan, &settings.programs.zmtSim}) {
        if (!fs::exists(*path)) {
            std::fprintf(stderr, "hollvan-bench: %s does not exist\n", path->c_str());
            return 2;
        }
        *path = fs::absolute(*path).string();
    }

    stopChildrenOnSignals();
    armWatchdog(600);
    const long openFiles = raiseOpenFilesLimit();
    if (openFiles >= 0 && openFiles < settings.scaleClients + 64) {
        std::fprintf(stderr, "hollvan-bench: only %ld open files allowed; scale reduced\n",
                     openFiles);
        settings.scaleClients = int(openFiles) - 64;
    }

    char rootTemplate[] = "/tmp/hollvan-bench.XXXXXX";
    if (!::mkdtemp(rootTemplate)) {
        std::perror("hollvan-bench: mkdtemp");
        return 1;
    }
    const std::string root = rootTemplate;
    Bench bench(settings, root);
    const int64_t started = monotonicNs();

    const auto wanted
        = [&](const char *phase) { return settings.only.empty() || settings.only == phase; };
    std::vector<std::string> relays;
    for (const char *relay : {"direct", "socat", "ser2net", "ser2net-tuned", "hollvan"}) {
        if (settings.relays.empty()
            || settings.relays.find("," + std::string(relay) + ",") != std::string::npos)
            relays.push_back(relay);
    }
    if (!settings.compare.empty())
        relays.push_back("compare");
    std::vector<SingleRow> measured;
    if (wanted("single"))
        measured = bench.singles(relays);
    std::vector<SingleRow> rows;
    for (const char *relay :
         {"direct", "socat", "ser2net", "ser2net-tuned", "hollvan", "compare"}) {
        SingleRow row {relay, std::nullopt, "not run"};
        for (const SingleRow &m : measured) {
            if (m.relay == relay)
                row = m;
        }
        rows.push_back(row);
    }
    const std::optional<PressureResult> pressure
        = wanted("pressure") ? bench.pressure() : std::nullopt;
    const std::optional<PacedResult> pacedDirect
        = wanted("paced") ? bench.paced(true) : std::nullopt;
    const std::optional<PacedResult> pacedHollvan
        = wanted("paced") ? bench.paced(false) : std::nullopt;
    const std::optional<ScaleResult> scale = wanted("scale") ? bench.scale() : std::nullopt;
    const double totalSeconds = double(monotonicNs() - started) / 1e9;

    // ---- report ----
    std::printf("\nHollvan relay benchmark on %s\n", machineDescription().c_str());
    std::printf("Requests \"C#####S######\\r\" (14 bytes), answers \"ANS:...\\n\" (18 bytes); "
                "every answer checked against its request.\n\n");

    std::printf("Single client, sequential requests (%d measured after %d warm-up)\n",
                settings.singleRequests, settings.singleWarmup);
    std::printf("  %-30s %10s %10s %10s %10s %6s\n", "relay", "p50 ms", "p99 ms", "answered",
                "misrouted", "lost");
    const char *labels[]
        = {"direct to the terminal (floor)", "socat",   "ser2net 4 (defaults)",
           "ser2net 4 (chardelay off)",      "hollvan", "hollvan (compared build)"};
    for (size_t i = 0; i < rows.size(); ++i) {
        const SingleRow &row = rows[i];
        if (row.relay == "compare" && settings.compare.empty())
            continue;
        if (!row.result) {
            std::printf("  %-30s %s%s\n", labels[i],
                        row.failure == "not run" ? "" : "failed: ", row.failure.c_str());
            continue;
        }
        std::printf("  %-30s %10s %10s %10llu %10llu %6llu\n", labels[i], ms(row.p50()).c_str(),
                    ms(row.p99()).c_str(), (unsigned long long)row.result->answered,
                    (unsigned long long)row.result->misrouted,
                    (unsigned long long)row.result->lost);
    }

    std::printf("\nQueue pressure: %d clients with distinct addresses, one request each "
                "outstanding, %.1f s\n",
                settings.pressureClients, settings.pressureTime.count() / 1000.0);
    if (pressure) {
        const WorkloadResult &l = pressure->load;
        const double seconds = double(l.windowEnd - l.windowStart) / 1e9;
        std::printf("  hollvan: %.0f requests/s; device idle gap answer->next request p50 %s ms, "
                    "p99 %s ms (%zu gaps); misrouted %llu, lost %llu\n",
                    seconds > 0 ? double(l.answeredInWindow) / seconds : 0.0,
                    ms(percentile(pressure->gapsUs, 50)).c_str(),
                    ms(percentile(pressure->gapsUs, 99)).c_str(), pressure->gapsUs.size(),
                    (unsigned long long)l.misrouted, (unsigned long long)l.lost);
    } else {
        std::printf("  %s\n", wanted("pressure") ? "failed" : "not run");
    }

    std::printf("\n9600 baud device (answers paced at 10 bits a byte), %.1f s\n",
                settings.pacedTime.count() / 1000.0);
    for (const auto &[label, result] :
         {std::pair {std::string("direct, 1 client"), &pacedDirect},
          std::pair {"hollvan, " + std::to_string(settings.pacedClients) + " clients",
                     &pacedHollvan}}) {
        if (!*result) {
            std::printf("  %-22s %s\n", std::string(label).c_str(),
                        wanted("paced") ? "failed" : "not run");
            continue;
        }
        const PacedResult &r = **result;
        std::printf("  %-22s %.1f %% of the line rate (%llu answers); idle gap p50 %s ms, p99 %s "
                    "ms; misrouted %llu, lost %llu\n",
                    std::string(label).c_str(), r.lineShare * 100.0,
                    (unsigned long long)r.load.answered, ms(percentile(r.gapsUs, 50)).c_str(),
                    ms(percentile(r.gapsUs, 99)).c_str(), (unsigned long long)r.load.misrouted,
                    (unsigned long long)r.load.lost);
    }

    std::printf("\nScale: %d clients from distinct addresses (127.0.x.y), %d requests each\n",
                settings.scaleClients, settings.scaleRequests);
    if (scale) {
        const WorkloadResult &l = scale->load;
        std::printf("  connected %d (server side %d, connect failures %d, closed by server %d); "
                    "answered %llu of %llu; round trip p50 %s ms, p99 %s ms\n",
                    l.connected, scale->serverConnections, l.connectFailures, l.closedByPeer,
                    (unsigned long long)l.answered, (unsigned long long)l.sent,
                    ms(percentile(l.roundTripUs, 50)).c_str(),
                    ms(percentile(l.roundTripUs, 99)).c_str());
        std::printf("  hollvan VmRSS %.1f MB (peak %.1f MB), its open-files limit %ld; "
                    "misrouted %llu, lost %llu\n",
                    scale->rssKb / 1024.0, scale->peakRssKb / 1024.0, scale->openFilesLimit,
                    (unsigned long long)l.misrouted, (unsigned long long)l.lost);
    } else {
        std::printf("  %s\n", wanted("scale") ? "failed" : "not run");
    }

    // ---- targets ----
    const double hollvanP50 = rows[4].p50();
    const double socatP50 = rows[1].p50();
    double ser2netP50 = 0;
    for (size_t i : {size_t(2), size_t(3)}) {
        if (rows[i].result && (ser2netP50 == 0 || rows[i].p50() < ser2netP50))
            ser2netP50 = rows[i].p50();
    }
    const double toSocat = socatP50 > 0 ? hollvanP50 / socatP50 : 0;
    const double toSer2net = ser2netP50 > 0 ? hollvanP50 / ser2netP50 : 0;
    uint64_t misrouted = 0;
    uint64_t lost = 0;
    auto add = [&](const WorkloadResult &l) {
        misrouted += l.misrouted;
        lost += l.lost;
    };
    if (rows[4].result)
        add(*rows[4].result);
    if (pressure)
        add(pressure->load);
    if (pacedHollvan)
        add(pacedHollvan->load);
    if (scale)
        add(scale->load);

    std::printf("\nTargets\n");
    if (wanted("single")) {
        std::printf("  single-client p50 within 1.25x socat: %.2fx  %s\n", toSocat,
                    verdict(rows[4].result && rows[1].result && toSocat <= 1.25));
        std::printf("  single-client p50 no slower than ser2net (faster setup): %.2fx  %s\n",
                    toSer2net, verdict(rows[4].result && ser2netP50 > 0 && toSer2net <= 1.0));
    }
    if (pressure) {
        const double gap = percentile(pressure->gapsUs, 50);
        std::printf("  device idle gap p50 under 0.2 ms under pressure: %s ms  %s\n",
                    ms(gap).c_str(), verdict(!pressure->gapsUs.empty() && gap < 200));
    }
    if (pacedHollvan)
        std::printf("  9600 baud: at least 97 %% of the line rate: %.1f %%  %s\n",
                    pacedHollvan->lineShare * 100, verdict(pacedHollvan->lineShare >= 0.97));
    if (scale) {
        const bool allThere = scale->load.connected == settings.scaleClients
            && scale->serverConnections == settings.scaleClients;
        const bool clean = scale->load.misrouted == 0 && scale->load.lost == 0
            && scale->load.answered == scale->load.sent;
        std::printf("  %d clients, none misrouted or lost, under 100 MB: %d connected, %.1f MB  "
                    "%s\n",
                    settings.scaleClients, scale->serverConnections, scale->rssKb / 1024.0,
                    verdict(allThere && clean && scale->rssKb >= 0 && scale->rssKb < 100 * 1024));
    }
    std::printf("  (whole run %.0f s; working folders %s)\n\n", totalSeconds,
                settings.keep ? root.c_str() : "removed");

    std::printf("hollvan/socat p50 %.2f, hollvan/ser2net p50 %.2f, misrouted %llu, lost %llu\n",
                toSocat, toSer2net, (unsigned long long)misrouted, (unsigned long long)lost);
    std::fflush(stdout);

    if (!settings.keep) {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    // Unmet targets are results; a phase that could not run is a failure.
    bool failed = (wanted("pressure") && !pressure)
        || (wanted("paced") && (!pacedDirect || !pacedHollvan)) || (wanted("scale") && !scale);
    for (const SingleRow &row : rows)
        failed = failed || (!row.result && row.failure != "not run");
    return failed ? 1 : 0;
}
