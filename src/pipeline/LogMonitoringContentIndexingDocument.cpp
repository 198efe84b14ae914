// Reading one document of a run: its header, every row into the index document builder, and the
// last batch to the index engine or the records to syslog.
#include <list>
#include <memory>

#include "documents/LMDocument.h"
#include "documents/LMDocumentRow.h"
#include "pipeline/LMPolicyProperties.h"
#include "pipeline/LogMonitoringContentIndexing.h"
#include "pipeline/MonitoringType.h"
#include "platform/mgmt/LogMonitor.h"
#include "scan/unixUniqueFileIdentfier.h"

namespace LogMonitoring {

namespace {

constexpr int64_t kOwnFormatTemplateId = 1;
constexpr unsigned long kOwnFormatHeaderLines = 10;

const char* const kDataSetContents[][2] = {
    {"LMGetEventViewerDataSetForCI", "Event Viewer"},
    {"LMGetGUIAuditDataSetForCI", "Audit Trail"},
    {"LMGetAlertDataSetForCI", "Alert"},
};

// The source name of a data set, or null for anything else.
const char* dataSetSource(const std::string& content) {
    for (const auto& entry : kDataSetContents)
        if (content == entry[0]) return entry[1];
    return nullptr;
}

bool isFileTemplateType(int64_t type) {
    return type == MonitoringTextLog || type == MonitoringEventLogContent || type == MonitoringTextLogNoHeader;
}

void destroyRows(std::list<LMDocumentRow*>& rows) {
    for (LMDocumentRow* row : rows) delete row;
    rows.clear();
}

// The text after the first ':' of a header line.
std::string afterFirstColon(const std::string& text) {
    const size_t colon = text.find(':');
    return colon == std::string::npos ? std::string() : text.substr(colon + 1);
}

} // namespace

void LogMonitoringContentIndexing::readHeaderOfOwnFormat(LMDocument* doc) {
    const unsigned long offset = doc->getOffset();
    const unsigned long line = doc->getLineNumber();
    clearHeadderInfo();
    doc->setOffset(0);
    doc->setHeaderLinesNum(kOwnFormatHeaderLines);
    std::list<LMDocumentRow*> rows = doc->readHeader(doc->getHeaderLinesNum());
    auto row = rows.begin();
    if (rows.size() > 1) {
        const std::string text = (*std::next(row))->toString();
        if (text.find("Machine") != std::string::npos) {
            std::string machine = afterFirstColon(text);
            const size_t end = machine.find(':');
            if (end != std::string::npos) machine.resize(end);
            if (!machine.empty()) setClientName(machine);
        }
    }
    if (rows.size() > 5) {
        const std::string text = (*std::next(row, 4))->toString();
        if (text.find("Orvexer") != std::string::npos) {
            const std::string rest = afterFirstColon(text);
            const size_t end = rest.find(':');
            if (end != std::string::npos) setOrvexerName(rest.substr(0, end));
        }
    }
    destroyRows(rows);
    doc->setOffset(offset);
    doc->setLineNumber(line);
}

void LogMonitoringContentIndexing::captureHeaderRows(LMDocument* doc, FilteredMessageInfo& info) {
    std::list<LMDocumentRow*> rows = doc->readHeader(doc->getHeaderLinesNum());
    const bool capture = doc->getMonitoringType() == MonitoringTextLog && doc->getCaptureHeader();
    for (LMDocumentRow* row : rows) {
        Line line;
        line.lineNumber = static_cast<uint32_t>(row->getLineNumber());
        line.text = row->toString();
        if (capture) {
            info.lines.assign(1, std::move(line));
            eventTimeEnabled = false;
            if (handleGenerateCIXML(doc, row, info) != 0)
                log_.Error("documentMatcher", "Failed to capture header with errorCode[%d]",
                           static_cast<int>(doc->getErrorCode()));
            eventTimeEnabled = true;
        }
    }
    destroyRows(rows);
}

int LogMonitoringContentIndexing::reportByteCounter(LMDocument* doc, uint64_t& byteCounter) {
    LMSetIterationSize report;
    report.set_bytesIndexed(static_cast<int64_t>(byteCounter));
    report.set_monitoringPolicyId(doc->getMonitoringPolicyId());
    report.mutable_client().set_clientId(static_cast<int64_t>(clientId_));
    std::string text;
    if (report.serialize(text) != 0) {
        byteCounter = 0;
        return 0;
    }
    if (LogMonitor().setCurrentStatus(kLMPolicyEntityType, LMSetIterationSize::tagID(), text) != 0) {
        log_.Error("LogMonitoringContentIndexing::documentIndexer", " Not able to update indexed data to table");
        return kLMRowOrReportFailed;
    }
    byteCounter = 0;
    return 0;
}

int LogMonitoringContentIndexing::documentIndexer(LMDocument*& doc, uint64_t& byteCounter, std::string uploadTags) {
    static const char* kOp = "LogMonitoringContentIndexing::documentIndexer";
    const LMTemplate* tmpl = firstTemplate();
    const int64_t templateType = tmpl ? tmpl->templateType() : 0;
    const KqEntities::TemplateEntity* entity = tmpl ? tmpl->templateEntity() : nullptr;
    const int64_t templateId = entity ? entity->templateId() : 0;

    doc->openDocument();
    TemplateXML* docTemplate = doc->getTemplateXml();
    const std::string content = docTemplate && docTemplate->has_content() ? docTemplate->content() : std::string();

    long long fileId = 0;
    if (isFileTemplateType(templateType)) {
        unixUniqueFileIdentfier identifier;
        if (identifier.getUniqueFileIdentfier(content, fileId, false) != 0) {
            log_.Error(kOp, "failed to get uniqueu id for the file [%s]", content.c_str());
            return kLMNoUniqueFileId;
        }
        setUploadTags(uploadTags);
    }
    if (templateId == kOwnFormatTemplateId) readHeaderOfOwnFormat(doc);

    FilteredMessageInfo info;
    info.monitoringPolicyId = doc->getMonitoringPolicyId();
    info.policyName = policy_.monitoringPolicy() ? policy_.monitoringPolicy()->policyName() : std::string();
    info.templateId = static_cast<int32_t>(templateId);
    info.templateName = entity && entity->has_templateName() ? entity->templateName() : std::string();
    info.recordKind = static_cast<int32_t>(templateType);
    const int64_t uniqueId = isFileTemplateType(templateType) ? fileId : static_cast<int64_t>(policyId_);
    info.uniqueFileId = static_cast<int32_t>(uniqueId);
    setUniqueFileId(uniqueId);
    const char* dataSet = dataSetSource(content);
    info.source = dataSet ? dataSet : content;

    if (isSysLogAllowed()) setPropertiesForSysLog(content);
    if (doc->getHeaderLinesNum() != 0 && doc->getLineNumber() < doc->getHeaderLinesNum()) captureHeaderRows(doc, info);

    log_.DebugLvl(kOp, 4, "Reading all the rows from the document");
    int result = 0;
    bool rowRead = false;
    bool lineSent = false;
    unsigned long currentLine = 0;
    unsigned long lastSentLine = 0;
    LMDocumentRow* row = nullptr;
    while ((row = doc->read()) != nullptr) {
        rowRead = true;
        if (indexingStopRequested.load(std::memory_order_relaxed)) {
            log_.Error(kOp, "The engine is stopping; leaving [%s] at line [%lu]", content.c_str(), currentLine);
            result = kLMRowOrReportFailed;
            break;
        }
        // One line node serves every row: the builder reads it, nothing keeps it.
        if (info.lines.size() != 1) info.lines.assign(1, Line());
        Line& line = info.lines.front();
        currentLine = row->getLineNumber();
        line.lineNumber = static_cast<uint32_t>(currentLine);
        line.text = row->toString();
        const uint64_t rowSize = line.text.size();
        if (rowSize > ~byteCounter) {
            result = reportByteCounter(doc, byteCounter);
            if (result != 0) break;
        }
        byteCounter += rowSize;
        if (handleGenerateCIXML(doc, row, info) != 0) {
            result = kLMRowOrReportFailed;
            break;
        }
        if (isSysLogAllowed()) {
            const int sent = sendDataToSysLog();
            if (sent != 0) {
                log_.Error(kOp, "Not able to send record to syslog, returning at count [%ld]",
                           static_cast<long>(currentLine));
                result = sent;
                break;
            }
            lastSentLine = currentLine;
            lineSent = true;
        }
        delete row;
        row = nullptr;
    }
    delete row;

    if (isSysLogAllowed() && rowRead) {
        if (result == 0) {
            lastRowIndexed_ = currentLine;
        } else if (lineSent) {
            lastRowIndexed_ = lastSentLine;
            result = 0;
        } else {
            log_.Error(kOp, "Failed to send logs to syslog, check syslog configuratiton, returning...");
        }
    }
    log_.DebugLvl(kOp, 4, "Read all the rows from the document");
    if (!isSysLogAllowed() && rowRead && result == 0) {
        if (sendDatatoCI(true, false) != 0) result = kLMLastBatchFailed;
        else lastRowIndexed_ = currentLine;
    }
    clearDocList();
    if (result == 0 && !dataSet && !rowRead) result = kLMNoRowRead;
    return result;
}

} // namespace LogMonitoring
