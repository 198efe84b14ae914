#pragma once
// Batches of index documents between a monitored client and the engine host (directly or through
// a proxy client towards a global monitoring web service), their replies and the commit request.
#include "platform/messages/MessageMacros.h"
#include "platform/messages/catalogue/TMMsgMessages.h"

// The documents of one UTC day. The text may be zlib-compressed and Base64-encoded, which the
// compressed flag tells; the index flag 0 keeps an aged day out of the index (it is only dumped).
#define LM_FIELDS_LMDataBucket(X)               \
    X(1, 1, Int64, bucketTime, void)            \
    X(2, 2, Text, documents, void)              \
    X(6, 6, Int64, documentCount, void)         \
    X(7, 4, Int64, indexFlag, void)             \
    X(8, 5, Int64, compressed, void)
LM_MESSAGE(LogMonitoring, LMDataBucket, 35, 915, 0, LM_FIELDS_LMDataBucket)

// A batch for one of the plain cores: a complete "<add>" element.
#define LM_FIELDS_LMAddDocumentsToCIReq(X)          \
    X(1, 1, Int64, clientId, void)                  \
    X(2, 2, Int64, monitoringPolicyId, void)        \
    X(5, 5, Text, engineUrl, void)                  \
    X(9, 9, Text, documents, void)                  \
    X(13, 13, Int64, commitFlag, void)              \
    X(14, 8, Int64, compressed, void)
LM_MESSAGE(LogMonitoring, LMAddDocumentsToCIReq, 35, 913, 0x23972265, LM_FIELDS_LMAddDocumentsToCIReq)

// A batch for the time-partitioned cores: one bucket per day, with what the engine host needs to
// name the cores, keep the dump store and honour requested re-index intervals.
#define LM_FIELDS_LMAddDocumentBucketsToCIReq(X)                                    \
    X(1, 1, Int64, clientId, void)                                                  \
    X(2, 2, Int64, monitoringPolicyId, void)                                        \
    X(4, 4, Int64, timeFactor, void)                                                \
    X(5, 5, Text, engineUrl, void)                                                  \
    X(9, 6, Int64, commitFlag, void)                                                \
    X(11, 11, MessageList, buckets, LogMonitoring::LMDataBucket)                    \
    X(12, 12, Int64, subClientId, void)                                             \
    X(13, 13, Text, dumpLocation, void)                                             \
    X(17, 17, MessageList, reIndexIntervals, TMMsg::LMRequestedReIndexTimeInterval)
LM_MESSAGE(LogMonitoring, LMAddDocumentBucketsToCIReq, 35, 914, 0x237ACE2F,
           LM_FIELDS_LMAddDocumentBucketsToCIReq)

// A bucket batch to be forwarded by a proxy client to a global monitoring web service.
#define LM_FIELDS_LMAddDocumentsToGlobalCIReq(X)                                    \
    X(3, 3, Int64, internetGateway, void)                                           \
    X(4, 4, Int64, cloudPolicyId, void)                                             \
    X(5, 5, Message, bucketRequest, LogMonitoring::LMAddDocumentBucketsToCIReq)
LM_MESSAGE(LogMonitoring, LMAddDocumentsToGlobalCIReq, 35, 916, 0x237F96C2,
           LM_FIELDS_LMAddDocumentsToGlobalCIReq)

// The engine host's reply to a batch or a commit: result code (1 success) and the index
// engine's answer.
#define LM_FIELDS_LMAddDocumentsToCIResp(X)     \
    X(1, 1, Int64, errorCode, void)             \
    X(2, 2, Text, errorText, void)              \
    X(6, 6, Text, response, void)
LM_MESSAGE(LogMonitoring, LMAddDocumentsToCIResp, 35, 49, 0, LM_FIELDS_LMAddDocumentsToCIResp)

// The proxy's reply to a global batch; on success the response holds a serialised
// LMAddDocumentsToCIResp.
#define LM_FIELDS_LMAddDocumentsToGlobalCIResp(X)   \
    X(1, 1, Int64, errorCode, void)                 \
    X(6, 6, Text, response, void)
LM_MESSAGE(LogMonitoring, LMAddDocumentsToGlobalCIResp, 35, 207, 0, LM_FIELDS_LMAddDocumentsToGlobalCIResp)

// Asks the engine host to commit the plain cores of an index engine.
#define LM_FIELDS_LMCommitSolrDataOnSuccessReq(X) X(1, 1, Text, engineUrl, void)
LM_MESSAGE(LogMonitoring, LMCommitSolrDataOnSuccessReq, 35, 917, 0x23F178DE,
           LM_FIELDS_LMCommitSolrDataOnSuccessReq)
