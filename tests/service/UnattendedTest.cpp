#include "tests/fixtures/ModalScript.h"

#include "app/dialogs/TMsgDlg.h"
#include "app/support/ExceptionDisplay.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <optional>
#include <stdexcept>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Sets or removes one environment variable for the life of the guard.
class EnvGuard
{
public:
    EnvGuard(const char *name, const std::optional<QByteArray> &value)
        : m_name(name)
        , m_saved(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt)
    {
        set(value);
    }
    ~EnvGuard() { set(m_saved); }

private:
    void set(const std::optional<QByteArray> &value)
    {
        if (value)
            qputenv(m_name, *value);
        else
            qunsetenv(m_name);
    }

    const char *m_name;
    std::optional<QByteArray> m_saved;
};

// Standard error goes to a file while the capture lives; text() reads it back.
class StderrCapture
{
public:
    StderrCapture()
    {
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        const QByteArray path = QFile::encodeName(m_dir.filePath(QStringLiteral("stderr")));
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ::dup2(fd, STDERR_FILENO);
        ::close(fd);
    }
    ~StderrCapture() { restore(); }

    QString text()
    {
        restore();
        QFile file(m_dir.filePath(QStringLiteral("stderr")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }

    QTemporaryDir m_dir;
    int m_saved = -1;
};

// Closes any modal window that comes up and notes its class, so a window that
// should not have appeared fails the test instead of hanging it.
class ModalWatch : public QObject
{
public:
    ModalWatch()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                seen.append(QString::fromLatin1(modal->metaObject()->className()));
                modal->close();
            }
        });
        m_timer.start(10);
    }

    QStringList seen;

private:
    QTimer m_timer;
};

TEST(Unattended, MessageGoesToStderrAndTheLeftButtonAnswers)
{
    struct Case
    {
        int kind;
        int buttons;
        const char *text;
        const char *line;
    };
    const Case cases[] = {
        {2, 2, "Serwer zostanie zamknięty\nJestes pewien?",
         "Hollvan: Ostrzeżenie: Serwer zostanie zamknięty / Jestes pewien? [Tak]\n"},
        {2, 1, "Niektóre połączenia są aktywne\nZamknąc serwer?",
         "Hollvan: Ostrzeżenie: Niektóre połączenia są aktywne / Zamknąc serwer? [OK]\n"},
        {3, 0, "Plik log nie może byc otwarty",
         "Hollvan: Błąd: Plik log nie może byc otwarty [Zamknij]\n"},
        {1, 0, "%1 100%", "Hollvan: Informacja: %1 100% [Zamknij]\n"},
        {0, 7, "Tekst", "Hollvan: Komunikat: Tekst [Zamknij]\n"},
    };
    EnvGuard unattended("HOLLVAN_UNATTENDED", QByteArray("1"));
    QWidget owner;
    owner.show();
    ModalWatch watch;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        StderrCapture capture;
        EXPECT_EQ(ShowMsgDlg(&owner, c.kind, c.buttons, QString::fromUtf8(c.text)), 1);
        EXPECT_EQ(capture.text(), QString::fromUtf8(c.line));
    }
    // A window that had been shown would have been seen by the watch, and a
    // dialog left behind would still be among the owner's children.
    QTest::qWait(50);
    EXPECT_TRUE(watch.seen.isEmpty()) << qPrintable(watch.seen.join(u' '));
    EXPECT_TRUE(owner.findChildren<TMsgDlg *>().isEmpty());
}

TEST(Unattended, OnlyTheValueOneSkipsTheWindow)
{
    for (const std::optional<QByteArray> &value :
         {std::optional<QByteArray>(), std::optional(QByteArray("0")),
          std::optional(QByteArray())}) {
        SCOPED_TRACE(value ? value->constData() : "(unset)");
        EnvGuard unattended("HOLLVAN_UNATTENDED", value);
        SeenMessage seen;
        ModalScript script({answerMessage("BitBtnRight", &seen)});
        EXPECT_EQ(ShowMsgDlg(nullptr, 2, 2, QStringLiteral("Pytanie?")), 3);
        EXPECT_TRUE(script.finished());
        EXPECT_EQ(seen.text, QStringLiteral("Pytanie?"));
    }
}

TEST(Unattended, ExceptionDisplayWritesStderrOnlyWhenUnattended)
{
    for (const bool unattendedMode : {true, false}) {
        SCOPED_TRACE(unattendedMode ? "unattended" : "attended");
        EnvGuard unattended("HOLLVAN_UNATTENDED",
                            unattendedMode ? std::optional(QByteArray("1")) : std::nullopt);
        ModalWatch watch;
        StderrCapture capture;
        runGuarded([] { throw std::runtime_error("Urządzenie odłączone"); });
        // The style may add warnings of its own after the line.
        const QString text = capture.text();
        EXPECT_TRUE(text.startsWith(QStringLiteral("Hollvan: Urządzenie odłączone\n")))
            << qPrintable(text);
        if (unattendedMode)
            EXPECT_TRUE(watch.seen.isEmpty());
        else
            EXPECT_EQ(watch.seen, QStringList {QStringLiteral("QMessageBox")});
    }
}

} // namespace
