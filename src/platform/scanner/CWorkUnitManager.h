#pragma once
#include <string>
#include <vector>

#include "platform/error/CZuError.h"

// The roots of a scan and the patterns that decide which files it accepts.
//
// Patterns are fnmatch patterns. One that contains "/" is matched against the whole path, with
// "*" not crossing a "/" (so "/logs/*.log" takes the files of /logs alone); one without "/" is
// matched against the file's name wherever it lies ("*.log" takes them at any depth).
//
// A file is accepted when it passes both layers: the filters with their exceptions, then the
// system filters with theirs. Within a layer, a file that matches a filter is dropped unless it
// matches one of the layer's exceptions; a layer without filters drops nothing. A folder or file
// matching a content exception is left out with everything below it.
class CWorkUnitManager {
public:
    // The number of work units allowed; -1 for no limit.
    explicit CWorkUnitManager(int maxWorkUnits = -1) : maxWorkUnits_(maxWorkUnits) {}

    // Descend into file systems mounted below a root (off: each root's own file system only).
    void SetFollowMountPaths(bool follow) { followMountPaths_ = follow; }
    // Even when following mount paths, leave out the kernel's virtual file systems (proc, sysfs,
    // device and control file systems), whose entries are no logs and may never end.
    void SetAutoExcludeMountPoints(bool exclude) { autoExcludeMountPoints_ = exclude; }
    bool FollowMountPaths() const { return followMountPaths_; }
    bool AutoExcludeMountPoints() const { return autoExcludeMountPoints_; }

    // Adds a root: an existing folder (a link to one is taken as that folder).
    CZuError AssignSourceWorkUnit(const std::string& root);
    CZuError FinalizeWorkUnits(std::vector<std::string> contentExceptions, std::vector<std::string> filters,
                               std::vector<std::string> filterExceptions, std::vector<std::string> systemFilters,
                               std::vector<std::string> systemFilterExceptions);

    const std::vector<std::string>& WorkUnits() const { return roots_; }
    bool IsFinalized() const { return finalized_; }
    bool Accepts(const std::string& path, const std::string& name) const;
    bool IsContentException(const std::string& path, const std::string& name) const;

private:
    static bool matches(const std::string& pattern, const std::string& path, const std::string& name);
    static bool anyMatches(const std::vector<std::string>& patterns, const std::string& path, const std::string& name);
    static bool layerAccepts(const std::vector<std::string>& filters, const std::vector<std::string>& exceptions,
                             const std::string& path, const std::string& name);

    int maxWorkUnits_;
    bool followMountPaths_ = false;
    bool autoExcludeMountPoints_ = true;
    bool finalized_ = false;
    std::vector<std::string> roots_;
    std::vector<std::string> contentExceptions_, filters_, filterExceptions_, systemFilters_, systemFilterExceptions_;
};
