#pragma once
// A text log file read incrementally through a template.
//
// Every input line is searched with the template's record pattern (built once per document from
// its typed columns and separators); a matching line starts a record, and the non-matching lines
// after it (stack traces, wrapped messages) continue it, up to 100 of them. The captured groups
// become typed cells; key/value pairs named by the secondary template become secondary cells.
// CSV templates split each line with LMCsvParser instead. Plain files, UTF-8 with a byte-order
// mark, and UTF-16 little and big endian files are read; lines end at a line feed or at the
// template's own delimiter. Offsets are byte offsets of the file; the line number is the number
// of the last line read. The reader always holds one record back: a record ends when the next
// matching line (or the end of the data) is seen.
//
// The pattern on its own: after setTemplateXml, getTemplatePattern() gives the record pattern
// (Perl syntax, to be searched case-insensitively) and getIndexList() the number of the capture
// group of each column of getTemplateColumns(), in the same order. A document built with an empty
// path opens no file and serves for exactly that, e.g. to check a sample line against a template.
//
// Calling order: construct, set the policy id, template and options (setOffset and setLineNumber
// resume where an earlier run stopped), openDocument, read until null (deleting each row), then
// destroy. The templates stay owned by the caller. Used by one thread at a time.
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <boost/regex.hpp>

#include "LMExport.h"
#include "documents/LMCsvParser.h"
#include "documents/LMDocument.h"
#include "documents/LMLineReader.h"
#include "documents/LMTemplateMatch.h"

namespace LogMonitoring {

class LM_EXPORT LMTextFileDocument : public LMDocument {
public:
    // Continuation lines one record takes at most; later ones are dropped.
    static constexpr uint64_t kMaxContinuationLines = 100;
    // Longest line and longest record text kept by default. A longer line keeps its first bytes
    // (the rest is read past, so offsets stay exact); continuation lines that would make a
    // record longer are dropped. Bounds the memory one record can take.
    static constexpr size_t kDefaultMaxRecordBytes = 128u << 20;

    explicit LMTextFileDocument(const std::string& path);
    ~LMTextFileDocument() override;

    int openDocument() override;
    int closeDocument() override;
    void setOffset(unsigned long offset) override;
    LMDocumentRow* read() override;
    std::list<LMDocumentRow*> readHeader(unsigned long count) override;
    void setTemplateXml(TemplateXML* templateXml) override;
    TemplateXML* getTemplateXml() override;
    void setIsCSV(bool isCsv) override;

    virtual bool isEOF() const;
    // Size of the file in bytes; the largest value when the file is not open.
    virtual unsigned long getSizeOfFile();
    // The record pattern, built on the first call and kept; empty without a template.
    virtual std::string getTemplatePattern();
    // The capture group of each template column (building the pattern first when needed).
    virtual std::vector<uint32_t> getIndexList();
    // The template's columns that have both a data type and a format, in record order.
    const std::vector<Column>& getTemplateColumns();

    bool getInputLine(std::string& line, unsigned long& bytes, const std::string& delimiter);
    void ReadUTF16LEandBE(std::string& line, unsigned long& bytes);
    std::list<std::string> getSeparatorList(unsigned long flags, const std::string& custom);

    void findKeyValuePair(std::string line, std::vector<std::pair<std::string, std::string>>& pairs);
    bool findValueFromKey(const std::string& key, const std::string& line, std::string& value);
    // `text` holds a serialised validation request and is replaced by the response; returns 0.
    int validateTemplate(const std::string& sample, std::string& text, unsigned long localeId);
    static bool MatchTemplateVariableFormat(DataType dataType, const std::string& value,
                                            const std::string& customFormat, TypeFormat format);

    // Lowers the bound on line and record length (tests); 0 restores the default.
    void setMaxRecordLength(size_t bytes) { maxRecordBytes_ = bytes ? bytes : kDefaultMaxRecordBytes; }

protected:
    // The record whose first line has been read and whose end has not been seen yet.
    struct PendingRecord {
        bool present = false;
        std::list<LMDocumentColumn*> cells;
        std::list<LMDocumentColumn*> secondaryCells;
        std::string text;
        uint64_t lineNumber = 0;
        uint64_t continuationCount = 0;
        // Continuation text waiting to be joined to the last cell; joined once, when the record
        // is handed out, instead of rebuilding the cell for every line.
        std::string lastCellTail;
        bool lastCellAsFreeText = false;
        void release();
    };

    // How a line is turned into cells; the in-memory document differs from the file reader.
    struct LineRules {
        bool trimValues = true;              // trim blanks off captured groups
        bool continuationAlwaysFreeText = false;
        bool csvAllowed = true;              // CSV documents split lines instead of matching
        const char* limitMessage = "too many rows not honoring template, flushing buffered lines..%llu";
        const char* operation = "LMTextFileDocument::read";
    };

    // Builds the pattern, the group indices and the template column list once.
    void ensurePattern();
    // Tries the line as the first line of a record; true and `record` filled when it matches.
    bool buildRecord(std::string& line, PendingRecord& record, const LineRules& rules);
    // Adds a non-matching line to the pending record (or drops it).
    void continueRecord(const std::string& line, const LineRules& rules);
    // Feeds one line to the record being assembled: a line that starts a record completes the
    // pending one, which is returned; any other line continues it (null is returned).
    LMDocumentRow* assembleLine(std::string& line, const LineRules& rules);
    // Hands out the pending record as a row (null when there is none) and clears it.
    LMDocumentRow* takePending();
    bool isUtf16() const { return encoding_ == 2 || encoding_ == 3; }

    LMLineReader file_;
    LMCsvParser csvParser_;
    bool isCsv_ = false;
    std::string pattern_;
    bool patternBuilt_ = false;
    std::shared_ptr<const boost::regex> regex_;
    std::string regexError_;
    std::vector<uint32_t> groupIndices_;
    std::vector<Column> templateColumns_;
    PendingRecord pending_;
    size_t maxRecordBytes_ = kDefaultMaxRecordBytes;
    uint64_t bomLength_ = 0;
    // Line end of the last line read before the skip point when resuming by offset alone.
    uint64_t skipPoint_ = 0;
    std::vector<std::pair<std::string, std::string>> pairs_;

private:
    void detectEncoding();
    void buildSecondaryCells(const std::string& line, PendingRecord& record);
    bool buildPatternCells(const std::string& line, const boost::smatch& m, PendingRecord& record,
                           const LineRules& rules);
    void buildCsvCells(const std::vector<std::string>& fields, PendingRecord& record);
    void advancePosition(uint64_t bytes);
};

}
