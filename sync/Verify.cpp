#include "sync/Verify.h"

#include "base/StatusLog.h"
#include "ftp/RemoteListing.h"
#include "sync/FolderListing.h"
#include "sync/Manifest.h"

#include <map>

#include <sys/stat.h>

namespace syncrun {

VerifyTally VerifyJob(const CheckContext& context, const store::Job& job) {
    VerifyTally tally;
    const std::string root = JoinPath(FolderPath(job.folder), "");
    const bool tree = job.subDirs == "YES";
    // Only what the check will look at: a record whose file is gone here,
    // or lies below a job without its sub-folders, is not sent again.
    std::map<std::string, std::vector<store::RecordedFile>> byFolder;
    for (store::RecordedFile& record : context.records.OfJob(context.syncId)) {
        const auto path = PathInJob(record.fullPath, job.folder);
        if (!path || (!tree && path->find('/') != std::string::npos)) continue;
        struct stat st {};
        if (::stat(record.fullPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        byFolder[record.folder].push_back(std::move(record));
    }
    for (const auto& [folder, records] : byFolder) {
        std::vector<ftp::RemoteEntry> entries;
        Lines lines;
        const Attempt attempt = context.uploads.OnFirstConnection(
            [&](Uploader& uploader) { return uploader.List(RemoteFolderOf(folder), entries, lines); },
            [&] { context.records.CommitIfDue(); });
        for (std::string& line : lines) context.log.Write(std::move(line));
        // A folder the server does not have holds none of the copies.
        if (attempt != Attempt::Done && attempt != Attempt::Refused) {
            tally.listed = false;
            break;
        }
        std::map<std::string, std::int64_t> sizes;
        for (const ftp::RemoteEntry& entry : entries)
            if (!entry.folder) sizes[entry.name] = entry.size;
        for (const store::RecordedFile& record : records) {
            struct stat st {};
            ::stat(record.fullPath.c_str(), &st);
            const auto found = sizes.find(record.name);
            std::string line;
            if (found == sizes.end())
                line = OneLine(record.fullPath) + " is missing on the server";
            else if (found->second >= 0 && found->second != st.st_size)
                line = OneLine(record.fullPath) + " differs on the server";
            else
                continue;
            context.log.Write(std::move(line));
            context.records.Forget(record.fileId);
            ++tally.forgotten;
        }
    }
    // The check that follows finds these files without a record.
    context.records.Commit();
    return tally;
}

}  // namespace syncrun
