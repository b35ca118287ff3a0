#include "window/keep.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
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

namespace {

namespace fs = std::filesystem;

// Where a save lands: through any symbolic links, the file they name.
fs::path Followed(const fs::path& path) {
    fs::path at = path;
    std::error_code error;
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(at, error)); ++hops) {
        const fs::path to = fs::read_symlink(at, error);
        if (error) break;
        at = to.is_absolute() ? to : at.parent_path() / to;
    }
    return at;
}

// A short name of its own beside the file: a name the system takes is never made too long.
fs::path PartBeside(const fs::path& target) {
    static std::mt19937 random{std::random_device{}()};
    char name[32];
    std::snprintf(name, sizeof name, ".pexal-%08x.part", static_cast<unsigned>(random()));
    return target.parent_path() / name;
}

}  // namespace

std::string Save(const std::filesystem::path& path, std::string_view bytes) {
    const fs::path target = Followed(path);
    fs::path part = PartBeside(target);
    std::error_code error, ignored;
    while (fs::exists(fs::symlink_status(part, ignored))) part = PartBeside(target);
    {
        errno = 0;
        std::ofstream file(part, std::ios::binary | std::ios::trunc);
        if (file) file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (file) file.close();  // what the disk refuses shows here, not after the rename
        if (!file) error.assign(errno != 0 ? errno : EIO, std::generic_category());
    }
    // A file replaced keeps who may read and write it.
    if (!error && fs::exists(target, ignored)) fs::permissions(part, fs::status(target, ignored).permissions(), ignored);
    if (!error) fs::rename(part, target, error);
    if (!error) return "";
    fs::remove(part, ignored);
    const auto name = path.u8string();  // the bytes on POSIX, UTF-8 from Windows' UTF-16
    return "Could not save " + pexal::QuotePath(std::string(name.begin(), name.end())) + ": " +
           error.message() + ".";
}

}  // namespace keep
