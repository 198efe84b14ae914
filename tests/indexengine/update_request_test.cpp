#include <gtest/gtest.h>

#include "UpdateRequest.h"

using namespace lmindexd;

TEST(UpdateRequest, ReadsBuilderShapedBatches) {
    // The builder writes blanks around "=", a blank after "<add>", and escapes column values
    // twice, so one level of entities survives the parser.
    const std::string body =
        "<add> <doc>\n<field name = \"contentid\">KQLM_C1_MP2_F3_L4</field>\n"
        "<field name = \"msg_lt\">a&amp;lt;b &amp;amp; c</field>\n"
        "<field name = \"ClientName\">x &amp; y</field>\n"
        "<field name = \"tag_ss\">a</field>\n<field name = \"tag_ss\">b</field>\n</doc>\n"
        "<doc>\n<field name = \"contentid\">id2</field>\n</doc>\n</add>";
    std::vector<UpdateCommand> cmds;
    std::string error;
    ASSERT_TRUE(UpdateRequestParser().parse(body, cmds, error)) << error;
    ASSERT_EQ(cmds.size(), 2u);
    const IndexDocument& d = cmds[0].doc;
    ASSERT_EQ(d.fields.size(), 5u);
    EXPECT_EQ(*d.value("msg_lt"), "a&lt;b &amp; c");
    EXPECT_EQ(*d.value("ClientName"), "x & y");
    EXPECT_EQ(d.fields[4], (std::pair<std::string, std::string>{"tag_ss", "b"}));
}

TEST(UpdateRequest, ReadsDeletesCommitsAndEmptyBatches) {
    std::vector<UpdateCommand> cmds;
    std::string error;
    UpdateRequestParser p;
    ASSERT_TRUE(p.parse("<add> </add>", cmds, error)) << error;
    EXPECT_TRUE(cmds.empty());
    ASSERT_TRUE(p.parse("<delete><id>a</id><query>MonitoringPolicyId:5 AND timestamp:[* TO NOW-7DAY] </query></delete>"
                        "<commit/>",
                        cmds, error))
        << error;
    ASSERT_EQ(cmds.size(), 3u);
    EXPECT_EQ(cmds[0].type, UpdateCommand::Type::DeleteById);
    EXPECT_EQ(cmds[0].text, "a");
    EXPECT_EQ(cmds[1].type, UpdateCommand::Type::DeleteByQuery);
    EXPECT_EQ(cmds[2].type, UpdateCommand::Type::Commit);
    cmds.clear();
    ASSERT_TRUE(p.parse("<update><optimize/></update>", cmds, error)) << error;
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(cmds[0].type, UpdateCommand::Type::Optimize);
}

TEST(UpdateRequest, RefusesBadBodiesWithoutPartialCommands) {
    const char* cases[] = {
        "<add><doc><field name=\"contentid\">a</field></doc>",  // unclosed
        "<add><doc><field>x</field></doc></add>",               // field without name
        "<add><item/></add>",                                   // not a doc
        "<rollback/>",                                          // unknown command
        "<delete></delete>",                                    // nothing to delete
        "just text",
        "<add></add> trailing text",
    };
    for (const char* body : cases) {
        std::vector<UpdateCommand> cmds;
        std::string error;
        EXPECT_FALSE(UpdateRequestParser().parse(body, cmds, error)) << body;
        EXPECT_TRUE(cmds.empty()) << body;
        EXPECT_FALSE(error.empty()) << body;
    }
}
