#include "LastUserFile.h"

#include "app/Toolkit.h"

#include <QFile>

namespace kv {

QString LastUserFilePath()
{
    return RunDirectory() + QStringLiteral("/skin.ini");
}

QString ReadLastUser()
{
    QFile file(LastUserFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.readAll();
    if (const qsizetype zero = bytes.indexOf('\0'); zero >= 0)
        bytes.truncate(zero);
    return QString::fromUtf8(bytes);
}

void WriteLastUser(const QString& userName)
{
    QFile file(LastUserFilePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write(userName.toUtf8());
}

} // namespace kv
