#include "ftp/modFTP.h"

#include "ftp/FtpErrors.h"
#include "ftp/FtpSession.h"
#include "ftp/FtpPaths.h"

#include <cerrno>
#include <memory>
#include <sys/stat.h>

namespace ftp {

struct InternetSession {
    std::string agent;
};

namespace {

// No connection to make a call on.
bool Unusable(FtpSession* connection) {
    if (connection) return false;
    SetLastError(ERROR_INVALID_HANDLE, {});
    return true;
}

void Fail(const FtpSession& session, const Outcome& outcome) {
    const std::uint32_t code = session.FailureCode(outcome);
    SetLastError(code, session.FailureText(), session.FailureDetail(outcome));
}

// An SFTP request: its failure sets the last error (a refusal is 12003
// with libcurl's account as the reply text).
bool Succeeds(FtpSession& session, const Outcome& outcome) {
    if (!outcome.ok()) {
        Fail(session, outcome);
        return false;
    }
    SetLastError(ERROR_SUCCESS, {});
    return true;
}

// A remote path that names a file: not empty, no folder, no line break.
bool NamesFile(const RemotePath& path) {
    if (path.HoldsLineBreak() || path.namesFolder) {
        SetLastError(ERROR_INVALID_NAME, {});
        return false;
    }
    return true;
}

// A raw command's reply: `expected` is success; a refusal leaves the reply
// as the extended error text.
bool CommandSucceeds(FtpSession& session, const std::string& line, long expected) {
    const Outcome outcome = session.Command(line);
    if (!outcome.ok()) {
        Fail(session, outcome);
        return false;
    }
    if (outcome.replyCode != expected) {
        SetLastError(ERROR_INTERNET_EXTENDED_ERROR, session.lastReply);
        return false;
    }
    SetLastError(ERROR_SUCCESS, session.lastReply);
    return true;
}

// The absolute remote path of a file; empty (with the error set) for a path
// that names no file or would split into several commands.
std::string FileTarget(const FtpSession& connection, const RemotePath& remoteFile) {
    if (!NamesFile(remoteFile)) return {};
    std::string target = ResolveRemotePath(connection.cwd, remoteFile);
    if (target == "/") {
        SetLastError(ERROR_INVALID_NAME, {});
        return {};
    }
    return target;
}

// Remembers a folder that is there, and so every folder above it.
void Know(FtpSession& session, std::string folder) {
    while (folder != "/" && session.knownFolders.insert(folder).second) folder = ResolveRemotePath(folder, "..");
}

// Forgets the folders at and below `path` (it was renamed or removed).
void ForgetFoldersBelow(FtpSession& session, const std::string& path) {
    auto& known = session.knownFolders;
    for (auto it = known.lower_bound(path); it != known.end() && it->compare(0, path.size(), path) == 0;) {
        if (it->size() == path.size() || (*it)[path.size()] == '/') it = known.erase(it);
        else ++it;
    }
}

}  // namespace

InternetSession* InternetOpen(const std::string& agent) {
    static const CURLcode init = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (init != CURLE_OK) {
        SetLastError(ERROR_INTERNET_INTERNAL_ERROR, curl_easy_strerror(init));
        return nullptr;
    }
    return new InternetSession{agent};
}

void InternetCloseHandle(InternetSession* session) { delete session; }

FtpSession* InternetConnect(InternetSession* session, const std::string& host, int port, const std::string& user,
                            const std::string& password, std::uint32_t flags) {
    if (!session) {
        SetLastError(ERROR_INVALID_HANDLE, {});
        return nullptr;
    }
    // USER and PASS go out as they stand: a line break would end the command.
    if (HoldsLineBreak(host) || HoldsLineBreak(user) || HoldsLineBreak(password)) {
        SetLastError(ERROR_INVALID_PARAMETER, {});
        return nullptr;
    }
    Endpoint where;
    switch (MakeEndpoint(host, port, where)) {
    case EndpointProblem::UnknownScheme:
        SetLastError(ERROR_INTERNET_UNRECOGNIZED_SCHEME, {});
        return nullptr;
    case EndpointProblem::NoHost:
        SetLastError(ERROR_INTERNET_NAME_NOT_RESOLVED, {});
        return nullptr;
    case EndpointProblem::None:
        break;
    }
    where.caFile = CaFile();
    where.knownHosts = KnownHostsFile();
    auto connection = std::make_unique<FtpSession>(std::move(where), user, password,
                                                   (flags & INTERNET_FLAG_PASSIVE) != 0, CurrentTimeouts());
    if (!connection->valid()) {
        SetLastError(ERROR_INTERNET_INTERNAL_ERROR, {});
        return nullptr;
    }
    const Outcome outcome = connection->Login();
    if (!outcome.ok()) {
        Fail(*connection, outcome);
        return nullptr;
    }
    char* entry = nullptr;
    curl_easy_getinfo(connection->easy.get(), CURLINFO_FTP_ENTRY_PATH, &entry);
    connection->cwd = entry && entry[0] == '/' ? ResolveRemotePath("/", entry) : "/";
    SetLastError(ERROR_SUCCESS, connection->lastReply);
    return connection.release();
}

void InternetCloseHandle(FtpSession* connection) { delete connection; }

bool FtpSetCurrentDirectory(FtpSession* connection, const std::string& directory) {
    if (Unusable(connection)) return false;
    if (HoldsLineBreak(directory)) {
        SetLastError(ERROR_INVALID_NAME, {});
        return false;
    }
    if (directory.empty()) {
        SetLastError(ERROR_SUCCESS, {});
        return true;
    }
    const std::string target = ResolveRemotePath(connection->cwd, directory);
    if (connection->sftp()) {
        // SFTP has no current directory: the path is checked and kept here.
        bool exists = false;
        if (!Succeeds(*connection, connection->Exists(target, true, exists))) return false;
        // A directory that cannot be looked at: listing it says why.
        if (!exists && !Succeeds(*connection, connection->List(target))) return false;
    } else if (!CommandSucceeds(*connection, "CWD " + target, 250)) {
        return false;
    }
    connection->cwd = target;
    Know(*connection, target);
    return true;
}

namespace {

// The levels of `target` to make, highest first: the target and every
// level above it up to the first one there (or known to be), each looked
// at; none when the target is there. The walk goes up from the target, so
// a new folder in one that is there costs two looks at any depth.
template <typename Look>
bool MissingLevels(FtpSession& session, const std::string& target, Look look, std::vector<std::string>& missing) {
    missing.clear();
    for (std::string level = target; level != "/" && !session.knownFolders.count(level);
         level = ResolveRemotePath(level, "..")) {
        bool there = false;
        if (!look(level, there)) return false;
        if (there) {
            Know(session, level);
            break;
        }
        missing.insert(missing.begin(), level);
    }
    return true;
}

CreateResult CreateSftpDirectory(FtpSession& session, const std::string& target) {
    const auto look = [&](const std::string& level, bool& there) {
        return Succeeds(session, session.Exists(level, true, there));
    };
    std::vector<std::string> missing;
    if (!MissingLevels(session, target, look, missing)) return CreateResult::Failed;
    for (const std::string& level : missing) {
        if (!Succeeds(session, session.Quote({"mkdir " + SftpQuoted(level)}))) return CreateResult::Failed;
        Know(session, level);
    }
    return missing.empty() ? CreateResult::Existed : CreateResult::Created;
}

// One level by MKD; a refused MKD is all a server says of a folder that is
// there already, so a CWD tells them apart, and the MKD's reply is the one
// to show when the level is not there.
CreateResult MakeFtpLevel(FtpSession& session, const std::string& level) {
    if (CommandSucceeds(session, "MKD " + level, 257)) return CreateResult::Created;
    const std::uint32_t code = GetLastError();
    const std::string refusal = InternetGetLastResponseInfo();
    if (code != ERROR_INTERNET_EXTENDED_ERROR) return CreateResult::Failed;
    if (CommandSucceeds(session, "CWD " + level, 250)) return CreateResult::Existed;
    if (GetLastError() == ERROR_INTERNET_EXTENDED_ERROR) SetLastError(code, refusal);
    return CreateResult::Failed;
}

}  // namespace

CreateResult FtpCreateDirectory(FtpSession* connection, const RemotePath& folder, bool parentMade) {
    if (Unusable(connection)) return CreateResult::Failed;
    if (folder.HoldsLineBreak()) {
        SetLastError(ERROR_INVALID_NAME, {});
        return CreateResult::Failed;
    }
    const std::string target = ResolveRemotePath(connection->cwd, folder);
    auto& known = connection->knownFolders;
    if (target == "/" || known.count(target)) return CreateResult::Existed;
    if (parentMade) Know(*connection, ResolveRemotePath(target, ".."));
    if (connection->sftp()) return CreateSftpDirectory(*connection, target);
    // A folder in one just made cannot be there yet: its MKD alone makes it.
    // Elsewhere it mostly is there: a CWD settles it. Only a refused CWD is
    // worth going on from; a server that stopped answering would make every
    // level wait out its timeout.
    const auto look = [&](const std::string& level, bool& there) {
        there = CommandSucceeds(*connection, "CWD " + level, 250);
        return there || GetLastError() == ERROR_INTERNET_EXTENDED_ERROR;
    };
    std::vector<std::string> missing{target};
    if (!parentMade && !MissingLevels(*connection, target, look, missing))
        return CreateResult::Failed;
    bool created = false;
    for (const std::string& level : missing) {
        const CreateResult made = MakeFtpLevel(*connection, level);
        if (made == CreateResult::Failed) return made;
        created = created || made == CreateResult::Created;
        Know(*connection, level);
    }
    return created ? CreateResult::Created : CreateResult::Existed;
}

bool FtpPutFile(FtpSession* connection, const std::string& localFile, const RemotePath& remoteFile,
                std::uint32_t flags, ReadTap* tap) {
    if (Unusable(connection)) return false;
    if (FileTarget(*connection, remoteFile).empty()) return false;
    File file(std::fopen(localFile.c_str(), "rbe"));
    if (!file) {
        SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED, {});
        return false;
    }
    return FtpPutFile(connection, file.get(), remoteFile, flags, tap);
}

bool FtpPutFile(FtpSession* connection, std::FILE* localFile, const RemotePath& remoteFile,
                std::uint32_t /*flags: binary always*/, ReadTap* tap) {
    if (Unusable(connection)) return false;
    const std::string target = FileTarget(*connection, remoteFile);
    if (target.empty()) return false;
    struct stat info {};
    if (!localFile || ::fstat(::fileno(localFile), &info) != 0 || !S_ISREG(info.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED, {});
        return false;
    }

    bool readFailed = false;
    Outcome outcome = connection->Upload(localFile, info.st_size, target, tap, readFailed);
    // Passive mode refused: no data connection was opened and nothing was
    // stored, so the same upload goes again in active mode.
    if (outcome.result == CURLE_FTP_WEIRD_PASV_REPLY && connection->passive) {
        connection->UseActiveMode();
        std::rewind(localFile);
        if (tap) tap->Rewound();
        outcome = connection->Upload(localFile, info.st_size, target, tap, readFailed);
    }
    if (readFailed) {
        SetLastError(ERROR_READ_FAULT, {});
        return false;
    }
    if (!outcome.ok()) {
        Fail(*connection, outcome);
        // A folder removed behind our back must be made again next time.
        connection->knownFolders.erase(ResolveRemotePath(target, ".."));
        return false;
    }
    SetLastError(ERROR_SUCCESS, connection->lastReply);
    return true;
}

bool FtpRenameFile(FtpSession* connection, const RemotePath& from, const RemotePath& to) {
    if (Unusable(connection)) return false;
    const std::string source = FileTarget(*connection, from);
    const std::string target = source.empty() ? std::string() : FileTarget(*connection, to);
    if (target.empty()) return false;
    FtpSession& session = *connection;
    if (session.sftp()) {
        const std::string rename = "rename " + SftpQuoted(source) + " " + SftpQuoted(target);
        if (!Succeeds(session, session.Quote({rename}))) {
            // SFTP's rename never replaces a file (OpenSSH refuses it): when
            // both files are there, the old one goes first.
            const std::uint32_t code = GetLastError();
            const std::string refusal = InternetGetLastResponseInfo();
            bool sourceThere = false, targetThere = false;
            if (code != ERROR_INTERNET_EXTENDED_ERROR || !session.Exists(source, false, sourceThere).ok() ||
                !session.Exists(target, false, targetThere).ok() || !sourceThere || !targetThere) {
                SetLastError(code, refusal);
                return false;
            }
            if (!Succeeds(session, session.Quote({"rm " + SftpQuoted(target), rename}))) return false;
        }
    } else {
        // One request, so nothing comes between the two commands; "*" keeps
        // a refusal from dropping the connection, the replies tell it.
        const Outcome outcome = session.Quote({"*RNFR " + source, "*RNTO " + target});
        if (!outcome.ok()) {
            Fail(session, outcome);
            return false;
        }
        const std::string started = session.ReplyTo("RNFR");
        const std::string finished = session.ReplyTo("RNTO");
        if (started.empty() || started[0] != '3') {
            SetLastError(ERROR_INTERNET_EXTENDED_ERROR, started);
            return false;
        }
        if (finished.empty() || finished[0] != '2') {
            SetLastError(ERROR_INTERNET_EXTENDED_ERROR, finished);
            return false;
        }
        SetLastError(ERROR_SUCCESS, finished);
    }
    ForgetFoldersBelow(session, source);
    return true;
}

bool FtpDeleteFile(FtpSession* connection, const RemotePath& remoteFile) {
    if (Unusable(connection)) return false;
    const std::string target = FileTarget(*connection, remoteFile);
    if (target.empty()) return false;
    if (connection->sftp()) return Succeeds(*connection, connection->Quote({"rm " + SftpQuoted(target)}));
    const Outcome outcome = connection->Command("DELE " + target);
    if (!outcome.ok()) {
        Fail(*connection, outcome);
        return false;
    }
    if (outcome.replyCode / 100 != 2) {
        SetLastError(ERROR_INTERNET_EXTENDED_ERROR, connection->lastReply);
        return false;
    }
    SetLastError(ERROR_SUCCESS, connection->lastReply);
    return true;
}

bool FtpListFolder(FtpSession* connection, const RemotePath& folder, std::vector<RemoteEntry>& entries) {
    entries.clear();
    if (Unusable(connection)) return false;
    if (folder.HoldsLineBreak()) {
        SetLastError(ERROR_INVALID_NAME, {});
        return false;
    }
    const std::string target = ResolveRemotePath(connection->cwd, folder);
    if (!Succeeds(*connection, connection->ListEntries(target, entries))) return false;
    SetLastError(ERROR_SUCCESS, connection->lastReply);
    return true;
}

bool FtpGetFile(FtpSession* connection, const RemotePath& remoteFile, WriteSink& sink, std::int64_t& modified) {
    modified = -1;
    if (Unusable(connection)) return false;
    const std::string target = FileTarget(*connection, remoteFile);
    if (target.empty()) return false;
    const Outcome outcome = connection->Download(target, sink, modified);
    if (outcome.result == CURLE_WRITE_ERROR) {
        SetLastError(ERROR_WRITE_FAULT, {});
        return false;
    }
    if (!Succeeds(*connection, outcome)) return false;
    SetLastError(ERROR_SUCCESS, connection->lastReply);
    return true;
}

bool FtpListNames(FtpSession* connection, const RemotePath& folder, std::vector<std::string>& names) {
    names.clear();
    if (Unusable(connection)) return false;
    if (folder.HoldsLineBreak()) {
        SetLastError(ERROR_INVALID_NAME, {});
        return false;
    }
    const std::string target = ResolveRemotePath(connection->cwd, folder);
    if (!Succeeds(*connection, connection->List(target, &names))) return false;
    SetLastError(ERROR_SUCCESS, connection->lastReply);
    return true;
}

}  // namespace ftp
