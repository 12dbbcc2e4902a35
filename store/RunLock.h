#pragma once
// One run at a time on a store, across processes (a timer's run and the
// window's Sync, Now): a lock on the store file itself, held while the run
// lives. It is a flock(), which SQLite's own record locks never see.

#include <string>

namespace store {

class RunLock {
public:
    explicit RunLock(const std::string& storeFile);
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // False only when another run holds it; a store that cannot be opened
    // fails on its own a moment later, with the store's message.
    bool Taken() const { return fd_ < 0 || held_; }

private:
    int fd_;
    bool held_ = false;
};

}  // namespace store
