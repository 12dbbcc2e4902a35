#include "ftp/UploadSession.h"

#include "ftp/RemotePath.h"
#include "ftp/modFTP.h"
#include "shell/StatusLog.h"
#include "store/Store.h"

#include <algorithm>

using namespace ftp;

namespace {

constexpr const char* kAgent = "My VB Test";

}  // namespace

UploadSession::UploadSession() {
    // One internet session serves the whole process; it is opened on the
    // first load and kept.
    if (!InternetHandle) {
        InternetHandle = InternetOpen(kAgent);
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

bool UploadSession::ConnectToFTP(std::int64_t syncId) {
    auto& store = store::StoreConnection();
    store::SqlText = "Select * from Tessary where SyncID = " + std::to_string(syncId);
    store::Recordset job = store.Execute(store::SqlText);
    if (job.Eof()) {
        LogStatus("FTP Info: Folder job " + std::to_string(syncId) + " is not in the store.");
        return false;
    }
    if (job.Fields("SettingsID").empty()) {
        LogStatus("FTP Info: Folder job " + std::to_string(syncId) + " names no server profile.");
        return false;
    }
    const std::string settingsId = std::to_string(job.FieldInt("SettingsID"));
    store::SqlText = "select * from mySettings where SettingsID = " + settingsId;
    store::Recordset profile = store.Execute(store::SqlText);
    if (profile.Eof()) {
        LogStatus("FTP Info: Server profile " + settingsId + " of folder job " + std::to_string(syncId) +
                  " is not in the store.");
        return false;
    }
    const std::string host = profile.Fields("FTPServer");
    const std::string user = profile.Fields("FTPUser");
    const std::string password = profile.Fields("FTPPassword");
    const std::string directory = profile.Fields("FTPDirectory");
    const int port = PortFromProfile(profile.Fields("FTPPort"));

    if (FtpConnection) {
        InternetCloseHandle(FtpConnection);
        FtpConnection = nullptr;
    }
    FtpConnection = InternetConnect(InternetHandle, host, port, user, password, ConnectFlags);
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
    std::string folder = remoteFolder.substr(std::min(remoteFolder.find_first_not_of('/'), remoteFolder.size()));
    if (!folder.empty() && folder.back() != '/') folder += '/';
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
