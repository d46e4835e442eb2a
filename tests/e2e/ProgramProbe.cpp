// A read-only probe for the end-to-end tests, preloaded into the real program
// (LD_PRELOAD). It changes nothing the program does; it appends JSON lines to the file
// named by KV_PROBE_LOG:
// - when a message box is shown: its caption and text and, as they are at that moment,
//   the rows of every list view of every visible window;
// - when a control gets the keyboard focus: its name, so that keyboard-only tests can
//   wait for each key to take effect and check the tab order.
// Qt's message boxes copy themselves to the clipboard only on Windows, and neither a
// list's rows nor the focus can be read from outside without a screenshot.
#include <QAbstractItemModel>
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QTreeView>

namespace {

class Probe : public QObject
{
public:
    explicit Probe(const QString& logPath) : QObject(qApp), logPath_(logPath) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show) {
            if (auto* box = qobject_cast<QMessageBox*>(watched); box && box->isWindow())
                LogBox(box);
        } else if (event->type() == QEvent::FocusIn && watched->isWidgetType()) {
            QJsonObject entry;
            entry.insert(QStringLiteral("event"), QStringLiteral("focus"));
            entry.insert(QStringLiteral("name"), watched->objectName());
            Write(entry);
        }
        return false;
    }

private:
    static QJsonObject Lists()
    {
        QJsonObject lists;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (!window->isVisible())
                continue;
            for (QTreeView* view : window->findChildren<QTreeView*>()) {
                const QAbstractItemModel* model = view->model();
                if (!model)
                    continue;
                QJsonArray rows;
                for (int row = 0; row < model->rowCount(); ++row) {
                    QJsonArray cells;
                    for (int column = 0; column < model->columnCount(); ++column)
                        cells.append(model->data(model->index(row, column)).toString());
                    rows.append(cells);
                }
                QJsonObject list;
                list.insert(QStringLiteral("rows"), rows);
                list.insert(QStringLiteral("current"),
                            view->currentIndex().isValid() ? view->currentIndex().row() : -1);
                lists.insert(view->objectName(), list);
            }
        }
        return lists;
    }

    void LogBox(const QMessageBox* box) const
    {
        QJsonObject entry;
        entry.insert(QStringLiteral("event"), QStringLiteral("box"));
        entry.insert(QStringLiteral("caption"), box->windowTitle());
        entry.insert(QStringLiteral("text"), box->text());
        entry.insert(QStringLiteral("lists"), Lists());
        Write(entry);
    }

    void Write(const QJsonObject& entry) const
    {
        QFile log(logPath_);
        if (log.open(QIODevice::WriteOnly | QIODevice::Append))
            log.write(QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n');
    }

    QString logPath_;
};

void InstallProbe()
{
    const QString logPath = qEnvironmentVariable("KV_PROBE_LOG");
    if (logPath.isEmpty() || !qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    QCoreApplication::instance()->installEventFilter(new Probe(logPath));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallProbe)
