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

inline constexpr char kCopyText[] = "Copy text";
inline constexpr char kSavePage[] = "Save page as\u2026";
inline constexpr char kSaveAllPages[] = "Save all pages as PDF\u2026";
inline constexpr char kPrint[] = "Print\u2026";

enum class Format { kPdf, kPng, kText };

// "Pexal page 2026-12-08 15-04-05.pdf", from the local time `when`.
std::string DefaultName(const std::tm& when, Format format);
// The format a file name's extension asks for (PDF when it names none we write).
Format FormatOf(const std::filesystem::path& path);

// The page's text (lines joined by line feeds) as UTF-8 with `lineEnd` ending each line.
std::string TextFile(const std::u16string& text, std::string_view lineEnd);

// Writes `bytes` to `path` through a new file beside it, renamed over `path` once whole,
// so that a failure leaves no partial file. "" when it worked, else the sentence to show.
std::string Save(const std::filesystem::path& path, std::string_view bytes);

}  // namespace keep
