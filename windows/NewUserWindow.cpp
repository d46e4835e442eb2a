#include "NewUserWindow.h"

#include "StoreAccess.h"
#include "app/Controls.h"
#include "app/Dialogs.h"
#include "app/Keys.h"
#include "app/Toolkit.h"
#include "store/NewUserName.h"
#include "store/Statements.h"
#include "store/StoreConnection.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace kv {
namespace {

const QColor kLabelColour(0, 136, 255);

QLabel* MakeKaiLabel(QWidget* parent, const char* name, const QRect& geometry, const QString& text)
{
    QLabel* label = MakeLabel(parent, name, geometry, text);
    label->setFont(KaiFont(16));
    SetTextColour(label, kLabelColour);
    return label;
}

QLineEdit* MakeBox(QWidget* parent, const char* name, int y, bool masked)
{
    QLineEdit* box = MakeEditBox(parent, name, QRect(79, y, 153, 26), 16, masked);
    SetBackground(box, Qt::white);
    SetTextColour(box, Qt::black);
    return box;
}

} // namespace

NewUserWindow::NewUserWindow() : Window(QSize(245, 227), QStringLiteral("新建用户"))
{
    // The window face has the colour of button faces.
    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    setPalette(face);
    setAutoFillBackground(true);

    MakeKaiLabel(this, "新建用户名_透明标签", QRect(11, 21, 64, 32), QStringLiteral("用户名："));
    新建用户名_编辑框 = MakeBox(this, "新建用户名_编辑框", 19, false);
    MakeKaiLabel(this, "新建密码_透明标签", QRect(12, 73, 64, 32), QStringLiteral("口  令："));
    新建密码_编辑框 = MakeBox(this, "新建密码_编辑框", 75, true);
    MakeKaiLabel(this, "新建密码_透明标签1", QRect(5, 123, 76, 32), QStringLiteral("重复口令："));
    新建密码_编辑框1 = MakeBox(this, "新建密码_编辑框1", 125, true);
    新建_按钮 = MakeButton(this, "新建_按钮", QRect(25, 164, 70, 29), QStringLiteral("新建"));
    新建退出_按钮 =
        MakeButton(this, "新建退出_按钮", QRect(145, 164, 70, 29), QStringLiteral("退出"));

    新建_外部数据库 = new StoreConnection(this);
    新建_外部数据库->setObjectName(QStringLiteral("新建_外部数据库"));

    setTabOrder(新建用户名_编辑框, 新建密码_编辑框);
    setTabOrder(新建密码_编辑框, 新建密码_编辑框1);
    setTabOrder(新建密码_编辑框1, 新建_按钮);
    setTabOrder(新建_按钮, 新建退出_按钮);
    新建用户名_编辑框->setFocus(Qt::OtherFocusReason);

    connect(新建_按钮, &QPushButton::clicked, this, [this] { CreateLoginUser(); });
    connect(新建退出_按钮, &QPushButton::clicked, this, [this] { Leave(); });

    const auto createOnEnter = [this](int key, int) {
        if (key == kKeyEnter)
            CreateLoginUser();
        return KeyVerdict::LetThrough;
    };
    SetKeyHandler(新建用户名_编辑框, [this](int key, int) {
        if (key == kKeySpace)
            return KeyVerdict::Swallow;
        if (key == kKeyEnter)
            CreateLoginUser();
        return KeyVerdict::LetThrough;
    });
    SetKeyHandler(新建密码_编辑框, createOnEnter);
    SetKeyHandler(新建密码_编辑框1, createOnEnter);
    SetKeyHandler(新建_按钮, createOnEnter);
    SetKeyHandler(新建退出_按钮, [this](int key, int) {
        if (key == kKeyEnter)
            Leave();
        return KeyVerdict::LetThrough;
    });
}

NewUserWindow::~NewUserWindow() = default;

void NewUserWindow::OnCreated()
{
    OpenStore(*新建_外部数据库);
}

std::optional<bool> NewUserWindow::OnCanBeClosed()
{
    HandBackConnection();
    return std::nullopt;
}

void NewUserWindow::Leave()
{
    HandBackConnection();
    DestroyWindowDeferred(this);
}

void NewUserWindow::HandBackConnection()
{
    新建_外部数据库->Close();
    ReopenLoginConnection();
}

void NewUserWindow::CreateLoginUser()
{
    // Every value is taken from the boxes now, before any check.
    const QString name = 新建用户名_编辑框->text();
    const QString password = 新建密码_编辑框->text();
    const QString repeated = 新建密码_编辑框1->text();
    const QStringList create = {statements::UserInsert(name, password, repeated),
                                statements::RecordTableCreate(name)};

    // The name is judged against every login user and every table, ignoring letter case;
    // the lookup's result is released at once, so no number of presses can exhaust the
    // connection and let a taken name through.
    const NewUserName judged =
        name.isEmpty() ? NewUserName::Unusable : CheckNewUserName(*新建_外部数据库, name);

    if (name.isEmpty()) {
        ShowMessage(QStringLiteral("请输入用户名"));
        新建用户名_编辑框->clear();
        FocusControl(新建用户名_编辑框);
        新建密码_编辑框->clear();
        新建密码_编辑框1->clear();
        return;
    }
    if (password != repeated) {
        ShowMessage(QStringLiteral("您二次口令不一致，请重新输入"));
        新建密码_编辑框->clear();
        新建密码_编辑框1->clear();
        FocusControl(新建密码_编辑框);
        return;
    }
    if (judged != NewUserName::Usable) {
        // A name that is taken, or one that cannot stand as a record table of its own
        // (quotes, brackets, control characters, names the engine keeps for itself).
        ShowMessage(judged == NewUserName::Taken
                        ? QStringLiteral("用户名重复，请重新输入")
                        : QStringLiteral("用户名不能包含引号、方括号或控制字符，"
                                         "也不能以 sqlite_ 开头，请重新输入"));
        新建用户名_编辑框->clear();
        FocusControl(新建用户名_编辑框);
        return;
    }
    if (password.isEmpty() || repeated.isEmpty()) {
        ShowMessage(QStringLiteral("请输入口令"));
        FocusControl(新建密码_编辑框);
        return;
    }

    // The user row and its record table come into being together, or neither does.
    if (!新建_外部数据库->ExecuteTogether(create)) {
        // Nothing was stored: keep what was typed so the user can try again, on a
        // fresh connection in case the old one was lost.
        OpenStore(*新建_外部数据库);
        ShowMessage(QStringLiteral("创建用户失败，没有保存任何内容，请稍后重试"));
        FocusControl(新建用户名_编辑框);
        return;
    }

    ShowMessage(QStringLiteral("成功创建用户"));
    新建用户名_编辑框->clear();
    新建密码_编辑框->clear();
    新建密码_编辑框1->clear();
    FocusControl(新建用户名_编辑框);
    HandBackConnection();
    DestroyWindowDeferred(this);
}

} // namespace kv
