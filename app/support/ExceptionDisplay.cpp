#include "app/support/ExceptionDisplay.h"

#include "app/support/Unattended.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

namespace {

void display(const QString &text)
{
    // Always leave a trace on stderr: an unattended server has nobody to read
    // the box, but its journal does; a box there would stop the handler for good.
    reportToStderr(text);
    if (isUnattended() || !qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Hollvan"), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

} // namespace

void showException(const std::exception &e)
{
    display(QString::fromUtf8(e.what()));
}

void showUnknownException()
{
    display(QStringLiteral("Unknown error"));
}
