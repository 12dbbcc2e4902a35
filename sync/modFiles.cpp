#include "sync/modFiles.h"

#include "base/StatusLog.h"
#include "sync/FileDate.h"
#include "sync/FolderListing.h"
#include "sync/UploadTap.h"

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
constexpr std::int64_t kAheadBytes = 256LL << 20;
// A new file this large is hashed on a worker while it is sent, so the
// digests of several large files are made on every core at once; a
// smaller one is digested from its bytes as they go out, one read only.
constexpr std::int64_t kHashAlongsideFrom = 1 << 20;
// A folder of this many files or fewer may hold large ones whose hashing
// must be spread over the workers: each of its files is looked at for its
// size, which a folder of many files is spared.
constexpr std::size_t kLookAtEveryFileUpTo = 64;
// While the check waits for a digest, the batch still commits on time.
constexpr auto kIdleEvery = std::chrono::milliseconds(100);

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
    bool plainFile = false;        // the listing says so: no look needed to know
    std::int64_t queuedBytes = 0;  // bytes its hashing reads ahead
    struct stat listed {};         // as it was when it was looked at
};

FileCheck::FileCheck(const CheckContext& context) : ctx_(context) {}

void FileCheck::PassOverFolder(const std::string& folder, const std::string& reason) {
    LogStatus(CouldNotRead(folder, reason));
    ++tally_.foldersPassedOver;
}

bool FileCheck::CheckFolder(const std::string& folder) {
    // The root already ends in its separator: /a.txt, not //a.txt.
    const std::string folderText = (!folder.empty() && folder.back() == '/') ? folder : folder + "/";
    const Listing listing = ListFolder(folder);
    if (!listing.ok) {
        PassOverFolder(folder, listing.reason);
        return false;
    }
    if (ctx_.sweepTemporaries) ctx_.uploader.SweepFolder(RemoteFolderOf(folderText));
    const std::shared_ptr<const int> open = OpenFolder(folder);
    std::deque<Entry> ahead;
    std::int64_t bytesAhead = 0;
    std::size_t next = 0;
    while ((next < listing.names.size() || !ahead.empty()) && !ctx_.uploader.GaveUp()) {
        while (next < listing.names.size() && (ahead.empty() || (ahead.size() < kAheadEntries && bytesAhead < kAheadBytes))) {
            Entry entry;
            entry.plainFile = listing.plainFile[next];
            entry.name = listing.names[next++];
            entry.fullPath = folderText + entry.name;
            entry.folder = open;
            Prepare(entry, listing.names.size() <= kLookAtEveryFileUpTo);
            bytesAhead += entry.queuedBytes;
            ahead.push_back(std::move(entry));
        }
        Entry entry = std::move(ahead.front());
        ahead.pop_front();
        bytesAhead -= entry.queuedBytes;
        Consume(entry);
    }
    ctx_.records.CommitIfDue();
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
            entry.queuedBytes = 1;
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
    if (entry.kind == Entry::Kind::Known) {
        // Most turn out unchanged, read once: one byte in the window, as a
        // plain file with a record; a large one may be hashed out of turn.
        entry.queuedBytes = 1;
        entry.ticket = Submit(entry, st.st_size >= kHashAlongsideFrom ? st.st_size : 0);
        return;
    }
    if (st.st_size < kHashAlongsideFrom || ctx_.pool.Workers() < 2) return;
    entry.queuedBytes = std::max<std::int64_t>(st.st_size, 1);
    entry.ticket = Submit(entry);
}

void FileCheck::Consume(Entry& entry) {
    ctx_.observer.SetCurrentFile(entry.name);
    switch (entry.kind) {
    case Entry::Kind::Skip:
        return;
    case Entry::Kind::Unreadable:
        LogStatus(CouldNotRead(entry.fullPath, entry.reason));
        ++tally_.filesPassedOver;
        return;
    case Entry::Kind::New:
        Send(entry, {});
        return;
    case Entry::Kind::Known:
        break;
    }
    const hash::HashResult hashed =
        ctx_.pool.Take(entry.ticket, [this] { ctx_.records.CommitIfDue(); }, kIdleEvery);
    switch (hashed.status) {
    case hash::HashResult::Status::NotAFile:
        return;
    case hash::HashResult::Status::Unreadable:
        LogStatus(CouldNotRead(entry.fullPath, hashed.reason));
        ++tally_.filesPassedOver;
        return;
    case hash::HashResult::Status::Hashed:
        break;
    }
    ++ctx_.progress.filesChecked;
    if (entry.stored->hash == hashed.hex) {
        ctx_.observer.OnProgress(ctx_.progress);
        return;
    }
    Send(entry, hashed.hex);
}

// A new file (knownHash empty) is opened here, so one that cannot be read
// is named as such before anything else is said of it.
void FileCheck::Send(Entry& entry, const std::string& knownHash) {
    const bool isNew = knownHash.empty();
    ftp::File file;
    std::string date;
    if (isNew) {
        file = OpenForUpload(*entry.folder, NameIn(entry));
        if (!file) {
            if (errno == 0) return;  // no regular file any more
            LogStatus(CouldNotRead(entry.fullPath, std::strerror(errno)));
            ++tally_.filesPassedOver;
            return;
        }
        ++ctx_.progress.filesChecked;
        // Only a new record keeps the date: the time it had when looked at.
        date = FileDate(entry.listed.st_mtim);
    }

    LogStatus(OneLine(entry.fullPath) + " has changed");
    const bool digestAsSent = isNew && !entry.ticket;
    UploadTap tap(ctx_.progress, ctx_.observer, ctx_.records, digestAsSent);
    ctx_.records.MarkUnfinished(ctx_.syncId);
    // The record follows the upload: a file that did not reach the server
    // keeps its old record and is sent again by the next run.
    const bool sent = ctx_.uploader.Upload(file.get(), entry.fullPath,
                                           RemoteTarget(GetRemoteFolder(entry.fullPath, entry.name), entry.name),
                                           &tap, entry.stored.has_value());
    if (!sent) {
        tap.Failed();
        ++tally_.uploadsFailed;
        ctx_.observer.OnProgress(ctx_.progress);
        return;
    }
    ++tally_.filesSent;
    ++ctx_.progress.filesSent;
    ctx_.observer.OnProgress(ctx_.progress);
    std::string hash = knownHash;
    if (digestAsSent) {
        hash = tap.HexDigest();
    } else if (isNew) {
        // Hashed by a worker while it went out: the digest stands for what
        // was sent only if the file did not change meanwhile. If it did, it
        // gets no record and goes again next run.
        const hash::HashResult hashed = ctx_.pool.Take(entry.ticket, [this] { ctx_.records.CommitIfDue(); }, kIdleEvery);
        if (hashed.status != hash::HashResult::Status::Hashed || Changed(entry)) return;
        hash = hashed.hex;
    }
    UpdateFileRecord(entry.stored, entry.fullPath, date, hash, entry.name);
}

bool FileCheck::Changed(const Entry& entry) {
    struct stat now {};
    if (::fstatat(*entry.folder, NameIn(entry).c_str(), &now, 0) != 0) return true;
    return now.st_size != entry.listed.st_size || now.st_mtim.tv_sec != entry.listed.st_mtim.tv_sec ||
           now.st_mtim.tv_nsec != entry.listed.st_mtim.tv_nsec || now.st_ino != entry.listed.st_ino;
}

void FileCheck::UpdateFileRecord(const std::optional<store::StoredFile>& stored, const std::string& fullPath,
                                 const std::string& date, const std::string& hash, const std::string& name) {
    if (stored)
        ctx_.records.UpdateHash(stored->fileId, hash);
    else
        ctx_.records.Insert(fullPath, GetRemoteFolder(fullPath, name), name, date, hash, ctx_.syncId);
}

}  // namespace syncrun
