#include "store/FileRecords.h"

#include "store/Jobs.h"

#include <sqlite3.h>

namespace store {

std::string ClearAllFilesStatement() { return "delete from myfiles"; }

std::string ClearFolderFilesStatement(const std::string& folder) {
    // Everything below the folder begins with the folder and a separator;
    // a folder text that already ends in one (the root) keeps it as it is.
    const std::string below = !folder.empty() && folder.back() == '/' ? folder : folder + "/";
    return "delete from myFiles where fullpath like " + Quoted(LikeLiteral(below) + "%") + " ESCAPE '\\'";
}

void ForgetRecordsOfDeletedJob(Connection& store, std::int64_t syncId) {
    if (JobExists(store, syncId)) return;
    const std::string id = std::to_string(syncId);
    store.Execute("delete from myFiles where SyncID = " + id);
    store.Execute("delete from myUnfinished where SyncID = " + id);
}

FileRecords::FileRecords(Connection& store, std::chrono::milliseconds commitEvery)
    : store_(store),
      commitEvery_(commitEvery),
      // By path alone, so the store searches its FullPath index; given the
      // job as well, SQLite prefers the SyncID index and reads every record
      // of the job for each file. A path has a row per job that covers it.
      find_(store, "select FileID, FileHash, SyncID from myFiles where FullPath = ?1"),
      insert_(store,
              "insert into myFiles (FullPath, Folder, FileName, FileDate, FileHash, SyncID) "
              "values(?1, ?2, ?3, ?4, ?5, ?6)"),
      update_(store, "update myFiles set FileHash = ?1 where FileID = ?2"),
      finished_(store, "delete from myUnfinished where SyncID = ?1"),
      forget_(store, "delete from myFiles where FileID = ?1"),
      lastCommit_(std::chrono::steady_clock::now()) {}

FileRecords::~FileRecords() {
    try {
        EndReading();
    } catch (const StoreError&) {
        // A read that cannot end has nothing to lose.
    }
}

void FileRecords::EndReading() {
    if (!reading_) return;
    reading_ = false;
    store_.Execute("commit");
}

std::optional<StoredFile> FileRecords::Find(const std::string& fullPath, std::int64_t syncId) {
    if (!reading_ && sqlite3_get_autocommit(store_.Handle())) {
        store_.Execute("begin");
        reading_ = true;
    }
    find_.Bind(1, fullPath);
    std::optional<StoredFile> found;
    while (find_.Step()) {
        if (find_.Int(2) == syncId) {
            found = StoredFile{find_.Int(0), find_.Text(1)};
            break;
        }
    }
    find_.Reset();
    return found;
}

void FileRecords::Insert(const std::string& fullPath, const std::string& remoteFolder, const std::string& name,
                         const std::string& date, const std::string& hash, std::int64_t syncId) {
    pending_.push_back({Pending::Kind::Insert, syncId, fullPath, remoteFolder, name, date, hash});
}

void FileRecords::UpdateHash(std::int64_t fileId, const std::string& hash) {
    pending_.push_back({Pending::Kind::UpdateHash, fileId, {}, {}, {}, {}, hash});
}

std::vector<RecordedFile> FileRecords::OfJob(std::int64_t syncId) {
    std::vector<RecordedFile> files;
    EachOfJob(syncId, [&](const RecordedFile& file) { files.push_back(file); });
    return files;
}

void FileRecords::EachOfJob(std::int64_t syncId, const std::function<void(const RecordedFile&)>& take) {
    Commit();
    Statement all(store_, "select FileID, FullPath, Folder, FileName, FileHash from myFiles where SyncID = ?1 "
                          "order by FullPath");
    all.Bind(1, syncId);
    while (all.Step()) take({all.Int(0), all.Text(1), all.Text(2), all.Text(3), all.Text(4)});
}

void FileRecords::Forget(std::int64_t fileId) { pending_.push_back({Pending::Kind::Forget, fileId, {}, {}, {}, {}, {}}); }

bool FileRecords::Unfinished(std::int64_t syncId) {
    return !store_.Execute("select SyncID from myUnfinished where SyncID = " + std::to_string(syncId)).Eof();
}

void FileRecords::MarkUnfinished(std::int64_t syncId) {
    if (markedJob_ == syncId) return;
    // Before anything goes up: a run killed from here on leaves the mark.
    Commit();
    store_.Execute("insert or ignore into myUnfinished (SyncID) values(" + std::to_string(syncId) + ")");
    markedJob_ = syncId;
}

void FileRecords::MarkFinished(std::int64_t syncId) {
    pending_.push_back({Pending::Kind::Finished, syncId, {}, {}, {}, {}, {}});
    if (markedJob_ == syncId) markedJob_ = 0;
}

bool FileRecords::JobStillThere(std::int64_t syncId) { return JobExists(store_, syncId); }

void FileRecords::CommitIfDue() {
    if (std::chrono::steady_clock::now() - lastCommit_ >= commitEvery_) Commit();
}

void FileRecords::Commit() {
    lastCommit_ = std::chrono::steady_clock::now();
    EndReading();
    if (pending_.empty()) return;
    std::vector<Pending> batch;
    batch.swap(pending_);  // a refused batch is not tried again
    Transaction transaction(store_);
    for (const Pending& p : batch) {
        Statement& s = p.kind == Pending::Kind::Insert       ? insert_
                       : p.kind == Pending::Kind::UpdateHash ? update_
                       : p.kind == Pending::Kind::Forget     ? forget_
                                                             : finished_;
        switch (p.kind) {
        case Pending::Kind::Insert:
            s.Bind(1, p.fullPath).Bind(2, p.folder).Bind(3, p.name).Bind(4, p.date).Bind(5, p.hash).Bind(6, p.id);
            break;
        case Pending::Kind::UpdateHash:
            s.Bind(1, p.hash).Bind(2, p.id);
            break;
        case Pending::Kind::Finished:
        case Pending::Kind::Forget:
            s.Bind(1, p.id);
            break;
        }
        s.Step();
        s.Reset();
    }
    transaction.Commit();
}

}  // namespace store
