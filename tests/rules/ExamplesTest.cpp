#include "rules/CodePage.h"
#include "rules/PacScript.h"
#include "rules/RuleFile.h"
#include "rules/RuleTable.h"

#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

// The table of the documented examples: a subnet rule in row 1, an empty row 2, and an
// address-that-cannot-be-resolved rule in row 3.
RuleTable ExampleTable() {
    RuleTable table;
    table.SetRuleType(1, 2);
    table.setCell(2, 1, "10.0.0.1:8080");
    table.SetRuleType(3, 3);
    table.setCell(2, 3, "10.0.0.2:3128");
    return table;
}

} // namespace

TEST(Examples, PacScriptIsByteExact) {
    EXPECT_EQ(BuildPacScript(ExampleTable()),
              "function FindProxyForURL(url, host){\r\n"
              "if(isInNet(host, \"192.168.0.0\", \"255.255.255.0\")){\r\n"
              "return \"PROXY 10.0.0.1:8080\";\r\n"
              "}\r\n"
              "if(!isResolvable(host)){\r\n"
              "return \"PROXY 10.0.0.2:3128\";\r\n"
              "}\r\n"
              "return \"DIRECT\";\r\n"
              "}");
}

TEST(Examples, RuleFileIsByteExact) {
    EXPECT_EQ(RuleFileText(ExampleTable()), "[row1]\r\n"
                                            "col0=" +
                                                GbkFromUtf8("子网") +
                                                "\r\n"
                                                "col1=192.168.0.1;255.255.255.0\r\n"
                                                "col2=10.0.0.1:8080\r\n"
                                                "[row3]\r\n"
                                                "col0=" +
                                                GbkFromUtf8("不能解析的地址") +
                                                "\r\n"
                                                "col1=" +
                                                GbkFromUtf8("子网") +
                                                "\r\n"
                                                "col2=10.0.0.2:3128\r\n");
}

TEST(Examples, TypeNamesAreGbk) {
    EXPECT_EQ(RuleTypeNames()[2], "\xD7\xD3\xCD\xF8");
}
