#include "indexing/LMCIHelper.h"

#include <charconv>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "documents/LMDocument.h"
#include "documents/LMDocumentColumn.h"
#include "documents/LMDocumentRow.h"
#include "documents/LMTemplateMatch.h"
#include "platform/util/XmlInvalidCharHandler.h"
#include "values/ColumnDataGenerator.h"
#include "values/DateColumnData.h"
#include "values/FloatColumnData.h"
#include "values/IntColumnData.h"
#include "values/LMRegexCache.h"
#include "values/TimeColumnData.h"

namespace LogMonitoring {

namespace {

const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sept", "Oct", "Nov", "Dec"};

bool isQuoteByte(char c) { return c == '"' || c == '\''; }

// A flag of a column counts only when it is set and non-zero.
bool flagOn(bool has, int64_t value) { return has && value != 0; }
bool filterableOf(const Column& c) { return flagOn(c.has_filterable(), c.filterable()); }
bool tokenizeOf(const Column& c) { return flagOn(c.has_tokenize(), c.tokenize()); }
bool keywordOf(const Column& c) { return flagOn(c.has_keyword(), c.keyword()); }
bool utcOf(const Column& c) { return flagOn(c.has_utcConversion(), c.utcConversion()); }
bool notIndexed(const Column& c) { return c.has_indexed() && c.indexed() == 0; }

// Bytes the escaping rewrites or drops: control bytes and the five XML specials.
struct EscapeTable {
    bool special[256] = {};
    constexpr EscapeTable() {
        for (int c = 0; c < 0x20; ++c) special[c] = true;
        special[static_cast<unsigned char>('"')] = special[static_cast<unsigned char>('&')] = true;
        special[static_cast<unsigned char>('\'')] = special[static_cast<unsigned char>('<')] = true;
        special[static_cast<unsigned char>('>')] = true;
    }
};
constexpr EscapeTable kEscape;

bool needsEscaping(unsigned char c) { return kEscape.special[c]; }

// Appends the bytes with the five XML entities written out and control bytes other than tab,
// line feed and carriage return dropped. Plain runs are copied in one piece.
void appendEscaped(std::string& out, const char* p, size_t n) {
    size_t run = 0;
    for (size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        if (!needsEscaping(c)) continue;
        out.append(p + run, i - run);
        run = i + 1;
        switch (c) {
        case '"': out.append("&quot;"); break;
        case '&': out.append("&amp;"); break;
        case '\'': out.append("&apos;"); break;
        case '<': out.append("&lt;"); break;
        case '>': out.append("&gt;"); break;
        case '\t': case '\n': case '\r': out.push_back(static_cast<char>(c)); break;
        default: break; // other control bytes vanish
        }
    }
    out.append(p + run, n - run);
}

// Escapes src into dst (dst is reused, its capacity kept).
void escapeInto(std::string& dst, const char* p, size_t n) {
    dst.clear();
    appendEscaped(dst, p, n);
    if (!dst.empty()) XmlInvalidCharHandler::encodeInvalidChars(dst);
}

const std::string& valueTextOf(LMDocumentColumn* cell) {
    static const std::string kEmpty;
    ColumnData* data = cell ? cell->getColumnData() : nullptr;
    return data ? data->getDataAsString() : kEmpty;
}

std::string_view fileNameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string_view(path) : std::string_view(path).substr(slash + 1);
}

// The folder holding the file: the text between the last two "/", when there are two.
bool parentFolderOf(const std::string& path, std::string_view& folder) {
    const size_t last = path.rfind('/');
    if (last == std::string::npos || last == 0) return false;
    const size_t before = path.rfind('/', last - 1);
    if (before == std::string::npos) return false;
    folder = std::string_view(path).substr(before + 1, last - before - 1);
    return true;
}

// Appends a number in decimal, as printf's %d family writes it. Formatting with printf for every
// field of every record shows up in profiles; to_chars gives the same digits.
template <class Int> void appendDecimal(std::string& out, Int value) {
    char buf[24];
    const auto end = std::to_chars(buf, buf + sizeof buf, value).ptr;
    out.append(buf, static_cast<size_t>(end - buf));
}

// Base-16 text as a 32-bit signed number; out-of-range values give the nearest limit and
// unreadable text 0.
int32_t hexValueOf(const std::string& text) {
    errno = 0;
    const long long v = std::strtoll(text.c_str(), nullptr, 16);
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

// The local broken-down time of now. Every record asks for it, often more than once, and the
// conversion is not free; within one second the answer is the same.
time_t localNow(struct tm& out) {
    thread_local time_t cachedSecond = -1;
    thread_local struct tm cached {};
    const time_t now = ::time(nullptr);
    if (now != cachedSecond) {
        localtime_r(&now, &cached);
        cachedSecond = now;
    }
    out = cached;
    return now;
}

// mktime for the event times of records. glibc's mktime looks at the zone file on every call,
// which costs a system call per record; records come in runs from the same hour, so the epoch
// second of the hour's start is kept. Within an hour that has no change of UTC offset the
// mapping is linear and gives exactly what mktime gives; any other case asks mktime.
time_t localToEpoch(const struct tm& wall) {
    struct HourCache {
        int year = -1, mon = -1, mday = -1, hour = -1;
        time_t start = 0;
        bool linear = false;
    };
    thread_local HourCache cache;
    struct tm t = wall;
    t.tm_isdst = -1;
    const bool inRange = t.tm_min >= 0 && t.tm_min <= 59 && t.tm_sec >= 0 && t.tm_sec <= 59 && t.tm_hour >= 0 &&
                         t.tm_hour <= 23;
    if (!inRange) return mktime(&t);
    if (t.tm_year != cache.year || t.tm_mon != cache.mon || t.tm_mday != cache.mday || t.tm_hour != cache.hour) {
        struct tm start = t;
        start.tm_min = 0;
        start.tm_sec = 0;
        const time_t at = mktime(&start);
        struct tm a {}, b {};
        const time_t end = at + 3599;
        const bool known = at != static_cast<time_t>(-1) && localtime_r(&at, &a) && localtime_r(&end, &b);
        cache = {t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, at,
                 known && a.tm_gmtoff == b.tm_gmtoff && a.tm_hour == t.tm_hour && a.tm_min == 0};
    }
    if (!cache.linear) return mktime(&t);
    return cache.start + t.tm_min * 60 + t.tm_sec;
}

// The event time as the local broken-down time of an epoch second.
void eventTimeFromEpoch(time_t seconds, struct tm& eventTime) { localtime_r(&seconds, &eventTime); }

// What a typed cell tells about the record's time. Epoch formats replace the whole time; dates
// and times set their parts. Quilmar lines take only dates and times.
void takeEventTime(const Column& column, ColumnData* data, struct tm& eventTime, bool epochFormats) {
    if (!data) return;
    const int64_t type = column.dataType();
    const int64_t format = column.typeFormat();
    const bool epochDateTime = (type == Date || type == Time) && (format == EpochSecondsFraction || format == EpochSeconds);
    const bool epochNumber = type == Timestamp && (format == FloatingPoint || format == Decimal);
    if (epochDateTime || epochNumber) {
        if (!epochFormats) return;
        if (auto* f = dynamic_cast<FloatColumnData*>(data)) {
            eventTimeFromEpoch(static_cast<time_t>(f->getValue()), eventTime);
        } else if (auto* i = dynamic_cast<IntColumnData*>(data)) {
            eventTimeFromEpoch(static_cast<time_t>(i->getValue()), eventTime);
        }
        return;
    }
    if (type == Date) {
        if (auto* d = dynamic_cast<DateColumnData*>(data)) {
            const LMDate& v = d->getValue();
            eventTime.tm_mday = static_cast<int>(v.getDay());
            eventTime.tm_mon = static_cast<int>(v.getMonth()) - 1;
            eventTime.tm_year = static_cast<int>(v.getYear());
            eventTime.tm_hour = static_cast<int>(v.getHour());
            eventTime.tm_min = static_cast<int>(v.getMinute());
            eventTime.tm_sec = static_cast<int>(v.getSecond());
        }
    } else if (type == Time) {
        if (auto* t = dynamic_cast<TimeColumnData*>(data)) {
            const LMTime& v = t->getValue();
            eventTime.tm_hour = static_cast<int>(v.getHour());
            eventTime.tm_min = static_cast<int>(v.getMinute());
            eventTime.tm_sec = static_cast<int>(v.getSecond());
        }
    }
}


}

// ---------------------------------------------------------------- construction

LMCIHelper::LMCIHelper() = default;

LMCIHelper::LMCIHelper(uint64_t id, const std::string& name)
    : clientId(static_cast<int64_t>(id)), clientName(name), defaultClientName(name) {}



// ---------------------------------------------------------------- document text

void LMCIHelper::docStart() {
    if (syslogMode) {
        currentDoc.clear();
    } else {
        currentDoc.assign("<doc>\n");
    }
}

void LMCIHelper::docEnd() { currentDoc.append("</doc>\n"); }

void LMCIHelper::docAppend() { currentDoc.append("<doc>\n"); }

void LMCIHelper::addField(const std::string& name, const std::string& value, bool untruncated) {
    appendField(name, value, untruncated);
}

void LMCIHelper::addField(const std::string& name, int64_t value) { appendField(name, value); }

// Field names are mostly literals; taking views keeps the builder from making a string of each.
void LMCIHelper::appendField(std::string_view name, std::string_view value, bool untruncated) {
    if (syslogMode) {
        currentDoc.append(name).append(" = {").append(value).append("}  ");
        return;
    }
    if (value.empty()) return;
    currentDoc.append("<field name = \"").append(name).append("\">");
    const size_t start = currentDoc.size();
    const size_t n = untruncated ? value.size() : std::min<uint64_t>(value.size(), maxFieldLength);
    appendEscaped(currentDoc, value.data(), n);
    if (currentDoc.size() > start) XmlInvalidCharHandler::encodeInvalidChars(currentDoc, start);
    currentDoc.append("</field>\n");
}

void LMCIHelper::appendField(std::string_view name, int64_t value) {
    char buf[24];
    const auto end = std::to_chars(buf, buf + sizeof buf, value).ptr;
    appendField(name, std::string_view(buf, static_cast<size_t>(end - buf)), false);
}

void LMCIHelper::encode(std::string& value) {
    if (value.empty()) return;
    escapeInto(escapedTwice_, value.data(), value.size());
    value.swap(escapedTwice_);
}

bool EncodeInvalidXMLChar(std::string& text) { return XmlInvalidCharHandler::encodeInvalidChars(text); }

// ---------------------------------------------------------------- free helpers

bool isNumberInRange(const std::string& text) {
    static const char kMax[] = "9223372036854775807";
    if (text.size() >= 20) return false;
    if (text.size() != 19) return true;
    for (size_t i = 0; i < 19; ++i) {
        if (text[i] != kMax[i]) return text[i] < kMax[i];
    }
    return true;
}

bool isNaN(const std::string& text) {
    for (char c : text) {
        if (c < '0' || c > '9') return true;
    }
    return false;
}

void add_sfField(const Column& column, std::string& sfName, std::string& name) {
    if (filterableOf(column) && !tokenizeOf(column)) sfName = name + "sf";
}

void lower(std::string& text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool validateAndGetUTC(struct tm& time, bool noConversion) {
    if (time.tm_mday == 0) return false;
    time.tm_isdst = -1;
    struct tm local {};
    const time_t now = localNow(local);
    if (time.tm_year == 0) {
        time.tm_year = local.tm_year;
        struct tm probe = time;
        const time_t at = mktime(&probe);
        if (at != static_cast<time_t>(-1) && at - now > 43200) time.tm_year -= 1;
    }
    if (time.tm_year <= 1900) {
        const int year = local.tm_year + 1900;
        int century = year / 100;
        if (year % 100 < time.tm_year) century -= 1;
        time.tm_year += century * 100;
    }
    time.tm_year -= 1900;
    if (noConversion) return true;
    const time_t at = localToEpoch(time);
    struct tm utc {};
    gmtime_r(&at, &utc);
    time = utc;
    return true;
}

std::string indexFieldNameOf(const Column& column) {
    std::string name = column.columnName() + "_";
    if (column.has_dataType()) {
        const int64_t type = column.dataType();
        const int64_t format = column.typeFormat();
        if (type == String) name += "l";
        else if (type == Number && format == Decimal) name += "i";
        else if (type == Number && format == FloatingPoint) name += "d";
        else name += "s";
    }
    const bool filterable = filterableOf(column);
    if (filterable && !keywordOf(column) && column.has_dataType() && column.dataType() == String) {
        name += tokenizeOf(column) ? "t" : "f";
    } else {
        name += filterable ? "f" : "n";
    }
    lower(name);
    return name;
}

uint64_t LMCIHelper::createKeyFordocMap(struct tm& time) {
    struct tm day {};
    day.tm_year = time.tm_year;
    day.tm_mon = time.tm_mon;
    day.tm_mday = time.tm_mday;
    return static_cast<uint64_t>(timegm(&day));
}

std::string LMCIHelper::regularExpressionEvaluator(const std::string& text, const std::string& pattern,
                                                   const int& group) {
    std::string error;
    auto re = LMRegexCache::get(pattern, boost::regex::perl | boost::regex::icase, error);
    if (!re) {
        Error("LMCIHelper::regularExpressionEvaluator", "Error in regex creation %s", error.c_str());
        return "";
    }
    if (text.empty()) return "";
    boost::smatch m;
    if (!searchRegex(text, *re, m)) return "";
    if (group == -1) return "replaced";
    if (group < 0 || static_cast<size_t>(group) >= m.size()) return "";
    return m[group].str();
}

// ---------------------------------------------------------------- identity

void LMCIHelper::setClientName(std::string name) {
    auto leading = [](char c) { return isWordBoundary(c) || isEligibleToken(c) || isQuoteByte(c); };
    auto trailing = [&](char c) { return leading(c) || isCloseToken(c) || c == '.' || c == ':'; };
    size_t first = 0;
    while (first < name.size() && leading(name[first])) ++first;
    size_t end = name.size();
    while (end > first && trailing(name[end - 1])) --end;
    if (end > first) clientName = name.substr(first, end - first);
}

void LMCIHelper::setOrvexerName(std::string name) {
    const size_t first = name.find_first_not_of(' ');
    if (first == std::string::npos) {
        orvexerName.clear();
        return;
    }
    const size_t last = name.find_last_not_of(' ');
    orvexerName = name.substr(first, last - first + 1);
}

void LMCIHelper::clearHeadderInfo() {
    orvexerName.clear();
    clientName = defaultClientName;
}

void LMCIHelper::setUploadTags(std::string& tags) {
    uploadTags.clear();
    size_t start = 0;
    while (start <= tags.size()) {
        size_t comma = tags.find(',', start);
        if (comma == std::string::npos) comma = tags.size();
        if (comma > start) uploadTags.push_back(tags.substr(start, comma - start));
        start = comma + 1;
    }
}

// ---------------------------------------------------------------- building

int LMCIHelper::handleGenerateCIXML(LMDocument*& doc, LMDocumentRow* row, FilteredMessageInfo& info) {
    if (row == nullptr) {
        // Nothing to build; batching must not receive a document without its end.
        Error("LMCIHelper::handleGenerateCIXML", "no record to index");
        return 1;
    }
    if (globalPolicyId != 0) info.monitoringPolicyId = static_cast<uint32_t>(globalPolicyId);
    int result;
    if (info.templateId == 1) {
        result = generateCIXMLForQuilmarTemplate(doc, row, info);
    } else if (info.recordKind == 5) {
        result = generateCIXMLFromDataSetTemplate(doc, row, info);
    } else {
        result = generateCIXMLFromTemplate(doc, row, info);
    }
    if (result != 0 || syslogMode) return result;
    return addToDocList();
}

int LMCIHelper::generateCIXMLFromTemplate(LMDocument*& doc, LMDocumentRow* row, FilteredMessageInfo& info) {
    TemplateXML* templateXml = doc ? doc->getTemplateXml() : nullptr;
    columnRefs_.clear();
    if (templateXml) {
        for (size_t i = 0; i < templateXml->columns_size(); ++i) columnRefs_.push_back(&templateXml->columns(i));
    }
    return buildFromColumns(doc, row, info, columnRefs_, false);
}

int LMCIHelper::generateCIXMLFromDataSetTemplate(LMDocument*& doc, LMDocumentRow* row, FilteredMessageInfo& info) {
    std::list<Column> columns = row ? row->getTemplateColumnList() : std::list<Column>();
    return generateCIXMLFromTemplateBase(doc, row, info, columns, true);
}

int LMCIHelper::generateCIXMLFromTemplateBase(LMDocument*& doc, LMDocumentRow* row, FilteredMessageInfo& info,
                                              std::list<Column>& columns, bool dataSetMode) {
    std::vector<const Column*> refs;
    refs.reserve(columns.size());
    for (const Column& c : columns) refs.push_back(&c);
    return buildFromColumns(doc, row, info, refs, dataSetMode);
}

int LMCIHelper::buildFromColumns(LMDocument* doc, LMDocumentRow* row, FilteredMessageInfo& info,
                                 const std::vector<const Column*>& columns, bool dataSetMode) {
    struct tm eventTime {};
    localNow(eventTime);
    docStart();
    if (!row) return 0;
    const bool secondary = doc && doc->getSecondaryTemplateXml();
    if (secondary) info.templateId = doc->getSecondarytemplateId();

    cells_ = row->getColumnList();
    std::string datePrefix;
    auto cell = cells_.begin();
    for (size_t i = 0; i < columns.size() && cell != cells_.end(); ++i, ++cell) {
        const Column& column = *columns[i];
        if (notIndexed(column) || *cell == nullptr) continue;
        ColumnData* data = (*cell)->getColumnData();
        const std::string& value = valueTextOf(*cell);
        if (syslogMode) {
            renderSyslogColumn(column, data, datePrefix);
            continue;
        }
        if (addColumnField(column, column.columnName(), column.columnName(), value, dataSetMode)) {
            takeEventTime(column, data, eventTime, true);
        }
    }
    if (syslogMode) return 0;

    rowText_ = row->toString();
    RowTextScope scope(rowTextRow_, row);
    if (geoDiscoveryEnabled) {
        discoverIPAndAddToCIDoc(rowText_, currentDoc);
        discoverAndAddLatLng(rowText_, currentDoc, "");
    }
    discoverAndAddToCIDocNew(rowText_, currentDoc);
    const bool big = rowText_.size() > maxFieldLength;
    if (big) appendField("storecontentid_sn", contentIdText(info, nullptr, "_big"));
    if (secondary) appendSecondaryColumns(doc, row, dataSetMode);
    if (info.recordKind == 10) {
        fillCommonInfoForMIFID(row, info, eventTime);
    } else {
        fillCommonInfo(row, info, eventTime);
    }
    docEnd();
    if (big) appendBigRecordDocument(rowText_, info);
    return 0;
}

bool LMCIHelper::addColumnField(const Column& column, const std::string& baseName, const std::string& hexName,
                                const std::string& value, bool dataSetMode) {
    const int64_t type = column.dataType();
    const int64_t format = column.typeFormat();
    const bool hasType = column.has_dataType();
    bool jobIdColumn = false;
    extraName_.clear();
    if (dataSetMode && baseName == "jobid") {
        name_.assign("jobid_i");
        jobIdColumn = true;
    } else {
        name_.assign(baseName).append("_");
        if (hasType) {
            if (type == Number || type == Timestamp) {
                name_ += format == Decimal ? "i" : format == FloatingPoint ? "d" : "s";
            } else if (type == String) {
                add_sfField(column, extraName_, name_);
                name_ += "l";
            } else {
                name_ += "s";
            }
        }
    }
    appendKindLetter(column, name_);
    if (value.empty() || (jobIdColumn && value == "0")) return false;
    if (hasType && type == Number && format == Decimal && !isNumberInRange(value)) {
        DebugLvl("LMCIHelper::generateCIXMLFromTemplateBase", 6,
                 "skipping the Number[%s] as it has crossed the maximum limit.", value.c_str());
        return false;
    }
    escapeInto(escaped_, value.data(), value.size());
    lower(name_);
    appendField(name_, escaped_);
    if (!extraName_.empty()) {
        lower(extraName_);
        appendField(extraName_, escaped_);
    }
    if (hasType && type == Number && format == Hexadecimal) {
        lower(escaped_);
        appendField(hexName + "_DEC_OF_HEX", static_cast<int64_t>(hexValueOf(escaped_)));
    }
    return true;
}

void LMCIHelper::appendKindLetter(const Column& column, std::string& name) {
    const bool filterable = filterableOf(column);
    if (filterable && !keywordOf(column) && column.has_dataType() && column.dataType() == String) {
        name += tokenizeOf(column) ? "t" : "f";
    } else {
        name += filterable ? "f" : "n";
    }
}

void LMCIHelper::renderSyslogColumn(const Column& column, ColumnData* data, std::string& datePrefix) {
    const std::string& name = column.columnName();
    if (!AllowFieldForSyslog(name) || !data) return;
    const std::string& value = data->getDataAsString();
    if (value.empty()) return;
    std::string fieldName = name;
    fieldName[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(fieldName[0])));
    const int64_t type = column.dataType();
    if (type == Date) {
        if (auto* d = dynamic_cast<DateColumnData*>(data)) {
            const LMDate& v = d->getValue();
            const unsigned month = v.getMonth();
            char buf[64];
            std::snprintf(buf, sizeof buf, "%d %s %d ", static_cast<int>(v.getDay()),
                          month >= 1 && month <= 12 ? kMonths[month - 1] : "", static_cast<int>(v.getYear()));
            datePrefix = buf;
        }
        return;
    }
    if (type == Time) {
        appendField(fieldName, datePrefix + value);
        return;
    }
    appendField(fieldName, value);
}

void LMCIHelper::appendSecondaryColumns(LMDocument* doc, LMDocumentRow* row, bool dataSetMode) {
    TemplateXML* secondary = doc->getSecondaryTemplateXml();
    secondaryCells_ = row->getSecondaryColumnList();
    for (size_t i = 0; i < secondary->columns_size(); ++i) {
        const Column& column = secondary->columns(i);
        const std::string sourceName = column.columnEntity() ? column.columnEntity()->name() : std::string();
        ColumnData* found = nullptr;
        for (LMDocumentColumn* cell : secondaryCells_) {
            ColumnData* data = cell ? cell->getColumnData() : nullptr;
            if (data && data->getColumnName() == sourceName) {
                found = data;
                break;
            }
        }
        if (!found) continue;
        appendSecondaryColumn(column, *found, dataSetMode);
    }
}

void LMCIHelper::appendSecondaryColumn(const Column& column, const ColumnData& found, bool dataSetMode) {
    std::string baseName = column.columnName();
    std::string source = found.getDataAsString();
    const LMDataExtractionOption* rule = column.extractionRule();
    if (rule && rule->has_regularExpression() && !rule->regularExpression().empty()) {
        const bool replace = rule->has_replacementText() && !rule->replacementText().empty();
        const int group = replace ? -1 : std::atoi(rule->groupNumber().c_str());
        const std::string extracted = regularExpressionEvaluator(source, rule->regularExpression(), group);
        if (extracted.empty()) return;
        source = replace ? rule->replacementText() : extracted;
        char id[32];
        std::snprintf(id, sizeof id, "%lu", static_cast<unsigned long>(column.columnId()));
        baseName += id;
    }
    Column& mutableColumn = const_cast<Column&>(column);
    std::unique_ptr<ColumnData> value(ColumnDataGenerator(mutableColumn, source));
    if (notIndexed(column)) return;
    const int64_t type = column.dataType();
    if (value && (type == Date || type == Time) && appendSecondaryDateTime(column, baseName, *value)) return;
    const std::string& text = value ? value->getDataAsString() : source;
    addColumnField(column, baseName, column.columnName(), text, dataSetMode);
}

bool LMCIHelper::appendSecondaryDateTime(const Column& column, const std::string& baseName, ColumnData& value) {
    struct tm t {};
    unsigned millisecond = 0;
    const bool isDate = column.dataType() == Date;
    if (auto* d = dynamic_cast<DateColumnData*>(&value)) {
        const LMDate& v = d->getValue();
        t.tm_mday = static_cast<int>(v.getDay());
        t.tm_mon = static_cast<int>(v.getMonth()) - 1;
        t.tm_year = static_cast<int>(v.getYear());
        t.tm_hour = static_cast<int>(v.getHour());
        t.tm_min = static_cast<int>(v.getMinute());
        t.tm_sec = static_cast<int>(v.getSecond());
        millisecond = v.getMiliSecond();
    } else if (auto* tv = dynamic_cast<TimeColumnData*>(&value)) {
        localNow(t);
        const LMTime& v = tv->getValue();
        t.tm_hour = static_cast<int>(v.getHour());
        t.tm_min = static_cast<int>(v.getMinute());
        t.tm_sec = static_cast<int>(v.getSecond());
        millisecond = v.getMiliSecond();
    } else {
        return false; // epoch formats carry a number; they are written as numbers
    }
    const bool utc = utcOf(column);
    validateAndGetUTC(t, !utc);
    std::string name = baseName;
    lower(name);
    const char* kind = filterableOf(column) ? "f" : "n";
    char buf[96];
    if (isDate) {
        name += utc ? "_u_t" : "_t";
        std::snprintf(buf, sizeof buf, "%d-%d-%dT%d:%d:%d.%d%s", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                      t.tm_hour, t.tm_min, t.tm_sec, static_cast<int>(millisecond), "Z");
    } else {
        name += utc ? "_u_t_i" : "_t_i";
        const long ms = (static_cast<long>(t.tm_hour) * 3600 + t.tm_min * 60 + t.tm_sec) * 1000 +
                        static_cast<long>(millisecond);
        std::snprintf(buf, sizeof buf, "%ld", ms);
    }
    name += kind;
    appendField(name, std::string_view(buf));
    return true;
}

// ---------------------------------------------------------------- common fields

// The builders read the record's text once; the common fields reuse it while the build runs.
const std::string& LMCIHelper::rowTextOf(LMDocumentRow* row) {
    if (row != rowTextRow_) rowText_ = row->toString();
    return rowText_;
}

std::string& LMCIHelper::contentIdText(const FilteredMessageInfo& info, const char* keyPart,
                                             const char* suffix) {
    const uint32_t line = info.lines.empty() ? 0 : info.lines.front().lineNumber;
    std::string& id = contentId_;
    id.assign("KQLM_C");
    appendDecimal(id, static_cast<long>(clientId));
    id.append("_MP");
    appendDecimal(id, info.monitoringPolicyId);
    if (keyPart) {
        id.append("_").append(keyPart);
    } else {
        id.append("_F");
        appendDecimal(id, info.uniqueFileId);
    }
    id.append("_L");
    appendDecimal(id, line);
    if (suffix) id.append(suffix);
    return id;
}

void LMCIHelper::fillCommonInfo(LMDocumentRow* row, FilteredMessageInfo& info, struct tm& eventTime) {
    std::string& id = contentIdText(info, nullptr, nullptr);
    if (!uploadRequestId.empty()) id.append("_R").append(uploadRequestId);
    appendField("contentid", id);
    const std::string& text = rowTextOf(row);
    escapeInto(escaped_, text.data(), text.size());
    appendField("LogLine", escaped_);
    appendCommonTail(row, info, eventTime, false);
}

void LMCIHelper::fillCommonInfoForMIFID(LMDocumentRow* row, FilteredMessageInfo& info, struct tm& eventTime) {
    const MIFIDOptions& o = info.complianceOptions;
    const size_t hash = std::_Hash_bytes(o.fileKey.data(), o.fileKey.size(), static_cast<size_t>(0xc70f6907UL));
    char key[96];
    std::snprintf(key, sizeof key, "J%lld_F%zu", static_cast<long long>(o.jobId), hash);
    appendField("FileUniqueId", std::string_view(key));
    std::string& id = contentIdText(info, key, nullptr);
    if (!uploadRequestId.empty()) id.append("_R").append(uploadRequestId);
    appendField("contentid", id);
    const std::string& text = rowTextOf(row);
    escapeInto(escaped_, text.data(), text.size());
    appendField("logline_sn", escaped_, true);
    appendCommonTail(row, info, eventTime, true);
}

void LMCIHelper::appendCommonTail(LMDocumentRow* row, const FilteredMessageInfo& info, struct tm& eventTime,
                                  bool compliance) {
    const MIFIDOptions& o = info.complianceOptions;
    const std::string_view fileName = compliance ? std::string_view(o.fileName) : fileNameOf(info.source);
    appendField("ClientName", clientName);
    appendField("FileName", fileName);
    std::string_view folder;
    if (uploadRequestId.empty() && parentFolderOf(info.source, folder)) {
        appendField("parentfolder_sf", folder);
        appendField("parentfolder_lf", folder);
    }
    appendField("FilePath", info.source);
    appendField("TemplateId", static_cast<int64_t>(info.templateId));
    appendField("MonitoringPolicyId", static_cast<int64_t>(info.monitoringPolicyId));
    appendField("isLMDoc", int64_t{1});
    appendField("MonitoringPolicyName", info.policyName);
    appendField("TemplateName", info.templateName);
    for (const std::string& tag : uploadTags) {
        appendField("tag_ss", tag);
        appendField("tag_ls", tag);
    }
    if (uploadUserId != 0) appendField("kquploaduser_if", static_cast<int64_t>(uploadUserId));
    appendField("ClientId", !compliance && cloudPolicyId != 0 ? int64_t{-1} : clientId);
    if (eventTimeEnabled && validateAndGetUTC(eventTime, false)) {
        std::string& text = number_;
        text.clear();
        appendDecimal(text, eventTime.tm_year + 1900);
        text.push_back('-');
        appendDecimal(text, eventTime.tm_mon + 1);
        text.push_back('-');
        appendDecimal(text, eventTime.tm_mday);
        text.push_back('T');
        appendDecimal(text, eventTime.tm_hour);
        text.push_back(':');
        appendDecimal(text, eventTime.tm_min);
        text.push_back(':');
        appendDecimal(text, eventTime.tm_sec);
        text.append(".0Z");
        appendField("eventTime", text);
        currentDayKey = createKeyFordocMap(eventTime);
    }
    appendField("cistate", int64_t{1});
    appendField("LineNumber", static_cast<int64_t>(row->getLineNumber()));
    if (!compliance) appendField("FileUniqueId", uniqueFileId);
    appendField("clientname", clientName);
    appendField("monitoringpolicyname", info.policyName);
    appendField("filename", fileName);
    appendField("templatename", info.templateName);
    appendField("orvexer_sf", orvexerName, true);
    noteBatchFileId(info.uniqueFileId);
    if (!compliance) return;
    appendField("fileGuid_sn", o.fileGuid);
    appendField("vestryNumber_in", o.vestryNumber);
    appendField("sourceClientId_in", static_cast<int64_t>(o.sourceClientId));
    appendField("archChunkId_in", o.archChunkId);
    appendField("archChunkOffSet_in", o.archChunkOffset);
    appendField("subclientId_in", static_cast<int64_t>(o.applicationId));
    appendField("appTypeId_in", static_cast<int64_t>(o.appTypeId));
    appendField("backupJobId_if", o.jobId);
}

void LMCIHelper::noteBatchFileId(int32_t fileId) {
    if (fileId == lastBatchFileId) return;
    batchFileIds.push_back(fileId);
    lastBatchFileId = fileId;
}

void LMCIHelper::appendBigRecordDocument(const std::string& rowText, const FilteredMessageInfo& info) {
    docAppend();
    appendField("logline_sn", rowText, true);
    appendField("origcontentid_sf", contentIdText(info, nullptr, nullptr));
    appendField("contentid", contentIdText(info, nullptr, "_big"));
    appendField("MonitoringPolicyId", static_cast<int64_t>(info.monitoringPolicyId));
    docEnd();
}


// ---------------------------------------------------------------- the suite's own log lines

// Lines of the suite's log format differ from template records: the event time starts empty
// (a line without a date gets none), numbers are not range-checked, and discovery reads only the
// message, the last column.
int LMCIHelper::generateCIXMLForQuilmarTemplate(LMDocument*& doc, LMDocumentRow* row, FilteredMessageInfo& info) {
    struct tm eventTime {};
    docStart();
    if (!row) return 0;
    TemplateXML* templateXml = doc ? doc->getTemplateXml() : nullptr;
    const bool secondary = doc && doc->getSecondaryTemplateXml();
    if (secondary) info.templateId = doc->getSecondarytemplateId();
    cells_ = row->getColumnList();
    const size_t templateColumns = templateXml ? templateXml->columns_size() : 0;
    auto cell = cells_.begin();
    for (size_t i = 0; i < templateColumns && cell != cells_.end(); ++i, ++cell) {
        const Column& column = templateXml->columns(i);
        if (!column.has_columnName() || column.columnName().empty()) return 1;
        if (notIndexed(column) || *cell == nullptr) continue;
        addQuilmarColumn(column, *cell, eventTime);
    }

    rowText_ = row->toString();
    RowTextScope scope(rowTextRow_, row);
    if (secondary) appendSecondaryColumns(doc, row, false);
    fillCommonInfo(row, info, eventTime);
    if (geoDiscoveryEnabled) {
        discoverIPAndAddToCIDoc(rowText_, currentDoc);
        discoverAndAddLatLng(rowText_, currentDoc, "");
    }
    if (cells_.size() > 1) discoverAndAddToCIDocNew(valueTextOf(cells_.back()), currentDoc);
    const bool big = rowText_.size() > maxFieldLength;
    if (big) appendField("storecontentid_sn", contentIdText(info, nullptr, "_big"));
    docEnd();
    if (big) appendBigRecordDocument(rowText_, info);
    return 0;
}

void LMCIHelper::addQuilmarColumn(const Column& column, LMDocumentColumn* cell, struct tm& eventTime) {
    const std::string& raw = valueTextOf(cell);
    escapeInto(escaped_, raw.data(), raw.size());
    const std::string& columnName = column.columnName();
    const int64_t type = column.has_dataType() ? column.dataType() : -1;
    const int64_t format = column.typeFormat();
    extraName_.clear();
    if (columnName == "JobId") {
        if (isNaN(escaped_)) return;
        name_.assign("JobId_i");
    } else {
        name_.assign(columnName).append("_");
        if (type == String) {
            add_sfField(column, extraName_, name_);
            name_ += "l";
        } else if (type == Number) {
            name_ += format == Decimal ? "i" : format == FloatingPoint ? "d" : "s";
        } else {
            name_ += "s";
        }
    }
    appendKindLetter(column, name_);
    if (escaped_.empty()) return;
    if (type == Number && format == Decimal && std::atoi(escaped_.c_str()) == 0) escaped_.assign("0");
    if (type == Number && format == Hexadecimal) lower(escaped_);
    lower(name_);
    appendField(name_, escaped_);
    if (!extraName_.empty()) {
        lower(extraName_);
        appendField(extraName_, escaped_);
    }
    if (type == Number && format == Hexadecimal) {
        appendField(columnName + "_DEC_OF_HEX", static_cast<int64_t>(hexValueOf(escaped_)));
    }
    takeEventTime(column, cell->getColumnData(), eventTime, false);
}

}
