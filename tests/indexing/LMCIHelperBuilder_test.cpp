// The index documents built from records: field names, escaping, limits, the event time, the
// common fields and the content identifiers.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "IndexingTestHelpers.h"
#include "indexing/LMCIHelper.h"
#include "indexing/LMFieldDiscovery.h"
#include "platform/log/EvLMDebug.h"

using namespace LogMonitoring;
using namespace indextest;

namespace {

class BuilderTest : public ::testing::Test {
protected:
    UtcZone zone;
    LMCIHelper helper{42, "client-a"};
    TestDocument doc;

    // Builds the document of one record through the dispatcher and returns its text.
    std::string build(TemplateXML& t, const std::vector<std::string>& texts, const std::string& text,
                      FilteredMessageInfo info = makeInfo()) {
        doc.setTemplateXml(&t);
        TestRow row(t, texts, text);
        LMDocument* d = &doc;
        EXPECT_EQ(0, helper.handleGenerateCIXML(d, &row, info));
        return helper.currentDoc;
    }
};

TEST_F(BuilderTest, WholeDocumentOfOneRecord) {
    TemplateXML t = makeTemplate({{"When", Date, CustomPattern, true}, {"Status", Number, Decimal, true}});
    t.mutable_columns(0).set_customFormat("YYYY-MM-DD HH:MM:SS");
    const std::string got = build(t, {"2024-03-05 07:04:09", "200"}, "2024-03-05 07:04:09 200");
    const std::string expected =
        "<doc>\n"
        "<field name = \"when_sf\">2024-03-05 07:04:09</field>\n"
        "<field name = \"status_if\">200</field>\n"
        "<field name = \"contentid\">KQLM_C42_MP5_F3_L7</field>\n"
        "<field name = \"LogLine\">2024-03-05 07:04:09 200</field>\n"
        "<field name = \"ClientName\">client-a</field>\n"
        "<field name = \"FileName\">x.log</field>\n"
        "<field name = \"parentfolder_sf\">app</field>\n"
        "<field name = \"parentfolder_lf\">app</field>\n"
        "<field name = \"FilePath\">/var/log/app/x.log</field>\n"
        "<field name = \"TemplateId\">11</field>\n"
        "<field name = \"MonitoringPolicyId\">5</field>\n"
        "<field name = \"isLMDoc\">1</field>\n"
        "<field name = \"MonitoringPolicyName\">policy</field>\n"
        "<field name = \"TemplateName\">tmpl</field>\n"
        "<field name = \"ClientId\">42</field>\n"
        "<field name = \"eventTime\">2024-3-5T7:4:9.0Z</field>\n"
        "<field name = \"cistate\">1</field>\n"
        "<field name = \"LineNumber\">1</field>\n"
        "<field name = \"FileUniqueId\">0</field>\n"
        "<field name = \"clientname\">client-a</field>\n"
        "<field name = \"monitoringpolicyname\">policy</field>\n"
        "<field name = \"filename\">x.log</field>\n"
        "<field name = \"templatename\">tmpl</field>\n"
        "</doc>\n";
    // Discovery adds its signature after the columns; everything else is fixed.
    std::string withoutSignature = got;
    const size_t hash = withoutSignature.find("<field name = \"hash_if\">");
    if (hash != std::string::npos) withoutSignature.erase(hash, withoutSignature.find('\n', hash) - hash + 1);
    EXPECT_EQ(expected, withoutSignature);
    ASSERT_EQ(1u, helper.docMap.size()) << "the document is handed to batching, in the bucket of its day";
    EXPECT_EQ(got, helper.docMap.begin()->second.docs);
    EXPECT_EQ(1, helper.docCount);
    struct tm day {};
    day.tm_year = 124;
    day.tm_mon = 2;
    day.tm_mday = 5;
    EXPECT_EQ(static_cast<uint64_t>(timegm(&day)), helper.currentDayKey);
    EXPECT_EQ(helper.currentDayKey, helper.docMap.begin()->first);
    EXPECT_EQ(std::vector<int32_t>{3}, helper.batchFileIds);
}

TEST_F(BuilderTest, FieldNamesFollowTypeAndKind) {
    struct Case {
        ColumnDef column;
        std::string value;
        std::vector<std::string> fields;
    };
    const std::vector<Case> cases = {
        {{"Msg", String, FreeText, true}, "x", {"msg_lf=x", "msg_sf=x"}},
        {{"Msg", String, FreeText, true, true}, "x", {"msg_lt=x"}},
        {{"Msg", String, FreeText, true, false, true}, "x", {"msg_lf=x", "msg_sf=x"}},
        {{"Msg", String, FreeText, false}, "x", {"msg_ln=x"}},
        {{"Bytes", Number, Decimal, false}, "12", {"bytes_in=12"}},
        {{"Ratio", Number, FloatingPoint, true}, "1.5", {"ratio_df=1.5"}},
        {{"Code", Number, Hexadecimal, false}, "0x1F", {"code_sn=0x1F", "Code_DEC_OF_HEX=31"}},
        {{"Code", Number, Hexadecimal, true}, "zz", {"code_sf=zz", "Code_DEC_OF_HEX=0"}},
        {{"Code", Number, Hexadecimal, true}, "FFFFFFFFFF", {"code_sf=FFFFFFFFFF", "Code_DEC_OF_HEX=2147483647"}},
        {{"Epoch", Timestamp, Decimal, true}, "1700000000", {"epoch_if=1700000000"}},
        {{"Ids", List, IdList, false}, "1,2", {"ids_sn=1,2"}},
    };
    for (const Case& c : cases) {
        LMCIHelper h(1, "c");
        TemplateXML t = makeTemplate({c.column});
        doc.setTemplateXml(&t);
        TestRow row(t, {c.value}, c.value);
        FilteredMessageInfo info = makeInfo();
        LMDocument* d = &doc;
        h.generateCIXMLFromTemplate(d, &row, info);
        std::vector<std::string> got;
        for (const std::string& f : fieldsOf(h.currentDoc)) {
            if (f.rfind("contentid=", 0) == 0) break;
            if (f.rfind("hash_if=", 0) != 0) got.push_back(f);
        }
        EXPECT_EQ(c.fields, got) << c.column.name << " " << c.value;
    }
}

TEST_F(BuilderTest, ColumnValuesAreEscapedTwiceAndCommonFieldsOnce) {
    helper.setClientName("a<b & c");
    TemplateXML t = makeTemplate({{"Msg", String, FreeText, false}});
    const std::string got = build(t, {"a<b & c"}, "a<b & c");
    EXPECT_EQ("a&amp;lt;b &amp;amp; c", fieldValue(got, "msg_ln"));
    EXPECT_EQ("a&amp;lt;b &amp;amp; c", fieldValue(got, "LogLine"));
    EXPECT_EQ("a&lt;b &amp; c", fieldValue(got, "ClientName"));
}

TEST_F(BuilderTest, ControlBytesVanishExceptTabLineFeedAndReturn) {
    std::string value = "a";
    for (int c = 1; c < 0x20; ++c) value += static_cast<char>(c);
    value += "z";
    TemplateXML t = makeTemplate({{"Msg", String, FreeText, false}});
    const std::string got = build(t, {value}, value);
    EXPECT_EQ("a\t\n\rz", fieldValue(got, "msg_ln"));
    EXPECT_EQ("a\t\n\rz", fieldValue(got, "LogLine"));
}

TEST_F(BuilderTest, IntegersBeyondSixtyFourBitsAreSkipped) {
    struct Case {
        std::string value;
        bool written;
    };
    const std::vector<Case> cases = {{"9223372036854775807", true},  {"9223372036854775808", false},
                                     {"-9223372036854775808", false}, {"12345678901234567890", false},
                                     {"-922337203685477580", true},   {"1", true}};
    for (const Case& c : cases) {
        EvLogCapture capture;
        LMCIHelper h(1, "c");
        TemplateXML t = makeTemplate({{"N", Number, Decimal, false}, {"After", String, FreeText, false}});
        doc.setTemplateXml(&t);
        TestRow row(t, {c.value, "next"}, c.value + " next");
        FilteredMessageInfo info = makeInfo();
        LMDocument* d = &doc;
        h.generateCIXMLFromTemplate(d, &row, info);
        EXPECT_EQ(c.written, hasField(h.currentDoc, "n_in")) << c.value;
        EXPECT_EQ("next", fieldValue(h.currentDoc, "after_ln")) << "the next column is still written";
        EXPECT_EQ(!c.written,
                  capture.contains("", 6, "skipping the Number[" + c.value + "] as it has crossed the maximum limit."));
    }
}

TEST_F(BuilderTest, RecordsLongerThanTheLimitGetASecondDocument) {
    TemplateXML t = makeTemplate({{"Msg", String, FreeText, false}});
    for (size_t length : {size_t{5120}, size_t{5121}}) {
        LMCIHelper h(42, "c");
        std::string text(length - 1, 'x');
        text.insert(0, "&");
        doc.setTemplateXml(&t);
        TestRow row(t, {"m"}, text);
        FilteredMessageInfo info = makeInfo();
        LMDocument* d = &doc;
        h.generateCIXMLFromTemplate(d, &row, info);
        const std::string& got = h.currentDoc;
        const size_t second = got.find("</doc>\n<doc>\n");
        if (length == 5120) {
            EXPECT_EQ(std::string::npos, second);
            EXPECT_FALSE(hasField(got, "storecontentid_sn"));
            continue;
        }
        ASSERT_NE(std::string::npos, second);
        const std::string first = got.substr(0, second);
        const std::string big = got.substr(second + 7);
        // "&" escaped once is "&amp;" (5 bytes); the first 5120 bytes of that are escaped again.
        EXPECT_EQ("&amp;amp;" + std::string(5115, 'x'), fieldValue(first, "LogLine"));
        EXPECT_EQ("KQLM_C42_MP5_F3_L7_big", fieldValue(first, "storecontentid_sn"));
        EXPECT_EQ((std::vector<std::string>{"logline_sn=&amp;" + std::string(5120, 'x'),
                                            "origcontentid_sf=KQLM_C42_MP5_F3_L7",
                                            "contentid=KQLM_C42_MP5_F3_L7_big", "MonitoringPolicyId=5"}),
                  fieldsOf(big));
        EXPECT_EQ("</doc>\n", big.substr(big.size() - 7));
    }
}

TEST_F(BuilderTest, EventTimeComesFromTheRecordOrTheClock) {
    struct Case {
        ColumnDef column;
        std::string customFormat;
        std::string value;
        std::string eventTime; // "" means now
    };
    const std::vector<Case> cases = {
        {{"T", Date, EpochSeconds}, "", "1700000000", "2023-11-14T22:13:20.0Z"},
        {{"T", Date, EpochSecondsFraction}, "", "1700000000.75", "2023-11-14T22:13:20.0Z"},
        {{"T", Timestamp, Decimal}, "", "1700000000", "2023-11-14T22:13:20.0Z"},
        {{"T", Timestamp, FloatingPoint}, "", "1700000000.9", "2023-11-14T22:13:20.0Z"},
        {{"T", Date, CustomPattern}, "DD-MMM-YYYY HH:MM:SS", "05-Jan-2020 08:00:00", "2020-1-5T8:0:0.0Z"},
        {{"T", Date, CustomPattern}, "DD-MMM-YY HH:MM:SS", "05-Jan-20 08:00:00", "2020-1-5T8:0:0.0Z"},
        {{"T", String, FreeText}, "", "no time here", ""},
    };
    for (const Case& c : cases) {
        LMCIHelper h(1, "c");
        TemplateXML t = makeTemplate({c.column});
        if (!c.customFormat.empty()) t.mutable_columns(0).set_customFormat(c.customFormat);
        doc.setTemplateXml(&t);
        TestRow row(t, {c.value}, c.value);
        FilteredMessageInfo info = makeInfo();
        LMDocument* d = &doc;
        const time_t before = time(nullptr);
        h.generateCIXMLFromTemplate(d, &row, info);
        const std::string got = fieldValue(h.currentDoc, "eventTime");
        if (!c.eventTime.empty()) {
            EXPECT_EQ(c.eventTime, got) << c.value;
            continue;
        }
        struct tm now {};
        gmtime_r(&before, &now);
        char prefix[32];
        snprintf(prefix, sizeof prefix, "%d-%d-%dT", now.tm_year + 1900, now.tm_mon + 1, now.tm_mday);
        EXPECT_EQ(0u, got.find(prefix)) << got;
    }
}

TEST(EventTimeNormalisation, YearsAndCenturies) {
    UtcZone zone;
    const time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    const int year = local.tm_year + 1900;
    auto normalised = [](int y, int month, int day) {
        struct tm t {};
        t.tm_year = y;
        t.tm_mon = month;
        t.tm_mday = day;
        t.tm_hour = 10;
        EXPECT_TRUE(validateAndGetUTC(t, true));
        return t.tm_year + 1900;
    };
    EXPECT_EQ(2024, normalised(2024, 0, 5));
    EXPECT_EQ(year, normalised(year % 100, 0, 5)) << "two digits up to this year are this century";
    EXPECT_EQ(year - 100 + 1, normalised(year % 100 + 1, 0, 5)) << "a later two-digit year is last century";
    EXPECT_EQ(year, normalised(local.tm_year, 0, 5)) << "years since 1900";
    // Without a year: today is this year; a date days ahead is last year's.
    EXPECT_EQ(year, normalised(0, local.tm_mon, local.tm_mday - (local.tm_mday > 1 ? 1 : 0)));
    struct tm ahead = local;
    ahead.tm_mday += 3;
    mktime(&ahead);
    if (ahead.tm_year == local.tm_year) {
        EXPECT_EQ(year - 1, normalised(0, ahead.tm_mon, ahead.tm_mday));
    }

    struct tm noDay {};
    noDay.tm_year = 2024;
    EXPECT_FALSE(validateAndGetUTC(noDay, false));
    EXPECT_EQ(2024, noDay.tm_year) << "left unchanged";
}

TEST_F(BuilderTest, DataSetJobIdOfZeroWritesNothing) {
    struct Case {
        std::string value;
        bool filterable;
        std::string written;
    };
    for (const Case& c : std::vector<Case>{{"0", true, "<none>"}, {"17", true, "17"}, {"17", false, "17"}}) {
        LMCIHelper h(1, "c");
        TemplateXML t = makeTemplate({{"jobid", Number, Decimal, c.filterable}});
        TestRow row(t, {c.value}, "row");
        FilteredMessageInfo info = makeInfo("Event Viewer");
        info.recordKind = 5;
        LMDocument* d = &doc;
        ASSERT_EQ(0, h.handleGenerateCIXML(d, &row, info));
        EXPECT_EQ(c.written, fieldValue(h.currentDoc, c.filterable ? "jobid_if" : "jobid_in")) << c.value;
    }
}

TEST_F(BuilderTest, TagsUserAndParentFolders) {
    std::string tags = "a,,b";
    helper.setUploadTags(tags);
    helper.setUserId(9);
    TemplateXML t = makeTemplate({{"Msg", String, FreeText, false}});
    std::string got = build(t, {"m"}, "m");
    std::vector<std::string> tagFields;
    for (const std::string& f : fieldsOf(got)) {
        if (f.rfind("tag_", 0) == 0) tagFields.push_back(f);
    }
    EXPECT_EQ((std::vector<std::string>{"tag_ss=a", "tag_ls=a", "tag_ss=b", "tag_ls=b"}), tagFields);
    EXPECT_EQ("9", fieldValue(got, "kquploaduser_if"));

    struct Case {
        std::string path;
        std::string fileName;
        std::string parent;
    };
    for (const Case& c : std::vector<Case>{{"/var/log/app/x.log", "x.log", "app"},
                                           {"x.log", "x.log", "<none>"},
                                           {"/x.log", "x.log", "<none>"},
                                           {"app/x.log", "x.log", "<none>"},
                                           {"/app/x.log", "x.log", "app"}}) {
        got = build(t, {"m"}, "m", makeInfo(c.path));
        EXPECT_EQ(c.fileName, fieldValue(got, "FileName")) << c.path;
        EXPECT_EQ(c.parent, fieldValue(got, "parentfolder_sf")) << c.path;
        EXPECT_EQ(c.parent, fieldValue(got, "parentfolder_lf")) << c.path;
        EXPECT_EQ(c.path, fieldValue(got, "FilePath"));
    }

    std::string request = "77";
    helper.setUploadRequestId(request);
    got = build(t, {"m"}, "m");
    EXPECT_EQ("KQLM_C42_MP5_F3_L7_R77", fieldValue(got, "contentid"));
    EXPECT_FALSE(hasField(got, "parentfolder_sf"));
}

TEST_F(BuilderTest, GlobalMonitoringAndPolicyOverride) {
    helper.cloudPolicyId = 8;
    helper.globalPolicyId = 99;
    TemplateXML t = makeTemplate({{"Msg", String, FreeText, false}});
    const std::string got = build(t, {"m"}, "m");
    EXPECT_EQ("-1", fieldValue(got, "ClientId"));
    EXPECT_EQ("KQLM_C42_MP99_F3_L7", fieldValue(got, "contentid"));
    EXPECT_EQ("99", fieldValue(got, "MonitoringPolicyId"));
}

TEST_F(BuilderTest, HeaderIdentityAndFileIds) {
    helper.setClientName("  \"host-7.\": ");
    helper.setOrvexerName("  orv one  ");
    TemplateXML t = makeTemplate({{"Msg", String, FreeText, false}});
    std::string got = build(t, {"m"}, "m");
    EXPECT_EQ("host-7", fieldValue(got, "ClientName"));
    EXPECT_EQ("orv one", fieldValue(got, "orvexer_sf"));
    helper.setClientName(" .: ");
    EXPECT_EQ("host-7", helper.clientName) << "an empty result keeps the name";
    helper.clearHeadderInfo();
    got = build(t, {"m"}, "m");
    EXPECT_EQ("client-a", fieldValue(got, "ClientName"));
    EXPECT_FALSE(hasField(got, "orvexer_sf"));

    FilteredMessageInfo other = makeInfo();
    other.uniqueFileId = 4;
    build(t, {"m"}, "m", other);
    build(t, {"m"}, "m", makeInfo());
    EXPECT_EQ((std::vector<int32_t>{3, 4, 3}), helper.batchFileIds);
}

TEST_F(BuilderTest, ComplianceRecordsCarryTheArchiveOrigin) {
    FilteredMessageInfo info = makeInfo("/arch/in/mail.eml");
    info.recordKind = 10;
    MIFIDOptions& o = info.complianceOptions;
    o.jobId = 12;
    o.applicationId = 3;
    o.sourceClientId = 4;
    o.fileKey = "/arch/in/mail.eml";
    o.fileName = "mail.eml";
    o.fileGuid = "g-1";
    o.archChunkId = 5;
    o.archChunkOffset = 6;
    o.vestryNumber = 7;
    o.appTypeId = 8;
    helper.cloudPolicyId = 1;
    TemplateXML t = makeTemplate({{"Msg", String, FreeText, false}});
    const std::string got = build(t, {"m"}, "a&b", info);
    const std::string key = "J12_F" + std::to_string(std::hash<std::string>{}(o.fileKey));
    std::vector<std::string> fields;
    std::string eventTime;
    bool started = false;
    for (const std::string& f : fieldsOf(got)) {
        if (f.rfind("FileUniqueId=", 0) == 0) started = true;
        if (f.rfind("eventTime=", 0) == 0) eventTime = f;
        if (started) fields.push_back(f);
    }
    ASSERT_FALSE(eventTime.empty());
    EXPECT_EQ((std::vector<std::string>{
                  "FileUniqueId=" + key, "contentid=KQLM_C42_MP5_" + key + "_L7", "logline_sn=a&amp;amp;b",
                  "ClientName=client-a", "FileName=mail.eml", "parentfolder_sf=in", "parentfolder_lf=in",
                  "FilePath=/arch/in/mail.eml", "TemplateId=11", "MonitoringPolicyId=5", "isLMDoc=1",
                  "MonitoringPolicyName=policy", "TemplateName=tmpl", "ClientId=42",
                  eventTime, "cistate=1", "LineNumber=1", "clientname=client-a",
                  "monitoringpolicyname=policy", "filename=mail.eml", "templatename=tmpl", "fileGuid_sn=g-1",
                  "vestryNumber_in=7", "sourceClientId_in=4", "archChunkId_in=5", "archChunkOffSet_in=6",
                  "subclientId_in=3", "appTypeId_in=8", "backupJobId_if=12"}),
              fields);
}

TEST_F(BuilderTest, SecondaryColumnsAndExtractionRules) {
    TemplateXML primary = makeTemplate({{"Msg", String, FreeText, false}});
    TemplateXML secondary;
    Column& user = secondary.add_columns(makeColumn({"User", String, FreeText, true}));
    user.mutable_columnEntity().set_name("user");
    Column& action = secondary.add_columns(makeColumn({"Action", String, FreeText, false}));
    action.mutable_columnEntity().set_name("action");
    action.set_columnId(6);
    action.mutable_extractionRule().set_regularExpression("den(y|ied)");
    action.mutable_extractionRule().set_replacementText("BLOCKED");
    Column& code = secondary.add_columns(makeColumn({"Code", String, FreeText, false}));
    code.mutable_columnEntity().set_name("code");
    code.set_columnId(7);
    code.mutable_extractionRule().set_regularExpression("E([0-9]+)");
    code.mutable_extractionRule().set_groupNumber("1");
    Column& when = secondary.add_columns(makeColumn({"When", Date, CustomPattern, true}));
    when.mutable_columnEntity().set_name("when");
    when.set_customFormat("YYYY-MM-DD HH:MM:SS");
    Column& skipped = secondary.add_columns(makeColumn({"Hidden", String, FreeText, false}));
    skipped.mutable_columnEntity().set_name("hidden");
    skipped.set_indexed(0);
    Column& absent = secondary.add_columns(makeColumn({"Absent", String, FreeText, false}));
    absent.mutable_columnEntity().set_name("absent");

    doc.setTemplateXml(&primary);
    doc.setSecondaryTemplateXml(&secondary);
    doc.setSecondarytemplateId(21);
    struct Case {
        std::string action;
        std::string actionField;
    };
    for (const Case& c : std::vector<Case>{{"denied", "BLOCKED"}, {"allowed", "<none>"}}) {
        LMCIHelper h(1, "c");
        TestRow row(primary, {"m"}, "m");
        row.addSecondary(user, "user", "bob");
        row.addSecondary(action, "action", c.action);
        row.addSecondary(code, "code", "E42");
        row.addSecondary(when, "when", "2024-03-05 07:04:09");
        row.addSecondary(skipped, "hidden", "h");
        FilteredMessageInfo info = makeInfo();
        LMDocument* d = &doc;
        ASSERT_EQ(0, h.generateCIXMLFromTemplate(d, &row, info));
        const std::string& got = h.currentDoc;
        EXPECT_EQ("bob", fieldValue(got, "user_lf"));
        EXPECT_EQ("bob", fieldValue(got, "user_sf"));
        EXPECT_EQ(c.actionField, fieldValue(got, "action6_ln")) << c.action;
        EXPECT_EQ("42", fieldValue(got, "code7_ln"));
        EXPECT_EQ("2024-3-5T7:4:9.0Z", fieldValue(got, "when_tf"));
        EXPECT_FALSE(hasField(got, "hidden_ln"));
        EXPECT_FALSE(hasField(got, "absent_ln"));
        EXPECT_EQ("21", fieldValue(got, "TemplateId")) << "the secondary template id names the template";
    }
    doc.setSecondaryTemplateXml(nullptr);
}

TEST_F(BuilderTest, QuilmarLogLines) {
    TemplateXML t = makeTemplate({{"JobId", String, FreeText, true},
                                  {"Count", Number, Decimal, false},
                                  {"Code", Number, Hexadecimal, false},
                                  {"Message", String, FreeText, false}});
    struct Case {
        std::vector<std::string> values;
        std::string jobId;
        std::string count;
    };
    for (const Case& c : std::vector<Case>{{{"12a", "000", "0xAB", "hello"}, "<none>", "0"},
                                           {{"0042", "x", "0xAB", "hello"}, "0042", "0"},
                                           {{"7", "99999999999999999999", "0xAB", "m"}, "7", "99999999999999999999"}}) {
        LMCIHelper h(1, "c");
        doc.setTemplateXml(&t);
        TestRow row(t, c.values, "line");
        FilteredMessageInfo info = makeInfo();
        info.templateId = 1;
        LMDocument* d = &doc;
        ASSERT_EQ(0, h.handleGenerateCIXML(d, &row, info));
        EXPECT_EQ(c.jobId, fieldValue(h.currentDoc, "jobid_if"));
        EXPECT_EQ(c.count, fieldValue(h.currentDoc, "count_in"));
        EXPECT_EQ("0xab", fieldValue(h.currentDoc, "code_sn"));
        EXPECT_EQ("171", fieldValue(h.currentDoc, "Code_DEC_OF_HEX"));
        EXPECT_FALSE(hasField(h.currentDoc, "eventTime")) << "no date column, no event time";
        EXPECT_EQ(1, h.docCount);
    }

    LMCIHelper none(1, "c");
    LMDocument* noDoc = &doc;
    FilteredMessageInfo noInfo = makeInfo();
    EXPECT_EQ(1, none.handleGenerateCIXML(noDoc, nullptr, noInfo)) << "no record, no document";
    EXPECT_TRUE(none.docList.empty() && none.docMap.empty());

    TemplateXML unnamed = makeTemplate({{"A", String, FreeText, false}, {"", String, FreeText, false}});
    LMCIHelper h(1, "c");
    doc.setTemplateXml(&unnamed);
    TestRow row(unnamed, {"a", "b"}, "a b");
    FilteredMessageInfo info = makeInfo();
    info.templateId = 1;
    LMDocument* d = &doc;
    EXPECT_EQ(1, h.handleGenerateCIXML(d, &row, info));
    EXPECT_EQ(0, h.docCount);
    EXPECT_TRUE(h.docList.empty() && h.docMap.empty());
}

// The signature of a text as discovery computes it.
std::string signatureOf(std::string text) {
    std::vector<FieldDiscovery::LocatedPair> pairs;
    FieldDiscovery::sanitizeAndLocatePairs(text, pairs);
    return std::to_string(FieldDiscovery::computeSignature(text, pairs));
}

TEST_F(BuilderTest, SignatureOfTheWholeRecordOrOfTheQuilmarMessage) {
    TemplateXML t = makeTemplate({{"Level", String, FreeText, false}, {"Message", String, FreeText, false}});
    const std::string record = "ERROR user=root action=login failed";
    EXPECT_EQ(signatureOf(record), fieldValue(build(t, {"ERROR", "user=root action=login failed"}, record), "hash_if"));

    FilteredMessageInfo info = makeInfo();
    info.templateId = 1;
    EXPECT_EQ(signatureOf("user=root action=login failed"),
              fieldValue(build(t, {"ERROR", "user=root action=login failed"}, record, info), "hash_if"));
    TemplateXML single = makeTemplate({{"Message", String, FreeText, false}});
    EXPECT_FALSE(hasField(build(single, {"all of it"}, "all of it", info), "hash_if"));
}

TEST_F(BuilderTest, QuilmarDatesSetTheEventTime) {
    TemplateXML t = makeTemplate({{"When", Date, CustomPattern, false}, {"Epoch", Timestamp, Decimal, false}});
    t.mutable_columns(0).set_customFormat("YYYY-MM-DD HH:MM:SS");
    doc.setTemplateXml(&t);
    TestRow row(t, {"2024-03-05 07:04:09", "1700000000"}, "line");
    FilteredMessageInfo info = makeInfo();
    info.templateId = 1;
    LMDocument* d = &doc;
    ASSERT_EQ(0, helper.handleGenerateCIXML(d, &row, info));
    EXPECT_EQ("2024-3-5T7:4:9.0Z", fieldValue(helper.currentDoc, "eventTime"));
}

TEST_F(BuilderTest, PatternHeaderDocuments) {
    LMDataExtractionPatterns patterns;
    LMDataExtractionOption& full = patterns.add_extractionOptions();
    full.set_regularExpression("a<b&(c)");
    full.set_replacementText("X");
    full.set_groupNumber("1");
    full.set_outputFieldName("OutField");
    full.set_inputFieldName("Msg");
    full.set_ruleKind(1);
    full.set_outputDataType(2);
    LMDataExtractionOption& noKind = patterns.add_extractionOptions();
    noKind.set_regularExpression("x");
    noKind.set_inputFieldName("Msg");
    LMDataExtractionOption& match = patterns.add_extractionOptions();
    match.set_regularExpression("y");
    match.set_inputFieldName("Nowhere");
    match.set_ruleKind(0);
    match.set_outputDataType(7);
    std::string xml;
    ASSERT_EQ(0, patterns.serialize(xml));
    TemplateXML t = makeTemplate({{"Hidden", String, FreeText, true}, {"Msg", String, FreeText, true}});
    t.mutable_columns(0).set_columnName("Msg");
    t.mutable_columns(0).set_indexed(0);

    ASSERT_EQ(0, helper.populatePatternHeader(xml, t));
    const std::string once =
        "<doc> <field name = \"pattern\">a<b&(c)</field><field name = \"replace_with\">X</field>"
        "<field name = \"group_no\">1</field> <field name = \"solrfield\">outfield</field>"
        " <field name = \"type\">replace</field><field name = \"outputdatatype\">string</field>"
        " <field name = \"inputfield\">msg_lf</field></doc>"
        "<doc> <field name = \"pattern\">y</field> <field name = \"type\">match</field>"
        "<field name = \"outputdatatype\"></field></doc>";
    EXPECT_EQ(once, helper.patternHeaderDocs);
    ASSERT_EQ(0, helper.populatePatternHeader(xml, t));
    EXPECT_EQ(once + once, helper.patternHeaderDocs);
    EXPECT_EQ(0, helper.populatePatternHeader("", t));
    EvLogCapture capture;
    EXPECT_EQ(1, helper.populatePatternHeader("<not xml", t));
    EXPECT_TRUE(capture.contains("", -1, "pattern xml unserialization failed "));
}

TEST(RegularExpressionEvaluator, GroupsReplacementAndErrors) {
    LMCIHelper h;
    struct Case {
        std::string text, pattern;
        int group;
        std::string result;
    };
    for (const Case& c : std::vector<Case>{{"Error E42 here", "e([0-9]+)", 1, "42"},
                                           {"Error E42 here", "e([0-9]+)", 0, "E42"},
                                           {"Error E42 here", "e([0-9]+)", -1, "replaced"},
                                           {"Error E42 here", "e([0-9]+)", 2, ""},
                                           {"Error E42 here", "zzz", 0, ""},
                                           {"", "a*", 0, ""},
                                           {"abc", "(", 0, ""}}) {
        EXPECT_EQ(c.result, h.regularExpressionEvaluator(c.text, c.pattern, c.group)) << c.pattern;
    }
    EvLogCapture capture;
    h.regularExpressionEvaluator("abc", "([", 0);
    EXPECT_TRUE(capture.contains("", -1, "Error in regex creation"));
}

TEST(XmlCharacters, InvalidCharactersNeverReachADocument) {
    struct Case {
        std::string in, out;
        bool changed;
    };
    const std::vector<Case> cases = {
        {"plain ascii", "plain ascii", false},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", false},
        {"caf\xE9!", "caf\xC3\xA9!", true},                      // a Latin-1 byte
        {"a\x80z", "a\xC2\x80z", true},                          // stray continuation byte
        {"a\xC0\xAFz", "a\xC3\x80\xC2\xAFz", true},              // overlong form
        {"a\xED\xA0\x80z", "a\xC3\xAD\xC2\xA0\xC2\x80z", true},  // encoded surrogate
        {"a\xEF\xBF\xBEz", "a\xEF\xBF\xBDz", true},              // U+FFFE
        {"a\x01\x1F\tz", "a\tz", true},                          // control characters
        {"cut \xE2\x82", "cut ", true},                          // sequence cut by a byte limit
    };
    for (const Case& c : cases) {
        std::string text = c.in;
        EXPECT_EQ(c.changed, EncodeInvalidXMLChar(text)) << c.in;
        EXPECT_EQ(c.out, text) << c.in;
    }
}

TEST(FreeHelpers, NumbersAndLowerCase) {
    EXPECT_FALSE(isNaN(""));
    EXPECT_FALSE(isNaN("0123"));
    EXPECT_TRUE(isNaN("12a"));
    EXPECT_TRUE(isNaN("-1"));
    std::string s = "MiXeD_01";
    lower(s);
    EXPECT_EQ("mixed_01", s);
}

}

namespace {

TEST(SyslogRendering, ForwardedColumnsOnlyWithTheDateBeforeTheTime) {
    UtcZone zone;
    TemplateXML t = makeTemplate({{"eventid", Number, Decimal},
                                  {"occurrencedate", Date, DayMonthYearSlash},
                                  {"occurrencetime", Time, HoursMinutesSeconds},
                                  {"EventId", Number, Decimal},
                                  {"description", String, FreeText},
                                  {"program", String, FreeText}});
    TestDocument doc;
    doc.setTemplateXml(&t);
    TestRow row(t, {"42", "05/03/2024", "10:15:00", "43", "Disk full", ""}, "row");
    FilteredMessageInfo info = makeInfo("Event Viewer");
    info.recordKind = 5;
    LMCIHelper h(1, "c");
    h.setAllowSyslog(true);
    LMDocument* d = &doc;
    ASSERT_EQ(0, h.generateCIXMLFromTemplate(d, &row, info));
    EXPECT_EQ("Eventid = {42}  Occurrencetime = {5 Mar 2024 10:15:00}  Description = {Disk full}  ", h.currentDoc);
    ASSERT_EQ(0, h.handleGenerateCIXML(d, &row, info));
    EXPECT_EQ(0, h.docCount) << "a rendered record is sent by the session, not batched";
    EXPECT_TRUE(h.docList.empty() && h.docMap.empty());
}

}

namespace {

// Event times are converted from local to UTC many times a second; the conversion must agree
// with the C library's for every wall time, across changes of the UTC offset too.
TEST(EventTimeNormalisation, LocalToUtcAgreesWithTheCLibraryAcrossOffsetChanges) {
    const char* saved = getenv("TZ");
    const std::string previous = saved ? saved : "";
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    int compared = 0;
    for (int day : {30, 31}) {
        for (int month : {2, 9}) {
            for (int minute = 0; minute < 24 * 60; minute += 7) {
                struct tm wall {};
                wall.tm_year = 2024;
                wall.tm_mon = month;
                wall.tm_mday = month == 9 ? day - 4 : day; // 26/27 October, 30/31 March
                wall.tm_hour = minute / 60;
                wall.tm_min = minute % 60;
                wall.tm_sec = minute % 60;
                // The hour that occurs twice when clocks go back has two right answers.
                if (month == 9 && wall.tm_mday == 27 && wall.tm_hour == 2) continue;
                struct tm reference = wall;
                reference.tm_year -= 1900;
                reference.tm_isdst = -1;
                const time_t at = mktime(&reference);
                struct tm expected {};
                gmtime_r(&at, &expected);
                struct tm got = wall;
                ASSERT_TRUE(validateAndGetUTC(got, false));
                ASSERT_EQ(expected.tm_year, got.tm_year);
                ASSERT_EQ(expected.tm_mday, got.tm_mday);
                ASSERT_EQ(expected.tm_hour, got.tm_hour) << wall.tm_mday << "." << month + 1 << " " << minute;
                ASSERT_EQ(expected.tm_min, got.tm_min);
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 700);
    if (saved) {
        setenv("TZ", previous.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

}
