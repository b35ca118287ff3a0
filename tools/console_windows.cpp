#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "tools/console.h"

#include "common/text.h"

namespace console {

volatile std::sig_atomic_t stopSignal = 0;

namespace {

// Ctrl-C and Ctrl-Break stand for SIGINT; closing the console, logging off and shutting
// down for SIGTERM. The handler runs on a thread of its own: the main thread withdraws.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    stopSignal = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? SIGINT : SIGTERM;
    return TRUE;
}

}  // namespace

void CatchStopSignals() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

std::string SignalName(int signal) { return signal == SIGINT ? "Ctrl-C" : "the console closing"; }

bool InputIsTerminal() { return _isatty(0) != 0; }
bool ErrorIsTerminal() { return _isatty(2) != 0; }

pexal::Status ReadInput(char* buffer, std::size_t size, std::size_t* read) {
    // Binary: text mode would turn CR LF into LF and stop at 0x1A, which --raw must send.
    static const int binary = _setmode(0, _O_BINARY);
    (void)binary;
    const int n = _read(0, buffer, static_cast<unsigned>(size));
    *read = n > 0 ? static_cast<std::size_t>(n) : 0;
    if (n >= 0) return {};
    return {pexal::Kind::kUnusable, "", std::strerror(errno)};
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> Utf8Arguments(int argc, wchar_t** wide) {
    std::vector<std::string> arguments;
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wide characters are UTF-16");
    for (int k = 0; k < argc; ++k) arguments.push_back(pexal::Utf8(reinterpret_cast<const char16_t*>(wide[k])));
    return arguments;
}

}  // namespace console
