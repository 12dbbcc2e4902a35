#pragma once
// A job's status lines in listing order, however the work behind them is
// ordered. Each file takes a place (a slot) when the check reaches it and
// gathers its lines there, from whichever thread does its work; a slot's
// lines are written once every slot before it has been written and closed,
// as they come from then on. So the log reads as if the files went one by
// one, and the file at the head shows its lines as they happen.

#include <cstdint>
#include <deque>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

namespace syncrun {

class OrderedLog {
public:
    using Slot = std::uint64_t;

    // A place after every one taken before.
    Slot Open();
    void Add(Slot slot, std::string line);
    // The slot's lines may go; they are written once the slots before it are.
    void Close(Slot slot);
    // A line of its own at the end of the order.
    void Write(std::string line);
    // The job ends at `slot`: its lines not yet written become `lines`, and
    // the lines of every later slot (also of those opened from now on) are
    // never written.
    void EndAt(Slot slot, std::vector<std::string> lines);
    // The same, keeping the slot's own lines.
    void EndAfter(Slot slot);
    // A new job: every slot is closed and written by now.
    void Reset();

private:
    struct Entry {
        std::vector<std::string> lines;
        std::size_t written = 0;  // of its lines
        bool closed = false;
    };
    Entry* Find(Slot slot);  // with the lock held; null once written or past the end
    void WriteClosedLocked();

    std::mutex mutex_;
    Slot first_ = 0;  // the first slot not yet written
    std::deque<Entry> entries_;
    Slot lastKept_ = std::numeric_limits<Slot>::max();
};

}  // namespace syncrun
