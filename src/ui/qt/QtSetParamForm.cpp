#include "ui/qt/QtSetParamForm.h"

#include "forms/ErrorBox.h"
#include "forms/setParamUnit.h"
#include "ui/qt/GbkText.h"
#include "ui/qt/Pictures.h"
#include "ui/qt/RuleGrid.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>

#include <algorithm>

// The editor's pictures sit in a static library; its resources must be registered by name.
static void InitEditorResources() {
    Q_INIT_RESOURCE(editor);
}

namespace tarnwick {

namespace {

constexpr int ClientWidth = 535;
// The tester's panel adds its height to the window, so that the grid keeps its rows.
constexpr int TestPanelHeight = 58;
constexpr int ClientHeight = 207 + TestPanelHeight;
constexpr int Panel2Height = 49;
// The tester's row: label, edit and button, then the result line below them.
constexpr int TestMargin = 8;
constexpr int TestRowTop = 6;
constexpr int TestRowHeight = 26;
constexpr int TestLabelWidth = 72;
constexpr int TestButtonWidth = 81;
constexpr int TestResultTop = 36;
constexpr int TestResultHeight = 18;
constexpr int ToolBarHeight = 33;
constexpr int RowHeight = 24;
constexpr int ImageSize = 20;
// The note's place in Panel2, and the margin it keeps from the window's edges.
constexpr int NoteLeft = 256;
constexpr int NoteTop = 16;
constexpr int NoteMargin = 8;

} // namespace

QtSetParamForm::QtSetParamForm(TsetParamForm& form)
    : QtFormView(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                              Qt::WindowCloseButtonHint),
      form_(form) {
    InitEditorResources();
    setObjectName(QStringLiteral("setParamForm"));
    setWindowTitle(QStringLiteral("设置参数"));
    createComponents();
    resize(ClientWidth, ClientHeight);
    move(192, 172);
}

QtSetParamForm::~QtSetParamForm() {
    // The grid and the type list go first, without calling back into the window's behaviour.
    ComboBox1->removeEventFilter(this);
    selection_->beforeCurrentChange = nullptr;
    StringGrid1->reselectCurrent = nullptr;
    delete Panel1;
}

void QtSetParamForm::createComponents() {
    for (const char* name : {"insert", "delete", "copy", "cut", "paste"})
        ImageList1.append(
            Picture(QStringLiteral(":/editor/") + QLatin1String(name), {ImageSize, 2 * ImageSize}));

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
            [this] { form_.Handle(&TsetParamForm::ToolButtonInsertClick); });
    connect(ToolButtonDelete, &QToolButton::clicked, this,
            [this] { form_.Handle(&TsetParamForm::ToolButtonDeleteClick); });

    model_ = new RuleGridModel(form_, this);
    StringGrid1 = new RuleGridView(form_, Panel1);
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
        RunGuarded(this, [&] {
            form_.StringGrid1SelectCell(index.column(), RuleGridModel::tableRow(index));
        });
    };
    StringGrid1->reselectCurrent = [this](const QModelIndex& index) {
        RunGuarded(this, [&] {
            form_.CurrentCellClicked(index.column(), RuleGridModel::tableRow(index));
        });
    };

    // Created after the grid, so that it lies over it.
    ComboBox1 = new QComboBox(Panel1);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(false);
    ComboBox1->setFocusPolicy(Qt::StrongFocus);
    ComboBox1->hide();
    ComboBox1->installEventFilter(this);
    connect(ComboBox1, &QComboBox::activated, this,
            [this] { form_.Handle(&TsetParamForm::ComboBox1Change); });
    // The open type list stays over its cell while the grid scrolls or a column is resized.
    auto follow = [this] {
        if (form_.TypeEditorOpen())
            placeTypeList();
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
    // Enter and Escape belong to the grid and the type list, never to a button.
    for (QPushButton* button : {ButtonOK, ButtonCancle}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    connect(ButtonOK, &QPushButton::clicked, this,
            [this] { form_.Handle(&TsetParamForm::ButtonOKClick); });
    connect(ButtonCancle, &QPushButton::clicked, this,
            [this] { form_.Handle(&TsetParamForm::ButtonCancleClick); });
    Label1 = new QLabel(QStringLiteral("注意：新设置的参数只对过后的启动的IE有效。"), Panel2);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(NoteLeft, NoteTop);
    Label1->adjustSize();

    PanelTest = new QWidget(this);
    PanelTest->setObjectName(QStringLiteral("PanelTest"));
    LabelTestUrl = new QLabel(QStringLiteral("测试网址："), PanelTest);
    LabelTestUrl->setObjectName(QStringLiteral("LabelTestUrl"));
    EditTestUrl = new QLineEdit(PanelTest);
    EditTestUrl->setObjectName(QStringLiteral("EditTestUrl"));
    LabelTestUrl->setBuddy(EditTestUrl);
    ButtonTest = new QPushButton(QStringLiteral("测试"), PanelTest);
    ButtonTest->setObjectName(QStringLiteral("ButtonTest"));
    ButtonTest->setAutoDefault(false);
    ButtonTest->setDefault(false);
    LabelTestResult = new QLabel(PanelTest);
    LabelTestResult->setObjectName(QStringLiteral("LabelTestResult"));
    LabelTestResult->setTextFormat(Qt::PlainText);
    LabelTestResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    connect(ButtonTest, &QPushButton::clicked, this,
            [this] { form_.Handle(&TsetParamForm::ButtonTestClick); });
    connect(EditTestUrl, &QLineEdit::returnPressed, this,
            [this] { form_.Handle(&TsetParamForm::ButtonTestClick); });

    setTabOrder(StringGrid1, ComboBox1);
    setTabOrder(ComboBox1, EditTestUrl);
    setTabOrder(EditTestUrl, ButtonTest);
    setTabOrder(ButtonTest, ButtonCancle);
    setTabOrder(ButtonCancle, ButtonOK);
}

void QtSetParamForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Only an opening by the program prepares the table; coming back from another window of
    // the program (a spontaneous show, or a mere activation) keeps the edits.
    if (!event->spontaneous())
        form_.Handle(&TsetParamForm::FormActivate);
}

void QtSetParamForm::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    layoutComponents();
    form_.Handle(&TsetParamForm::FormResize);
}

void QtSetParamForm::closeEvent(QCloseEvent* event) {
    // The close box is Cancel; ending the modal run has hidden the window then.
    if (isVisible())
        form_.Handle(&TsetParamForm::ButtonCancleClick);
    event->setAccepted(!isVisible());
}

void QtSetParamForm::keyPressEvent(QKeyEvent* event) {
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

bool QtSetParamForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ComboBox1 && event->type() == QEvent::FocusOut) {
        // Its own drop-down list and a switch to another window don't take the focus from
        // the type list in the window's sense.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        const QWidget* list = ComboBox1->view()->window();
        const QWidget* next = QApplication::focusWidget();
        const bool toList = next && (next == list || list->isAncestorOf(next));
        if (!toList && reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
            form_.Handle(&TsetParamForm::ComboBox1Exit);
    }
    return QDialog::eventFilter(watched, event);
}

void QtSetParamForm::layoutComponents() {
    const int w = width();
    const int h = height();
    // The note keeps inside the window whatever the font: the window is never narrower than
    // the note's right edge, and the bottom panel grows when the note is taller than it leaves.
    const QSize note = Label1->sizeHint();
    setMinimumWidth(NoteLeft + note.width() + NoteMargin);
    const int bottom = std::max(Panel2Height, NoteTop + note.height() + NoteMargin);
    const int top = std::max(0, h - bottom - TestPanelHeight);
    Panel1->setGeometry(0, 0, w, top);
    PanelTest->setGeometry(0, top, w, TestPanelHeight);
    Panel2->setGeometry(0, top + TestPanelHeight, w, bottom);
    const int labelWidth = std::max(TestLabelWidth, LabelTestUrl->sizeHint().width());
    LabelTestUrl->setGeometry(TestMargin, TestRowTop, labelWidth, TestRowHeight);
    const int editLeft = TestMargin + labelWidth + 4;
    const int buttonLeft = std::max(editLeft, w - TestMargin - TestButtonWidth);
    EditTestUrl->setGeometry(editLeft, TestRowTop, std::max(0, buttonLeft - 6 - editLeft),
                             TestRowHeight);
    ButtonTest->setGeometry(buttonLeft, TestRowTop, TestButtonWidth, TestRowHeight);
    LabelTestResult->setGeometry(TestMargin, TestResultTop, std::max(0, w - 2 * TestMargin),
                                 TestResultHeight);
    Label1->setGeometry(NoteLeft, NoteTop, note.width(), note.height());
    ToolBar1->setGeometry(0, 0, w, ToolBarHeight);
    StringGrid1->setGeometry(0, ToolBarHeight, w, std::max(0, top - ToolBarHeight));
}

void QtSetParamForm::placeTypeList() {
    const QRect cell = StringGrid1->visualRect(model_->cellIndex(typeListColumn_, typeListRow_));
    // The cell's edges in the grid's client coordinates (inside its border, header included),
    // then in Panel1's.
    const QPoint client = StringGrid1->viewport()->mapTo(StringGrid1, cell.topLeft()) -
                          StringGrid1->contentsRect().topLeft();
    const QPoint topLeft = StringGrid1->pos() + client + QPoint(1, 1);
    const QRect place(topLeft, cell.size());
    ComboBox1->setGeometry(place);
    // Scrolled away, its cell takes the list out of sight; it never covers the header or
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

// ---------------------------------------------------------------------------------------
// SetParamFormView

void QtSetParamForm::SetNormalState() {
    setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
}

void QtSetParamForm::RunModal(FormView* owner) {
    // Modal to the owner only: Qt's application-wide modality would block the notification
    // area's icon, and with it the way to Exit or to the main window.
    auto* ownerWidget = dynamic_cast<QWidget*>(owner);
    setWindowModality(Qt::WindowModal);
    winId();
    windowHandle()->setTransientParent(ownerWidget ? ownerWidget->windowHandle() : nullptr);
    exec();
}

void QtSetParamForm::EndModal() {
    done(QDialog::Rejected);
}

void QtSetParamForm::RefreshTexts() {
    model_->refreshTexts();
    // An open cell editor shows its cell's new text.
    const QModelIndex current = StringGrid1->currentIndex();
    if (current.isValid())
        emit model_->dataChanged(current, current);
}

void QtSetParamForm::FollowRowCount() {
    // The view moves the current cell off a row that goes away; that is no selection.
    selection_->holdHook(true);
    model_->followRowCount();
    selection_->holdHook(false);
}

void QtSetParamForm::FollowCurrentCell() {
    const RuleTable& table = form_.Table();
    selection_->moveQuietly(model_->cellIndex(table.currentColumn(), table.currentRow()));
}

void QtSetParamForm::CloseCellEditor() {
    StringGrid1->closeCellEditor();
}

int QtSetParamForm::GridWidth() const {
    return StringGrid1->width();
}

void QtSetParamForm::SetColumnWidths(int width) {
    QHeaderView* columns = StringGrid1->horizontalHeader();
    columns->setDefaultSectionSize(width);
    for (int c = 0; c < RuleTable::ColumnCount; ++c)
        columns->resizeSection(c, width);
}

void QtSetParamForm::FocusGrid() {
    StringGrid1->setFocus();
}

void QtSetParamForm::SetTypeListEntries(const std::vector<std::string>& entries) {
    ComboBox1->clear();
    for (const std::string& entry : entries)
        ComboBox1->addItem(FromGbk(entry));
}

int QtSetParamForm::TypeListSelection() const {
    return ComboBox1->currentIndex();
}

void QtSetParamForm::SetTypeListSelection(int index) {
    ComboBox1->setCurrentIndex(index);
}

void QtSetParamForm::ShowTypeList(int column, int row) {
    typeListColumn_ = column;
    typeListRow_ = row;
    placeTypeList();
    ComboBox1->show();
    ComboBox1->raise();
    ComboBox1->setFocus();
}

void QtSetParamForm::HideTypeList() {
    ComboBox1->hide();
}

std::string QtSetParamForm::TestUrlText() const {
    return ToGbk(EditTestUrl->text());
}

void QtSetParamForm::SetTestResult(const std::string& text) {
    LabelTestResult->setText(FromGbk(text));
}

void QtSetParamForm::PostFromAnyThread(std::function<void()> task) {
    // Queued to this window's thread; Qt drops it when the window is gone first.
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

QtSetParamForm& WidgetOf(TsetParamForm& form) {
    return static_cast<QtSetParamForm&>(form.View());
}

std::unique_ptr<TsetParamForm> NewQtSetParamForm() {
    return std::make_unique<TsetParamForm>(
        [](TsetParamForm& form) { return std::make_unique<QtSetParamForm>(form); });
}

} // namespace tarnwick
