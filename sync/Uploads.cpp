#include "sync/Uploads.h"

#include "store/Jobs.h"
#include "sync/UploadTap.h"

#include <algorithm>
#include <chrono>

namespace syncrun {
namespace {

constexpr auto kIdleEvery = std::chrono::milliseconds(100);
constexpr int kDefaultConnections = 4;
constexpr int kMostConnections = 8;

const std::string kGaveUp = "FTP Info: The server does not answer; the rest of this job is passed over.";

// A folder's levels as one key (no level holds a "/").
std::string Key(const std::vector<std::string>& levels) {
    std::string key;
    for (const std::string& level : levels) key += "/" + level;
    return key;
}

}  // namespace

int ConnectionsFromProfile(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    const auto last = text.find_last_not_of(" \t");
    if (first == std::string::npos || last != first) return kDefaultConnections;
    const int n = text[first] - '0';
    return n >= 1 && n <= kMostConnections ? n : kDefaultConnections;
}

Uploads::Uploads(Factory factory, int connections, RunObserver& observer, OrderedLog& log, ProgressMeter& progress)
    : factory_(std::move(factory)), connections_(std::max(1, connections)), observer_(observer), log_(log),
      progress_(progress) {}

Uploads::~Uploads() { Close(); }

bool Uploads::Connect(const store::Job& job) {
    job_ = job;
    auto worker = std::make_unique<Worker>();
    worker->uploader = factory_();
    Lines lines;
    const bool ok = worker->uploader->Connect(job, lines);
    for (std::string& line : lines) log_.Write(std::move(line));
    Worker& first = *worker;
    {
        const std::lock_guard lock(mutex_);
        workers_.push_back(std::move(worker));
        if (!ok) return false;
        connected_ = true;
        alive_ = 1;
    }
    observer_.Connected(true);
    first.thread = std::thread([this, &first] { Work(first, true); });
    return true;
}

void Uploads::WaitWhile(std::unique_lock<std::mutex>& lock, const std::function<bool()>& busy,
                        const std::function<void()>& idle) {
    while (busy()) {
        if (changed_.wait_for(lock, kIdleEvery, [&] { return !busy(); })) break;
        if (idle) {
            lock.unlock();
            idle();
            lock.lock();
        }
    }
}

void Uploads::Send(File file, const std::function<void()>& idle) {
    std::unique_lock lock(mutex_);
    // As many files wait as there are connections to take them next.
    WaitWhile(lock, [&] { return !stopped_ && !closing_ && static_cast<int>(queue_.size()) >= alive_; }, idle);
    const std::uint64_t seq = nextSeq_++;
    if (stopped_ || closing_ || !connected_) {
        ended_[seq] = {file.tag, false, {}};
        lock.unlock();
        log_.Close(file.slot);
        return;
    }
    queue_.push_back({std::move(file), seq});
    // Another connection only when no connection is free for the file.
    // (A connection that has not taken a file is free, on its way to the queue or not.)
    if (!refusedMore_ && static_cast<int>(queue_.size()) > alive_ - busy_ + connecting_ &&
        alive_ + connecting_ < connections_) {
        ++connecting_;
        auto worker = std::make_unique<Worker>();
        Worker& added = *worker;
        workers_.push_back(std::move(worker));
        added.thread = std::thread([this, &added] { Work(added, false); });
    }
    changed_.notify_all();
}

void Uploads::Work(Worker& worker, bool connected) {
    if (!connected) {
        std::unique_ptr<Uploader> uploader = factory_();
        Lines refusal;  // a refused extra login is no failure of the job
        const bool ok = uploader->Connect(job_, refusal);
        std::unique_lock lock(mutex_);
        --connecting_;
        if (!ok) {
            if (!refusedMore_) {
                refusedMore_ = true;
                log_.Write("FTP Info: The server takes " + std::to_string(alive_) + " of " +
                           std::to_string(connections_) + " connections; the job goes on with them.");
            }
            changed_.notify_all();
            lock.unlock();
            uploader->Close();
            return;
        }
        worker.uploader = std::move(uploader);
        ++alive_;
        changed_.notify_all();
    }
    for (;;) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return closing_ || !queue_.empty(); });
        if (queue_.empty()) break;
        Queued queued = std::move(queue_.front());
        queue_.pop_front();
        changed_.notify_all();  // a place in the queue is free
        // A job deleted meanwhile starts nothing more.
        if (store::DeletedByThisProcess(job_.syncId)) {
            log_.EndAt(queued.file.slot, {"FTP Info: Folder job " + std::to_string(job_.syncId) +
                                          " was deleted; the rest of it is passed over."});
            StopLocked(queued.seq, queued.file.folders);
            folderTurn_ = std::max(folderTurn_, queued.seq + 1);
            Finish(queued.seq, {queued.file.tag, false, {}});
            continue;
        }
        ++busy_;
        lock.unlock();
        const Outcome outcome = Run(*worker.uploader, queued);
        lock.lock();
        if (--busy_ == 0) observer_.SetStatus("Scanning Files..");
        Finish(queued.seq, outcome);
    }
    worker.uploader->Close();
}

Attempt Uploads::FolderStep(Uploader& uploader, const Queued& queued, bool first, Lines& lines) {
    ftp::RemotePath folder = queued.file.target;
    folder.levels.pop_back();
    const std::string key = Key(folder.levels);
    bool known = false, parentMade = false, made = false;
    {
        // Folders are made in listing order, so the file that says a folder
        // was made is the one that would have made it going one by one.
        std::unique_lock lock(mutex_);
        if (first) changed_.wait(lock, [&] { return folderTurn_ >= queued.seq; });
        known = knownFolders_.count(key) > 0;
        if (!known && !folder.levels.empty()) {
            const auto parent = knownFolders_.find(Key({folder.levels.begin(), folder.levels.end() - 1}));
            parentMade = parent != knownFolders_.end() && parent->second;
        }
    }
    const Attempt attempt = known ? Attempt::Done : uploader.MakeFolder(folder, parentMade, made, lines);
    {
        const std::lock_guard lock(mutex_);
        if (!known && attempt == Attempt::Done) knownFolders_[key] = made;
        if (first) folderTurn_ = std::max(folderTurn_, queued.seq + 1);
        changed_.notify_all();
    }
    return attempt;
}

Uploads::Outcome Uploads::Run(Uploader& uploader, Queued& queued) {
    File& file = queued.file;
    UploadTap tap(progress_, observer_, file.digest);
    observer_.SetStatus("Uploading " + file.localPath);
    Lines lines;
    const auto tryOnce = [&](bool first) {
        Attempt attempt = FolderStep(uploader, queued, first, lines);
        if (WorthAnotherTry(attempt)) return attempt;
        attempt = uploader.Put(file.file.get(), file.localPath, file.target, &tap, file.replacing, lines);
        if (attempt != Attempt::Done) {
            // A folder removed behind our back is made again next time.
            ftp::RemotePath folder = file.target;
            folder.levels.pop_back();
            const std::lock_guard lock(mutex_);
            knownFolders_.erase(Key(folder.levels));
        }
        return attempt;
    };
    Attempt attempt = tryOnce(true);
    bool gaveUp = false;
    if (WorthAnotherTry(attempt) && !Stopped()) {
        // The next request logs in afresh: the same file once more, from its start.
        if (file.file) std::rewind(file.file.get());
        tap.Rewound();
        attempt = tryOnce(false);
        if (attempt == Attempt::Unanswered) {
            lines.push_back(kGaveUp);
            gaveUp = true;
        }
    }
    const bool sent = attempt == Attempt::Done;
    if (sent) {
        ++progress_.filesSent;
        observer_.OnProgress(progress_.Snapshot());
    } else {
        tap.Failed();
    }
    for (std::string& line : lines) log_.Add(file.slot, std::move(line));
    if (gaveUp) {
        const std::lock_guard lock(mutex_);
        log_.EndAfter(file.slot);
        StopLocked(queued.seq + 1, file.folders);
    }
    log_.Close(file.slot);
    return {file.tag, sent, sent && file.digest ? tap.HexDigest() : std::string()};
}

void Uploads::StopLocked(std::uint64_t firstDropped, std::optional<std::int64_t> folders) {
    if (!stopped_ || firstDropped < firstDropped_) {
        stopped_ = true;
        firstDropped_ = firstDropped;
        foldersAtStop_ = folders;
    }
    DropQueueLocked();
}

void Uploads::DropQueueLocked() {
    for (Queued& queued : queue_) ended_[queued.seq] = {queued.file.tag, false, {}};
    queue_.clear();
    changed_.notify_all();
}

void Uploads::Finish(std::uint64_t seq, Outcome outcome) {
    ended_[seq] = std::move(outcome);
    changed_.notify_all();
}

std::vector<Uploads::Outcome> Uploads::TakeOutcomes() {
    std::vector<Outcome> outcomes;
    const std::lock_guard lock(mutex_);
    for (auto it = ended_.begin(); it != ended_.end() && it->first == nextOutcome_; it = ended_.erase(it)) {
        outcomes.push_back(std::move(it->second));
        // Files after the one where the job stopped count as passed over.
        if (stopped_ && nextOutcome_ >= firstDropped_) outcomes.back().sent = false;
        ++nextOutcome_;
    }
    return outcomes;
}

void Uploads::Drain(const std::function<void()>& idle) {
    std::unique_lock lock(mutex_);
    WaitWhile(lock, [&] { return !queue_.empty() || busy_ > 0 || connecting_ > 0; }, idle);
}

void Uploads::Sweep(const ftp::RemotePath& folder, const std::function<void()>& idle) {
    Drain(idle);
    Uploader* uploader = nullptr;
    {
        const std::lock_guard lock(mutex_);
        if (sweepStopped_ || stopped_ || !connected_) {
            sweepStopped_ = leftTemporaries_ = true;
            return;
        }
        // Every connection is idle now: the first one sweeps.
        uploader = workers_.front()->uploader.get();
    }
    if (WorthAnotherTry(uploader->Sweep(folder))) {
        const std::lock_guard lock(mutex_);
        sweepStopped_ = leftTemporaries_ = true;
    }
}

Attempt Uploads::OnFirstConnection(const std::function<Attempt(Uploader&)>& request,
                                   const std::function<void()>& idle) {
    Drain(idle);
    Uploader* uploader = nullptr;
    {
        const std::lock_guard lock(mutex_);
        if (stopped_ || !connected_) return Attempt::Refused;
        uploader = workers_.front()->uploader.get();
    }
    return request(*uploader);
}

void Uploads::JobDeleted() {
    const std::string line =
        "FTP Info: Folder job " + std::to_string(job_.syncId) + " was deleted; the rest of it is passed over.";
    const std::lock_guard lock(mutex_);
    if (stopped_) return;
    if (queue_.empty()) {
        log_.Write(line);
        StopLocked(nextSeq_, std::nullopt);
        return;
    }
    const Queued& next = queue_.front();
    log_.EndAt(next.file.slot, {line});
    StopLocked(next.seq, next.file.folders);
}

bool Uploads::Stopped() const {
    const std::lock_guard lock(mutex_);
    return stopped_;
}

std::optional<std::int64_t> Uploads::FoldersAtStop() const {
    const std::lock_guard lock(mutex_);
    return foldersAtStop_;
}

bool Uploads::LeftTemporaries() const {
    const std::lock_guard lock(mutex_);
    bool left = leftTemporaries_;
    for (const auto& worker : workers_) left = left || (worker->uploader && worker->uploader->LeftTemporaries());
    return left;
}

void Uploads::Stop() {
    {
        const std::lock_guard lock(mutex_);
        closing_ = true;
        DropQueueLocked();
    }
    for (const auto& worker : workers_) {
        if (worker->thread.joinable())
            worker->thread.join();  // it closes its own connection
        else if (worker->uploader)
            worker->uploader->Close();  // its login failed: the connection is still held
        worker->uploader.reset();
    }
}

void Uploads::Close() {
    if (closed_) return;
    closed_ = true;
    Stop();
    if (connected_) observer_.Connected(false);
    log_.Write("FTP Info: I have disconnected from the server.");
}

}  // namespace syncrun
