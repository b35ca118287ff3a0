// The Windows primitives for keeping the page: the clipboard, the save and print dialogs,
// the window's pixels and a printer's device context. What is kept and how it is written
// is decided in window/keep.h and window/sheet_pdf.h.
#pragma once

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "printhead/page_record.h"
#include "window/keep.h"

namespace win32keep {

// UTF-16 from UTF-8.
std::wstring Wide(const std::string& utf8);

// Puts `text` (lines joined by line feeds) on the clipboard as Unicode text, lines
// ended with CR LF; false when the clipboard could not be had.
bool CopyText(HWND owner, const std::u16string& text);
// Where the user chose to save the page, or every page when `allPages`, in the save
// dialog opened in `folder` (empty: where Windows opens it), or nothing when they
// cancelled.
std::optional<keep::Target> AskSavePath(HWND owner, bool allPages, const std::filesystem::path& folder);

// The window's client area as it stands on screen, as a PNG file.
std::string ClientPng(HWND window);

// Asks for a printer and which of `pages` (the run's, the current one last, which is
// printed unless the user asks for all or a range), and prints each page alone, fitted to
// the paper and centred, its text in `face`; false when the user cancelled or printing
// failed.
bool PrintPages(HWND owner, const std::vector<General::PageRecord>& pages, const std::string& face);

// Shows `sentence` in a warning box over `owner`.
void Warn(HWND owner, const std::string& sentence);

}  // namespace win32keep
