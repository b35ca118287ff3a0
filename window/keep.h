// Keeping what was printed, as the user asks: the words of the page's menu, a default
// file name, the page's text as a file or the clipboard holds it, and a file written
// whole or not at all. Plain C++ for both front-ends, which add the menu, the dialogs,
// the clipboard and the printer.
#pragma once

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

namespace keep {

enum class Format { kPdf, kPng, kText };

// The types the save dialog offers, in its order: a page all of them, all pages the first.
struct FileType {
    Format format;
    const char* name;
    const char* extension;  // with its dot
};
inline constexpr FileType kFileTypes[] = {
    {Format::kPdf, "PDF", ".pdf"}, {Format::kPng, "PNG image", ".png"}, {Format::kText, "Text", ".txt"}};
inline constexpr int TypesOffered(bool allPages) { return allPages ? 1 : 3; }

// "Pexal page 2026-12-08 15-04-05.pdf", from the local time `when`.
std::string DefaultName(const std::tm& when, Format format);
// The format a file name's extension asks for, in any case (PDF when it names none we write).
Format FormatOf(const std::filesystem::path& path);

// What the save dialog's answer means: the name's own extension when it is one of the
// types offered, else the type chosen (kFileTypes' index), whose extension is added to a
// name that has none.
struct Target {
    std::filesystem::path path;
    Format format;
};
Target Resolve(const std::filesystem::path& typed, int chosenType, bool allPages);

// The page's text (lines joined by line feeds) as UTF-8 with `lineEnd` ending each line.
std::string TextFile(const std::u16string& text, std::string_view lineEnd);

// Writes `bytes` to `path` through a new file beside it, renamed over it once whole, so
// that a failure leaves no partial file; a symbolic link is followed to the file it
// names, and a file replaced keeps its permissions. "" when it worked, else the sentence
// to show.
std::string Save(const std::filesystem::path& path, std::string_view bytes);

}  // namespace keep
