#pragma once

#include "config/DataFile.h"

#include <QString>

#include <cstdint>
#include <optional>

// The operator password is never stored, only a 32-bit hash of it, as eight
// lower-case hexadecimal digits with no line end.

inline constexpr char passwordFilePath[] = "data/Hollvan.pw";

// acc := acc * 32 + 13 * byte over the Windows-1250 bytes taken as signed
// 8-bit values, with 32-bit wrap-around; then the signed remainder by
// 2147483647.
int32_t PasswordHash(const QString &text);

// Reads a stored hash the way "%x" does over the first eight characters of the
// first line: leading white space skipped, digits in either case, stopping at
// the first other character. No digits at all gives no value.
std::optional<int32_t> parsePasswordHash(const QString &text);

// "%08x" of the hash's 32-bit pattern.
QString formatPasswordHash(int32_t hash);

// The password file with the hash held in memory between reading and writing.
class PasswordStore
{
public:
    explicit PasswordStore(const QString &path = QLatin1String(passwordFilePath));

    int32_t storedHash() const { return m_storedHash; }
    void setStoredHash(int32_t hash) { m_storedHash = hash; }

    // Reads the stored hash; creates the file with the hash of the empty
    // password when it does not exist. False when the file could not be read
    // or created; the stored hash then stays as it was.
    bool LoadPassword();
    // True when the last LoadPassword found a password file it could not
    // read: the password is then unknown, not empty.
    bool unreadable() const { return m_unreadable; }

    // Writes the stored hash; false when the file could not be written, in
    // which case it keeps its previous content.
    bool SavePassword();

private:
    QString m_path;
    int32_t m_storedHash;
    bool m_unreadable = false;
};
