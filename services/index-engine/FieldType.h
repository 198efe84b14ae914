#pragma once
// How a field is indexed, decided by its name: the document builder encodes the type of every
// template column in a suffix of the field name, and the common fields have fixed names.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lmindexd {

enum class FieldKind {
    String,  // exact terms
    Long,    // 64-bit integers
    Double,  // decimals
    Date,    // points in time, kept as epoch milliseconds
    Text,    // tokenized text
};

// `strictType` is true when a value that does not parse is an error (typed suffixes and the fixed
// dates), false for the fixed numeric names, whose odd values are kept as exact strings instead.
struct FieldType {
    FieldKind kind = FieldKind::String;
    bool strictType = false;
};

FieldType fieldTypeFor(std::string_view name);

// Whole-text number parsing; no blanks, no trailing garbage.
bool parseLong(std::string_view text, int64_t& out);
bool parseDouble(std::string_view text, double& out);

// Lower-cased word tokens of a text, in the way the text index splits words (letters, digits and
// any byte of a multi-byte character belong to a word).
std::vector<std::string> tokenize(std::string_view text);

}
