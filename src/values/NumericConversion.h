#pragma once
// Conversions of the recognised text of number cells.
#include "LMExport.h"

namespace LogMonitoring {

// Hexadecimal with an optional sign and "0x" prefix; 0 for null or empty text. Arithmetic wraps
// at 32 bits.
LM_EXPORT int atoh(const char* s);
// Binary with an optional leading "b"; 0 for null or empty text. Arithmetic wraps at 32 bits.
LM_EXPORT int atob(const char* s);
// atoi and atof of the text with every comma left out; 0 for null.
LM_EXPORT int atoiWithThousandSeparator(const char* s);
LM_EXPORT double atofWithThousandSeparator(const char* s);

}
