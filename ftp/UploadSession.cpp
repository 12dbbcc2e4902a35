#include "ftp/UploadSession.h"

#include "ftp/RemotePath.h"
#include "ftp/modFTP.h"
#include "shell/StatusLog.h"
#include "store/Store.h"

#include <optional>

using namespace ftp;

UploadSession::UploadSession() {
    // One internet session serves the whole process; it is opened on the
    // first load and kept.
    if (!InternetHandle) {
        InternetHandle = InternetOpen(kAgentName);
        if (!InternetHandle) ReportInternetError(GetLastError(), "InternetOpen");
    }
    TransferFlags = FTP_TRANSFER_TYPE_BINARY;
    ConnectFlags = INTERNET_FLAG_PASSIVE;
    // A connection left in the slot belongs to nobody any more.
    if (FtpConnection) InternetCloseHandle(FtpConnection);
    FtpConnection = nullptr;
}

UploadSession::~UploadSession() {
    if (!unloaded_ && FtpConnection) {
        InternetCloseHandle(FtpConnection);
        FtpConnection = nullptr;
    }
}

void UploadSession::SetStatus(const std::string& text) {
    status_ = text;
    if (onLabelsChanged) onLabelsChanged();
}

void UploadSession::SetCurrentFile(const std::string& name) {
    currentFile_ = name;
    if (onLabelsChanged) onLabelsChanged();
}

void UploadSession::TopMost(bool on) {
    if (onTopMostChanged) onTopMostChanged(on);
}

namespace {

struct Profile {
    std::string host, user, password, directory;
    int port = 21;
};

// The job's profile, or nothing (with a status line) when the job or its
// profile is gone. The results are let go before anyone connects: an open
// result keeps the store locked against other processes.
std::optional<Profile> ReadProfile(std::int64_t syncId) {
    auto& store = store::StoreConnection();
    std::string settingsId;
    {
        store::SqlText = "Select * from Tessary where SyncID = " + std::to_string(syncId);
        store::Recordset job = store.Execute(store::SqlText);
        if (job.Eof()) {
            LogStatus("FTP Info: Folder job " + std::to_string(syncId) + " is not in the store.");
            return std::nullopt;
        }
        if (job.Fields("SettingsID").empty()) {
            LogStatus("FTP Info: Folder job " + std::to_string(syncId) + " names no server profile.");
            return std::nullopt;
        }
        settingsId = std::to_string(job.FieldInt("SettingsID"));
    }
    store::SqlText = "select * from mySettings where SettingsID = " + settingsId;
    store::Recordset row = store.Execute(store::SqlText);
    if (row.Eof()) {
        LogStatus("FTP Info: Server profile " + settingsId + " of folder job " + std::to_string(syncId) +
                  " is not in the store.");
        return std::nullopt;
    }
    return Profile{row.Fields("FTPServer"), row.Fields("FTPUser"), row.Fields("FTPPassword"),
                   row.Fields("FTPDirectory"), PortFromProfile(row.Fields("FTPPort"))};
}

// The remote folder below the profile's directory: "", "." and ".." levels
// are dropped, so a job folder such as /a/../../etc cannot reach above it.
std::string FolderBelowRemoteDirectory(const std::string& remoteFolder) {
    std::string folder;
    for (const std::string& level : PathSegments(remoteFolder))
        if (level != "." && level != "..") folder += level + "/";
    return folder;
}

}  // namespace

bool UploadSession::ConnectToFTP(std::int64_t syncId) {
    const std::optional<Profile> profile = ReadProfile(syncId);
    if (!profile) return false;
    const std::string& directory = profile->directory;

    if (FtpConnection) {
        InternetCloseHandle(FtpConnection);
        FtpConnection = nullptr;
    }
    FtpConnection = InternetConnect(InternetHandle, profile->host, profile->port, profile->user,
                                    profile->password, ConnectFlags);
    if (!FtpConnection) {
        ReportInternetError(GetLastError(), "InternetConnect");
        return false;
    }
    if (!FtpSetCurrentDirectory(FtpConnection, directory)) {
        // The connection stays until the run closes it at the job's end.
        ReportInternetError(GetLastError(), "FtpSetCurrentDirectory");
        return false;
    }
    LogStatus("FTP Info: Directory is changed to " + directory);
    TopMost(true);
    return true;
}

bool UploadSession::UploadFile(const std::string& fileName, const std::string& remote,
                               const std::string& remoteFolder) {
    // Names go to the server as they stand: one holding a line break would
    // become a command of its own.
    if (HoldsLineBreak(remote) || HoldsLineBreak(remoteFolder)) {
        LogStatus("FTP Info: " + Printable(fileName) +
                  " is passed over: its name holds a line break or NUL character.");
        return false;
    }
    // The folder is relative to the profile's remote directory, always.
    const std::string folder = FolderBelowRemoteDirectory(remoteFolder);
    if (FtpCreateDirectory(FtpConnection, folder) == CreateResult::Created) LogStatus("FTP Info: DoneDir");

    SetStatus("Uploading " + fileName);
    TransferYield();

    if (!FtpPutFile(FtpConnection, fileName, folder + remote, TransferFlags)) {
        ReportInternetError(GetLastError(), "FtpPutFile");
        return false;
    }
    SetStatus("Scanning Files..");
    LogStatus("FTP Info: File transfered!");
    return true;
}

void UploadSession::Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    TopMost(false);
    if (FtpConnection) InternetCloseHandle(FtpConnection);
    FtpConnection = nullptr;
    LogStatus("FTP Info: I have disconnected from the server.");
}
