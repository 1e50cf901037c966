#include "config/PasswordStore.h"

namespace {

constexpr qsizetype storedDigits = 8;

int hexDigitValue(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

bool isCSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

} // namespace

int32_t PasswordHash(const QString &text)
{
    // Unsigned arithmetic gives the 32-bit wrap-around without overflow.
    uint32_t acc = 0;
    for (const char byte : toWindows1250(text)) {
        const int32_t value = static_cast<signed char>(byte);
        acc = acc * 32u + static_cast<uint32_t>(13 * value);
    }
    return static_cast<int32_t>(acc) % 2147483647;
}

std::optional<int32_t> parsePasswordHash(const QString &text)
{
    const QString head = text.left(storedDigits);
    qsizetype i = 0;
    while (i < head.size() && isCSpace(head.at(i)))
        ++i;
    uint32_t value = 0;
    bool any = false;
    for (; i < head.size(); ++i) {
        const int digit = hexDigitValue(head.at(i));
        if (digit < 0)
            break;
        value = value * 16u + uint32_t(digit);
        any = true;
    }
    if (!any)
        return std::nullopt;
    return static_cast<int32_t>(value);
}

QString formatPasswordHash(int32_t hash)
{
    return QStringLiteral("%1").arg(static_cast<uint32_t>(hash), 8, 16, QLatin1Char('0'));
}

PasswordStore::PasswordStore(const QString &path)
    : m_path(path)
    , m_storedHash(PasswordHash(QString()))
{ }

bool PasswordStore::LoadPassword()
{
    const DataFileContent content = readDataFile(m_path);
    m_unreadable = content.status == FileStatus::Unreadable;
    switch (content.status) {
    case FileStatus::Unreadable:
        return false;
    case FileStatus::Ok:
        if (!content.pieces.isEmpty()) {
            if (const auto hash = parsePasswordHash(content.pieces.first()))
                m_storedHash = *hash;
        }
        return true;
    case FileStatus::Missing:
        break;
    }
    const int32_t emptyHash = PasswordHash(QString());
    if (!writeDataFile(m_path, formatPasswordHash(emptyHash)))
        return false;
    m_storedHash = emptyHash;
    return true;
}

bool PasswordStore::SavePassword()
{
    return writeDataFile(m_path, formatPasswordHash(m_storedHash));
}
