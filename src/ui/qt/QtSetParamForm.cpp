#include "ui/qt/setParamUnit.h"

#include "ui/qt/ErrorBox.h"
#include "ui/qt/GbkText.h"
#include "ui/qt/RuleGrid.h"
#include "rules/PacScript.h"
#include "rules/RuleFile.h"
#include "rules/TextFile.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QSvgRenderer>
#include <QToolBar>
#include <QToolButton>

// The editor's pictures sit in a static library; its resources must be registered by name.
static void InitEditorResources() {
    Q_INIT_RESOURCE(editor);
}

namespace tarnwick {

namespace {

constexpr int ClientWidth = 535;
constexpr int ClientHeight = 207;
constexpr int Panel2Height = 49;
constexpr int ToolBarHeight = 33;
constexpr int RowHeight = 24;
constexpr int ImageSize = 20;

QIcon EditorImage(const QString& name) {
    QSvgRenderer renderer(QStringLiteral(":/editor/%1.svg").arg(name));
    QPixmap pixmap(ImageSize, ImageSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    painter.end();
    return QIcon(pixmap);
}

} // namespace

TsetParamForm::TsetParamForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowCloseButtonHint) {
    InitEditorResources();
    setObjectName(QStringLiteral("setParamForm"));
    setWindowTitle(QStringLiteral("设置参数"));
    createComponents();
    RunGuarded(this, [this] { FormCreate(); });
    resize(ClientWidth, ClientHeight);
    move(192, 172);
}

TsetParamForm::~TsetParamForm() {
    // The grid and the type editor go first, while the table they show still exists, and
    // without calling back into this half-destroyed window.
    typeEditorOpen_ = false;
    ComboBox1->removeEventFilter(this);
    selection_->beforeCurrentChange = nullptr;
    StringGrid1->reselectCurrent = nullptr;
    table_.ShowTypeEditor = nullptr;
    table_.RowCountChanged = nullptr;
    delete Panel1;
}

void TsetParamForm::createComponents() {
    for (const char* name : {"insert", "delete", "copy", "cut", "paste"})
        ImageList1.append(EditorImage(QString::fromLatin1(name)));

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));

    ToolBar1 = new QToolBar(Panel1);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setFocusPolicy(Qt::NoFocus);
    ToolBar1->setIconSize(QSize(ImageSize, ImageSize));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);

    auto makeToolButton = [this](const char* name, int image, const QString& hint) {
        auto* button = new QToolButton(ToolBar1);
        button->setObjectName(QString::fromLatin1(name));
        button->setIcon(ImageList1.at(image));
        button->setIconSize(QSize(ImageSize, ImageSize));
        button->setToolTip(hint);
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setFixedSize(27, 26);
        ToolBar1->addWidget(button);
        return button;
    };
    ToolButtonInsert = makeToolButton("ToolButtonInsert", 0, QStringLiteral("插入一行"));
    ToolButtonDelete = makeToolButton("ToolButtonDelete", 1, QStringLiteral("删除当前行"));
    connect(ToolButtonInsert, &QToolButton::clicked, this,
            [this] { RunGuarded(this, [this] { ToolButtonInsertClick(); }); });
    connect(ToolButtonDelete, &QToolButton::clicked, this,
            [this] { RunGuarded(this, [this] { ToolButtonDeleteClick(); }); });

    model_ = new RuleGridModel(table_, this);
    StringGrid1 = new RuleGridView(table_, Panel1);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setModel(model_);
    QItemSelectionModel* defaultSelection = StringGrid1->selectionModel();
    selection_ = new RuleSelectionModel(model_, StringGrid1);
    StringGrid1->setSelectionModel(selection_);
    delete defaultSelection;
    StringGrid1->setItemDelegate(new RuleCellDelegate(StringGrid1));
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectItems);
    StringGrid1->setEditTriggers(
        QAbstractItemView::CurrentChanged | QAbstractItemView::SelectedClicked |
        QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
        QAbstractItemView::AnyKeyPressed);
    StringGrid1->setTabKeyNavigation(true);
    StringGrid1->setShowGrid(true);
    StringGrid1->setWordWrap(false);
    StringGrid1->setCornerButtonEnabled(false);
    // No fixed column: rows cannot be resized by the user, and all of them are alike, which
    // keeps a long table cheap to scroll.
    QHeaderView* rows = StringGrid1->verticalHeader();
    rows->hide();
    rows->setMinimumSectionSize(1);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(RowHeight);
    QHeaderView* columns = StringGrid1->horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setSectionsClickable(false);
    columns->setHighlightSections(false);
    columns->setStretchLastSection(false);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setFixedHeight(RowHeight);
    columns->setDefaultSectionSize(170);

    selection_->beforeCurrentChange = [this](const QModelIndex& index) {
        RunGuarded(this,
                   [&] { StringGrid1SelectCell(index.column(), RuleGridModel::tableRow(index)); });
    };
    StringGrid1->reselectCurrent = selection_->beforeCurrentChange;
    table_.ShowTypeEditor = [this](int column, int row) { ShowTypeEditor(column, row); };
    table_.RowCountChanged = [this] { followRowCount(); };

    // Created after the grid, so that it lies over it.
    ComboBox1 = new QComboBox(Panel1);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(false);
    ComboBox1->setFocusPolicy(Qt::StrongFocus);
    ComboBox1->hide();
    ComboBox1->installEventFilter(this);
    connect(ComboBox1, &QComboBox::activated, this,
            [this] { RunGuarded(this, [this] { ComboBox1Change(); }); });
    // The open type editor stays over its cell while the grid scrolls or a column is resized.
    auto follow = [this] {
        if (typeEditorOpen_)
            placeTypeEditor();
    };
    connect(StringGrid1->verticalScrollBar(), &QScrollBar::valueChanged, this, follow);
    connect(StringGrid1->horizontalScrollBar(), &QScrollBar::valueChanged, this, follow);
    connect(columns, &QHeaderView::sectionResized, this, follow);

    Panel2 = new QWidget(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    ButtonOK = new QPushButton(QStringLiteral("确定"), Panel2);
    ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
    ButtonOK->setGeometry(16, 8, 81, 33);
    ButtonCancle = new QPushButton(QStringLiteral("取消"), Panel2);
    ButtonCancle->setObjectName(QStringLiteral("ButtonCancle"));
    ButtonCancle->setGeometry(120, 8, 81, 33);
    // Enter and Escape belong to the grid and the type editor, never to a button.
    for (QPushButton* button : {ButtonOK, ButtonCancle}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    connect(ButtonOK, &QPushButton::clicked, this,
            [this] { RunGuarded(this, [this] { ButtonOKClick(); }); });
    connect(ButtonCancle, &QPushButton::clicked, this,
            [this] { RunGuarded(this, [this] { ButtonCancleClick(); }); });
    Label1 = new QLabel(QStringLiteral("注意：新设置的参数只对过后的启动的IE有效。"), Panel2);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(256, 16);
    Label1->adjustSize();

    setTabOrder(StringGrid1, ComboBox1);
    setTabOrder(ComboBox1, ButtonCancle);
    setTabOrder(ButtonCancle, ButtonOK);
}

void TsetParamForm::FormCreate() {
    // The text tables are filled once, here; the type editor offers the rule types.
    (void)ColumnTitles();
    (void)RuleTypeDefaults();
    for (const std::string& name : RuleTypeNames())
        ComboBox1->addItem(FromGbk(name), QByteArray::fromStdString(name));
    followCurrentCell();
}

void TsetParamForm::setNormalState() {
    setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
}

void TsetParamForm::cancel() {
    reject();
}

void TsetParamForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Only an opening by the program prepares the table; coming back from another window of
    // the program (a spontaneous show, or a mere activation) keeps the edits.
    if (!event->spontaneous())
        RunGuarded(this, [this] { FormActivate(); });
}

void TsetParamForm::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    layoutComponents();
    RunGuarded(this, [this] { FormResize(); });
}

void TsetParamForm::keyPressEvent(QKeyEvent* event) {
    // Neither button is default or cancel: Enter and Escape don't close the window.
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

bool TsetParamForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ComboBox1 && event->type() == QEvent::FocusOut) {
        // Its own drop-down list and a switch to another window don't take the focus from
        // the type editor in the window's sense.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        const QWidget* list = ComboBox1->view()->window();
        const QWidget* next = QApplication::focusWidget();
        const bool toList = next && (next == list || list->isAncestorOf(next));
        if (!toList && reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
            RunGuarded(this, [this] { ComboBox1Exit(); });
    }
    return QDialog::eventFilter(watched, event);
}

void TsetParamForm::layoutComponents() {
    const int w = width();
    const int h = height();
    const int top = std::max(0, h - Panel2Height);
    Panel1->setGeometry(0, 0, w, top);
    Panel2->setGeometry(0, top, w, Panel2Height);
    ToolBar1->setGeometry(0, 0, w, ToolBarHeight);
    StringGrid1->setGeometry(0, ToolBarHeight, w, std::max(0, top - ToolBarHeight));
}

void TsetParamForm::FormActivate() {
    for (int c = 0; c < RuleTable::ColumnCount; ++c)
        table_.setCell(c, 0, ColumnTitles()[c]);
    model_->refreshTexts();

    moveCurrentCell(table_.currentColumn(), 1);
    moveCurrentCell(RuleTable::ValueColumn, 1);

    StringGrid1->setFocus();
    // While the window is not yet active the focus change sends no events; an open type
    // editor loses the focus all the same.
    if (typeEditorOpen_)
        ComboBox1Exit();

    ComboBox1->clear();
    for (const std::string& name : RuleTypeNames())
        ComboBox1->addItem(FromGbk(name), QByteArray::fromStdString(name));

    LoadRules(table_, ruleFilePath_);
    followRowCount();
    model_->refreshTexts();
    // An open cell editor shows the reloaded text.
    const QModelIndex current = StringGrid1->currentIndex();
    emit model_->dataChanged(current, current);
}

void TsetParamForm::FormResize() {
    const int width = (StringGrid1->width() - 25) / 3;
    QHeaderView* columns = StringGrid1->horizontalHeader();
    columns->setDefaultSectionSize(width);
    for (int c = 0; c < RuleTable::ColumnCount; ++c)
        columns->resizeSection(c, width);
}

void TsetParamForm::StringGrid1SelectCell(int column, int row) {
    // A selection elsewhere ends an open type editor as losing the focus would.
    if (typeEditorOpen_ && (column != typeEditorColumn_ || row != typeEditorRow_))
        commitTypeEditor(false);
    table_.SelectRuleCell(column, row);
}

void TsetParamForm::ShowTypeEditor(int column, int row) {
    if (table_.cell(column, 0) != ColumnTitles()[0])
        return;
    typeEditorColumn_ = column;
    typeEditorRow_ = row;
    typeEditorOpen_ = true;
    placeTypeEditor();
    ComboBox1->setCurrentIndex(-1);
    const QByteArray text = QByteArray::fromStdString(table_.cell(column, row));
    for (int i = 0; i < ComboBox1->count(); ++i) {
        if (ComboBox1->itemData(i).toByteArray() == text) {
            ComboBox1->setCurrentIndex(i);
            break;
        }
    }
    ComboBox1->show();
    ComboBox1->raise();
    ComboBox1->setFocus();
}

void TsetParamForm::placeTypeEditor() {
    const QRect cell =
        StringGrid1->visualRect(model_->cellIndex(typeEditorColumn_, typeEditorRow_));
    // The cell's edges in the grid's client coordinates (inside its border, header included),
    // then in Panel1's.
    const QPoint client = StringGrid1->viewport()->mapTo(StringGrid1, cell.topLeft()) -
                          StringGrid1->contentsRect().topLeft();
    const QPoint topLeft = StringGrid1->pos() + client + QPoint(1, 1);
    const QRect place(topLeft, cell.size());
    ComboBox1->setGeometry(place);
    // Scrolled away, its cell takes the editor out of sight; it never covers the header or
    // the toolbar.
    const QRect rows(StringGrid1->viewport()->mapTo(Panel1, QPoint(0, 0)),
                     StringGrid1->viewport()->size());
    const QRect shown = place.intersected(rows.adjusted(0, 0, 1, 1));
    if (shown == place)
        ComboBox1->clearMask();
    else if (shown.isEmpty())
        ComboBox1->setMask(QRegion(-1, -1, 1, 1));
    else
        ComboBox1->setMask(QRegion(shown.translated(-place.topLeft())));
}

bool TsetParamForm::typeEditorOpen() const {
    return typeEditorOpen_;
}

void TsetParamForm::ComboBox1Change() {
    commitTypeEditor(true);
}

void TsetParamForm::ComboBox1Exit() {
    commitTypeEditor(false);
}

void TsetParamForm::commitTypeEditor(bool userPick) {
    if (!typeEditorOpen_)
        return;
    typeEditorOpen_ = false;
    const int row = typeEditorRow_;
    const int entry = ComboBox1->currentIndex();
    const std::optional<int> type = entry >= 0 ? std::optional<int>(entry) : std::nullopt;
    // Merely passing through a type cell keeps its rule: without a pick by the user, a type
    // the cell already holds is not set again (which would reset the value).
    const bool unchanged =
        !userPick && type &&
        table_.cell(RuleTable::TypeColumn, row) == RuleTypeNames()[static_cast<std::size_t>(*type)];
    if (!unchanged) {
        table_.SetRuleType(row, type);
        emit model_->dataChanged(model_->cellIndex(RuleTable::TypeColumn, row),
                                 model_->cellIndex(RuleTable::ValueColumn, row));
    }
    // The focus goes first, so that hiding the editor moves it nowhere else.
    StringGrid1->setFocus();
    ComboBox1->hide();
}

void TsetParamForm::followCurrentCell() {
    selection_->moveQuietly(model_->cellIndex(table_.currentColumn(), table_.currentRow()));
}

void TsetParamForm::followRowCount() {
    // The view moves the current cell off a row that goes away; that is no selection.
    selection_->holdHook(true);
    model_->followRowCount();
    selection_->holdHook(false);
}

void TsetParamForm::moveCurrentCell(int column, int row) {
    if (column == table_.currentColumn() && row == table_.currentRow())
        return;
    StringGrid1SelectCell(column, row);
    followCurrentCell();
}

// A toolbar command commits the entry the open editor shows, as a pick would: the editor keeps
// the focus while the button is clicked, so this is not a mere pass through the cell.
void TsetParamForm::ToolButtonInsertClick() {
    commitTypeEditor(true);
    InsertRowAtCurrent();
}

void TsetParamForm::ToolButtonDeleteClick() {
    commitTypeEditor(true);
    DeleteCurrentRow();
}

void TsetParamForm::InsertRowAtCurrent() {
    StringGrid1->closeCellEditor();
    StringGrid1->holdEditors(true);
    table_.InsertRowAtCurrent();
    StringGrid1->holdEditors(false);
    model_->refreshTexts();
    followCurrentCell();
}

void TsetParamForm::DeleteCurrentRow() {
    StringGrid1->closeCellEditor();
    StringGrid1->holdEditors(true);
    table_.DeleteCurrentRow();
    StringGrid1->holdEditors(false);
    model_->refreshTexts();
    // A deletion of the last row selected the row above it, which may open its editor.
    followCurrentCell();
}

void TsetParamForm::ButtonOKClick() {
    const std::string script = BuildPacScript(table_);
    WriteTextFile(pacFilePath_, script);
    SaveRules(table_, ruleFilePath_);
    accept();
}

void TsetParamForm::ButtonCancleClick() {
    reject();
}

} // namespace tarnwick
