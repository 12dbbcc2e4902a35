#include "sync/Restore.h"

#include "base/StatusLog.h"
#include "base/UniqueFd.h"
#include "ftp/RemoteListing.h"
#include "hash/FileHasher.h"
#include "store/FileRecords.h"
#include "store/Jobs.h"
#include "store/Store.h"
#include "sync/FolderListing.h"
#include "sync/FtpUploader.h"
#include "sync/Manifest.h"
#include "sync/OrderedLog.h"
#include "sync/RemotePath.h"
#include "sync/RestoreFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace syncrun {
namespace {

namespace fs = std::filesystem;

struct RemoteFile {
    ftp::RemotePath source;
    std::string path;    // below the job's folder: "sub/a.txt"
    std::string folder;  // "sub", "" for the job's own
    std::string name;
};

struct Expected {
    std::string hash;
    const char* from;  // what the hash is
};

std::string Normal(const std::string& path) { return FolderPath(fs::path(path).lexically_normal().string()); }

// A download sink that counts what arrives for the progress.
class CountingSink : public ftp::WriteSink {
public:
    CountingSink(RestoreFile& file, ProgressMeter& progress, RunObserver& observer)
        : file_(file), progress_(progress), observer_(observer) {}
    bool Write(const char* data, std::size_t size) override {
        counted_ += static_cast<std::int64_t>(size);
        progress_.bytesSent += static_cast<std::int64_t>(size);
        observer_.OnProgress(progress_.Snapshot());
        return file_.Write(data, size);
    }
    // The download goes again from its start.
    void Restart() {
        progress_.bytesSent -= counted_;
        counted_ = 0;
        file_.Restart();
    }

private:
    RestoreFile& file_;
    ProgressMeter& progress_;
    RunObserver& observer_;
    std::int64_t counted_ = 0;
};

class StringSink : public ftp::WriteSink {
public:
    bool Write(const char* data, std::size_t size) override {
        text.append(data, size);
        return true;
    }
    std::string text;
};

class Restorer {
public:
    Restorer(RunObserver& observer, Uploader& uploader, const store::Job& job, int targetFd, std::string target)
        : observer_(observer), uploader_(uploader), job_(job), targetFd_(targetFd), target_(std::move(target)) {}

    void ReadRecords(store::FileRecords& records) {
        for (const store::RecordedFile& record : records.OfJob(job_.syncId))
            if (const auto path = PathInJob(record.fullPath, job_.folder); path && InScope(*path))
                expected_[*path] = {record.hash, "its record"};
    }

    // The manifest only for files the store has no record of.
    void ReadManifest(const ftp::RemotePath& root) {
        StringSink sink;
        Lines lines;
        std::int64_t modified = -1;
        const Attempt attempt = TwiceAtMost(lines, [&] {
            sink.text.clear();
            return uploader_.Get(root.Child(kManifestName), sink, modified, lines);
        });
        if (attempt == Attempt::Refused) return;  // none on the server: the records must do
        if (attempt != Attempt::Done) {
            FailNow(lines, "The manifest of " + OneLine(job_.folder) + " could not be read.");
            return;
        }
        const Manifest manifest = ParseManifest(sink.text);
        for (const std::string& line : manifest.refused)
            FailNow({}, "The manifest line \"" + OneLine(line) + "\" is refused.");
        for (const auto& [path, hash] : manifest.hashes)
            if (InScope(path)) expected_.emplace(path, Expected{hash, "its line in the manifest"});
    }

    // Every file of the remote tree.
    void Walk(const ftp::RemotePath& folder, const std::string& below) {
        std::vector<ftp::RemoteEntry> entries;
        Lines lines;
        const Attempt attempt = TwiceAtMost(lines, [&] {
            entries.clear();
            return uploader_.List(folder, entries, lines);
        });
        if (attempt != Attempt::Done) {
            FailNow(lines, below.empty() && attempt == Attempt::Refused
                            ? "The server holds no copy of " + OneLine(job_.folder) + "."
                            : "The folder " + OneLine(Local(below)) + " could not be listed on the server.");
            unlisted_.push_back(below);
            return;
        }
        std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
        for (const ftp::RemoteEntry& entry : entries) {
            if (entry.name == "." || entry.name == ".." || entry.name.find('/') != std::string::npos) continue;
            const std::string path = below.empty() ? entry.name : below + "/" + entry.name;
            if (HoldsControlBytes(entry.name)) {
                FailNow({}, OneLine(Local(path)) + " is passed over: its name holds control characters.");
                continue;
            }
            if (entry.folder) {
                ftp::RemotePath sub = folder;
                sub.levels.push_back(entry.name);
                if (job_.subDirs == "YES") Walk(sub, path);
            } else if (entry.name != kManifestName && !IsTemporaryName(entry.name)) {
                files_.push_back({folder.Child(entry.name), path, below, entry.name});
            }
        }
    }

    // Over up to `connections` connections at once, the first the one
    // logged in already; the lines in listing order all the same.
    void RestoreAll(const Uploads::Factory& connect, int connections, ProgressMeter& progress) {
        progress.filesFound = static_cast<std::int64_t>(files_.size());
        OrderedLog log;
        std::size_t next = 0;
        std::mutex taking;
        const auto work = [&](Uploader& uploader) {
            for (;;) {
                std::size_t at = 0;
                OrderedLog::Slot slot = 0;
                {
                    const std::lock_guard lock(taking);
                    if (next == files_.size()) return;
                    at = next++;
                    slot = log.Open();
                }
                observer_.SetCurrentFile(files_[at].name);
                Lines lines;
                if (RestoreOne(uploader, files_[at], progress, lines)) ++restored_;
                for (std::string& line : lines) log.Add(slot, std::move(line));
                log.Close(slot);
                ++progress.filesChecked;
                observer_.OnProgress(progress.Snapshot());
            }
        };
        std::vector<std::thread> more;
        const int extra = std::min<int>(connections, static_cast<int>(files_.size())) - 1;
        for (int i = 0; i < extra; ++i)
            more.emplace_back([&] {
                // One the server refuses leaves the files to the others.
                const std::unique_ptr<Uploader> uploader = connect();
                Lines refusal;
                if (uploader->Connect(job_, refusal)) work(*uploader);
                uploader->Close();
            });
        work(uploader_);
        for (std::thread& thread : more) thread.join();
        log.Reset();
        std::set<std::string> found;
        for (const RemoteFile& file : files_) found.insert(file.path);
        // What a folder that could not be listed holds is said by its line already.
        const auto unlisted = [&](const std::string& path) {
            return std::any_of(unlisted_.begin(), unlisted_.end(), [&](const std::string& folder) {
                return folder.empty() || path.starts_with(folder + "/");
            });
        };
        for (const auto& [path, expected] : expected_)
            if (!found.count(path) && !unlisted(path)) FailNow({}, OneLine(Local(path)) + " is missing on the server.");
    }

    int Files() const { return static_cast<int>(files_.size()); }
    int Restored() const { return restored_; }
    bool Clean() const { return clean_; }
    // Before and after the downloads: lines written at once.
    void FailNow(const Lines& lines, const std::string& line) {
        for (const std::string& l : lines) ::LogStatus(l);
        ::LogStatus(line);
        clean_ = false;
    }

private:
    bool InScope(const std::string& path) const {
        return job_.subDirs == "YES" || path.find('/') == std::string::npos;
    }
    std::string Local(const std::string& path) const { return path.empty() ? target_ : JoinPath(target_, path); }
    static std::string Error(int err) { return std::strerror(err); }

    // A download's line: kept in `out`, written in its place in the order.
    void Fail(Lines& out, std::string line) {
        out.push_back(std::move(line));
        clean_ = false;
    }

    // The target's folder for `below`, made level by level; a link planted
    // there is never followed out of the target. -1 once it failed.
    int FolderFd(const std::string& below, Lines& out) {
        const std::lock_guard lock(foldersMutex_);
        return FolderFdLocked(below, out);
    }
    int FolderFdLocked(const std::string& below, Lines& out) {
        if (below.empty()) return targetFd_;
        if (const auto it = folders_.find(below); it != folders_.end()) return it->second.get();
        const auto cut = below.rfind('/');
        const int parent = FolderFdLocked(cut == std::string::npos ? "" : below.substr(0, cut), out);
        base::UniqueFd& made = folders_[below];
        if (parent < 0) return -1;
        const std::string level = cut == std::string::npos ? below : below.substr(cut + 1);
        if (::mkdirat(parent, level.c_str(), 0777) == 0 || errno == EEXIST)
            made.reset(::openat(parent, level.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (made.get() < 0) Fail(out, "The folder " + OneLine(Local(below)) + " could not be made: " + Error(errno));
        return made.get();
    }

    bool RestoreOne(Uploader& uploader, const RemoteFile& file, ProgressMeter& progress, Lines& out) {
        const std::string local = OneLine(Local(file.path));
        const int folderFd = FolderFd(file.folder, out);
        if (folderFd < 0) return false;
        const auto known = expected_.find(file.path);
        const Expected* expected = known == expected_.end() ? nullptr : &known->second;
        struct stat st {};
        const bool existing = ::fstatat(folderFd, file.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        if (existing && expected && S_ISREG(st.st_mode) && hash::HashAt(folderFd, file.name, true).hex == expected->hash) {
            out.push_back(local + " is already there");
            return true;
        }
        RestoreFile restored(folderFd);
        if (!restored.Open()) {
            Fail(out, local + " could not be written: " + Error(restored.Error()));
            return false;
        }
        CountingSink sink(restored, progress, observer_);
        Lines lines;
        std::int64_t modified = -1;
        const Attempt attempt = TwiceAtMost(lines, [&] {
            sink.Restart();
            return uploader.Get(file.source, sink, modified, lines);
        });
        // A full disk: what arrived is removed with the temporary file.
        if (restored.Error() != 0 || (attempt == Attempt::Done && !restored.Finish(modified))) {
            Fail(out, local + " could not be written: " + Error(restored.Error()));
            return false;
        }
        if (attempt != Attempt::Done) {
            out.insert(out.end(), lines.begin(), lines.end());
            Fail(out, local + " could not be restored.");
            return false;
        }
        const bool matched = expected && restored.HexDigest() == expected->hash;
        // Only a copy that matches takes the file's own name, and only where nothing has it.
        const std::string beside =
            !matched && expected ? ".tessary-mismatch" : (existing ? ".tessary-from-server" : std::string());
        const std::string name = KeepUnder(restored, file.name, beside);
        if (name.empty()) {
            Fail(out, local + " could not be written: " + Error(restored.Error()));
        } else if (!expected) {
            Fail(out, local + " has no digest in the store or in the manifest, so it could not be checked.");
        } else if (!matched) {
            Fail(out, local + " does not match " + expected->from + "; the server's copy is kept as " + OneLine(name));
        } else if (name != file.name) {
            Fail(out, local + " is already there and differs; the server's copy is kept beside it as " + OneLine(name));
        } else {
            out.push_back(local + " is restored");
            ++progress.filesSent;
            return true;
        }
        return false;
    }

    // The name the file took: its own (when `beside` is empty and nothing
    // has it), else its own with `beside` (and a number) after it.
    static std::string KeepUnder(RestoreFile& restored, const std::string& name, const std::string& beside) {
        if (beside.empty() && restored.Keep(name)) return name;
        if (beside.empty() && restored.Error() != EEXIST) return {};
        const std::string besideName = name + (beside.empty() ? ".tessary-from-server" : beside);
        for (int n = 0; n < 100; ++n) {
            const std::string candidate = n == 0 ? besideName : besideName + "." + std::to_string(n);
            if (restored.Keep(candidate)) return candidate;
            if (restored.Error() != EEXIST) return {};
        }
        return {};
    }

    RunObserver& observer_;
    Uploader& uploader_;
    const store::Job& job_;
    int targetFd_;
    std::string target_;
    std::map<std::string, Expected> expected_;  // by path below the job's folder
    std::vector<RemoteFile> files_;
    std::vector<std::string> unlisted_;  // folders below the job's that could not be listed
    std::mutex foldersMutex_;
    std::map<std::string, base::UniqueFd> folders_;  // the target's folders made, by path below it
    std::atomic<int> restored_ = 0;
    std::atomic<bool> clean_ = true;
};

std::optional<store::Job> FindJob(store::Connection& connection, const std::string& jobFolder) {
    for (store::Job& job : store::ReadJobs(connection))
        if (Normal(job.folder) == Normal(jobFolder)) return std::move(job);
    return std::nullopt;
}

// The target, made when missing: its open folder, or -1 after its line.
int OpenTarget(const std::string& target) {
    std::error_code error;
    fs::create_directories(target, error);
    if (error) {
        ::LogStatus("The target folder " + OneLine(target) + " could not be made: " + std::strerror(error.value()));
        return -1;
    }
    const int fd = ::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::faccessat(fd, ".", W_OK | X_OK, AT_EACCESS) != 0) {
        ::LogStatus("The target folder " + OneLine(target) + " cannot be written: " + std::strerror(errno));
        if (fd >= 0) ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

RestoreOutcome RunRestore(RunObserver& observer, const Uploads::Factory& connect, const RunStore& store,
                          const std::string& jobFolder, const std::string& target) {
    RestoreOutcome outcome;
    const std::string into = Normal(fs::absolute(target).string());
    ::LogStatus("Restore of " + OneLine(jobFolder) + " into " + OneLine(into));
    try {
        store::Connection connection;
        OpenRunStore(connection, store);
        const std::optional<store::Job> job = FindJob(connection, jobFolder);
        if (!job) {
            ::LogStatus(OneLine(jobFolder) + " is not a folder job.");
            return outcome;
        }
        const base::UniqueFd targetFd(OpenTarget(into));
        if (targetFd.get() < 0) return outcome;
        store::FileRecords records(connection);
        observer.JobStarted();
        observer.SetStatus("Restoring " + OneLine(job->folder));
        const std::unique_ptr<Uploader> uploader = connect();
        Lines lines;
        if (!uploader->Connect(*job, lines)) {
            for (const std::string& line : lines) ::LogStatus(line);
            ::LogStatus("FTP Info: Server Login Failed.");
            uploader->Close();
            observer.JobEnded();
            return outcome;
        }
        for (const std::string& line : lines) ::LogStatus(line);
        observer.Connected(true);
        Restorer restorer(observer, *uploader, *job, targetFd.get(), into);
        const ftp::RemotePath root = RemoteFolderOf(JoinPath(FolderPath(job->folder), ""));
        restorer.ReadRecords(records);
        restorer.ReadManifest(root);
        ProgressMeter progress;
        restorer.Walk(root, "");
        restorer.RestoreAll(connect, ConnectionsFromProfile(job->profile ? job->profile->connections : ""), progress);
        uploader->Close();
        observer.Connected(false);
        observer.JobEnded();
        outcome = {restorer.Clean(), restorer.Files(), restorer.Restored()};
    } catch (const store::StoreError& e) {
        ::LogStatus(std::string("Restore stopped: ") + e.what());
        return {};
    }
    ::LogStatus("Restored: " + std::to_string(outcome.restored) + " of " + std::to_string(outcome.files) + " Files");
    ::LogStatus(outcome.clean ? "Restore Complete" : "Restore Incomplete");
    return outcome;
}

}  // namespace syncrun
