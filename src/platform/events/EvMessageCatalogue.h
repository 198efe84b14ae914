#pragma once
// The platform's catalogue of event message texts: a message number and a locale give the text
// shown to a user. Locales are numeric locale ids (1033 English, United States; 1031 German;
// 1036 French; ...). A locale the catalogue has no text for falls back to the text of the same
// language in another country, then to English.
//
// The table is fixed at build time; lookups are thread-safe.
#include <cstdint>
#include <string>

class EvMessageCatalogue {
public:
    static constexpr unsigned long kEnglish = 1033;

    // The sample line handed to template validation does not match the template.
    static constexpr unsigned long kTemplateSampleMismatch = 0x23000864;

    // Sets `text` and returns true when the catalogue knows the message; leaves `text` alone and
    // returns false otherwise.
    static bool lookup(unsigned long messageId, unsigned long localeId, std::string& text);
    // The text, or an empty text for an unknown message.
    static std::string text(unsigned long messageId, unsigned long localeId);
};
