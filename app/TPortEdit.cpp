#include "app/TPortEdit.h"

#include "app/dialogs/TMsgDlg.h"

#include <algorithm>

namespace {

const QString prefix = QStringLiteral("Port:");

const QString warningChars
    = QStringLiteral("Po słowie 'Port:' możesz wprowadzić żądany numer portu.\n"
                     "Poprawne znaki to: '0'..'9', 'a'..'f', 'A'..'F', 'h' oraz 'H'");
const QString warningRange
    = QStringLiteral("Błąd numeru portu. Możesz wprowadzić dziesiętnie w zakresie:\n"
                     "1024..65535 lub heksadecymalnie: 400h..FFFFh");
const QString warningFormat
    = QStringLiteral("Dopuszczalne formaty wprowadzenia numeru portu to: 1024..65535\n"
                     "lub heksadecymalnie: 400h..FFFFh lub 400H..FFFFH");

constexpr qsizetype longestText = 11; // "Port:" and five characters
constexpr int32_t maxPort = 65535;

bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

int32_t hexValue(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    return (c.unicode() | 0x20) - u'a' + 10;
}

bool isHexLetter(QChar c)
{
    return (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool isHexMark(QChar c)
{
    return c == u'h' || c == u'H';
}

} // namespace

TPortEdit::TPortEdit(QWidget *parent)
    : QLineEdit(parent)
{
    setObjectName(QStringLiteral("EditPort"));
    setText(prefix);
    connect(this, &QLineEdit::textChanged, this, &TPortEdit::EditPortChange);
}

TPortEdit::~TPortEdit() = default;

void TPortEdit::warn(const QString &text)
{
    ShowMsgDlg(window(), 2, 0, text);
    // Setting the bare prefix runs this handler again, which leaves 0.
    setText(prefix);
    m_portValue = 0;
}

void TPortEdit::EditPortChange()
{
    const PortTextCheck check = checkPortText(text());
    switch (check.warning) {
    case PortTextCheck::None:
        m_portValue = check.value;
        return;
    case PortTextCheck::Characters:
        return warn(warningChars);
    case PortTextCheck::Range:
        return warn(warningRange);
    case PortTextCheck::Format:
        return warn(warningFormat);
    }
}

PortTextCheck checkPortText(const QString &t)
{
    const qsizetype n = t.size();

    if (!t.startsWith(prefix))
        return {PortTextCheck::Characters};
    if (n > longestText)
        return {PortTextCheck::Range};
    if (n == longestText && !isHexMark(t.at(n - 1)))
        return {PortTextCheck::Format};
    for (qsizetype i = prefix.size(); i < n; ++i) {
        const QChar c = t.at(i);
        if (!isHexDigit(c) && !(isHexMark(c) && i == n - 1))
            return {PortTextCheck::Format};
    }

    const QString number = t.mid(prefix.size());
    if (!number.isEmpty() && isHexMark(number.back())) {
        if (n == longestText)
            return {PortTextCheck::Range};
        int32_t value = 0;
        for (qsizetype i = 0; i + 1 < number.size(); ++i)
            value = value * 16 + hexValue(number.at(i));
        return {PortTextCheck::None, value};
    }

    // Hexadecimal letters without the trailing "h" are not a decimal number:
    // no port, and no warning either.
    if (number.isEmpty() || std::any_of(number.begin(), number.end(), isHexLetter))
        return {PortTextCheck::None, 0};
    const int32_t value = number.toInt();
    if (value > maxPort)
        return {PortTextCheck::Range};
    return {PortTextCheck::None, value};
}
