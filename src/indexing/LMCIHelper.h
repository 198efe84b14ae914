#pragma once
// The index helper: turns the rows of a document into index documents (an XML "<doc>" of named
// fields with a stable content identifier), enriches them with discovered fields and locations,
// batches them, talks HTTP to the index engine and renders records for syslog.
//
// An instance is used by one thread at a time; nothing here takes a lock while building
// documents. The helper owns its batch, its connection and its send pool; the database interface
// it may be given is not owned.
#include <cstdint>
#include <ctime>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "LMExport.h"
#include "documents/FilteredMessageInfo.h"
#include "platform/log/EvLMDebug.h"
#include "platform/messages/catalogue/Catalogue.h"
#include "platform/network/CKqNetwork.h"
#include "platform/registry/KQPlatformInfo.h"
#include "platform/threads/KqCriticalSection.h"
#include "platform/threads/KqThreadPool.h"

class LMDBInterface;

namespace LogMonitoring {

class LMDocument;
class LMDocumentRow;
class LMDocumentColumn;
class ColumnData;
class LMSyslogSender;

// Result of the operations that this platform does not offer.
constexpr int kLMNotSupported = 0xA0010;
// Result of engine discovery when a request or reply cannot be serialised or parsed, or the reply
// names neither nodes nor an error.
constexpr int kLMDiscoveryBadMessage = 0xB0002;

// The data type of a policy property as the management server stores it (1: text).
using LMDataType = int64_t;
constexpr LMDataType kLMDataTypeText = 1;

// Batching limits and the codes a failed send leaves in lastErrorCode.
constexpr uint64_t kLMMaxBatchBytes = 14679040;       // also the largest single document
constexpr uint64_t kLMMaxGlobalBatchBytes = 5242880;  // global monitoring mode
constexpr size_t kLMMaxBatchFiles = 200;
constexpr int32_t kLMMaxDocsKeptAfterFailure = 1800;
enum LMSendError : int32_t {
    kLMAllNodesFailed = 1000,
    kLMEmptyUrlOrData = 1001,
    kLMAttachFailed = 1002,
    kLMSendFailed = 1003,
    kLMReceiveFailed = 1004,
};

// Guards every sender's indexStatus against its send-pool workers.
extern KqCriticalSectionH csIndexStatus;

// What the geolocation service said about one address.
struct GeolocationAttributes {
    std::string countryCode;
    std::string state;
    std::string latitude;
    std::string longitude;
};

class LM_EXPORT LMCIHelper : public EvLMDebug {
public:
    // The documents of one UTC day and how many there are.
    struct docListInfo {
        std::string docs;
        int32_t count = 0;
    };

    LMCIHelper();
    LMCIHelper(uint64_t clientId, const std::string& clientName);
    virtual ~LMCIHelper();
    LMCIHelper(const LMCIHelper&) = delete;
    LMCIHelper& operator=(const LMCIHelper&) = delete;

    // ---- document building ----
    // Builds the record's document and hands it to batching (or, in syslog mode, leaves the
    // rendered record in currentDoc for the caller to send).
    int handleGenerateCIXML(LMDocument*& doc, LMDocumentRow* row, FilteredMessageInfo& info);
    int generateCIXMLFromTemplate(LMDocument*& doc, LMDocumentRow* row, FilteredMessageInfo& info);
    int generateCIXMLFromDataSetTemplate(LMDocument*& doc, LMDocumentRow* row, FilteredMessageInfo& info);
    int generateCIXMLForQuilmarTemplate(LMDocument*& doc, LMDocumentRow* row, FilteredMessageInfo& info);
    int generateCIXMLFromTemplateBase(LMDocument*& doc, LMDocumentRow* row, FilteredMessageInfo& info,
                                      std::list<Column>& columns, bool dataSetMode);
    void fillCommonInfo(LMDocumentRow* row, FilteredMessageInfo& info, struct tm& eventTime);
    void fillCommonInfoForMIFID(LMDocumentRow* row, FilteredMessageInfo& info, struct tm& eventTime);

    void addField(const std::string& name, const std::string& value, bool untruncated = false);
    void addField(const std::string& name, int64_t value);
    void encode(std::string& value);
    void docStart();
    void docEnd();
    void docAppend();

    // ---- batching and sending ----
    // Adds currentDoc to the batch; 0, or the result of a send the batch size triggered.
    virtual int addToDocList();
    // The same for a given text, with only the plain size rule in list mode.
    int addToDocList(const std::string& doc);
    // Day-bucket insertion of one document into the entry of currentDayKey.
    int populateDocMap(const std::string& doc);
    void clearDocList();
    // Sends the batch: 0 on success, -1 on failure; offsets of the batch's files advance or roll
    // back with the reply when a database interface is set.
    int sendDatatoCI(bool commit, bool force);
    // One synchronous exchange with the engine host (or the proxy client); the reply's error code
    // (1 success) or 0.
    int indexCollectedDataKQS(std::string& url, std::string& data, std::string& response, bool reserved,
                              bool commit);
    // Queues one exchange on the send pool; 1 when queued, 0 when refused.
    int indexCollectedDataUsingThreadPool(std::string& url, std::string& data, std::string& response,
                                          bool reserved, bool commit);
    void addDocsToDataBucketList(LMAddDocumentBucketsToCIReq& req);
    void populateDocumentBucketReq(LMAddDocumentBucketsToCIReq& req, bool& commit, std::string& url);
    // Sets lastErrorCode to the Solr status the reply carries (0 without one).
    void processOutputResponse(const std::string& response);
    // Asks the engine host to commit; the reply's error code (1 success) or the network error's.
    int sendRequestToCommitData(int clientId);
    void setFlushStatus(bool flush) { flushEnabled = flush; }
    void setdataAgeingTimerInterval(int days) { dataAgeingDays = days; }
    void setFactor(int factor) { timeFactor = factor; }
    void setSubClientId(uint64_t id) { subClientId = id; }
    void setDumpLocation(std::string location) { dumpLocation = std::move(location); }

    // ---- engine discovery and routing ----
    // Direct line ingestion and the compliance matcher: identity, registry settings, global
    // monitoring or the cloud's node. The result of the test send (0), or a discovery code.
    int initialize(uint64_t clientId, std::string clientName, uint64_t monitoringPolicyId, int cloudId,
                   LMDBInterface* db);
    // The indexing session, with the node list it already holds (may be empty).
    int initialize(uint64_t clientId, std::string clientName, uint64_t monitoringPolicyId, int cloudId,
                   std::vector<cloudClientInfoV2>& nodes);
    bool setCloudMonitoringPolicy();
    int getCIEngineURL(int cloudId);
    void setCloudClientList(std::vector<cloudClientInfo> nodes);
    std::vector<cloudClientInfo> getCloudClientList();
    // 0 when a node answers over HTTP (switching to it when needed), 1 when none does.
    int pingWebserverUrl();
    bool isClientReachable(uint64_t clientId);
    bool SetLogMonitoringProperty(std::string name, LMDataType type, std::string value);
    bool SetRemoteHostEventBookmark(std::string host, std::string bookmark);

    // The UTC epoch second of 00:00 of the day the broken-down time names.
    uint64_t createKeyFordocMap(struct tm& time);
    // Sub-expression `group` of the first case-insensitive match of `pattern` in `text`; -1 asks
    // only whether it matches ("replaced"). "" for no match, a bad group or a bad expression.
    std::string regularExpressionEvaluator(const std::string& text, const std::string& pattern,
                                           const int& group);

    // ---- identity and per-file settings ----
    void setClientName(std::string name);
    void setOrvexerName(std::string name);
    void clearHeadderInfo();
    void setUploadTags(std::string& tags);
    void setUploadRequestId(std::string& id) { uploadRequestId = id; }
    std::string getUploadRequestId() { return uploadRequestId; }
    void setUserId(int id) { uploadUserId = id; }
    void setUniqueFileId(int64_t id) { uniqueFileId = id; }
    void setAllowSyslog(bool allow) { syslogMode = allow; }
    bool isSysLogAllowed() { return syslogMode; }
    bool getisLmScaleRegEnabled() { return dayBucketMode; }

    // ---- field discovery and geolocation ----
    void discoverAndAddToCIDocNew(std::string text, std::string& doc);
    int discoverIPAndAddToCIDoc(std::string text, std::string& doc);
    int discoverAndAddLatLng(std::string text, std::string& doc, const std::string& ip);
    std::string ipToLocation(const std::string& ip);
    void latLngToCountryState(const std::string& latitude, const std::string& longitude, std::string& country,
                              std::string& state);
    int getLocationResponse(const std::string& url, std::string& response, std::string body);
    void addGeoDiscoverFields(std::string ip, std::string country, std::string state, std::string latitude,
                              std::string longitude);
    bool isPrivateIPAddress(const std::string& ip);
    void discoverAndAddToCIDoc(std::string text, std::string pattern, std::string& doc);
    void setGeolocationService(const std::string& locationUrl, const std::string& reverseGeocodingUrl,
                               const std::string& key, const std::string& user);
    void setDBInterface(LMDBInterface* db) { dbInterface = db; }

    // ---- pattern header rules ----
    int populatePatternHeader(std::string patternsXml, TemplateXML templateXml);

    // ---- HTTP ----
    // 1 when a non-empty reply body arrived (in `response`), -1 otherwise.
    int indexCollectedData(std::string& url, std::string& body, std::string& response, bool useContentType,
                           bool useGet);

    // ---- syslog ----
    void setPropertiesForSysLog(std::string dataSetName);
    // Connects to a syslog receiver: protocol 1 UDP, 2 TCP. 0 on success; kLMNotSupported for a
    // protocol this platform does not offer.
    int initialize(std::string host, int port, int protocol);
    // Sends currentDoc, with syslogPrefix in front, as one syslog message. 0 only when the
    // transport took the whole message.
    int sendDataToSysLog();
    int sendDataToSysLogTLS();
    int initializeTLS(std::string host = {}, int port = 0);
    int LoadCACertificatePath(std::string& path);
    int LoadCACertificatePath() {
        std::string none;
        return LoadCACertificatePath(none);
    }
    int LoadKqLMSSLHelperDLL();
    int closeConnectionTLS();
    int closeConnection();

    // ---- members, in the documented order ----
    int32_t docCount = 0;
    int32_t currentNodeIndex = 0;
    int32_t indexStatus = 1;
    int32_t uploadUserId = 0;
    int32_t lastErrorCode = 0;
    int32_t proxyClientId = 0;
    int32_t globalPolicyId = 0;
    int32_t internetGateway = 0;
    int64_t clientId = 0;
    uint64_t monitoringPolicyId = 0;
    uint64_t maxFieldLength = 5120;
    uint64_t threadPoolSize = 0;
    int64_t cloudPolicyId = 0;
    int64_t uniqueFileId = 0;
    std::string engineUrl;
    std::string clusteringUrl;
    std::string clientName;
    std::string engineHostName;
    std::string docList;
    std::string currentDoc;
    std::string patternHeaderDocs;
    std::string orvexerName;
    std::string defaultClientName;
    std::string globalWebServiceUrl;
    std::string authToken;
    std::string lastErrorText;
    std::string geoLocationUrl;
    std::string geoReverseGeocodingUrl;
    std::string geoServiceKey;
    std::string geoServiceUser;
    std::list<cloudClientInfoV2> nodeList;
    CKqNetwork network;
    KqThreadPool threadPool;
    bool threadPoolStarted = false;
    bool useThreadPool = false;
    bool flushEnabled = true;
    bool discoverEvents = false;
    bool geoDiscoveryEnabled = false;
    bool eventTimeEnabled = true;
    std::vector<std::string> uploadTags;
    std::string uploadRequestId;
    std::vector<int32_t> batchFileIds;
    int32_t lastBatchFileId = 0;
    LMDBInterface* dbInterface = nullptr;
    std::map<uint64_t, docListInfo> docMap;
    int64_t docMapBytes = 0;
    uint64_t currentDayKey = 0;
    int32_t dataAgeingDays = 0;
    int32_t timeFactor = 0;
    uint64_t subClientId = 0;
    std::string dumpLocation;
    bool dayBucketMode = true;
    bool forceListMode = false;
    std::list<TMMsg::LMRequestedReIndexTimeInterval> reIndexIntervals;
    KQGlobalParam globalParams;
    std::map<std::string, GeolocationAttributes> geoCache;
    bool syslogMode = false;
    std::string syslogPrefix;
    // Formed from the cloud policy's " Vestry GUID" in global monitoring mode.
    std::string serialNo;
    std::string regCode;

private:
    // ---- batching and sending ----
    // sendDirect's answer when there is no URL or no data: the batch stays as it is.
    static constexpr int kEmptyUrlOrDataResult = -1001;
    int addDocument(const std::string& doc, bool everyRule);
    bool batchIsFull(uint64_t batchBytes, uint64_t docBytes) const;
    int flushFullBatch();
    int sendThroughProxy(std::string& data, std::string& response, bool commit);
    int sendDirect(std::string& data, std::string& response, bool commit);
    int exchange(std::string& data, std::string& response, bool commit);
    int failOver(std::string& data, std::string& response, bool commit);
    void markCurrentNodeUnavailable();
    void switchToNode(int32_t index);
    void advanceOffsets();
    void rollBackOffsets();
    // The request of one exchange: buckets in day-bucket mode, else the plain batch.
    std::unique_ptr<CNMessageBase> buildRequest(std::string& url, std::string& data, bool commit);
    int exchangeDirect(const char* op, const CNMessageBase& request, std::string& response);
    // Gives the day texts a built request borrowed back to docMap.
    void restoreDayTexts(const CNMessageBase& request);
    bool lendDayTexts_ = false;
    std::string localClientName() const;
    void fillEngineHostName();
    // Attach (when not connected), send and receive on `network`; the reply, or null with
    // lastErrorCode set (and the session's error in `failure` when given). `where` names the peer
    // in the log lines.
    std::unique_ptr<CNMessageBase> roundTrip(const char* op, const CNMessageBase& request, const char* where,
                                             int sendTimeout, CZuError* failure = nullptr);

    // Marks the row whose text rowText_ holds while one build runs.
    struct RowTextScope {
        RowTextScope(LMDocumentRow*& slot, LMDocumentRow* row) : slot_(slot) { slot_ = row; }
        ~RowTextScope() { slot_ = nullptr; }
        LMDocumentRow*& slot_;
    };

    int buildFromColumns(LMDocument* doc, LMDocumentRow* row, FilteredMessageInfo& info,
                         const std::vector<const Column*>& columns, bool dataSetMode);
    // Writes the field (and its companions) of one template column; false when the value wrote
    // nothing (empty, a data-set job id of 0, or a number beyond 64 bits).
    bool addColumnField(const Column& column, const std::string& baseName, const std::string& hexName,
                        const std::string& value, bool dataSetMode);
    void appendKindLetter(const Column& column, std::string& name);
    void appendField(std::string_view name, std::string_view value, bool untruncated = false);
    void appendField(std::string_view name, int64_t value);
    void appendSecondaryColumns(LMDocument* doc, LMDocumentRow* row, bool dataSetMode);
    void appendSecondaryColumn(const Column& column, const ColumnData& found, bool dataSetMode);
    bool appendSecondaryDateTime(const Column& column, const std::string& baseName, ColumnData& value);
    void appendBigRecordDocument(const std::string& rowText, const FilteredMessageInfo& info);
    // "KQLM_C<client>_MP<policy>_F<file>_L<line>", or with keyPart in place of "F<file>".
    // The text lives in a buffer of the helper until the next call.
    std::string& contentIdText(const FilteredMessageInfo& info, const char* keyPart, const char* suffix);
    void appendCommonTail(LMDocumentRow* row, const FilteredMessageInfo& info, struct tm& eventTime,
                          bool compliance);
    void renderSyslogColumn(const Column& column, ColumnData* data, std::string& datePrefix);
    void noteBatchFileId(int32_t fileId);
    const std::string& rowTextOf(LMDocumentRow* row);
    void addQuilmarColumn(const Column& column, LMDocumentColumn* cell, struct tm& eventTime);

    // Reused per-record buffers: the builder runs once per record and should not allocate for
    // every field.
    std::string escaped_;
    std::string escapedTwice_;
    std::string name_;
    std::string extraName_;
    std::string number_;
    std::string contentId_;
    std::string rowText_;
    LMDocumentRow* rowTextRow_ = nullptr;
    std::vector<const Column*> columnRefs_;
    std::list<LMDocumentColumn*> cells_;
    std::list<LMDocumentColumn*> secondaryCells_;
    // Shared so that the helper can be destroyed where the sender is only declared.
    std::shared_ptr<LMSyslogSender> syslog_;
};

// ---- free helpers of the builder ----
LM_EXPORT bool EncodeInvalidXMLChar(std::string& text);
LM_EXPORT bool isNumberInRange(const std::string& text);
LM_EXPORT bool isNaN(const std::string& text);
// Sets sfName to name + "sf" (name ends in "_") when the column is filterable and not tokenized.
LM_EXPORT void add_sfField(const Column& column, std::string& sfName, std::string& name);
LM_EXPORT bool validateAndGetUTC(struct tm& time, bool noConversion);
LM_EXPORT void lower(std::string& text);
// The index field name of a template column: name, "_", type letter, kind letter, lower-cased.
LM_EXPORT std::string indexFieldNameOf(const Column& column);

// ---- syslog ----
LM_EXPORT bool AllowFieldForSyslog(const std::string& name);

// ---- batching and routing ----
// The send-pool function; takes over and frees its work item.
LM_EXPORT void index_worker(void* indexWorkerData);
// False when the reply names an error or an exception in any letter case.
LM_EXPORT bool isResponseSuccess(std::string response);
// Standard Base64, four characters at a time, up to the first "=" or the last whole group; the
// number of bytes written. `out` must hold three quarters of the text's length.
LM_EXPORT int decodeBase64(const char* text, char* out);
// True when a has more free space than b.
LM_EXPORT bool compareByFreeSpace(cloudClientInfoV2 a, cloudClientInfoV2 b);


}
