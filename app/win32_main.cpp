// The native Windows printer: one per port file, then the window until it is closed.
#include <windows.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>

#include "common/text.h"
#include "port/io.h"
#include "window/win32/form1.h"

namespace {

// Printers for the same port file meet under a name made from its path (GetTempPath has
// already made it full, "." and ".." resolved); Windows paths are the same file whatever
// their letters' case.
std::string NameFor(const std::string& portFile) {
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (const char c : portFile) {
        hash ^= static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(c)));
        hash *= 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return std::string("PexalPrinter-") + text;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    const std::string portFile = io::PortFilePath();
    const std::string name = NameFor(portFile);
    // Held until the process ends; Windows drops it then, however the process ends.
    const HANDLE claim = CreateMutexA(nullptr, FALSE, ("Local\\" + name).c_str());
    if (claim == nullptr) {  // printed on, as on Linux, with a word of warning
        const DWORD error = GetLastError();
        pexal::Say(pexal::kPrinter, "warning: cannot tell whether another printer uses " +
                                        pexal::QuotePath(portFile) + " (error " +
                                        std::to_string(error) + ")");
    }
    if (claim != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        if (const HWND first = FindWindowA(name.c_str(), nullptr)) {
            ShowWindow(first, SW_RESTORE);
            SetForegroundWindow(first);
        }
        pexal::Say(pexal::kPrinter, "already printing from " + pexal::QuotePath(portFile) +
                                        "; brought that printer to the front");
        return 0;
    }
    return RunForm1(instance, show, name);
}
