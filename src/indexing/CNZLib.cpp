#include "indexing/CNZLib.h"

#include <zlib.h>

#include <xercesc/util/Base64.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include <algorithm>
#include <mutex>

namespace LogMonitoring {

namespace {

// Feeds `in` through one deflate or inflate stream in pieces of kChunk bytes and gathers the
// output in pieces of the same size.
template <class Step>
int pump(z_stream& zs, const std::string& in, std::string& out, Step step) {
    unsigned char buffer[CNZLib::kChunk];
    size_t offset = 0;
    int rc = Z_OK;
    for (;;) {
        if (zs.avail_in == 0 && offset < in.size()) {
            size_t piece = std::min(in.size() - offset, CNZLib::kChunk);
            zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data() + offset));
            zs.avail_in = static_cast<uInt>(piece);
            offset += piece;
        }
        bool lastInput = offset == in.size();
        zs.next_out = buffer;
        zs.avail_out = sizeof buffer;
        rc = step(lastInput);
        out.append(reinterpret_cast<char*>(buffer), sizeof buffer - zs.avail_out);
        if (rc == Z_STREAM_END) return Z_STREAM_END;
        if (rc == Z_BUF_ERROR && zs.avail_in == 0 && lastInput) return Z_BUF_ERROR; // no progress possible
        if (rc != Z_OK && rc != Z_BUF_ERROR) return rc;
    }
}

} // namespace

int CNZLib::compress(const std::string& in, std::string& out) {
    out.clear();
    z_stream zs{};
    int rc = deflateInit(&zs, Z_DEFAULT_COMPRESSION);
    if (rc != Z_OK) return rc;
    rc = pump(zs, in, out, [&](bool lastInput) { return deflate(&zs, lastInput ? Z_FINISH : Z_NO_FLUSH); });
    deflateEnd(&zs);
    return rc == Z_STREAM_END ? 0 : rc;
}

int CNZLib::uncompress(const std::string& in, std::string& out) {
    out.clear();
    z_stream zs{};
    int rc = inflateInit(&zs);
    if (rc != Z_OK) return rc;
    rc = pump(zs, in, out, [&](bool) { return inflate(&zs, Z_NO_FLUSH); });
    inflateEnd(&zs);
    if (rc == Z_STREAM_END) return 0;
    // A stream cut short, one that wants a dictionary and a damaged one are all bad data here.
    if (rc == Z_BUF_ERROR || rc == Z_NEED_DICT || rc == Z_DATA_ERROR) return Z_DATA_ERROR;
    return rc;
}

namespace BucketBase64 {

namespace {

// The encoder allocates through the parser's memory manager, which exists only once the parser's
// platform layer is up. It is started once per process and never stopped: other users of the
// library in the same process would lose it otherwise.
bool xercesReady() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] {
        try {
            xercesc::XMLPlatformUtils::Initialize();
            ready = true;
        } catch (...) {
            ready = false;
        }
    });
    return ready;
}

struct Released {
    XMLByte* p;
    ~Released() {
        if (p) xercesc::XMLPlatformUtils::fgMemoryManager->deallocate(p);
    }
};

} // namespace

std::string encode(const std::string& bytes) {
    if (!xercesReady()) return {};
    XMLSize_t length = 0;
    Released r{xercesc::Base64::encode(reinterpret_cast<const XMLByte*>(bytes.data()), bytes.size(), &length)};
    if (!r.p) return {};
    return std::string(reinterpret_cast<const char*>(r.p), length);
}

bool decode(const std::string& text, std::string& bytes) {
    bytes.clear();
    if (text.find('\0') != std::string::npos || !xercesReady()) return false;
    XMLSize_t length = 0;
    Released r{xercesc::Base64::decode(reinterpret_cast<const XMLByte*>(text.c_str()), &length)};
    if (!r.p) return false;
    bytes.assign(reinterpret_cast<const char*>(r.p), length);
    return true;
}

} // namespace BucketBase64
} // namespace LogMonitoring
