// The converter on POSIX systems, through iconv.
#include <iconv.h>

#include "host/converter.h"

namespace host {
namespace {

iconv_t Cd(void* state) { return static_cast<iconv_t>(state); }
const iconv_t kNone = reinterpret_cast<iconv_t>(-1);

}  // namespace

Encoder::Converter::Converter() : state(iconv_open("WINDOWS-1252", "UTF-8")) {}

Encoder::Converter::~Converter() {
    if (ok()) iconv_close(Cd(state));
}

bool Encoder::Converter::ok() const { return Cd(state) != kNone; }

std::optional<char> Encoder::Converter::Convert(std::string_view utf8) {
    char out = 0;
    char* in = const_cast<char*>(utf8.data());
    char* outAt = &out;
    std::size_t inLeft = utf8.size(), outLeft = 1;
    iconv(Cd(state), nullptr, nullptr, nullptr, nullptr);
    if (iconv(Cd(state), &in, &inLeft, &outAt, &outLeft) == static_cast<std::size_t>(-1) ||
        outLeft != 0) {
        return std::nullopt;
    }
    return out;
}

}  // namespace host
