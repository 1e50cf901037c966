#pragma once

#include "serial/TComSelect.h"

#include <QComboBox>
#include <QMetaObject>

#include <memory>

class QStringListModel;
class TCustomComPort;

// A drop-down list bound to a port and to one of its settings (ComProperty):
// it lists the possible values of that setting, shows the port's current
// value and, with AutoApply, writes the user's choice to the port at once.
// The logic is its TComSelect's; the list is the combo box's own model.
//
// An error raised while applying a choice (a port that cannot be reopened on
// the chosen device, code 1) goes to the program's exception display.
class TComComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit TComComboBox(QWidget *parent = nullptr);
    ~TComComboBox() override;

    TCustomComPort *GetComPort() const { return FComSelect->ComPort(); }
    // Binds the port (or none) and shows its current value. The binding ends
    // by itself when the port is destroyed.
    void SetComPort(TCustomComPort *Value);
    TComProperty GetComProperty() const { return FComSelect->ComProperty(); }
    // Fills the list with the property's values and selects the port's
    // current value, or the first entry without a port.
    void SetComProperty(TComProperty Value);
    bool GetAutoApply() const { return FComSelect->AutoApply(); }
    void SetAutoApply(bool Value) { FComSelect->SetAutoApply(Value); }

    // The selected entry, empty when none is selected.
    QString GetText() const;
    // Selects the entry equal to Value (letter case aside); nothing changes
    // when there is none.
    void SetText(const QString &Value);

    // Writes the chosen value to the port.
    void ApplySettings();
    // Selects the entry of the port's current value (none when absent).
    void UpdateSettings();

    TComSelect *ComSelect() const { return FComSelect.get(); }

signals:
    // The user chose an entry and it has been taken (and applied, with
    // AutoApply).
    void changed();

protected:
    // The user picked an entry.
    virtual void Change();
    // A component this selector refers to is being destroyed.
    virtual void Notification(QObject *AComponent);

private:
    QStringListModel *FItems; // a child of the combo box, so it outlives the view's teardown
    std::unique_ptr<TComSelect> FComSelect;
    QObject *FBoundPort = nullptr; // the bound port as the object it was when bound
    QMetaObject::Connection FPortDestroyed;
};
