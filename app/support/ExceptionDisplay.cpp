#include "app/support/ExceptionDisplay.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include <cstdio>

namespace {

void display(const QString &text)
{
    // Always leave a trace on stderr: an unattended (offscreen) server has
    // nobody to read the box, but its journal does.
    std::fprintf(stderr, "Hollvan: %s\n", text.toLocal8Bit().constData());
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
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
