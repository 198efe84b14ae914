#pragma once
#include <string>

// An alert of the suite: a description sent with a category, a type and flags, written to the
// management database (table alerts), where `lmctl show` lists them. Search alert rules send
// theirs with category 65 and type 75. An object is used by one thread at a time.
class EvAlertEx {
public:
    void clear() { description_.clear(); }
    void setDescription(const std::string& text) { description_ = text; }
    const std::string& getDescription() const { return description_; }

    // 0 when the alert was stored.
    int sendAlert(int category, int type, int flags);

private:
    std::string description_;
};
