#pragma once
// The file-state records of table myFiles: what each job last sent of each
// file, and the file's date as it is recorded.

#include <cstdint>
#include <optional>
#include <string>

namespace syncrun {

// A file's record for the running job.
struct StoredFile {
    std::int64_t fileId = 0;
    std::string hash;
};

// The record of the file for the job in CurrentSyncID: each job keeps its
// own, so a file two jobs cover reaches both servers. Throws
// store::StoreError.
std::optional<StoredFile> FindFileRecord(const std::string& fullPath);

// Records a file that has just been sent: a new one (no stored record) gets
// a record with all six columns, a changed one its new FileHash only.
// Throws store::StoreError.
void UpdateFileRecord(const std::optional<StoredFile>& stored, const std::string& fullPath,
                      const std::string& date, const std::string& hash, const std::string& name);

// The file's modification time in the locale's short date and time form;
// empty for anything that is not a file, or on any failure.
std::string GetFileDate(const std::string& fullPath);

}  // namespace syncrun
