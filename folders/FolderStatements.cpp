#include "folders/FolderStatements.h"

#include "shell/EntryID.h"
#include "store/Store.h"

namespace folders {

using store::DoubleQuotes;

std::string ListFoldersStatement() { return "select * from Tessary"; }

std::string FolderListEntry(const std::string& id, const std::string& folder) {
    return id + " --> Folder: " + folder;
}

std::string ProfileEntry(const std::string& id, const std::string& host, const std::string& user) {
    return id + " --> " + host + " User: " + user;
}

std::string SelectFolderStatement(std::int64_t syncId) {
    return "select * from Tessary where SyncID = " + std::to_string(syncId);
}

std::string InsertFolderStatement(const std::string& folder, const std::string& profileId, bool subDirs) {
    return "insert into Tessary (Folder, SettingsID, SubDirs) "
           "values('" + DoubleQuotes(folder) + "', '" + DoubleQuotes(profileId) + "', " +
           (subDirs ? "'YES')" : "'NO')");
}

std::string UpdateFolderStatement(const std::string& folder, const std::string& profileId, bool subDirs,
                                  std::int64_t syncId) {
    return "Update Tessary "
           "set Folder = '" + DoubleQuotes(folder) + "', "
           "SettingsID = '" + DoubleQuotes(profileId) + "', " +
           (subDirs ? "SubDirs = 'YES' " : "SubDirs = 'NO' ") +
           "where SyncID = " + std::to_string(syncId);
}

std::string DeleteFolderStatement(std::int64_t syncId) {
    return "delete from Tessary where SyncID = " + std::to_string(syncId);
}

std::string DeleteFolderFilesStatement(std::int64_t syncId) {
    return "delete from myFiles where SyncID = " + std::to_string(syncId);
}

std::string ClearFolderFilesStatement(const std::string& folder) {
    // Everything below the folder begins with the folder and a separator;
    // a folder text that already ends in one (the root) keeps it as it is.
    const std::string below = !folder.empty() && folder.back() == '/' ? folder : folder + "/";
    return "delete from myFiles where fullpath like '" + DoubleQuotes(store::LikeLiteral(below)) +
           "%' ESCAPE '\\'";
}

bool SubDirsTicked(const std::string& stored) { return stored == "YES"; }

std::optional<std::string> FolderSaveProblem(const std::string& folder, const std::string& comboText,
                                             const std::function<bool(std::int64_t)>& profileExists) {
    if (folder.empty()) return kEnterFolder;
    if (folder.back() == '/' && folder != "/") return kTrailingSeparator;
    if (comboText == kNoServerChosen) return kSelectServer;
    const auto key = EntryKey(comboText);
    if (!key || !profileExists(*key)) return kSelectServer;
    return std::nullopt;
}

}  // namespace folders
