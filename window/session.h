// The printer's session, toolkit-free: the printed page the head prints on, the port
// report, the pages "New page" took off during the run, and the page kept as a file's
// bytes. A window makes one when it loads and passes on what each call returns for
// assistive technology; one at a time, since it drives the program's one print head.
#pragma once

#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <string_view>
#include <vector>

#include "port/poll_port.h"
#include "printhead/page_record.h"
#include "printhead/reading.h"
#include "window/keep.h"
#include "window/printed_page.h"

namespace printer {

// What a window offers for keeping the page: in its menu, and as shortcuts wherever the
// focus is in the window.
enum class Action { kCopyText, kSavePage, kSaveAllPages, kPrint };
struct ActionItem {
    Action action;
    const char* label;  // UTF-8
    char key;           // with Ctrl
    bool shift;         // and Shift
    const char* keys;   // as a menu shows it
};
inline constexpr ActionItem kActions[] = {
    {Action::kCopyText, "Copy text", 'C', false, "Ctrl+C"},
    {Action::kSavePage, "Save page as\u2026", 'S', false, "Ctrl+S"},
    {Action::kSaveAllPages, "Save all pages as PDF\u2026", 'S', true, "Ctrl+Shift+S"},
    {Action::kPrint, "Print\u2026", 'P', false, "Ctrl+P"},
};
const ActionItem& ItemOf(Action action);

// What a platform gives for keeping a page: the window as a PNG (made only when asked
// for), and how its text files end their lines.
struct KeepSources {
    std::function<std::string()> png;
    std::string_view lineEnd = "\n";
};

class Session {
public:
    // The load step: the head initialised and homed onto this session's page, drawn
    // through `surface` (which must outlive the session). `phrased` where each
    // announcement costs a role word (see General::Reading).
    explicit Session(Surface& surface, bool phrased = false);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // A poll tick: the port's byte printed, the port file's trouble said once, and what
    // assistive technology is to be told of the page (`pageFocused`: the page has the
    // keyboard focus).
    General::ReadingNews Tick(bool pageFocused = false);
    // "New page": the page torn off (kept for the run when something is on it), cleared,
    // and the head homed.
    General::ReadingNews NewPage();
    // The reading caret moved by a key or put by assistive technology.
    General::ReadingNews Key(General::ReadingKey key, bool control);
    General::ReadingNews PutCaret(int offset);
    // Where the print head stands, said ("line 3, column 12"): the page's position key.
    General::ReadingNews SayPosition() const;
    // A letter key (`key` in upper case) pressed on the page: Ctrl+Shift+P says where the
    // print head is. False, and `news` untouched, when the letter means nothing there.
    bool Letter(char key, bool control, bool shift, General::ReadingNews* news) const;
    // The page took the keyboard focus: an empty page says so, which a reader reading its
    // line would not.
    General::ReadingNews Focused() const;

    const PrintedPage& Page() const { return page_; }
    PrintedPage& Page() { return page_; }
    const General::Reading& Reading() const { return page_.Reading(); }
    // The page's text now (what "Copy text" copies).
    std::u16string Text() const { return page_.Reading().Current(); }
    // Every page of the run: those torn off, then the current one.
    std::vector<General::PageRecord> Pages() const;

    // The current page, or every page (as a PDF), as the bytes of a `format` file.
    std::string Keep(keep::Format format, bool allPages, const KeepSources& from) const;
    // The same written to `path` whole or not at all: "" when it worked, else why not.
    std::string Save(const keep::Target& target, bool allPages, const KeepSources& from);
    // The same on a thread of its own, so that printing goes on while a long save is made
    // and written; what it saves is taken now, and how it went is told by SaveFailures.
    void SaveInBackground(const keep::Target& target, bool allPages, const KeepSources& from);
    // The sentences of the saves that failed since the last call, each once.
    std::vector<std::string> SaveFailures();
    bool Saving() const { return !saves_.empty(); }
    // The folder last saved to during the run (empty before the first), where the save
    // dialog opens.
    const std::filesystem::path& SaveFolder() const { return folder_; }

private:
    PrintedPage page_;
    PortReport report_;
    std::vector<General::PageRecord> torn_;
    std::filesystem::path folder_;
    std::vector<std::future<std::string>> saves_;  // a future's end waits for its save
};

}  // namespace printer
