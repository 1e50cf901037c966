#pragma once

#include <QLineEdit>

#include <cstdint>

// The server port entry: "Port:" followed by the port in decimal, or in
// hexadecimal with a trailing "h" or "H". Every change of the text is checked
// at once; PortValue is the port the text denotes, 0 for none. An invalid text
// is answered with a warning and the entry goes back to the bare "Port:".
class TPortEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit TPortEdit(QWidget *parent = nullptr);
    ~TPortEdit() override;

    int32_t PortValue() const { return m_portValue; }

public slots:
    void EditPortChange();

private:
    void warn(const QString &text);

    int32_t m_portValue = 0;
};
