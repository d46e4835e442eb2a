#include "windows/StoreDialogs.h"

#include "app/Dialogs.h"

#include <QDir>
#include <QMessageBox>

namespace kv {
namespace {

const QString kStoreCaption = QStringLiteral("数据库");

} // namespace

QString StoreOfferText(const QString& path)
{
    return QStringLiteral("找不到数据库文件：\n%1\n\n是否在此位置创建一个新的空数据库？")
        .arg(QDir::toNativeSeparators(path));
}

QString StoreUnopenableText(const QString& path)
{
    return QStringLiteral("无法打开数据库文件：\n%1\n\n"
                          "文件已损坏、不是本程序的数据库，或数据库口令不符。"
                          "文件未作任何改动。")
        .arg(QDir::toNativeSeparators(path));
}

bool AppStoreHost::OfferToCreateStore(const QString& path)
{
    QMessageBox box(QMessageBox::Question, kStoreCaption, StoreOfferText(path),
                    QMessageBox::Ok | QMessageBox::Cancel);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

void AppStoreHost::ReportStoreUnopenable(const QString& path)
{
    QMessageBox box(QMessageBox::Warning, kStoreCaption, StoreUnopenableText(path),
                    QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void AppStoreHost::StopOnTypeMismatch()
{
    ErrorBox(5, QStringLiteral("数据或数组类型不匹配"));
}

} // namespace kv
