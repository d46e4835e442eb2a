#pragma once

#include "app/Window.h"

class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace kv {

class ListView;
class OverlayPanel;
class StoreConnection;

// The window a login user works in: the user's account records, with add, change,
// delete, delete all and the way back to the login window.
class MainWindow : public Window
{
    Q_OBJECT
public:
    MainWindow();

    void OnCreated() override;
    // Closing this window ends the program.
    std::optional<bool> OnCanBeClosed() override;

    // Takes the table name from the login window, opens the connection and lists every
    // record of the table; selects the first row. Does not empty the list itself.
    void FillRecordList();
    void OpenAddPanel();
    void CloseAddPanel();
    void AddRecord();
    void DeleteSelectedRecord();
    void DeleteAllRecords();
    void ReturnToLogin();
    // The change panel of the list's right-click menu.
    void OpenChangePanel();
    void CloseChangePanel();
    void SaveChangedRecord();

    ListView* 主界面_超级列表框 = nullptr;
    QPushButton* 主界面_添加按钮 = nullptr;
    QPushButton* 主界面_删除按钮 = nullptr;
    QPushButton* 主界面_全部删除按钮 = nullptr;
    QPushButton* 主界面_返回按钮 = nullptr;

    OverlayPanel* 主界面_添加图片框 = nullptr;
    QLabel* 透明标签4 = nullptr;
    QLineEdit* 主界面_添加用户编辑框 = nullptr;
    QLineEdit* 主界面_添加口令编辑框 = nullptr;
    QLineEdit* 主界面_添加备注编辑框 = nullptr;
    QPushButton* 主界面_添加用户按钮 = nullptr;
    QPushButton* 主界面_添加用户退出 = nullptr;

    OverlayPanel* 主界面_修改图片框 = nullptr;
    QLineEdit* 主界面_修改用户编辑框 = nullptr;
    QLineEdit* 主界面_修改口令编辑框 = nullptr;
    QLineEdit* 主界面_修改备注编辑框 = nullptr;
    QPushButton* 主界面_修改保存按钮 = nullptr;
    QPushButton* 主界面_修改退出按钮 = nullptr;

    QLabel* 标签1 = nullptr; // the record table name: the logged-in user's name
    QLabel* 标签2 = nullptr; // the ID of the record being added
    QLabel* 标签3 = nullptr; // the ID of the record being changed
    QMenu* 主界面右击 = nullptr;
    StoreConnection* 主界面_外部数据库 = nullptr;

private:
    QList<QWidget*> SideControls() const;
    // Close and open the connection again, as after every change to the store.
    void ReopenConnection();
};

} // namespace kv
