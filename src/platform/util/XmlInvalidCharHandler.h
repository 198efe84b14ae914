#pragma once
// Makes text safe for an XML 1.0 document that a Solr server parses as UTF-8.
//
// - Characters XML 1.0 forbids never come out: control characters other than tab, line feed and
//   carriage return are dropped; U+FFFE and U+FFFF become U+FFFD.
// - Bytes that do not form valid UTF-8 (stray continuation bytes, overlong forms, surrogates,
//   values above U+10FFFF) are taken as ISO-8859-1, the usual code page of logs that are not
//   UTF-8, and written as the UTF-8 form of that character, so nothing is lost.
// - A sequence cut short by the end of the text is dropped: it is the remnant of a value cut at a
//   byte limit, and no character can be recovered from it.
//
// Text that needs none of this is left untouched and costs one scan. Stateless and thread-safe.
#include <cstddef>
#include <string>

class XmlInvalidCharHandler {
public:
    // Rewrites text[from..] in place; true when anything changed.
    static bool encodeInvalidChars(std::string& text, size_t from = 0);
};
