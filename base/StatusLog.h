#pragma once
// The status log: every part of the program reports progress and outcomes
// here. The main window shows the lines; an unattended run also echoes
// them to standard output.

#include <functional>
#include <string>
#include <string_view>

// Writes one line to the status log; any thread may. A trailing line
// break and the blanks before it are left off.
void LogStatus(const std::string& text);

// Text from outside (file and folder names, server replies) as it goes into
// a line: line breaks, tabs and NUL as \r \n \t \0, every other control
// character and every byte that is not UTF-8 as \xHH. Such text can then
// neither split a line (and forge one) nor reach a terminal as a command.
std::string OneLine(std::string_view text);

namespace statuslog {

using Sink = std::function<void(const std::string&)>;
// The main window installs its list; tests install a recorder. Returns the
// sink that was installed before. The sink runs on the thread that wrote
// the line, one line at a time; it must not write lines itself.
Sink SetSink(Sink sink);
// Echo every line to standard output as well (unattended runs).
void SetEcho(bool on);
// Called just before and just after each echoed line, so a live line on the
// same terminal (a run's progress) is erased first and drawn again after.
// Empty functions remove the guard.
void SetEchoGuard(std::function<void()> before, std::function<void()> after);

}  // namespace statuslog
