#include "serial/TComComboBox.h"

#include "app/support/ExceptionDisplay.h"
#include "serial/TCustomComPort.h"

#include <QStringListModel>

TComComboBox::TComComboBox(QWidget *parent)
    : QComboBox(parent)
    , FItems(new QStringListModel(this))
    , FComSelect(std::make_unique<TComSelect>(FItems))
{
    // A drop-down list: the user can only choose one of the entries.
    setEditable(false);
    setModel(FItems);
    connect(this, &QComboBox::activated, this, [this] { runGuarded([this] { Change(); }); });
}

TComComboBox::~TComComboBox()
{
    disconnect(FPortDestroyed);
}

void TComComboBox::SetComPort(TCustomComPort *Value)
{
    if (Value == FComSelect->ComPort())
        return;
    disconnect(FPortDestroyed);
    FComSelect->SetComPort(Value);
    FBoundPort = Value;
    if (Value) {
        FPortDestroyed = connect(Value, &QObject::destroyed, this,
                                 [this](QObject *port) { Notification(port); });
        UpdateSettings();
    }
}

void TComComboBox::SetComProperty(TComProperty Value)
{
    FComSelect->SetComProperty(Value);
    if (count() == 0)
        return;
    if (FComSelect->ComPort())
        UpdateSettings();
    else
        setCurrentIndex(0);
}

QString TComComboBox::GetText() const
{
    return currentIndex() < 0 ? QString() : itemText(currentIndex());
}

void TComComboBox::SetText(const QString &Value)
{
    for (int i = 0; i < count(); ++i) {
        if (QString::compare(itemText(i), Value, Qt::CaseInsensitive) == 0) {
            setCurrentIndex(i);
            return;
        }
    }
}

void TComComboBox::ApplySettings()
{
    FComSelect->ApplySettings();
}

void TComComboBox::UpdateSettings()
{
    int index = currentIndex();
    FComSelect->UpdateSettings(index);
    setCurrentIndex(index);
}

void TComComboBox::Change()
{
    FComSelect->Change(GetText());
    emit changed();
}

void TComComboBox::Notification(QObject *AComponent)
{
    // The port is already half destroyed here: it is compared by the address
    // taken while it was alive, and never used.
    if (!AComponent || AComponent != FBoundPort)
        return;
    disconnect(FPortDestroyed);
    FComSelect->SetComPort(nullptr);
    FBoundPort = nullptr;
    if (count() > 0)
        setCurrentIndex(0);
}
