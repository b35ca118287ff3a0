// Starts a program and reads its CPU time at the X event that maps its first top-level
// window, not when some later poll happens to see the window: the program and the
// watcher both run on meanwhile. Prints "ms-to-map resident-KiB cpu-us", the memory a
// second after the map; then ends the program.
// Usage: pexal_map_watch PROGRAM
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

namespace {

long ReadField(const std::string& file, const std::string& key) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (key.empty()) return std::stol(line.substr(0, line.find(' ')));
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(key.size()));
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: pexal_map_watch PROGRAM\n");
        return 2;
    }
    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x) != 0) {
        std::fprintf(stderr, "pexal_map_watch: no X display\n");
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_request_check(x, xcb_change_window_attributes_checked(x, root, XCB_CW_EVENT_MASK, &mask));

    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        ::execl(argv[1], argv[1], static_cast<char*>(nullptr));
        ::_exit(127);
    }
    long cpu = -1;
    std::chrono::steady_clock::duration toMap{};
    while (xcb_generic_event_t* event = xcb_wait_for_event(x)) {
        const std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> owned(event, &std::free);
        if ((event->response_type & 0x7f) != XCB_MAP_NOTIFY) continue;
        // Read first, look after: the CPU time is the program's at the map itself.
        cpu = ReadField("/proc/" + std::to_string(child) + "/schedstat", "") / 1000;
        toMap = std::chrono::steady_clock::now() - start;
        if (!reinterpret_cast<xcb_map_notify_event_t*>(event)->override_redirect) break;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const long resident = ReadField("/proc/" + std::to_string(child) + "/status", "VmRSS:");
    ::kill(child, SIGTERM);
    int status = 0;
    ::waitpid(child, &status, 0);
    xcb_disconnect(x);
    if (cpu < 0) return 1;
    std::printf("%ld %ld %ld\n",
                static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(toMap).count()),
                resident, cpu);
    return 0;
}
