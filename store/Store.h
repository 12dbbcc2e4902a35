#pragma once
// The one store of the program: an SQLite file reached through one
// process-wide connection. Statements are plain texts; results are read
// forward, column by column, by name.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace store {

// A statement the store refused, or a store that cannot be opened.
// what() carries SQLite's own message.
class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Forward-only result of one statement. For insert, update and delete it is
// empty (Eof() at once).
class Recordset {
public:
    Recordset() = default;

    // True when there is no current row. (Named Eof: EOF is a C macro.)
    bool Eof() const { return !hasRow_; }
    void MoveNext();
    // The named column of the current row, matched without regard to case.
    // A NULL reads as the empty text. Throws StoreError for an unknown column
    // or when there is no current row.
    std::string Fields(std::string_view name) const;
    std::int64_t FieldInt(std::string_view name) const;
    bool IsNull(std::string_view name) const;

private:
    friend class Connection;
    struct StmtDeleter { void operator()(sqlite3_stmt* s) const; };
    explicit Recordset(std::shared_ptr<sqlite3_stmt> stmt, sqlite3* db);
    int Column(std::string_view name) const;
    void Step();

    std::shared_ptr<sqlite3_stmt> stmt_;
    sqlite3* db_ = nullptr;
    bool hasRow_ = false;
};

class Connection {
public:
    Connection() = default;
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // "Provider=...;Data Source=<file>;": Open() opens the file named there.
    std::string ConnectionString;
    // How long a statement waits for another connection's write to end
    // before it fails with "database is locked"; set before Open().
    std::chrono::milliseconds BusyTimeout{5000};

    // Opens the existing store; never creates one. Throws StoreError.
    void Open();
    bool IsOpen() const { return db_ != nullptr; }
    void Close();
    // The file Open() takes from ConnectionString.
    std::string DataSource() const;

    // Runs one statement text. Throws StoreError on any failure, with the
    // store's message; an unopened connection fails the same way.
    Recordset Execute(const std::string& statement);

    std::int64_t LastInsertId() const;
    sqlite3* Handle() const { return db_; }

private:
    sqlite3* db_ = nullptr;
};

// One statement prepared once and run many times with bound parameters
// (numbered from 1); the hot statements of a sync run go through it.
class Statement {
public:
    // Throws StoreError when the store refuses the text.
    Statement(Connection& connection, const std::string& text);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& Bind(int index, std::string_view text);
    Statement& Bind(int index, std::int64_t value);
    // Steps once: true while there is a row. Throws StoreError.
    bool Step();
    // Ends the current run (releasing its read lock) and clears the bindings.
    void Reset();

    std::string Text(int column) const;
    std::int64_t Int(int column) const;

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

// A write transaction for as long as it lives: Commit() keeps its work,
// anything else (an exception on the way out among them) rolls it back.
class Transaction {
public:
    explicit Transaction(Connection& connection);  // throws StoreError
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void Commit();  // throws StoreError; the transaction is over either way

private:
    sqlite3* db_;
    bool open_ = true;
};

// The process-wide connection, created on first use, never closed.
Connection& StoreConnection();
// The statement text most windows build and execute from.
extern std::string SqlText;
// Keeps the results of start-up's test query and of the clearing deletes.
extern Recordset StoreRecordset;

// A text value for a statement, with every "'" doubled, between quotes:
// it is stored exactly as given.
std::string Quoted(std::string_view text);
// The text with every "'" doubled, without the surrounding quotes.
std::string DoubleQuotes(std::string_view text);
// A LIKE pattern that matches text exactly, for use with ESCAPE '\':
// "%", "_" and "\" in it match only themselves.
std::string LikeLiteral(std::string_view text);

// "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=<folder>/information.mdb;"
std::string BuildConnectionString(const std::string& appFolder);

}  // namespace store
