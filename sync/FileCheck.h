#pragma once
// The file check of one folder job: every entry of a folder is hashed,
// compared with the job's record of it, and sent when it is new or has
// changed; the folder walk does the same for a whole folder tree.

#include "sync/TransferWindow.h"

#include <cstdint>
#include <string>

namespace syncrun {

// What kept a job's check from covering every file.
struct CheckTally {
    int filesSent = 0;
    int uploadsFailed = 0;
    int filesPassedOver = 0;    // regular files that could not be read
    int foldersPassedOver = 0;  // folders that could not be listed

    bool Clean() const { return uploadsFailed == 0 && filesPassedOver == 0 && foldersPassedOver == 0; }
};

class FileCheck {
public:
    // The job's transfer window: its current-file label and its uploads.
    explicit FileCheck(TransferWindow& window);

    // Checks every entry of one folder. A folder that cannot be listed gets
    // a status line naming it and the reason, and the result is false.
    // Store failures are thrown (store::StoreError).
    bool CheckFolder(const std::string& folder);

    // Checks the folder and every folder below it, depth first, and returns
    // how many folders were checked. reset starts the count again at 0;
    // the walk's own deeper calls pass false and add to it.
    std::int64_t CheckFolderTree(const std::string& path, bool reset);

    const CheckTally& Tally() const { return tally_; }

private:
    void CheckEntry(const std::string& folderText, const std::string& name);
    void PassOverFolder(const std::string& folder, const std::string& reason);

    TransferWindow& window_;
    CheckTally tally_;
    std::int64_t total_ = 0;
};

// The line that names what was passed over and why.
std::string CouldNotRead(const std::string& path, const std::string& reason);

}  // namespace syncrun
