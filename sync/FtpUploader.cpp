#include "sync/FtpUploader.h"

#include "ftp/FtpErrors.h"
#include "ftp/FtpPaths.h"
#include "hash/FileHasher.h"
#include "ftp/modFTP.h"
#include "base/StatusLog.h"
#include "sync/RemotePath.h"

#include <cctype>
#include <string_view>
#include <vector>

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

// The connection itself failed (not a refusal): the server went away, cut
// the connection or stopped answering.
bool LostConnection(std::uint32_t code) {
    return code == ftp::ERROR_INTERNET_TIMEOUT || code == ftp::ERROR_INTERNET_CONNECTION_ABORTED ||
           code == ftp::ERROR_INTERNET_CANNOT_CONNECT || code == ftp::ERROR_INTERNET_OPERATION_CANCELLED;
}

bool HoldsControlBytes(const ftp::RemotePath& path) {
    for (const std::string& level : path.levels)
        for (const char c : level)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
    return false;
}

constexpr std::string_view kTemporaryPrefix = ".tessary-";

// The hidden name a file goes up under before it takes its own: the same
// for the same target, so what a killed run left is overwritten by the
// next try, and another for another target, so two files of one name in
// two folders never share one in the remote directory; hidden, so never
// the name of a file that is sent (hidden files are not); short, so a name
// of 255 bytes still has one.
std::string TemporaryName(const ftp::RemotePath& target) {
    hash::Md5Stream md5;
    for (const std::string& level : target.levels) md5.Update(level.data(), level.size() + 1);  // with its NUL
    return std::string(kTemporaryPrefix) + md5.HexDigest().substr(0, 16);
}

bool IsTemporaryName(const std::string& name) {
    if (name.size() != kTemporaryPrefix.size() + 16 || !name.starts_with(kTemporaryPrefix)) return false;
    for (std::size_t i = kTemporaryPrefix.size(); i < name.size(); ++i)
        if (!std::isxdigit(static_cast<unsigned char>(name[i]))) return false;
    return true;
}

}  // namespace

FtpUploader::FtpUploader(RunObserver& observer) : observer_(observer) {}

FtpUploader::~FtpUploader() { Disconnect(); }

void FtpUploader::Disconnect() {
    if (connection_) ftp::InternetCloseHandle(connection_);
    connection_ = nullptr;
}

bool FtpUploader::Connect(const store::Job& job) {
    Disconnect();
    gaveUp_ = false;
    leftTemporaries_ = false;
    sweepStopped_ = false;
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

bool FtpUploader::Upload(std::FILE* file, const std::string& localPath, const ftp::RemotePath& target,
                         ftp::ReadTap* tap, bool replacing) {
    if (gaveUp_) return false;
    // Names go to the server as they stand: one holding a line break would
    // become a command of its own.
    if (target.HoldsLineBreak()) {
        LogStatus("FTP Info: " + OneLine(localPath) +
                  " is passed over: its name holds a line break or NUL character.");
        return false;
    }
    observer_.SetStatus("Uploading " + localPath);
    if (TrySend(file, localPath, target, tap, replacing)) return true;
    if (!LostConnection(ftp::GetLastError())) return false;
    // The next request logs in afresh: the same file once more, from its start.
    if (file) std::rewind(file);
    if (tap) tap->Rewound();
    if (TrySend(file, localPath, target, tap, replacing)) return true;
    if (LostConnection(ftp::GetLastError())) {
        LogStatus("FTP Info: The server does not answer; the rest of this job is passed over.");
        gaveUp_ = true;
    }
    return false;
}

bool FtpUploader::TrySend(std::FILE* file, const std::string& localPath, const ftp::RemotePath& target,
                          ftp::ReadTap* tap, bool replacing) {
    ftp::RemotePath folder = target;
    folder.levels.pop_back();
    const ftp::CreateResult made = ftp::FtpCreateDirectory(connection_, folder);
    if (made == ftp::CreateResult::Created) LogStatus("FTP Info: DoneDir");
    // A folder that could not be made shows in the upload's own failure,
    // unless the server is gone: then waiting on the upload as well is no use.
    if (made == ftp::CreateResult::Failed && LostConnection(ftp::GetLastError())) {
        ftp::ReportInternetError(ftp::GetLastError(), "FtpCreateDirectory");
        return false;
    }
    // A URL cannot carry control bytes: such a file goes up under a plain
    // name in the remote directory itself, and a raw rename moves it.
    const bool rawName = HoldsControlBytes(target);
    const bool viaTemporary = replacing || rawName;
    const ftp::RemotePath sendTo = !viaTemporary ? target
                                   : rawName     ? ftp::RemotePath({TemporaryName(target)})
                                                 : folder.Child(TemporaryName(target));
    const bool sent = file ? ftp::FtpPutFile(connection_, file, sendTo, ftp::FTP_TRANSFER_TYPE_BINARY, tap)
                           : ftp::FtpPutFile(connection_, localPath, sendTo, ftp::FTP_TRANSFER_TYPE_BINARY, tap);
    if (!sent || (viaTemporary && !ftp::FtpRenameFile(connection_, sendTo, target))) {
        const std::uint32_t code = ftp::GetLastError();
        const std::string reply = ftp::InternetGetLastResponseInfo();
        ftp::ReportInternetError(code, sent ? "FtpRenameFile" : "FtpPutFile");
        // The old copy is untouched; what arrived of the new one goes, when
        // the connection still allows it (else the next replacement of this
        // file overwrites it).
        if (viaTemporary && (LostConnection(code) || !ftp::FtpDeleteFile(connection_, sendTo)))
            leftTemporaries_ = true;
        ftp::SetLastError(code, reply);
        return false;
    }
    observer_.SetStatus("Scanning Files..");
    LogStatus("FTP Info: File transfered!");
    return true;
}

void FtpUploader::SweepFolder(const ftp::RemotePath& folder) {
    // A folder a URL cannot name holds none: such names go up through the
    // remote directory itself.
    if (HoldsControlBytes(folder)) return;
    // A lost connection leaves the rest of the sweep to the next run, so a
    // dead server costs one wait here, not one a folder; the uploads try again.
    if (sweepStopped_ || gaveUp_ || !connection_) {
        sweepStopped_ = leftTemporaries_ = true;
        return;
    }
    std::vector<std::string> names;
    if (!ftp::FtpListNames(connection_, folder, names)) {
        // A folder not on the server yet holds nothing.
        if (LostConnection(ftp::GetLastError())) sweepStopped_ = leftTemporaries_ = true;
        return;
    }
    for (const std::string& name : names)
        if (IsTemporaryName(name) && !ftp::FtpDeleteFile(connection_, folder.Child(name))) leftTemporaries_ = true;
}

bool FtpUploader::UploadPath(const std::string& localPath, const std::string& name, const std::string& remoteFolder) {
    return Upload(nullptr, localPath, RemoteTarget(remoteFolder, name), nullptr, false);
}
void FtpUploader::Close() {
    observer_.Connected(false);
    Disconnect();
    LogStatus("FTP Info: I have disconnected from the server.");
}

}  // namespace syncrun
