#pragma once

#include <QAbstractTableModel>
#include <QItemSelectionModel>
#include <QStyledItemDelegate>
#include <QTableView>

#include <functional>

namespace tarnwick {

class RuleTable;
class TsetParamForm;

// The rule editor's table as the grid sees it: table row 0 is the header, table row r + 1 is
// model row r. The model holds no texts of its own; it reads the table and hands typed texts
// to the editor, converting between GBK and QString.
class RuleGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RuleGridModel(TsetParamForm& form, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    static int tableRow(const QModelIndex& index) { return index.row() + 1; }
    QModelIndex cellIndex(int column, int tableRow) const { return index(tableRow - 1, column); }

    // Follows a change of the table's row count; rows come and go at the end.
    void followRowCount();
    // The table's texts changed behind the model's back (load, insert, delete, header).
    void refreshTexts();

private:
    TsetParamForm& form_;
    const RuleTable& table_;
    int rows_ = 0;
};

// Runs a hook before a cell becomes current, for every move of the current cell that goes
// through setCurrentIndex: clicks, drags, key moves and the view's own moves. The program's
// own moves pass with the hook held off.
class RuleSelectionModel : public QItemSelectionModel {
    Q_OBJECT
public:
    using QItemSelectionModel::QItemSelectionModel;

    std::function<void(const QModelIndex& index)> beforeCurrentChange;

    void setCurrentIndex(const QModelIndex& index,
                         QItemSelectionModel::SelectionFlags command) override;
    // Makes index current without running the hook.
    void moveQuietly(const QModelIndex& index);
    // While held, moves pass without the hook: the view moves the current cell by itself
    // when the row under it goes away.
    void holdHook(bool hold) { held_ += hold ? 1 : -1; }

private:
    int held_ = 0;
};

// The grid: it opens a cell's text editor only when the editor allows it, and reports a
// click on the current cell.
class RuleGridView : public QTableView {
    Q_OBJECT
public:
    explicit RuleGridView(const TsetParamForm& form, QWidget* parent = nullptr);

    // Runs for a left click on the current cell.
    std::function<void(const QModelIndex& index)> reselectCurrent;

    // Closes the current cell's text editor; its text has reached the table already.
    void closeCellEditor();

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    const TsetParamForm& form_;
    bool pressedCurrent_ = false;
};

// The cell's text editor: every change the user makes reaches the table at once; a text the
// user did not change is never written back.
class RuleCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
};

} // namespace tarnwick
