#pragma once
// The standard query syntax: field:term, field:"phrase", prefix and wildcard terms, ranges with
// [ ] and { } (either end may be *), AND / OR / NOT / && / || / !, + and -, parentheses, *:*.
// A term without a field searches the default field. Boosts (^n) and fuzziness or slop (~n) are
// read and ignored. Clauses combine the way the reference parser combines them: AND makes both
// neighbours required, + required, - and NOT prohibited, anything else optional.
#include <memory>
#include <string>
#include <vector>

namespace lmindexd {

enum class Occur { Must, Should, MustNot };

struct QueryNode {
    enum class Type { MatchAll, Term, Phrase, Prefix, Wildcard, Range, Exists, Bool };
    Type type = Type::MatchAll;
    std::string field;
    // Term and phrase: the literal text. Prefix: the literal prefix. Wildcard: a GLOB pattern
    // (unescaped * and ? are wildcards, literal metacharacters are bracketed).
    std::string text;
    // Range ends; an open end ("*") has its flag set and no text.
    std::string lower, upper;
    bool lowerOpen = false, upperOpen = false;
    bool lowerInclusive = true, upperInclusive = true;

    struct Clause {
        Occur occur;
        std::unique_ptr<QueryNode> node;
    };
    std::vector<Clause> clauses;
};

class QueryParser {
public:
    explicit QueryParser(std::string defaultField = "LogLine") : defaultField_(std::move(defaultField)) {}
    // Null on a syntax error, with the reason in `error`.
    std::unique_ptr<QueryNode> parse(const std::string& query, std::string& error) const;

private:
    std::string defaultField_;
};

// The literal prefix of a GLOB pattern up to its first wildcard.
std::string globLiteralPrefix(const std::string& glob);
// GLOB matching as SQLite does it (*, ?, [..] for the bracketed literals the parser writes).
bool globMatch(const std::string& glob, const std::string& text);

}
