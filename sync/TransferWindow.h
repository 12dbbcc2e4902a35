#pragma once
// What the sync run and the file check need from the transfer window of a
// job: its two labels, the connection, uploads, and its unloading. The
// window on screen is frmFTP; an unattended or test run may use one
// without widgets.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TransferWindow {
public:
    virtual ~TransferWindow() = default;
    virtual void SetStatus(const std::string& text) = 0;       // lblStatus
    virtual void SetCurrentFile(const std::string& name) = 0;  // lblCurrentFile
    // Reads the job and its profile, connects and changes to the remote
    // directory; true only when all of it worked.
    virtual bool ConnectToFTP(std::int64_t syncId) = 0;
    // Sends the local file as remoteFolder + remote; true when it was sent.
    virtual bool UploadFile(const std::string& fileName, const std::string& remote,
                            const std::string& remoteFolder) = 0;
    // Form_Unload: closes a held connection and logs the disconnect line.
    virtual void Unload() = 0;
};

// Shows a new transfer window for a job (the sync run calls it once a job).
using TransferWindowFactory = std::function<std::unique_ptr<TransferWindow>()>;
