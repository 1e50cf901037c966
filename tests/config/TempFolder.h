#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

// A fresh folder per test with a data/ folder in it, and the ways the tests
// put bytes into files and take them out again.
class TempFolder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("data")));
    }

    void TearDown() override
    {
        // A file made unreadable must become removable again.
        for (const QString &path : m_locked)
            ::chmod(QFile::encodeName(path).constData(), 0644);
    }

    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString dataPath(const QString &name) const { return path(QStringLiteral("data/") + name); }

    static void writeBytes(const QString &file, const QByteArray &bytes)
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    static QByteArray readBytes(const QString &file)
    {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            return QByteArray("<cannot read>");
        return f.readAll();
    }

    // Something under the name that exists but cannot be read as a file. root
    // reads any file whatever its mode, so a directory stands in for it there.
    enum class Unreadable { Directory, NoPermission };

    bool makeUnreadable(const QString &file, Unreadable how)
    {
        if (how == Unreadable::Directory)
            return QDir().mkpath(file);
        writeBytes(file, "Auto\r\n10.0.0.1\tA\t1\r\n");
        m_locked.append(file);
        return ::chmod(QFile::encodeName(file).constData(), 0) == 0;
    }

    static bool runningAsRoot() { return ::geteuid() == 0; }

    QTemporaryDir m_dir;
    QStringList m_locked;
};
