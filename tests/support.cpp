#include "support.h"

#include "general.h"
#include "poll_port.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <fstream>
#include <sstream>

namespace pexal_test {

void PortFileTest::SetUp() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pexal-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    if (const char* old = std::getenv("TMPDIR")) savedTmpdir_ = old;
    ::setenv("TMPDIR", dir_.c_str(), 1);
}

void PortFileTest::TearDown() {
    if (savedTmpdir_) {
        ::setenv("TMPDIR", savedTmpdir_->c_str(), 1);
    } else {
        ::unsetenv("TMPDIR");
    }
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

void PollTest::SetUp() {
    PortFileTest::SetUp();
    General::InitPrinter();
    General::HomeHead();
    General::SetPage(&printed);
    SetPortReport(&report);
}

void PollTest::TearDown() {
    SetPortReport(&std::cerr);
    General::SetPage(nullptr);
    PortFileTest::TearDown();
}

void PollTest::ticks(int n) {
    for (int k = 0; k < n; ++k) PollPort();
}

int PollTest::reportLines() const {
    const std::string text = report.str();
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

LockHolder::LockHolder(const std::filesystem::path& file, off_t offset, bool exclusive) {
    int ready[2], release[2];
    if (::pipe(ready) != 0 || ::pipe(release) != 0) std::abort();
    child_ = ::fork();
    if (child_ == 0) {
        ::close(ready[0]);
        ::close(release[1]);
        const int fd = ::open(file.c_str(), O_RDWR | O_CREAT, 0600);
        struct flock lock = {};
        lock.l_type = exclusive ? F_WRLCK : F_RDLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = offset;
        lock.l_len = 1;
        const char ok = (fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0) ? 1 : 0;
        (void)!::write(ready[1], &ok, 1);
        char ignored;
        (void)!::read(release[0], &ignored, 1);  // until the parent closes its end
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    release_ = release[1];
    char ok = 0;
    (void)!::read(ready[0], &ok, 1);
    ::close(ready[0]);
    EXPECT_EQ(ok, 1) << "the lock holder could not lock " << file;
}

LockHolder::~LockHolder() {
    ::close(release_);
    int status;
    ::waitpid(child_, &status, 0);
}

FallbackPortFileGuard::FallbackPortFileGuard()
    : fd_(::open("/tmp/pexal-test-fallback.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (fd_ >= 0) ::flock(fd_, LOCK_EX);
}

FallbackPortFileGuard::~FallbackPortFileGuard() {
    if (fd_ >= 0) ::close(fd_);
}

ChildProcess Spawn(const std::vector<std::string>& argv, bool pipeInput,
                   const std::string& stderrFile) {
    int input[2] = {-1, -1};
    if (pipeInput && ::pipe(input) != 0) std::abort();
    ChildProcess child;
    child.pid = ::fork();
    if (child.pid == 0) {
        if (pipeInput) {
            ::dup2(input[0], STDIN_FILENO);
            ::close(input[0]);
            ::close(input[1]);
        }
        if (!stderrFile.empty()) {
            const int err = ::open(stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(err, STDERR_FILENO);
        }
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    if (pipeInput) {
        ::close(input[0]);
        child.stdinFd = input[1];
    }
    return child;
}

std::optional<int> Finished(ChildProcess& child) {
    int status = 0;
    if (::waitpid(child.pid, &status, WNOHANG) != child.pid) return std::nullopt;
    child.pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int Wait(ChildProcess& child) {
    int status = 0;
    ::waitpid(child.pid, &status, 0);
    child.pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace pexal_test
