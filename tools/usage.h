// pexal-send's help text, the same words as its manual page.
#pragma once

inline constexpr char kUsageText[] = R"(Usage: pexal-send [OPTION]... [TEXT...]
       pexal-send [OPTION]... [-]

Print TEXT, or standard input, on the Pexal Printer.

TEXT (the arguments joined by spaces) is sent with a newline at its end, like echo;
with no TEXT, or with -, standard input is sent as it arrives: a line at a time from
a terminal, piece by piece from a pipe.

Each byte waits until the printer's data port reads 0, is stored there, and counts as
taken once the printer has cleared the port again. One pexal-send prints at a time:
a second one waits for the first to finish. A byte the printer has not taken when
pexal-send gives up (a timeout, Ctrl-C, SIGTERM, SIGHUP) is taken back, so nothing is
left in the port.

Text is read as UTF-8 and sent in windows-1252; a character without a windows-1252
code is sent as "?" with a warning, and each newline is sent as CR LF so that every
line starts at the left margin. The page holds 26 columns and 19 lines: pexal-send
warns when a line runs past the right edge or the text past the last line.

Options:
  -r, --raw          send the bytes unchanged (a zero byte cannot be sent: 0 means empty)
  -n, --no-newline   do not end TEXT with a newline
  -w, --wrap         fold lines at the page's 26 columns, at a space where there is one
  -p, --port=N       the data port, 100 or above (default 130)
  -t, --timeout=S    seconds to wait for the printer to take each byte (default 10)
  -h, --help         show this help and exit
  -V, --version      show the version and exit

The port file is dov_port.dat in $TMPDIR, or in /tmp when TMPDIR is unset or empty;
start the printer with the same TMPDIR.

Exit status:
  0    every byte was taken (also when there was nothing to send)
  1    usage error
  2    the printer did not take a byte in time; the byte was taken back
  3    the input cannot be sent (a zero byte, invalid UTF-8, unreadable input); what
       came before it was sent, nothing after it
  4    the port file cannot be used (for example a directory or a link at its path)
  128+N  stopped by signal N; the byte in the port was taken back
)";
