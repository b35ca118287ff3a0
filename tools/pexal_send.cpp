// pexal-send: prints text or bytes on the Pexal Printer from a shell, through the host's
// side of the handshake. This file is the command line; the handshake and the encoder
// live in host/.
#include <getopt.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <variant>

#include "common/facts.h"
#include "host/encoder.h"
#include "host/handshake.h"
#include "port/io.h"

namespace {

enum class Exit : int {
    kTaken = 0,
    kUsage = 1,
    kNotTaken = 2,
    kBadInput = 3,
    kPortUnusable = 4,
};

constexpr char kVersion[] = "pexal-send 0.1.0";
constexpr char kUsageText[] = R"(Usage: pexal-send [options] [TEXT...]
Sends TEXT (the arguments joined by spaces) or, without TEXT, standard input to the
Pexal Printer, one byte at a time: each byte waits until the data port reads 0, is
stored there, and counts as taken once the printer has cleared the port again.

Text is read as UTF-8 and sent in windows-1252; a character without a windows-1252 code
is sent as "?" with a warning, and each newline is sent as CR LF so that every line
starts at the left margin.

Options:
  -r, --raw          send the bytes unchanged (a zero byte cannot be sent: 0 means empty)
  -p, --port N       the data port, 100 or above (default 130)
  -t, --timeout S    seconds to wait for the printer to take each byte (default 10)
  -h, --help         show this help and exit
  -V, --version      show the version and exit

Exit status:
  0  every byte was taken (also when there was nothing to send)
  1  usage error
  2  the printer did not take a byte in time
  3  the input cannot be sent (a zero byte, invalid UTF-8, unreadable input); nothing sent
  4  the port file cannot be used (for example a directory or a link stands at its path)
)";

struct Options {
    bool raw = false;
    std::int32_t port = pexal::kDataPort;
    double timeout = 10;
    std::optional<std::string> text;  // from the arguments; standard input otherwise
};

// The one place that speaks to the user on standard error.
void Say(const std::string& message) { std::cerr << "pexal-send: " << message << "\n"; }

Exit Fail(Exit status, const std::string& message) {
    Say(message);
    return status;
}

Exit UsageError(const std::string& message) {
    return Fail(Exit::kUsage, message + "\nTry 'pexal-send --help'.");
}

std::optional<std::int32_t> ParsePort(const char* text) {
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    if (*text == '\0' || errno != 0 || *end != '\0') return std::nullopt;
    if (value < pexal::kFirstPort || value > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::optional<double> ParseSeconds(const char* text) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (*text == '\0' || *end != '\0' || !(value > 0) || value > 86400) return std::nullopt;
    return value;
}

// Returns the exit status when the program is to stop at once.
std::optional<Exit> ParseArguments(int argc, char** argv, Options& options) {
    static const option kLong[] = {
        {"raw", no_argument, nullptr, 'r'},      {"port", required_argument, nullptr, 'p'},
        {"timeout", required_argument, nullptr, 't'}, {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},  {nullptr, 0, nullptr, 0},
    };
    opterr = 0;  // the messages are ours
    for (int c; (c = getopt_long(argc, argv, ":rp:t:hV", kLong, nullptr)) != -1;) {
        const std::string given = argv[optind - 1];
        switch (c) {
            case 'r':
                options.raw = true;
                break;
            case 'p':
                if (const auto port = ParsePort(optarg)) {
                    options.port = *port;
                } else {
                    return UsageError("--port takes a whole number from " +
                                      std::to_string(pexal::kFirstPort) + " to 2147483647, not '" +
                                      optarg + "'");
                }
                break;
            case 't':
                if (const auto seconds = ParseSeconds(optarg)) {
                    options.timeout = *seconds;
                } else {
                    return UsageError("--timeout takes seconds above 0, not '" +
                                      std::string(optarg) + "'");
                }
                break;
            case 'h':
                std::cout << kUsageText;
                return Exit::kTaken;
            case 'V':
                std::cout << kVersion << "\n";
                return Exit::kTaken;
            case ':':
                return UsageError("'" + given + "' needs a value");
            default:
                return UsageError("unknown option '" +
                                  (optopt != 0 ? "-" + std::string(1, char(optopt)) : given) + "'");
        }
    }
    for (int k = optind; k < argc; ++k) {
        options.text = options.text ? *options.text + ' ' + argv[k] : std::string(argv[k]);
    }
    return std::nullopt;
}

std::optional<std::string> ReadStandardInput() {
    std::string input{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    if (std::cin.bad()) return std::nullopt;
    return input;
}

// The bytes to send, or the exit status when the input cannot be sent.
std::variant<std::string, Exit> Prepare(const Options& options, std::string input) {
    if (options.raw) {
        const auto zero = input.find('\0');
        if (zero == std::string::npos) return input;
        return Fail(Exit::kBadInput, "byte " + std::to_string(zero + 1) +
                                         " of the input is 0, which the port reserves for "
                                         "'empty'; nothing sent");
    }
    host::Encoder encoder;
    if (!encoder.ok()) {
        return Fail(Exit::kBadInput, "this system cannot convert UTF-8 to windows-1252; use --raw");
    }
    std::string bytes;
    if (!encoder.Feed(input, bytes) || !encoder.Finish()) {
        return Fail(Exit::kBadInput, encoder.error() + "; nothing sent (use --raw to send bytes "
                                                       "unchanged)");
    }
    if (encoder.unmappable() > 0) {
        Say("warning: " + std::to_string(encoder.unmappable()) +
            " character(s) have no windows-1252 code and are sent as '?'");
    }
    return bytes;
}

class Progress {
public:
    explicit Progress(std::size_t total) : total_(total), shown_(isatty(STDERR_FILENO) != 0) {}
    void Show(std::size_t sent) const {
        if (!shown_) return;
        const std::size_t left = total_ - sent;
        std::cerr << "\rpexal-send: " << sent << "/" << total_ << " bytes sent, about "
                  << (left + pexal::kTicksPerSecond - 1) / pexal::kTicksPerSecond
                  << " s left   " << std::flush;
    }
    void End() const {
        if (shown_) std::cerr << "\n";
    }

private:
    const std::size_t total_;
    const bool shown_;
};

Exit Send(const Options& options, const std::string& bytes) {
    const auto timeout = std::chrono::duration_cast<host::Clock::duration>(
        std::chrono::duration<double>(options.timeout));
    host::Handshake link(options.port, timeout);
    const Progress progress(bytes.size());
    std::size_t sent = 0;
    host::Outcome outcome = host::Outcome::kDone;
    for (; sent < bytes.size() && outcome == host::Outcome::kDone; ++sent) {
        progress.Show(sent);
        outcome = link.Put(static_cast<std::uint8_t>(bytes[sent]));
    }
    if (outcome == host::Outcome::kDone) {
        outcome = link.WaitUntilTaken();
        if (outcome == host::Outcome::kDone) progress.Show(sent);
    } else {
        --sent;  // the byte whose put failed was not sent
    }
    progress.End();
    const std::string count = " (" + std::to_string(sent) + " of " +
                              std::to_string(bytes.size()) + " bytes sent)";
    switch (outcome) {
        case host::Outcome::kDone:
            return Exit::kTaken;
        case host::Outcome::kUnusable:
            return Fail(Exit::kPortUnusable, "cannot use port file " + link.failure().path + ": " +
                                                 link.failure().reason + count);
        case host::Outcome::kTimedOut:
            break;
    }
    const std::string what = sent == 0 ? "port " + std::to_string(options.port) + " was not cleared"
                                       : "the printer did not take byte " + std::to_string(sent) +
                                             " of " + std::to_string(bytes.size());
    std::ostringstream seconds;
    seconds << options.timeout;
    return Fail(Exit::kNotTaken, what + " within " + seconds.str() + " s (port file " +
                                     io::PortFilePath() +
                                     ").\nIs pexal-printer running? Start it and send again.");
}

Exit Run(int argc, char** argv) {
    Options options;
    if (const auto status = ParseArguments(argc, argv, options)) return *status;

    std::string input;
    if (options.text) {
        input = *options.text;
    } else if (auto read = ReadStandardInput()) {
        input = std::move(*read);
    } else {
        return Fail(Exit::kBadInput, "cannot read standard input; nothing sent");
    }
    auto prepared = Prepare(options, std::move(input));
    if (const Exit* refused = std::get_if<Exit>(&prepared)) return *refused;
    const std::string& bytes = std::get<std::string>(prepared);
    if (bytes.empty()) return Fail(Exit::kTaken, "nothing to send");

    return Send(options, bytes);
}

}  // namespace

int main(int argc, char** argv) { return static_cast<int>(Run(argc, argv)); }
