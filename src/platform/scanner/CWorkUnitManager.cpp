#include "platform/scanner/CWorkUnitManager.h"

#include <fnmatch.h>
#include <sys/stat.h>

#include <cerrno>

CZuError CWorkUnitManager::AssignSourceWorkUnit(const std::string& root) {
    if (finalized_) return CZuError(EBUSY, "work units are finalized");
    if (root.empty()) return CZuError(EINVAL, "empty scan root");
    if (maxWorkUnits_ >= 0 && roots_.size() >= static_cast<size_t>(maxWorkUnits_))
        return CZuError(ENOSPC, "too many work units");
    std::string r = root;
    while (r.size() > 1 && r.back() == '/') r.pop_back();
    struct stat st {};
    if (::stat(r.c_str(), &st) != 0) return CZuError::fromErrno(errno, "cannot examine scan root " + root);
    if (!S_ISDIR(st.st_mode)) return CZuError(ENOTDIR, "scan root " + root + " is not a folder");
    roots_.push_back(r);
    return {};
}

CZuError CWorkUnitManager::FinalizeWorkUnits(std::vector<std::string> contentExceptions,
                                             std::vector<std::string> filters,
                                             std::vector<std::string> filterExceptions,
                                             std::vector<std::string> systemFilters,
                                             std::vector<std::string> systemFilterExceptions) {
    if (roots_.empty()) return CZuError(EINVAL, "no work unit to finalize");
    contentExceptions_ = std::move(contentExceptions);
    filters_ = std::move(filters);
    filterExceptions_ = std::move(filterExceptions);
    systemFilters_ = std::move(systemFilters);
    systemFilterExceptions_ = std::move(systemFilterExceptions);
    finalized_ = true;
    return {};
}

bool CWorkUnitManager::matches(const std::string& pattern, const std::string& path, const std::string& name) {
    if (pattern.empty()) return false;
    if (pattern.find('/') != std::string::npos) return ::fnmatch(pattern.c_str(), path.c_str(), FNM_PATHNAME) == 0;
    return ::fnmatch(pattern.c_str(), name.c_str(), 0) == 0;
}

bool CWorkUnitManager::anyMatches(const std::vector<std::string>& patterns, const std::string& path,
                                  const std::string& name) {
    for (const auto& p : patterns)
        if (matches(p, path, name)) return true;
    return false;
}

bool CWorkUnitManager::layerAccepts(const std::vector<std::string>& filters,
                                    const std::vector<std::string>& exceptions, const std::string& path,
                                    const std::string& name) {
    return !anyMatches(filters, path, name) || anyMatches(exceptions, path, name);
}

bool CWorkUnitManager::Accepts(const std::string& path, const std::string& name) const {
    return layerAccepts(filters_, filterExceptions_, path, name) &&
           layerAccepts(systemFilters_, systemFilterExceptions_, path, name);
}

bool CWorkUnitManager::IsContentException(const std::string& path, const std::string& name) const {
    return anyMatches(contentExceptions_, path, name);
}
