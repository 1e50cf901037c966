#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>

// The fuzz targets: each takes one input, runs it through the program's own
// reader or check and tests what must hold whatever the input. The same
// functions run under libFuzzer (scripts/fuzz) and, over the committed corpus,
// in the test suite.

int fuzzPortText(const uint8_t *data, size_t size);
int fuzzConfigFile(const uint8_t *data, size_t size);
int fuzzPortSettingsFile(const uint8_t *data, size_t size);
int fuzzDataFile(const uint8_t *data, size_t size);
int fuzzPasswordFile(const uint8_t *data, size_t size);

// The port entry's check over one text, shared by the targets whose input
// reaches the entry.
void checkPortTextHolds(const QString &text);

struct FuzzTarget
{
    const char *name; // also the corpus folder's name
    int (*run)(const uint8_t *data, size_t size);
};

inline constexpr FuzzTarget fuzzTargets[] = {
    {"port_text", fuzzPortText},
    {"config_file", fuzzConfigFile},
    {"port_settings_file", fuzzPortSettingsFile},
    {"data_file", fuzzDataFile},
    {"password_file", fuzzPasswordFile},
};

// What happens when a property does not hold: under libFuzzer the process
// aborts (and the input is kept as a crash); the corpus replay reports a test
// failure instead.
using FuzzFailureHandler = void (*)(const std::string &what);
void setFuzzFailureHandler(FuzzFailureHandler handler);
void fuzzFailure(const char *target, const QString &what);

#define FUZZ_CHECK(target, condition, what)                                                        \
    do {                                                                                           \
        if (!(condition))                                                                          \
            fuzzFailure(target, what);                                                             \
    } while (false)

// A file holding exactly these bytes, for the readers that take a path. The
// same path each time, in a folder of the process's own.
QString fuzzInputFile(const uint8_t *data, size_t size);
// A second path in that folder, for what a target writes itself.
QString fuzzScratchFile();
