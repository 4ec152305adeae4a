// Opens the rule editor over a temporary folder holding a few sample rules, and stays open
// until it is closed; scripts/screenshot-editor.sh takes its picture.
#include "EditorTestSupport.h"
#include "forms/setParamUnit.h"
#include "rules/RuleFile.h"

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir folder;
    if (!folder.isValid())
        return 1;
    const std::string rules = folder.filePath(QStringLiteral("configData.ini")).toStdString();
    tarnwick::SaveRules(tarnwick::testing::TableOf(tarnwick::testing::SampleRules()), rules);

    tarnwick::TsetParamForm form;
    form.setPacFilePath(folder.filePath(QStringLiteral("IETarnwick.pac")).toStdString());
    form.setRuleFilePath(rules);
    form.setNormalState();
    form.exec();
    return 0;
}
