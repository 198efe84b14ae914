#include "SolrQuery.h"

#include <cctype>
#include <stdexcept>

namespace lmindexd {
namespace {

struct SyntaxError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

enum class Tok { End, LParen, RParen, Colon, Plus, Minus, Not, And, Or, Quoted, Term, RangeOpen, Carat, Tilde };

struct Token {
    Tok kind = Tok::End;
    std::string text;  // Term: literal text; Quoted: the phrase; RangeOpen: "[" or "{"
    std::string glob;  // Term: GLOB form
    bool wild = false; // Term: holds an unescaped * or ?
};

bool isSpecial(char c) {
    switch (c) {
    case '(': case ')': case '[': case ']': case '{': case '}': case '"': case ':': case '^':
    case '~': case '\\':
        return true;
    default:
        return false;
    }
}

void appendGlobLiteral(std::string& glob, char c) {
    if (c == '*' || c == '?' || c == '[') {
        glob += '[';
        glob += c;
        glob += ']';
    } else {
        glob += c;
    }
}

class Lexer {
public:
    explicit Lexer(const std::string& s) : s_(s) {}

    Token next() {
        skipSpace();
        Token t;
        if (pos_ >= s_.size()) return t;
        const char c = s_[pos_];
        auto single = [&](Tok k) {
            ++pos_;
            t.kind = k;
            return t;
        };
        switch (c) {
        case '(': return single(Tok::LParen);
        case ')': return single(Tok::RParen);
        case ':': return single(Tok::Colon);
        case '+': return single(Tok::Plus);
        case '-': return single(Tok::Minus);
        case '!': return single(Tok::Not);
        case '^': return single(Tok::Carat);
        case '~': return single(Tok::Tilde);
        case '[':
        case '{':
            t.text = std::string(1, c);
            return single(Tok::RangeOpen);
        case '"': return quoted();
        default: break;
        }
        if (s_.compare(pos_, 2, "&&") == 0) {
            pos_ += 2;
            t.kind = Tok::And;
            return t;
        }
        if (s_.compare(pos_, 2, "||") == 0) {
            pos_ += 2;
            t.kind = Tok::Or;
            return t;
        }
        if (c == ']' || c == '}') throw SyntaxError("unexpected '" + std::string(1, c) + "'");
        t = term();
        if (!t.wild) {
            if (t.text == "AND") t.kind = Tok::And;
            else if (t.text == "OR") t.kind = Tok::Or;
            else if (t.text == "NOT") t.kind = Tok::Not;
        }
        return t;
    }

    // A range end: a quoted text or a run of bytes up to a blank, "]" or "}".
    std::string rangeWord() {
        skipSpace();
        if (pos_ < s_.size() && s_[pos_] == '"') return quoted().text;
        std::string w;
        while (pos_ < s_.size() && !std::isspace(static_cast<unsigned char>(s_[pos_])) &&
               s_[pos_] != ']' && s_[pos_] != '}') {
            if (s_[pos_] == '\\' && pos_ + 1 < s_.size()) ++pos_;
            w += s_[pos_++];
        }
        if (w.empty()) throw SyntaxError("range end expected");
        return w;
    }

    char rangeClose() {
        skipSpace();
        if (pos_ < s_.size() && (s_[pos_] == ']' || s_[pos_] == '}')) return s_[pos_++];
        throw SyntaxError("range not closed with ']' or '}'");
    }

    // A number after ^ or ~ (optional after ~).
    void skipNumber() {
        while (pos_ < s_.size() && (std::isdigit(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '.')) ++pos_;
    }

    bool atSpaceOrEnd() const { return pos_ >= s_.size() || std::isspace(static_cast<unsigned char>(s_[pos_])); }

private:
    void skipSpace() {
        while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    }

    Token quoted() {
        Token t;
        t.kind = Tok::Quoted;
        ++pos_;
        while (pos_ < s_.size() && s_[pos_] != '"') {
            if (s_[pos_] == '\\' && pos_ + 1 < s_.size()) ++pos_;
            t.text += s_[pos_++];
        }
        if (pos_ >= s_.size()) throw SyntaxError("unterminated quote");
        ++pos_;
        return t;
    }

    Token term() {
        Token t;
        t.kind = Tok::Term;
        while (pos_ < s_.size()) {
            const char c = s_[pos_];
            if (std::isspace(static_cast<unsigned char>(c))) break;
            if (c == '\\') {
                if (pos_ + 1 >= s_.size()) throw SyntaxError("escape at the end");
                const char e = s_[pos_ + 1];
                t.text += e;
                appendGlobLiteral(t.glob, e);
                pos_ += 2;
                continue;
            }
            if (isSpecial(c)) break;
            if (c == '*' || c == '?') {
                t.wild = true;
                t.glob += c;
            } else {
                appendGlobLiteral(t.glob, c);
            }
            t.text += c;
            ++pos_;
        }
        if (t.text.empty()) throw SyntaxError("term expected");
        return t;
    }

    const std::string& s_;
    size_t pos_ = 0;
};

enum class Conj { None, And, Or };
enum class Mod { None, Req, Not };

class Parser {
public:
    Parser(const std::string& q, const std::string& defaultField) : lex_(q), defaultField_(defaultField) {
        advance();
    }

    std::unique_ptr<QueryNode> parseAll() {
        auto q = parseQuery(defaultField_);
        if (cur_.kind != Tok::End) throw SyntaxError("unexpected text after the query");
        return q;
    }

private:
    void advance() { cur_ = lex_.next(); }

    std::unique_ptr<QueryNode> parseQuery(const std::string& field) {
        auto node = std::make_unique<QueryNode>();
        node->type = QueryNode::Type::Bool;
        bool first = true;
        while (cur_.kind != Tok::End && cur_.kind != Tok::RParen) {
            Conj conj = Conj::None;
            if (cur_.kind == Tok::And || cur_.kind == Tok::Or) {
                if (first) throw SyntaxError("query starts with an operator");
                conj = cur_.kind == Tok::And ? Conj::And : Conj::Or;
                advance();
            }
            Mod mod = Mod::None;
            if (cur_.kind == Tok::Plus) {
                mod = Mod::Req;
                advance();
            } else if (cur_.kind == Tok::Minus || cur_.kind == Tok::Not) {
                mod = Mod::Not;
                advance();
            }
            if (cur_.kind == Tok::End || cur_.kind == Tok::RParen) throw SyntaxError("clause expected");
            auto clause = parseClause(field);
            addClause(node->clauses, conj, mod, std::move(clause));
            first = false;
        }
        if (first) throw SyntaxError("empty query");
        // A single optional clause is the clause itself.
        if (node->clauses.size() == 1 && node->clauses[0].occur != Occur::MustNot) {
            return std::move(node->clauses[0].node);
        }
        return node;
    }

    static void addClause(std::vector<QueryNode::Clause>& clauses, Conj conj, Mod mod,
                          std::unique_ptr<QueryNode> q) {
        if (!clauses.empty() && conj == Conj::And && clauses.back().occur != Occur::MustNot) {
            clauses.back().occur = Occur::Must;
        }
        const bool prohibited = mod == Mod::Not;
        const bool required = mod == Mod::Req || (conj == Conj::And && !prohibited);
        const Occur occur = prohibited ? Occur::MustNot : required ? Occur::Must : Occur::Should;
        clauses.push_back({occur, std::move(q)});
    }

    std::unique_ptr<QueryNode> parseClause(const std::string& field) {
        if (cur_.kind == Tok::Term && !cur_.wild) {
            // Look ahead for "field:"
            Token saved = cur_;
            advance();
            if (cur_.kind == Tok::Colon) {
                advance();
                return parseValue(saved.text);
            }
            return finishTerm(field, saved);
        }
        if (cur_.kind == Tok::Term && cur_.text == "*") {
            Token saved = cur_;
            advance();
            if (cur_.kind == Tok::Colon) {
                advance();
                if (cur_.kind != Tok::Term || cur_.text != "*") throw SyntaxError("'*:' must be followed by '*'");
                advance();
                skipModifiers();
                return std::make_unique<QueryNode>();  // MatchAll
            }
            return finishTerm(field, saved);
        }
        return parseValue(field);
    }

    std::unique_ptr<QueryNode> parseValue(const std::string& field) {
        switch (cur_.kind) {
        case Tok::LParen: {
            advance();
            auto q = parseQuery(field);
            if (cur_.kind != Tok::RParen) throw SyntaxError("missing ')'");
            advance();
            skipModifiers();
            return q;
        }
        case Tok::Quoted: {
            auto n = std::make_unique<QueryNode>();
            n->type = QueryNode::Type::Phrase;
            n->field = field;
            n->text = cur_.text;
            advance();
            skipModifiers();
            return n;
        }
        case Tok::RangeOpen: return parseRange(field);
        case Tok::Term: {
            Token t = cur_;
            advance();
            return finishTerm(field, t);
        }
        default: throw SyntaxError("term, phrase, range or group expected");
        }
    }

    std::unique_ptr<QueryNode> parseRange(const std::string& field) {
        auto n = std::make_unique<QueryNode>();
        n->type = QueryNode::Type::Range;
        n->field = field;
        n->lowerInclusive = cur_.text == "[";
        n->lower = lex_.rangeWord();
        if (lex_.rangeWord() != "TO") throw SyntaxError("'TO' expected in range");
        n->upper = lex_.rangeWord();
        n->upperInclusive = lex_.rangeClose() == ']';
        n->lowerOpen = n->lower == "*";
        n->upperOpen = n->upper == "*";
        if (n->lowerOpen) n->lower.clear();
        if (n->upperOpen) n->upper.clear();
        advance();
        skipModifiers();
        return n;
    }

    std::unique_ptr<QueryNode> finishTerm(const std::string& field, const Token& t) {
        skipModifiers();
        auto n = std::make_unique<QueryNode>();
        n->field = field;
        if (!t.wild) {
            n->type = QueryNode::Type::Term;
            n->text = t.text;
        } else if (t.glob == "*") {
            n->type = QueryNode::Type::Exists;
        } else if (t.glob.back() == '*' && t.glob.find_first_of("*?") == t.glob.size() - 1) {
            n->type = QueryNode::Type::Prefix;
            n->text = globLiteralPrefix(t.glob);
        } else {
            n->type = QueryNode::Type::Wildcard;
            n->text = t.glob;
        }
        return n;
    }

    // ^boost and ~fuzziness carry no meaning for matching here.
    void skipModifiers() {
        while (cur_.kind == Tok::Carat || cur_.kind == Tok::Tilde) {
            const bool boost = cur_.kind == Tok::Carat;
            lex_.skipNumber();
            advance();
            (void)boost;
        }
    }

    Lexer lex_;
    const std::string& defaultField_;
    Token cur_;
};

}  // namespace

std::unique_ptr<QueryNode> QueryParser::parse(const std::string& query, std::string& error) const {
    try {
        Parser p(query, defaultField_);
        return p.parseAll();
    } catch (const SyntaxError& e) {
        error = "Cannot parse '" + query + "': " + e.what();
    } catch (const std::exception& e) {
        error = "Cannot parse '" + query + "': " + e.what();
    }
    return nullptr;
}

std::string globLiteralPrefix(const std::string& glob) {
    std::string out;
    for (size_t i = 0; i < glob.size(); ++i) {
        const char c = glob[i];
        if (c == '*' || c == '?') break;
        if (c == '[' && i + 2 < glob.size() && glob[i + 2] == ']') {
            out += glob[i + 1];
            i += 2;
            continue;
        }
        out += c;
    }
    return out;
}

bool globMatch(const std::string& glob, const std::string& text) {
    // Iterative matcher with backtracking to the last star.
    size_t g = 0, t = 0, starG = std::string::npos, starT = 0;
    while (t < text.size()) {
        if (g < glob.size()) {
            const char c = glob[g];
            if (c == '*') {
                starG = g++;
                starT = t;
                continue;
            }
            if (c == '?') {
                ++g;
                ++t;
                continue;
            }
            char lit = c;
            size_t len = 1;
            if (c == '[' && g + 2 < glob.size() && glob[g + 2] == ']') {
                lit = glob[g + 1];
                len = 3;
            }
            if (lit == text[t]) {
                g += len;
                ++t;
                continue;
            }
        }
        if (starG == std::string::npos) return false;
        g = starG + 1;
        t = ++starT;
    }
    while (g < glob.size() && glob[g] == '*') ++g;
    return g == glob.size();
}

}
