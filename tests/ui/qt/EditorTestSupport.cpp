#include "EditorTestSupport.h"

#include "rules/CodePage.h"

#include <QFile>

namespace tarnwick::testing {

QString TypeName(int index) {
    return QString::fromStdString(Utf8FromGbk(RuleTypeNames().at(static_cast<std::size_t>(index))));
}

RuleTable TableOf(const std::vector<SampleRule>& rules) {
    RuleTable table;
    table.ensureRowCount(static_cast<int>(rules.size()) + 1);
    int row = 1;
    for (const SampleRule& rule : rules) {
        table.setCell(RuleTable::TypeColumn, row, GbkFromUtf8(rule.type.toStdString()));
        table.setCell(RuleTable::ValueColumn, row, GbkFromUtf8(rule.value.toStdString()));
        table.setCell(RuleTable::ProxyColumn, row, GbkFromUtf8(rule.proxy.toStdString()));
        ++row;
    }
    return table;
}

std::vector<SampleRule> SampleRules() {
    return {
        {TypeName(0), QStringLiteral("http://*.example.com/*"), QStringLiteral("10.0.0.1:8080")},
        {TypeName(2), QStringLiteral("192.168.5.1;255.255.255.0"), QStringLiteral("10.0.0.2:3128")},
        {TypeName(1), QStringLiteral("*.invalid"), QStringLiteral("10.0.0.3:80")},
    };
}

std::string ReadWholeFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::string();
    return file.readAll().toStdString();
}

} // namespace tarnwick::testing
