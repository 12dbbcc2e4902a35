#include "sync/OrderedLog.h"

#include "base/StatusLog.h"

namespace syncrun {

OrderedLog::Slot OrderedLog::Open() {
    const std::lock_guard lock(mutex_);
    entries_.emplace_back();
    return first_ + entries_.size() - 1;
}

OrderedLog::Entry* OrderedLog::Find(Slot slot) {
    if (slot < first_ || slot - first_ >= entries_.size()) return nullptr;
    return &entries_[slot - first_];
}

void OrderedLog::Add(Slot slot, std::string line) {
    const std::lock_guard lock(mutex_);
    if (Entry* entry = Find(slot); entry && slot <= lastKept_) entry->lines.push_back(std::move(line));
    if (slot == first_) WriteClosedLocked();
}

void OrderedLog::Close(Slot slot) {
    const std::lock_guard lock(mutex_);
    if (Entry* entry = Find(slot)) entry->closed = true;
    WriteClosedLocked();
}

void OrderedLog::Write(std::string line) {
    const std::lock_guard lock(mutex_);
    if (first_ + entries_.size() > lastKept_) return;
    entries_.push_back({{std::move(line)}, 0, true});
    WriteClosedLocked();
}

void OrderedLog::EndAt(Slot slot, std::vector<std::string> lines) {
    const std::lock_guard lock(mutex_);
    if (slot > lastKept_) return;  // it ended before already
    if (Entry* entry = Find(slot)) {
        entry->lines.resize(entry->written);
        entry->lines.insert(entry->lines.end(), lines.begin(), lines.end());
    }
    lastKept_ = slot;
    WriteClosedLocked();
}

void OrderedLog::EndAfter(Slot slot) {
    const std::lock_guard lock(mutex_);
    if (slot < lastKept_) lastKept_ = slot;
    WriteClosedLocked();
}

void OrderedLog::Reset() {
    const std::lock_guard lock(mutex_);
    for (Entry& entry : entries_) entry.closed = true;
    WriteClosedLocked();
    lastKept_ = std::numeric_limits<Slot>::max();
}

void OrderedLog::WriteClosedLocked() {
    while (!entries_.empty()) {
        Entry& head = entries_.front();
        // Slots past the end count as closed: nothing of theirs is written.
        if (first_ <= lastKept_)
            for (; head.written < head.lines.size(); ++head.written) ::LogStatus(head.lines[head.written]);
        if (!head.closed && first_ <= lastKept_) return;
        entries_.pop_front();
        ++first_;
    }
}

}  // namespace syncrun
