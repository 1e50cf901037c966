#include "tests/fixtures/WorkDir.h"
#include "tests/fixtures/ZmtSim.h"
#include "tests/reliability/LoadDriver.h"
#include "tests/reliability/ServerRig.h"

#include "app/EventLog.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

namespace {

// Earlier runs' files, enough that this run's rotations take the folder past
// the 100 files that a start-up keeps.
constexpr int earlierFiles = 95;

// The log files of a run in the order the run wrote them: the first file,
// then the file each one names in its closing "..." line.
struct LogChain
{
    QStringList files;
    QStringList lines; // every line of the run, time stamps included
    QString failure;
};

LogChain followChain(const WorkDir &work, const QString &first)
{
    LogChain chain;
    QString name = first;
    while (!name.isEmpty()) {
        if (chain.files.contains(name) || !QFileInfo::exists(work.filePath("log/" + name))) {
            chain.failure = QStringLiteral("the chain breaks at ") + name;
            return chain;
        }
        chain.files.append(name);
        const QString text = WorkDir::fromDiskForm(work.readFile("log/" + name));
        QStringList lines = text.split(QLatin1Char('\n'));
        name.clear();
        // A rotated file ends with "..." and the next name, without a line
        // end; the last one ends with its last line's line end.
        const QString last = lines.takeLast();
        if (!last.isEmpty()) {
            if (lines.isEmpty() || lines.takeLast() != QStringLiteral("...")) {
                chain.failure
                    = chain.files.last() + QStringLiteral(" ends without a line end: ") + last;
                return chain;
            }
            name = last;
            // The size that rotated it: the file held more than 10000
            // characters, and its last line took it past that.
            qsizetype size = 0;
            for (const QString &line : lines)
                size += line.size() + 1;
            if (size <= EventLog::RotateAfter
                || size - lines.last().size() - 1 > EventLog::RotateAfter) {
                chain.failure = QStringLiteral("%1 was rotated at %2 characters")
                                    .arg(chain.files.last())
                                    .arg(size);
                return chain;
            }
        }
        chain.lines += lines;
    }
    return chain;
}

QString withoutTime(const QString &line)
{
    return line.mid(line.indexOf(QStringLiteral("> ")) + 2);
}

} // namespace

// 200 workstations, 50 requests each, through the real simulator: every answer
// reaches the client that asked, and the event log, rotating many times under
// the load, keeps every line in order, with the chain of file names intact. A
// restart then trims the folder to 100 files.
TEST(Load, EveryClientGetsItsOwnAnswersAndTheLogKeepsEveryLine)
{
    ServerRig rig;
    ASSERT_TRUE(rig.prepare());
    ASSERT_TRUE(rig.work.makeLog());
    QStringList earlier;
    for (int i = 0; i < earlierFiles; ++i) {
        earlier.append(QStringLiteral("0901%1_%20000.log")
                           .arg(i % 28 + 1, 2, 10, QLatin1Char('0'))
                           .arg(10 + i / 28));
        ASSERT_TRUE(rig.work.writeFile("log/" + earlier.last(), "> Serwer jest aktywny\r\n"));
    }
    earlier.sort();
    ASSERT_EQ(earlier.removeDuplicates(), 0);

    ZmtSim sim({QStringLiteral("--terminator"), QStringLiteral("\\r")},
               rig.work.filePath(QStringLiteral("dev/COM1")));
    ASSERT_TRUE(sim.start()) << qPrintable(sim.errorText());

    LoadDriver::Plan plan;
    QStringList addresses;
    for (int i = 0; i < plan.clients; ++i)
        addresses.append(LoadDriver::address(i));
    ASSERT_TRUE(rig.writeConfiguration(addresses));
    ASSERT_TRUE(rig.start());

    plan.port = rig.port;
    plan.localPorts = loadClientPorts;
    LoadDriver driver(plan);
    driver.start();
    ASSERT_TRUE(runLoopUntil([&] { return driver.done(); }, 170000));
    const LoadDriver::Result result = driver.result();
    EXPECT_TRUE(result.finished) << qPrintable(result.problems.join('\n'));
    EXPECT_EQ(result.answers, plan.clients * plan.requests)
        << qPrintable(result.problems.join('\n'));
    EXPECT_EQ(result.wrongAnswers, 0);
    EXPECT_EQ(result.lockCycles, plan.clients * int(plan.lockAfter.size()));
    const int connections = plan.clients * driver.connectionsPerClient();
    EXPECT_EQ(result.connections, connections);

    // Only requests reached the device, each once: lock commands are the
    // server's own.
    const QByteArray recorded = sim.recorded();
    EXPECT_EQ(recorded.count('\r'), plan.clients * plan.requests);
    EXPECT_FALSE(recorded.contains("LOCK"));

    ASSERT_TRUE(runLoopUntil([&] { return rig.form->ConnectionCount() == 0; }, 20000));
    EXPECT_TRUE(rig.form->RequestTexts.isEmpty());
    const QStringList memo = rig.memoLines();
    const QString current = QFileInfo(rig.form->Log.fileName()).fileName();
    rig.stop();

    // The run's files: everything but the earlier ones.
    QStringList runFiles = rig.work.logFiles();
    for (const QString &name : earlier)
        EXPECT_TRUE(runFiles.removeOne(name)) << qPrintable(name);
    ASSERT_FALSE(runFiles.isEmpty());
    const LogChain chain = followChain(rig.work, runFiles.first());
    ASSERT_TRUE(chain.failure.isEmpty()) << qPrintable(chain.failure);
    EXPECT_EQ(chain.files, runFiles) << "every file of the run is in the chain, in name order";
    EXPECT_EQ(chain.files.last(), current);
    ASSERT_GT(earlierFiles + chain.files.size(), EventLog::KeepFiles)
        << "the load did not rotate the log often enough to test pruning";

    // The lines: the start-up, then for each client its connections before
    // their disconnections, and locks taken and released in turn.
    QStringList lines;
    for (const QString &line : chain.lines)
        lines.append(withoutTime(line));
    QStringList start
        = {QStringLiteral("Witamy w programie Hollvan"), QStringLiteral("Autostart włączony"),
           QStringLiteral("Port szeregowy jest otwarty"), QStringLiteral("Autoryzowani klienci:")};
    for (int i = 0; i < addresses.size(); ++i)
        start.append(QStringLiteral("stacja %1 IP=[%2]").arg(i + 1).arg(addresses.at(i)));
    start.append(QStringLiteral("Serwer jest aktywny"));
    ASSERT_GE(lines.size(), start.size());
    EXPECT_EQ(lines.mid(0, start.size()), start);

    const QRegularExpression connected(
        QStringLiteral("^Nowe połączenie IP=\\[(.*)\\] zostało przyjęte$"));
    const QRegularExpression disconnected(QStringLiteral("^Rozłączenie IP=\\[(.*)\\]$"));
    const QRegularExpression locked(QStringLiteral("^Blokada włączona przez IP=\\[(.*)\\]$"));
    const QString unlocked = QStringLiteral("Blokada wyłączona");
    QHash<QString, int> open;
    QHash<QString, int> opened;
    QHash<QString, int> locks;
    QString holder;
    QStringList stray;
    for (const QString &line : lines.mid(start.size())) {
        QRegularExpressionMatch m;
        if ((m = connected.match(line)).hasMatch()) {
            ++open[m.captured(1)];
            ++opened[m.captured(1)];
        } else if ((m = disconnected.match(line)).hasMatch()) {
            if (--open[m.captured(1)] < 0)
                stray.append(QStringLiteral("disconnected before connecting: ") + line);
        } else if ((m = locked.match(line)).hasMatch()) {
            if (!holder.isEmpty())
                stray.append(QStringLiteral("locked while held: ") + line);
            holder = m.captured(1);
            ++locks[holder];
        } else if (line == unlocked) {
            if (holder.isEmpty())
                stray.append(QStringLiteral("released while free"));
            holder.clear();
        } else {
            stray.append(line);
        }
    }
    EXPECT_TRUE(stray.isEmpty()) << qPrintable(stray.mid(0, 10).join('\n'));
    EXPECT_TRUE(holder.isEmpty());
    for (const QString &address : addresses) {
        EXPECT_EQ(opened.value(address), driver.connectionsPerClient()) << qPrintable(address);
        EXPECT_EQ(open.value(address), 0) << qPrintable(address);
        EXPECT_EQ(locks.value(address), int(plan.lockAfter.size())) << qPrintable(address);
    }
    EXPECT_EQ(lines.size(),
              start.size() + 2 * connections + 2 * plan.clients * int(plan.lockAfter.size()));
    // The memo shows the same last lines as the files.
    ASSERT_GE(chain.lines.size(), memo.size());
    EXPECT_EQ(chain.lines.mid(chain.lines.size() - memo.size()), memo);

    // A restart trims the folder to the newest 100 files, its own new file
    // among them.
    QStringList before = rig.work.logFiles();
    ASSERT_TRUE(rig.writeConfiguration(addresses, false));
    ASSERT_TRUE(rig.startShown(QStringLiteral("Witamy w programie Hollvan")));
    const QString restarted = QFileInfo(rig.form->Log.fileName()).fileName();
    before.append(restarted);
    before.sort();
    EXPECT_EQ(rig.work.logFiles(), before.mid(before.size() - EventLog::KeepFiles));
    EXPECT_TRUE(rig.work.logFiles().contains(restarted));
}
