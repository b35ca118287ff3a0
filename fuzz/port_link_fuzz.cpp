// Any port number against any port file: a read returns the port's byte or 0, a write
// changes that one byte (extending the file with zeros) and nothing else, and ports below
// 100 never touch the file; a sender holding its lock reads and takes back the same byte.
// Input: port (4 bytes, little-endian), value (1 byte), file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "port/io.h"

namespace {

std::string path;

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Under the caller's TMPDIR, which scripts/fuzz points at a directory it removes.
    std::string dir = (std::filesystem::temp_directory_path() / "pexal-fuzz-XXXXXX").string();
    Check(::mkdtemp(dir.data()) != nullptr);
    ::setenv("TMPDIR", dir.c_str(), 1);
    path = io::PortFilePath();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) return 0;
    std::uint32_t raw;
    std::memcpy(&raw, data, 4);
    const auto port = static_cast<std::int32_t>(raw);
    const std::uint8_t value = data[4];
    const std::string content(reinterpret_cast<const char*>(data + 5), size - 5);

    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    Check(fd >= 0 && ::write(fd, content.data(), content.size()) == ssize_t(content.size()));

    const bool hasSlot = port >= 100;
    const std::int64_t offset = std::int64_t{port} - 100;
    std::uint8_t got = 1;
    const io::Status why = io::READ_IO_BYTE(port, &got);
    const bool inFile = hasSlot && offset < std::int64_t(content.size());
    Check(got == (inFile ? static_cast<std::uint8_t>(content[offset]) : 0));
    Check(why.ok() == hasSlot);

    Check(io::WRITE_IO_BYTE(port, value).ok() == hasSlot);
    struct stat info = {};
    Check(::fstat(fd, &info) == 0);
    const std::int64_t expectedSize =
        hasSlot ? std::max<std::int64_t>(content.size(), offset + 1) : content.size();
    Check(info.st_size == expectedSize);
    std::string now(content.size(), '\0');
    Check(::pread(fd, now.data(), now.size(), 0) == ssize_t(now.size()));
    std::string expected = content;
    if (inFile) expected[offset] = static_cast<char>(value);
    Check(now == expected);
    if (hasSlot) {
        std::uint8_t stored = 0;
        Check(::pread(fd, &stored, 1, offset) == 1 && stored == value);
        // The same byte through a sender's lock, which moves it in the file it holds open.
        io::SenderLock sender;
        std::uint8_t looked = 0, held = 0;
        Check(sender.TryLock(port).ok() && sender.Read(port, &looked).ok() && looked == value);
        Check(sender.Swap(port, value, 0, &held).ok() && held == value);
        Check(::pread(fd, &stored, 1, offset) == 1 && stored == 0);
    }
    ::close(fd);
    return 0;
}
