// Opens the rule editor over a temporary folder holding a few sample rules, and stays open
// until it is closed; scripts/screenshot-editor.sh takes its picture. With --type-editor the
// type cell of row 2 is selected, so that its drop-down list is open; with --test ADDRESS the
// rule tester is run for the address.
#include "EditorTestSupport.h"
#include "forms/setParamUnit.h"
#include "rules/RuleFile.h"
#include "ui/qt/QtSetParamForm.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir folder;
    if (!folder.isValid())
        return 1;
    const std::string rules = folder.filePath(QStringLiteral("configData.ini")).toStdString();
    tarnwick::SaveRules(tarnwick::testing::TableOf(tarnwick::testing::SampleRules()), rules);

    const auto editor = tarnwick::NewQtSetParamForm();
    editor->setPacFilePath(folder.filePath(QStringLiteral("IETarnwick.pac")).toStdString());
    editor->setRuleFilePath(rules);
    tarnwick::QtSetParamForm& form = tarnwick::WidgetOf(*editor);
    if (app.arguments().contains(QStringLiteral("--type-editor"))) {
        QTimer::singleShot(300, &form, [&form] {
            QTableView* grid = form.findChild<QTableView*>(QStringLiteral("StringGrid1"));
            grid->setCurrentIndex(grid->model()->index(1, 0));
        });
    }
    const int test = app.arguments().indexOf(QStringLiteral("--test"));
    if (test > 0 && test + 1 < app.arguments().size()) {
        const QString address = app.arguments().at(test + 1);
        QTimer::singleShot(300, &form, [&form, address] {
            form.EditTestUrl->setText(address);
            form.ButtonTest->click();
        });
    }
    editor->Execute(nullptr);
    return 0;
}
