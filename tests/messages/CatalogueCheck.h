#pragma once
// Generic checks over the message catalogue: fill every declared field of any class from its
// descriptor, and compare two messages field by field, so that a round-trip test cannot skip a
// field that a declaration adds later.
#include <string>
#include <vector>

#include "platform/messages/CNMessageBase.h"

namespace catalogue_check {

// Sets every field of `m` to a value derived from its slot and `seed`. Message fields get a
// message of their declared class (a fixed stand-in class when any class is accepted), itself
// filled down to `depth` levels; message lists get two elements.
void fillEveryField(CNMessageBase& m, int depth = 2, int seed = 1);

// Differences between two messages, one line per differing field ("Column.columnEntity.name: ...");
// empty when they hold the same values in the same fields.
std::vector<std::string> differences(const CNMessageBase& a, const CNMessageBase& b);

// Builds a message of `cls` with every field set, serialises it, decodes the text through
// XMLDecoder and reports what did not survive; empty when everything did.
std::vector<std::string> roundTripProblems(const MessageClass& cls);

// The registered classes of one namespace, in root-name order.
std::vector<const MessageClass*> classesOf(const std::string& nameSpace);

}
