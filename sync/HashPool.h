#pragma once
// Worker threads that hash files ahead of the file check. Files are handed
// in listing order and their results taken back in the same order, so the
// check (and every status line it writes) keeps its order while the
// digests are made on every core.

#include "hash/FileHasher.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace syncrun {

class HashPool {
public:
    // One worker per core unless told otherwise.
    explicit HashPool(unsigned workers = 0);
    ~HashPool();  // waits for the workers; hashes still queued are dropped
    HashPool(const HashPool&) = delete;
    HashPool& operator=(const HashPool&) = delete;

    struct Ticket;
    using TicketRef = std::shared_ptr<Ticket>;

    // Queues a file that was just listed as a regular file: `name` in the
    // open folder `folder` (whose descriptor lives as long as the ticket);
    // its result is taken with Take(). Files are hashed in turn, except
    // those given an `outOfTurnSize`: whenever one of those is at the head
    // of the queue, the largest of them goes first, so that the last large
    // file of a folder is not left to one worker while the others wait.
    TicketRef Submit(std::shared_ptr<const int> folder, std::string name, std::int64_t outOfTurnSize = 0);
    // Waits for the ticket's result. `idle` runs every `idleEvery` while it
    // waits (the run's chance to commit its batch).
    hash::HashResult Take(const TicketRef& ticket, const std::function<void()>& idle,
                          std::chrono::milliseconds idleEvery);

    unsigned Workers() const { return static_cast<unsigned>(threads_.size()); }

private:
    void Work();
    TicketRef Next();  // with the lock held; the queue is not empty

    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable finished_;
    std::deque<TicketRef> queue_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace syncrun
