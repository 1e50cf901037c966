#include "app/TMainForm.h"

#include <QPlainTextEdit>

TMainForm::TMainForm(QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Hollvan"));
    resize(480, 400);

    Terminal = new QPlainTextEdit(this);
    Terminal->setObjectName(QStringLiteral("Terminal"));
    Terminal->setReadOnly(true);
    setCentralWidget(Terminal);
}

TMainForm::~TMainForm() = default;
