// The parts of the test kit every platform builds: the recording page and the head on it.
#include <algorithm>
#include <iostream>
#include <iterator>

#include "port/poll_port.h"
#include "printhead/general.h"
#include "tests/kit.h"

namespace pexal_test {

void RecordingPage::DrawGlyph(int x, int y, std::uint8_t code) {
    marks.push_back({x, y, code});
    unrefreshed = true;
}

void RecordingPage::Bell() {
    marks.push_back({-1, -1, 7});
    ++bells;
}

std::vector<Mark> RecordingPage::draws() const {
    std::vector<Mark> drawn;
    std::copy_if(marks.begin(), marks.end(), std::back_inserter(drawn),
                 [](const Mark& m) { return m.x >= 0; });
    return drawn;
}

std::string RecordingPage::text() const {
    std::string codes;
    for (const Mark& m : draws()) codes += static_cast<char>(m.code);
    return codes;
}

HeadOnPage::HeadOnPage() : HeadOnPage(nullptr) {}

HeadOnPage::HeadOnPage(General::Page* other) {
    General::InitPrinter();
    General::HomeHead();
    General::SetPage(other != nullptr ? other : &page);
}

HeadOnPage::~HeadOnPage() {
    General::SetPage(nullptr);
    SetPortReport(&std::cerr);
}

std::vector<Mark> PrintDirectly(const std::string& bytes) {
    HeadOnPage head;
    for (char c : bytes) General::PrintChar(std::string(1, c));
    return head.page.marks;
}

}  // namespace pexal_test
