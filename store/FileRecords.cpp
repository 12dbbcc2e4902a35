#include "store/FileRecords.h"

#include "store/Jobs.h"

namespace store {

namespace {

// Stores made before the table was there get it on their first run; it
// writes nothing when the table exists.
Connection& WithUnfinishedTable(Connection& store) {
    store.Execute("create table if not exists myUnfinished (SyncID INTEGER PRIMARY KEY)");
    return store;
}

}  // namespace

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
    : store_(WithUnfinishedTable(store)),
      commitEvery_(commitEvery),
      // By path alone, so the store searches its FullPath index; given the
      // job as well, SQLite prefers the SyncID index and reads every record
      // of the job for each file. A path has a row per job that covers it.
      find_(store, "select FileID, FileHash, SyncID from myFiles where FullPath = ?1"),
      insert_(store,
              "insert into myFiles (FullPath, Folder, FileName, FileDate, FileHash, SyncID) "
              "values(?1, ?2, ?3, ?4, ?5, ?6)"),
      update_(store, "update myFiles set FileHash = ?1 where FileID = ?2") {}

FileRecords::~FileRecords() = default;

std::optional<StoredFile> FileRecords::Find(const std::string& fullPath, std::int64_t syncId) {
    // Inside the batch too: a lookup on its own would take and drop the
    // store's file lock, several system calls for every file.
    CommitIfDue();
    Begin();
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

void FileRecords::Begin() {
    if (batch_) return;
    batch_.emplace(store_);
    batchStarted_ = std::chrono::steady_clock::now();
}

void FileRecords::Insert(const std::string& fullPath, const std::string& remoteFolder, const std::string& name,
                         const std::string& date, const std::string& hash, std::int64_t syncId) {
    Begin();
    insert_.Bind(1, fullPath).Bind(2, remoteFolder).Bind(3, name).Bind(4, date).Bind(5, hash).Bind(6, syncId);
    insert_.Step();
    insert_.Reset();
    CommitIfDue();
}

void FileRecords::UpdateHash(std::int64_t fileId, const std::string& hash) {
    Begin();
    update_.Bind(1, hash).Bind(2, fileId);
    update_.Step();
    update_.Reset();
    CommitIfDue();
}

bool FileRecords::Unfinished(std::int64_t syncId) {
    Begin();
    return !store_.Execute("select SyncID from myUnfinished where SyncID = " + std::to_string(syncId)).Eof();
}

void FileRecords::MarkUnfinished(std::int64_t syncId) {
    if (markedJob_ == syncId) return;
    Begin();
    store_.Execute("insert or ignore into myUnfinished (SyncID) values(" + std::to_string(syncId) + ")");
    // Before anything goes up: a run killed from here on leaves the mark.
    Commit();
    markedJob_ = syncId;
}

void FileRecords::MarkFinished(std::int64_t syncId) {
    Begin();
    store_.Execute("delete from myUnfinished where SyncID = " + std::to_string(syncId));
    if (markedJob_ == syncId) markedJob_ = 0;
}

void FileRecords::CommitIfDue() {
    if (batch_ && std::chrono::steady_clock::now() - batchStarted_ >= commitEvery_) Commit();
}

void FileRecords::Commit() {
    if (!batch_) return;
    try {
        batch_->Commit();
    } catch (...) {
        batch_.reset();
        throw;
    }
    batch_.reset();
}

}  // namespace store
