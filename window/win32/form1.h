// The printer's one window for the native Windows front-end, dressed as a sheet of
// tractor-feed paper from the same layout table as the Qt window. Creating it starts the
// printer: it homes the print head onto its page and polls the data port every 200 ms
// until it is destroyed.
#pragma once

#include <windows.h>

#include <string>

// Runs the window until it is closed; returns the program's exit status. `className`
// names the window class, so that a second printer can find this one.
int RunForm1(HINSTANCE instance, int show, const std::string& className);
