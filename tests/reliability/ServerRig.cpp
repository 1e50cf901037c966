#include "tests/reliability/ServerRig.h"

#include "tests/fixtures/FreePort.h"

#include "app/TPortEdit.h"
#include "app/dialogs/TMsgDlg.h"

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <random>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

bool runLoopUntil(const std::function<bool()> &pred, int timeoutMs)
{
    if (pred())
        return true;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (pred())
            loop.quit();
    });
    check.start(5);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return pred();
}

ServerRig::ServerRig() = default;

ServerRig::~ServerRig()
{
    stop();
}

bool ServerRig::prepare()
{
    return work.isValid() && work.makeData() && work.makeDev() && work.enter();
}

bool ServerRig::linkDevice(const QString &target)
{
    return work.linkDevice(QStringLiteral("COM1"), target);
}

bool ServerRig::writeConfiguration(const QStringList &authorized, bool autostart)
{
    QString text = autostart ? QStringLiteral("Auto\n") : QStringLiteral("Manual\n");
    int n = 0;
    for (const QString &address : authorized)
        text += QStringLiteral("%1\tstacja %2\t1\n").arg(address).arg(++n);
    return work.writeDataFile(QStringLiteral("Hollvan.cf"), text);
}

bool ServerRig::start()
{
    return startShown(QStringLiteral("Serwer jest aktywny"));
}

bool ServerRig::startShown(const QString &lastStartLine)
{
    port = freeListeningPort();
    form = std::make_unique<TMainForm>();
    form->EditPort->setText(QStringLiteral("Port:%1").arg(port));
    form->show();
    return QTest::qWaitFor([&] { return form->shownOnce() && logged(lastStartLine); }, 20000);
}

void ServerRig::stop()
{
    form.reset();
}

QStringList ServerRig::memoLines() const
{
    return form->Terminal->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList ServerRig::messages() const
{
    QStringList out;
    for (const QString &line : memoLines())
        out.append(line.mid(line.indexOf(QStringLiteral("> ")) + 2));
    return out;
}

bool ServerRig::logged(const QString &text) const
{
    return form && messages().contains(text);
}

qsizetype ServerRig::count(const QString &text) const
{
    return messages().count(text);
}

std::unique_ptr<TcpClient> ServerRig::connect(const QString &address)
{
    auto client = std::make_unique<TcpClient>();
    client->setNoDelay();
    const QString admitted
        = QStringLiteral("Nowe połączenie IP=[%1] zostało przyjęte").arg(address);
    const qsizetype before = count(admitted);
    if (!client->connectTo(port, address)
        || !QTest::qWaitFor([&] { return count(admitted) > before; }, 10000))
        return nullptr;
    return client;
}

MessageWatch::MessageWatch()
{
    connect(&m_timer, &QTimer::timeout, this, &MessageWatch::poll);
    m_timer.start(5);
}

void MessageWatch::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (auto *dialog = qobject_cast<TMsgDlg *>(modal)) {
        m_seen.append(QStringLiteral("TMsgDlg: ") + dialog->LabelTxt->text());
        dialog->BitBtnLeft->click();
    } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        m_seen.append(QStringLiteral("QMessageBox: ") + box->text());
        box->button(QMessageBox::Ok)->click();
    }
}
