#pragma once

#include "app/TMainForm.h"
#include "tests/fixtures/TcpClient.h"
#include "tests/fixtures/WorkDir.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>

#include <functional>
#include <ostream>

// Readable texts in test failure messages.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}


// Local ports that the reliability tests' own clients bind explicitly. They
// lie below the kernel's ephemeral range, so the hundreds of connections of
// these tests never take a port that a test running beside them has just
// found free (ports bound to 0 come from that range).
inline constexpr quint16 loadClientPorts = 30000; // up to 30999
inline constexpr quint16 floodClientPorts = 31000; // up to 31999

// Runs the event loop until pred holds or timeoutMs has passed; true when it
// holds. Unlike QTest::qWaitFor, which sleeps between passes over the event
// queue, the loop waits in the dispatcher, so a server on this thread answers
// at once: what a load test needs.
bool runLoopUntil(const std::function<bool()> &pred, int timeoutMs);

// The program's main window driven in-process, in a working directory of its
// own: data/ with the configuration, dev/COM1 linked to the device the test
// provides, log/ where the program keeps it.
class ServerRig
{
public:
    ServerRig();
    ~ServerRig();
    ServerRig(const ServerRig &) = delete;
    ServerRig &operator=(const ServerRig &) = delete;

    // Makes data/ and dev/ and enters the working directory.
    bool prepare();
    bool linkDevice(const QString &target);
    // An autostart configuration (or a manual one) authorizing these addresses.
    bool writeConfiguration(const QStringList &authorized, bool autostart = true);

    // Creates and shows the window on a free port; true once the server is
    // active (autostart).
    bool start();
    // Creates and shows the window and waits until its start-up sequence has
    // run, whatever it opened.
    bool startShown(const QString &lastStartLine);
    void stop();

    QStringList memoLines() const;
    // The memo's lines without their time stamps.
    QStringList messages() const;
    bool logged(const QString &text) const;
    qsizetype count(const QString &text) const;

    // Connects from the address and waits until the program has admitted it.
    std::unique_ptr<TcpClient> connect(const QString &address);

    WorkDir work;
    std::unique_ptr<TMainForm> form;
    quint16 port = 0;
};

// Answers every message the program shows, as an operator who reads and
// closes them: the program's message dialog with its left button, the
// exception display's message box with its OK button. Keeps what they said.
class MessageWatch : public QObject
{
public:
    MessageWatch();

    // "TMsgDlg: <text>" or "QMessageBox: <text>", in the order shown.
    QStringList seen() const { return m_seen; }

private:
    void poll();

    QTimer m_timer;
    QStringList m_seen;
};
