#include <gtest/gtest.h>

#include <string>

#include "platform/events/EvMessageCatalogue.h"

TEST(EvMessageCatalogue, LocalisedTextWithFallbacks) {
    const unsigned long id = EvMessageCatalogue::kTemplateSampleMismatch;
    std::string english;
    ASSERT_TRUE(EvMessageCatalogue::lookup(id, 1033, english));
    EXPECT_NE(english.find("does not match"), std::string::npos);

    struct Case {
        unsigned long locale;
        bool english;
    };
    for (const Case& c : {Case{1031, false}, Case{1036, false}, Case{1034, false},
                          Case{0x0807, false},  // German, Switzerland: same language
                          Case{2057, true},     // English, United Kingdom
                          Case{1041, true},     // a language without a text
                          Case{0, true}}) {
        std::string text;
        ASSERT_TRUE(EvMessageCatalogue::lookup(id, c.locale, text)) << c.locale;
        EXPECT_EQ(text == english, c.english) << c.locale;
        EXPECT_FALSE(text.empty()) << c.locale;
    }

    std::string untouched = "kept";
    EXPECT_FALSE(EvMessageCatalogue::lookup(0x12345678, 1033, untouched));
    EXPECT_EQ(untouched, "kept");
    EXPECT_EQ(EvMessageCatalogue::text(0x12345678, 1033), "");
}
