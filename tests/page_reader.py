#!/usr/bin/python3
"""Reads the printer's page the way a screen reader does, through AT-SPI.

Run inside a private D-Bus session (dbus-run-session), on an X display:
    page_reader.py PRINTER PORT_FILE
Starts the accessibility bus and registry, then the printer; prints through the port file,
reads the page's text back, presses "New page" through its accessible action, and checks
the names and roles a listener meets. Exit 0 when all holds, 1 with the reasons, 77 when
AT-SPI cannot start here.
"""
import os
import subprocess
import sys
import time
import warnings

warnings.simplefilter("ignore", DeprecationWarning)  # the interface getters Debian 12 has

LIBEXEC = "/usr/libexec"
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
    print(("ok   " if ok else "FAIL ") + what, flush=True)


def until(done, seconds, step=None):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = done()
        if value:
            return value
        (step or (lambda: time.sleep(0.05)))()
    return done()


def main():
    sys.stdout = sys.stderr  # one stream: the test shows it whole when something fails
    printer_path, port_file = sys.argv[1], sys.argv[2]
    started = []
    try:
        for daemon in (["at-spi-bus-launcher", "--launch-immediately"], ["at-spi2-registryd"]):
            path = os.path.join(LIBEXEC, daemon[0])
            if not os.access(path, os.X_OK):
                print("no " + path + " (package at-spi2-core)")
                return 77
            started.append(subprocess.Popen([path] + daemon[1:], stderr=subprocess.DEVNULL))
        time.sleep(0.5)  # the bus announces itself on the session bus
        try:
            import gi
            gi.require_version("Atspi", "2.0")
            from gi.repository import Atspi, GLib
        except (ImportError, ValueError) as error:
            print("no AT-SPI client library: %s (package python3-pyatspi)" % error)
            return 77

        environment = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb",
                           TMPDIR=os.path.dirname(port_file))
        printer = subprocess.Popen([printer_path], env=environment)
        started.append(printer)
        desktop = Atspi.get_desktop(0)

        def application():
            for k in range(desktop.get_child_count()):
                child = desktop.get_child_at_index(k)
                if child is not None and child.get_name() == "pexal-printer":
                    return child
            return None

        app = until(application, 30)
        if app is None:
            print("the printer never appeared on the accessibility bus")
            return 77 if printer.poll() is None else 1

        def walk(node, depth=0, found=None):
            found = [] if found is None else found
            found.append((depth, node))
            for k in range(node.get_child_count()):
                child = node.get_child_at_index(k)
                if child is not None:
                    walk(child, depth + 1, found)
            return found

        nodes = until(lambda: [n for _, n in walk(app) if n.get_name() == "Page"] and walk(app), 20)
        for depth, node in nodes:
            print("  " * depth + "%s %r" % (node.get_role_name(), node.get_name()))
        by_name = {node.get_name(): node for _, node in nodes}
        # The page, not the hidden label that names it to Orca.
        page = next((n for _, n in nodes if n.get_name() == "Page" and n.get_role() != Atspi.Role.LABEL), None)
        check(page is not None, 'the page is an object named "Page"')
        if page is None:
            return 1
        check(page.get_role() == Atspi.Role.TERMINAL, "the page's role is terminal (%s)" % page.get_role_name())
        states = page.get_state_set()
        check(not states.contains(Atspi.StateType.EDITABLE), "the page is read-only")
        check(states.contains(Atspi.StateType.FOCUSABLE), "the page takes the keyboard focus")
        picture = by_name.get("Printer")
        check(picture is not None, 'the illustration is named "Printer"')
        check("Printer data port: 130" in by_name and "New page" in by_name,
              "the label and the button are named by their captions")

        changes = []
        listener = Atspi.EventListener.new(lambda event: changes.append(event.type))
        listener.register("object:text-changed")
        pump = lambda: GLib.MainContext.default().iteration(False) or time.sleep(0.01)

        def read():
            text = page.get_text_iface()
            return text.get_text(0, text.get_character_count())

        def store(data):
            for byte in data:
                with open(port_file, "r+b") as port:
                    port.seek(30)
                    port.write(bytes([byte]))
                until(lambda: open(port_file, "rb").read()[30:31] == b"\0", 10, pump)

        store(b"Hi\r\nthere")
        check(until(lambda: read() == "Hi\nthere", 5, pump), "reads %r after Hi CR LF there" % read())
        check(until(lambda: changes, 5, pump), "printing raised text-changed events")
        store(b"\bX")
        check(until(lambda: read() == "Hi\ntherX", 5, pump), "reads %r after BS X" % read())
        text = page.get_text_iface()
        rect = text.get_character_extents(4, Atspi.CoordType.WINDOW)
        box = page.get_component_iface().get_extents(Atspi.CoordType.WINDOW)
        check((rect.x - box.x, rect.y - box.y, rect.width, rect.height) == (3 + 8, 5 + 15, 8, 15),
              "the second line's second character is in its cell (%d,%d %dx%d)"
              % (rect.x - box.x, rect.y - box.y, rect.width, rect.height))
        check(text.get_offset_at_point(rect.x + 4, rect.y + 7, Atspi.CoordType.WINDOW) == 4,
              "a point in that cell is its character")
        line = Atspi.TextBoundaryType.LINE_START
        asked = [text.get_text_before_offset(4, line).content, text.get_text_at_offset(4, line).content,
                 text.get_text_after_offset(0, line).content]
        check(asked == ["Hi\n", "therX", "therX"], "the lines before, at and after: %r" % asked)

        button = by_name["New page"]
        button.get_action_iface().do_action(0)
        check(until(lambda: read() == "", 5, pump), 'reads %r after "New page"' % read())
        listener.deregister("object:text-changed")
        return 1 if failures else 0
    finally:
        for process in reversed(started):
            process.terminate()
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()


if __name__ == "__main__":
    sys.exit(main())
