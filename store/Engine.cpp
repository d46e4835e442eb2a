#define SQLITE_HAS_CODEC 1
#include "store/Engine.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <openssl/evp.h>
#include <sqlite3.h>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <utility>

namespace kv::engine {
namespace {

// SQLCipher keeps its random salt in the first 16 bytes of the file; the key of a file is
// PBKDF2 over the passphrase and that salt. A store is at least one page long.
constexpr int kSaltBytes = 16;
constexpr qint64 kSmallestStore = 512;
constexpr int kBusyMilliseconds = 15000;

struct KdfParameters
{
    const EVP_MD* digest = nullptr; // nullptr: unknown engine, key with the passphrase only
    int iterations = 0;
};

std::mutex& KeyMutex()
{
    static std::mutex mutex;
    return mutex;
}

// Raw keys already derived in this process, by (passphrase, salt).
std::map<std::pair<QByteArray, QByteArray>, QByteArray>& KeyCache()
{
    static auto* cache = new std::map<std::pair<QByteArray, QByteArray>, QByteArray>;
    return *cache;
}

int gDerivations = 0;
// Set once a raw key opened a file: the derivation matches the engine's own, so a raw
// key that fails means a wrong passphrase and the slow passphrase form can be skipped.
std::atomic<bool> gRawKeyConfirmed = false;

QString EngineMessage(sqlite3* db)
{
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory");
}

// The first column of the first row of a statement, or a null QByteArray.
QByteArray FirstValue(sqlite3* db, const char* sql)
{
    sqlite3_stmt* statement = nullptr;
    QByteArray value;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK && statement &&
        sqlite3_step(statement) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        if (text)
            value = QByteArray(text);
    }
    sqlite3_finalize(statement);
    return value;
}

QByteArray CipherVersion(sqlite3* db)
{
    return FirstValue(db, "PRAGMA cipher_version");
}

const KdfParameters& Kdf()
{
    static const KdfParameters parameters = [] {
        KdfParameters p;
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
            const QByteArray version = CipherVersion(db);
            const int iterations = FirstValue(db, "PRAGMA cipher_default_kdf_iter").toInt();
            // SQLCipher 3 derives with HMAC-SHA1, SQLCipher 4 with HMAC-SHA512.
            if (version.startsWith("3."))
                p.digest = EVP_sha1();
            else if (version.startsWith("4."))
                p.digest = EVP_sha512();
            p.iterations = iterations > 0 ? iterations : 0;
            if (p.iterations == 0)
                p.digest = nullptr;
        }
        sqlite3_close(db);
        return p;
    }();
    return parameters;
}

// "x'<hex>'": the engine takes this as the raw 256-bit key instead of a passphrase.
QByteArray RawKey(const QByteArray& passphrase, const QByteArray& salt)
{
    const KdfParameters& kdf = Kdf();
    if (!kdf.digest || salt.size() != kSaltBytes)
        return {};
    std::lock_guard lock(KeyMutex());
    auto& cache = KeyCache();
    const auto found = cache.find({passphrase, salt});
    if (found != cache.end())
        return found->second;
    unsigned char key[32];
    if (PKCS5_PBKDF2_HMAC(passphrase.constData(), int(passphrase.size()),
                          reinterpret_cast<const unsigned char*>(salt.constData()),
                          int(salt.size()), kdf.iterations, kdf.digest, int(sizeof key), key) != 1)
        return {};
    ++gDerivations;
    QByteArray raw =
        "x'" + QByteArray(reinterpret_cast<const char*>(key), sizeof key).toHex() + "'";
    cache.emplace(std::make_pair(passphrase, salt), raw);
    return raw;
}

// Opens the file read-write without creating it, keys it, and reads the schema, which is
// where a wrong key or a file that is not a store shows. Reading writes nothing.
sqlite3* TryOpen(const QByteArray& file, const QByteArray& key, QString* error)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        *error = EngineMessage(db);
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, kBusyMilliseconds);
    if (CipherVersion(db).isEmpty()) {
        *error = QStringLiteral("the store engine does not encrypt (no cipher_version)");
        sqlite3_close(db);
        return nullptr;
    }
    if (!key.isEmpty() && sqlite3_key(db, key.constData(), int(key.size())) != SQLITE_OK) {
        *error = EngineMessage(db);
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_stmt* statement = nullptr;
    int rc = sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_master", -1, &statement, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(statement);
    sqlite3_finalize(statement);
    if (rc != SQLITE_ROW) {
        *error = EngineMessage(db);
        sqlite3_close(db);
        return nullptr;
    }
    return db;
}

} // namespace

bool CipherAvailable()
{
    sqlite3* db = nullptr;
    bool available = false;
    if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK)
        available = !CipherVersion(db).isEmpty();
    sqlite3_close(db);
    return available;
}

sqlite3* OpenExisting(const QString& path, const QString& password, QString* error)
{
    QString ignored;
    QString& reason = error ? *error : ignored;
    const QFileInfo info(path);
    if (!info.exists()) {
        reason = QStringLiteral("the file does not exist");
        return nullptr;
    }
    if (!info.isFile()) {
        reason = QStringLiteral("not a file");
        return nullptr;
    }
    // An empty file would be taken for an empty database and become a store on the
    // first write; a store is never that short.
    if (info.size() < kSmallestStore) {
        reason = QStringLiteral("the file is not a store (too short)");
        return nullptr;
    }
    // An absolute path never reads as a "file:" URI.
    const QByteArray file = QFile::encodeName(info.absoluteFilePath());
    const QByteArray passphrase = password.toUtf8();
    if (passphrase.isEmpty())
        return TryOpen(file, {}, &reason);

    QFile reader(info.absoluteFilePath());
    QByteArray salt;
    if (reader.open(QIODevice::ReadOnly))
        salt = reader.read(kSaltBytes);
    reader.close();
    const QByteArray raw = RawKey(passphrase, salt);
    if (!raw.isEmpty()) {
        if (sqlite3* db = TryOpen(file, raw, &reason)) {
            gRawKeyConfirmed = true;
            return db;
        }
        if (gRawKeyConfirmed)
            return nullptr;
    }
    return TryOpen(file, passphrase, &reason);
}

bool CreateNew(const QString& path, const QString& password, const QStringList& statements,
               QString* error)
{
    QString ignored;
    QString& reason = error ? *error : ignored;
    const QFileInfo info(path);
    const QString absolute = info.absoluteFilePath();
    const QByteArray file = QFile::encodeName(absolute);
    // O_EXCL refuses anything already there, dangling links included, without a race.
    const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        reason = errno == EEXIST ? QStringLiteral("the file already exists")
                                 : QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    ::close(fd);

    sqlite3* db = nullptr;
    bool ok = sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK;
    if (ok && CipherVersion(db).isEmpty()) {
        reason = QStringLiteral("the store engine does not encrypt (no cipher_version)");
        ok = false;
    }
    const QByteArray passphrase = password.toUtf8();
    if (ok && !passphrase.isEmpty())
        ok = sqlite3_key(db, passphrase.constData(), int(passphrase.size())) == SQLITE_OK;
    if (ok) {
        QByteArray script = "BEGIN;";
        for (const QString& statement : statements)
            script += statement.toUtf8() + ";";
        script += "COMMIT;";
        char* message = nullptr;
        ok = sqlite3_exec(db, script.constData(), nullptr, nullptr, &message) == SQLITE_OK;
        if (!ok)
            reason = QString::fromUtf8(message ? message : "cannot write the store");
        sqlite3_free(message);
    } else if (reason.isEmpty()) {
        reason = EngineMessage(db);
    }
    sqlite3_close(db);
    if (!ok) {
        QFile::remove(absolute);
        QFile::remove(absolute + QStringLiteral("-journal"));
    }
    return ok;
}

void CloseHandle(sqlite3* db)
{
    sqlite3_close_v2(db);
}

int KeyDerivations()
{
    std::lock_guard lock(KeyMutex());
    return gDerivations;
}

} // namespace kv::engine
