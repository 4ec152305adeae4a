#include "ui/qt/RuleGrid.h"

#include "forms/setParamUnit.h"
#include "rules/RuleTable.h"
#include "ui/qt/GbkText.h"

#include <QLineEdit>
#include <QMouseEvent>

namespace tarnwick {

RuleGridModel::RuleGridModel(TsetParamForm& form, QObject* parent)
    : QAbstractTableModel(parent), form_(form), table_(form.Table()), rows_(table_.rowCount() - 1) {
}

int RuleGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int RuleGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : RuleTable::ColumnCount;
}

QVariant RuleGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return QVariant();
    return FromGbk(table_.cell(index.column(), tableRow(index)));
}

bool RuleGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    std::string text = ToGbk(value.toString());
    if (text == table_.cell(index.column(), tableRow(index)))
        return true;
    form_.CellEdited(index.column(), tableRow(index), std::move(text));
    emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

QVariant RuleGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    return FromGbk(table_.cell(section, 0));
}

Qt::ItemFlags RuleGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    // Whether a cell may really be typed into is the table's decision, made per selection.
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

void RuleGridModel::followRowCount() {
    const int rows = table_.rowCount() - 1;
    if (rows > rows_) {
        beginInsertRows(QModelIndex(), rows_, rows - 1);
        rows_ = rows;
        endInsertRows();
    } else if (rows < rows_) {
        beginRemoveRows(QModelIndex(), rows, rows_ - 1);
        rows_ = rows;
        endRemoveRows();
    }
}

void RuleGridModel::refreshTexts() {
    emit headerDataChanged(Qt::Horizontal, 0, RuleTable::ColumnCount - 1);
    if (rows_ > 0)
        emit dataChanged(index(0, 0), index(rows_ - 1, RuleTable::ColumnCount - 1),
                         {Qt::DisplayRole, Qt::EditRole});
}

void RuleSelectionModel::setCurrentIndex(const QModelIndex& index,
                                         QItemSelectionModel::SelectionFlags command) {
    if (held_ == 0 && index.isValid() && index != currentIndex() && beforeCurrentChange)
        beforeCurrentChange(index);
    QItemSelectionModel::setCurrentIndex(index, command);
}

void RuleSelectionModel::moveQuietly(const QModelIndex& index) {
    holdHook(true);
    setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    holdHook(false);
}

RuleGridView::RuleGridView(const TsetParamForm& form, QWidget* parent)
    : QTableView(parent), form_(form) {}

bool RuleGridView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (trigger == AllEditTriggers) // an explicit request by the program
        return QTableView::edit(index, trigger, event);
    if (!form_.MayOpenCellEditor(trigger == CurrentChanged))
        return false;
    switch (trigger) {
    case SelectedClicked:
        // A click on the current cell opens its editor at once, without waiting to see
        // whether a double click follows.
        if (!pressedCurrent_)
            return false;
        return QTableView::edit(index, AllEditTriggers, event);
    default:
        break;
    }
    return QTableView::edit(index, trigger, event);
}

void RuleGridView::closeCellEditor() {
    if (QWidget* editor = indexWidget(currentIndex())) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void RuleGridView::mousePressEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    pressedCurrent_ = index.isValid() && index == currentIndex();
    if (pressedCurrent_ && event->button() == Qt::LeftButton && reselectCurrent)
        reselectCurrent(index);
    QTableView::mousePressEvent(event);
}

QWidget* RuleCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        connect(line, &QLineEdit::textEdited, this,
                [this, line] { emit const_cast<RuleCellDelegate*>(this)->commitData(line); });
    }
    return editor;
}

void RuleCellDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                    const QModelIndex& index) const {
    // Merely passing through a cell writes nothing back: its bytes stay as they were.
    if (auto* line = qobject_cast<QLineEdit*>(editor); line && !line->isModified())
        return;
    QStyledItemDelegate::setModelData(editor, model, index);
}

} // namespace tarnwick
