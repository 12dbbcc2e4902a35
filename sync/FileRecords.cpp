#include "sync/FileRecords.h"

#include "store/Store.h"
#include "sync/RemotePath.h"
#include "sync/SyncRun.h"

#include <QDateTime>
#include <QLocale>

#include <sys/stat.h>

namespace syncrun {

std::optional<StoredFile> FindFileRecord(const std::string& fullPath) {
    // By path alone, so the store searches its FullPath index; given the job
    // as well, SQLite prefers the SyncID index and reads every record of the
    // job for each file. A path has a row per job that covers it, no more.
    const std::string sql = "select * from myFiles where FullPath = " + store::Quoted(fullPath);
    for (store::Recordset rs = store::StoreConnection().Execute(sql); !rs.Eof(); rs.MoveNext()) {
        if (rs.FieldInt("SyncID") == CurrentSyncID) return StoredFile{rs.FieldInt("FileID"), rs.Fields("FileHash")};
    }
    return std::nullopt;
}

void UpdateFileRecord(const std::optional<StoredFile>& stored, const std::string& fullPath,
                      const std::string& date, const std::string& hash, const std::string& name) {
    std::string sql;
    if (!stored) {
        sql = "insert into myFiles (FullPath, Folder, FileName, FileDate, FileHash, SyncID) values(" +
              store::Quoted(fullPath) + ", " + store::Quoted(GetRemoteFolder(fullPath, name)) + ", " +
              store::Quoted(name) + ", " + store::Quoted(date) + ", " + store::Quoted(hash) + ", '" +
              std::to_string(CurrentSyncID) + "')";
    } else {
        sql = "update myFiles set FileHash = " + store::Quoted(hash) +
              " where FileID = " + std::to_string(stored->fileId);
    }
    store::StoreConnection().Execute(sql);
}

std::string GetFileDate(const std::string& fullPath) {
    struct stat st {};
    if (::stat(fullPath.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return {};
    const qint64 ms = static_cast<qint64>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    return QLocale().toString(QDateTime::fromMSecsSinceEpoch(ms), QLocale::ShortFormat).toStdString();
}

}  // namespace syncrun
