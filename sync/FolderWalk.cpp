// The folder walk: a job's folder and every folder below it, depth first.

#include "sync/modFiles.h"

#include "sync/FolderListing.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace syncrun {
namespace {

constexpr std::string_view kSystemVolume = "System Volume Information";

bool ContainsNoCase(std::string_view text, std::string_view part) {
    const auto it = std::search(text.begin(), text.end(), part.begin(), part.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
    return it != text.end();
}

}  // namespace

std::int64_t FileCheck::CheckFolderTree(const std::string& path, bool reset) {
    if (reset) total_ = 0;
    const std::string folder = FolderPath(path);
    if (!CheckFolder(folder)) return total_;
    ++total_;
    if (Stopped()) return total_;

    const Listing subFolders = ListSubFolders(folder);
    if (!subFolders.ok) {
        PassOverFolder(folder, subFolders.reason);
        return total_;
    }
    // The skip test covers the folders one level down from each walk; the
    // level below those starts walks of its own, which test their children.
    for (const std::string& name : subFolders.names) {
        const std::string sub = JoinPath(folder, name);
        if (ContainsNoCase(sub, kSystemVolume)) continue;
        if (!CheckFolder(sub)) continue;
        ++total_;
        if (Stopped()) return total_;
        const Listing below = ListSubFolders(sub);
        if (!below.ok) {
            PassOverFolder(sub, below.reason);
            continue;
        }
        for (const std::string& deeper : below.names) CheckFolderTree(JoinPath(sub, deeper), false);
    }
    return total_;
}

}  // namespace syncrun
