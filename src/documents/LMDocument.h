#pragma once
// The common interface of every source of rows: text log files read through a template, lines
// handed over in memory, CSV files, management data sets and the suite's own event log.
//
// Calling order: create (usually through LMDocumentFactory); set the policy id, the template and
// the reading options; openDocument(); optionally readHeader(); read() until it returns null,
// destroying each row after use; destroy the document (which closes its source).
//
// A document never owns its templates: the caller keeps them alive while the document is used.
// A document is used by one thread at a time.
#include <cstdint>
#include <list>
#include <map>
#include <string>

#include "LMExport.h"
#include "documents/LMDocumentRow.h"
#include "pipeline/MonitoringType.h"
#include "platform/log/EvLMDebug.h"
#include "platform/messages/catalogue/TemplateMessages.h"

namespace LogMonitoring {

class LM_EXPORT LMDocument {
public:
    explicit LMDocument(const std::string& name);
    LMDocument(const std::string& name, MonitoringType type);
    virtual ~LMDocument();
    LMDocument(const LMDocument&) = delete;
    LMDocument& operator=(const LMDocument&) = delete;

    virtual int openDocument() = 0;
    virtual int closeDocument() = 0;
    virtual unsigned long getLocale();
    virtual unsigned long getUserId();
    virtual void setLocale(unsigned long locale);
    virtual void setUserId(unsigned long userId);
    virtual void setOffset(unsigned long offset);
    virtual unsigned long getOffset() const;
    virtual void setLastOffsetToRead(unsigned long offset);
    virtual unsigned long getLastOffsetToRead() const;
    virtual void setLineNumber(unsigned long lineNumber);
    virtual unsigned long getLineNumber() const;
    virtual void setFileId(unsigned int fileId);
    virtual unsigned int getFileId() const;
    virtual void setMonitoringPolicyId(unsigned int policyId);
    virtual unsigned int getMonitoringPolicyId() const;
    virtual void setHeaderLinesNum(unsigned long count);
    virtual unsigned long getHeaderLinesNum() const;
    virtual std::string getDocumentName() const;
    // The next row, owned by the caller, or null when there is none.
    virtual LMDocumentRow* read() = 0;
    // Rows made of the first `count` lines; owned by the caller. The base has no header.
    virtual std::list<LMDocumentRow*> readHeader(unsigned long count);
    virtual void setTemplateXml(TemplateXML* templateXml);
    virtual TemplateXML* getTemplateXml();
    virtual void setSecondaryTemplateXml(TemplateXML* templateXml);
    virtual TemplateXML* getSecondaryTemplateXml();
    virtual void setCountLinesOnly(bool countOnly);
    virtual void setOlderThanEvent(bool olderThan, int number);
    virtual unsigned int getMonitoringType();
    virtual void setCaptureHeader(bool capture);
    virtual bool getCaptureHeader();
    virtual void setIsCSV(bool isCsv);
    virtual void setSecondarytemplateId(int id);

    // No operation of the engine sets an error code; kept for hosts that ask.
    uint32_t getErrorCode() const { return errorCode_; }
    int getSecondarytemplateId() const { return secondaryTemplateId_; }
    int getEncoding() const { return encoding_; }

protected:
    EvLMDebug debug_;
    std::map<std::string, Column> secondaryColumns_;
    int32_t secondaryTemplateId_ = 0;
    TemplateXML* template_ = nullptr;
    TemplateXML* secondaryTemplate_ = nullptr;
    std::string name_;
    uint64_t offset_ = 0;
    uint64_t lineNumber_ = 0;
    uint32_t fileId_ = 0;
    uint32_t monitoringPolicyId_ = 0;
    uint64_t headerLineCount_ = 0;
    bool countLinesOnly_ = false;
    bool olderThanEvent_ = false;
    int32_t olderThanEventNumber_ = 0;
    uint32_t errorCode_ = 0;
    bool captureHeader_ = false;
    uint32_t monitoringType_ = 0;
    // 0 plain, 1 UTF-8 with byte-order mark, 2 UTF-16 little endian, 3 UTF-16 big endian.
    int32_t encoding_ = 0;
};

}
