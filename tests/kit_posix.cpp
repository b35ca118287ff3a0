// The test kit's processes and environment on POSIX systems.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "port/poll_port.h"
#include "tests/kit.h"

namespace pexal_test {

void ScopedEnv::Set(const char* name, const std::optional<std::string>& value) {
    if (value) {
        ::setenv(name, value->c_str(), 1);
    } else {
        ::unsetenv(name);
    }
}

int PollTest::pollUntilExit(Child& child, std::chrono::seconds limit) {
    std::optional<int> status;
    const bool ended = Until(limit, [&] { return (status = child.Finished()); }, [] { PollPort(); });
    EXPECT_TRUE(ended) << "the child did not end within " << limit.count() << " s";
    return status ? *status : -1;  // one still running is killed with its Child
}

struct LockHolder::Process {
    pid_t child = -1;
    int release = -1;
};

LockHolder::LockHolder(const std::filesystem::path& file, std::int64_t offset, bool exclusive,
                       int holdMicroseconds)
    : process_(new Process) {
    int ready[2], release[2];
    if (::pipe(ready) != 0 || ::pipe(release) != 0) std::abort();
    process_->child = ::fork();
    if (process_->child == 0) {
        ::close(ready[0]);
        ::close(release[1]);
        const int fd = ::open(file.c_str(), O_RDWR | O_CREAT, 0600);
        struct flock lock = {};
        lock.l_type = exclusive ? F_WRLCK : F_RDLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = static_cast<off_t>(offset);
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
    process_->release = release[1];
    char ok = 0;
    (void)!::read(ready[0], &ok, 1);
    ::close(ready[0]);
    EXPECT_EQ(ok, 1) << "the lock holder could not lock " << file;
}

LockHolder::~LockHolder() {
    ::close(process_->release);
    int status;
    ::waitpid(process_->child, &status, 0);
    delete process_;
}

std::optional<int> RunHelper(int, char**) { return std::nullopt; }

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

std::string FindProgram(const std::string& name) {
    std::istringstream path(ScopedEnv::Get("PATH").value_or("/usr/bin:/bin"));
    for (std::string dir; std::getline(path, dir, ':');) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
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
