#pragma once
// One zlib stream (RFC 1950 framing) in and out, for day buckets that travel compressed through a
// proxy client and are inflated again by the engine host.
#include <string>

#include "LMExport.h"

namespace LogMonitoring {

class LM_EXPORT CNZLib {
public:
    static constexpr size_t kChunk = 16384;

    // Deflates at the default level; 0, or the zlib error.
    static int compress(const std::string& in, std::string& out);
    // Inflates one whole stream; 0, or -3 (data error) when the input ends early, needs a
    // dictionary or is damaged, or another zlib error.
    static int uncompress(const std::string& in, std::string& out);
};

// Base64 in the form the index helper sends compressed buckets in: the xerces-c encoder, which
// breaks its output into lines. decode accepts those lines (and unbroken text); false on anything
// that is not Base64.
namespace BucketBase64 {
LM_EXPORT std::string encode(const std::string& bytes);
LM_EXPORT bool decode(const std::string& text, std::string& bytes);
}

} // namespace LogMonitoring
