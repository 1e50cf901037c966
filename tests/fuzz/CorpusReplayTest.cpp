#include "tests/fuzz/FuzzTargets.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

// Every input of the committed corpus, through the same targets that
// scripts/fuzz runs under libFuzzer: what fuzzing once found stays fixed.
TEST(FuzzCorpus, EveryCommittedInputKeepsItsProperties)
{
    setFuzzFailureHandler([](const std::string &what) { ADD_FAILURE() << what; });
    for (const FuzzTarget &target : fuzzTargets) {
        const QDir folder(QStringLiteral(HOLLVAN_FUZZ_CORPUS "/") + QLatin1String(target.name));
        const QStringList inputs = folder.entryList(QDir::Files, QDir::Name);
        EXPECT_FALSE(inputs.isEmpty()) << "no corpus for " << target.name;
        for (const QString &name : inputs) {
            SCOPED_TRACE(
                QStringLiteral("%1/%2").arg(QLatin1String(target.name), name).toStdString());
            QFile file(folder.filePath(name));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            const QByteArray input = file.readAll();
            target.run(reinterpret_cast<const uint8_t *>(input.constData()), size_t(input.size()));
        }
    }
    setFuzzFailureHandler(nullptr);
}
