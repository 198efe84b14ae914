#pragma once
// Replies in the server's two formats. A reply is a tree of named values (the reference
// server's named lists): written as <response> with typed elements for wt=xml and as an object
// for wt=json.
#include <cstdint>
#include <string>
#include <vector>

#include "UpdateRequest.h"

namespace lmindexd {

struct RNode {
    enum class T { Str, Int, Long, Double, Bool, Date, Lst, Arr, Result, Doc };
    T type = T::Lst;
    std::string name;
    std::string value;  // scalars, already in text form
    std::vector<RNode> kids;
    int64_t numFound = 0, start = 0;  // Result

    static RNode scalar(T t, std::string name, std::string value) {
        RNode n;
        n.type = t;
        n.name = std::move(name);
        n.value = std::move(value);
        return n;
    }
    static RNode str(std::string name, std::string value) { return scalar(T::Str, std::move(name), std::move(value)); }
    static RNode integer(std::string name, int64_t v) { return scalar(T::Int, std::move(name), std::to_string(v)); }
    static RNode longValue(std::string name, int64_t v) { return scalar(T::Long, std::move(name), std::to_string(v)); }
    static RNode list(std::string name) {
        RNode n;
        n.type = T::Lst;
        n.name = std::move(name);
        return n;
    }
    RNode& add(RNode child) {
        kids.push_back(std::move(child));
        return kids.back();
    }
};

enum class WireFormat { Xml, Json };

WireFormat wireFormatFrom(const std::string& wt);
std::string contentTypeOf(WireFormat f);
std::string render(const RNode& response, WireFormat f);

// The response header every reply starts with.
RNode responseHeader(int status, int64_t qtimeMs);
// A complete error reply.
RNode errorResponse(int status, const std::string& message);
// A stored document as a reply node: repeated names become arrays, values typed by field name.
RNode documentNode(const IndexDocument& doc, const std::vector<std::string>& fl);

}
