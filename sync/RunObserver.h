#pragma once
// What a sync run tells whoever watches it: the transfer window's two
// labels, when a job's window comes and goes, and how far the run is.
// The calls come from the run's own thread, in order; an observer that
// shows them in windows hands them to the GUI thread.

#include "sync/Progress.h"

#include <string>

namespace syncrun {

class RunObserver {
public:
    virtual ~RunObserver() = default;
    virtual void JobStarted() {}                        // the transfer window is shown
    virtual void SetStatus(const std::string&) {}       // lblStatus
    virtual void SetCurrentFile(const std::string&) {}  // lblCurrentFile
    virtual void Connected(bool) {}                     // kept on top while connected
    // Often (every file, and while a file goes out): keep it cheap.
    virtual void OnProgress(const Progress&) {}
    virtual void JobEnded() {}  // the transfer window is unloaded
};

}  // namespace syncrun
