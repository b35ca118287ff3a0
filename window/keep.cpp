#include "window/keep.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <system_error>

#include "common/text.h"

namespace keep {

std::string DefaultName(const std::tm& when, Format format) {
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H-%M-%S", &when);
    const char* extension = format == Format::kPdf ? ".pdf" : format == Format::kPng ? ".png" : ".txt";
    return std::string("Pexal page ") + stamp + extension;
}

Format FormatOf(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == ".png") return Format::kPng;
    if (extension == ".txt") return Format::kText;
    return Format::kPdf;
}

std::string TextFile(const std::u16string& text, std::string_view lineEnd) {
    std::string out;
    for (std::size_t k = 0; k < text.size(); ++k) {
        char32_t c = text[k];
        if (c >= 0xD800 && c < 0xDC00 && k + 1 < text.size()) c = 0x10000 + ((c - 0xD800) << 10) + (text[++k] - 0xDC00);
        if (c == u'\n') {
            out += lineEnd;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
        } else if (c < 0x10000) {
            out += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
                    static_cast<char>(0x80 | (c & 0x3F))};
        } else {
            out += {static_cast<char>(0xF0 | c >> 18), static_cast<char>(0x80 | (c >> 12 & 0x3F)),
                    static_cast<char>(0x80 | (c >> 6 & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
        }
    }
    if (!text.empty()) out += lineEnd;
    return out;
}

std::string Save(const std::filesystem::path& path, std::string_view bytes) {
    namespace fs = std::filesystem;
    const fs::path part = fs::path(path).concat(".part");
    std::error_code error;
    {
        errno = 0;
        std::ofstream file(part, std::ios::binary | std::ios::trunc);
        if (file) file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (file) file.close();
        if (!file) error.assign(errno != 0 ? errno : EIO, std::generic_category());
    }
    if (!error) fs::rename(part, path, error);
    if (!error) return "";
    std::error_code ignored;
    fs::remove(part, ignored);
    const auto name = path.u8string();  // the bytes on POSIX, UTF-8 from Windows' UTF-16
    return "Could not save " + pexal::QuotePath(std::string(name.begin(), name.end())) + ": " +
           error.message() + ".";
}

}  // namespace keep
