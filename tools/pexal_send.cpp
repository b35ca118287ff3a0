// pexal-send: prints text or bytes on the Pexal Printer from a shell, through the host's
// side of the handshake. This file is the command line; the handshake, the encoder and
// the page watch live in host/.
#include <getopt.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/facts.h"
#include "common/text.h"
#include "host/encoder.h"
#include "host/handshake.h"
#include "host/page_watch.h"
#include "port/io.h"
#include "tools/console.h"
#include "tools/progress.h"
#include "tools/usage.h"

namespace {

using pexal::Kind;
using pexal::Status;

constexpr char kVersion[] = "pexal-send " PEXAL_VERSION;

struct Options {
    bool raw = false;
    bool newline = true;  // after text given as arguments, like echo
    bool wrap = false;
    std::int32_t port = pexal::kDataPort;
    double timeout = 10;
    std::optional<std::string> text;  // from the arguments; standard input otherwise
};

void Say(const std::string& message) { pexal::Say("pexal-send", message); }

// How the program ends: what Finish says, and the kind its exit status follows from.
Status Stop(Kind kind, const std::string& message) { return {kind, "", message}; }

Status UsageError(const std::string& message) {
    return Stop(Kind::kUsage, message + "\nTry 'pexal-send --help'.");
}

// Says how the program ended and gives its exit status: 0 taken (or nothing to send),
// 1 a usage error, 2 not taken in time, 3 input that cannot be sent, 4 the port file
// unusable, 128 + N stopped by signal N.
int Finish(const Status& end) {
    if (!end.reason.empty()) Say(end.reason);
    switch (end.kind) {
        case Kind::kOk:
            return 0;
        case Kind::kUsage:
            return 1;
        case Kind::kTimedOut:
            return 2;
        case Kind::kBadInput:
            return 3;
        case Kind::kInterrupted:
            return 128 + console::stopSignal;
        default:
            return 4;
    }
}

// Numbers are plain decimal, digits with at most one point: no sign, no spaces, no hex
// and no exponent, which strtod and strtoll would take without a word.
bool PlainDecimal(const char* text, bool fraction) {
    const std::string_view s(text);
    const auto point = s.find('.');
    if (s.empty() || (point != std::string_view::npos && (!fraction || s.size() == 1))) return false;
    for (std::size_t k = 0; k < s.size(); ++k) {
        if (k != point && (s[k] < '0' || s[k] > '9')) return false;
    }
    return true;
}

std::optional<std::int32_t> ParsePort(const char* text) {
    if (!PlainDecimal(text, false) || std::strlen(text) > 10) return std::nullopt;
    const long long value = std::strtoll(text, nullptr, 10);
    if (value < pexal::kFirstPort || value > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::optional<double> ParseSeconds(const char* text) {
    if (!PlainDecimal(text, true)) return std::nullopt;
    const double value = std::strtod(text, nullptr);
    if (!(value > 0) || value > 86400) return std::nullopt;
    return value;
}

// Help or version on standard output; a failure to write it (a full disk, a closed
// pipe) is an error, as with GNU tools.
Status Print(const std::string& text) {
    std::cout << text << std::flush;
    if (std::cout) return {};
    return Stop(Kind::kUsage, std::string("cannot write to standard output: ") + std::strerror(errno));
}

// 'text', built by appending: GCC 12 warns falsely (-Wrestrict) at "'" + a string. Text
// that is not printable is shown escaped, as paths are, so that a message stays one line
// and writes no control character to the terminal.
std::string Quoted(const std::string& text) {
    const std::string shown = pexal::QuotePath(text);
    if (shown != text) return shown;
    std::string quoted(1, '\'');
    quoted += text;
    quoted += '\'';
    return quoted;
}

std::string ShortOption(int letter) { return std::string{'-', static_cast<char>(letter)}; }

// Returns the exit status when the program is to stop at once.
std::optional<Status> ParseArguments(int argc, char** argv, Options& options) {
    static const option kLong[] = {
        {"raw", no_argument, nullptr, 'r'},
        {"port", required_argument, nullptr, 'p'},
        {"timeout", required_argument, nullptr, 't'},
        {"wrap", no_argument, nullptr, 'w'},
        {"no-newline", no_argument, nullptr, 'n'},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},
        {nullptr, 0, nullptr, 0},
    };
    opterr = 0;  // the messages are ours
    for (int c; (c = getopt_long(argc, argv, ":rnp:t:whV", kLong, nullptr)) != -1;) {
        const std::string given = argv[optind - 1];
        switch (c) {
            case 'r':
                options.raw = true;
                break;
            case 'n':
                options.newline = false;
                break;
            case 'w':
                options.wrap = true;
                break;
            case 'p':
                if (const auto port = ParsePort(optarg)) {
                    options.port = *port;
                    break;
                }
                return UsageError("--port takes a whole number from " +
                                  std::to_string(pexal::kFirstPort) + " to 2147483647, not " +
                                  Quoted(optarg));
            case 't':
                if (const auto seconds = ParseSeconds(optarg)) {
                    options.timeout = *seconds;
                    break;
                }
                return UsageError("--timeout takes seconds above 0, not " + Quoted(optarg));
            case 'h':
                return Print(kUsageText);
            case 'V':
                return Print(std::string(kVersion) + "\n");
            case ':':
                return UsageError(Quoted(given) + " needs a value");
            default:
                if (given.rfind("--", 0) == 0 && given.find('=') != std::string::npos &&
                    optopt != 0) {  // a known option that takes no value, given one
                    return UsageError(Quoted(given.substr(0, given.find('='))) + " takes no value");
                }
                return UsageError("unknown option " +
                                  Quoted(optopt != 0 ? ShortOption(optopt) : given));
        }
    }
    const bool standardInput =
        optind == argc || (optind + 1 == argc && argv[optind] == std::string("-"));
    if (!standardInput) {
        std::string text;
        for (int k = optind; k < argc; ++k) {
            if (k > optind) text += ' ';
            text += argv[k];
        }
        if (options.newline) text += '\n';
        options.text = std::move(text);
    }
    return std::nullopt;
}

using console::stopSignal;

// The sending policy: takes input in pieces and hands the printer each piece's bytes as
// they come, one sender at a time, and takes back what the printer has not taken when it
// has to stop.
class Sender {
public:
    explicit Sender(const Options& options)
        : options_(options),
          link_(options.port, std::chrono::duration_cast<host::Clock::duration>(
                                  std::chrono::duration<double>(options.timeout))),
          folder_(watch_),
          progress_(console::ErrorIsTerminal()) {
        link_.SetCancel(&stopSignal);
        link_.onWait = [this](std::uint64_t byte, host::Clock::duration waited) {
            if (waited < std::chrono::seconds(1)) return;
            const std::string path = io::PortFilePath();
            progress_.Waiting(link_.taken(), byte, pexal::QuotePath(path), console::Exists(path));
        };
    }

    // Sends one piece of input; returns how the program ends when the send has to stop.
    std::optional<Status> Piece(std::string_view input) {
        const std::optional<std::string> bad = Prepare(input, held_);
        // A piece that ends inside a character waits for the next, which completes it.
        if (!bad && encoder_.incomplete()) return std::nullopt;
        if (const auto stopped = SendHeld()) return stopped;
        if (bad) return Refused(*bad);
        return std::nullopt;
    }

    // The input has ended: sends what was held back and waits for the last byte.
    Status End() {
        std::string tail;
        const Status finished = options_.raw ? Status{} : encoder_.Finish(tail);
        Route(tail, held_);
        if (options_.wrap) folder_.Flush(held_);
        if (const auto stopped = SendHeld()) return *stopped;
        if (!finished.ok()) return Refused(finished.reason);
        if (encoder_.unmappable() > 0) {
            Say("warning: " + std::to_string(encoder_.unmappable()) +
                " character(s) have no windows-1252 code and are sent as '?'");
        }
        if (link_.taken() == 0 && !link_.pending()) return Stop(Kind::kOk, "nothing to send");
        if (const Status taken = link_.WaitUntilTaken(); !taken.ok()) return Stopped(taken);
        progress_.End(link_.taken());
        return {};
    }

    // Standard input could not be read.
    Status Unreadable(const std::string& error) {
        return Refused("cannot read standard input: " + error);
    }

    Status Interrupted() { return Stopped({Kind::kInterrupted, "", ""}); }

private:
    // Appends to `bytes` what `input` is to be sent as.
    // Whatever comes before a bad byte is appended all the same: one rule, however the
    // input arrives in pieces. Returns what is wrong with the input, if anything.
    std::optional<std::string> Prepare(std::string_view input, std::string& bytes) {
        std::string encoded;
        std::optional<std::string> bad;
        if (options_.raw) {
            const auto zero = input.find('\0');
            encoded = input.substr(0, zero);
            if (zero != std::string_view::npos) {
                bad = "byte " + std::to_string(read_ + zero + 1) +
                      " of the input is 0, which the port reserves for 'empty'";
            }
        } else if (const Status fed = encoder_.Feed(input, encoded); !fed.ok()) {
            bad = fed.reason;
        }
        read_ += input.size();
        Route(encoded, bytes);
        return bad;
    }

    std::optional<Status> SendHeld() {
        std::string bytes;
        bytes.swap(held_);
        return Send(bytes);
    }

    // Appends `encoded` to `bytes` as the page will take it: folded, or as it is; either
    // way followed through the head, to warn about the page's edges.
    void Route(const std::string& encoded, std::string& bytes) {
        if (options_.wrap) {
            folder_.Feed(encoded, bytes);
        } else {
            for (const char c : encoded) watch_.Follow(static_cast<std::uint8_t>(c));
            bytes += encoded;
        }
        WarnAboutThePage();
    }

    std::optional<Status> Send(const std::string& bytes) {
        if (bytes.empty()) return std::nullopt;
        // The port file is touched only once there is something to send.
        if (const auto stopped = WaitForOtherSenders()) return stopped;
        for (const char c : bytes) {
            if (const Status put = link_.Put(static_cast<std::uint8_t>(c)); !put.ok()) {
                return Stopped(put);
            }
            progress_.Taken(link_.taken());
        }
        return std::nullopt;
    }

    void WarnAboutThePage() {
        if (watch_.ranPastRightEdge() && !warnedRight_) {
            warnedRight_ = true;
            Say("warning: a line runs past the right edge (" + std::to_string(pexal::kColumns) +
                " columns); the rest overprints its last column (--wrap folds it)");
        }
        if (watch_.ranPastLastLine() && !warnedBottom_) {
            warnedBottom_ = true;
            Say("warning: the text runs past the " + std::to_string(pexal::kLines) +
                "th line; the rest overprints the last line; press New page");
        }
    }

    // Input we cannot send: what came before it is sent, nothing after it is. A byte the
    // printer does not take meanwhile (none running, a signal, a failing port file) is
    // taken back like any other, so that nothing is left in the port.
    Status Refused(const std::string& why) {
        const std::string hint = options_.raw ? "" : " (use --raw to send bytes unchanged)";
        if (link_.pending()) {
            if (const Status taken = link_.WaitUntilTaken(); !taken.ok()) {
                Say(why + hint);
                return Stopped(taken);
            }
        }
        progress_.End(link_.taken());
        const std::uint64_t sent = link_.taken();
        return Stop(Kind::kBadInput,
                    why + "; " +
                        (sent == 0 ? "nothing sent"
                                   : Bytes(sent) + (sent == 1 ? " was" : " were") + " already sent") +
                        hint);
    }

    // The send cannot go on: take our byte back if the printer has not, and say how far
    // it got.
    Status Stopped(const Status& status) {
        progress_.End(link_.taken());
        const bool hadByte = link_.pending();
        link_.Withdraw();
        const std::string taken = Bytes(link_.taken()) + " taken";
        // Taken meanwhile counts as taken; one that a lock or a failure kept in the port
        // is said to be there.
        const std::string rest = !hadByte ? ""
                                 : link_.pending()
                                     ? "; byte " + std::to_string(link_.taken() + 1) +
                                           " could not be taken back and is still in the port"
                                     : "; the rest was withdrawn";
        switch (status.kind) {
            case Kind::kUnusable:
                return Stop(Kind::kUnusable, pexal::CannotUse(status) + " (" + taken + rest + ")");
            case Kind::kInterrupted:
                return Stop(Kind::kInterrupted,
                            "stopped by " + console::SignalName(stopSignal) + ": " + taken + rest);
            default:
                break;
        }
        const std::string what =
            link_.taken() == 0 && !hadByte
                ? "port " + std::to_string(options_.port) + " was not cleared"
                : "the printer did not take byte " + std::to_string(link_.taken() + 1);
        return Stop(Kind::kTimedOut, what + " within " + Seconds() + " s (port file " +
                                         pexal::QuotePath(io::PortFilePath()) + "): " + taken + rest +
                                         ".\nIs pexal-printer running? Start it and send again.");
    }

    // One sender at a time: texts from two never interleave. Held until the program ends.
    std::optional<Status> WaitForOtherSenders() {
        const auto start = host::Clock::now();
        pexal::Kind said = Kind::kOk;
        for (;;) {
            const Status why = link_.Hold();
            if (why.ok()) return std::nullopt;
            if (!why.mayPass()) return Stop(Kind::kUnusable, pexal::CannotUse(why));
            if (stopSignal != 0) return Interrupted();
            // Like a printer that is not running, a directory not made yet is waited for
            // until the timeout; another sender, for as long as its text lasts.
            if (!why.busy() && host::Clock::now() - start >= Timeout()) {
                return Stop(Kind::kTimedOut, pexal::CannotUse(why) + "; waited " + Seconds() + " s for it");
            }
            if (said != why.kind) {
                Say(why.busy() ? "another program holds the sender lock of port " +
                                     std::to_string(options_.port) + " in " +
                                     pexal::QuotePath(why.path) + "; waiting for it to let go"
                               : "waiting: " + why.reason + " (TMPDIR names it)");
                said = why.kind;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(why.busy() ? 10 : 50));
        }
    }

    host::Clock::duration Timeout() const {
        return std::chrono::duration_cast<host::Clock::duration>(
            std::chrono::duration<double>(options_.timeout));
    }

    std::string Seconds() const {
        std::ostringstream seconds;
        seconds << options_.timeout;
        return seconds.str();
    }

    const Options& options_;
    host::Handshake link_;
    host::Encoder encoder_;
    host::PageWatch watch_;
    host::Folder folder_;
    Progress progress_;
    bool warnedRight_ = false, warnedBottom_ = false;
    std::uint64_t read_ = 0;
    std::string held_;  // encoded, not yet sent
};

Status Run(int argc, char** argv) {
    Options options;
    if (const auto status = ParseArguments(argc, argv, options)) return *status;
    console::CatchStopSignals();
    Sender sender(options);

    if (options.text) {
        if (const auto stopped = sender.Piece(*options.text)) return *stopped;
        return sender.End();
    }
    if (console::InputIsTerminal()) {
        Say("type the text to print; each line goes when you press Enter, Ctrl-D ends");
    }
    // Sent as it arrives: a line at a time from a terminal, as it comes from a pipe.
    char buffer[64 * 1024];
    for (;;) {
        if (stopSignal != 0) return sender.Interrupted();
        std::size_t n = 0;
        const Status read = console::ReadInput(buffer, sizeof buffer, &n);
        if (stopSignal != 0) return sender.Interrupted();
        if (!read.ok()) return sender.Unreadable(read.reason);
        if (n == 0) return sender.End();
        const std::string_view piece(buffer, n);
        if (const auto stopped = sender.Piece(piece)) return *stopped;
    }
}

}  // namespace

#ifdef _WIN32
// The arguments as the user typed them, in UTF-8 whatever the console's code page.
int wmain(int argc, wchar_t** wide) {
    std::vector<std::string> arguments = console::Utf8Arguments(argc, wide);
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    return Finish(Run(argc, argv.data()));
}
#else
int main(int argc, char** argv) { return Finish(Run(argc, argv)); }
#endif
