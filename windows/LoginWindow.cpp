#include "LoginWindow.h"

#include "Banner.h"
#include "LastUserFile.h"
#include "MainWindow.h"
#include "NewUserWindow.h"
#include "StoreAccess.h"
#include "UserAdminWindow.h"
#include "app/Controls.h"
#include "app/Dialogs.h"
#include "app/Keys.h"
#include "app/Toolkit.h"
#include "skin/SkinLibrary.h"
#include "store/Statements.h"
#include "store/StoreConnection.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>

namespace kv {
namespace {

const QColor kWhite(255, 255, 255);
const QColor kLabelColour(0, 96, 192);
const QColor kBoxBackground(236, 236, 236);
const QColor kLinkColour(0, 96, 192);

// A one-line edit box of the login window: thin one-line border, grey background,
// black text in the default GUI font, at most 16 typed characters.
QLineEdit* MakeLoginBox(QWidget* parent, const char* name, const QRect& geometry, bool masked)
{
    QLineEdit* box = MakeEditBox(parent, name, geometry, 16, masked);
    box->setFrame(true);
    SetBackground(box, kBoxBackground);
    SetTextColour(box, Qt::black);
    return box;
}

QLabel* MakeKaiLabel(QWidget* parent, const char* name, const QRect& geometry, const QString& text)
{
    QLabel* label = MakeLabel(parent, name, geometry, text);
    label->setFont(KaiFont(16));
    SetTextColour(label, kLabelColour);
    return label;
}

} // namespace

LinkLabel::LinkLabel(QWidget* parent, const char* name, const QRect& geometry, const QString& text)
    : QLabel(text, parent)
{
    setObjectName(QString::fromUtf8(name));
    setGeometry(geometry);
    setAlignment(Qt::AlignCenter);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_TranslucentBackground);
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    SetTextColour(this, kLinkColour);
}

void LinkLabel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && onLeftPress)
        onLeftPress();
    // The press then reaches the link itself, which has no target.
    QLabel::mousePressEvent(event);
}

LoginWindow::LoginWindow() : Window(QSize(332, 211), QStringLiteral("Keyvora-keyvora.example.org"))
{
    SetBackground(this, kWhite);

    分组框1 = new QGroupBox(this);
    分组框1->setObjectName(QStringLiteral("分组框1"));
    分组框1->setGeometry(-3, -7, 350, 192);
    // White, and without the shaded panel and frame the style draws for a group box (its
    // frame would lie outside the client area anyway). The rule names QGroupBox so that it
    // does not reach the controls inside.
    分组框1->setAutoFillBackground(true);
    分组框1->setStyleSheet(
        QStringLiteral("QGroupBox { background-color: #ffffff; border: none; }"));

    图片框1 = new PictureBox(分组框1, "图片框1", QRect(-153, 6, 636, 97));
    图片框1->SetPicture(DecodeJpeg(BannerBytes()));

    用户名_透明标签 =
        MakeKaiLabel(分组框1, "用户名_透明标签", QRect(8, 112, 64, 32), QStringLiteral("用户名："));
    口令_透明标签 =
        MakeKaiLabel(分组框1, "口令_透明标签", QRect(9, 154, 64, 28), QStringLiteral("口  令："));
    用户名_编辑框 = MakeLoginBox(分组框1, "用户名_编辑框", QRect(83, 115, 140, 26), false);
    口令_编辑框 = MakeLoginBox(分组框1, "口令_编辑框", QRect(83, 153, 140, 26), true);
    登陆_按钮 = MakeButton(分组框1, "登陆_按钮", QRect(255, 109, 64, 29), QStringLiteral("登陆"));
    按钮1 = MakeButton(分组框1, "按钮1", QRect(256, 151, 64, 29), QStringLiteral("新建"));

    // The manage link lies over the plain lower right corner of the banner, above the
    // login button, where it can be seen and clicked.
    删除用户_超级链接框1 = new LinkLabel(this, "删除用户_超级链接框1", QRect(232, 72, 88, 24),
                                         QStringLiteral("管理用户"));
    删除用户_超级链接框1->raise();

    登陆_外部数据库 = new StoreConnection(this);
    登陆_外部数据库->setObjectName(QStringLiteral("登陆_外部数据库"));

    setTabOrder(用户名_编辑框, 口令_编辑框);
    setTabOrder(口令_编辑框, 登陆_按钮);
    setTabOrder(登陆_按钮, 按钮1);

    connect(登陆_按钮, &QPushButton::clicked, this, [this] { AttemptLogin(); });
    connect(按钮1, &QPushButton::clicked, this, [this] { OpenNewUserWindow(); });
    删除用户_超级链接框1->onLeftPress = [this] { OpenUserAdminWindow(); };

    SetKeyHandler(用户名_编辑框, [this](int key, int) {
        if (key == kKeySpace)
            return KeyVerdict::Swallow;
        if (key == kKeyEnter)
            AttemptLogin();
        return KeyVerdict::LetThrough;
    });
    const KeyHandler loginOnEnter = [this](int key, int) {
        if (key == kKeyEnter)
            AttemptLogin();
        return KeyVerdict::LetThrough;
    };
    SetKeyHandler(口令_编辑框, loginOnEnter);
    SetKeyHandler(登陆_按钮, loginOnEnter);
}

void LoginWindow::OnCreated()
{
    // The skin comes first, before anything else of the window's creation.
    ApplySkin(5);
    EnableSkinAero();
    OpenStore(*登陆_外部数据库);
    用户名_编辑框->setText(ReadLastUser());
    FocusControl(用户名_编辑框);
}

void LoginWindow::AttemptLogin()
{
    const QString typedName = 用户名_编辑框->text();
    QString storedName;
    QString storedPassword;
    {
        // Released once read, so that repeated attempts never exhaust the connection.
        ScopedResult found(*登陆_外部数据库,
                           登陆_外部数据库->Query(statements::UserLookup(typedName)));
        storedName = 登陆_外部数据库->ReadText(found, QStringLiteral("username"));
        storedPassword = 登陆_外部数据库->ReadText(found, QStringLiteral("password1"));
    }

    if (typedName != storedName) {
        ShowMessage(QStringLiteral("此用户没有创建"));
        用户名_编辑框->clear();
        口令_编辑框->clear();
        FocusControl(用户名_编辑框);
    } else if (typedName.isEmpty()) {
        ShowMessage(QStringLiteral("请输入用户名"));
        用户名_编辑框->clear();
        口令_编辑框->clear();
        FocusControl(用户名_编辑框);
    } else if (口令_编辑框->text() != storedPassword) {
        ShowMessage(QStringLiteral("您输入的口令错误！"));
        口令_编辑框->clear();
        FocusControl(口令_编辑框);
    } else if (口令_编辑框->text().isEmpty()) {
        ShowMessage(QStringLiteral("请输入口令！"));
        口令_编辑框->clear();
        FocusControl(口令_编辑框);
    } else {
        登陆_外部数据库->Close();
        setVisible(false);
        LoadWindow<MainWindow>(nullptr, false);
    }
    WriteLastUser(用户名_编辑框->text());
}

void LoginWindow::OpenNewUserWindow()
{
    登陆_外部数据库->Close();
    LoadWindow<NewUserWindow>(this, true);
}

void LoginWindow::OpenUserAdminWindow()
{
    登陆_外部数据库->Close();
    LoadWindow<UserAdminWindow>(this, true);
}

} // namespace kv
