#include "window/keep.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

#include "common/text.h"

namespace keep {

std::string DefaultName(const std::tm& when, Format format) {
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H-%M-%S", &when);
    const char* extension = ".pdf";
    for (const FileType& type : kFileTypes) {
        if (type.format == format) extension = type.extension;
    }
    return std::string("Pexal page ") + stamp + extension;
}

namespace {

// The index in kFileTypes of the type whose extension the name has, in any case; -1: none.
int TypeNamed(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (int k = 0; k < static_cast<int>(std::size(kFileTypes)); ++k) {
        if (extension == kFileTypes[k].extension) return k;
    }
    return -1;
}

}  // namespace

Format FormatOf(const std::filesystem::path& path) {
    const int named = TypeNamed(path);
    return named >= 0 ? kFileTypes[named].format : Format::kPdf;
}

Target Resolve(const std::filesystem::path& typed, int chosenType, bool allPages) {
    const int offered = TypesOffered(allPages);
    const FileType& chosen = kFileTypes[chosenType >= 0 && chosenType < offered ? chosenType : 0];
    if (!typed.has_extension()) return {std::filesystem::path(typed).concat(chosen.extension), chosen.format};
    const int named = TypeNamed(typed);
    return {typed, named >= 0 && named < offered ? kFileTypes[named].format : chosen.format};
}

std::string TextFile(const std::u16string& text, std::string_view lineEnd) {
    std::string out;
    for (std::size_t from = 0; from <= text.size() && !text.empty();) {
        const std::size_t feed = std::min(text.find(u'\n', from), text.size());
        out += pexal::Utf8(std::u16string_view(text).substr(from, feed - from));
        out += lineEnd;
        from = feed + 1;
    }
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
