#pragma once
// Picks the document class for a policy's template type. Stateless.
#include <string>

#include "LMExport.h"
#include "documents/LMDocument.h"
#include "pipeline/MonitoringType.h"

namespace LogMonitoring {

class LM_EXPORT LMDocumentFactory {
public:
    // A new document owned by the caller, or null for a type without one.
    static LMDocument* getDocumentObject(std::string path, MonitoringType type);
    // Data sets by name and range of ids (type 5); every other type as by path, the name being
    // the path.
    static LMDocument* getDocumentObject(unsigned long policyId, std::string name, MonitoringType type,
                                         unsigned long firstId, unsigned long lastId);
};

}
