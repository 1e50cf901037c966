#include "tests/fuzz/FuzzTargets.h"

#include "app/TPortEdit.h"

namespace {

const char target[] = "port_text";

QString show(const QString &text)
{
    return QStringLiteral("\"%1\"").arg(text);
}

} // namespace

// What the port entry's check must give for any text: a port of 16 bits, no
// port with a warning, the value the text's digits denote, and the same port
// again for the canonical decimal and hexadecimal texts of that port.
void checkPortTextHolds(const QString &text)
{
    const PortTextCheck check = checkPortText(text);
    FUZZ_CHECK(target, check.value >= 0 && check.value <= 65535,
               show(text) + QStringLiteral(" gives %1").arg(check.value));
    if (check.warning != PortTextCheck::None) {
        FUZZ_CHECK(target, check.value == 0, show(text) + QStringLiteral(" warns with a value"));
        return;
    }
    FUZZ_CHECK(target, text.startsWith(QStringLiteral("Port:")) && text.size() <= 11,
               show(text) + QStringLiteral(" passes without a warning"));

    // The value, as Qt's own number parsing reads the digits.
    const QString number = text.mid(5);
    bool ok = true;
    int expected = 0;
    if (number.endsWith(u'h') || number.endsWith(u'H')) {
        expected = number.size() == 1 ? 0 : number.chopped(1).toInt(&ok, 16);
    } else {
        // Hexadecimal letters without the "h": not a number, no port.
        bool decimal = false;
        const int value = number.toInt(&decimal, 10);
        expected = decimal ? value : 0;
    }
    FUZZ_CHECK(target, ok && check.value == expected,
               show(text) + QStringLiteral(" gives %1, not %2").arg(check.value).arg(expected));

    const QString decimal = QStringLiteral("Port:%1").arg(check.value);
    const QString hexadecimal = QStringLiteral("Port:%1h").arg(check.value, 0, 16);
    for (const QString &canonical : {decimal, hexadecimal})
        FUZZ_CHECK(target,
                   checkPortText(canonical) == (PortTextCheck {PortTextCheck::None, check.value}),
                   show(canonical) + QStringLiteral(" does not give %1").arg(check.value));
}

int fuzzPortText(const uint8_t *data, size_t size)
{
    // A typed or pasted text: whatever the bytes say in UTF-8.
    checkPortTextHolds(QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
