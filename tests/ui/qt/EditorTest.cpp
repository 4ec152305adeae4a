#include "EditorTestSupport.h"
#include "TestFiles.h"
#include "forms/ErrorBox.h"
#include "forms/setParamUnit.h"
#include "rules/CodePage.h"
#include "rules/PacScript.h"
#include "rules/RuleFile.h"
#include "ui/qt/GbkText.h"
#include "ui/qt/QtSetParamForm.h"
#include "ui/qt/RuleGrid.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

#include <memory>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

const QString SubnetDefault = QStringLiteral("192.168.0.1;255.255.255.0");

} // namespace

class EditorTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void windowHasTheLayout();
    void whatTheViewIsToldBeforeItsComponentsExistIsKept();
    void typedTextReachesTheTableWithEveryKey();
    void passingThroughATypeCellKeepsTheRule();
    void downKeyWalksTheTypeColumnAlternately();
    void insertAndDeleteWithTheTypeEditorClosed();
    void insertAndDeleteWithTheTypeEditorOpen();
    void cancelAndCloseBoxWriteNothingAndReopeningReloads();
    void endingTheModalRunFromOutsideCancels();
    void leavingForAnotherWindowAndBackKeepsTheEdits();
    void okWritesBothFiles();
    void bytesThatAreNotGbkSurviveTheGrid();
    void gbkTextsRoundTrip_data();
    void gbkTextsRoundTrip();
    void noteStaysInsideTheWindowWhateverTheFont();
    void resizingSetsTheCommonColumnWidth();
    void typeEditorStaysOverItsCellWhileTheGridScrolls();
    void testerShowsTheDecidingRuleForTheTypedAddress();

private:
    void writeRules(const std::vector<SampleRule>& rules);
    void open();
    QString cell(int column, int row) const;
    QModelIndex index(int column, int row) const;
    void clickCell(int column, int row);
    void typeText(const QString& ascii);
    void pickEntry(int entry);
    int dataRows() const { return grid()->model()->rowCount(); }
    QString pacPath() const { return dir_->filePath(QStringLiteral("IETarnwick.pac")); }
    QString rulePath() const { return dir_->filePath(QStringLiteral("configData.ini")); }
    RuleGridView* grid() const { return form_->StringGrid1; }
    QComboBox* combo() const { return form_->ComboBox1; }

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<TsetParamForm> editor_;
    QtSetParamForm* form_ = nullptr; // its widgets
    ErrorPresenter previousPresenter_;
    QStringList errors_;
};

void EditorTest::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    errors_.clear();
    previousPresenter_ = SetErrorPresenter([this](FormView*, const std::string& text) {
        errors_ << QString::fromStdString(Utf8FromGbk(text));
    });
    editor_ = NewQtSetParamForm();
    form_ = &WidgetOf(*editor_);
    editor_->setPacFilePath(pacPath().toStdString());
    editor_->setRuleFilePath(rulePath().toStdString());
}

void EditorTest::cleanup() {
    editor_.reset();
    form_ = nullptr;
    SetErrorPresenter(previousPresenter_);
    dir_.reset();
}

void EditorTest::writeRules(const std::vector<SampleRule>& rules) {
    SaveRules(TableOf(rules), rulePath().toStdString());
}

void EditorTest::open() {
    form_->SetNormalState();
    form_->show();
    QVERIFY(QTest::qWaitForWindowActive(form_));
}

QModelIndex EditorTest::index(int column, int row) const {
    return grid()->model()->index(row - 1, column);
}

QString EditorTest::cell(int column, int row) const {
    return grid()->model()->data(index(column, row)).toString();
}

void EditorTest::clickCell(int column, int row) {
    const QModelIndex cell = index(column, row);
    QVERIFY(cell.isValid());
    grid()->scrollTo(cell);
    QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, grid()->visualRect(cell).center());
}

// The first key goes to the grid (where it opens the cell's editor), the others to whatever
// has the focus then.
void EditorTest::typeText(const QString& ascii) {
    for (QChar c : ascii)
        QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
}

// Picks an entry of the open type editor's list with the mouse.
void EditorTest::pickEntry(int entry) {
    combo()->showPopup();
    QAbstractItemView* list = combo()->view();
    QTRY_VERIFY(list->isVisible());
    // The list ignores a release that comes right after it opened.
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    const QRect item = list->visualRect(list->model()->index(entry, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
    QTRY_VERIFY(!combo()->isVisible());
}

void EditorTest::windowHasTheLayout() {
    QCOMPARE(form_->objectName(), QStringLiteral("setParamForm"));
    QCOMPARE(form_->windowTitle(), QStringLiteral("设置参数"));
    const Qt::WindowFlags flags = form_->windowFlags();
    QVERIFY(flags & Qt::WindowMaximizeButtonHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    // The tester's row makes the window taller; the grid keeps its rows.
    QCOMPARE(form_->size(), QSize(535, 265));
    // Its components are made at its first showing: a start that never opens it pays nothing
    // for them.
    QVERIFY(form_->findChildren<QWidget*>().isEmpty());
    QVERIFY(!form_->StringGrid1 && !form_->ComboBox1 && form_->ImageList1.isEmpty());

    writeRules(SampleRules());
    open();
    const QStringList names{"Panel1",       "ToolBar1",   "ToolButtonInsert", "ToolButtonDelete",
                            "StringGrid1",  "ComboBox1",  "Panel2",           "ButtonOK",
                            "ButtonCancle", "Label1",     "PanelTest",        "LabelTestUrl",
                            "EditTestUrl",  "ButtonTest", "LabelTestResult"};
    for (const QString& name : names)
        QVERIFY2(form_->findChild<QWidget*>(name), qPrintable(name));
    QCOMPARE(form_->ToolButtonInsert->toolTip(), QStringLiteral("插入一行"));
    QCOMPARE(form_->ToolButtonDelete->toolTip(), QStringLiteral("删除当前行"));
    QCOMPARE(form_->ToolButtonInsert->focusPolicy(), Qt::NoFocus);
    QCOMPARE(form_->ToolButtonDelete->focusPolicy(), Qt::NoFocus);
    QCOMPARE(form_->ButtonOK->text(), QStringLiteral("确定"));
    QCOMPARE(form_->ButtonCancle->text(), QStringLiteral("取消"));
    QVERIFY(!form_->ButtonOK->isDefault() && !form_->ButtonOK->autoDefault());
    QVERIFY(!form_->ButtonCancle->isDefault() && !form_->ButtonCancle->autoDefault());
    QCOMPARE(form_->Label1->text(), QStringLiteral("注意：新设置的参数只对过后的启动的IE有效。"));
    QCOMPARE(form_->LabelTestUrl->text(), QStringLiteral("测试网址："));
    QCOMPARE(form_->ButtonTest->text(), QStringLiteral("测试"));
    QVERIFY(!form_->ButtonTest->isDefault() && !form_->ButtonTest->autoDefault());
    QCOMPARE(form_->ImageList1.size(), 5);
    for (const QIcon& picture : form_->ImageList1)
        QCOMPARE(picture.availableSizes(), (QList<QSize>{{20, 20}, {40, 40}}));

    QCOMPARE(form_->ButtonOK->geometry(), QRect(16, 8, 81, 33));
    QCOMPARE(form_->ButtonCancle->geometry(), QRect(120, 8, 81, 33));
    QCOMPARE(form_->Panel2->height(), 49);
    QCOMPARE(form_->ToolBar1->height(), 33);
    QCOMPARE(grid()->geometry(), QRect(0, 33, 535, 125));
    QCOMPARE(grid()->rowHeight(0), 24);
    for (int c = 0; c < 3; ++c)
        QCOMPARE(grid()->columnWidth(c), 170);
    QCOMPARE(grid()->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("网址类型"));
    QCOMPARE(grid()->model()->headerData(2, Qt::Horizontal).toString(),
             QStringLiteral("使用的代理"));
    QVERIFY(!combo()->isVisible());
    QCOMPARE(combo()->count(), 4);
    QCOMPARE(combo()->itemText(3), QStringLiteral("不能解析的地址"));

    // The tester lies between the grid and the bottom panel, across the window.
    QCOMPARE(form_->PanelTest->geometry(), QRect(0, 158, 535, 58));
    QCOMPARE(form_->Panel2->y(), 216);
    QVERIFY(form_->EditTestUrl->geometry().right() < form_->ButtonTest->x());
    QCOMPARE(form_->ButtonTest->geometry().right(), 535 - 8 - 1);

    // Tab order: grid, (type editor), tester, Cancel, OK. Enter and Escape close nothing.
    QCOMPARE(QApplication::focusWidget(), grid());
    auto nextTabStop = [](QWidget* from) {
        QWidget* next = from->nextInFocusChain();
        while (next != from && (!(next->focusPolicy() & Qt::TabFocus) || next->focusProxy()))
            next = next->nextInFocusChain();
        return next;
    };
    QCOMPARE(nextTabStop(grid()), combo());
    QCOMPARE(nextTabStop(combo()), form_->EditTestUrl);
    QCOMPARE(nextTabStop(form_->EditTestUrl), form_->ButtonTest);
    QCOMPARE(nextTabStop(form_->ButtonTest), form_->ButtonCancle);
    QCOMPARE(nextTabStop(form_->ButtonCancle), form_->ButtonOK);
    QTest::keyClick(grid(), Qt::Key_Escape);
    QTest::keyClick(grid(), Qt::Key_Return);
    QTest::keyClick(form_->ButtonCancle, Qt::Key_Return);
    QVERIFY(form_->isVisible());
}

// The behaviour talks to the view from its FormCreate on; what it says before the components
// exist reaches them when they are made, and only a question a component must answer makes
// them early.
void EditorTest::whatTheViewIsToldBeforeItsComponentsExistIsKept() {
    form_->SetTypeListEntries({GbkFromUtf8("甲"), "b"});
    form_->SetTestResult(GbkFromUtf8("第 2 条规则"));
    form_->FollowRowCount();
    form_->RefreshTexts();
    form_->FollowCurrentCell();
    QCOMPARE(form_->TestUrlText(), std::string());
    QVERIFY(!form_->ComboBox1);

    QCOMPARE(form_->TypeListSelection(), -1);
    QVERIFY(form_->ComboBox1 && !form_->isVisible());
    QCOMPARE(combo()->count(), 2);
    QCOMPARE(combo()->itemText(0), QStringLiteral("甲"));
    QCOMPARE(form_->LabelTestResult->text(), QStringLiteral("第 2 条规则"));
    // The new grid shows the table as it is, its current cell included.
    const RuleTable& table = editor_->Table();
    QCOMPARE(dataRows(), table.rowCount() - 1);
    QCOMPARE(grid()->currentIndex(), index(table.currentColumn(), table.currentRow()));

    // Made early, they are the ones the first showing shows; the result line is cleared then.
    QComboBox* made = combo();
    writeRules(SampleRules());
    open();
    QCOMPARE(combo(), made);
    QCOMPARE(combo()->count(), 4);
    QCOMPARE(form_->LabelTestResult->text(), QString());
    QCOMPARE(cell(1, 1), SampleRules()[0].value);
}

void EditorTest::typedTextReachesTheTableWithEveryKey() {
    writeRules(SampleRules());
    open();
    // The proxy cell opens its editor at once; every key reaches the table, and a value cell
    // of the fourth type never takes typing.
    clickCell(2, 2);
    QTRY_VERIFY(qobject_cast<QLineEdit*>(QApplication::focusWidget()));
    typeText(QStringLiteral("p"));
    QTRY_COMPARE(cell(2, 2), QStringLiteral("p"));
    typeText(QStringLiteral("q"));
    QTRY_COMPARE(cell(2, 2), QStringLiteral("pq"));

    clickCell(0, 3);
    QTRY_VERIFY(combo()->hasFocus());
    QTest::keyClick(combo(), Qt::Key_Down); // domain -> subnet
    QTest::keyClick(combo(), Qt::Key_Down); // the fourth type: value "子网"
    QTRY_COMPARE(cell(0, 3), TypeName(2));
    clickCell(0, 3);
    QTRY_VERIFY(combo()->hasFocus());
    QTest::keyClick(combo(), Qt::Key_Down);
    QTRY_COMPARE(cell(0, 3), TypeName(3));
    QCOMPARE(cell(1, 3), QStringLiteral("子网"));
    clickCell(1, 3);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_X);
    QTest::qWait(50);
    QCOMPARE(cell(1, 3), QStringLiteral("子网"));
}

void EditorTest::passingThroughATypeCellKeepsTheRule() {
    auto rules = SampleRules();
    rules.push_back({QStringLiteral("edited elsewhere"), QStringLiteral("v"), QStringLiteral("x")});
    writeRules(rules);
    open();

    clickCell(0, 1);
    QTRY_VERIFY(combo()->isVisible());
    QCOMPARE(QApplication::focusWidget(), combo());
    QCOMPARE(combo()->currentText(), TypeName(0));
    clickCell(1, 1);
    QTRY_VERIFY(!combo()->isVisible());
    QCOMPARE(grid()->currentIndex(), index(1, 1));
    QCOMPARE(cell(0, 1), TypeName(0));
    QCOMPARE(cell(1, 1), rules[0].value);

    // Through the subnet row by the keyboard: Tab leaves the editor, the grid takes the focus.
    clickCell(0, 2);
    QTRY_VERIFY(combo()->hasFocus());
    QTest::keyClick(combo(), Qt::Key_Tab);
    QTRY_VERIFY(!combo()->isVisible());
    QCOMPARE(cell(1, 2), rules[1].value);
    QCOMPARE(cell(0, 2), TypeName(2));

    // A type text that is none of the four: leaving without a pick empties it.
    clickCell(0, 4);
    QTRY_VERIFY(combo()->isVisible());
    QCOMPARE(combo()->currentIndex(), -1);
    clickCell(2, 4);
    QTRY_VERIFY(!combo()->isVisible());
    QCOMPARE(cell(0, 4), QString());
    QCOMPARE(cell(1, 4), QStringLiteral("v"));

    // After a commit the type cell stays current; a click on it opens the editor again.
    clickCell(0, 3);
    QTRY_VERIFY(combo()->isVisible());
    QTest::keyClick(combo(), Qt::Key_Down);
    QTRY_VERIFY(!combo()->isVisible());
    QCOMPARE(grid()->currentIndex(), index(0, 3));
    clickCell(0, 3);
    QTRY_VERIFY(combo()->isVisible());
    QCOMPARE(combo()->currentText(), TypeName(2));
}

void EditorTest::downKeyWalksTheTypeColumnAlternately() {
    writeRules(SampleRules());
    open();
    clickCell(0, 1);
    QTRY_VERIFY(combo()->hasFocus());

    struct Step {
        int row;
        QString typeAfter;
        QString valueAfter;
    };
    // In the editor a press picks the next entry; in the grid it moves down and opens it.
    const Step steps[] = {
        {1, TypeName(1), QString()},
        {2, TypeName(3), QStringLiteral("子网")},
        {3, TypeName(2), SubnetDefault},
        {4, TypeName(0), QString()},
    };
    for (const Step& step : steps) {
        if (step.row > 1) {
            QTest::keyClick(grid(), Qt::Key_Down);
            QTRY_VERIFY(combo()->hasFocus());
            QCOMPARE(grid()->currentIndex(), index(0, step.row));
        }
        QTest::keyClick(combo(), Qt::Key_Down);
        QTRY_VERIFY(!combo()->isVisible());
        QCOMPARE(QApplication::focusWidget(), grid());
        QCOMPARE(cell(0, step.row), step.typeAfter);
        QCOMPARE(cell(1, step.row), step.valueAfter);
    }
    // Row 4 was the last row: selecting it added row 5.
    QCOMPARE(dataRows(), 5);

    // On the last entry a press changes nothing and the editor stays open.
    clickCell(0, 2);
    QTRY_VERIFY(combo()->hasFocus());
    QCOMPARE(combo()->currentIndex(), 3);
    QTest::keyClick(combo(), Qt::Key_Down);
    QVERIFY(combo()->isVisible());
    QCOMPARE(QApplication::focusWidget(), combo());
    QCOMPARE(cell(1, 2), QStringLiteral("子网"));
}

void EditorTest::insertAndDeleteWithTheTypeEditorClosed() {
    const auto rules = SampleRules();
    writeRules(rules);
    open();
    clickCell(2, 2);
    QTRY_VERIFY(qobject_cast<QLineEdit*>(QApplication::focusWidget()));
    QTest::mouseClick(form_->ToolButtonInsert, Qt::LeftButton);
    QCOMPARE(dataRows(), 5);
    QCOMPARE(grid()->currentIndex(), index(2, 2));
    QCOMPARE(cell(0, 1), rules[0].type);
    for (int c = 0; c < 3; ++c)
        QCOMPARE(cell(c, 2), QString());
    QCOMPARE(cell(1, 3), rules[1].value);
    QCOMPARE(cell(2, 4), rules[2].proxy);
    QVERIFY(!combo()->isVisible());

    // Typing goes into the new empty row, not into the rule that moved down.
    typeText(QStringLiteral("n"));
    QTRY_COMPARE(cell(2, 2), QStringLiteral("n"));
    QCOMPARE(cell(2, 3), rules[1].proxy);

    QTest::mouseClick(form_->ToolButtonDelete, Qt::LeftButton);
    QCOMPARE(dataRows(), 4);
    QCOMPARE(grid()->currentIndex(), index(2, 2));
    QCOMPARE(cell(1, 2), rules[1].value);
    QCOMPARE(cell(2, 2), rules[1].proxy);
    QCOMPARE(cell(0, 3), rules[2].type);
}

void EditorTest::insertAndDeleteWithTheTypeEditorOpen() {
    const auto rules = SampleRules();
    writeRules(rules);
    open();
    clickCell(0, 2);
    QTRY_VERIFY(combo()->isVisible());
    QTest::mouseClick(form_->ToolButtonInsert, Qt::LeftButton);
    QVERIFY(!combo()->isVisible());
    QCOMPARE(grid()->currentIndex(), index(0, 2));
    QCOMPARE(cell(0, 2), QString());
    // The command commits the shown entry first (the subnet's value goes back to its
    // default), then the rule moves down.
    QCOMPARE(cell(0, 3), rules[1].type);
    QCOMPARE(cell(1, 3), QStringLiteral("192.168.0.1;255.255.255.0"));
    QCOMPARE(cell(2, 3), rules[1].proxy);

    // A pick commits to the row before the command acts.
    clickCell(0, 3);
    QTRY_VERIFY(combo()->hasFocus());
    QTest::keyClick(combo(), Qt::Key_Up); // subnet -> domain, value reset
    QTRY_VERIFY(!combo()->isVisible());
    QCOMPARE(cell(0, 3), TypeName(1));
    QCOMPARE(cell(1, 3), QString());

    clickCell(0, 1);
    QTRY_VERIFY(combo()->isVisible());
    QTest::mouseClick(form_->ToolButtonDelete, Qt::LeftButton);
    QVERIFY(!combo()->isVisible());
    QCOMPARE(grid()->currentIndex(), index(0, 1));
    QCOMPARE(cell(0, 1), QString()); // the inserted empty row moved up
    QCOMPARE(cell(0, 2), TypeName(1));
    QCOMPARE(cell(1, 3), rules[2].value);
}

void EditorTest::cancelAndCloseBoxWriteNothingAndReopeningReloads() {
    const auto rules = SampleRules();
    writeRules(rules);
    const std::string ruleFile = ReadWholeFile(rulePath());
    open();
    clickCell(2, 1);
    typeText(QStringLiteral("zzz"));
    QTRY_COMPARE(cell(2, 1), QStringLiteral("zzz"));
    clickCell(2, 4); // the last row: the table grows
    QCOMPARE(dataRows(), 5);

    QTest::mouseClick(form_->ButtonCancle, Qt::LeftButton);
    QVERIFY(!form_->isVisible());
    QVERIFY(!QFile::exists(pacPath()));
    QCOMPARE(ReadWholeFile(rulePath()), ruleFile);

    open();
    QCOMPARE(cell(2, 1), rules[0].proxy);
    QCOMPARE(dataRows(), 5); // the row count carries over

    // The close box does the same, also with the type editor left open; the next opening
    // closes that editor and leaves no trace of it.
    clickCell(0, 3);
    QTRY_VERIFY(combo()->isVisible());
    form_->close();
    QVERIFY(!form_->isVisible());
    open();
    QVERIFY(!combo()->isVisible());
    QCOMPARE(QApplication::focusWidget(), grid());
    QCOMPARE(grid()->currentIndex(), index(1, 1));
    QCOMPARE(cell(0, 3), rules[2].type);
    QCOMPARE(cell(1, 3), rules[2].value);
    QVERIFY(!QFile::exists(pacPath()));
}

void EditorTest::endingTheModalRunFromOutsideCancels() {
    writeRules(SampleRules());
    form_->setWindowState(Qt::WindowMaximized);
    form_->SetNormalState();
    QVERIFY(!(form_->windowState() & Qt::WindowMaximized));
    bool wasOpen = false;
    QTimer::singleShot(0, form_, [this, &wasOpen] {
        wasOpen = form_->isVisible() && form_->isModal();
        editor_->Cancel();
    });
    editor_->Execute(nullptr);
    QVERIFY(wasOpen);
    QVERIFY(!form_->isVisible());
    QVERIFY(!QFile::exists(pacPath()));
}

void EditorTest::leavingForAnotherWindowAndBackKeepsTheEdits() {
    writeRules(SampleRules());
    open();
    clickCell(2, 1);
    typeText(QStringLiteral("kept"));
    QTRY_COMPARE(cell(2, 1), QStringLiteral("kept"));
    clickCell(0, 2);
    QTRY_VERIFY(combo()->hasFocus());

    QWidget other;
    other.resize(200, 100);
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    form_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form_));

    QCOMPARE(cell(2, 1), QStringLiteral("kept"));
    // The type editor stayed open over its cell, and the rule kept its value.
    QVERIFY(combo()->isVisible());
    QCOMPARE(cell(1, 2), SampleRules()[1].value);
}

void EditorTest::okWritesBothFiles() {
    // The documented example, entered by the user: a subnet rule in row 1 and an
    // address-that-cannot-be-resolved rule in row 3, each with its proxy.
    open();
    clickCell(0, 1);
    QTRY_VERIFY(combo()->isVisible());
    pickEntry(2);
    QCOMPARE(QApplication::focusWidget(), grid());
    clickCell(2, 1);
    typeText(QStringLiteral("10.0.0.1:8080"));
    QTRY_COMPARE(cell(2, 1), QStringLiteral("10.0.0.1:8080"));
    clickCell(0, 3);
    QTRY_VERIFY(combo()->isVisible());
    pickEntry(3);
    clickCell(2, 3);
    typeText(QStringLiteral("10.0.0.2:3128"));
    QTRY_COMPARE(cell(2, 3), QStringLiteral("10.0.0.2:3128"));

    QTest::mouseClick(form_->ButtonOK, Qt::LeftButton);
    QVERIFY(errors_.isEmpty());
    QVERIFY(!form_->isVisible());
    QCOMPARE(ReadWholeFile(pacPath()), std::string(test::ExamplePacScript) + "\r\n");
    QCOMPARE(ReadWholeFile(rulePath()), test::ExampleRuleFile());
}

void EditorTest::bytesThatAreNotGbkSurviveTheGrid() {
    RuleTable table = TableOf(SampleRules());
    table.setCell(RuleTable::ProxyColumn, 1, "p\xFFq");
    SaveRules(table, rulePath().toStdString());
    open();
    // Through the cell's editor and out again, untouched.
    clickCell(2, 1);
    QTRY_VERIFY(qobject_cast<QLineEdit*>(QApplication::focusWidget()));
    clickCell(2, 2);
    QTRY_VERIFY(qobject_cast<QLineEdit*>(QApplication::focusWidget()));
    QCOMPARE(editor_->Table().cell(RuleTable::ProxyColumn, 1), std::string("p\xFFq"));
    // Typed into: the bytes the user did not touch stay.
    clickCell(2, 1);
    QTRY_VERIFY(qobject_cast<QLineEdit*>(QApplication::focusWidget()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
    QTest::keyClick(QApplication::focusWidget(), 'x');
    QTRY_COMPARE(editor_->Table().cell(RuleTable::ProxyColumn, 1), std::string("p\xFFqx"));
    clickCell(2, 3);
    QTest::mouseClick(form_->ButtonOK, Qt::LeftButton);
    QVERIFY(errors_.isEmpty());
    QVERIFY(ReadWholeFile(rulePath()).find("col2=p\xFFqx\r\n") != std::string::npos);
    QVERIFY(ReadWholeFile(pacPath()).find("PROXY p\xFFqx") != std::string::npos);
}

void EditorTest::gbkTextsRoundTrip_data() {
    QTest::addColumn<QByteArray>("gbk");
    QTest::addColumn<QString>("shown"); // its characters, or empty to skip that check
    QTest::newRow("ascii") << QByteArray("10.0.0.1:8080") << QStringLiteral("10.0.0.1:8080");
    QTest::newRow("chinese") << QByteArray::fromStdString(GbkFromUtf8("子网"))
                             << QStringLiteral("子网");
    QTest::newRow("not gbk") << QByteArray("p\xFFq") << QString();
    QTest::newRow("lead byte at the end") << QByteArray("a\xB0") << QString();
    QTest::newRow("ascii as a trail byte") << QByteArray::fromStdString("\x81"
                                                                        "a" +
                                                                        GbkFromUtf8("网"))
                                           << QString();
    QTest::newRow("empty") << QByteArray() << QString();
}

void EditorTest::gbkTextsRoundTrip() {
    QFETCH(QByteArray, gbk);
    QFETCH(QString, shown);
    const QString text = FromGbk(gbk.toStdString());
    if (!shown.isEmpty())
        QCOMPARE(text, shown);
    QCOMPARE(QByteArray::fromStdString(ToGbk(text)), gbk);
    // What the user types that GBK cannot hold becomes "?", as the ANSI interfaces do.
    QCOMPARE(ToGbk(text + QChar(0x0E01) + QStringLiteral("网")),
             gbk.toStdString() + "?" + GbkFromUtf8("网"));
}

void EditorTest::noteStaysInsideTheWindowWhateverTheFont() {
    const QFont before = QApplication::font();
    auto restore = qScopeGuard([&] { QApplication::setFont(before); });
    for (int pixels : {11, 24, 40}) {
        QFont font = before;
        font.setPixelSize(pixels);
        QApplication::setFont(font);
        const auto editor = NewQtSetParamForm();
        QtSetParamForm& form = WidgetOf(*editor);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        for (int width : {535, 300}) {
            form.resize(width, 207);
            const QRect note(form.Label1->mapTo(&form, QPoint(0, 0)), form.Label1->size());
            QVERIFY2(form.rect().contains(note),
                     qPrintable(QStringLiteral("%1 px font, %2 px window").arg(pixels).arg(width)));
            QVERIFY(form.Label1->width() >= form.Label1->sizeHint().width());
        }
        form.hide();
    }
}

void EditorTest::resizingSetsTheCommonColumnWidth() {
    writeRules(SampleRules());
    open();
    QHeaderView* header = grid()->horizontalHeader();
    // Widen the first column by dragging its right border.
    const int border = header->sectionViewportPosition(0) + header->sectionSize(0) - 1;
    const int y = header->height() / 2;
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, QPoint(border, y));
    QTest::mouseMove(header->viewport(), QPoint(border + 40, y));
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, QPoint(border + 40, y));
    QCOMPARE(grid()->columnWidth(0), 210);

    form_->resize(800, 300);
    QCOMPARE(grid()->width(), 800);
    for (int c = 0; c < 3; ++c)
        QCOMPARE(grid()->columnWidth(c), 258);
    // A new row has the same height as the others.
    clickCell(2, 4);
    QCOMPARE(grid()->rowHeight(4), 24);
}

void EditorTest::typeEditorStaysOverItsCellWhileTheGridScrolls() {
    std::vector<SampleRule> rules(30, SampleRules()[0]);
    writeRules(rules);
    open();
    clickCell(0, 2);
    QTRY_VERIFY(combo()->isVisible());
    auto overCell = [this] {
        const QRect cell = grid()->visualRect(index(0, 2));
        const QPoint at = grid()->viewport()->mapTo(form_->Panel1, cell.topLeft());
        return (combo()->geometry().topLeft() - at).manhattanLength() <= 4 &&
               combo()->size() == cell.size();
    };
    QVERIFY(overCell());
    QVERIFY(combo()->mask().isEmpty());

    // Scrolled out of sight, the editor covers neither the header nor the toolbar.
    grid()->verticalScrollBar()->setValue(10);
    QVERIFY(overCell());
    const QRegion shown = combo()->mask().isEmpty() ? QRegion(combo()->rect()) : combo()->mask();
    QVERIFY(!shown.intersects(combo()->rect()));

    grid()->verticalScrollBar()->setValue(0);
    QVERIFY(overCell());
    QVERIFY(combo()->mask().isEmpty());
    QVERIFY(combo()->hasFocus());
}

void EditorTest::testerShowsTheDecidingRuleForTheTypedAddress() {
    writeRules(SampleRules());
    open();
    // Typed, then Enter in the edit: the deciding row becomes the grid's current row.
    form_->EditTestUrl->setFocus();
    QTest::keyClicks(form_->EditTestUrl, QStringLiteral("http://192.168.5.20/"));
    QTest::keyClick(form_->EditTestUrl, Qt::Key_Return);
    QCOMPARE(form_->LabelTestResult->text(), QStringLiteral("第 2 条规则：PROXY 10.0.0.2:3128"));
    QCOMPARE(grid()->currentIndex(), index(1, 2));
    QVERIFY(form_->isVisible());

    // The button, with an unsaved edit of the proxy cell.
    clickCell(2, 1);
    QTRY_VERIFY(qobject_cast<QLineEdit*>(QApplication::focusWidget()) != nullptr);
    typeText(QStringLiteral("9"));
    form_->EditTestUrl->clear();
    QTest::keyClicks(form_->EditTestUrl, QStringLiteral("www.example.com/a"));
    QTest::mouseClick(form_->ButtonTest, Qt::LeftButton);
    // The editor took the key in place of the selected text: "9" is the unsaved proxy.
    QCOMPARE(form_->LabelTestResult->text(), QStringLiteral("第 1 条规则：PROXY 9"));
    QCOMPARE(grid()->currentIndex(), index(1, 1));

    form_->EditTestUrl->setText(QStringLiteral("10.1.1.1"));
    QTest::mouseClick(form_->ButtonTest, Qt::LeftButton);
    QCOMPARE(form_->LabelTestResult->text(), QStringLiteral("没有规则匹配：DIRECT"));
    QVERIFY(errors_.isEmpty());
}

QTEST_MAIN(EditorTest)
#include "EditorTest.moc"
