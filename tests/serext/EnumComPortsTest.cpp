#include "serial/EnumComPorts.h"
#include "serial/EComPort.h"
#include "serial/WinError.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

// A device map folder and a kernel tty class folder built in a temporary
// folder, shaped as the kernel lays /sys/class/tty out.
class EnumComPortsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        devFolder = tmp.filePath(QStringLiteral("dev"));
        ttyFolder = tmp.filePath(QStringLiteral("sys/class/tty"));
        ASSERT_TRUE(QDir().mkpath(ttyFolder));
    }

    void addDevEntry(const QString &name, const QString &linkTarget = QString())
    {
        ASSERT_TRUE(QDir().mkpath(devFolder));
        const QString path = devFolder + QLatin1Char('/') + name;
        if (linkTarget.isEmpty()) {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        } else {
            ASSERT_TRUE(QFile::link(linkTarget, path));
        }
    }

    // A tty with a device behind it; type is its UART type, if it has one.
    void addTty(const QString &name, bool withDevice, const QByteArray &type = QByteArray())
    {
        const QString folder = ttyFolder + QLatin1Char('/') + name;
        ASSERT_TRUE(QDir().mkpath(folder));
        if (withDevice) {
            // The kernel makes "device" a link to the device's own folder.
            const QString target = tmp.filePath(QStringLiteral("sys/devices/") + name);
            ASSERT_TRUE(QDir().mkpath(target));
            ASSERT_TRUE(QFile::link(target, folder + QStringLiteral("/device")));
        }
        if (!type.isNull()) {
            QFile f(folder + QStringLiteral("/type"));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(type);
        }
    }

    QStringList enumerate()
    {
        QStringList names {QStringLiteral("stale")};
        enumComPortsIn(names, devFolder, ttyFolder);
        return names;
    }

    QTemporaryDir tmp;
    QString devFolder;
    QString ttyFolder;
};

TEST_F(EnumComPortsTest, ListsMapAndDevicesSortedWithoutCaseOnceEach)
{
    addDevEntry(QStringLiteral("COM3"));
    addDevEntry(QStringLiteral("COM1"), QStringLiteral("/dev/null"));
    addDevEntry(QStringLiteral("COM10"), tmp.filePath(QStringLiteral("nowhere"))); // dangling
    addDevEntry(QStringLiteral("ttyUSB0"), QStringLiteral("/dev/null"));
    addDevEntry(QStringLiteral(".gitkeep"));
    addTty(QStringLiteral("ttyUSB0"), true); // also in the map: listed once
    addTty(QStringLiteral("ttyS0"), true, "4\n"); // a 16550A that is there
    addTty(QStringLiteral("ttyS1"), true, "0\n"); // a placeholder slot without a UART
    addTty(QStringLiteral("ttyACM0"), true);
    addTty(QStringLiteral("tty1"), false); // a virtual console
    addTty(QStringLiteral("com2"), true); // lower case sorts among the upper case names

    EXPECT_EQ(enumerate(),
              QStringList({"COM1", "COM10", "com2", "COM3", "ttyACM0", "ttyS0", "ttyUSB0"}));
}

TEST_F(EnumComPortsTest, NothingPresentGivesAnEmptyList)
{
    // No dev folder at all, and a tty class without serial devices.
    addTty(QStringLiteral("tty0"), false);
    addTty(QStringLiteral("ttyS0"), true, "0\n");
    EXPECT_EQ(enumerate(), QStringList());

    // Neither folder there.
    QStringList names {QStringLiteral("stale")};
    enumComPortsIn(names, tmp.filePath(QStringLiteral("none")),
                   tmp.filePath(QStringLiteral("none2")));
    EXPECT_EQ(names, QStringList());
}

TEST_F(EnumComPortsTest, UnreadableSourceRaisesRegistryErrorAndKeepsTheList)
{
    // A dev that is no folder cannot be listed; the same for the tty class.
    struct Case
    {
        const char *label;
        bool devIsFile;
    };
    for (const Case &c : {Case {"dev", true}, Case {"tty class", false}}) {
        SCOPED_TRACE(c.label);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("plain"));
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.close();
        QStringList names {QStringLiteral("kept")};
        try {
            if (c.devIsFile)
                enumComPortsIn(names, file, ttyFolder);
            else
                enumComPortsIn(names, devFolder, file);
            FAIL() << "no error raised";
        } catch (const EComPort &e) {
            EXPECT_EQ(e.Code(), ComErrRegistry);
            EXPECT_EQ(e.WinCode(), WinError::PathNotFound);
            EXPECT_STREQ(e.what(), "Registry error (win error code: 3)");
        }
        EXPECT_EQ(names, QStringList({"kept"}));
    }
}

TEST(EnumComPorts, ListsTheWorkingDirectorysDeviceMap)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir().mkpath(tmp.filePath(QStringLiteral("dev"))));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), tmp.filePath(QStringLiteral("dev/COM2"))));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), tmp.filePath(QStringLiteral("dev/COM1"))));
    ASSERT_TRUE(QDir::setCurrent(tmp.path()));

    QStringList names;
    EnumComPorts(names);
    QDir::setCurrent(saved);

    // Whatever serial devices this machine has are listed with them.
    EXPECT_TRUE(names.contains(QStringLiteral("COM1")));
    EXPECT_TRUE(names.contains(QStringLiteral("COM2")));
    QStringList sorted = names;
    sorted.sort(Qt::CaseInsensitive);
    EXPECT_EQ(names, sorted);
}

} // namespace
