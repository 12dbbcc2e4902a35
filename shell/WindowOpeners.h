#pragma once
// The list windows the main window's File menu opens. Each list window
// defines its opener, so the shell names none of their headers.

namespace windows {

void ShowServerList();  // frmServers
void ShowFolderList();  // frmFolders

}  // namespace windows
