#include "window/session.h"

#include "printhead/general.h"
#include "window/sheet_pdf.h"

namespace printer {

const ActionItem& ItemOf(Action action) {
    for (const ActionItem& item : kActions) {
        if (item.action == action) return item;
    }
    return kActions[0];
}

Session::Session(Surface& surface) : page_(surface) { General::Load(&page_); }

Session::~Session() { General::SetPage(nullptr); }

General::ReadingNews Session::Tick() {
    report_.Tick();
    return page_.Tick();
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

std::vector<General::PageRecord> Session::Pages() const {
    std::vector<General::PageRecord> pages = torn_;
    pages.push_back(page_.Record().Kept());
    return pages;
}

std::string Session::Keep(keep::Format format, bool allPages, const KeepSources& from) const {
    if (allPages) return sheet::SheetPdf(Pages());
    switch (format) {
        case keep::Format::kPng: return from.png ? from.png() : std::string();
        case keep::Format::kText: return keep::TextFile(Text(), from.lineEnd);
        case keep::Format::kPdf: break;
    }
    return sheet::SheetPdf({page_.Record()});
}

std::string Session::Save(const keep::Target& target, bool allPages, const KeepSources& from) const {
    return keep::Save(target.path, Keep(target.format, allPages, from));
}

}  // namespace printer
