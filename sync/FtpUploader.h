#pragma once
// One job connection over FTP, FTPS or SFTP: the login, the missing remote
// folders made as files need them, and the files sent. A file that
// replaces its earlier copy goes up under a hidden temporary name and is
// renamed over the copy once it is whole; so does one whose name holds
// bytes a URL cannot carry (a tab), renamed by a raw command. Temporary
// copies a killed run left are swept from each folder by the job's next
// run.

#include "sync/Uploader.h"

#include <string>
#include <string_view>

namespace ftp {
struct FtpSession;
}

namespace syncrun {

// Hidden names of copies on their way (".tessary-" and 16 hex digits),
// on the server and, for a restore, in its target.
inline constexpr std::string_view kTemporaryPrefix = ".tessary-";
bool IsTemporaryName(const std::string& name);
// Whether a name holds a control byte (one a URL cannot carry).
bool HoldsControlBytes(const std::string& name);

class FtpUploader : public Uploader {
public:
    FtpUploader() = default;
    ~FtpUploader() override;  // closes a held connection
    FtpUploader(const FtpUploader&) = delete;
    FtpUploader& operator=(const FtpUploader&) = delete;

    bool Connect(const store::Job& job, Lines& lines) override;
    Attempt MakeFolder(const ftp::RemotePath& folder, bool parentMade, bool& made, Lines& lines) override;
    Attempt Put(std::FILE* file, const std::string& localPath, const ftp::RemotePath& target, ftp::ReadTap* tap,
                bool replacing, Lines& lines) override;
    Attempt Sweep(const ftp::RemotePath& folder) override;
    Attempt List(const ftp::RemotePath& folder, std::vector<ftp::RemoteEntry>& entries, Lines& lines) override;
    Attempt Get(const ftp::RemotePath& source, ftp::WriteSink& sink, std::int64_t& modified, Lines& lines) override;
    bool LeftTemporaries() const override { return leftTemporaries_; }
    void Close() override;

    bool IsConnected() const { return connection_ != nullptr; }

private:
    void Disconnect();

    ftp::FtpSession* connection_ = nullptr;
    bool leftTemporaries_ = false;
};

}  // namespace syncrun
