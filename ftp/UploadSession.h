#pragma once
// The transfer window of one folder job without its widgets: it connects
// to the job's server, uploads the job's new and changed files over that
// one connection, and keeps the texts of the window's two labels. The
// window on screen (frmFTP) shows what this holds; headless runs and tests
// use it as it is.

#include "sync/TransferWindow.h"

#include <cstdint>
#include <functional>
#include <string>

class UploadSession : public TransferWindow {
public:
    // The window's load: an internet session for the process, binary
    // transfers, passive mode first, and no connection held.
    UploadSession();
    // Closes a connection still held when the session goes without an unload.
    ~UploadSession() override;
    UploadSession(const UploadSession&) = delete;
    UploadSession& operator=(const UploadSession&) = delete;

    void SetStatus(const std::string& text) override;
    void SetCurrentFile(const std::string& name) override;
    const std::string& Status() const { return status_; }
    const std::string& CurrentFile() const { return currentFile_; }

    // Reads the job and its server profile, connects and changes to the
    // profile's remote directory. A job or profile that is not in the store
    // gives false with a status line; a store failure throws StoreError.
    bool ConnectToFTP(std::int64_t syncId) override;
    // Sends fileName as remoteFolder + remote under the profile's remote
    // directory, making every missing folder level first.
    bool UploadFile(const std::string& fileName, const std::string& remote,
                    const std::string& remoteFolder) override;
    // Closes the held connection and logs the disconnect line, once.
    void Unload() override;

    // Called after either label text changed (the window repaints them).
    std::function<void()> onLabelsChanged;
    // Called with true once connected and with false on the unload: the
    // window keeps itself above the others while it works.
    std::function<void(bool)> onTopMostChanged;

private:
    void TopMost(bool on);

    std::string status_ = "Connecting.....";
    std::string currentFile_;
    bool unloaded_ = false;
};
