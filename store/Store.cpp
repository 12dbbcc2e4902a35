#include "store/Store.h"

#include <sqlite3.h>

#include <strings.h>

namespace store {

std::string SqlText;
Recordset StoreRecordset;

namespace {


[[noreturn]] void Fail(sqlite3* db, const std::string& what) {
    std::string msg = db ? sqlite3_errmsg(db) : "the store is not open";
    throw StoreError(what.empty() ? msg : what + ": " + msg);
}

}  // namespace

void Recordset::StmtDeleter::operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }

Recordset::Recordset(std::shared_ptr<sqlite3_stmt> stmt, sqlite3* db)
    : stmt_(std::move(stmt)), db_(db) {
    Step();
}

void Recordset::Step() {
    int rc = sqlite3_step(stmt_.get());
    if (rc == SQLITE_ROW) {
        hasRow_ = true;
        return;
    }
    hasRow_ = false;
    if (rc != SQLITE_DONE) {
        std::string msg = sqlite3_errmsg(db_);
        stmt_.reset();
        throw StoreError(msg);
    }
    stmt_.reset();  // done: release the statement (and its read lock) at once
}

void Recordset::MoveNext() {
    if (hasRow_) Step();
}

int Recordset::Column(std::string_view name) const {
    if (!hasRow_) throw StoreError("no current row");
    const int n = sqlite3_column_count(stmt_.get());
    for (int i = 0; i < n; ++i) {
        const char* col = sqlite3_column_name(stmt_.get(), i);
        if (col && std::string_view(col).size() == name.size() &&
            strncasecmp(col, name.data(), name.size()) == 0)
            return i;
    }
    throw StoreError("no column named " + std::string(name));
}

std::string Recordset::Fields(std::string_view name) const {
    const int i = Column(name);
    const auto* text = sqlite3_column_text(stmt_.get(), i);
    if (!text) return {};
    return std::string(reinterpret_cast<const char*>(text),
                       static_cast<std::size_t>(sqlite3_column_bytes(stmt_.get(), i)));
}

std::int64_t Recordset::FieldInt(std::string_view name) const {
    return sqlite3_column_int64(stmt_.get(), Column(name));
}

bool Recordset::IsNull(std::string_view name) const {
    return sqlite3_column_type(stmt_.get(), Column(name)) == SQLITE_NULL;
}

Connection::~Connection() { Close(); }

void Connection::Close() {
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
}

std::string Connection::DataSource() const {
    static constexpr std::string_view key = "data source=";
    const std::string& cs = ConnectionString;
    for (std::size_t i = 0; i + key.size() <= cs.size(); ++i) {
        if (strncasecmp(cs.c_str() + i, key.data(), key.size()) == 0) {
            // The file is the rest of the text up to its closing ";", which
            // keeps a ";" inside a folder name.
            const std::size_t start = i + key.size();
            const std::size_t end = cs.back() == ';' ? cs.size() - 1 : std::string::npos;
            return cs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        }
    }
    return {};
}

void Connection::Open() {
    Close();
    const std::string file = DataSource();
    if (file.empty()) throw StoreError("the connection string names no data source");
    sqlite3* db = nullptr;
    // READWRITE without CREATE: a missing store is an error, never a new file.
    const int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close_v2(db);
        throw StoreError("Could not open " + file + ": " + msg);
    }
    sqlite3_busy_timeout(db, static_cast<int>(BusyTimeout.count()));
    // Paths are case-sensitive here, so LIKE must be too. The schema read
    // also proves the file is a store and not some other file.
    char* err = nullptr;
    if (sqlite3_exec(db, "PRAGMA case_sensitive_like = ON; SELECT count(*) FROM sqlite_master;",
                     nullptr, nullptr, &err) != SQLITE_OK) {
        std::string msg = err ? err : sqlite3_errmsg(db);
        sqlite3_free(err);
        sqlite3_close_v2(db);
        throw StoreError("Could not open " + file + ": " + msg);
    }
    // Readers of a write-ahead log neither wait for a writer nor keep one
    // waiting, and a commit costs no sync of the disk. A store that cannot
    // be switched (read-only, or busy this moment) keeps its old journal.
    sqlite3_exec(db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr);
    db_ = db;
}

Recordset Connection::Execute(const std::string& statement) {
    if (!db_) throw StoreError("Operation is not allowed when the object is closed.");
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db_, statement.c_str(), static_cast<int>(statement.size()), &raw, &tail) != SQLITE_OK)
        Fail(db_, {});
    if (!raw) return {};  // an empty statement
    std::shared_ptr<sqlite3_stmt> stmt(raw, Recordset::StmtDeleter{});
    // One statement a call; only blanks and ";" may follow it.
    for (const char* p = tail; p && *p; ++p) {
        if (*p != ';' && *p != ' ' && *p != '\t' && *p != '\r' && *p != '\n')
            throw StoreError("Characters found after end of SQL statement.");
    }
    return Recordset(std::move(stmt), db_);
}

std::int64_t Connection::LastInsertId() const { return db_ ? sqlite3_last_insert_rowid(db_) : 0; }

Statement::Statement(Connection& connection, const std::string& text) : db_(connection.Handle()) {
    if (!db_) throw StoreError("Operation is not allowed when the object is closed.");
    if (sqlite3_prepare_v3(db_, text.c_str(), static_cast<int>(text.size()), SQLITE_PREPARE_PERSISTENT, &stmt_,
                           nullptr) != SQLITE_OK)
        Fail(db_, {});
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::Bind(int index, std::string_view text) {
    if (sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) != SQLITE_OK)
        Fail(db_, {});
    return *this;
}

Statement& Statement::Bind(int index, std::int64_t value) {
    if (sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK) Fail(db_, {});
    return *this;
}

bool Statement::Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    const std::string msg = sqlite3_errmsg(db_);
    sqlite3_reset(stmt_);
    throw StoreError(msg);
}

void Statement::Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

std::string Statement::Text(int column) const {
    const auto* text = sqlite3_column_text(stmt_, column);
    if (!text) return {};
    return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)));
}

std::int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

Transaction::Transaction(Connection& connection) : db_(connection.Handle()) {
    if (!db_) throw StoreError("Operation is not allowed when the object is closed.");
    // IMMEDIATE takes the write lock now, so a busy store is waited for
    // here and never halfway through the batch.
    if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) Fail(db_, {});
}

Transaction::~Transaction() {
    if (open_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::Commit() {
    if (!open_) return;
    open_ = false;
    if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        const std::string msg = sqlite3_errmsg(db_);
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw StoreError(msg);
    }
}

Connection& StoreConnection() {
    static Connection connection;
    return connection;
}

std::string DoubleQuotes(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out;
}

std::string Quoted(std::string_view text) { return "'" + DoubleQuotes(text) + "'"; }

std::string LikeLiteral(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '%' || c == '_' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

std::string BuildConnectionString(const std::string& appFolder) {
    return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + appFolder + "/information.mdb;";
}

}  // namespace store
