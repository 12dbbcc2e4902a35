#include "sync/FtpUploader.h"

#include <algorithm>

#include "base/StatusLog.h"
#include "ftp/FtpErrors.h"
#include "ftp/modFTP.h"
#include "hash/FileHasher.h"

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

// What a failed request's code says of the connection: broken off, or a
// server that no longer answers (nor takes a new connection).
Attempt AttemptOf(std::uint32_t code) {
    switch (code) {
    case ftp::ERROR_SUCCESS: return Attempt::Done;
    case ftp::ERROR_INTERNET_TIMEOUT:
    case ftp::ERROR_INTERNET_CANNOT_CONNECT: return Attempt::Unanswered;
    case ftp::ERROR_INTERNET_CONNECTION_ABORTED:
    case ftp::ERROR_INTERNET_OPERATION_CANCELLED: return Attempt::Lost;
    default: return Attempt::Refused;
    }
}

bool LostConnection(std::uint32_t code) { return AttemptOf(code) == Attempt::Lost || AttemptOf(code) == Attempt::Unanswered; }

void Report(std::uint32_t code, const std::string& caller, Lines& lines) {
    for (std::string& line : ftp::InternetErrorLines(code, caller)) lines.push_back(std::move(line));
}

bool AnyLevelHoldsControlBytes(const ftp::RemotePath& path) {
    return std::any_of(path.levels.begin(), path.levels.end(),
                       [](const std::string& level) { return HoldsControlBytes(level); });
}

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

}  // namespace

bool HoldsControlBytes(const std::string& name) {
    return std::any_of(name.begin(), name.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

bool IsTemporaryName(const std::string& name) {
    if (name.size() != kTemporaryPrefix.size() + 16 || !name.starts_with(kTemporaryPrefix)) return false;
    for (std::size_t i = kTemporaryPrefix.size(); i < name.size(); ++i)
        if (!std::isxdigit(static_cast<unsigned char>(name[i]))) return false;
    return true;
}

FtpUploader::~FtpUploader() { Disconnect(); }

void FtpUploader::Close() { Disconnect(); }

void FtpUploader::Disconnect() {
    if (connection_) ftp::InternetCloseHandle(connection_);
    connection_ = nullptr;
}

bool FtpUploader::Connect(const store::Job& job, Lines& lines) {
    Disconnect();
    leftTemporaries_ = false;
    if (!job.profile) {
        lines.push_back(job.problem);
        return false;
    }
    const store::ServerProfile& profile = *job.profile;
    connection_ = ftp::InternetConnect(ProcessSession(), profile.server, ftp::PortFromProfile(profile.port, profile.server),
                                       profile.user, profile.password, ftp::INTERNET_FLAG_PASSIVE);
    if (!connection_) {
        Report(ftp::GetLastError(), "InternetConnect", lines);
        return false;
    }
    if (!ftp::FtpSetCurrentDirectory(connection_, profile.directory)) {
        // The connection stays until the job's end closes it.
        Report(ftp::GetLastError(), "FtpSetCurrentDirectory", lines);
        return false;
    }
    lines.push_back("FTP Info: Directory is changed to " + OneLine(profile.directory));
    return true;
}

Attempt FtpUploader::MakeFolder(const ftp::RemotePath& folder, bool parentMade, bool& made, Lines& lines) {
    const ftp::CreateResult result = ftp::FtpCreateDirectory(connection_, folder, parentMade);
    made = result == ftp::CreateResult::Created;
    if (made) lines.push_back("FTP Info: DoneDir");
    if (result != ftp::CreateResult::Failed) return Attempt::Done;
    // A folder that could not be made shows in the upload's own failure,
    // unless the server is gone: then waiting on the upload as well is no use.
    const std::uint32_t code = ftp::GetLastError();
    if (!LostConnection(code)) return Attempt::Refused;
    Report(code, "FtpCreateDirectory", lines);
    return AttemptOf(code);
}

Attempt FtpUploader::Put(std::FILE* file, const std::string& localPath, const ftp::RemotePath& target,
                         ftp::ReadTap* tap, bool replacing, Lines& lines) {
    // Names go to the server as they stand: one holding a line break would
    // become a command of its own.
    if (target.HoldsLineBreak()) {
        lines.push_back("FTP Info: " + OneLine(localPath) +
                        " is passed over: its name holds a line break or NUL character.");
        return Attempt::Refused;
    }
    ftp::RemotePath folder = target;
    folder.levels.pop_back();
    // A URL cannot carry control bytes: such a file goes up under a plain
    // name in the remote directory itself, and a raw rename moves it.
    const bool rawName = AnyLevelHoldsControlBytes(target);
    const bool viaTemporary = replacing || rawName;
    const ftp::RemotePath sendTo = !viaTemporary ? target
                                   : rawName     ? ftp::RemotePath({TemporaryName(target)})
                                                 : folder.Child(TemporaryName(target));
    const bool sent = file ? ftp::FtpPutFile(connection_, file, sendTo, ftp::FTP_TRANSFER_TYPE_BINARY, tap)
                           : ftp::FtpPutFile(connection_, localPath, sendTo, ftp::FTP_TRANSFER_TYPE_BINARY, tap);
    bool renamed = !viaTemporary || (sent && ftp::FtpRenameFile(connection_, sendTo, target));
    // The copy is whole on the server (it said so) and only the connection
    // went: the rename goes again over a new login.
    if (sent && !renamed && LostConnection(ftp::GetLastError()))
        renamed = ftp::FtpRenameFile(connection_, sendTo, target);
    if (!sent || !renamed) {
        const std::uint32_t code = ftp::GetLastError();
        Report(code, sent ? "FtpRenameFile" : "FtpPutFile", lines);
        // The old copy is untouched; what arrived of the new one goes, when
        // the connection still allows it (else the next replacement of this
        // file overwrites it).
        if (viaTemporary && (LostConnection(code) || !ftp::FtpDeleteFile(connection_, sendTo)))
            leftTemporaries_ = true;
        return AttemptOf(code);
    }
    lines.push_back("FTP Info: File transfered!");
    return Attempt::Done;
}

Attempt FtpUploader::Sweep(const ftp::RemotePath& folder) {
    // A folder a URL cannot name holds none: such names go up through the
    // remote directory itself.
    if (AnyLevelHoldsControlBytes(folder)) return Attempt::Done;
    std::vector<std::string> names;
    if (!ftp::FtpListNames(connection_, folder, names)) {
        // A folder not on the server yet holds nothing.
        const Attempt attempt = AttemptOf(ftp::GetLastError());
        return attempt == Attempt::Refused ? Attempt::Done : attempt;
    }
    for (const std::string& name : names)
        if (IsTemporaryName(name) && !ftp::FtpDeleteFile(connection_, folder.Child(name))) leftTemporaries_ = true;
    return Attempt::Done;
}

Attempt FtpUploader::List(const ftp::RemotePath& folder, std::vector<ftp::RemoteEntry>& entries, Lines& lines) {
    if (ftp::FtpListFolder(connection_, folder, entries)) return Attempt::Done;
    const std::uint32_t code = ftp::GetLastError();
    // A folder the server does not have is no failure of the connection.
    if (AttemptOf(code) != Attempt::Refused) Report(code, "FtpListFolder", lines);
    return AttemptOf(code);
}

Attempt FtpUploader::Get(const ftp::RemotePath& source, ftp::WriteSink& sink, std::int64_t& modified, Lines& lines) {
    if (ftp::FtpGetFile(connection_, source, sink, modified)) return Attempt::Done;
    const std::uint32_t code = ftp::GetLastError();
    Report(code, "FtpGetFile", lines);
    return AttemptOf(code);
}

}  // namespace syncrun
