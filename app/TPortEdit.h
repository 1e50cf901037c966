#pragma once

#include <QLineEdit>

#include <cstdint>

// The verdict on a text of the server port entry: the port it denotes (0 for
// none), or the warning it earns, after which the entry is reset.
struct PortTextCheck
{
    enum Warning {
        None,
        Characters, // the text does not begin with "Port:"
        Range, // a number beyond 65535, or too many characters
        Format, // a character that does not belong where it stands
    };

    Warning warning = None;
    int32_t value = 0;

    bool operator==(const PortTextCheck &) const = default;
};

// Checks a text of the entry the way EditPortChange does, without the entry.
PortTextCheck checkPortText(const QString &text);

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
