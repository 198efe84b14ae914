#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <limits>

#include "platform/log/EvLMDebug.h"
#include "platform/messages/XMLDecoder.h"
#include "platform/util/Base64.h"
#include "platform/TestMessages.h"

using LMTest::TestAll;
using LMTest::TestInner;
using LMTest::TestOther;

TEST(Messages, EveryKindSurvivesTheRoundTrip) {
    TestAll m;
    m.set_number(INT64_MIN);
    m.set_text(std::string("a&b<c>d\"e'f\tg\nh\ri\x01j\x1f k \xc3\xa9\xe2\x82\xac  "));
    m.set_secret_plain("p@ss<word>");
    m.set_blob(std::string("\0\xff\x01<&>", 6));
    m.set_ints({INT32_MIN, -1, 0, INT32_MAX});
    m.set_uints({0, 7, UINT32_MAX});
    m.set_bigs({0, UINT64_MAX});
    m.add_inners().set_id(1);
    auto& second = m.add_inners();
    second.set_id(2);
    second.set_label("two");
    m.mutable_inner().set_label("nested");
    m.set_other("   ");

    std::string xml;
    ASSERT_EQ(m.serialize(xml, 0), 0);
    TestAll back;
    ASSERT_EQ(back.unserialize(xml), 0) << xml;

    EXPECT_EQ(back.number(), INT64_MIN);
    EXPECT_EQ(back.text(), m.text());
    EXPECT_EQ(back.secret_plain(), "p@ss<word>");
    EXPECT_EQ(back.secret(), m.secret());
    EXPECT_EQ(xml.find("p@ss"), std::string::npos) << "password must travel protected";
    EXPECT_EQ(back.blob(), std::string("\0\xff\x01<&>", 6));
    EXPECT_EQ(back.ints(), m.ints());
    EXPECT_EQ(back.uints(), m.uints());
    EXPECT_EQ(back.bigs(), m.bigs());
    ASSERT_EQ(back.inners_size(), 2u);
    EXPECT_EQ(back.inners(0).id(), 1);
    EXPECT_FALSE(back.inners(0).has_label());
    EXPECT_EQ(back.inners(1).label(), "two");
    ASSERT_NE(back.inner(), nullptr);
    EXPECT_EQ(back.inner()->label(), "nested");
    EXPECT_FALSE(back.inner()->has_id());
    EXPECT_EQ(back.other(), "   ");
    EXPECT_FALSE(back.has_anything());

    std::string again;
    ASSERT_EQ(back.serialize(again), 0);
    EXPECT_EQ(again, xml);
}

TEST(Messages, XmlFormNamesNamespaceClassAndFields) {
    TestInner m;
    m.set_id(5);
    m.set_label("x");
    std::string xml;
    ASSERT_EQ(m.serialize(xml), 0);
    EXPECT_EQ(xml, "<LMTest_TestInner><id>5</id><label>x</label></LMTest_TestInner>");
}

TEST(Messages, PresenceIsKeptApartFromValue) {
    TestAll m;
    EXPECT_FALSE(m.isSet(1));
    m.set_number(0);
    m.set_text("");
    m.set_ints({});
    m.set_inners_empty();
    EXPECT_TRUE(m.isSet(1));
    EXPECT_TRUE(m.isSet(2));
    EXPECT_TRUE(m.isSet(5));
    EXPECT_TRUE(m.isSet(8));
    EXPECT_FALSE(m.isSet(6));

    // slot 9 has presence 10, slot 10 has presence 9
    m.mutable_inner();
    EXPECT_TRUE(m.isSet(10));
    EXPECT_FALSE(m.isSet(9));
    EXPECT_TRUE(m.isSetSlot(9));

    std::string xml;
    ASSERT_EQ(m.serialize(xml), 0);
    TestAll back;
    ASSERT_EQ(back.unserialize(xml), 0) << xml;
    for (int p : {1, 2, 5, 8, 10}) EXPECT_TRUE(back.isSet(p)) << "presence " << p;
    for (int p : {3, 4, 6, 7, 9, 11}) EXPECT_FALSE(back.isSet(p)) << "presence " << p;
    EXPECT_EQ(back.number(), 0);
    EXPECT_TRUE(back.ints().empty());
    EXPECT_EQ(back.inners_size(), 0u);

    back.clearSlot(1);
    EXPECT_FALSE(back.isSet(1));
}

TEST(Messages, CopiesAreIndependent) {
    TestAll a;
    a.mutable_inner().set_label("a");
    a.add_inners().set_id(1);
    TestAll b = a;
    b.mutable_inner().set_label("b");
    b.mutable_inners(0).set_id(2);
    EXPECT_EQ(a.inner()->label(), "a");
    EXPECT_EQ(a.inners(0).id(), 1);
    TestAll c;
    c = b;
    EXPECT_EQ(c.inner()->label(), "b");
    auto d = c.clone();
    ASSERT_NE(d->as<TestAll>(), nullptr);
    EXPECT_EQ(d->as<TestAll>()->inners(0).id(), 2);
    EXPECT_EQ(d->as<TestInner>(), nullptr);
}

TEST(Messages, AnyClassListKeepsEachClass) {
    TestAll m;
    TestInner i;
    i.set_id(3);
    TestOther o;
    o.set_value(-4);
    m.add_anything(i);
    m.add_anything(o);
    std::string xml;
    ASSERT_EQ(m.serialize(xml), 0);
    std::unique_ptr<CNMessageBase> back = XMLDecoder::decode(xml);
    ASSERT_NE(back, nullptr);
    auto* all = back->as<TestAll>();
    ASSERT_NE(all, nullptr);
    ASSERT_EQ(all->anything_size(), 2u);
    EXPECT_EQ(all->anything(0).getTagID(), TestInner::tagID());
    EXPECT_EQ(all->anything(1).getTagID(), TestOther::tagID());
    EXPECT_EQ(all->anything(1).as<TestOther>()->value(), -4);
}

TEST(Messages, DecoderChoosesTheClassFromTheTextAlone) {
    TestOther o;
    o.set_value(42);
    std::string xml;
    ASSERT_EQ(o.serialize(xml), 0);
    CNMessageBase* m = XMLDecoder::unSerialize(xml, nullptr);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->getTagID(), 0x7700000000ull);
    EXPECT_EQ(m->getModule(), 99u);
    EXPECT_EQ(m->getType(), 2u);
    EXPECT_EQ(m->as<TestOther>()->value(), 42);
    delete m;
    EXPECT_EQ(TestInner::tagID(), (99ull << 24) | 1);
    EXPECT_EQ(MessageCatalogue::findByTag(TestAll::tagID()), &TestAll::messageClass());
}

TEST(Messages, ToleratesWhitespaceAndUnknownFields) {
    TestAll m;
    const std::string xml =
        "<?xml version=\"1.0\"?>\n<LMTest_TestAll>\n  <number> 12 </number>\n  <future>x</future>\n"
        "  <ints>1</ints><ints>2</ints>\n  <inner><LMTest_TestInner><id>+7</id></LMTest_TestInner></inner>\n"
        "</LMTest_TestAll>\n";
    ASSERT_EQ(m.unserialize(xml), 0);
    EXPECT_EQ(m.number(), 12);
    EXPECT_EQ(m.ints(), (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(m.inner()->id(), 7);
}

TEST(Messages, MalformedInputIsRefusedAndLeavesNoTrace) {
    const std::string prefix = "<LMTest_TestAll>";
    const std::string suffix = "</LMTest_TestAll>";
    struct Case {
        const char* what;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"not xml", "hello"},
        {"unclosed", prefix + "<number>1</number>"},
        {"two roots", prefix + suffix + prefix + suffix},
        {"unknown class", "<LMTest_Nothing><number>1</number></LMTest_Nothing>"},
        {"other class", "<LMTest_TestOther><value>1</value></LMTest_TestOther>"},
        {"text in integer", prefix + "<number>12a</number>" + suffix},
        {"empty integer", prefix + "<number></number>" + suffix},
        {"element in integer", prefix + "<number><x/></number>" + suffix},
        {"element in text", prefix + "<text>a<b/>c</text>" + suffix},
        {"int64 overflow", prefix + "<number>9223372036854775808</number>" + suffix},
        {"int32 overflow", prefix + "<ints>2147483648</ints>" + suffix},
        {"negative unsigned", prefix + "<uints>-1</uints>" + suffix},
        {"uint32 overflow", prefix + "<uints>4294967296</uints>" + suffix},
        {"uint64 overflow", prefix + "<bigs>18446744073709551616</bigs>" + suffix},
        {"bad base64", prefix + "<blob>@@@@</blob>" + suffix},
        {"scalar twice", prefix + "<number>1</number><number>2</number>" + suffix},
        {"message of wrong class", prefix + "<inner><LMTest_TestOther/></inner>" + suffix},
        {"text for a message", prefix + "<inner>abc</inner>" + suffix},
        {"empty message field", prefix + "<inner></inner>" + suffix},
        {"unknown nested class", prefix + "<anything><LMTest_Nope/></anything>" + suffix},
        {"bad nested value", prefix + "<inners><LMTest_TestInner><id>x</id></LMTest_TestInner></inners>" + suffix},
        {"stray text", prefix + "oops" + suffix},
    };
    for (const auto& c : cases) {
        TestAll m;
        m.set_number(99);
        m.set_text("kept");
        EXPECT_NE(m.unserialize(c.text), 0) << c.what;
        EXPECT_EQ(m.number(), 99) << c.what;
        EXPECT_EQ(m.text(), "kept") << c.what;
        EXPECT_FALSE(m.isSet(5)) << c.what;
        if (std::string(c.what) != "other class") {
            EXPECT_EQ(XMLDecoder::decode(c.text), nullptr) << c.what;
        }
    }
}

TEST(Messages, DeepNestingIsRefusedWithoutCrashing) {
    std::string open, close;
    for (int i = 0; i < 200; ++i) {
        open += "<LMTest_TestAll><anything>";
        close = "</anything></LMTest_TestAll>" + close;
    }
    std::string text = open + "<LMTest_TestInner/>" + close;
    EXPECT_EQ(XMLDecoder::decode(text), nullptr);
}

TEST(Messages, NulInTextIsReportedNotTruncated) {
    TestAll m;
    m.set_text(std::string("a\0b", 3));
    std::string xml = "unchanged";
    EXPECT_NE(m.serialize(xml), 0);
    EXPECT_EQ(xml, "unchanged");
}

TEST(Messages, WrongKindAccessIsHarmless) {
    TestAll m;
    m.setText(1, "not an integer field"); // slot 1 is an integer
    m.setInt(77, 5);                      // no such slot
    EXPECT_FALSE(m.isSet(1));
    EXPECT_EQ(m.getText(1), "");
    EXPECT_EQ(m.getInt(77), 0);
}

TEST(Base64, EncodesAndRejects) {
    EXPECT_EQ(Base64::encode(""), "");
    EXPECT_EQ(Base64::encode("f"), "Zg==");
    EXPECT_EQ(Base64::encode("fo"), "Zm8=");
    EXPECT_EQ(Base64::encode("foobar"), "Zm9vYmFy");
    std::string out;
    EXPECT_TRUE(Base64::decode("Zm9v\nYmE=", out));
    EXPECT_EQ(out, "fooba");
    EXPECT_FALSE(Base64::decode("Zm9", out));
    EXPECT_FALSE(Base64::decode("Zg==Zg==", out));
    EXPECT_FALSE(Base64::decode("Z*==", out));
}
