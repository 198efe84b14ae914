#include "platform/events/EvMessageCatalogue.h"

namespace {

struct CatalogueEntry {
    unsigned long messageId;
    unsigned long localeId;
    const char* text;
};

// The primary language is the low ten bits of a locale id.
constexpr unsigned long kLanguageMask = 0x3FF;

constexpr CatalogueEntry kEntries[] = {
    {EvMessageCatalogue::kTemplateSampleMismatch, 1033,
     "The sample data does not match the template definition."},
    {EvMessageCatalogue::kTemplateSampleMismatch, 1031,
     "Die Beispieldaten entsprechen nicht der Vorlagendefinition."},
    {EvMessageCatalogue::kTemplateSampleMismatch, 1036,
     "Les donn\xC3\xA9" "es d'exemple ne correspondent pas \xC3\xA0 la d\xC3\xA9" "finition du mod\xC3\xA8le."},
    {EvMessageCatalogue::kTemplateSampleMismatch, 1034,
     "Los datos de ejemplo no coinciden con la definici\xC3\xB3n de la plantilla."},
};

const CatalogueEntry* find(unsigned long messageId, unsigned long localeId, bool languageOnly) {
    for (const auto& entry : kEntries) {
        if (entry.messageId != messageId) continue;
        const bool same = languageOnly
                              ? (entry.localeId & kLanguageMask) == (localeId & kLanguageMask)
                              : entry.localeId == localeId;
        if (same) return &entry;
    }
    return nullptr;
}

}

bool EvMessageCatalogue::lookup(unsigned long messageId, unsigned long localeId, std::string& text) {
    const CatalogueEntry* entry = find(messageId, localeId, false);
    if (!entry) entry = find(messageId, localeId, true);
    if (!entry) entry = find(messageId, kEnglish, false);
    if (!entry) return false;
    text = entry->text;
    return true;
}

std::string EvMessageCatalogue::text(unsigned long messageId, unsigned long localeId) {
    std::string text;
    lookup(messageId, localeId, text);
    return text;
}
