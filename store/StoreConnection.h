#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <memory>

namespace kv {

// The fixed database password of the program's store.
inline constexpr char kStorePassword[] = "rvk40817qz";
// File name of the store in the run directory.
inline constexpr char kStoreFileName[] = "management.mdb";

// The store path for a run directory: the directory, the native separator, the file name.
QString StorePath(const QString& runDirectory);

// Handle to the rows of one query. The connection owns the rows; a handle that the
// connection no longer holds (closed, replaced, released) reads as the empty result.
struct StoreResult
{
    int slot = -1;        // -1: the empty result
    std::uint64_t id = 0; // unique per query in the process, so stale handles never alias
    bool IsEmptyResult() const { return slot < 0; }
};

// A window's connection to the store: at most 30 open results, automatic commit.
class StoreConnection : public QObject
{
    Q_OBJECT
public:
    static constexpr int kResultSlots = 30;
    static constexpr int kTimeoutSeconds = 15;

    explicit StoreConnection(QObject* parent = nullptr);
    ~StoreConnection() override;

    // Connects to the store file; replaces an open connection only when it succeeds.
    // A missing file or one that cannot be opened goes to the installed StoreHost (at
    // most once per process each); a failed Open never writes to an existing file.
    bool Open(const QString& path, const QString& password);
    // Disconnects and releases every result; nothing happens when closed.
    void Close();
    bool IsOpen() const;

    // Runs a statement that returns rows; the empty result on any failure. Only
    // statements that read are run here, and a text holding more than one statement
    // is refused (by Execute as well).
    StoreResult Query(const QString& statement);
    bool AtEnd(const StoreResult& result) const;
    void MoveNext(const StoreResult& result);
    // Runs a statement that returns no rows; true on success.
    bool Execute(const QString& statement);
    // Runs the statements as one transaction: all take effect, or none does.
    bool ExecuteTogether(const QStringList& statements);

    // Columns by name (exact, case matters) or by position (from 1).
    QString ReadText(const StoreResult& result, const QString& column) const;
    QString ReadText(const StoreResult& result, int position) const;
    // As ReadText, but a value that is not text ends the program (type-mismatch stop).
    QString ReadTextStrict(const StoreResult& result, const QString& column) const;
    QString ReadTextStrict(const StoreResult& result, int position) const;

    // Frees one result before the connection closes, so handlers never pile results up.
    void Release(const StoreResult& result);
    // How many of the result slots are taken.
    int OpenResults() const;

    // The identifier quote character the engine reports (a blank when it has none).
    QChar IdentifierQuote() const;

    // The statement deadline (15 s unless changed; tests shorten it).
    void SetStatementTimeout(std::chrono::milliseconds timeout);

    // Closes every open connection of the process (the exit hook of ExitProgram).
    static void CloseAll();

    // The connection string for a path and password, built piece by piece. A value
    // holding ';', '{' or '}' is braced as ODBC does, so it cannot split the string.
    static QString ConnectionString(const QString& path, const QString& password);
    // What the engine adapter takes from a connection string: DBQ and PWD.
    struct ConnectionParameters
    {
        QString file;
        QString password;
    };
    static ConnectionParameters ParseConnectionString(const QString& connectionString);
    // Replaces [ and ] outside single-quoted literals with the quote character ('' inside
    // or outside a literal neither starts nor ends one). Inside a bracketed name "]]"
    // stands for "]" and the quote character is doubled, so any name stays one name.
    static QString PrepareStatement(const QString& statement, QChar identifierQuote);

private:
    struct State;
    std::unique_ptr<State> d;
};

// Releases a result when it goes out of scope.
class ScopedResult
{
public:
    ScopedResult(StoreConnection& connection, StoreResult result)
        : connection_(connection), result_(result)
    {
    }
    ~ScopedResult() { connection_.Release(result_); }
    ScopedResult(const ScopedResult&) = delete;
    ScopedResult& operator=(const ScopedResult&) = delete;
    const StoreResult& get() const { return result_; }
    operator const StoreResult&() const { return result_; }

private:
    StoreConnection& connection_;
    StoreResult result_;
};

} // namespace kv
