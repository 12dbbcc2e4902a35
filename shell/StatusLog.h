#pragma once
// The status log: every part of the program reports progress and outcomes
// here. The main window shows the lines; an unattended run also echoes
// them to standard output.

#include <functional>
#include <string>

// Writes one line to the status log; any thread may.
void LogStatus(const std::string& text);

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
