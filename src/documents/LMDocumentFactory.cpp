#include "documents/LMDocumentFactory.h"

#include "documents/LMTextFileDocumentWithCurrentState.h"

namespace LogMonitoring {

LMDocument* LMDocumentFactory::getDocumentObject(std::string path, MonitoringType type) {
    switch (type) {
    case MonitoringTextLog:
    case MonitoringTextLogNoHeader:
    case MonitoringTextLogAlternate: return new LMTextFileDocumentWithCurrentState(path, type);
    // The suite's own event log document (type 3) comes with the event-log reader; until then
    // there is no document for it.
    case MonitoringQuilmarEventLog: return nullptr;
    default: return nullptr;
    }
}

LMDocument* LMDocumentFactory::getDocumentObject(unsigned long policyId, std::string name, MonitoringType type,
                                                 unsigned long firstId, unsigned long lastId) {
    // Management data sets (type 5) come with the data-set reader; until then there is no
    // document for them.
    (void)policyId;
    (void)firstId;
    (void)lastId;
    if (type == MonitoringDataSet) return nullptr;
    return getDocumentObject(std::move(name), type);
}

}
