// Placeholders, overridden by the real definitions as those land; removed once all have.
#include "indexing/LMCIHelper.h"

namespace LogMonitoring {

__attribute__((weak)) void LMCIHelper::discoverAndAddToCIDocNew(std::string, std::string&) {}
__attribute__((weak)) int LMCIHelper::discoverIPAndAddToCIDoc(std::string, std::string&) { return 1; }
__attribute__((weak)) int LMCIHelper::discoverAndAddLatLng(std::string, std::string&, const std::string&) { return 0; }
__attribute__((weak)) bool AllowFieldForSyslog(const std::string&) { return false; }

}
