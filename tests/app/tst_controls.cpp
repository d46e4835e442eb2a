// Edit boxes, overlay panels, focus moves and the list view, as a user meets them.
#include "app/Controls.h"
#include "app/Dialogs.h"
#include "app/ListView.h"
#include "app/OverlayPanel.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QtTest>

using namespace kv;

namespace {

// Records the order in which controls change their enabled state.
class EnabledOrder : public QObject
{
public:
    QStringList changes;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::EnabledChange)
            changes << watched->objectName() +
                           (static_cast<QWidget*>(watched)->isEnabled() ? "+" : "-");
        return false;
    }
};

void TypeText(QWidget* box, const QString& text)
{
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

QStringList FirstCells(const ListView& list)
{
    QStringList cells;
    for (int row = 0; row < list.RowCount(); ++row)
        cells << list.CellText(row, 0);
    return cells;
}

} // namespace

class TstControls : public QObject
{
    Q_OBJECT

    std::unique_ptr<QWidget> window;

    void Show()
    {
        window->show();
        window->activateWindow();
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }

private slots:
    void init()
    {
        window = std::make_unique<QWidget>();
        window->resize(400, 300);
    }
    void cleanup() { window.reset(); }

    void typingStopsAtTheLimitButProgramTextIsNotCut_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("ascii") << QStringLiteral("abcdefghijklmnopqrst")
                               << QStringLiteral("abcdefghijklmnop");
        QTest::newRow("chinese") << QStringLiteral("一二三四五六七八九十一二三四五六七八九十")
                                 << QStringLiteral("一二三四五六七八九十一二三四五六");
    }
    void typingStopsAtTheLimitButProgramTextIsNotCut()
    {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        QLineEdit* box = MakeEditBox(window.get(), "box", QRect(10, 10, 140, 26), 16, false);
        Show();
        box->setFocus();
        TypeText(box, typed);
        QCOMPARE(box->text(), kept);

        box->setText(typed);
        QCOMPARE(box->text(), typed);
    }

    void pastingIsCutAtTheLimitAndKeepsBlanks()
    {
        QLineEdit* box = MakeEditBox(window.get(), "box", QRect(10, 10, 140, 26), 16, false);
        Show();
        box->setFocus();
        QApplication::clipboard()->setText(QStringLiteral("a b c d e f g h i j"));
        box->paste();
        QCOMPARE(box->text(), QStringLiteral("a b c d e f g h "));

        // Emptied by the program after a cut paste, the box cuts the next paste too.
        box->setText(QString());
        box->paste();
        QCOMPARE(box->text(), QStringLiteral("a b c d e f g h "));
        box->setText(QString());
        TypeText(box, QStringLiteral("12345678901234567890"));
        QCOMPARE(box->text(), QStringLiteral("1234567890123456"));
    }

    void maskedBoxShowsStars_data()
    {
        QTest::addColumn<QString>("applicationSheet");
        QTest::newRow("plain style") << QString();
        QTest::newRow("under an application style sheet")
            << QStringLiteral("QLineEdit { padding: 1px; }");
    }
    void maskedBoxShowsStars()
    {
        QFETCH(QString, applicationSheet);
        qApp->setStyleSheet(applicationSheet);
        QLineEdit* box = MakeEditBox(window.get(), "box", QRect(10, 10, 140, 26), 16, true);
        SetBackground(box, Qt::white);
        Show();
        box->setText("abc");
        const QString shown = box->displayText();
        qApp->setStyleSheet(QString());
        QCOMPARE(box->echoMode(), QLineEdit::Password);
        QCOMPARE(shown, QStringLiteral("***"));
    }

    void colourSettersKeepEachOther()
    {
        QLineEdit* box = MakeEditBox(window.get(), "box", QRect(10, 10, 140, 26), 16, true);
        SetBackground(box, QColor(236, 236, 236));
        SetTextColour(box, QColor(0, 96, 192));
        const QString sheet = box->styleSheet();
        QVERIFY(sheet.contains("#ececec"));
        QVERIFY(sheet.contains("#0060c0"));
        QVERIFY(sheet.contains("lineedit-password-character"));
    }

    void containerColoursStayWithTheContainer()
    {
        auto* group = new QWidget(window.get());
        QPushButton* button = MakeButton(group, "b", QRect(10, 10, 64, 29), "登陆");
        SetBackground(group, QColor(255, 255, 255));
        SetTextColour(group, QColor(0, 96, 192));
        Show();
        QCOMPARE(group->palette().color(QPalette::Window), QColor(255, 255, 255));
        QVERIFY(button->palette().color(QPalette::ButtonText) != QColor(0, 96, 192));
        QCOMPARE(button->palette().color(QPalette::Button),
                 QApplication::palette().color(QPalette::Button));
    }

    void buttonsAreNeverDefault()
    {
        QPushButton* button = MakeButton(window.get(), "b", QRect(10, 10, 64, 29), "登陆");
        QVERIFY(!button->autoDefault());
        QVERIFY(!button->isDefault());
        QCOMPARE(button->objectName(), QStringLiteral("b"));
    }

    void focusOnAHiddenBoxArrivesWhenShown()
    {
        auto* panel = new QWidget(window.get());
        auto* box = new QLineEdit(panel);
        auto* outside = new QLineEdit(window.get());
        outside->move(0, 200);
        panel->hide();
        Show();
        outside->setFocus();
        FocusControl(box);
        QCOMPARE(QApplication::focusWidget(), outside);
        panel->show();
        QCOMPARE(QApplication::focusWidget(), box);
    }

    void overlayPanelOrdersItsSteps()
    {
        ListView* list = new ListView(window.get(), "list", QRect(8, 8, 200, 200),
                                      ListView::Sort::Ascending, {"用户名"}, {176});
        QPushButton* one = MakeButton(window.get(), "one", QRect(300, 10, 50, 30), "1");
        QPushButton* two = MakeButton(window.get(), "two", QRect(300, 50, 50, 30), "2");
        auto* panel = new OverlayPanel(window.get(), "panel", QRect(40, 20, 250, 150));
        QLineEdit* first = MakeEditBox(panel, "first", QRect(10, 60, 150, 24), 16, true);
        QLineEdit* second = MakeEditBox(panel, "second", QRect(10, 100, 150, 24), 16, true);
        panel->SetMainControls({list, one, two});
        panel->SetBoxes({first, second});
        EnabledOrder order;
        for (QWidget* w :
             {static_cast<QWidget*>(list), static_cast<QWidget*>(one), static_cast<QWidget*>(two)})
            w->installEventFilter(&order);
        Show();
        QVERIFY(!panel->isVisible());

        panel->Open();
        QVERIFY(panel->isVisible());
        QCOMPARE(QApplication::focusWidget(), first);
        QCOMPARE(order.changes, QStringList({"list-", "one-", "two-"}));

        first->setText("x");
        second->setText("y");
        order.changes.clear();
        panel->Close();
        QVERIFY(!panel->isVisible());
        QCOMPARE(order.changes, QStringList({"list+", "one+", "two+"}));
        QVERIFY(first->text().isEmpty() && second->text().isEmpty());
    }

    void listSelectionSemantics()
    {
        ListView list(window.get(), "list", QRect(8, 8, 200, 200), ListView::Sort::Ascending,
                      {"用户名"}, {176});
        QCOMPARE(list.CurrentSelection(), -1);
        list.SetCurrentSelection(0);
        QCOMPARE(list.CurrentSelection(), -1);
        list.InsertRow("a");
        list.InsertRow("b");
        list.SetCurrentSelection(1);
        QCOMPARE(list.CurrentSelection(), 1);
        list.SetCurrentSelection(5);
        QCOMPARE(list.CurrentSelection(), 1);
        QCOMPARE(list.CellText(7, 0), QString());
        list.RemoveAllRows();
        QCOMPARE(list.CurrentSelection(), -1);
        QCOMPARE(list.selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(list.selectionBehavior(), QAbstractItemView::SelectRows);
    }

    void selectionStaysVisibleWithoutFocus()
    {
        ListView list(window.get(), "list", QRect(8, 8, 200, 200), ListView::Sort::Ascending,
                      {"用户名"}, {176});
        const QPalette colours = list.palette();
        QCOMPARE(colours.color(QPalette::Inactive, QPalette::Highlight),
                 colours.color(QPalette::Active, QPalette::Highlight));
    }

    void rowsSortAtInsertion_data()
    {
        QTest::addColumn<bool>("descending");
        QTest::addColumn<QStringList>("inserted");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("ascending")
            << false << QStringList{"b", "a", "c"} << QStringList{"a", "b", "c"};
        QTest::newRow("ascending, case")
            << false << QStringList{"B", "a", "c", "A"} << QStringList{"a", "A", "B", "c"};
        QTest::newRow("descending")
            << true << QStringList{"b", "a", "c"} << QStringList{"c", "b", "a"};
        QTest::newRow("descending, empty lands last")
            << true << QStringList{"2", "", "9", ""} << QStringList{"9", "2", "", ""};
    }
    void rowsSortAtInsertion()
    {
        QFETCH(bool, descending);
        QFETCH(QStringList, inserted);
        QFETCH(QStringList, shown);
        ListView list(window.get(), "list", QRect(8, 8, 200, 200),
                      descending ? ListView::Sort::Descending : ListView::Sort::Ascending, {"a"},
                      {100});
        for (const QString& text : inserted)
            list.InsertRow(text);
        QCOMPARE(FirstCells(list), shown);
    }

    void settingACellDoesNotMoveTheRow()
    {
        ListView list(window.get(), "list", QRect(8, 8, 300, 200), ListView::Sort::Descending,
                      {"ID", "用户名"}, {0, 110});
        for (const QString id : {"1", "2", "10"}) {
            const int row = list.InsertRow(QString());
            QCOMPARE(row, list.RowCount() - 1);
            list.SetCellText(row, 0, id);
            list.SetCellText(row, 1, "u" + id);
        }
        QCOMPARE(FirstCells(list), QStringList({"1", "2", "10"}));
        QCOMPARE(list.CellText(2, 1), QStringLiteral("u10"));
    }

    void collapsedColumnCannotBeDraggedOpen()
    {
        ListView list(window.get(), "list", QRect(8, 8, 300, 200), ListView::Sort::Descending,
                      {"ID", "用户名", "口令", "备注"}, {0, 110, 110, 80});
        list.KeepColumnCollapsed(0);
        QCOMPARE(list.header()->sectionSize(0), 0);
        QCOMPARE(list.header()->sectionResizeMode(0), QHeaderView::Fixed);
        QCOMPARE(list.header()->sectionSize(1), 110);
        QCOMPARE(list.header()->sectionSize(3), 80);
        QVERIFY(list.header()->sectionsClickable());
    }
};

QTEST_MAIN(TstControls)
#include "tst_controls.moc"
