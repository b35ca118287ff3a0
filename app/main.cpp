#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "app/single_printer.h"
#include "common/text.h"
#include "port/io.h"
#include "window/qt/form1.h"

namespace {

// Started with a standard stream closed, the printer would hand that number to the next
// file it opens (the display connection, say) and later write its reports into it; with
// standard error a pipe nobody reads, the first report would kill it. Neither may stop
// the printer: closed streams lead nowhere, and a report that cannot be written is lost.
void MakeStandardStreamsHarmless() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1) {
            const int null = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
            if (null >= 0 && null != fd) {
                ::dup2(null, fd);
                ::close(null);
            }
        }
    }
    ::signal(SIGPIPE, SIG_IGN);
}

void Say(const std::string& line) { pexal::Say(pexal::kPrinter, line); }

const char* EnvironmentOr(const char* name, const char* otherwise) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : otherwise;
}

// Qt ends the program with an abort, and a hint about reinstalling it, when no display can
// be reached. While the application starts, its messages wait here; a fatal one becomes
// one line that names what is missing.
std::vector<std::pair<QtMsgType, QString>> startupMessages;
QtMessageHandler qtHandler = nullptr;

void HoldStartupMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtFatalMsg) {
        startupMessages.emplace_back(type, text);
        return;
    }
    // Shown as paths are, so that whatever the variables hold the message stays one line.
    Say("needs a graphical display, and none could be reached (DISPLAY=" +
        pexal::QuotePath(EnvironmentOr("DISPLAY", "unset")) +
        ", WAYLAND_DISPLAY=" + pexal::QuotePath(EnvironmentOr("WAYLAND_DISPLAY", "unset")) + ")");
    (void)context;
    std::_Exit(1);  // Qt would abort, with a hint about reinstalling it
}

void ReleaseStartupMessages() {
    qInstallMessageHandler(qtHandler);
    for (const auto& [type, text] : startupMessages) {
        qt_message_output(type, QMessageLogContext(), text);
    }
    startupMessages.clear();
}

}  // namespace

// A scale no screen needs would make the window and its page image grow by the hundreds of
// megabytes, and the printer stop taking bytes while it draws them; one of zero, below
// zero, not a number or next to nothing would leave nothing to draw. Each of Qt's scale
// variables is held to what a screen may really ask; QT_SCREEN_SCALE_FACTORS is a list,
// each entry a factor or "screen=factor".
bool ScaleIsSane() {
    const struct {
        const char* name;
        double least, most;
        char separator;  // between the entries of a list
    } limits[] = {{"QT_SCALE_FACTOR", 0.25, 8, '\0'}, {"QT_SCREEN_SCALE_FACTORS", 0.25, 8, ';'},
                  {"QT_FONT_DPI", 24, 8 * 96, '\0'}};
    for (const auto& limit : limits) {
        const char* value = std::getenv(limit.name);
        if (value == nullptr || *value == '\0') continue;
        std::istringstream entries(value);
        for (std::string entry; std::getline(entries, entry, limit.separator);) {
            const std::string factor = entry.substr(entry.find('=') == std::string::npos ? 0 : entry.find('=') + 1);
            char* end = nullptr;
            const double asked = std::strtod(factor.c_str(), &end);
            if (!factor.empty() && end != nullptr && *end == '\0' && asked >= limit.least && asked <= limit.most) continue;
            std::ostringstream line;
            line << limit.name << "=" << pexal::QuotePath(value)
                 << (asked > limit.most ? " asks for a window far larger than any screen"
                                        : " is no scale a window can be drawn at")
                 << "; " << limit.least << " to " << limit.most << " is taken";
            Say(line.str());
            return false;
        }
    }
    return true;
}

// With no session bus, the accessibility bridge would have D-Bus launch one of its own for
// the X display, a daemon that outlives the printer and writes under ~/.dbus: the printer
// writes no file but the port file and leaves nothing running. Without a session bus no
// screen reader is there to listen anyway.
void LaunchNoSessionBus() {
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (bus == nullptr || *bus == '\0') ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
}

int main(int, char**) {
    MakeStandardStreamsHarmless();
    if (!ScaleIsSane()) return 1;
    LaunchNoSessionBus();
    // The printer takes no arguments; Qt's own options (-qwindowtitle, -style, ...) would
    // change the window, so Qt sees none either.
    char name[] = "pexal-printer";
    char* arguments[] = {name, nullptr};
    int count = 1;

    qtHandler = qInstallMessageHandler(HoldStartupMessage);
    QApplication app(count, arguments);
    ReleaseStartupMessages();
    QApplication::setApplicationName("pexal-printer");
    QApplication::setApplicationDisplayName("Pexal Printer");
    QApplication::setDesktopFileName("pexal-printer");

    const std::string portFile = io::PortFilePath();
    Form1* shown = nullptr;
    SinglePrinter single(
        portFile,
        [&shown] {
            if (shown == nullptr) return;
            shown->showNormal();
            shown->raise();
            shown->activateWindow();
        },
        [&portFile] {  // the file became another printer's: that one prints from it now
            Say("another printer prints from " + pexal::QuotePath(portFile) + " now; this one stops");
            QApplication::exit(0);
        });
    if (single.claim().kind == pexal::Kind::kTimedOut) {
        Say("another printer of yours holds " + pexal::QuotePath(portFile) +
            " but does not answer (is it stopped?); waiting for it to answer or end");
        single.WaitForAnswer();
    }
    if (single.claim().busy()) {
        Say("already printing from " + pexal::QuotePath(portFile) + "; brought that printer to the front");
        return 0;
    }
    if (!single.claim().ok()) {
        Say("warning: cannot tell whether another printer uses " + pexal::QuotePath(portFile) + " (" +
            single.claim().reason + ")");
    }

    Form1 window;
    shown = &window;
    window.show();
    return QApplication::exec();
}
