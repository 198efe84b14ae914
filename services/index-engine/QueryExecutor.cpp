#include "QueryExecutor.h"

#include <sqlite3.h>

#include <algorithm>
#include <iterator>

#include "DateMath.h"

namespace lmindexd {
namespace {

void normalise(DocSet& s) {
    if (!std::is_sorted(s.begin(), s.end())) std::sort(s.begin(), s.end());
    s.erase(std::unique(s.begin(), s.end()), s.end());
}

DocSet intersect(const DocSet& a, const DocSet& b) {
    DocSet r;
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(r));
    return r;
}

DocSet unite(const DocSet& a, const DocSet& b) {
    DocSet r;
    std::set_union(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(r));
    return r;
}

DocSet subtract(const DocSet& a, const DocSet& b) {
    DocSet r;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(r));
    return r;
}

// The smallest text greater than every text that starts with `prefix`, or empty when none.
std::string prefixEnd(std::string prefix) {
    while (!prefix.empty() && static_cast<unsigned char>(prefix.back()) == 0xFF) prefix.pop_back();
    if (!prefix.empty()) prefix.back() = static_cast<char>(static_cast<unsigned char>(prefix.back()) + 1);
    return prefix;
}

void bindText(sqlite3_stmt* st, int i, const std::string& s) {
    sqlite3_bind_text(st, i, s.data(), static_cast<int>(s.size()), SQLITE_STATIC);
}

// A phrase of tokens in the text index's query syntax, every token quoted.
std::string ftsPhrase(const std::vector<std::string>& tokens) {
    std::string out = "\"";
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (i) out += ' ';
        for (char c : tokens[i]) {
            if (c == '"') out += '"';
            out += c;
        }
    }
    return out + "\"";
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

bool valueMatches(const QueryNode& q, FieldKind kind, const std::string& value) {
    using T = QueryNode::Type;
    if (q.type == T::Exists) return true;
    if (kind == FieldKind::Text) {
        const std::string glob = lower(q.text);
        const std::string lo = lower(q.lower), hi = lower(q.upper);
        for (const std::string& tok : tokenize(value)) {
            switch (q.type) {
            case T::Wildcard:
                if (globMatch(glob, tok)) return true;
                break;
            case T::Prefix:
                if (tok.compare(0, glob.size(), glob) == 0) return true;
                break;
            case T::Range: {
                const bool aboveLow = q.lowerOpen || (q.lowerInclusive ? tok >= lo : tok > lo);
                const bool belowHigh = q.upperOpen || (q.upperInclusive ? tok <= hi : tok < hi);
                if (aboveLow && belowHigh) return true;
                break;
            }
            default: break;
            }
        }
        return false;
    }
    switch (q.type) {
    case T::Wildcard: return globMatch(q.text, value);
    case T::Prefix: return value.compare(0, q.text.size(), q.text) == 0;
    case T::Term: return value == q.text;
    default: return false;
    }
}

bool QueryExecutor::run(const QueryNode& q, DocSet& out, std::string& error) {
    using T = QueryNode::Type;
    out.clear();
    if (q.type == T::MatchAll) return all(out, error);
    if (q.type == T::Bool) return boolean(q, out, error);
    const CoreTables::Field* f = tables_.field(q.field);
    if (!f) return true;  // a field no document has matches nothing
    bool ok = false;
    switch (f->type.kind) {
    case FieldKind::String: ok = leafString(q, *f, out, error); break;
    case FieldKind::Text: ok = leafText(q, *f, out, error); break;
    default: ok = leafNumeric(q, *f, out, error); break;
    }
    if (ok) normalise(out);
    return ok;
}

bool QueryExecutor::all(DocSet& out, std::string& error) {
    return tables_.collectDocs("SELECT doc FROM docs ORDER BY doc", nullptr, out, error);
}

bool QueryExecutor::boolean(const QueryNode& q, DocSet& out, std::string& error) {
    DocSet must, should, mustNot;
    bool haveMust = false, haveShould = false;
    for (const auto& c : q.clauses) {
        DocSet r;
        if (!run(*c.node, r, error)) return false;
        switch (c.occur) {
        case Occur::Must:
            must = haveMust ? intersect(must, r) : std::move(r);
            haveMust = true;
            break;
        case Occur::Should:
            should = unite(should, r);
            haveShould = true;
            break;
        case Occur::MustNot: mustNot = unite(mustNot, r); break;
        }
    }
    if (haveMust) out = std::move(must);
    else if (haveShould) out = std::move(should);
    else if (!all(out, error)) return false;  // only prohibitions: everything else
    out = subtract(out, mustNot);
    return true;
}

bool QueryExecutor::leafString(const QueryNode& q, const CoreTables::Field& f, DocSet& out, std::string& error) {
    using T = QueryNode::Type;
    const int64_t fid = f.fid;
    // The unique key is looked up in the document table; ?1 is bound there too but unused.
    const bool key = f.name == kUniqueKeyField;
    const std::string base = key ? "SELECT doc FROM docs WHERE ?1 IS NOT NULL" : "SELECT doc FROM terms WHERE fid=?1";
    const std::string col = key ? " AND contentid" : " AND term";
    switch (q.type) {
    case T::Term:
    case T::Phrase:
        return tables_.collectDocs(base + col + "=?2",
                                   [&](sqlite3_stmt* st) { sqlite3_bind_int64(st, 1, fid); bindText(st, 2, q.text); },
                                   out, error);
    case T::Exists:
        return tables_.collectDocs(base, [&](sqlite3_stmt* st) { sqlite3_bind_int64(st, 1, fid); }, out, error);
    case T::Prefix:
    case T::Wildcard: {
        const std::string prefix = q.type == T::Prefix ? q.text : globLiteralPrefix(q.text);
        const std::string end = prefixEnd(prefix);
        const bool glob = q.type == T::Wildcard;
        std::string sql = base + col + ">=?2";
        if (!end.empty()) sql += col + "<?3";
        if (glob) sql += col + " GLOB ?4";
        return tables_.collectDocs(sql, [&](sqlite3_stmt* st) {
            sqlite3_bind_int64(st, 1, fid);
            bindText(st, 2, prefix);
            if (!end.empty()) bindText(st, 3, end);
            if (glob) bindText(st, 4, q.text);
        }, out, error);
    }
    case T::Range: {
        std::string sql = base;
        if (!q.lowerOpen) sql += col + (q.lowerInclusive ? ">=?2" : ">?2");
        if (!q.upperOpen) sql += col + (q.upperInclusive ? "<=?3" : "<?3");
        return tables_.collectDocs(sql, [&](sqlite3_stmt* st) {
            sqlite3_bind_int64(st, 1, fid);
            if (!q.lowerOpen) bindText(st, 2, q.lower);
            if (!q.upperOpen) bindText(st, 3, q.upper);
        }, out, error);
    }
    default: return true;
    }
}

bool QueryExecutor::numericBound(const CoreTables::Field& f, const std::string& text, double& out,
                                 std::string& error) const {
    if (f.type.kind == FieldKind::Date) {
        int64_t ms = 0;
        if (!evalDateMath(text, nowMs_, ms)) {
            error = "Invalid Date String:'" + text + "'";
            return false;
        }
        out = static_cast<double>(ms);
        return true;
    }
    if (!parseDouble(text, out)) {
        error = "Invalid Number: " + text;
        return false;
    }
    return true;
}

bool QueryExecutor::leafNumeric(const QueryNode& q, const CoreTables::Field& f, DocSet& out, std::string& error) {
    using T = QueryNode::Type;
    const int64_t fid = f.fid;
    switch (q.type) {
    case T::Term:
    case T::Phrase: {
        double v = 0;
        if (!numericBound(f, q.text, v, error)) {
            // Not a number: the field may still hold odd values kept as exact text.
            if (f.type.strictType) return false;
            error.clear();
            return leafString(q, f, out, error);
        }
        return tables_.collectDocs("SELECT doc FROM nums WHERE fid=?1 AND val=?2",
                                   [&](sqlite3_stmt* st) { sqlite3_bind_int64(st, 1, fid); sqlite3_bind_double(st, 2, v); },
                                   out, error);
    }
    case T::Range: {
        double lo = 0, hi = 0;
        if ((!q.lowerOpen && !numericBound(f, q.lower, lo, error)) ||
            (!q.upperOpen && !numericBound(f, q.upper, hi, error))) {
            return false;
        }
        std::string sql = "SELECT doc FROM nums WHERE fid=?1";
        if (!q.lowerOpen) sql += q.lowerInclusive ? " AND val>=?2" : " AND val>?2";
        if (!q.upperOpen) sql += q.upperInclusive ? " AND val<=?3" : " AND val<?3";
        return tables_.collectDocs(sql, [&](sqlite3_stmt* st) {
            sqlite3_bind_int64(st, 1, fid);
            if (!q.lowerOpen) sqlite3_bind_double(st, 2, lo);
            if (!q.upperOpen) sqlite3_bind_double(st, 3, hi);
        }, out, error);
    }
    case T::Exists: {
        if (!tables_.collectDocs("SELECT doc FROM nums WHERE fid=?1",
                                 [&](sqlite3_stmt* st) { sqlite3_bind_int64(st, 1, fid); }, out, error)) {
            return false;
        }
        return tables_.collectDocs("SELECT doc FROM terms WHERE fid=?1",
                                   [&](sqlite3_stmt* st) { sqlite3_bind_int64(st, 1, fid); }, out, error);
    }
    default: return verify(q, f, nullptr, out, error);
    }
}

bool QueryExecutor::leafText(const QueryNode& q, const CoreTables::Field& f, DocSet& out, std::string& error) {
    using T = QueryNode::Type;
    const std::string table = textTableName(f.fid);
    const std::string sql = "SELECT rowid FROM " + table + " WHERE " + table + " MATCH ?1";
    auto match = [&](const std::string& expr, DocSet& into) {
        return tables_.collectDocs(sql, [&](sqlite3_stmt* st) { bindText(st, 1, expr); }, into, error);
    };
    switch (q.type) {
    case T::Term:
    case T::Phrase: {
        const auto tokens = tokenize(q.text);
        if (tokens.empty()) return true;
        if (q.type == T::Phrase) return match(ftsPhrase(tokens), out);
        std::string expr;
        for (const auto& t : tokens) {
            if (!expr.empty()) expr += ' ';
            expr += ftsPhrase({t});
        }
        return match(expr, out);
    }
    case T::Prefix: {
        const auto tokens = tokenize(q.text);
        if (tokens.empty()) return verify(q, f, nullptr, out, error);
        return match(ftsPhrase(tokens) + " *", out);
    }
    case T::Wildcard: {
        const auto tokens = tokenize(globLiteralPrefix(q.text));
        if (tokens.size() != 1) return verify(q, f, nullptr, out, error);
        DocSet candidates;
        if (!match(ftsPhrase(tokens) + " *", candidates)) return false;
        normalise(candidates);
        return verify(q, f, &candidates, out, error);
    }
    default: return verify(q, f, nullptr, out, error);
    }
}

bool QueryExecutor::verify(const QueryNode& q, const CoreTables::Field& f, const DocSet* candidates, DocSet& out,
                           std::string& error) {
    auto test = [&](const IndexDocument& d) {
        for (const auto& [name, value] : d.fields) {
            if (name == f.name && valueMatches(q, f.type.kind, value)) return true;
        }
        return false;
    };
    if (!candidates) {
        return tables_.scanDocuments([&](int64_t doc, const IndexDocument& d) {
            if (test(d)) out.push_back(doc);
            return true;
        }, error);
    }
    IndexDocument d;
    for (int64_t doc : *candidates) {
        if (!tables_.loadDocument(doc, d, error)) return false;
        if (test(d)) out.push_back(doc);
    }
    return true;
}

}
