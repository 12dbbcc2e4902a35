#include "folders/DeleteJob.h"

#include "folders/FolderStatements.h"
#include "store/Store.h"

namespace folders {

void DeleteJobWithRecords(store::Connection& connection, std::int64_t syncId) {
    // A savepoint rather than BEGIN: it also nests inside a transaction that
    // someone else holds open on the connection.
    connection.Execute("savepoint delete_job");
    try {
        store::SqlText = DeleteFolderStatement(syncId);
        connection.Execute(store::SqlText);
        store::SqlText = DeleteFolderFilesStatement(syncId);
        connection.Execute(store::SqlText);
        connection.Execute("release delete_job");
    } catch (const store::StoreError&) {
        try {
            connection.Execute("rollback to delete_job");
            connection.Execute("release delete_job");
        } catch (const store::StoreError&) {
            // The store already undid the savepoint itself (it does on some
            // errors); there is nothing left to roll back.
        }
        throw;
    }
}

}  // namespace folders
