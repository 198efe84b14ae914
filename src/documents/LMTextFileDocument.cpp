#include "documents/LMTextFileDocument.h"

#include "documents/LMTextFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <iostream>

#include "values/ColumnDataGenerator.h"
#include "values/LMRegexCache.h"
#include "values/RegExGenerator.h"

namespace LogMonitoring {

namespace {

constexpr const char* kBom8 = "\xEF\xBB\xBF";
// A UTF-16 line is converted to UTF-8 in pieces of about 4 KiB of input.
constexpr size_t kUtf16PieceUnits = 4049 / 2;

// The span of [first, last) without blanks at either end (tabs and other white space stay).
template <class It> void trimBlanks(It& first, It& last) {
    while (first != last && *first == ' ') ++first;
    while (last != first && *(last - 1) == ' ') --last;
}

std::string trimmedBlanks(const std::string& text) {
    auto first = text.begin();
    auto last = text.end();
    trimBlanks(first, last);
    return std::string(first, last);
}

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Converts UTF-16 units to UTF-8 into `out` (up to maxLength bytes). A high surrogate at the end
// of the piece is left in `units` to be joined with the next piece; lone surrogates become U+FFFD.
void flushUtf16(std::vector<uint16_t>& units, std::string& out, size_t maxLength, bool final) {
    std::string piece;
    size_t i = 0;
    for (; i < units.size(); ++i) {
        const uint16_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 == units.size() && !final) break;
            if (i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
                appendUtf8(piece, 0x10000 + ((uint32_t(u) - 0xD800) << 10) + (units[i + 1] - 0xDC00));
                ++i;
                continue;
            }
            appendUtf8(piece, 0xFFFD);
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            appendUtf8(piece, 0xFFFD);
        } else {
            appendUtf8(piece, u);
        }
    }
    units.erase(units.begin(), units.begin() + static_cast<long>(i));
    if (out.size() < maxLength) out.append(piece, 0, std::min(piece.size(), maxLength - out.size()));
}

const std::string& lineDelimiterOf(const TemplateXML* t) {
    static const std::string none;
    return t && t->has_lineDelimiter() ? t->lineDelimiter() : none;
}

}

void LMTextFileDocument::PendingRecord::release() {
    for (LMDocumentColumn* cell : cells) delete cell;
    for (LMDocumentColumn* cell : secondaryCells) delete cell;
    *this = PendingRecord();
}

LMTextFileDocument::LMTextFileDocument(const std::string& path) : LMDocument(path) {
    csvParser_.setFeildEncasingChar('"');
    csvParser_.setcolumnSeprator(',');
    csvParser_.setLineSeprator('\n');
    if (path.empty()) return; // a document used for its pattern only
    if (!file_.open(path)) {
        debug_.Error("LMTextFileDocument::LMTextFileDocument", "Unable to open file [%s] with error [%s]",
                     path.c_str(), strerror(errno));
        encoding_ = 0;
        return;
    }
    detectEncoding();
}

LMTextFileDocument::~LMTextFileDocument() {
    LMTextFileDocument::closeDocument();
    pending_.release();
}

// The byte-order mark decides the encoding. A UTF-8 mark stays in the file's first line bytes
// (offsets count it) but is taken off the line's text, so the first record parses like the
// others; a UTF-16 mark is skipped and counted in the offset of the first line.
void LMTextFileDocument::detectEncoding() {
    unsigned char b[4] = {0, 0, 0, 0};
    const size_t n = file_.readBytes(reinterpret_cast<char*>(b), 2);
    encoding_ = 0;
    bomLength_ = 0;
    if (n == 2 && b[0] == 0xEF && b[1] == 0xBB) {
        encoding_ = 1;
        bomLength_ = 3;
    } else if (n == 2 && b[0] == 0xFE && b[1] == 0xFF) {
        encoding_ = 3;
        bomLength_ = 2;
    } else if (n == 2 && b[0] == 0xFF && b[1] == 0xFE) {
        encoding_ = 2;
        bomLength_ = 2;
    } else if (n == 2 && b[0] == 0 && b[1] == 0) {
        if (file_.readBytes(reinterpret_cast<char*>(b + 2), 2) == 2 && b[2] == 0xFE && b[3] == 0xFF) {
            encoding_ = 2;
            bomLength_ = 4;
        }
    }
    file_.seek(isUtf16() ? bomLength_ : 0);
}

int LMTextFileDocument::openDocument() {
    if (!file_.isOpen() && !name_.empty()) {
        if (!file_.open(name_)) {
            debug_.Error("LMTextFileDocument::openDocument", "Unable to open file [%s] with error [%s]",
                         name_.c_str(), strerror(errno));
            return -1;
        }
        file_.seek(isUtf16() ? std::max<uint64_t>(offset_, bomLength_) : offset_);
    }
    return 0;
}

int LMTextFileDocument::closeDocument() {
    file_.close();
    return 0;
}

void LMTextFileDocument::setOffset(unsigned long offset) {
    offset_ = offset;
    // For UTF-16 an offset of 0 means the start of the text, just after the byte-order mark.
    if (isUtf16()) file_.seek(std::max<uint64_t>(offset, bomLength_));
    else file_.seek(offset);
}

bool LMTextFileDocument::isEOF() const { return file_.eof(); }

unsigned long LMTextFileDocument::getSizeOfFile() {
    uint64_t bytes = 0;
    if (file_.isOpen() && file_.size(bytes)) {
        debug_.DebugLvl("LMTextFileDocument::getSizeOfFile", 5, "max size %llu document %s",
                        static_cast<unsigned long long>(bytes), name_.c_str());
        return bytes;
    }
    debug_.DebugLvl("LMTextFileDocument::getSizeOfFile", 5, "max size %llu else part. document %s",
                    static_cast<unsigned long long>(ULONG_MAX), name_.c_str());
    return ULONG_MAX;
}

std::list<std::string> LMTextFileDocument::getSeparatorList(unsigned long flags, const std::string& custom) {
    std::list<std::string> separators;
    if (flags & 1) separators.push_back(" ");
    if (flags & 2) separators.push_back("\t");
    if (flags & 4) separators.push_back(";");
    if (flags & 8) separators.push_back(",");
    if (flags & 16) separators.push_back(":");
    if (flags & 32) separators.push_back(custom);
    return separators;
}

void LMTextFileDocument::ensurePattern() {
    if (patternBuilt_) return;
    if (!template_) {
        debug_.DebugLvl("LMTextFileDocument::getTemplatePattern", EvLMDebug::kErrorLevel, "TemplateXML is null");
        return;
    }
    std::list<std::string> separators;
    if (template_->has_separatorFlags())
        separators = getSeparatorList(static_cast<unsigned long>(template_->separatorFlags()),
                                      template_->customSeparator());
    templateColumns_.clear();
    for (size_t i = 0; i < template_->columns_size(); ++i) {
        const Column& c = template_->columns(i);
        if (c.has_dataType() && c.has_typeFormat()) templateColumns_.push_back(c);
    }
    if (secondaryTemplate_) {
        for (size_t i = 0; i < secondaryTemplate_->columns_size(); ++i) {
            const Column& c = secondaryTemplate_->columns(i);
            if (c.columnEntity()) secondaryColumns_[c.columnEntity()->name()] = c;
        }
    }

    RegExGenerator separatorGen(String, SeparatorList);
    separatorGen.setMatchingList(separators);
    const std::string separatorExpr = separatorGen.getRegularExpression();
    const unsigned separatorGroups = static_cast<unsigned>(separatorGen.getNumberOfSubString());
    const std::string separatorRaw = separatorGen.getRegularExpression(nullptr, true);

    std::string text;
    unsigned counter = 1;
    groupIndices_.clear();
    for (size_t i = 0; i < templateColumns_.size(); ++i) {
        const Column& c = templateColumns_[i];
        if (i > 0) {
            text += "(" + separatorExpr + ")+";
            counter += separatorGroups + 1;
        }
        RegExGenerator gen(static_cast<DataType>(c.dataType()), static_cast<TypeFormat>(c.typeFormat()));
        gen.setUseThousandSepartor(c.has_useThousandSeparator() && c.useThousandSeparator() != 0);
        gen.setNumberDecimalPlaces(c.has_decimalPlaces() ? static_cast<int>(c.decimalPlaces()) : 0);
        if (c.dataType() == String && i + 1 != templateColumns_.size())
            text += "([^" + separatorRaw + "]+)";
        else
            text += "(" + gen.getRegularExpression(c.has_customFormat() ? c.customFormat().c_str() : nullptr) + ")";
        groupIndices_.push_back(counter);
        counter += static_cast<unsigned>(gen.getNumberOfSubString()) + 1;
    }
    const bool unanchored = template_->has_unanchored() && template_->unanchored() != 0;
    pattern_ = unanchored ? text : "^" + text;
    debug_.DebugLvl("LMTextFileDocument::getTemplatePattern", 50, "Pattern;[%s]", pattern_.c_str());
    regexError_.clear();
    regex_ = LMRegexCache::get(pattern_, boost::regex::perl | boost::regex::icase, regexError_);
    patternBuilt_ = true;
}

std::string LMTextFileDocument::getTemplatePattern() {
    ensurePattern();
    return pattern_;
}

std::vector<uint32_t> LMTextFileDocument::getIndexList() {
    ensurePattern();
    return groupIndices_;
}

const std::vector<Column>& LMTextFileDocument::getTemplateColumns() {
    ensurePattern();
    return templateColumns_;
}

void LMTextFileDocument::setTemplateXml(TemplateXML* templateXml) { template_ = templateXml; }

TemplateXML* LMTextFileDocument::getTemplateXml() { return template_; }

void LMTextFileDocument::setIsCSV(bool isCsv) { isCsv_ = isCsv; }

bool LMTextFileDocument::getInputLine(std::string& line, unsigned long& bytes, const std::string& delimiter) {
    if (isUtf16()) {
        ReadUTF16LEandBE(line, bytes);
        return bytes > 0;
    }
    const uint64_t start = file_.position();
    // A delimiter of one character is dropped from the line, a longer one kept.
    bytes = file_.readLine(line, delimiter, delimiter.size() > 1, maxRecordBytes_);
    if (bytes > maxRecordBytes_ + delimiter.size() + 1)
        debug_.DebugLvl("LMTextFileDocument::getInputLine", EvLMDebug::kErrorLevel,
                        "line of %llu bytes at offset %llu of %s: only its first %zu bytes are kept",
                        static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(start),
                        name_.c_str(), maxRecordBytes_);
    if (start == 0 && encoding_ == 1 && line.compare(0, 3, kBom8) == 0) line.erase(0, 3);
    return bytes > 0;
}

// Reads one UTF-16 line, line feed included, as UTF-8. Only the code unit U+000A ends a line: a
// byte 0x0A inside another character (U+4E0A, U+010A, ...) does not.
void LMTextFileDocument::ReadUTF16LEandBE(std::string& line, unsigned long& bytes) {
    bytes = 0;
    std::vector<uint16_t> units;
    units.reserve(kUtf16PieceUnits + 1);
    const bool littleEndian = encoding_ == 2;
    for (;;) {
        unsigned char b[2];
        if (file_.readBytes(reinterpret_cast<char*>(b), 2) < 2) break;
        bytes += 2;
        const uint16_t unit = littleEndian ? uint16_t(b[0] | (b[1] << 8)) : uint16_t(b[1] | (b[0] << 8));
        units.push_back(unit);
        if (unit == 0x000A) break;
        if (units.size() > kUtf16PieceUnits) flushUtf16(units, line, maxRecordBytes_, false);
    }
    flushUtf16(units, line, maxRecordBytes_, true);
}

void LMTextFileDocument::advancePosition(uint64_t bytes) {
    if (isUtf16()) {
        if (bytes > 0 || !file_.eof()) offset_ = std::max<uint64_t>(offset_, bomLength_) + bytes;
        if (bytes > 0 || !file_.eof()) ++lineNumber_;
        return;
    }
    if (file_.eof()) {
        offset_ += bytes;
        if (bytes > 0) ++lineNumber_;
    } else {
        offset_ = file_.position();
        ++lineNumber_;
    }
}

bool LMTextFileDocument::buildPatternCells(const std::string& line, const boost::smatch& m,
                                           PendingRecord& record, const LineRules& rules) {
    size_t k = 0;
    for (Column& column : templateColumns_) {
        if (k >= groupIndices_.size()) break;
        const size_t group = groupIndices_[k++];
        std::string::const_iterator first = line.end(), last = line.end();
        unsigned long position = 0;
        if (group < m.size() && m[group].matched) {
            first = m[group].first;
            last = m[group].second;
            position = static_cast<unsigned long>(first - line.begin());
        }
        if (rules.trimValues) trimBlanks(first, last);
        record.cells.push_back(new LMDocumentColumn(ColumnDataGenerator(column, std::string(first, last)), position));
    }
    return true;
}

void LMTextFileDocument::buildSecondaryCells(const std::string& line, PendingRecord& record) {
    pairs_.clear();
    findKeyValuePair(line, pairs_);
    auto addCell = [&record](Column& column, const std::string& key, const std::string& value) {
        ColumnData* data = ColumnDataGenerator(column, trimmedBlanks(value));
        if (data) data->setColumnName(key);
        record.secondaryCells.push_back(new LMDocumentColumn(data, 0));
    };
    for (const auto& [key, value] : pairs_) {
        auto it = secondaryColumns_.find(key);
        if (it == secondaryColumns_.end() || !checkForTemplateMatch(it->second, value)) continue;
        addCell(it->second, key, value);
    }
    // Keys with blanks never come out of the pair scanner; they are looked up by name.
    for (auto& [key, column] : secondaryColumns_) {
        if (key.find(' ') == std::string::npos) continue;
        std::string value;
        if (findValueFromKey(key, line, value) && checkForTemplateMatch(column, value)) addCell(column, key, value);
    }
}

void LMTextFileDocument::buildCsvCells(const std::vector<std::string>& fields, PendingRecord& record) {
    const size_t n = std::min(fields.size(), templateColumns_.size());
    for (size_t i = 0; i < n; ++i) {
        if (!checkForTemplateMatch(templateColumns_[i], fields[i])) {
            for (LMDocumentColumn* cell : record.cells) delete cell;
            record.cells.clear();
            return;
        }
        record.cells.push_back(new LMDocumentColumn(ColumnDataGenerator(templateColumns_[i], trimmedBlanks(fields[i])), 0));
    }
}

bool LMTextFileDocument::buildRecord(std::string& line, PendingRecord& record, const LineRules& rules) {
    if (isCsv_ && rules.csvAllowed) {
        // A blank line has no fields; it would otherwise give a record of one empty cell.
        if (line.empty()) return false;
        std::vector<std::string> fields;
        unsigned size = static_cast<unsigned>(line.size() + 1); // the terminating zero ends the last field
        if (csvParser_.getColumns(fields, line.data(), size) != 0 || fields.empty()) return false;
        buildCsvCells(fields, record);
    } else {
        if (pattern_.empty()) return false;
        if (!regex_) {
            std::cout << "Error in regex creation " << regexError_ << std::endl;
            return false;
        }
        boost::smatch m;
        try {
            if (!boost::regex_search(line, m, *regex_)) return false;
        } catch (const std::exception& e) {
            std::cout << "Error in regex creation " << e.what() << std::endl;
            return false;
        }
        buildPatternCells(line, m, record, rules);
        if (!secondaryColumns_.empty()) buildSecondaryCells(line, record);
    }
    record.present = true;
    record.lineNumber = lineNumber_;
    record.text = std::move(line);
    return true;
}

void LMTextFileDocument::continueRecord(const std::string& line, const LineRules& rules) {
    if (!pending_.present || line.empty()) return;
    const uint64_t count = pending_.continuationCount++;
    if (count >= kMaxContinuationLines) {
        if (count % kMaxContinuationLines == 0)
            debug_.DebugLvl(rules.operation, EvLMDebug::kErrorLevel, rules.limitMessage,
                            static_cast<unsigned long long>(count));
        return;
    }
    const bool lastIsString = !templateColumns_.empty() && templateColumns_.back().dataType() == String;
    if (!rules.continuationAlwaysFreeText && !lastIsString) return;
    if (pending_.text.size() + 1 + line.size() > maxRecordBytes_) {
        debug_.DebugLvl(rules.operation, 0, "record of line %llu has reached %zu bytes: line %llu is not added",
                        static_cast<unsigned long long>(pending_.lineNumber), pending_.text.size(),
                        static_cast<unsigned long long>(lineNumber_));
        return;
    }
    pending_.lastCellTail += '\n';
    pending_.lastCellTail += line;
    pending_.text += '\n';
    pending_.text += line;
}

LMDocumentRow* LMTextFileDocument::assembleLine(std::string& line, const LineRules& rules) {
    PendingRecord fresh;
    if (!buildRecord(line, fresh, rules)) {
        continueRecord(line, rules);
        return nullptr;
    }
    LMDocumentRow* row = pending_.present ? takePending() : nullptr;
    pending_ = std::move(fresh);
    return row;
}

LMDocumentRow* LMTextFileDocument::takePending() {
    if (!pending_.present) return nullptr;
    PendingRecord& r = pending_;
    if (!r.lastCellTail.empty() && !r.cells.empty()) {
        LMDocumentColumn* last = r.cells.back();
        std::string text = last->getColumnData() ? last->getColumnData()->getDataAsString() : std::string();
        text += r.lastCellTail;
        Column freeText;
        freeText.set_dataType(String);
        freeText.set_typeFormat(FreeText);
        r.cells.back() = new LMDocumentColumn(ColumnDataGenerator(freeText, text), last->getIndex());
        delete last;
    }
    auto* row = new LMTextFile(std::move(r.cells), std::move(r.secondaryCells), std::move(r.text), r.lineNumber);
    pending_ = PendingRecord();
    return row;
}

LMDocumentRow* LMTextFileDocument::read() {
    static const LineRules rules;
    if (!isUtf16() && !file_.good() && !pending_.present) return nullptr;
    if (offset_ != 0 && lineNumber_ == 0) {
        // Resuming by offset alone: read again from the start to count lines, parse nothing
        // before the offset.
        skipPoint_ = offset_;
        setOffset(0);
    }
    ensurePattern();
    const std::string& delimiter = lineDelimiterOf(template_);
    std::string line;
    while (!isEOF()) {
        line.clear();
        unsigned long bytes = 0;
        getInputLine(line, bytes, delimiter);
        advancePosition(bytes);
        // The read that finds the end of the data brings no line: nothing to match.
        if (bytes == 0 && file_.eof()) continue;
        if (countLinesOnly_ || (skipPoint_ != 0 && offset_ <= skipPoint_)) continue;
        if (LMDocumentRow* row = assembleLine(line, rules)) return row;
    }
    return takePending();
}

std::list<LMDocumentRow*> LMTextFileDocument::readHeader(unsigned long count) {
    pending_.release();
    std::list<LMDocumentRow*> rows;
    unsigned long read = 0;
    while (!isEOF() && read < count) {
        std::string line;
        unsigned long bytes = 0;
        if (isUtf16()) {
            ReadUTF16LEandBE(line, bytes);
        } else {
            const uint64_t start = file_.position();
            bytes = file_.readLine(line, std::string_view(), false, maxRecordBytes_);
            if (start == 0 && encoding_ == 1 && line.compare(0, 3, kBom8) == 0) line.erase(0, 3);
        }
        // Nothing left: no phantom empty header line, and the offset stays where the data ends.
        if (bytes == 0 && file_.eof()) break;
        if (isUtf16()) offset_ = std::max<uint64_t>(offset_, bomLength_) + bytes;
        else offset_ = file_.position();
        ++read;
        ++lineNumber_;
        rows.push_back(new LMTextFile({}, {}, std::move(line), lineNumber_));
    }
    return rows;
}

void LMTextFileDocument::findKeyValuePair(std::string line, std::vector<std::pair<std::string, std::string>>& pairs) {
    findKeyValuePairs(std::move(line), pairs);
}

bool LMTextFileDocument::findValueFromKey(const std::string& key, const std::string& line, std::string& value) {
    return findValueFromKeyInLine(key, line, value);
}

int LMTextFileDocument::validateTemplate(const std::string& sample, std::string& text, unsigned long localeId) {
    return validateTemplateText(sample, text, localeId);
}

bool LMTextFileDocument::MatchTemplateVariableFormat(DataType dataType, const std::string& value,
                                                     const std::string& customFormat, TypeFormat format) {
    return matchTemplateVariableFormat(dataType, value, customFormat, format);
}

}
