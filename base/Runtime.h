#pragma once
// Runtime services the program relies on: the command line, the
// application folder, yielding to the window system, ending the process and
// the numeric test.

#include <functional>
#include <string>
#include <string_view>

namespace runtime {

// The process's arguments (without the program name) joined by blanks.
std::string Command();
void SetCommandLine(int argc, char** argv);

// The executable's folder, without a trailing "/".
std::string AppPath();
// Tests point the application folder at a temporary folder.
void SetAppPathForTesting(std::string folder);

// Ends the process at once with the exit status: no window events, no
// destructors. Standard output is flushed first so the unattended log is
// complete.
[[noreturn]] void End(int status = 0);
// Tests replace the ending with a hook that must not return normally
// (it throws), so a test process survives a shutdown it drives.
void SetEndHookForTesting(std::function<void(int)> hook);

// A number with optional sign, blanks around it, a decimal part and an
// exponent. Empty text and letters are not numeric.
bool IsNumeric(std::string_view text);

// True when /SYNC occurs in the text, in any letter case, also inside a
// longer word.
bool HasSyncSwitch(std::string_view commandLine);
// "/VERIFY" the same way: a sync run that first compares with the server.
bool HasVerifySwitch(std::string_view commandLine);
// `sw` (lower case) anywhere in the line, in any letter case.
bool HasSwitch(std::string_view commandLine, std::string_view sw);

// The calling thread, and every thread it starts from then on, gives way
// to the program's other threads (a nice value of 10 for it alone): a run
// behind the windows never keeps the GUI thread from the cores.
void LowerThisThreadsPriority();

}  // namespace runtime
