// Helpers for tests that use the real port file: a private temporary directory per test,
// the port file's bytes, and another process holding a lock on it.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>

#include "page.h"

namespace pexal_test {

// A page that keeps the codes it is asked to draw, as text, and counts bells.
class TextPage : public General::Page {
public:
    void DrawGlyph(int, int, std::uint8_t code) override { text += static_cast<char>(code); }
    void Refresh() override {}
    void Clear() override {}
    void Bell() override { ++bells; }
    std::string text;
    int bells = 0;
};

// Points TMPDIR at a fresh directory for the test's lifetime, then removes it.
class PortFileTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::filesystem::path dir() const { return dir_; }
    std::filesystem::path portFile() const { return dir_ / "dov_port.dat"; }
    // The whole file, or nullopt when it does not exist.
    std::optional<std::string> fileBytes() const;
    void setFileBytes(const std::string& bytes) const;
    // A file of `size` zero bytes with `value` at port `port`'s offset.
    void setPort(std::int32_t port, std::uint8_t value, std::size_t size = 64) const;

private:
    std::filesystem::path dir_;
    std::optional<std::string> savedTmpdir_;
};

// A homed print head on a TextPage, with PollPort's reports kept in `report`.
class PollTest : public PortFileTest {
protected:
    void SetUp() override;
    void TearDown() override;
    void ticks(int n);
    int reportLines() const;

    TextPage printed;
    std::ostringstream report;
};

// Another process that holds an advisory lock on one byte of a file until destroyed.
class LockHolder {
public:
    LockHolder(const std::filesystem::path& file, off_t offset, bool exclusive);
    ~LockHolder();
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

private:
    pid_t child_ = -1;
    int release_ = -1;
};

// Held by a test that uses the shared fallback port file /tmp/dov_port.dat, so that two
// such tests in parallel processes take turns.
class FallbackPortFileGuard {
public:
    FallbackPortFileGuard();
    ~FallbackPortFileGuard();
    FallbackPortFileGuard(const FallbackPortFileGuard&) = delete;
    FallbackPortFileGuard& operator=(const FallbackPortFileGuard&) = delete;

private:
    int fd_;
};

// Runs a program with arguments; feeds `input` on its standard input when given.
struct ChildProcess {
    pid_t pid = -1;
    int stdinFd = -1;
};
ChildProcess Spawn(const std::vector<std::string>& argv, bool pipeInput = false,
                   const std::string& stderrFile = "");
// Exit status once finished, or nullopt while it still runs.
std::optional<int> Finished(ChildProcess& child);
int Wait(ChildProcess& child);

}  // namespace pexal_test
