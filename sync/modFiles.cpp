#include "sync/modFiles.h"

#include "base/StatusLog.h"
#include "sync/FileDate.h"
#include "sync/FolderListing.h"
#include "sync/UploadTap.h"
#include "store/Jobs.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <sys/stat.h>

namespace syncrun {
namespace {

// How far the listing is prepared (looked up, hashing queued) ahead of the
// entry being checked: enough to keep every worker busy, little enough
// that a huge folder never holds much more than its names.
constexpr std::size_t kAheadEntries = 256;
// A known file this large may be hashed out of turn (see HashPool::Submit).
constexpr std::int64_t kLargeFrom = 1 << 20;
// A folder of this many files or fewer may hold large ones whose hashing
// must be spread over the workers: each of its files is looked at for its
// size, which a folder of many files is spared.
constexpr std::size_t kLookAtEveryFileUpTo = 64;
// While the check waits for a digest, records are still written on time.
constexpr auto kIdleEvery = std::chrono::milliseconds(100);
// How often the store is asked whether the job is still there (another
// program may delete it; this one's windows say so at once).
constexpr auto kLookForJobEvery = std::chrono::seconds(1);

}  // namespace

std::string CouldNotRead(const std::string& path, const std::string& reason) {
    return OneLine(path) + " could not be read: " + reason;
}

namespace {

// The folder being checked, open: its files are looked at, hashed and
// opened by name in it, not by walking their whole path each time. A
// folder that cannot be opened so goes by its path (AT_FDCWD).
std::shared_ptr<const int> OpenFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return std::shared_ptr<const int>(new int(fd >= 0 ? fd : AT_FDCWD), [](const int* p) {
        if (*p >= 0) ::close(*p);
        delete p;
    });
}

}  // namespace

struct FileCheck::Entry {
    enum class Kind { Skip, Unreadable, New, Known };
    std::shared_ptr<const int> folder;  // its open folder (or AT_FDCWD), kept while a worker needs it
    std::string name;
    std::string fullPath;
    Kind kind = Kind::Skip;
    std::string reason;  // why an Unreadable entry could not be read
    std::optional<store::StoredFile> stored;
    HashPool::TicketRef ticket;
    bool plainFile = false;  // the listing says so: no look needed to know
    struct stat listed {};   // as it was when it was looked at
};

FileCheck::FileCheck(const CheckContext& context)
    : ctx_(context), lastLookForJob_(std::chrono::steady_clock::now()) {}

void FileCheck::PassOverFolder(const std::string& folder, const std::string& reason) {
    Write(CouldNotRead(folder, reason));
    ++tally_.foldersPassedOver;
}

bool FileCheck::Stopped() const { return deletedAt_ || ctx_.uploads.Stopped(); }

bool FileCheck::CheckFolder(const std::string& folder) {
    // The root already ends in its separator: /a.txt, not //a.txt.
    const std::string folderText = (!folder.empty() && folder.back() == '/') ? folder : folder + "/";
    const Listing listing = ListFolder(folder);
    if (!listing.ok) {
        PassOverFolder(folder, listing.reason);
        return false;
    }
    if (ctx_.sweepTemporaries) ctx_.uploads.Sweep(RemoteFolderOf(folderText), [this] { Idle(); });
    const std::shared_ptr<const int> open = OpenFolder(folder);
    std::deque<Entry> ahead;
    std::size_t next = 0;
    while ((next < listing.names.size() || !ahead.empty()) && !Stopped()) {
        while (next < listing.names.size() && ahead.size() < kAheadEntries) {
            Entry entry;
            entry.plainFile = listing.plainFile[next];
            entry.name = listing.names[next++];
            entry.fullPath = folderText + entry.name;
            entry.folder = open;
            Prepare(entry, listing.names.size() <= kLookAtEveryFileUpTo);
            ahead.push_back(std::move(entry));
        }
        Entry entry = std::move(ahead.front());
        ahead.pop_front();
        Consume(entry);
    }
    Idle();
    return true;
}

HashPool::TicketRef FileCheck::Submit(const Entry& entry, std::int64_t outOfTurnSize) {
    return ctx_.pool.Submit(entry.folder, NameIn(entry), outOfTurnSize);
}

// The entry's name in its open folder, or its whole path without one.
const std::string& FileCheck::NameIn(const Entry& entry) {
    return *entry.folder == AT_FDCWD ? entry.fullPath : entry.name;
}

void FileCheck::Prepare(Entry& entry, bool lookAtPlainFile) {
    // A plain file with a record in a folder of many needs no look here:
    // its worker opens it and sees what it is.
    if (entry.plainFile) {
        entry.stored = ctx_.records.Find(entry.fullPath, ctx_.syncId);
        if (entry.stored && !lookAtPlainFile) {
            ++ctx_.progress.filesFound;
            entry.kind = Entry::Kind::Known;
            entry.ticket = Submit(entry);
            return;
        }
    }
    struct stat st {};
    if (::fstatat(*entry.folder, NameIn(entry).c_str(), &st, 0) != 0) {
        const int err = errno;
        if (hash::IsDanglingLink(*entry.folder, NameIn(entry), err)) return;
        entry.kind = Entry::Kind::Unreadable;
        entry.reason = std::strerror(err);
        return;
    }
    if (!S_ISREG(st.st_mode)) return;  // sub-folders, links to folders, FIFOs and the like
    ++ctx_.progress.filesFound;
    entry.listed = st;
    if (!entry.plainFile) entry.stored = ctx_.records.Find(entry.fullPath, ctx_.syncId);
    entry.kind = entry.stored ? Entry::Kind::Known : Entry::Kind::New;
    // Most known files turn out unchanged; a large one may be hashed out of turn.
    if (entry.kind == Entry::Kind::Known) entry.ticket = Submit(entry, st.st_size >= kLargeFrom ? st.st_size : 0);
}

void FileCheck::Consume(Entry& entry) {
    ctx_.observer.SetCurrentFile(entry.name);
    switch (entry.kind) {
    case Entry::Kind::Skip:
        return;
    case Entry::Kind::Unreadable:
        Write(CouldNotRead(entry.fullPath, entry.reason));
        ++tally_.filesPassedOver;
        return;
    case Entry::Kind::New:
        Send(entry, {});
        return;
    case Entry::Kind::Known:
        break;
    }
    const hash::HashResult hashed = ctx_.pool.Take(entry.ticket, [this] { Idle(); }, kIdleEvery);
    switch (hashed.status) {
    case hash::HashResult::Status::NotAFile:
        return;
    case hash::HashResult::Status::Unreadable:
        Write(CouldNotRead(entry.fullPath, hashed.reason));
        ++tally_.filesPassedOver;
        return;
    case hash::HashResult::Status::Hashed:
        break;
    }
    ++ctx_.progress.filesChecked;
    if (entry.stored->hash == hashed.hex) {
        ctx_.observer.OnProgress(ctx_.progress.Snapshot());
        return;
    }
    Send(entry, hashed.hex);
}

bool FileCheck::JobDeleted() {
    if (!store::DeletedByThisProcess(ctx_.syncId)) {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastLookForJob_ < kLookForJobEvery) return false;
        lastLookForJob_ = now;
        if (ctx_.records.JobStillThere(ctx_.syncId)) return false;
    }
    // As going one by one: the count of the folder this file is in.
    deletedAt_ = total_ + 1;
    ctx_.uploads.JobDeleted();
    return true;
}

// A new file (knownHash empty) is opened here, so one that cannot be read
// is named as such before anything else is said of it.
void FileCheck::Send(Entry& entry, const std::string& knownHash) {
    if (JobDeleted()) return;
    const bool isNew = knownHash.empty();
    ftp::File file;
    std::string date;
    if (isNew) {
        file = OpenForUpload(*entry.folder, NameIn(entry));
        if (!file) {
            if (errno == 0) return;  // no regular file any more
            Write(CouldNotRead(entry.fullPath, std::strerror(errno)));
            ++tally_.filesPassedOver;
            return;
        }
        ++ctx_.progress.filesChecked;
        // Only a new record keeps the date: the time it had when looked at.
        date = FileDate(entry.listed.st_mtim);
    }
    Uploads::File handed;
    handed.tag = nextTag_++;
    handed.slot = ctx_.log.Open();
    ctx_.log.Add(handed.slot, OneLine(entry.fullPath) + " has changed");
    ctx_.records.MarkUnfinished(ctx_.syncId);
    handed.file = std::move(file);
    handed.localPath = entry.fullPath;
    handed.target = RemoteTarget(GetRemoteFolder(entry.fullPath, entry.name), entry.name);
    handed.replacing = entry.stored.has_value();
    handed.digest = isNew;
    handed.folders = total_ + 1;
    handed_[handed.tag] = {entry.stored, entry.fullPath, entry.name, date, knownHash};
    ctx_.uploads.Send(std::move(handed), [this] { Idle(); });
    Idle();
}

void FileCheck::Idle() {
    for (const Uploads::Outcome& outcome : ctx_.uploads.TakeOutcomes()) Record(outcome);
    ctx_.records.CommitIfDue();
}

// The record follows the upload: a file that did not reach the server
// keeps its old record and is sent again by the next run.
void FileCheck::Record(const Uploads::Outcome& outcome) {
    const auto it = handed_.find(outcome.tag);
    if (it == handed_.end()) return;
    const Handed handed = std::move(it->second);
    handed_.erase(it);
    if (!outcome.sent) {
        ++tally_.uploadsFailed;
        ctx_.observer.OnProgress(ctx_.progress.Snapshot());
        return;
    }
    ++tally_.filesSent;
    if (handed.stored)
        ctx_.records.UpdateHash(handed.stored->fileId, handed.knownHash);
    else
        ctx_.records.Insert(handed.fullPath, GetRemoteFolder(handed.fullPath, handed.name), handed.name, handed.date,
                            outcome.digest, ctx_.syncId);
}

void FileCheck::Finish() {
    ctx_.uploads.Drain([this] { Idle(); });
    Idle();
    ctx_.records.Commit();  // the job's records are in the store before its end is said
}

std::optional<std::int64_t> FileCheck::FoldersAtStop() const {
    if (const auto at = ctx_.uploads.FoldersAtStop()) return at;
    return deletedAt_;
}

}  // namespace syncrun
