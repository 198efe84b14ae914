#pragma once
// Splits lines of comma-separated values into fields.
//
// A field ends at the column separator outside encasing characters, and at the line separator or
// a zero byte wherever it stands. A field wrapped in encasing characters loses them; doubled
// encasing characters inside a field stay as they are, and a field with the encasing character
// at one end only is kept as it is.
//
// The file mode (init, readHeader, get_row, readLine, has_nextRows) reads a CSV file row by row
// with its header. An object is used by one thread at a time.
#include <cstdio>
#include <string>
#include <vector>

#include "LMExport.h"

namespace LogMonitoring {

class LM_EXPORT LMCsvParser {
public:
    // Longest row the file mode keeps; the rest of a longer row is read past and dropped.
    static constexpr size_t kMaxRowBytes = 16u << 20;

    LMCsvParser() = default;
    ~LMCsvParser();
    LMCsvParser(const LMCsvParser&) = delete;
    LMCsvParser& operator=(const LMCsvParser&) = delete;

    // A non-zero character replaces the current one; 0 is ignored.
    void setFeildEncasingChar(char c);
    void setcolumnSeprator(char c);
    void setLineSeprator(char c);

    // Appends the fields of the first `size` bytes of `text`. Returns 0, or 1 when no working
    // memory could be had. A last field that no separator or zero byte ends is still appended.
    int getColumns(std::vector<std::string>& fields, char* text, unsigned& size);

    // File mode. Both return 1 when the file is ready and its header read, 0 otherwise (the
    // reason goes to standard error). init(FILE*) does not take ownership of the handle.
    int init(const std::string& path);
    int init(FILE* file);
    // Takes the first row whose first field does not start with "#" as the header, looking past
    // at most the configured number of such rows (1 when 0).
    int readHeader();
    const std::vector<std::string>& getHeader() const { return header_; }
    void setHeaderRowsToSkip(unsigned rows) { headerRowsToSkip_ = rows; }
    // The fields of the next row (empty at the end of the file).
    std::vector<std::string> get_row();
    // Reads the next row up to and including the line separator; `size` is its length. Returns
    // false when nothing was left to read.
    bool readLine(std::string& buffer, unsigned& size);
    bool has_nextRows() const { return moreRows_; }
    unsigned long getRowCount() const { return rowCount_; }

private:
    void appendField(std::vector<std::string>& fields, const char* begin, size_t length) const;
    void closeOwnedFile();

    char encasing_ = '"';
    char columnSeparator_ = ',';
    char lineSeparator_ = '\n';
    char escape_ = '\\'; // kept for callers that set it; no rule uses it
    bool encasingSet_ = false;
    bool columnSeparatorSet_ = false;
    bool lineSeparatorSet_ = false;

    FILE* file_ = nullptr;
    bool ownsFile_ = false;
    std::string fileName_;
    std::vector<std::string> header_;
    unsigned long rowCount_ = 0;
    unsigned headerRowsToSkip_ = 0;
    bool moreRows_ = false;
};

}
