#include "store/CreateStore.h"

#include "store/Store.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace store {

bool CreateStore(const std::string& file, const std::string& schemaSql) {
    // O_EXCL makes "never overwrite" hold even against a racing creator,
    // and the file has its 0600 mode from its first byte on.
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (errno == EEXIST) return false;
        throw StoreError("Could not create " + file + ": " + std::strerror(errno));
    }
    ::close(fd);

    sqlite3* db = nullptr;
    std::string error;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        error = db ? sqlite3_errmsg(db) : "out of memory";
    } else {
        char* err = nullptr;
        const std::string script = "BEGIN;\n" + schemaSql + "\nCOMMIT;\nPRAGMA journal_mode = WAL;";
        if (sqlite3_exec(db, script.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
            error = err ? err : sqlite3_errmsg(db);
            sqlite3_free(err);
        }
    }
    sqlite3_close_v2(db);
    if (!error.empty()) {
        ::unlink(file.c_str());  // no half-made store left behind
        throw StoreError("Could not create " + file + ": " + error);
    }
    return true;
}

void UpgradeStore(Connection& store) {
    if (store.Execute("select name from sqlite_master where type = 'table' and name = 'myUnfinished'").Eof())
        store.Execute("create table myUnfinished (SyncID INTEGER PRIMARY KEY)");
    bool hasConnections = false;
    for (Recordset rs = store.Execute("pragma table_info(mySettings)"); !rs.Eof(); rs.MoveNext())
        hasConnections = hasConnections || rs.Fields("name") == "FTPConnections";
    if (!hasConnections) store.Execute("alter table mySettings add column FTPConnections TEXT");
}

}  // namespace store
