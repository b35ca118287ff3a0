// Run: build/bench/pexal_bench. IdleTickCost reports an idle tick as a multiple of the
// bare open + read + close it cannot do without (counter "ratio").
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/facts.h"
#include "host/handshake.h"
#include "port/io.h"
#include "port/poll_port.h"
#include "printhead/general.h"
#include "window/qt/paper.h"

namespace {

std::string PrepareIdlePort() {
    static const std::string path = [] {
        std::string dir = (std::filesystem::temp_directory_path() / "pexal-bench-XXXXXX").string();
        if (::mkdtemp(dir.data()) == nullptr) std::abort();
        ::setenv("TMPDIR", dir.c_str(), 1);
        io::WRITE_IO_BYTE(130, 0);
        return io::PortFilePath();
    }();
    return path;
}

void BareRead(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR);
    unsigned char byte = 0;
    benchmark::DoNotOptimize(::pread(fd, &byte, 1, 30));
    ::close(fd);
}

template <typename F>
double SecondsPer(F f, int n) {
    const auto start = std::chrono::steady_clock::now();
    for (int k = 0; k < n; ++k) f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / n;
}

void IdleTick(benchmark::State& state) {
    PrepareIdlePort();
    for (auto _ : state) PollPort();
}
BENCHMARK(IdleTick);

void BareOpenReadClose(benchmark::State& state) {
    const std::string path = PrepareIdlePort();
    for (auto _ : state) BareRead(path);
}
BENCHMARK(BareOpenReadClose);

// Both loops interleaved in one run, so machine noise hits both alike.
void IdleTickCost(benchmark::State& state) {
    const std::string path = PrepareIdlePort();
    double tick = 0, bare = 0;
    for (auto _ : state) {
        tick += SecondsPer([] { PollPort(); }, 2000);
        bare += SecondsPer([&] { BareRead(path); }, 2000);
    }
    state.counters["ratio"] = tick / bare;
}
BENCHMARK(IdleTickCost)->Iterations(20)->Unit(benchmark::kMillisecond);

void PrintCharOnPageImage(benchmark::State& state) {
    Paper paper;
    printer::Session session(paper);
    for (auto _ : state) {
        General::HomeHead();
        General::PrintChar("W");
    }
}
BENCHMARK(PrintCharOnPageImage);

// One byte through the whole handshake against a printer polling without pause: the
// host's cost per byte, apart from the printer's 200 ms tick.
void HandshakeByte(benchmark::State& state) {
    PrepareIdlePort();
    std::atomic<bool> stop = false;
    std::thread printer([&] {
        General::Load(nullptr);
        while (!stop) PollPort();
    });
    host::Handshake link;
    for (auto _ : state) {
        link.Put('x');
        link.WaitUntilTaken();
    }
    stop = true;
    printer.join();
    state.counters["taken"] = static_cast<double>(link.taken());
}
BENCHMARK(HandshakeByte)->Unit(benchmark::kMillisecond);

// How long a sender waits for each byte to be taken, with the printer ticking every
// 200 ms and the sender polling the port (and so holding locks) all the while: about
// 200 ms at most when no collision costs a tick. Counters in ms; the argument is the
// number of bytes (200 is 40 s).
void AckLatency(benchmark::State& state) {
    PrepareIdlePort();
    std::atomic<bool> stop = false;
    std::thread printer([&] {
        General::Load(nullptr);
        for (auto tick = std::chrono::steady_clock::now(); !stop;) {
            std::this_thread::sleep_until(tick += pexal::kPollInterval);
            PollPort();
        }
    });
    host::Handshake link(pexal::kDataPort, std::chrono::seconds(5));
    std::vector<double> waits;
    for (auto _ : state) {
        for (int k = 0; k < state.range(0); ++k) {
            if (!link.Put('x').ok()) break;
            const auto stored = std::chrono::steady_clock::now();
            if (!link.WaitUntilTaken().ok()) break;
            waits.push_back(std::chrono::duration<double, std::milli>(
                                std::chrono::steady_clock::now() - stored).count());
        }
    }
    stop = true;
    printer.join();
    if (waits.empty()) return state.SkipWithError("no byte was taken");
    std::sort(waits.begin(), waits.end());
    const auto at = [&](double q) { return waits[static_cast<std::size_t>(q * (waits.size() - 1))]; };
    state.counters["min_ms"] = waits.front();
    state.counters["median_ms"] = at(0.5);
    state.counters["p99_ms"] = at(0.99);
    state.counters["max_ms"] = waits.back();
}
BENCHMARK(AckLatency)->Arg(200)->Iterations(1)->Unit(benchmark::kSecond);

// What pexal-send costs, measured on the process itself: the share of a core it takes
// while it waits 5 s for a printer that is not there, and, feeding 50 bytes to a printer
// that ticks every 200 ms (played here, with the printer's own take), its CPU time a byte
// and how soon after each take it stores the next byte.
pid_t Spawn(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) std::abort();
    return pid;
}

double CpuSeconds(const rusage& usage) {
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec / 1e6;
}

void SenderCost(benchmark::State& state) {
    const std::string path = PrepareIdlePort();
    // PEXAL_SEND names another build of the program, to compare.
    const char* other = std::getenv("PEXAL_SEND");
    const std::string program = other != nullptr ? other : PEXAL_SEND_PATH;
    constexpr int kBytes = 50;
    std::vector<double> stores;  // ms from a take to the next byte in the port
    double waitingShare = 0, cpuPerByte = 0;
    for (auto _ : state) {
        io::WRITE_IO_BYTE(pexal::kDataPort, 0);
        rusage usage = {};
        int status = 0;
        const pid_t waiting = Spawn({program, "--raw", "-n", "--timeout", "5", "x"});
        ::wait4(waiting, &status, 0, &usage);
        waitingShare = CpuSeconds(usage) / 5 * 100;

        const int port = ::open(path.c_str(), O_RDONLY);  // looked at without a lock
        const pid_t feeding = Spawn({program, "--raw", "-n", "--timeout", "20",
                                     std::string(kBytes, 'x')});
        const auto held = [&] {
            std::uint8_t byte = 0;
            return ::pread(port, &byte, 1, pexal::kDataPort - pexal::kFirstPort) == 1 && byte != 0;
        };
        usage = {};
        for (auto tick = std::chrono::steady_clock::now();
             ::wait4(feeding, &status, WNOHANG, &usage) == 0;) {
            std::this_thread::sleep_until(tick += pexal::kPollInterval);
            std::uint8_t byte = 0;
            if (!io::TAKE_IO_BYTE(pexal::kDataPort, &byte).ok() || byte == 0) continue;
            const auto taken = std::chrono::steady_clock::now();
            while (!held() && std::chrono::steady_clock::now() < tick + pexal::kPollInterval / 2) {
            }
            if (held()) {
                stores.push_back(std::chrono::duration<double, std::milli>(
                                     std::chrono::steady_clock::now() - taken).count());
            }
        }
        ::close(port);
        cpuPerByte = CpuSeconds(usage) * 1000;
    }
    rusage started = {};  // what starting the program costs, apart from any byte
    int status = 0;
    ::wait4(Spawn({program, "--version"}), &status, 0, &started);
    std::sort(stores.begin(), stores.end());
    state.counters["start_cpu_ms"] = CpuSeconds(started) * 1000;
    state.counters["waiting_core_percent"] = waitingShare;
    state.counters["feeding_cpu_ms_per_byte"] = cpuPerByte / kBytes;
    state.counters["store_after_take_median_ms"] = stores.empty() ? -1 : stores[stores.size() / 2];
    state.counters["store_after_take_max_ms"] = stores.empty() ? -1 : stores.back();
}
BENCHMARK(SenderCost)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
