#include "documents/LMDocument.h"

namespace LogMonitoring {

LMDocument::LMDocument(const std::string& name) : name_(name) {}

LMDocument::LMDocument(const std::string& name, MonitoringType type)
    : name_(name), monitoringType_(static_cast<uint32_t>(type)) {}

// The templates belong to the caller and are never released here.
LMDocument::~LMDocument() = default;

unsigned long LMDocument::getLocale() { return 0; }
unsigned long LMDocument::getUserId() { return 0; }
void LMDocument::setLocale(unsigned long) {}
void LMDocument::setUserId(unsigned long) {}
void LMDocument::setOffset(unsigned long offset) { offset_ = offset; }
unsigned long LMDocument::getOffset() const { return offset_; }
void LMDocument::setLastOffsetToRead(unsigned long) {}
unsigned long LMDocument::getLastOffsetToRead() const { return 0; }
void LMDocument::setLineNumber(unsigned long lineNumber) { lineNumber_ = lineNumber; }
unsigned long LMDocument::getLineNumber() const { return lineNumber_; }
void LMDocument::setFileId(unsigned int fileId) { fileId_ = fileId; }
unsigned int LMDocument::getFileId() const { return fileId_; }
void LMDocument::setMonitoringPolicyId(unsigned int policyId) { monitoringPolicyId_ = policyId; }
unsigned int LMDocument::getMonitoringPolicyId() const { return monitoringPolicyId_; }
void LMDocument::setHeaderLinesNum(unsigned long count) { headerLineCount_ = count; }
unsigned long LMDocument::getHeaderLinesNum() const { return headerLineCount_; }
std::string LMDocument::getDocumentName() const { return name_; }
std::list<LMDocumentRow*> LMDocument::readHeader(unsigned long) { return {}; }
void LMDocument::setTemplateXml(TemplateXML* templateXml) { template_ = templateXml; }
TemplateXML* LMDocument::getTemplateXml() { return template_; }
void LMDocument::setSecondaryTemplateXml(TemplateXML* templateXml) { secondaryTemplate_ = templateXml; }
TemplateXML* LMDocument::getSecondaryTemplateXml() { return secondaryTemplate_; }
void LMDocument::setCountLinesOnly(bool countOnly) { countLinesOnly_ = countOnly; }
void LMDocument::setOlderThanEvent(bool olderThan, int number) {
    olderThanEvent_ = olderThan;
    olderThanEventNumber_ = number;
}
unsigned int LMDocument::getMonitoringType() { return monitoringType_; }
void LMDocument::setCaptureHeader(bool capture) { captureHeader_ = capture; }
bool LMDocument::getCaptureHeader() { return captureHeader_; }
void LMDocument::setIsCSV(bool) {}
void LMDocument::setSecondarytemplateId(int id) { secondaryTemplateId_ = id; }

}
