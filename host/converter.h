// One UTF-8 character to its windows-1252 byte: the platform's part of the encoder.
// Internal to host/.
#pragma once

#include <optional>
#include <string_view>

#include "host/encoder.h"

namespace host {

struct Encoder::Converter {
    Converter();
    ~Converter();
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // False when this system cannot convert to windows-1252 at all.
    bool ok() const;
    // The byte for one well-formed UTF-8 character, or nothing when it has none.
    std::optional<char> Convert(std::string_view utf8);

    void* state = nullptr;  // the platform's conversion state
};

}  // namespace host
