#include "sync/HashPool.h"

#include <algorithm>

namespace syncrun {

struct HashPool::Ticket {
    std::shared_ptr<const int> folder;
    std::string name;
    std::int64_t outOfTurnSize = 0;
    hash::HashResult result;
    bool done = false;
};

HashPool::HashPool(unsigned workers) {
    if (workers == 0) workers = std::max(1u, std::thread::hardware_concurrency());
    threads_.reserve(workers);
    for (unsigned i = 0; i < workers; ++i) threads_.emplace_back([this] { Work(); });
}

HashPool::~HashPool() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    queued_.notify_all();
    for (std::thread& t : threads_) t.join();
}

HashPool::TicketRef HashPool::Submit(std::shared_ptr<const int> folder, std::string name,
                                     std::int64_t outOfTurnSize) {
    auto ticket = std::make_shared<Ticket>();
    ticket->folder = std::move(folder);
    ticket->name = std::move(name);
    ticket->outOfTurnSize = outOfTurnSize;
    {
        const std::lock_guard lock(mutex_);
        queue_.push_back(ticket);
    }
    queued_.notify_one();
    return ticket;
}

hash::HashResult HashPool::Take(const TicketRef& ticket, const std::function<void()>& idle,
                                std::chrono::milliseconds idleEvery) {
    std::unique_lock lock(mutex_);
    while (!ticket->done) {
        if (finished_.wait_for(lock, idleEvery, [&] { return ticket->done; })) break;
        if (idle) {
            lock.unlock();
            idle();
            lock.lock();
        }
    }
    return std::move(ticket->result);
}

HashPool::TicketRef HashPool::Next() {
    auto pick = queue_.begin();
    if ((*pick)->outOfTurnSize > 0)
        for (auto it = std::next(pick); it != queue_.end(); ++it)
            if ((*it)->outOfTurnSize > (*pick)->outOfTurnSize) pick = it;
    TicketRef ticket = std::move(*pick);
    queue_.erase(pick);
    return ticket;
}

void HashPool::Work() {
    for (;;) {
        TicketRef ticket;
        {
            std::unique_lock lock(mutex_);
            queued_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            ticket = Next();
        }
        hash::HashResult result = hash::HashAt(*ticket->folder, ticket->name, true);
        {
            const std::lock_guard lock(mutex_);
            ticket->result = std::move(result);
            ticket->done = true;
        }
        finished_.notify_all();
    }
}

}  // namespace syncrun
