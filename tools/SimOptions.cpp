#include "tools/SimOptions.h"

#include <charconv>
#include <climits>

#include <getopt.h>

namespace {

enum OptionId {
    OptDelay = 256,
    OptBaud,
    OptGap,
    OptTerminator,
    OptSilent,
    OptSilentAfter,
    OptAnswerEvery,
    OptChunks,
    OptChunkGap,
    OptUnsolicited,
    OptUnsolicitedEvery,
    OptRecord,
    OptTiming,
    OptFixed,
    OptPrefix,
    OptNoLineFeed,
    OptReadyFile,
    OptVerbose,
    OptHelp,
};

const option longOptions[] = {
    {"delay", required_argument, nullptr, OptDelay},
    {"baud", required_argument, nullptr, OptBaud},
    {"gap", required_argument, nullptr, OptGap},
    {"terminator", required_argument, nullptr, OptTerminator},
    {"silent", no_argument, nullptr, OptSilent},
    {"silent-after", required_argument, nullptr, OptSilentAfter},
    {"answer-every", required_argument, nullptr, OptAnswerEvery},
    {"chunks", required_argument, nullptr, OptChunks},
    {"chunk-gap", required_argument, nullptr, OptChunkGap},
    {"unsolicited", required_argument, nullptr, OptUnsolicited},
    {"unsolicited-every", required_argument, nullptr, OptUnsolicitedEvery},
    {"record", required_argument, nullptr, OptRecord},
    {"timing", required_argument, nullptr, OptTiming},
    {"fixed", required_argument, nullptr, OptFixed},
    {"prefix", required_argument, nullptr, OptPrefix},
    {"no-line-feed", no_argument, nullptr, OptNoLineFeed},
    {"ready-file", required_argument, nullptr, OptReadyFile},
    {"verbose", no_argument, nullptr, OptVerbose},
    {"help", no_argument, nullptr, OptHelp},
    {nullptr, 0, nullptr, 0},
};

long number(const char *name, const char *text, long min, long max)
{
    const std::string_view s(text);
    long value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size() || value < min || value > max)
        throw UsageError(std::string("--") + name + " needs a whole number from "
                         + std::to_string(min) + " to " + std::to_string(max) + ", not '" + text
                         + "'");
    return value;
}

std::chrono::milliseconds millis(const char *name, const char *text)
{
    return std::chrono::milliseconds(number(name, text, 0, 3600 * 1000));
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::string decodeEscapes(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size())
            throw UsageError("a text ends in a lone backslash");
        switch (text[i]) {
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case '\\':
            out += '\\';
            break;
        case 'x': {
            const int hi = i + 1 < text.size() ? hexDigit(text[i + 1]) : -1;
            const int lo = i + 2 < text.size() ? hexDigit(text[i + 2]) : -1;
            if (hi < 0 || lo < 0)
                throw UsageError("\\x needs two hexadecimal digits");
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
            break;
        }
        default:
            throw UsageError(std::string("unknown escape \\") + text[i]);
        }
    }
    return out;
}

ParsedCommandLine parseCommandLine(int argc, char **argv)
{
    ParsedCommandLine result;
    SimOptions &o = result.options;
    optind = 1;
    opterr = 0;
    for (;;) {
        int index = 0;
        const int id = getopt_long(argc, argv, "+:h", longOptions, &index);
        if (id == -1)
            break;
        switch (id) {
        case OptDelay:
            o.delay = millis("delay", optarg);
            break;
        case OptBaud:
            o.baud = static_cast<unsigned>(number("baud", optarg, 1, 4000000));
            break;
        case OptGap:
            o.gap = millis("gap", optarg);
            break;
        case OptTerminator:
            o.terminator = decodeEscapes(optarg);
            if (o.terminator.empty())
                throw UsageError("--terminator needs at least one byte");
            break;
        case OptSilent:
            o.silent = true;
            break;
        case OptSilentAfter:
            o.silentAfter = number("silent-after", optarg, 0, LONG_MAX);
            break;
        case OptAnswerEvery:
            o.answerEvery = static_cast<unsigned>(number("answer-every", optarg, 1, 1000000));
            break;
        case OptChunks:
            o.chunks = static_cast<unsigned>(number("chunks", optarg, 1, 4096));
            break;
        case OptChunkGap:
            o.chunkGap = millis("chunk-gap", optarg);
            break;
        case OptUnsolicited:
            o.unsolicited = decodeEscapes(optarg);
            break;
        case OptUnsolicitedEvery:
            o.unsolicitedEvery = millis("unsolicited-every", optarg);
            break;
        case OptRecord:
            o.recordFile = optarg;
            break;
        case OptTiming:
            o.timingFile = optarg;
            break;
        case OptFixed:
            o.fixed = decodeEscapes(optarg);
            break;
        case OptPrefix:
            o.prefix = decodeEscapes(optarg);
            break;
        case OptNoLineFeed:
            o.lineFeed = false;
            break;
        case OptReadyFile:
            o.readyFile = optarg;
            break;
        case OptVerbose:
            o.verbose = true;
            break;
        case 'h':
        case OptHelp:
            result.help = true;
            return result;
        case ':':
            throw UsageError(std::string(argv[optind - 1]) + " needs a value");
        default:
            throw UsageError(std::string("unknown option ")
                             + (optind > 0 && optind <= argc ? argv[optind - 1] : "?"));
        }
    }
    if (optind < argc) {
        o.linkPath = argv[optind++];
        if (o.linkPath.empty())
            throw UsageError("the device link path is empty");
    }
    if (optind < argc)
        throw UsageError(std::string("unexpected argument ") + argv[optind]);
    return result;
}

std::string usageText(std::string_view program)
{
    std::string text = "Usage: ";
    text += program;
    text += R"( [OPTIONS] [LINK]

Simulates the ZMT on a pseudo-terminal. LINK becomes a symbolic link to the
terminal's slave device (a stale link there is replaced; it is removed again on
SIGTERM, SIGINT or SIGHUP). Once the device is ready the program prints
"READY <LINK>" (or "READY <slave device>" without LINK) on standard output.

Requests: the bytes that arrive without a pause of --gap form one request,
or, with --terminator, each piece ending in the terminator is one request.
Answers: "ANS:" + the request without CR and LF + line feed. A line feed is
added to every answer and unsolicited text that does not already end in one.

Options (MS is milliseconds; TEXT understands \n \r \t \\ \xHH):
  --gap MS                quiet time that ends a request (default 2)
  --terminator TEXT       requests are pieces ending in TEXT instead
  --delay MS              wait this long before answering (default 0)
  --baud N                pace output at N baud, 10 bits a byte, each byte
                          delivered once its bits have passed (default: unpaced)
  --chunks N              send each answer in N pieces (default 1)
  --chunk-gap MS          pause between pieces (default 5)
  --silent                never answer
  --silent-after N        answer the first N requests only
  --answer-every K        answer only every K-th request (K, 2K, ...)
  --fixed TEXT            answer TEXT instead of the echo
  --prefix TEXT           echo prefix (default "ANS:")
  --no-line-feed          add no line feed to answers and unsolicited texts
  --unsolicited TEXT      send TEXT nobody asked for
  --unsolicited-every MS  how often (default 1000; 0: only on SIGUSR1)
  --record FILE           append every received byte to FILE
  --timing FILE           write one line per request to FILE: when its first
                          byte came, when it was complete, when the last byte
                          of its answer went out (0: not answered); monotonic
                          clock (CLOCK_MONOTONIC) in nanoseconds
  --ready-file FILE       write the device path to FILE once ready
  --verbose               log requests and answers on standard error
  --help                  show this text

SIGUSR1 sends the --unsolicited text once.
)";
    return text;
}
