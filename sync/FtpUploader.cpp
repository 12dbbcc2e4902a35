#include "sync/FtpUploader.h"

#include "ftp/FtpPaths.h"
#include "ftp/modFTP.h"
#include "shell/StatusLog.h"

namespace syncrun {
namespace {

// One internet session serves the whole process; it is opened on first use
// and kept.
ftp::InternetSession* ProcessSession() {
    static ftp::InternetSession* const session = [] {
        ftp::InternetSession* s = ftp::InternetOpen(ftp::kAgentName);
        if (!s) ftp::ReportInternetError(ftp::GetLastError(), "InternetOpen");
        return s;
    }();
    return session;
}

// The remote folder below the profile's directory: "", "." and ".." levels
// are dropped, so a job folder such as /a/../../etc cannot reach above it.
std::string FolderBelowRemoteDirectory(const std::string& remoteFolder) {
    std::string folder;
    for (const std::string& level : ftp::PathSegments(remoteFolder))
        if (level != "." && level != "..") folder += level + "/";
    return folder;
}

// The connection itself failed (not a refusal): the server went away, cut
// the connection or stopped answering.
bool LostConnection(std::uint32_t code) {
    return code == ftp::ERROR_INTERNET_TIMEOUT || code == ftp::ERROR_INTERNET_CONNECTION_ABORTED ||
           code == ftp::ERROR_INTERNET_CANNOT_CONNECT || code == ftp::ERROR_INTERNET_OPERATION_CANCELLED;
}

}  // namespace

FtpUploader::FtpUploader(RunObserver& observer) : observer_(observer) {}

FtpUploader::~FtpUploader() { Disconnect(); }

void FtpUploader::Disconnect() {
    if (connection_) ftp::InternetCloseHandle(connection_);
    connection_ = nullptr;
}

bool FtpUploader::Connect(const Job& job) {
    Disconnect();
    gaveUp_ = false;
    if (!job.profile) {
        LogStatus(job.problem);
        return false;
    }
    const store::ServerProfile& profile = *job.profile;
    connection_ = ftp::InternetConnect(ProcessSession(), profile.server, ftp::PortFromProfile(profile.port, profile.server),
                                       profile.user, profile.password, ftp::INTERNET_FLAG_PASSIVE);
    if (!connection_) {
        ftp::ReportInternetError(ftp::GetLastError(), "InternetConnect");
        return false;
    }
    if (!ftp::FtpSetCurrentDirectory(connection_, profile.directory)) {
        // The connection stays until the job's end closes it.
        ftp::ReportInternetError(ftp::GetLastError(), "FtpSetCurrentDirectory");
        return false;
    }
    LogStatus("FTP Info: Directory is changed to " + OneLine(profile.directory));
    observer_.Connected(true);
    return true;
}

bool FtpUploader::Upload(std::FILE* file, const std::string& localPath, const std::string& name,
                         const std::string& remoteFolder, ftp::ReadTap* tap) {
    if (gaveUp_) return false;
    // Names go to the server as they stand: one holding a line break would
    // become a command of its own.
    if (ftp::HoldsLineBreak(name) || ftp::HoldsLineBreak(remoteFolder)) {
        LogStatus("FTP Info: " + OneLine(localPath) +
                  " is passed over: its name holds a line break or NUL character.");
        return false;
    }
    // The folder is relative to the profile's remote directory, always.
    const std::string folder = FolderBelowRemoteDirectory(remoteFolder);
    observer_.SetStatus("Uploading " + localPath);
    if (TrySend(file, localPath, folder + name, folder, tap)) return true;
    if (!LostConnection(ftp::GetLastError())) return false;
    // The next request logs in afresh: the same file once more, from its start.
    if (file) std::rewind(file);
    if (tap) tap->Rewound();
    if (TrySend(file, localPath, folder + name, folder, tap)) return true;
    if (LostConnection(ftp::GetLastError())) {
        LogStatus("FTP Info: The server does not answer; the rest of this job is passed over.");
        gaveUp_ = true;
    }
    return false;
}

bool FtpUploader::TrySend(std::FILE* file, const std::string& localPath, const std::string& remote,
                          const std::string& folder, ftp::ReadTap* tap) {
    const ftp::CreateResult made = ftp::FtpCreateDirectory(connection_, folder);
    if (made == ftp::CreateResult::Created) LogStatus("FTP Info: DoneDir");
    // A folder that could not be made shows in the upload's own failure,
    // unless the server is gone: then waiting on the upload as well is no use.
    if (made == ftp::CreateResult::Failed && LostConnection(ftp::GetLastError())) {
        ftp::ReportInternetError(ftp::GetLastError(), "FtpCreateDirectory");
        return false;
    }
    const bool sent = file ? ftp::FtpPutFile(connection_, file, remote, ftp::FTP_TRANSFER_TYPE_BINARY, tap)
                           : ftp::FtpPutFile(connection_, localPath, remote, ftp::FTP_TRANSFER_TYPE_BINARY, tap);
    if (!sent) {
        ftp::ReportInternetError(ftp::GetLastError(), "FtpPutFile");
        return false;
    }
    observer_.SetStatus("Scanning Files..");
    LogStatus("FTP Info: File transfered!");
    return true;
}

bool FtpUploader::UploadPath(const std::string& localPath, const std::string& name, const std::string& remoteFolder) {
    return Upload(nullptr, localPath, name, remoteFolder, nullptr);
}

void FtpUploader::Close() {
    observer_.Connected(false);
    Disconnect();
    LogStatus("FTP Info: I have disconnected from the server.");
}

}  // namespace syncrun
