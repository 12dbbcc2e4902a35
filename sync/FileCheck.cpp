#include "sync/FileCheck.h"

#include "hash/FileHasher.h"
#include "shell/Runtime.h"
#include "shell/StatusLog.h"
#include "sync/FileRecords.h"
#include "sync/FolderListing.h"
#include "sync/RemotePath.h"

namespace syncrun {

std::string CouldNotRead(const std::string& path, const std::string& reason) {
    return path + " could not be read: " + reason;
}

FileCheck::FileCheck(TransferWindow& window) : window_(window) {}

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
    for (const std::string& name : listing.names) CheckEntry(folderText, name);
    return true;
}

void FileCheck::CheckEntry(const std::string& folderText, const std::string& name) {
    window_.SetCurrentFile(name);
    runtime::DoEvents();

    const std::string fullPath = folderText + name;
    const hash::HashResult hashed = hash::FileHasher::Instance().Hash(fullPath);
    switch (hashed.status) {
    case hash::HashResult::Status::NotAFile:
        return;  // sub-folders, links to folders, FIFOs and the like
    case hash::HashResult::Status::Unreadable:
        LogStatus(CouldNotRead(fullPath, hashed.reason));
        ++tally_.filesPassedOver;
        return;
    case hash::HashResult::Status::Hashed:
        break;
    }

    const std::optional<StoredFile> stored = FindFileRecord(fullPath);
    if (stored && stored->hash == hashed.hex) return;
    // Only a new record keeps the date; an unchanged file needs none.
    const std::string date = stored ? std::string() : GetFileDate(fullPath);

    LogStatus(fullPath + " has changed");
    // The record follows the upload: a file that did not reach the server
    // keeps its old record and is sent again by the next run.
    if (window_.UploadFile(fullPath, name, UploadFolder(GetRemoteFolder(fullPath, name)))) {
        UpdateFileRecord(stored, fullPath, date, hashed.hex, name);
        ++tally_.filesSent;
    } else {
        ++tally_.uploadsFailed;
    }
}

}  // namespace syncrun
