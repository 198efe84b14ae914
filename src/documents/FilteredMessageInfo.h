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

// Where an archived file indexed as compliance records came from. The numbers that a caller may
// leave out start at 0, so a document never carries an undefined value.
struct MIFIDOptions {
    int64_t jobId = 0;
    int32_t applicationId = 0;
    int32_t sourceClientId = 0;
    std::string fileKey;
    std::string fileName;
    std::string fileGuid;
    int64_t archChunkId = 0;
    int64_t archChunkOffset = 0;
    int64_t vestryNumber = 0;
    int32_t appTypeId = 0;
};

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
