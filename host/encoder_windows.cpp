// The converter on Windows, through WideCharToMultiByte with code page 1252.
#include <windows.h>

#include "host/converter.h"

namespace host {

Encoder::Converter::Converter() = default;
Encoder::Converter::~Converter() = default;

bool Encoder::Converter::ok() const { return IsValidCodePage(1252) != 0; }

std::optional<char> Encoder::Converter::Convert(std::string_view utf8) {
    wchar_t wide[2];
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                          static_cast<int>(utf8.size()), wide, 2);
    if (units <= 0) return std::nullopt;
    char out[2];
    BOOL defaulted = FALSE;
    // No best fit: a character without a code of its own has none (the five undefined
    // bytes included), rather than a look-alike.
    const int bytes = WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, wide, units, out, sizeof out,
                                          nullptr, &defaulted);
    if (bytes != 1 || defaulted) return std::nullopt;
    return out[0];
}

}  // namespace host
