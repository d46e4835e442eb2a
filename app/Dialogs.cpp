#include "Dialogs.h"

#include "Toolkit.h"

#include <QEvent>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QWidget>

namespace kv {

int ShowMessage(const QString& text, int buttonSet)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kMessageCaption), text,
                    QMessageBox::NoButton, nullptr);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    QPushButton* ok = box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    QPushButton* cancel = nullptr;
    if (buttonSet == 1)
        cancel = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box.setDefaultButton(ok);
    // Esc and the close box answer Cancel when there is one, OK otherwise.
    box.setEscapeButton(cancel ? cancel : ok);
    box.exec();
    return box.clickedButton() == ok ? 0 : 1;
}

QString ErrorBoxText(std::optional<int> code, const QString& message)
{
    QString text = QStringLiteral("运行时出错!\r\n\r\n");
    if (code)
        text += QStringLiteral("错误代码：") + QString::number(*code) + QStringLiteral("\r\n\r\n");
    if (!message.isEmpty())
        text += QStringLiteral("错误信息：") + message + QStringLiteral("\r\n");
    return text;
}

void ErrorBox(std::optional<int> code, const QString& message)
{
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kErrorCaption),
                    ErrorBoxText(code, message), QMessageBox::NoButton, nullptr);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    QPushButton* ok = box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
    ExitProgram(-1);
}

namespace {

// Gives the focus to a control that was hidden when FocusControl named it, once it
// is shown, unless another control was named since.
class PendingFocus : public QObject
{
public:
    static PendingFocus& Instance()
    {
        static PendingFocus instance;
        return instance;
    }
    void Set(QWidget* control)
    {
        if (target_)
            target_->removeEventFilter(this);
        target_ = control;
        if (control)
            control->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched == target_) {
            QWidget* control = target_;
            Set(nullptr);
            control->setFocus(Qt::OtherFocusReason);
        }
        return false;
    }

private:
    QPointer<QWidget> target_;
};

} // namespace

void FocusControl(QWidget* control)
{
    if (!control)
        return;
    if (control->isVisible()) {
        PendingFocus::Instance().Set(nullptr);
        control->setFocus(Qt::OtherFocusReason);
    } else {
        PendingFocus::Instance().Set(control);
    }
}

} // namespace kv
