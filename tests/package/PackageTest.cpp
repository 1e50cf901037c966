#include "tests/fixtures/TcpClient.h"
#include "tests/fixtures/WorkDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <csignal>

namespace {

const QString InstallPrefix = QStringLiteral("/opt/hollvan");

// Runs a command to its end and returns its standard output; empty with the
// failure noted when it cannot run or does not succeed.
QByteArray run(const QString &program, const QStringList &arguments, QString *failure = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    const bool ok = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
    if (!ok) {
        if (failure)
            *failure = program + u' ' + arguments.join(u' ') + QStringLiteral(": ")
                + QString::fromLocal8Bit(process.readAllStandardError());
        return {};
    }
    return process.readAllStandardOutput();
}

QString packageFile()
{
    const QStringList debs = QDir(QStringLiteral(HOLLVAN_PACKAGE_DIR))
                                 .entryList({QStringLiteral("hollvan_*.deb")}, QDir::Files);
    return debs.size() == 1 ? QStringLiteral(HOLLVAN_PACKAGE_DIR "/") + debs.first() : QString();
}

// The package unpacked with dpkg-deb into a temporary root, as dpkg would lay
// it out on a machine, without running its maintainer scripts.
class UnpackedPackage
{
public:
    UnpackedPackage()
    {
        m_deb = packageFile();
        if (m_deb.isEmpty()) {
            m_failure = QStringLiteral("no single hollvan_*.deb in " HOLLVAN_PACKAGE_DIR);
            return;
        }
        QString failure;
        run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), m_deb, m_root.path()}, &failure);
        run(QStringLiteral("dpkg-deb"), {QStringLiteral("-e"), m_deb, control()}, &failure);
        m_failure = failure;
    }

    bool ok() const { return m_root.isValid() && m_failure.isEmpty(); }
    QString failure() const { return m_failure; }
    QString deb() const { return m_deb; }
    // A path of the installed system, inside the temporary root.
    QString path(const QString &absolute) const { return m_root.path() + absolute; }
    QString installed(const QString &relative) const
    {
        return path(InstallPrefix + u'/' + relative);
    }
    QString control() const { return m_root.path() + QStringLiteral("/DEBIAN"); }

private:
    QTemporaryDir m_root;
    QString m_deb;
    QString m_failure;
};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Package names of a Depends field, without versions.
QStringList dependencyNames(const QString &field)
{
    QStringList names;
    for (const QString &entry : field.split(u',')) {
        for (const QString &alternative : entry.split(u'|'))
            names.append(alternative.trimmed().section(u' ', 0, 0).section(u':', 0, 0));
    }
    return names;
}

TEST(Package, ControlDataNamesTheRuntimeAndNeverEnablesTheService)
{
    UnpackedPackage package;
    ASSERT_TRUE(package.ok()) << qPrintable(package.failure());
    QString failure;
    const QByteArray fields = run(QStringLiteral("dpkg-deb"),
                                  {QStringLiteral("--field"), package.deb(),
                                   QStringLiteral("Package"), QStringLiteral("Version"),
                                   QStringLiteral("Architecture"), QStringLiteral("Depends")},
                                  &failure);
    ASSERT_FALSE(fields.isEmpty()) << qPrintable(failure);
    const QString text = QString::fromUtf8(fields);
    auto field = [&](const char *name) {
        const QRegularExpression re(QStringLiteral("^%1: (.*)$").arg(QLatin1String(name)),
                                    QRegularExpression::MultilineOption);
        return re.match(text).captured(1).trimmed();
    };
    EXPECT_EQ(field("Package"), QStringLiteral("hollvan"));
    EXPECT_EQ(field("Version"), QStringLiteral(HOLLVAN_VERSION));
    EXPECT_EQ(
        field("Architecture"),
        QString::fromUtf8(run(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")}))
            .trimmed());
    const QStringList depends = dependencyNames(field("Depends"));
    for (const char *needed : {"libqt6core6", "libqt6gui6", "libqt6widgets6", "qt6-qpa-plugins",
                               "libjpeg62-turbo", "adduser"}) {
        EXPECT_TRUE(depends.contains(QLatin1String(needed)))
            << needed << " missing from Depends: " << qPrintable(field("Depends"));
    }

    for (const char *name : {"postinst", "prerm", "postrm"}) {
        SCOPED_TRACE(name);
        const QString script = package.control() + u'/' + QLatin1String(name);
        ASSERT_TRUE(QFileInfo(script).isExecutable());
        failure.clear();
        run(QStringLiteral("sh"), {QStringLiteral("-n"), script}, &failure);
        EXPECT_TRUE(failure.isEmpty()) << qPrintable(failure);
        const QByteArray content = readAll(script);
        EXPECT_FALSE(content.contains("systemctl enable") || content.contains("systemctl start")
                     || content.contains("deb-systemd-helper enable"));
    }
    const QByteArray postinst = readAll(package.control() + QStringLiteral("/postinst"));
    EXPECT_TRUE(postinst.contains("adduser --quiet --system"));
    EXPECT_TRUE(postinst.contains("adduser --quiet hollvan dialout"));
}

TEST(Package, LaysOutTheWorkingDirectoryAndTheDesktopAndServiceFiles)
{
    UnpackedPackage package;
    ASSERT_TRUE(package.ok()) << qPrintable(package.failure());

    for (const char *program : {"bin/hollvan", "bin/hollvan-launch", "bin/zmt-sim"}) {
        const QFileInfo info(package.installed(QLatin1String(program)));
        EXPECT_TRUE(info.isFile() && info.isExecutable()) << program;
    }
    EXPECT_TRUE(QFileInfo(package.installed(QStringLiteral("help/pl_main.html"))).isFile());
    for (const char *folder : {"data", "log", "dev"}) {
        const QDir dir(package.installed(QLatin1String(folder)));
        EXPECT_TRUE(dir.exists() && dir.isEmpty()) << folder;
    }
    EXPECT_EQ(QFileInfo(package.path(QStringLiteral("/usr/bin/hollvan"))).symLinkTarget(),
              InstallPrefix + QStringLiteral("/bin/hollvan-launch"));

    const QString desktop = QString::fromUtf8(
        readAll(package.path(QStringLiteral("/usr/share/applications/hollvan.desktop"))));
    EXPECT_TRUE(desktop.startsWith(QStringLiteral("[Desktop Entry]\n")));
    EXPECT_TRUE(desktop.contains(QStringLiteral("\nExec=/opt/hollvan/bin/hollvan-launch\n")));
    EXPECT_TRUE(desktop.contains(QStringLiteral("\nIcon=hollvan\n")));
    const QString validator
        = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (!validator.isEmpty()) {
        QString failure;
        run(validator, {package.path(QStringLiteral("/usr/share/applications/hollvan.desktop"))},
            &failure);
        EXPECT_TRUE(failure.isEmpty()) << qPrintable(failure);
    }

    QXmlStreamReader icon(readAll(
        package.path(QStringLiteral("/usr/share/icons/hicolor/scalable/apps/hollvan.svg"))));
    ASSERT_TRUE(icon.readNextStartElement());
    EXPECT_EQ(icon.name(), QStringLiteral("svg"));
    while (!icon.atEnd())
        icon.readNext();
    EXPECT_FALSE(icon.hasError()) << qPrintable(icon.errorString());

    const QString unit = QString::fromUtf8(
        readAll(package.path(QStringLiteral("/usr/lib/systemd/system/hollvan.service"))));
    for (const char *line :
         {"User=hollvan", "SupplementaryGroups=dialout", "WorkingDirectory=/opt/hollvan",
          "ExecStart=/opt/hollvan/bin/hollvan", "Environment=QT_QPA_PLATFORM=offscreen",
          "Environment=HOLLVAN_UNATTENDED=1", "Restart=on-failure",
          "ReadWritePaths=/opt/hollvan/data /opt/hollvan/log", "WantedBy=multi-user.target"}) {
        EXPECT_TRUE(unit.contains(u'\n' + QLatin1String(line) + u'\n')) << line;
    }
}

// The installed program, started by its launcher from elsewhere, in the
// installed folder turned into a working directory: autostart, 127.0.0.1
// authorized, a server port of its own, dev/COM1 made by the installed
// simulator.
TEST(Package, InstalledProgramRelaysThroughTheInstalledSimulator)
{
    UnpackedPackage package;
    ASSERT_TRUE(package.ok()) << qPrintable(package.failure());
    const QString work = package.installed(QString());
    auto writeData = [&](const char *name, const QByteArray &bytes) {
        QFile file(work + QStringLiteral("data/") + QLatin1String(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    ASSERT_TRUE(writeData("Hollvan.cf", "Auto\r\n127.0.0.1\tlocalhost\t1\r\n"));
    ASSERT_TRUE(writeData("Hollvan.pr", "RS232=COM1\r\nPort:10061"));

    QTemporaryDir scratch;
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(package.installed(QStringLiteral("bin/zmt-sim")),
              {QStringLiteral("--record"), scratch.filePath(QStringLiteral("record")),
               work + QStringLiteral("dev/COM1")});
    ASSERT_TRUE(sim.waitForStarted(10000));
    QByteArray simOut;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            simOut += sim.readAllStandardOutput();
            return simOut.contains("READY ");
        },
        20000));

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOLLVAN_UNATTENDED"), QStringLiteral("1"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), scratch.path());
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(scratch.path());
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(package.installed(QStringLiteral("bin/hollvan-launch")), {});
    ASSERT_TRUE(program.waitForStarted(10000));

    TcpClient client;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return client.connectTo(10061, QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.1"),
                                    500);
        },
        20000));
    client.setNoDelay();
    ASSERT_TRUE(client.send("ZMT?"));
    EXPECT_EQ(client.receiveUntil([](const QByteArray &got) { return got.endsWith('\n'); }),
              QByteArray("ANS:ZMT?\n"));
    ASSERT_TRUE(client.send("LOCKE"));
    EXPECT_EQ(client.receive(9), QByteArray("EXE 000\r\n"));
    ASSERT_TRUE(client.send("odczyt 1"));
    EXPECT_EQ(client.receiveUntil([](const QByteArray &got) { return got.endsWith('\n'); }),
              QByteArray("ANS:odczyt 1\n"));
    EXPECT_EQ(readAll(scratch.filePath(QStringLiteral("record"))), QByteArray("ZMT?odczyt 1"));

    // The launcher hands the process over (exec), so the signal reaches the
    // program, which stops through its close sequence.
    ::kill(pid_t(program.processId()), SIGTERM);
    ASSERT_TRUE(QTest::qWaitFor([&] { return program.state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(client.waitForClosed());

    const QStringList logs = QDir(work + QStringLiteral("log"))
                                 .entryList({QStringLiteral("*.log")}, QDir::Files, QDir::Name);
    ASSERT_EQ(logs.size(), 1);
    const QString logPath = work + QStringLiteral("log/") + logs.first();
    const QStringList lines
        = WorkDir::fromDiskForm(readAll(logPath)).split(u'\n', Qt::SkipEmptyParts);
    const QStringList expected {
        QStringLiteral("> Witamy w programie Hollvan"),
        QStringLiteral("> Autostart włączony"),
        QStringLiteral("> Port szeregowy jest otwarty"),
        QStringLiteral("> Autoryzowani klienci:"),
        QStringLiteral("> localhost IP=[127.0.0.1]"),
        QStringLiteral("> Serwer jest aktywny"),
        QStringLiteral("> Nowe połączenie IP=[127.0.0.1] zostało przyjęte"),
        QStringLiteral("> Blokada włączona przez IP=[127.0.0.1]"),
        QStringLiteral("> Rozłączenie IP=[127.0.0.1]"),
        QStringLiteral("> Blokada wyłączona"),
        QStringLiteral("> Serwer jest wyłączony"),
    };
    ASSERT_EQ(lines.size(), expected.size()) << qPrintable(lines.join(u'\n'));
    for (qsizetype i = 0; i < lines.size(); ++i)
        EXPECT_TRUE(lines.at(i).endsWith(expected.at(i))) << qPrintable(lines.at(i));
    // The launcher's umask keeps what the program writes open to the group.
    EXPECT_TRUE(QFile::permissions(logPath) & QFileDevice::WriteGroup);
    EXPECT_EQ(readAll(work + QStringLiteral("data/Hollvan.pr")),
              QByteArray("RS232=COM1\r\nPort:10061"));

    sim.terminate();
    EXPECT_TRUE(sim.waitForFinished(10000));
}

} // namespace
