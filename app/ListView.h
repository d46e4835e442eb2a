#pragma once

#include <QStringList>
#include <QTreeView>

#include <memory>

namespace kv {

class ListModel;

// A report-style list view with "current selection" semantics: one selected row at
// most, whole-row selection, the selection stays visible without the focus. Rows are
// kept sorted by the text of their first cell at the moment they are inserted; setting
// a cell later does not move the row.
class ListView : public QTreeView
{
    Q_OBJECT
public:
    enum class Sort
    {
        Ascending,
        Descending
    };
    ListView(QWidget* parent, const char* name, const QRect& geometry, Sort sort,
             const QStringList& headers, const QList<int>& widths);
    ~ListView() override;

    // Index of the selected row, -1 when none.
    int CurrentSelection() const;
    // Selects the row and gives it the focus mark; nothing happens when it does not exist.
    void SetCurrentSelection(int row);

    // Inserts a row whose first cell is the text; the sort order decides where it lands.
    // Returns the row index it landed at.
    int InsertRow(const QString& firstCell);
    void SetCellText(int row, int column, const QString& text);
    QString CellText(int row, int column) const;
    int RowCount() const;
    void RemoveAllRows();

    // Keeps a column at width 0: it cannot be dragged open.
    void KeepColumnCollapsed(int column);

private:
    ListModel* model_;
    Sort sort_;
};

} // namespace kv
