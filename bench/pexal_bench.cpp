// Run: build/bench/pexal_bench. IdleTickCost reports an idle tick as a multiple of the
// bare open + read + close it cannot do without (counter "ratio").
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <QGuiApplication>
#include <chrono>
#include <cstdlib>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

#include "host/handshake.h"
#include "port/io.h"
#include "port/poll_port.h"
#include "printhead/general.h"
#include "printhead/page_image.h"

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
    PageImage page;
    General::InitPrinter();
    General::SetPage(&page);
    for (auto _ : state) {
        General::HomeHead();
        General::PrintChar("W");
    }
    General::SetPage(nullptr);
}
BENCHMARK(PrintCharOnPageImage);

// One byte through the whole handshake against a printer polling without pause: the
// host's cost per byte, apart from the printer's 200 ms tick.
void HandshakeByte(benchmark::State& state) {
    PrepareIdlePort();
    std::atomic<bool> stop = false;
    std::thread printer([&] {
        General::InitPrinter();
        General::HomeHead();
        General::SetPage(nullptr);
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

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
