#include "ui/qt/QtSetParamForm.h"

#include "forms/ErrorBox.h"
#include "forms/FormLayouts.h"
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

const ControlLayout& Component(const char* name) {
    return SetParamFormLayout()[name];
}
QString Caption(const char* name) {
    return FromGbk(Component(name).caption);
}
// A widget named and placed as the layout has it (within its parent area).
void Place(QWidget* widget, const char* name) {
    const ControlLayout& at = Component(name);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(at.left, at.top, at.width, at.height);
}

constexpr int ImageSize = 20;
// The margin the note keeps from the window's edges.
constexpr int NoteMargin = 8;

} // namespace

QtSetParamForm::QtSetParamForm(TsetParamForm& form)
    : QtFormView(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                              Qt::WindowCloseButtonHint),
      form_(form) {
    const FormLayout& layout = SetParamFormLayout();
    setObjectName(QString::fromStdString(layout.name));
    setWindowTitle(FromGbk(layout.caption));
    resize(layout.clientWidth, layout.clientHeight);
    move(layout.left, layout.top);
}

QtSetParamForm::~QtSetParamForm() {
    TheProgramActivation().Forget(this);
    if (!Panel1)
        return;
    // The grid and the type list go first, without calling back into the window's behaviour.
    ComboBox1->removeEventFilter(this);
    selection_->beforeCurrentChange = nullptr;
    StringGrid1->reselectCurrent = nullptr;
    delete Panel1;
}

void QtSetParamForm::setVisible(bool visible) {
    // Before the show events, which lay the components out and activate the behaviour.
    if (visible)
        ensureComponents();
    QDialog::setVisible(visible);
}

// Most starts never open the editor: its widgets are made at its first showing, or when the
// behaviour first needs one. What the behaviour told the view before then is applied here.
void QtSetParamForm::ensureComponents() {
    if (Panel1)
        return;
    InitEditorResources();
    createComponents();
    fillTypeList();
    LabelTestResult->setText(testResult_);
    FollowCurrentCell();
    layoutComponents();
}

void QtSetParamForm::createComponents() {
    for (const char* name : {"insert", "delete", "copy", "cut", "paste"})
        ImageList1.append(
            Picture(QStringLiteral(":/editor/") + QLatin1String(name), {ImageSize, 2 * ImageSize}));

    Panel1 = new QWidget(this);
    Place(Panel1, "Panel1");

    ToolBar1 = new QToolBar(Panel1);
    Place(ToolBar1, "ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setFocusPolicy(Qt::NoFocus);
    ToolBar1->setIconSize(QSize(ImageSize, ImageSize));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);

    auto makeToolButton = [this](const char* name, int image) {
        auto* button = new QToolButton(ToolBar1);
        button->setObjectName(QString::fromLatin1(name));
        button->setIcon(ImageList1.at(image));
        button->setIconSize(QSize(ImageSize, ImageSize));
        button->setToolTip(Caption(name));
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setFixedSize(Component(name).width, Component(name).height);
        ToolBar1->addWidget(button);
        return button;
    };
    ToolButtonInsert = makeToolButton("ToolButtonInsert", 0);
    ToolButtonDelete = makeToolButton("ToolButtonDelete", 1);
    connect(ToolButtonInsert, &QToolButton::clicked, this,
            [this] { form_.Handle(&TsetParamForm::ToolButtonInsertClick); });
    connect(ToolButtonDelete, &QToolButton::clicked, this,
            [this] { form_.Handle(&TsetParamForm::ToolButtonDeleteClick); });

    model_ = new RuleGridModel(form_, this);
    StringGrid1 = new RuleGridView(form_, Panel1);
    Place(StringGrid1, "StringGrid1");
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
    const int rowHeight = Component("RowHeight").height;
    rows->setDefaultSectionSize(rowHeight);
    QHeaderView* columns = StringGrid1->horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setSectionsClickable(false);
    columns->setHighlightSections(false);
    columns->setStretchLastSection(false);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setFixedHeight(rowHeight);
    columns->setDefaultSectionSize(Component("ColumnWidth").width);

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
    Place(ComboBox1, "ComboBox1");
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
    Place(Panel2, "Panel2");
    ButtonOK = new QPushButton(Caption("ButtonOK"), Panel2);
    Place(ButtonOK, "ButtonOK");
    ButtonCancle = new QPushButton(Caption("ButtonCancle"), Panel2);
    Place(ButtonCancle, "ButtonCancle");
    // Enter and Escape belong to the grid and the type list, never to a button.
    for (QPushButton* button : {ButtonOK, ButtonCancle}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    connect(ButtonOK, &QPushButton::clicked, this,
            [this] { form_.Handle(&TsetParamForm::ButtonOKClick); });
    connect(ButtonCancle, &QPushButton::clicked, this,
            [this] { form_.Handle(&TsetParamForm::ButtonCancleClick); });
    Label1 = new QLabel(Caption("Label1"), Panel2);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(Component("Label1").left, Component("Label1").top);
    Label1->adjustSize();

    PanelTest = new QWidget(this);
    Place(PanelTest, "PanelTest");
    LabelTestUrl = new QLabel(Caption("LabelTestUrl"), PanelTest);
    Place(LabelTestUrl, "LabelTestUrl");
    EditTestUrl = new QLineEdit(PanelTest);
    Place(EditTestUrl, "EditTestUrl");
    LabelTestUrl->setBuddy(EditTestUrl);
    ButtonTest = new QPushButton(Caption("ButtonTest"), PanelTest);
    Place(ButtonTest, "ButtonTest");
    ButtonTest->setAutoDefault(false);
    ButtonTest->setDefault(false);
    LabelTestResult = new QLabel(PanelTest);
    Place(LabelTestResult, "LabelTestResult");
    LabelTestResult->setTextFormat(Qt::PlainText);
    LabelTestResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    connect(ButtonTest, &QPushButton::clicked, this,
            [this] { form_.Handle(&TsetParamForm::ButtonTestClick); });
    connect(EditTestUrl, &QLineEdit::returnPressed, this,
            [this] { form_.Handle(&TsetParamForm::ButtonTestClick); });

    QWidget* previous = nullptr;
    for (const std::string& name : SetParamFormLayout().TabOrder()) {
        auto* next = findChild<QWidget*>(QString::fromStdString(name));
        if (previous && next)
            setTabOrder(previous, next);
        previous = next;
    }
}

bool QtSetParamForm::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        TheProgramActivation().Activated(this);
    return QDialog::event(event);
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
    if (!Panel1)
        return;
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
    if (ComboBox1 && watched == ComboBox1 && event->type() == QEvent::FocusOut) {
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
    const ControlLayout& noteAt = Component("Label1");
    setMinimumWidth(noteAt.left + note.width() + NoteMargin);
    const int bottom =
        std::max(Component("Panel2").height, noteAt.top + note.height() + NoteMargin);
    const int testHeight = Component("PanelTest").height;
    const int top = std::max(0, h - bottom - testHeight);
    const int toolBarHeight = Component("ToolBar1").height;
    Panel1->setGeometry(0, 0, w, top);
    PanelTest->setGeometry(0, top, w, testHeight);
    Panel2->setGeometry(0, top + testHeight, w, bottom);
    // The tester's row: the label as wide as its text needs, the button at the right edge, the
    // edit between them; the result line spans the panel.
    const int layoutWidth = SetParamFormLayout().clientWidth;
    const ControlLayout& label = Component("LabelTestUrl");
    const ControlLayout& edit = Component("EditTestUrl");
    const ControlLayout& button = Component("ButtonTest");
    const ControlLayout& result = Component("LabelTestResult");
    const int labelWidth = std::max(label.width, LabelTestUrl->sizeHint().width());
    LabelTestUrl->setGeometry(label.left, label.top, labelWidth, label.height);
    const int editLeft = edit.left + (labelWidth - label.width);
    const int buttonLeft =
        std::max(editLeft, w - (layoutWidth - button.left - button.width) - button.width);
    EditTestUrl->setGeometry(
        editLeft, edit.top,
        std::max(0, buttonLeft - (button.left - edit.left - edit.width) - editLeft), edit.height);
    ButtonTest->setGeometry(buttonLeft, button.top, button.width, button.height);
    LabelTestResult->setGeometry(result.left, result.top,
                                 std::max(0, w - (layoutWidth - result.width)), result.height);
    Label1->setGeometry(noteAt.left, noteAt.top, note.width(), note.height());
    ToolBar1->setGeometry(0, 0, w, toolBarHeight);
    StringGrid1->setGeometry(0, toolBarHeight, w, std::max(0, top - toolBarHeight));
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
    modalOwner_ = ownerWidget && ownerWidget->isVisible() ? owner : nullptr;
    setWindowModality(Qt::WindowModal);
    winId();
    windowHandle()->setTransientParent(ownerWidget ? ownerWidget->windowHandle() : nullptr);
    exec();
}

void QtSetParamForm::EndModal() {
    // The focus goes straight back to the owner: no activation by the user.
    if (modalOwner_)
        TheProgramActivation().HandBackTo(modalOwner_);
    modalOwner_ = nullptr;
    done(QDialog::Rejected);
}

void QtSetParamForm::RefreshTexts() {
    // A grid made later reads the table as it is then.
    if (!Panel1)
        return;
    model_->refreshTexts();
    // An open cell editor shows its cell's new text.
    const QModelIndex current = StringGrid1->currentIndex();
    if (current.isValid())
        emit model_->dataChanged(current, current);
}

void QtSetParamForm::FollowRowCount() {
    if (!Panel1)
        return;
    // The view moves the current cell off a row that goes away; that is no selection.
    selection_->holdHook(true);
    model_->followRowCount();
    selection_->holdHook(false);
}

void QtSetParamForm::FollowCurrentCell() {
    if (!Panel1)
        return;
    const RuleTable& table = form_.Table();
    selection_->moveQuietly(model_->cellIndex(table.currentColumn(), table.currentRow()));
}

void QtSetParamForm::CloseCellEditor() {
    if (!Panel1)
        return;
    StringGrid1->closeCellEditor();
}

int QtSetParamForm::GridWidth() const {
    ensureComponents();
    return StringGrid1->width();
}

void QtSetParamForm::SetColumnWidths(int width) {
    ensureComponents();
    QHeaderView* columns = StringGrid1->horizontalHeader();
    columns->setDefaultSectionSize(width);
    for (int c = 0; c < RuleTable::ColumnCount; ++c)
        columns->resizeSection(c, width);
}

void QtSetParamForm::FocusGrid() {
    ensureComponents();
    StringGrid1->setFocus();
}

void QtSetParamForm::SetTypeListEntries(const std::vector<std::string>& entries) {
    typeListEntries_.clear();
    for (const std::string& entry : entries)
        typeListEntries_.append(FromGbk(entry));
    if (Panel1)
        fillTypeList();
}

void QtSetParamForm::fillTypeList() {
    ComboBox1->clear();
    ComboBox1->addItems(typeListEntries_);
    // A combo box selects the first entry added to it; new entries mean no selection.
    ComboBox1->setCurrentIndex(-1);
}

int QtSetParamForm::TypeListSelection() const {
    ensureComponents();
    return ComboBox1->currentIndex();
}

void QtSetParamForm::SetTypeListSelection(int index) {
    ensureComponents();
    ComboBox1->setCurrentIndex(index);
}

void QtSetParamForm::ShowTypeList(int column, int row) {
    ensureComponents();
    typeListColumn_ = column;
    typeListRow_ = row;
    placeTypeList();
    ComboBox1->show();
    ComboBox1->raise();
    ComboBox1->setFocus();
}

void QtSetParamForm::HideTypeList() {
    if (!Panel1)
        return;
    ComboBox1->hide();
}

std::string QtSetParamForm::TestUrlText() const {
    if (!Panel1)
        return {};
    return ToGbk(EditTestUrl->text());
}

void QtSetParamForm::SetTestResult(const std::string& text) {
    testResult_ = FromGbk(text);
    if (Panel1)
        LabelTestResult->setText(testResult_);
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
