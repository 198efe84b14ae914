#pragma once
// The context of the document being indexed, handed with every row to the index document builder.
// Plain structures at global scope: the builder and the hosts fill and read them directly.
#include <cstdint>
#include <list>
#include <string>

// One source line of a record.
struct Line {
    uint32_t lineNumber = 0;
    std::string text;
};

// Options of compliance-record matching. The matcher that fills them comes later; until then
// the record kind alone marks a compliance record and this carries nothing.
struct MIFIDOptions {};

struct FilteredMessageInfo {
    int32_t uniqueFileId = 0;       // the F part of the content identifier
    int32_t templateId = 0;         // 1 selects the builder for the suite's own log format
    uint32_t monitoringPolicyId = 0;
    std::string source;             // file path, or "Event Viewer", "Audit Trail", "Alert"
    std::list<Line> lines;          // lines of the current record; the first gives the L part
    std::string templateName;
    std::string policyName;
    int32_t recordKind = 0;         // the template type; 5 a data-set row, 10 a compliance record
    MIFIDOptions complianceOptions;
};
