#include "LMExport.h"

// Hosts check that the library they loaded is the engine they expect before they look up entry
// points; the version grows with incompatible changes of the entry points.
extern "C" LM_EXPORT int LMEngineInterfaceVersion() { return 1; }
