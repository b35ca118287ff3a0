// The portable part of the test kit.
#include "tests/kit.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>

#include "port/poll_port.h"
#include "printhead/general.h"

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

HeadOnPage::HeadOnPage(General::Page* other) { General::Load(other != nullptr ? other : &page); }

HeadOnPage::~HeadOnPage() {
    General::SetPage(nullptr);
}

std::vector<Mark> PrintDirectly(const std::string& bytes) {
    HeadOnPage head;
    for (char c : bytes) General::PrintChar(std::string(1, c));
    return head.page.marks;
}

ScopedEnv::ScopedEnv(const char* name, const std::optional<std::string>& value)
    : name_(name), saved_(Get(name)) {
    Set(name, value);
}

ScopedEnv::~ScopedEnv() { Set(name_.c_str(), saved_); }

std::optional<std::string> ScopedEnv::Get(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

void PortFileTest::SetUp() {
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::random_device random;
    do {
        dir_ = base / ("pexal-test-" + std::to_string(random()));
    } while (!std::filesystem::create_directory(dir_));
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace);
#ifdef _WIN32
    temp_.emplace("TMP", dir_.string());
#else
    temp_.emplace("TMPDIR", dir_.string());
#endif
}

void PortFileTest::TearDown() {
    temp_.reset();
    std::error_code ignored;
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(dir_, ignored);
}

std::optional<std::string> PortFileTest::fileBytes() const {
    std::ifstream in(portFile(), std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void PortFileTest::setFileBytes(const std::string& bytes) const {
    std::ofstream out(portFile(), std::ios::binary | std::ios::trunc);
    out << bytes;
}

void PortFileTest::setPort(std::int32_t port, std::uint8_t value, std::size_t size) const {
    std::string bytes(size, '\0');
    bytes.at(static_cast<std::size_t>(port - 100)) = static_cast<char>(value);
    setFileBytes(bytes);
}

std::uint8_t PortFileTest::portByte(std::int32_t port) const {
    const auto bytes = fileBytes();
    const auto at = static_cast<std::size_t>(port - 100);
    return bytes && bytes->size() > at ? static_cast<std::uint8_t>((*bytes)[at]) : 0;
}

std::string PortFileTest::readFile(const std::string& name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void PollTest::SetUp() {
    PortFileTest::SetUp();
    head.emplace();
    printed = &head->page;
}

void PollTest::TearDown() {
    head.reset();
    PortFileTest::TearDown();
}

void PollTest::ticks(int n) {
    for (int k = 0; k < n; ++k) {
        if (const std::string line = reporter.Note(PollPort()); !line.empty()) report << line << '\n';
    }
}

int PollTest::reportLines() const {
    const std::string text = report.str();
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace pexal_test
