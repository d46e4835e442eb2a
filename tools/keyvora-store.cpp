// keyvora-store: provisions an empty store, or checks an existing one.
//
//   keyvora-store init [DIR]    creates DIR/management.mdb (refuses an existing file)
//   keyvora-store check [DIR]   integrity check, login users and their record counts
//
// DIR defaults to the current directory. Exit codes: 0 success, 1 usage, 2 the file
// exists (init) or is missing or cannot be opened (check), 3 creation failed (init) or
// the store is damaged (check).

#include "store/Provision.h"
#include "store/StoreConnection.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace {

enum Exit
{
    kOk = 0,
    kUsage = 1,
    kFileState = 2,
    kFailed = 3,
};

int Usage(QTextStream& err)
{
    err << "usage: keyvora-store init [DIR]\n"
           "       keyvora-store check [DIR]\n";
    return kUsage;
}

int Init(const QString& path, QTextStream& out, QTextStream& err)
{
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
        err << "keyvora-store: " << path << " already exists; it was left untouched\n";
        return kFileState;
    }
    QString reason;
    if (!kv::CreateEmptyStore(path, QString::fromLatin1(kv::kStorePassword), &reason)) {
        err << "keyvora-store: cannot create " << path << ": " << reason << "\n";
        return reason.contains(QLatin1String("exists")) ? kFileState : kFailed;
    }
    out << "created empty store " << path << "\n";
    return kOk;
}

int Check(const QString& path, QTextStream& out, QTextStream& err)
{
    if (!QFileInfo::exists(path)) {
        err << "keyvora-store: " << path << " does not exist\n";
        return kFileState;
    }
    const kv::StoreReport report = kv::CheckStore(path, QString::fromLatin1(kv::kStorePassword));
    if (!report.opened) {
        err << "keyvora-store: cannot open " << path << ": " << report.problems.join("; ") << "\n";
        return kFileState;
    }
    out << "store " << path << ": " << (report.intact ? "intact" : "DAMAGED") << "\n";
    for (const QString& problem : report.problems)
        out << "  problem: " << problem << "\n";
    out << report.users.size() << " login user(s)\n";
    for (const kv::StoreReport::User& user : report.users) {
        out << "  " << user.name << ": ";
        if (user.records < 0)
            out << "no record table\n";
        else
            out << user.records << " record(s)\n";
    }
    return report.intact ? kOk : kFailed;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList arguments = application.arguments().mid(1);
    if (arguments.isEmpty() || arguments.size() > 2)
        return Usage(err);
    const QString directory = arguments.size() == 2 ? arguments[1] : QStringLiteral(".");
    if (!QFileInfo(directory).isDir()) {
        err << "keyvora-store: " << directory << " is not a directory\n";
        return kUsage;
    }
    const QString path = QDir(directory).absoluteFilePath(QString::fromLatin1(kv::kStoreFileName));
    if (arguments[0] == QLatin1String("init"))
        return Init(path, out, err);
    if (arguments[0] == QLatin1String("check"))
        return Check(path, out, err);
    return Usage(err);
}
