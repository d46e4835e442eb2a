#include "ListView.h"

#include <QAbstractTableModel>
#include <QHeaderView>

#include <vector>

namespace kv {

// Rows of texts, one QStringList per row, as many cells as there are columns.
class ListModel : public QAbstractTableModel
{
public:
    ListModel(QObject* parent, const QStringList& headers)
        : QAbstractTableModel(parent), headers_(headers)
    {
    }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(rows_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(headers_.size());
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid())
            return {};
        return rows_[size_t(index.row())].at(index.column());
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section < headers_.size())
            return headers_.at(section);
        return {};
    }

    void Insert(int position, const QString& firstCell)
    {
        QStringList row;
        row.reserve(headers_.size());
        row << firstCell;
        for (int column = 1; column < headers_.size(); ++column)
            row << QString();
        beginInsertRows({}, position, position);
        rows_.insert(rows_.begin() + position, std::move(row));
        endInsertRows();
    }
    void Set(int row, int column, const QString& text)
    {
        rows_[size_t(row)][column] = text;
        const QModelIndex cell = index(row, column);
        emit dataChanged(cell, cell, {Qt::DisplayRole});
    }
    QString Cell(int row, int column) const { return rows_[size_t(row)].at(column); }
    void Clear()
    {
        beginResetModel();
        rows_.clear();
        endResetModel();
    }

private:
    QStringList headers_;
    std::vector<QStringList> rows_;
};

namespace {

// The list's own text order: letters compare without regard to case first, and for
// texts equal but for case the lower-case one comes first.
int CompareTexts(const QString& a, const QString& b)
{
    const int folded = QString::compare(a, b, Qt::CaseInsensitive);
    return folded != 0 ? folded : -QString::compare(a, b, Qt::CaseSensitive);
}

} // namespace

ListView::ListView(QWidget* parent, const char* name, const QRect& geometry, Sort sort,
                   const QStringList& headers, const QList<int>& widths)
    : QTreeView(parent), model_(new ListModel(this, headers)), sort_(sort)
{
    setObjectName(QString::fromUtf8(name));
    setGeometry(geometry);
    setModel(model_);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int column = 0; column < widths.size(); ++column)
        header()->resizeSection(column, widths.at(column));

    // The selection stays as visible without the focus as with it.
    QPalette colours = palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
    setPalette(colours);
}

ListView::~ListView() = default;

int ListView::CurrentSelection() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void ListView::SetCurrentSelection(int row)
{
    if (row < 0 || row >= model_->rowCount())
        return;
    selectionModel()->setCurrentIndex(model_->index(row, 0), QItemSelectionModel::ClearAndSelect |
                                                                 QItemSelectionModel::Rows);
}

int ListView::InsertRow(const QString& firstCell)
{
    const bool descending = sort_ == Sort::Descending;
    // Scanning from the end keeps appending (the usual case) constant time.
    int position = model_->rowCount();
    while (position > 0) {
        const int order = CompareTexts(model_->Cell(position - 1, 0), firstCell);
        if (descending ? order >= 0 : order <= 0)
            break;
        --position;
    }
    model_->Insert(position, firstCell);
    return position;
}

void ListView::SetCellText(int row, int column, const QString& text)
{
    if (row >= 0 && row < model_->rowCount() && column >= 0 && column < model_->columnCount())
        model_->Set(row, column, text);
}

QString ListView::CellText(int row, int column) const
{
    if (row < 0 || row >= model_->rowCount() || column < 0 || column >= model_->columnCount())
        return QString();
    return model_->Cell(row, column);
}

int ListView::RowCount() const
{
    return model_->rowCount();
}

void ListView::RemoveAllRows()
{
    model_->Clear();
}

void ListView::KeepColumnCollapsed(int column)
{
    header()->setMinimumSectionSize(0);
    header()->setSectionResizeMode(column, QHeaderView::Fixed);
    header()->resizeSection(column, 0);
}

} // namespace kv
