// Placeholders, overridden by the real definitions as those land; removed once all have.
#include "indexing/LMCIHelper.h"

namespace LogMonitoring {

__attribute__((weak)) void LMCIHelper::discoverAndAddToCIDocNew(std::string, std::string&) {}

}
