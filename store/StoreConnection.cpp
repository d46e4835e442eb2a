#include "store/StoreConnection.h"

#include "store/Engine.h"
#include "store/Provision.h"
#include "store/StoreHost.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <variant>
#include <vector>

namespace kv {
namespace {

using Clock = std::chrono::steady_clock;

// The kinds a value can have, taken from the declared column type (the engine's storage
// class alone would report a boolean as an integer and cannot tell single from double).
enum class Kind
{
    Text,
    Integer,
    Single,
    Double,
    Boolean,
    DateTime,
    Bytes,
    Undeclared, // an expression column: the kind of each value is its storage class
};

using Cell = std::variant<std::monostate, qint64, double, QString, QByteArray>;

struct Snapshot
{
    QList<QByteArray> names; // UTF-8, compared byte for byte
    std::vector<Kind> kinds;
    std::vector<Cell> cells; // row after row
    int columns = 0;
    std::size_t rows = 0;
    std::size_t position = 0;
};

struct Slot
{
    std::uint64_t id = 0; // 0: empty
    std::unique_ptr<Snapshot> snapshot;
};

std::uint64_t gNextResultId = 1;
bool gOfferedToCreate = false;
bool gReportedUnopenable = false;

std::set<StoreConnection*>& LiveConnections()
{
    static auto* connections = new std::set<StoreConnection*>;
    return *connections;
}

Kind KindOfDeclaredType(const char* declared)
{
    if (!declared || !*declared)
        return Kind::Undeclared;
    const QByteArray type = QByteArray(declared).trimmed().toUpper();
    QByteArray word = type;
    for (qsizetype i = 0; i < type.size(); ++i) {
        if (type[i] == ' ' || type[i] == '(') {
            word = type.left(i);
            break;
        }
    }
    static const std::array<std::pair<const char*, Kind>, 33> words{{
        {"TEXT", Kind::Text},         {"NOTE", Kind::Text},          {"MEMO", Kind::Text},
        {"CHAR", Kind::Text},         {"VARCHAR", Kind::Text},       {"LONGTEXT", Kind::Text},
        {"STRING", Kind::Text},       {"CLOB", Kind::Text},          {"INT", Kind::Integer},
        {"INTEGER", Kind::Integer},   {"SMALLINT", Kind::Integer},   {"TINYINT", Kind::Integer},
        {"BYTE", Kind::Integer},      {"SHORT", Kind::Integer},      {"LONG", Kind::Integer},
        {"COUNTER", Kind::Integer},   {"SINGLE", Kind::Single},      {"REAL", Kind::Single},
        {"FLOAT4", Kind::Single},     {"DOUBLE", Kind::Double},      {"FLOAT", Kind::Double},
        {"FLOAT8", Kind::Double},     {"NUMERIC", Kind::Double},     {"DECIMAL", Kind::Double},
        {"CURRENCY", Kind::Double},   {"BIT", Kind::Boolean},        {"BOOLEAN", Kind::Boolean},
        {"YESNO", Kind::Boolean},     {"LOGICAL", Kind::Boolean},    {"DATE", Kind::DateTime},
        {"DATETIME", Kind::DateTime}, {"TIMESTAMP", Kind::DateTime}, {"BLOB", Kind::Bytes},
    }};
    for (const auto& [name, kind] : words)
        if (word == name)
            return kind;
    // Anything else by the engine's own affinity rules.
    if (type.contains("INT"))
        return Kind::Integer;
    if (type.contains("CHAR") || type.contains("CLOB") || type.contains("TEXT"))
        return Kind::Text;
    if (type.contains("BLOB") || type.contains("BINARY"))
        return Kind::Bytes;
    if (type.contains("REAL") || type.contains("FLOA") || type.contains("DOUB"))
        return Kind::Double;
    return Kind::Undeclared;
}

// printf's %.<precision>g in the C locale, whatever the process locale is.
QString GeneralNumber(double value, int precision)
{
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, precision);
    return QString::fromLatin1(buffer, int(result.ptr - buffer));
}

QString Decimal(qint64 value)
{
    return QString::number(value);
}

QString FromBytes(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes);
}

// Text of a value of a column of the given kind.
QString FormatCell(Kind kind, const Cell& cell)
{
    if (std::holds_alternative<std::monostate>(cell)) {
        switch (kind) {
        case Kind::Integer:
        case Kind::Single:
        case Kind::Double:
            return QStringLiteral("0");
        case Kind::Boolean:
            return QStringLiteral("假");
        default:
            return {};
        }
    }
    if (const QString* text = std::get_if<QString>(&cell))
        return *text; // a text value stays as stored, whatever the column says
    if (const QByteArray* bytes = std::get_if<QByteArray>(&cell))
        return FromBytes(*bytes);
    const bool isInteger = std::holds_alternative<qint64>(cell);
    const qint64 integer = isInteger ? std::get<qint64>(cell) : 0;
    const double real = isInteger ? double(integer) : std::get<double>(cell);
    switch (kind) {
    case Kind::Boolean:
        return (isInteger ? integer != 0 : real != 0.0) ? QStringLiteral("真")
                                                        : QStringLiteral("假");
    case Kind::Single:
        return GeneralNumber(double(float(real)), 6);
    case Kind::Double:
        return GeneralNumber(real, 13);
    default:
        return isInteger ? Decimal(integer) : GeneralNumber(real, 13);
    }
}

bool IsTextKind(Kind kind, const Cell& cell)
{
    if (kind == Kind::Text)
        return true;
    if (kind == Kind::Undeclared)
        return std::holds_alternative<QString>(cell) ||
               std::holds_alternative<std::monostate>(cell);
    return false;
}

// The statement deadline, checked by the engine's progress handler while a statement
// runs; past it the statement is interrupted and fails.
struct Deadline
{
    Clock::time_point at;
};

int OnProgress(void* deadline)
{
    return Clock::now() > static_cast<Deadline*>(deadline)->at ? 1 : 0;
}

bool IsWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

// In CREATE TABLE, a column declared NOTE or MEMO (long text) would get the engine's
// NUMERIC affinity and turn '0123' into 123; declare it "NOTE TEXT" so it keeps text
// affinity and still reports itself as long text. Only the word in the type position
// of a column definition changes; literals and quoted identifiers are left alone.
QString MapLongTextTypes(const QString& statement)
{
    static const QRegularExpression createTable(
        QStringLiteral("^\\s*CREATE\\s+(TEMP\\s+|TEMPORARY\\s+)?TABLE\\b"),
        QRegularExpression::CaseInsensitiveOption);
    if (!createTable.match(statement).hasMatch())
        return statement;
    QString out;
    out.reserve(statement.size() + 16);
    int depth = 0;
    int wordsInDefinition = 0; // words seen in the current column definition
    for (qsizetype i = 0; i < statement.size();) {
        const QChar c = statement[i];
        if (c == u'\'' || c == u'"' || c == u'`' || c == u'[') {
            const QChar close = c == u'[' ? QChar(u']') : c;
            qsizetype end = i + 1;
            while (end < statement.size()) {
                if (statement[end] == close) {
                    if (close != u']' && end + 1 < statement.size() &&
                        statement[end + 1] == close) {
                        end += 2;
                        continue;
                    }
                    break;
                }
                ++end;
            }
            end = std::min(end + 1, statement.size());
            out += QStringView(statement).mid(i, end - i);
            if (depth == 1 && c != u'\'')
                ++wordsInDefinition;
            i = end;
            continue;
        }
        if (IsWordChar(c)) {
            qsizetype end = i;
            while (end < statement.size() && IsWordChar(statement[end]))
                ++end;
            const QStringView word = QStringView(statement).mid(i, end - i);
            // CREATE TABLE ... AS SELECT: the parentheses hold a query, not columns.
            if (depth == 0 && word.compare(u"AS", Qt::CaseInsensitive) == 0)
                return statement;
            if (depth == 1) {
                ++wordsInDefinition;
                if (wordsInDefinition == 2 && (word.compare(u"NOTE", Qt::CaseInsensitive) == 0 ||
                                               word.compare(u"MEMO", Qt::CaseInsensitive) == 0)) {
                    out += word;
                    out += QStringLiteral(" TEXT");
                    i = end;
                    continue;
                }
            }
            out += word;
            i = end;
            continue;
        }
        if (c == u'(') {
            ++depth;
            if (depth == 1)
                wordsInDefinition = 0;
        } else if (c == u')') {
            --depth;
        } else if (c == u',' && depth == 1) {
            wordsInDefinition = 0;
        }
        out += c;
        ++i;
    }
    return out;
}

} // namespace

QString StorePath(const QString& runDirectory)
{
    return runDirectory + QDir::separator() + QLatin1String(kStoreFileName);
}

struct StoreConnection::State
{
    sqlite3* db = nullptr;
    QChar quote = u' ';
    std::array<Slot, kResultSlots> resultSlots;
    std::chrono::milliseconds statementTimeout{kTimeoutSeconds * 1000};
    Deadline deadline;

    const Snapshot* Find(const StoreResult& result) const
    {
        if (result.slot < 0 || result.slot >= kResultSlots)
            return nullptr;
        const Slot& slot = resultSlots[std::size_t(result.slot)];
        return slot.id != 0 && slot.id == result.id ? slot.snapshot.get() : nullptr;
    }
    Snapshot* Find(const StoreResult& result)
    {
        return const_cast<Snapshot*>(std::as_const(*this).Find(result));
    }

    void ReleaseAll()
    {
        for (Slot& slot : resultSlots) {
            slot.id = 0;
            slot.snapshot.reset();
        }
    }

    void Adopt(sqlite3* handle)
    {
        db = handle;
        quote = u'"';
        sqlite3_progress_handler(db, 1000, OnProgress, &deadline);
    }

    // Prepares exactly one statement; a text holding more than one is refused, so a
    // spliced value can never append a statement of its own.
    sqlite3_stmt* Prepare(const QString& statement)
    {
        const QByteArray sql = MapLongTextTypes(PrepareStatement(statement, quote)).toUtf8();
        const char* tail = nullptr;
        sqlite3_stmt* prepared = nullptr;
        deadline.at = Clock::now() + statementTimeout;
        if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &prepared, &tail) !=
                SQLITE_OK ||
            !prepared)
            return nullptr;
        const char* end = sql.constData() + sql.size();
        while (tail && tail < end) {
            sqlite3_stmt* more = nullptr;
            const char* next = nullptr;
            const int rc = sqlite3_prepare_v2(db, tail, int(end - tail), &more, &next);
            if (more || rc != SQLITE_OK) {
                sqlite3_finalize(more);
                sqlite3_finalize(prepared);
                return nullptr;
            }
            if (next == tail)
                break;
            tail = next;
        }
        return prepared;
    }

    bool Run(const QString& statement)
    {
        sqlite3_stmt* prepared = Prepare(statement);
        if (!prepared)
            return false;
        deadline.at = Clock::now() + statementTimeout;
        int rc;
        while ((rc = sqlite3_step(prepared)) == SQLITE_ROW) {
        }
        sqlite3_finalize(prepared);
        return rc == SQLITE_DONE;
    }
};

StoreConnection::StoreConnection(QObject* parent) : QObject(parent), d(std::make_unique<State>())
{
    LiveConnections().insert(this);
}

StoreConnection::~StoreConnection()
{
    Close();
    LiveConnections().erase(this);
}

void StoreConnection::CloseAll()
{
    const std::set<StoreConnection*> connections = LiveConnections();
    for (StoreConnection* connection : connections)
        connection->Close();
}

bool StoreConnection::Open(const QString& path, const QString& password)
{
    const ConnectionParameters parameters = ParseConnectionString(ConnectionString(path, password));
    const QString& file = parameters.file;
    const QFileInfo info(file);
    StoreHost* host = CurrentStoreHost();
    if (!info.exists() && !info.isSymLink()) {
        // The driver's offer for a missing file: at most once per process, and only
        // where a file could be made.
        if (!host || gOfferedToCreate || file.isEmpty() || !info.absoluteDir().exists())
            return false;
        gOfferedToCreate = true;
        if (!host->OfferToCreateStore(file) || !CreateEmptyStore(file, parameters.password))
            return false;
    }
    QString reason;
    sqlite3* handle = engine::OpenExisting(file, parameters.password, &reason);
    if (!handle) {
        if (host && !gReportedUnopenable) {
            gReportedUnopenable = true;
            host->ReportStoreUnopenable(file);
        }
        return false;
    }
    Close();
    d->Adopt(handle);
    return true;
}

void StoreConnection::Close()
{
    if (!d->db)
        return;
    d->ReleaseAll();
    engine::CloseHandle(d->db);
    d->db = nullptr;
    d->quote = u' ';
}

bool StoreConnection::IsOpen() const
{
    return d->db != nullptr;
}

StoreResult StoreConnection::Query(const QString& statement)
{
    if (statement.isEmpty() || !d->db)
        return {};
    auto free = std::find_if(d->resultSlots.begin(), d->resultSlots.end(),
                             [](const Slot& slot) { return slot.id == 0; });
    if (free == d->resultSlots.end())
        return {};
    sqlite3_stmt* prepared = d->Prepare(statement);
    if (!prepared)
        return {};
    // A query only reads: a statement that would change the store is not run here.
    if (!sqlite3_stmt_readonly(prepared) || sqlite3_column_count(prepared) == 0) {
        sqlite3_finalize(prepared);
        return {};
    }
    auto snapshot = std::make_unique<Snapshot>();
    const int columns = sqlite3_column_count(prepared);
    snapshot->columns = columns;
    for (int c = 0; c < columns; ++c) {
        snapshot->names.append(QByteArray(sqlite3_column_name(prepared, c)));
        snapshot->kinds.push_back(KindOfDeclaredType(sqlite3_column_decltype(prepared, c)));
    }
    d->deadline.at = Clock::now() + d->statementTimeout;
    int rc;
    while ((rc = sqlite3_step(prepared)) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            switch (sqlite3_column_type(prepared, c)) {
            case SQLITE_INTEGER:
                snapshot->cells.emplace_back(qint64(sqlite3_column_int64(prepared, c)));
                break;
            case SQLITE_FLOAT:
                snapshot->cells.emplace_back(sqlite3_column_double(prepared, c));
                break;
            case SQLITE_TEXT:
                snapshot->cells.emplace_back(QString::fromUtf8(
                    reinterpret_cast<const char*>(sqlite3_column_text(prepared, c)),
                    sqlite3_column_bytes(prepared, c)));
                break;
            case SQLITE_BLOB:
                snapshot->cells.emplace_back(
                    QByteArray(static_cast<const char*>(sqlite3_column_blob(prepared, c)),
                               sqlite3_column_bytes(prepared, c)));
                break;
            default:
                snapshot->cells.emplace_back(std::monostate{});
            }
        }
        ++snapshot->rows;
    }
    sqlite3_finalize(prepared);
    if (rc != SQLITE_DONE)
        return {};
    free->id = gNextResultId++;
    free->snapshot = std::move(snapshot);
    return StoreResult{int(free - d->resultSlots.begin()), free->id};
}

bool StoreConnection::AtEnd(const StoreResult& result) const
{
    const Snapshot* snapshot = d->Find(result);
    return !snapshot || snapshot->position >= snapshot->rows;
}

void StoreConnection::MoveNext(const StoreResult& result)
{
    Snapshot* snapshot = d->Find(result);
    if (snapshot && snapshot->position < snapshot->rows)
        ++snapshot->position;
}

bool StoreConnection::Execute(const QString& statement)
{
    if (statement.isEmpty() || !d->db)
        return false;
    return d->Run(statement);
}

bool StoreConnection::ExecuteTogether(const QStringList& statements)
{
    if (!d->db)
        return false;
    if (sqlite3_exec(d->db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return false;
    for (const QString& statement : statements) {
        if (statement.isEmpty() || !d->Run(statement)) {
            sqlite3_exec(d->db, "ROLLBACK", nullptr, nullptr, nullptr);
            return false;
        }
    }
    if (sqlite3_exec(d->db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_exec(d->db, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    }
    return true;
}

namespace {

struct Picked
{
    Kind kind = Kind::Text;
    const Cell* cell = nullptr; // nullptr: no value (missing column or no current row)
    bool column = false;        // a column was found
};

const Cell kMissing{};

Picked Pick(const Snapshot* snapshot, int index)
{
    Picked picked;
    if (!snapshot || index < 0 || index >= snapshot->columns)
        return picked;
    picked.column = true;
    picked.kind = snapshot->kinds[std::size_t(index)];
    picked.cell =
        snapshot->position < snapshot->rows
            ? &snapshot
                   ->cells[snapshot->position * std::size_t(snapshot->columns) + std::size_t(index)]
            : &kMissing;
    return picked;
}

int IndexOf(const Snapshot* snapshot, const QString& column)
{
    if (!snapshot)
        return -1;
    const QByteArray name = column.toUtf8();
    return int(snapshot->names.indexOf(name));
}

QString Text(const Picked& picked)
{
    return picked.column ? FormatCell(picked.kind, *picked.cell) : QString();
}

QString StrictText(const Picked& picked)
{
    if (!picked.column)
        return {};
    if (!IsTextKind(picked.kind, *picked.cell)) {
        if (StoreHost* host = CurrentStoreHost())
            host->StopOnTypeMismatch();
        std::fputs("数据或数组类型不匹配\n", stderr);
        std::_Exit(255);
    }
    return FormatCell(picked.kind, *picked.cell);
}

} // namespace

QString StoreConnection::ReadText(const StoreResult& result, const QString& column) const
{
    const Snapshot* snapshot = d->Find(result);
    return Text(Pick(snapshot, IndexOf(snapshot, column)));
}

QString StoreConnection::ReadText(const StoreResult& result, int position) const
{
    return Text(Pick(d->Find(result), position - 1));
}

QString StoreConnection::ReadTextStrict(const StoreResult& result, const QString& column) const
{
    const Snapshot* snapshot = d->Find(result);
    return StrictText(Pick(snapshot, IndexOf(snapshot, column)));
}

QString StoreConnection::ReadTextStrict(const StoreResult& result, int position) const
{
    return StrictText(Pick(d->Find(result), position - 1));
}

void StoreConnection::Release(const StoreResult& result)
{
    if (d->Find(result)) {
        Slot& slot = d->resultSlots[std::size_t(result.slot)];
        slot.id = 0;
        slot.snapshot.reset();
    }
}

int StoreConnection::OpenResults() const
{
    return int(std::count_if(d->resultSlots.begin(), d->resultSlots.end(),
                             [](const Slot& slot) { return slot.id != 0; }));
}

QChar StoreConnection::IdentifierQuote() const
{
    return d->quote;
}

void StoreConnection::SetStatementTimeout(std::chrono::milliseconds timeout)
{
    d->statementTimeout = timeout;
}

namespace {

// ODBC braces a value that holds a separator; a closing brace inside is doubled.
QString AttributeValue(const QString& value)
{
    if (!value.contains(u';') && !value.contains(u'{') && !value.contains(u'}'))
        return value;
    QString braced = value;
    braced.replace(QStringLiteral("}"), QStringLiteral("}}"));
    return u'{' + braced + u'}';
}

} // namespace

QString StoreConnection::ConnectionString(const QString& path, const QString& password)
{
    QString text = QStringLiteral("ODBC;DBQ=") + AttributeValue(path);
    const qsizetype separator = path.lastIndexOf(QDir::separator());
    if (separator >= 0)
        text += QStringLiteral(";DefaultDir=") + AttributeValue(path.left(separator));
    text += QStringLiteral(";Driver={Microsoft Access Driver (*.mdb)};FIL=MS Access");
    if (!password.isEmpty())
        text += QStringLiteral(";PWD=") + AttributeValue(password);
    text += u';';
    return text;
}

StoreConnection::ConnectionParameters
StoreConnection::ParseConnectionString(const QString& connectionString)
{
    ConnectionParameters parameters;
    bool haveFile = false;
    bool havePassword = false;
    qsizetype i = 0;
    const qsizetype n = connectionString.size();
    while (i < n) {
        const qsizetype equals = connectionString.indexOf(u'=', i);
        const qsizetype semicolon = connectionString.indexOf(u';', i);
        if (equals < 0 || (semicolon >= 0 && semicolon < equals)) {
            // A piece without a value, such as the leading "ODBC".
            if (semicolon < 0)
                break;
            i = semicolon + 1;
            continue;
        }
        const QString key = connectionString.mid(i, equals - i).trimmed();
        QString value;
        qsizetype j = equals + 1;
        if (j < n && connectionString[j] == u'{') {
            ++j;
            while (j < n) {
                if (connectionString[j] == u'}') {
                    if (j + 1 < n && connectionString[j + 1] == u'}') {
                        value += u'}';
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                value += connectionString[j++];
            }
            const qsizetype next = connectionString.indexOf(u';', j);
            i = next < 0 ? n : next + 1;
        } else {
            const qsizetype next = connectionString.indexOf(u';', j);
            value = connectionString.mid(j, (next < 0 ? n : next) - j);
            i = next < 0 ? n : next + 1;
        }
        // As with ODBC, the first occurrence of a keyword counts.
        if (!haveFile && key.compare(u"DBQ", Qt::CaseInsensitive) == 0) {
            parameters.file = value;
            haveFile = true;
        } else if (!havePassword && key.compare(u"PWD", Qt::CaseInsensitive) == 0) {
            parameters.password = value;
            havePassword = true;
        }
    }
    return parameters;
}

QString StoreConnection::PrepareStatement(const QString& statement, QChar quote)
{
    QString out;
    out.reserve(statement.size());
    const bool canDouble = quote != u' ';
    bool inLiteral = false;
    bool inIdentifier = false;
    const qsizetype n = statement.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = statement[i];
        const bool pair = i + 1 < n && statement[i + 1] == c;
        if (inIdentifier) {
            if (c == u']') {
                if (pair) { // "]]" stands for a "]" inside the name
                    out += c;
                    ++i;
                } else {
                    out += quote;
                    inIdentifier = false;
                }
            } else if (c == quote && canDouble) {
                out += quote;
                out += quote;
            } else {
                out += c;
            }
        } else if (c == u'\'') {
            out += c;
            if (pair) {
                out += c;
                ++i;
            } else {
                inLiteral = !inLiteral;
            }
        } else if (inLiteral) {
            out += c;
        } else if (c == u'[') {
            out += quote;
            inIdentifier = true;
        } else if (c == u']') {
            out += quote;
        } else {
            out += c;
        }
    }
    return out;
}

void ResetStoreDialogs()
{
    gOfferedToCreate = false;
    gReportedUnopenable = false;
}

} // namespace kv
