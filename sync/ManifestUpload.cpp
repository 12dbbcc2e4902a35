#include "sync/ManifestUpload.h"

#include "base/StatusLog.h"
#include "sync/FolderListing.h"
#include "sync/Manifest.h"

#include <cstdio>

namespace syncrun {

bool SendManifest(const CheckContext& context, const store::Job& job) {
    const std::string root = JoinPath(FolderPath(job.folder), "");
    ftp::File file(std::tmpfile());
    bool written = file != nullptr;
    // Line by line from the store: no job's records are held at once.
    context.records.EachOfJob(context.syncId, [&](const store::RecordedFile& record) {
        const std::string line = ManifestLine(record, job.folder);
        written = written && std::fwrite(line.data(), 1, line.size(), file.get()) == line.size();
    });
    if (!written || std::fflush(file.get()) != 0) {
        context.log.Write("FTP Info: The manifest of " + OneLine(job.folder) + " could not be made.");
        return false;
    }
    Lines lines;
    const Attempt attempt = context.uploads.OnFirstConnection(
        [&](Uploader& uploader) {
            // A dropped connection logs in afresh for the second try, as for any file.
            return TwiceAtMost(lines, [&] {
                std::rewind(file.get());
                bool made = false;
                const Attempt folder = uploader.MakeFolder(RemoteFolderOf(root), false, made, lines);
                if (folder != Attempt::Done) return folder;
                return uploader.Put(file.get(), kManifestName, RemoteTarget(root, kManifestName), nullptr, true,
                                    lines);
            });
        },
        [&] { context.records.CommitIfDue(); });
    if (attempt == Attempt::Done) return true;  // its lines say only that it went
    context.log.Write("FTP Info: The manifest of " + OneLine(job.folder) + " could not be sent.");
    for (std::string& line : lines) context.log.Write(std::move(line));
    return false;
}

}  // namespace syncrun
