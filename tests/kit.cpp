#include "tests/kit.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "port/poll_port.h"
#include "printhead/general.h"

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

std::string PortFileTest::readFile(const std::string& name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void PollTest::SetUp() {
    PortFileTest::SetUp();
    head.emplace();
    printed = &head->page;
    SetPortReport(&report);
}

void PollTest::TearDown() {
    head.reset();
    PortFileTest::TearDown();
}

void PollTest::ticks(int n) {
    for (int k = 0; k < n; ++k) PollPort();
}

int PollTest::pollUntilExit(Child& child) {
    for (;;) {
        if (const auto status = child.Finished()) return *status;
        PollPort();
    }
}

int PollTest::reportLines() const {
    const std::string text = report.str();
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

LockHolder::LockHolder(const std::filesystem::path& file, off_t offset, bool exclusive,
                       int holdMicroseconds) {
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
        if (holdMicroseconds > 0) {
            ::usleep(static_cast<useconds_t>(holdMicroseconds));
            ::close(fd);
        }
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

std::string Capture(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
        ::pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

bool SharedPortFileExists() {
    return std::filesystem::exists(std::filesystem::symlink_status("/tmp/dov_port.dat"));
}

Child::Child(const std::vector<std::string>& argv, bool pipeInput, const std::string& stderrFile,
             Stderr mode) {
    int input[2] = {-1, -1}, dead[2] = {-1, -1};
    if (pipeInput && ::pipe2(input, O_CLOEXEC) != 0) std::abort();
    if (mode == Stderr::kDeadPipe && ::pipe2(dead, O_CLOEXEC) != 0) std::abort();
    pid_ = ::fork();
    if (pid_ == 0) {
        if (pipeInput) ::dup2(input[0], STDIN_FILENO);
        if (mode == Stderr::kClosed) ::close(STDERR_FILENO);
        if (mode == Stderr::kDeadPipe) ::dup2(dead[1], STDERR_FILENO);
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
        stdin_ = input[1];
    }
    if (mode == Stderr::kDeadPipe) {  // the reader is gone before the child writes
        ::close(dead[0]);
        ::close(dead[1]);
    }
}

Child::~Child() {
    CloseInput();
    if (!status_ && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        Wait();
    }
}

void Child::Write(const std::string& bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        const ssize_t n = ::write(stdin_, bytes.data() + at, bytes.size() - at);
        if (n <= 0) return;
        at += static_cast<std::size_t>(n);
    }
}

void Child::CloseInput() {
    if (stdin_ >= 0) ::close(stdin_);
    stdin_ = -1;
}

namespace {
int Decode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }
}  // namespace

std::optional<int> Child::Finished() {
    if (status_) return status_;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) != pid_) return std::nullopt;
    status_ = Decode(status);
    return status_;
}

int Child::Wait() {
    if (status_) return *status_;
    int status = 0;
    ::waitpid(pid_, &status, 0);
    status_ = Decode(status);
    return *status_;
}

}  // namespace pexal_test
