#include "TestFiles.h"

#include "rules/PacScript.h"
#include "rules/RuleFile.h"
#include "rules/RuleTable.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::test;

TEST(Examples, PacScriptIsByteExact) {
    EXPECT_EQ(BuildPacScript(ExampleTable()), ExamplePacScript);
}

TEST(Examples, RuleFileIsByteExact) {
    EXPECT_EQ(RuleFileText(ExampleTable()), ExampleRuleFile());
}
