#include "window/session.h"

#include "printhead/general.h"
#include "window/sheet.h"
#include "window/sheet_pdf.h"

namespace printer {

const ActionItem& ItemOf(Action action) {
    for (const ActionItem& item : kActions) {
        if (item.action == action) return item;
    }
    return kActions[0];
}

Session::Session(Surface& surface, bool phrased) : page_(surface) {
    page_.Reading().SetPhrased(phrased);
    General::Load(&page_);
}

Session::~Session() { General::SetPage(nullptr); }

General::ReadingNews Session::Tick(bool pageFocused) {
    report_.Tick();
    return page_.Tick(pageFocused);
}

General::ReadingNews Session::NewPage() {
    if (!page_.Record().Empty()) torn_.push_back(page_.Record().Kept());
    General::ReadingNews news = page_.Wipe();
    General::HomeHead();
    return news;
}

General::ReadingNews Session::Key(General::ReadingKey key, bool control) {
    return page_.Reading().Move(General::MoveFor(key, control));
}

General::ReadingNews Session::PutCaret(int offset) { return page_.Reading().SetCaret(offset); }

General::ReadingNews Session::SayPosition() const {
    pexal::Cell at;
    pexal::CellAt({General::PosX, General::PosY}, &at);
    General::ReadingNews news;
    const std::string said = "line " + std::to_string(at.line + 1) + ", column " + std::to_string(at.column + 1);
    news.announcement.assign(said.begin(), said.end());
    return news;
}

bool Session::Letter(char key, bool control, bool shift, General::ReadingNews* news) const {
    if (key != 'P' || !control || !shift) return false;
    *news = SayPosition();
    return true;
}

General::ReadingNews Session::Focused() const {
    General::ReadingNews news;
    if (page_.Reading().Length() == 0) news.announcement = std::u16string(sheet::kPageName) + u", empty";
    return news;
}

std::vector<General::PageRecord> Session::Pages() const {
    std::vector<General::PageRecord> pages = torn_;
    pages.push_back(page_.Record().Kept());
    return pages;
}

namespace {

// A file's bytes from what was taken of the session: the pages (the current one last),
// the current page's text and the window's picture.
std::string BytesOf(keep::Format format, bool allPages, const std::vector<General::PageRecord>& pages,
                    const std::u16string& text, const std::string& png, std::string_view lineEnd) {
    if (allPages) return sheet::SheetPdf(pages);
    switch (format) {
        case keep::Format::kPng: return png;
        case keep::Format::kText: return keep::TextFile(text, lineEnd);
        case keep::Format::kPdf: break;
    }
    return sheet::SheetPdf({pages.back()});
}

}  // namespace

std::string Session::Keep(keep::Format format, bool allPages, const KeepSources& from) const {
    const std::string png = !allPages && format == keep::Format::kPng && from.png ? from.png() : std::string();
    return BytesOf(format, allPages, allPages ? Pages() : std::vector{page_.Record().Kept()}, Text(), png,
                   from.lineEnd);
}

std::string Session::Save(const keep::Target& target, bool allPages, const KeepSources& from) {
    folder_ = target.path.parent_path();
    return keep::Save(target.path, Keep(target.format, allPages, from));
}

void Session::SaveInBackground(const keep::Target& target, bool allPages, const KeepSources& from) {
    folder_ = target.path.parent_path();
    const keep::Format format = target.format;
    std::string png = !allPages && format == keep::Format::kPng && from.png ? from.png() : std::string();
    std::vector<General::PageRecord> pages = allPages ? Pages() : std::vector{page_.Record().Kept()};
    saves_.push_back(std::async(std::launch::async, [=, pages = std::move(pages), png = std::move(png),
                                                     lineEnd = std::string(from.lineEnd), text = Text()] {
        return keep::Save(target.path, BytesOf(format, allPages, pages, text, png, lineEnd));
    }));
}

std::vector<std::string> Session::SaveFailures() {
    std::vector<std::string> failed;
    for (auto save = saves_.begin(); save != saves_.end();) {
        if (save->wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
            ++save;
            continue;
        }
        if (std::string sentence = save->get(); !sentence.empty()) failed.push_back(std::move(sentence));
        save = saves_.erase(save);
    }
    return failed;
}

}  // namespace printer
