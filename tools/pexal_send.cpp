// pexal-send: the host's side of the printer handshake, for printing from a shell.
// Each byte waits for the data port to read 0, is stored, and counts as taken once the
// printer has cleared the port again.

#include <iconv.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "io.h"

namespace {

enum Exit : int {
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
  --raw          send the bytes unchanged (a zero byte cannot be sent: 0 means empty)
  --port N       the data port, 100 or above (default 130)
  --timeout S    seconds to wait for the printer to take each byte (default 10)
  --help         show this help and exit
  --version      show the version and exit

Exit status:
  0  every byte was taken (also when there was nothing to send)
  1  usage error
  2  the printer did not take a byte in time
  3  the input cannot be sent (a zero byte, invalid UTF-8, unreadable input); nothing sent
  4  the port file cannot be used (for example a directory or a link stands at its path)
)";

struct Options {
    bool raw = false;
    std::int32_t port = 130;
    double timeout = 10;
    bool fromArguments = false;
    std::string text;
};

int UsageError(const std::string& message) {
    std::cerr << "pexal-send: " << message << "\nTry 'pexal-send --help'.\n";
    return kUsage;
}

std::optional<long long> ParseInteger(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') return std::nullopt;
    return value;
}

std::optional<double> ParseSeconds(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !(value > 0) || value > 86400) return std::nullopt;
    return value;
}

// Returns the exit status when the program is to stop at once.
std::optional<int> ParseArguments(int argc, char** argv, Options& options) {
    std::vector<std::string> words;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            words.push_back(arg);
            continue;
        }
        std::string value;
        const auto equals = arg.find('=');
        const bool inlineValue = equals != std::string::npos;
        if (inlineValue) {
            value = arg.substr(equals + 1);
            arg.resize(equals);
        }
        auto takeValue = [&]() -> bool {
            if (inlineValue) return true;
            if (i + 1 >= argc) return false;
            value = argv[++i];
            return true;
        };
        if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" && !inlineValue) {
            std::cout << kUsageText;
            return kTaken;
        } else if (arg == "--version" && !inlineValue) {
            std::cout << kVersion << "\n";
            return kTaken;
        } else if (arg == "--raw" && !inlineValue) {
            options.raw = true;
        } else if (arg == "--port") {
            if (!takeValue()) return UsageError("--port needs a port number");
            const auto port = ParseInteger(value);
            if (!port || *port < 100 || *port > INT32_MAX) {
                return UsageError("--port takes a whole number from 100 to 2147483647, not '" +
                                  value + "'");
            }
            options.port = static_cast<std::int32_t>(*port);
        } else if (arg == "--timeout") {
            if (!takeValue()) return UsageError("--timeout needs a number of seconds");
            const auto seconds = ParseSeconds(value);
            if (!seconds) return UsageError("--timeout takes seconds above 0, not '" + value + "'");
            options.timeout = *seconds;
        } else {
            return UsageError("unknown option '" + std::string(argv[i]) + "'");
        }
    }
    options.fromArguments = !words.empty();
    for (std::size_t k = 0; k < words.size(); ++k) {
        if (k > 0) options.text += ' ';
        options.text += words[k];
    }
    return std::nullopt;
}

// Length of the well-formed UTF-8 sequence at `at`, or 0 when it is not one.
std::size_t Utf8SequenceLength(const std::string& s, std::size_t at) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[at + k]); };
    const unsigned char lead = byte(0);
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
    } else {
        return 0;
    }
    if (at + length > s.size()) return 0;
    if (byte(1) < low || byte(1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if (byte(k) < 0x80 || byte(k) > 0xBF) return 0;
    }
    return length;
}

class Converter {
public:
    Converter() : cd_(iconv_open("WINDOWS-1252", "UTF-8")) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // The windows-1252 byte of one UTF-8 character, or nothing when it has none.
    std::optional<char> Convert(const char* utf8, std::size_t length) {
        char out = 0;
        char* in = const_cast<char*>(utf8);
        char* outAt = &out;
        std::size_t inLeft = length, outLeft = 1;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd_, &in, &inLeft, &outAt, &outLeft) == static_cast<std::size_t>(-1) ||
            outLeft != 0) {
            return std::nullopt;
        }
        return out;
    }

private:
    iconv_t cd_;
};

// Text mode: UTF-8 in, windows-1252 out, newlines as CR LF.
std::optional<std::string> Encode(const std::string& text) {
    Converter converter;
    if (!converter.ok()) {
        std::cerr << "pexal-send: this system cannot convert UTF-8 to windows-1252; use --raw\n";
        return std::nullopt;
    }
    std::string bytes;
    std::size_t unmappable = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8SequenceLength(text, at);
        if (length == 0) {
            std::cerr << "pexal-send: the input is not valid UTF-8 (byte " << at + 1
                      << "); nothing sent (use --raw to send bytes unchanged)\n";
            return std::nullopt;
        }
        const char first = text[at];
        if (first == '\0') {
            std::cerr << "pexal-send: the input holds a zero character (byte " << at + 1
                      << "), which the port reserves for 'empty'; nothing sent\n";
            return std::nullopt;
        }
        if (first == '\n') {
            bytes += "\r\n";
        } else if (const auto converted = converter.Convert(&text[at], length)) {
            bytes += *converted;
        } else {
            bytes += '?';
            ++unmappable;
        }
        at += length;
    }
    if (unmappable > 0) {
        std::cerr << "pexal-send: warning: " << unmappable
                  << " character(s) have no windows-1252 code and are sent as '?'\n";
    }
    return bytes;
}

std::optional<std::string> ReadStandardInput() {
    std::string input{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    if (std::cin.bad()) {
        std::cerr << "pexal-send: cannot read standard input; nothing sent\n";
        return std::nullopt;
    }
    return input;
}

using Clock = std::chrono::steady_clock;

class Sender {
public:
    explicit Sender(const Options& options)
        : options_(options),
          timeout_(std::chrono::duration_cast<Clock::duration>(
              std::chrono::duration<double>(options.timeout))),
          showProgress_(isatty(STDERR_FILENO) != 0) {}

    int Send(const std::string& bytes) {
        total_ = bytes.size();
        for (sent_ = 0; sent_ < total_; ++sent_) {
            ShowProgress();
            if (const int status = WaitUntilTaken(); status != kTaken) return status;
            if (const int status = Store(static_cast<std::uint8_t>(bytes[sent_])); status != kTaken) {
                return status;
            }
        }
        const int status = WaitUntilTaken();
        if (status == kTaken) ShowProgress();
        if (showProgress_) std::cerr << "\n";
        return status;
    }

private:
    // The port reads 0: the printer has taken the byte before, and the port is free.
    int WaitUntilTaken() {
        const auto deadline = Clock::now() + timeout_;
        for (;;) {
            io::Failure why;
            const std::uint8_t value = io::READ_IO_BYTE(options_.port, &why);
            if (!why.reason.empty() && !why.busy) return Unusable(why);
            if (why.reason.empty() && value == 0) return kTaken;
            if (Clock::now() >= deadline) return NotTaken();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    int Store(std::uint8_t byte) {
        const auto deadline = Clock::now() + timeout_;
        for (;;) {
            io::Failure why;
            if (io::WRITE_IO_BYTE(options_.port, byte, &why)) return kTaken;
            if (!why.busy) return Unusable(why);
            if (Clock::now() >= deadline) return Unusable(why);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    int Unusable(const io::Failure& why) {
        EndProgressLine();
        std::cerr << "pexal-send: cannot use port file " << why.path << ": " << why.reason
                  << " (" << sent_ << " of " << total_ << " bytes sent)\n";
        return kPortUnusable;
    }

    int NotTaken() {
        EndProgressLine();
        std::cerr << "pexal-send: ";
        if (sent_ == 0) {  // someone else's byte still waits

            std::cerr << "port " << options_.port << " was not cleared";
        } else {
            std::cerr << "the printer did not take byte " << sent_ << " of " << total_;
        }
        std::cerr << " within " << options_.timeout << " s (port file "
                  << io::PortFilePath() << ").\nIs pexal-printer running? Start it and send again.\n";
        return kNotTaken;
    }

    void ShowProgress() {
        if (!showProgress_) return;
        const std::size_t left = total_ - sent_;
        std::cerr << "\rpexal-send: " << sent_ << "/" << total_ << " bytes sent, about "
                  << (left + 4) / 5 << " s left   " << std::flush;
    }

    void EndProgressLine() {
        if (showProgress_) std::cerr << "\n";
    }

    const Options& options_;
    const Clock::duration timeout_;
    const bool showProgress_;
    std::size_t sent_ = 0;
    std::size_t total_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (const auto status = ParseArguments(argc, argv, options)) return *status;

    std::string input;
    if (options.fromArguments) {
        input = options.text;
    } else if (auto read = ReadStandardInput()) {
        input = std::move(*read);
    } else {
        return kBadInput;
    }

    std::string bytes;
    if (options.raw) {
        const auto zero = input.find('\0');
        if (zero != std::string::npos) {
            std::cerr << "pexal-send: byte " << zero + 1
                      << " of the input is 0, which the port reserves for 'empty'; nothing sent\n";
            return kBadInput;
        }
        bytes = std::move(input);
    } else if (auto encoded = Encode(input)) {
        bytes = std::move(*encoded);
    } else {
        return kBadInput;
    }

    if (bytes.empty()) {
        std::cerr << "pexal-send: nothing to send\n";
        return kTaken;
    }
    // The printer falls back the same way, so the two still meet; but say where.
    const char* tmpdir = std::getenv("TMPDIR");
    if (tmpdir != nullptr && *tmpdir != '\0' && io::TempDirectory() != tmpdir) {
        std::cerr << "pexal-send: warning: TMPDIR (" << tmpdir
                  << ") is not a directory; using " << io::PortFilePath() << "\n";
    }
    return Sender(options).Send(bytes);
}
