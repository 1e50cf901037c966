#include "bench/Relays.h"

#include "bench/Measures.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace {

void writeFile(const fs::path &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out.flush())
        throw std::runtime_error("cannot write " + path.string());
}

} // namespace

std::string startDevice(Child &child, const Programs &programs, const std::string &linkPath,
                        const std::string &timingFile, const std::string &logFile,
                        const std::vector<std::string> &extraOptions, bool realtime)
{
    const std::string ready = linkPath + ".ready";
    fs::remove(ready);
    Child::Options options;
    options.argv
        = {programs.zmtSim, "--terminator", "\\r", "--timing", timingFile, "--ready-file", ready};
    options.argv.insert(options.argv.end(), extraOptions.begin(), extraOptions.end());
    options.argv.push_back(linkPath);
    options.logFile = logFile;
    options.realtime = realtime;
    child.start(options);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!fs::exists(ready)) {
        if (!child.running())
            throw std::runtime_error("zmt-sim ended at start; see " + logFile);
        if (std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("zmt-sim was not ready within 10 s");
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return fs::read_symlink(linkPath).string();
}

void startSocat(Child &child, const Programs &programs, int port, const std::string &slave,
                const std::string &logFile)
{
    // One device, one client: no fork. nodelay: answers go out at once, as
    // Hollvan sends them.
    Child::Options options;
    options.argv = {programs.socat,
                    "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr,nodelay",
                    "FILE:" + slave + ",raw,echo=0"};
    options.logFile = logFile;
    child.start(options);
    waitUntilListening(child, port);
}

void startSer2net(Child &child, const Programs &programs, int port, const std::string &slave,
                  bool tuned, const std::string &dir)
{
    const fs::path config = fs::path(dir) / (tuned ? "ser2net-tuned.yaml" : "ser2net.yaml");
    std::string yaml = "%YAML 1.1\n---\n"
                       "connection: &zmt\n";
    if (tuned) {
        // Character delay off: ser2net otherwise holds device output for the
        // time of two characters (at least 1 ms) in case more follows.
        yaml += "    accepter: tcp(nodelay),127.0.0.1," + std::to_string(port) + "\n"
            + "    connector: serialdev," + slave + ",9600n81,local\n"
            + "    options:\n"
              "      chardelay: false\n"
              "      kickolduser: true\n";
    } else {
        yaml += "    accepter: tcp,127.0.0.1," + std::to_string(port) + "\n"
            + "    connector: serialdev," + slave + ",9600n81,local\n"
            + "    options:\n"
              "      kickolduser: true\n";
    }
    writeFile(config, yaml);
    Child::Options options;
    // -n: stay in the foreground; -u: no UUCP lock files for the terminal.
    options.argv = {programs.ser2net, "-n", "-u", "-c", config.string()};
    options.logFile = (fs::path(dir) / (tuned ? "ser2net-tuned.log" : "ser2net.log")).string();
    child.start(options);
    waitUntilListening(child, port);
}

std::string prepareHollvanFolder(const std::string &dir, int port,
                                 const std::vector<std::string> &authorized)
{
    const fs::path root(dir);
    fs::create_directories(root / "data");
    fs::create_directories(root / "dev");
    fs::create_directories(root / "runtime");
    fs::permissions(root / "runtime", fs::perms::owner_all, fs::perm_options::replace);
    // The data files in their Windows form: CR LF line ends.
    std::string clients = "Auto\r\n";
    for (size_t i = 0; i < authorized.size(); ++i)
        clients += authorized[i] + "\tstanowisko" + std::to_string(i + 1) + "\t1\r\n";
    writeFile(root / "data" / "Hollvan.cf", clients);
    writeFile(root / "data" / "Hollvan.pr", "RS232=COM1\r\nPort:" + std::to_string(port));
    return (root / "dev" / "COM1").string();
}

void startHollvan(Child &child, const Programs &programs, const std::string &dir)
{
    Child::Options options;
    options.argv = {programs.hollvan};
    options.workDir = dir;
    options.env
        = {"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + (fs::path(dir) / "runtime").string()};
    options.logFile = (fs::path(dir) / "hollvan.out").string();
    options.openFilesLimit = 1024;
    child.start(options);
}

void waitUntilListening(Child &child, int port, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!listening(port)) {
        if (!child.running())
            throw std::runtime_error(child.name() + " ended before it listened");
        if (std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error(child.name() + " did not listen on port "
                                     + std::to_string(port));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}
