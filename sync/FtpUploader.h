#pragma once
// The sync run's uploads over FTP: one logged-in connection per job, the
// missing remote folders made as files need them, and the lines of the
// transfer window (connected, folder made, file sent, disconnected). A
// connection lost or timed out is made again once; a server that stays
// dead ends the job's uploads, so it costs one wait a job, not one a file.
// A file that replaces its earlier copy goes up under a hidden temporary
// name and is renamed over the copy once it is whole; so does one whose
// name holds bytes a URL cannot carry (a tab), renamed by a raw command.
// Temporary copies a killed run left are swept from each folder by the
// job's next run.

#include "sync/RunObserver.h"
#include "sync/Uploader.h"

namespace ftp {
struct FtpSession;
}

namespace syncrun {

class FtpUploader : public Uploader {
public:
    // `observer` gets the status label and the connected state.
    explicit FtpUploader(RunObserver& observer);
    ~FtpUploader() override;  // closes a held connection without a line
    FtpUploader(const FtpUploader&) = delete;
    FtpUploader& operator=(const FtpUploader&) = delete;

    bool Connect(const store::Job& job) override;
    bool Upload(std::FILE* file, const std::string& localPath, const ftp::RemotePath& target, ftp::ReadTap* tap,
                bool replacing) override;
    // The same for a file named by its path (opened here).
    bool UploadPath(const std::string& localPath, const std::string& name, const std::string& remoteFolder);
    void Close() override;
    bool GaveUp() const override { return gaveUp_; }
    void SweepFolder(const ftp::RemotePath& folder) override;
    bool LeftTemporaries() const override { return leftTemporaries_; }

    bool IsConnected() const { return connection_ != nullptr; }

private:
    void Disconnect();
    // One try at the folder and the file; false with the error reported.
    bool TrySend(std::FILE* file, const std::string& localPath, const ftp::RemotePath& target, ftp::ReadTap* tap,
                 bool replacing);

    RunObserver& observer_;
    ftp::FtpSession* connection_ = nullptr;
    bool gaveUp_ = false;
    bool leftTemporaries_ = false;
    bool sweepStopped_ = false;  // the connection was lost during a sweep
};

}  // namespace syncrun
