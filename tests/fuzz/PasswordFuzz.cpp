#include "tests/fuzz/FuzzTargets.h"

#include "config/PasswordStore.h"

namespace {

const char target[] = "password_file";

} // namespace

// The password file over any content: the stored hash is what "%x" reads from
// the first eight characters, or the empty password's; every hash is written
// as eight digits and read back unchanged; and the hash of a short text is the
// plain sum, which cannot overflow.
int fuzzPasswordFile(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    PasswordStore store(fuzzInputFile(data, size));
    FUZZ_CHECK(target, store.LoadPassword(), QStringLiteral("not read"));
    const QStringList pieces = splitPieces(bytes);
    const std::optional<int32_t> parsed = parsePasswordHash(pieces.value(0));
    const int32_t expected = parsed ? *parsed : PasswordHash(QString());
    FUZZ_CHECK(target, store.storedHash() == expected,
               QStringLiteral("stored %1, expected %2").arg(store.storedHash()).arg(expected));

    const int32_t hash = store.storedHash();
    const QString digits = formatPasswordHash(hash);
    FUZZ_CHECK(target, digits.size() == 8 && digits == digits.toLower(),
               QStringLiteral("written as \"%1\"").arg(digits));
    PasswordStore written(fuzzScratchFile());
    written.setStoredHash(hash);
    FUZZ_CHECK(target, written.SavePassword(), QStringLiteral("cannot write"));
    PasswordStore reread(fuzzScratchFile());
    FUZZ_CHECK(target, reread.LoadPassword() && reread.storedHash() == hash,
               QStringLiteral("%1 read back as %2").arg(hash).arg(reread.storedHash()));

    const QString text = fromWindows1250(bytes.left(5));
    if (!text.contains(QChar::ReplacementCharacter)) {
        int64_t sum = 0;
        for (const char byte : toWindows1250(text))
            sum = sum * 32 + 13 * int64_t(static_cast<signed char>(byte));
        FUZZ_CHECK(target, PasswordHash(text) == int32_t(sum % 2147483647),
                   QStringLiteral("hash of a short text"));
    }
    return 0;
}
