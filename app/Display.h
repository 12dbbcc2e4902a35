#pragma once
// Whether the window system can be opened, decided before Qt is started:
// Qt aborts the process when its platform cannot connect, and that abort
// cannot be caught.

#include <string>
#include <string_view>

namespace display {

// True when an X server accepts a connection at the address an X display
// name gives (":0", "unix:0", "localhost:10.0", "tcp/host:0", "[::1]:0").
// A remote host gets at most timeoutMs to answer.
bool XServerReachable(std::string_view displayName, int timeoutMs = 500);

// True when a Wayland compositor listens on the socket that
// WAYLAND_DISPLAY names (absolute, or relative to the runtime folder).
bool WaylandReachable(std::string_view waylandDisplay, std::string_view runtimeDir);

struct WindowSystem {
    bool usable = false;
    // The platform Qt must be told to use (QT_QPA_PLATFORM); empty when
    // Qt's own choice will do.
    std::string platform;
};

// From QT_QPA_PLATFORM, DISPLAY, WAYLAND_DISPLAY and XDG_RUNTIME_DIR.
WindowSystem ChooseWindowSystem();

// A window system is there and shows what is drawn (not Qt's offscreen or
// minimal platform). It may still refuse this program when it is opened.
bool WindowsCanBeSeen();

}  // namespace display
