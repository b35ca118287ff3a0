// The test kit: a private port file per test, a page that records what the head asks of
// it, a head attached to it for as long as a fixture lives, other processes (a lock
// holder, a child program) that always end with the test, scoped environment variables
// and one deadline helper. Portable; the process helpers have one file a platform.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "port/io.h"
#include "port/poll_port.h"
#include "printhead/page.h"

namespace pexal_test {

// What the head did: a glyph drawn at (x, y), or a bell (x and y -1, code 7).
struct Mark {
    int x, y;
    std::uint8_t code;
    bool operator==(const Mark&) const = default;
};

// Records every request of the head, in order.
class RecordingPage : public General::Page {
public:
    void DrawGlyph(int x, int y, std::uint8_t code) override;
    void Refresh() override { unrefreshed = false; }
    void Clear() override { ++clears; }
    void Bell() override;

    std::vector<Mark> draws() const;  // the marks without the bells
    std::string text() const;         // the codes drawn, as a string

    std::vector<Mark> marks;
    bool unrefreshed = false;  // a glyph is drawn and not yet shown
    int clears = 0;
    int bells = 0;
};

// An initialised, homed head drawing on `page` (by default its own recording page) for
// the fixture's lifetime; detaching the page always, even when an assertion returns early.
class HeadOnPage {
public:
    HeadOnPage();
    explicit HeadOnPage(General::Page* page);
    ~HeadOnPage();
    HeadOnPage(const HeadOnPage&) = delete;
    HeadOnPage& operator=(const HeadOnPage&) = delete;

    RecordingPage page;
};

// What the head does with `bytes` handed to it directly, no port in between.
std::vector<Mark> PrintDirectly(const std::string& bytes);

// Sets (or, with nullopt, removes) an environment variable for the object's lifetime,
// then puts back what was there, unset included.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    // The variable's value now, nullopt when unset.
    static std::optional<std::string> Get(const char* name);

private:
    static void Set(const char* name, const std::optional<std::string>& value);
    std::string name_;
    std::optional<std::string> saved_;
};

// Runs `step` until `done` holds (true) or `limit` has passed (false): for waiting on
// another process, with a generous deadline.
template <typename Done, typename Step>
bool Until(std::chrono::seconds limit, Done done, Step step) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        step();
    }
    return true;
}

// Until, checking every 50 ms.
template <typename Done>
bool Within(std::chrono::seconds limit, Done done) {
    return Until(limit, done, [] { std::this_thread::sleep_for(std::chrono::milliseconds(50)); });
}

// Points the temporary directory (TMPDIR, or TMP on Windows) at a fresh directory for the
// test's lifetime, then removes it.
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
    // Port `port`'s byte as the file holds it now (0 beyond its end or without a file).
    std::uint8_t portByte(std::int32_t port = 130) const;
    // A file of this test's directory, read whole ("" when missing).
    std::string readFile(const std::string& name) const;
    // Where a child's standard error goes, and what it said there.
    std::string errorsFile() const { return (dir_ / "stderr.txt").string(); }
    std::string errors() const { return readFile("stderr.txt"); }

private:
    std::filesystem::path dir_;
    std::optional<ScopedEnv> temp_;
};

// A homed print head on a recording page; ticks(n) keeps the port file's reports in `report`.
class PollTest : public PortFileTest {
protected:
    void SetUp() override;
    void TearDown() override;
    void ticks(int n);
    int reportLines() const;
    // Polls until `child` ends (failing the test after `limit`); its exit status.
    int pollUntilExit(class Child& child, std::chrono::seconds limit = std::chrono::seconds(60));

    std::optional<HeadOnPage> head;
    RecordingPage* printed = nullptr;
    std::ostringstream report;
    PortReport reporter;
};

// Another process that holds an advisory lock on one byte of a file until destroyed, or
// for `holdMicroseconds` from the moment the constructor returns when that is not 0.
class LockHolder {
public:
    LockHolder(const std::filesystem::path& file, std::int64_t offset, bool exclusive,
               int holdMicroseconds = 0);
    ~LockHolder();
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

private:
    struct Process;
    Process* process_;
};

// For a test program's main: runs the helper side of a LockHolder when this process was
// started as one (on Windows, where a holder is this program started again); its exit
// status, or nullopt for an ordinary run.
std::optional<int> RunHelper(int argc, char** argv);

// What a shell command prints on standard output, without its last line end.
std::string Capture(const std::string& command);

// The first executable `name` on PATH, or "" when there is none.
std::string FindProgram(const std::string& name);

// Whether the shared /tmp/dov_port.dat exists: a test that must prove it is never created
// skips when it is there already, since it may be a real printer's.
bool SharedPortFileExists();
#define SKIP_IF_SHARED_PORT_FILE_EXISTS()                                             \
    if (pexal_test::SharedPortFileExists())                                           \
    GTEST_SKIP() << "/tmp/dov_port.dat exists (a real printer's?); not judging it"

// A program run with arguments, its standard input a pipe when asked, its standard error
// into a file when named (or closed, or a pipe nobody reads). Killed and waited for if it
// still runs when destroyed. POSIX only.
enum class Stderr { kAsNamed, kClosed, kDeadPipe };

class Child {
public:
    Child(const std::vector<std::string>& argv, bool pipeInput = false,
          const std::string& stderrFile = "", Stderr mode = Stderr::kAsNamed);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    int pid() const { return pid_; }
    // Writes all of `bytes` to its standard input.
    void Write(const std::string& bytes);
    void CloseInput();
    // The exit status (128 + signal when killed) once it has ended, nullopt while it runs.
    std::optional<int> Finished();
    int Wait();

private:
    int pid_ = -1;
    int stdin_ = -1;
    std::optional<int> status_;
};

// The port calls' byte, for a test that looks at the byte first; `why` gets the status.
inline std::uint8_t ReadByte(std::int32_t port, io::Status* why = nullptr) {
    std::uint8_t byte = 0;
    const io::Status status = io::READ_IO_BYTE(port, &byte);
    if (why != nullptr) *why = status;
    return byte;
}
inline std::uint8_t TakeByte(std::int32_t port, io::Status* why = nullptr) {
    std::uint8_t byte = 0;
    const io::Status status = io::TAKE_IO_BYTE(port, &byte);
    if (why != nullptr) *why = status;
    return byte;
}
inline std::uint8_t SwapByte(io::SenderLock& lock, std::int32_t port, std::uint8_t expected,
                             std::uint8_t value, io::Status* why = nullptr) {
    std::uint8_t held = 0;
    const io::Status status = lock.Swap(port, expected, value, &held);
    if (why != nullptr) *why = status;
    return held;
}
inline std::uint8_t LookByte(io::SenderLock& lock, std::int32_t port) {
    std::uint8_t byte = 0;
    lock.Read(port, &byte);
    return byte;
}

}  // namespace pexal_test
