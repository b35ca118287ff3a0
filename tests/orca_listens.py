#!/usr/bin/python3
"""Follows the printer with the real screen reader, Orca, and checks what it says.

Run on an X display of its own (scripts/xvfb-session):
    orca_listens.py [--show] PRINTER
Starts a private D-Bus session, the accessibility bus and registry, speech-dispatcher
(speech synthesised, the sound discarded), the printer and Orca; types keys with xdotool,
prints through the port file, and reads what Orca spoke from its debug log. Exit 0 when
Orca said what a listener must hear, 1 with the differences, 77 when Orca cannot run here.
With --show it prints what Orca said at each step and checks nothing.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import warnings

warnings.simplefilter("ignore", DeprecationWarning)  # the interface getters Debian 12 has

LIBEXEC = "/usr/libexec"
LINE_BUFFERED_ORCA = """
import builtins, runpy, sys
log, real_open = sys.argv[1], builtins.open
def open_(file, mode="r", buffering=-1, *rest, **named):
    if file == log:
        buffering = 1
    return real_open(file, mode, buffering, *rest, **named)
builtins.open = open_
sys.argv = ["orca"] + sys.argv[2:]
runpy.run_path("/usr/bin/orca", run_name="__main__")
"""


class Session:
    def __init__(self, work):
        self.work, self.started = work, []
        self.errors = open(os.path.join(work, "errors.log"), "w")

    def begin(self, printer):
        work = self.work
        self.env = dict(os.environ, HOME=os.path.join(work, "home"), TMPDIR=work,
                        XDG_RUNTIME_DIR=os.path.join(work, "run"), NO_AT_BRIDGE="0",
                        XDG_CONFIG_HOME=os.path.join(work, "home", ".config"))
        os.makedirs(self.env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
        os.makedirs(self.env["HOME"], exist_ok=True)
        with open(os.path.join(self.env["HOME"], ".libao"), "w") as libao:
            libao.write("default_driver=null\n")  # speech is synthesised, never played
        bus = os.path.join(work, "bus")
        self.start(["dbus-daemon", "--session", "--nofork", "--nosyslog",
                    "--address=unix:path=" + bus])
        self.env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + bus
        self.until(lambda: os.path.exists(bus), 10)
        self.start([os.path.join(LIBEXEC, "at-spi-bus-launcher"), "--launch-immediately"])
        self.start([os.path.join(LIBEXEC, "at-spi2-registryd")])
        config = os.path.join(work, "speechd")
        shutil.copytree("/etc/speech-dispatcher", config)
        with open(os.path.join(config, "speechd.conf"), "a") as conf:
            conf.write('\nAudioOutputMethod "libao"\nDefaultModule espeak-ng\n')
        sock = os.path.join(work, "speechd.sock")
        self.start(["speech-dispatcher", "-s", "-t", "0", "-c", "unix_socket", "-S", sock,
                    "-C", config])
        self.env["SPEECHD_ADDRESS"] = "unix_socket:" + sock
        self.port = os.path.join(work, "dov_port.dat")
        with open(self.port, "wb") as port:
            port.write(bytes(256))
        self.printer = self.start([os.path.abspath(printer)], QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                                  QT_QPA_PLATFORM="xcb", QT_ACCESSIBILITY="1")
        self.log = os.path.join(work, "orca.log")
        # Orca as it is, but writing its log a line at a time, so that what it said is
        # there to read as soon as it is said.
        self.orca = self.start(["/usr/bin/python3", "-c", LINE_BUFFERED_ORCA, self.log, "-u",
                                os.path.join(work, "orca-prefs"), "--debug-file=" + self.log])
        self.read_to = 0

    def start(self, command, **extra):
        process = subprocess.Popen(command, env=dict(self.env, **extra), cwd=self.work,
                                   stdout=subprocess.DEVNULL, stderr=self.errors,
                                   start_new_session=True)
        self.started.append(process)
        return process

    def stop(self):
        self.errors.close()
        for process in reversed(self.started):
            if process.poll() is None:
                process.send_signal(signal.SIGKILL if process is self.orca else signal.SIGTERM)
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait(5)

    @staticmethod
    def until(done, seconds):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if done():
                return True
            time.sleep(0.05)
        return bool(done())

    def log_text(self):
        try:
            with open(self.log, encoding="utf-8", errors="replace") as log:
                return log.read()
        except FileNotFoundError:
            return ""

    def spoken(self):
        """What Orca said since the last call, one string per utterance."""
        text = self.log_text()
        new, self.read_to = text[self.read_to:], len(text)
        # Say all speaks through its own path, and logs each piece as SAY ALL.
        found = re.findall(r"SPEECH OUTPUT: '(.*?)' ?[\[{]|SAY ALL: \[[^]]*\] '(.*?)' \(", new, re.S)
        return [s.strip() for pair in found for s in pair if s.strip()]

    def keys(self, *keys):
        # Modifiers are held around the key until Orca has seen what it did.
        for key in keys:
            *held, main = key.split("+")
            for action, names in (("keydown", held), ("key", [main]), ("keyup", held[::-1])):
                if names:
                    subprocess.run(["xdotool", action] + names, env=self.env, timeout=10,
                                   check=True)
                    time.sleep(0.3)

    def print_bytes(self, data):
        for byte in data:
            with open(self.port, "r+b") as port:
                port.seek(30)
                port.write(bytes([byte]))
            if not self.until(lambda: open(self.port, "rb").read()[30] == 0, 10):
                raise RuntimeError("the printer did not take a byte")

    def step(self, keys=(), data=b"", wanted=()):
        """What Orca says after the keys and the bytes: until it has said all that is
        wanted (its log is written in bursts), and for a second more."""
        self.spoken()
        self.keys(*keys)
        self.print_bytes(data)
        said = []
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            said += self.spoken()
            if all(re.search(w, "\n".join(said), re.M) for w in wanted):
                break
            time.sleep(0.1)
        time.sleep(1.0)
        return said + self.spoken()


def main():
    show = "--show" in sys.argv
    args = [a for a in sys.argv[1:] if a != "--show"]
    printer, = args
    with tempfile.TemporaryDirectory(prefix="pexal-orca-") as work:
        return listen(printer, work, show)


def listen(printer, work, show):
    for tool in ("/usr/bin/orca", "speech-dispatcher", "xdotool", "dbus-daemon"):
        if shutil.which(tool) is None:
            print("no %s (scripts/deps installs it)" % tool)
            return 77
    session = Session(work)
    failures = []
    try:
        session.begin(printer)
        # Skipped only when Orca cannot start at all; one that runs and says nothing fails,
        # given time on a slow machine.
        spoke = lambda: "SPEECH OUTPUT" in session.log_text()
        if not session.until(lambda: spoke() or session.orca.poll() is not None, 150):
            print("Orca ran but said nothing in 150 s:\n" + session.log_text()[-2000:])
            return 1
        if not spoke():
            print("Orca could not start:\n" + session.log_text()[-2000:])
            return 77
        time.sleep(2)  # Orca settles into the desktop
        # The window must have the focus for Orca to follow it.
        if not session.until(lambda: subprocess.run(
                ["xdotool", "search", "--name", "^Pexal Printer$", "windowfocus"],
                env=session.env, timeout=10, capture_output=True).returncode == 0, 20):
            print("the printer's window never appeared")
            return 1
        session.step(wanted=[r"New page"])

        # Each step: what is done, the keys, the bytes printed, what Orca must say (each
        # pattern found in the utterances, one a line) and what it must not.
        steps = [
            # The button has the focus first; the label is no stop, so Tab goes to the page.
            ("Tab to the empty page", ["Tab"], b"", [r"Page, empty"], []),
            ("the page focused, the host prints Hello CR LF world", [], b"Hello\r\nworld",
             [r"^Hello$", r"^\s*world$"], [r"^[Hw]$", r"notification"]),
            ("where am I names the page", ["KP_Enter"], b"", [r"^Page\b"], []),
            ("Ctrl+Shift+P says where the print head is", ["ctrl+shift+p"], b"", [r"line 2, column 6"], []),
            ("Up reads the line above", ["Up"], b"", [r"^Hello$"], []),
            ("Home, then Right reads the second character", ["Home", "Right"], b"", [r"^e$"], []),
            ("Down reads the line below", ["Down"], b"", [r"^world$"], []),
            ("the host prints while the user reads", [], b" and", [r"notification and"], []),
            ("Ctrl+End reads the last line", ["ctrl+End"], b"", [r"^world and$"], []),
            ("Ctrl+Left and Ctrl+Right at the end read words", ["ctrl+Left", "ctrl+Right"],
             b"", [r"^and$"], []),
            ("Ctrl+Home goes to the top", ["ctrl+Home"], b"", [r"^Hello$"], []),
            ("say all reads on from the caret", ["KP_Add"], b"", [r"world and"], []),
            ("Shift+F10 opens the page's menu, Down reads its first item", ["shift+F10", "Down"], b"",
             [r"Copy text"], []),
            ("Escape goes back to the page", ["Escape"], b"", [r"world and"], []),
            ("Shift+Tab to the button, the host prints", ["shift+Tab"], b"\r\nmore",
             [r"New page", r"notification more"], []),
            ("New page is pressed", ["space"], b"", [r"The page is empty"], []),
            ("the host prints, the button focused", [], b"Hello", [r"notification Hello"], []),
            ("a line printed, the button focused: one phrase, one role word",
             [], b"\r\none two three\r\n", [r"notification one two three"], [r"notification (two|three)"]),
            ("Tab back to the page: its last line", ["Tab"], b"", [r"^one two three\.?$"], [r"thre\b"]),
            ("an overprint on the followed page is said once", [], b"X\bY",
             [r"^X$", r"^Y$"], [r"notification"]),
            ("Up, then Ctrl+End to follow the printing again", ["Up", "ctrl+End"], b"", [], []),
            ("each new line then said once, not with the one before", [], b"\r\nrow two\r\nrow three",
             [r"^row$", r"^two$", r"^three$"], [r"\n\s{2,}row"]),
        ]
        for what, keys, data, wanted, unwanted in steps:
            said = session.step(keys, data, wanted)
            joined = "\n".join(said)
            ok = all(re.search(w, joined, re.M) for w in wanted) and not any(
                re.search(u, joined, re.M) for u in unwanted)
            print(("ok   " if ok or show else "FAIL ") + "%s: %s" % (what, " | ".join(said) or "(nothing)"))
            if not ok and not show:
                failures.append(what)
        # Any client may ask for any unit at any offset: every answer comes, and the
        # printer goes on taking bytes.
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = session.env["DBUS_SESSION_BUS_ADDRESS"]
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi, Gio, GLib
        session.print_bytes(b" world")
        time.sleep(1.5)  # said after a second's quiet
        desktop = Atspi.get_desktop(0)
        apps = [desktop.get_child_at_index(k) for k in range(desktop.get_child_count())]
        app = next(a for a in apps if a is not None and a.get_name() == "pexal-printer")
        page = app.get_child_at_index(0).get_child_at_index(2)  # the window's third control
        text = page.get_text_iface()
        count = text.get_character_count()
        answers = 0
        for boundary in range(7):  # character, word start and end, ..., line end
            for offset in range(-1, count + 2):
                for ask in (text.get_text_at_offset, text.get_text_before_offset,
                            text.get_text_after_offset):
                    ask(offset, Atspi.TextBoundaryType(boundary))
                    answers += 1
        # Qt's own answer to the first asks for every offset up to the largest, and never
        # ends; to the second, none comes.
        began = time.monotonic()
        extents = text.get_range_extents(0, 2147483647, Atspi.CoordType.SCREEN)
        answers += extents.width > 0
        # Asked on the bus itself: Debian 12's libatspi hands Python ranges it cannot read.
        bus = Gio.bus_get_sync(Gio.BusType.SESSION).call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus",
                                                              "GetAddress", None, None, 0, 5000).unpack()[0]
        a11y = Gio.DBusConnection.new_for_address_sync(bus, Gio.DBusConnectionFlags(9), None)  # client, bus
        box = (extents.x, extents.y, extents.width, extents.height, 0, 0, 0)
        ranges = a11y.call_sync(page.app.bus_name, page.path, "org.a11y.atspi.Text", "GetBoundedRanges",
                                GLib.Variant("(iiiiuuu)", box), None, 0, 5000).unpack()[0]
        answers += "".join(content for _, _, content, _ in ranges).endswith("world")
        took = time.monotonic() - began
        word = text.get_text_at_offset(count, Atspi.TextBoundaryType.WORD_START)
        ok = page.get_name() == "Page" and word.content == "world" and answers == 7 * 3 * (count + 3) + 2
        print(("ok   " if ok else "FAIL ") + "%d questions answered on %r (the two range calls in %.3f s); "
              "the word at the end is %r" % (answers, text.get_text(0, count), took, word.content))
        session.print_bytes(b"!")  # raises when the printer no longer takes bytes
        if not ok or session.printer.poll() is not None:
            failures.append("every question answered")
    finally:
        session.stop()
    if failures:
        print("Orca's log ends:\n" + session.log_text()[-3000:])
    return 1 if failures else 0


if __name__ == "__main__":
    sys.stdout = sys.stderr
    sys.exit(main())
