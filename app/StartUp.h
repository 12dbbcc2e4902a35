#pragma once
// What the program does first, with or without windows: opens the store
// (beside it, or the user's in the per-user build, made there at the first
// start) and reads the folder jobs once, each step a status line; and an
// unattended run that needs no window system at all.

#include <optional>
#include <string>

namespace app {

// The store's message when it cannot be opened or read, else nothing.
std::optional<std::string> LoadSettings();

// The lines that follow the "EEK" box when the store cannot be opened.
void ReportSettingsFailure(const std::string& problem);

// "/SYNC" without a display: the settings, every job on this thread, the
// progress line on a terminal. Returns the exit status (1 when anything
// was not sent or the run stopped).
int RunUnattendedWithoutWindows(bool verify = false);

// "/RESTORE <job folder> <target folder>", never with windows: the
// restore's lines, the progress line on a terminal. 0 only when every file
// came back and matched.
int RestoreWithoutWindows(const std::string& jobFolder, const std::string& target);

}  // namespace app
