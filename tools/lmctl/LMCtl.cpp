#include "LMCtl.h"

#include <sqlite3.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/mgmt/KQManagementDB.h"
#include "platform/mgmt/KQMgmtAdmin.h"
#include "platform/registry/KQPlatformInfo.h"
#include "platform/registry/KQRegistryStore.h"

namespace fs = std::filesystem;

namespace {

const char* kUsage =
    "usage: lmctl --registry FILE <command>\n"
    "  init [--instance NAME] [--client-name NAME] [--client-id N] [--port N] [--home DIR] [--bind ADDR]\n"
    "  client add NAME --host HOST --port PORT [--short NAME] [--id N]\n"
    "  cloud add NAME [--id N]\n"
    "  node add CLOUD --client NAME --host HOST --port PORT [--free-space BYTES]\n"
    "  node set-property CLIENT NAME VALUE\n"
    "  template add FILE [--name NAME] [--type N] [--id N]\n"
    "  policy add NAME --template NAME [--template NAME] [--type N] [--cloud NAME] [--property NAME=VALUE] [--id N]\n"
    "  policy set-property POLICY NAME VALUE [--data-type N]\n"
    "  show\n"
    "  upload POLICY FILE... [--tags TAGS] [--wait] [--timeout SECONDS]\n"
    "  search POLICY QUERY [--rows N] [--sort \"FIELD asc|desc\"] [--fields a,b,c]\n";

// 32 random bytes as hex: the installation's shared secret.
bool newSecret(std::string& secret) {
    unsigned char bytes[32];
    size_t got = 0;
    while (got < sizeof bytes) {
        ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += static_cast<size_t>(n);
    }
    static const char* hex = "0123456789abcdef";
    secret.clear();
    for (unsigned char b : bytes) {
        secret += hex[b >> 4];
        secret += hex[b & 15];
    }
    return true;
}

// A template file: small, read whole; refused above 16 MiB.
bool readSmallFile(const std::string& path, std::string& text) {
    std::error_code ec;
    auto size = fs::file_size(path, ec);
    if (ec || size > (16u << 20)) return false;
    std::ifstream f(path, std::ios::binary);
    std::ostringstream ss;
    ss << f.rdbuf();
    text = ss.str();
    return static_cast<bool>(f) || f.eof();
}

std::string thisHostName() {
    char name[256] = "";
    if (::gethostname(name, sizeof name - 1) != 0 || !name[0]) return "localhost";
    return name;
}

} // namespace

std::string LMCtl::Options::get(const std::string& key, const std::string& fallback) const {
    auto it = values.find(key);
    return it == values.end() ? fallback : it->second;
}

std::vector<std::string> LMCtl::Options::all(const std::string& key) const {
    std::vector<std::string> out;
    for (auto [a, b] = values.equal_range(key); a != b; ++a) out.push_back(a->second);
    return out;
}

bool LMCtl::parseOptions(const std::vector<std::string>& args, size_t from, Options& o, std::string& bad) {
    // Options that stand alone, without a value.
    static const char* const kFlags[] = {"--wait"};
    for (size_t i = from; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool flag = false;
        for (const char* f : kFlags) flag = flag || a == f;
        if (flag) {
            o.values.emplace(a.substr(2), "1");
        } else if (a.rfind("--", 0) == 0) {
            if (i + 1 >= args.size()) {
                bad = "option " + a + " needs a value";
                return false;
            }
            o.values.emplace(a.substr(2), args[++i]);
        } else {
            o.words.push_back(a);
        }
    }
    return true;
}

bool LMCtl::toNumber(const std::string& text, long long& v) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    v = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && end && *end == '\0';
}

int LMCtl::fail(const std::string& message) {
    std::fprintf(stderr, "lmctl: %s\n", message.c_str());
    return 1;
}

int LMCtl::usage(const std::string& message) {
    if (!message.empty()) std::fprintf(stderr, "lmctl: %s\n", message.c_str());
    std::fputs(kUsage, stderr);
    return 2;
}

int LMCtl::run(const std::vector<std::string>& args) {
    if (args.size() < 3 || args[0] != "--registry") return usage();
    registry_ = args[1];
    const std::string& cmd = args[2];
    std::string sub = args.size() > 3 ? args[3] : "";
    bool twoWords = cmd == "client" || cmd == "cloud" || cmd == "node" || cmd == "template" || cmd == "policy";
    Options o;
    std::string bad;
    if (!parseOptions(args, twoWords ? 4 : 3, o, bad)) return usage(bad);
    if (cmd == "init") return init(o);
    if (cmd == "show") return show();
    if (cmd == "upload") return upload(o);
    if (cmd == "search") return search(o);
    if (cmd == "client" && sub == "add") return clientAdd(o);
    if (cmd == "cloud" && sub == "add") return cloudAdd(o);
    if (cmd == "node" && sub == "add") return nodeAdd(o);
    if (cmd == "node" && sub == "set-property") return nodeSetProperty(o);
    if (cmd == "template" && sub == "add") return templateAdd(o);
    if (cmd == "policy" && sub == "add") return policyAdd(o);
    if (cmd == "policy" && sub == "set-property") return policySetProperty(o);
    return usage("unknown command: " + cmd + (twoWords ? " " + sub : ""));
}

int LMCtl::openInstance() {
    std::error_code ec;
    if (!fs::is_regular_file(registry_, ec)) return fail("registry file " + registry_ + " not found; run init first");
    KQPlatformInfo::useRegistryFile(registry_);
    return 0;
}

int LMCtl::init(const Options& o) {
    std::error_code ec;
    if (fs::exists(registry_, ec)) {
        KQRegistryStore existing(registry_);
        std::string secret;
        if (existing.get(KQPlatformInfo::kPlatformSection, "sSharedSecret", secret) && !secret.empty())
            return fail("instance in " + registry_ + " is initialised already");
    }
    long long port = 8403, clientId = 2;
    if (!toNumber(o.get("port", "8403"), port) || port <= 0 || port > 65535) return fail("bad --port");
    if (!toNumber(o.get("client-id", "2"), clientId) || clientId <= 0) return fail("bad --client-id");
    fs::path reg = fs::absolute(registry_, ec);
    std::string home = o.get("home", reg.parent_path().string());
    fs::create_directories(home, ec);
    if (ec) return fail("cannot create home folder " + home + ": " + ec.message());
    std::string instance = o.get("instance", KQPlatformInfo::kDefaultInstance);
    std::string client = o.get("client-name", thisHostName());
    std::string bind = o.get("bind", "127.0.0.1");
    std::string secret;
    if (!newSecret(secret)) return fail("cannot make a shared secret");
    std::string mgmt = (fs::path(home) / "management.db").string();
    std::string local = (fs::path(home) / "local.db").string();

    KQRegistryStore store(reg.string());
    const std::pair<const char*, std::string> keys[] = {
        {"sInstanceName", instance},   {"sPhysicalMachine", client},       {"sClientName", client},
        {"nClientId", std::to_string(clientId)}, {"sHomeDir", home},      {"sManagementDB", mgmt},
        {"sLocalDB", local},           {"nRemoteModulePort", std::to_string(port)},
        {"sBindAddress", bind},        {"sSharedSecret", secret},
    };
    for (const auto& [key, value] : keys)
        if (!store.set(KQPlatformInfo::kPlatformSection, key, value)) return fail("cannot write " + reg.string());

    KQPlatformInfo::useRegistryFile(reg.string());
    KQManagementDB db;
    if (db.open(mgmt) != 0) return fail("cannot create management database " + mgmt + ": " + db.lastError());
    KQMgmtAdmin admin(db);
    KQMgmtAdmin::Client c;
    c.id = clientId;
    c.name = client;
    c.hostName = bind;
    c.port = static_cast<int>(port);
    int64_t id = 0;
    std::string error;
    if (admin.addClient(c, id, error) != 0) return fail(error);

    // The local client database gets its tables from the code that owns them; here it is created
    // empty, in WAL mode, so that the instance is complete.
    sqlite3* ldb = nullptr;
    bool ok = sqlite3_open_v2(local.c_str(), &ldb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK &&
              sqlite3_exec(ldb, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr) == SQLITE_OK;
    std::string lerr = ldb ? sqlite3_errmsg(ldb) : "out of memory";
    sqlite3_close_v2(ldb);
    if (!ok) return fail("cannot create local database " + local + ": " + lerr);
    // Policy properties include protected passwords: the databases are the instance owner's alone.
    fs::permissions(mgmt, fs::perms::owner_read | fs::perms::owner_write, ec);
    fs::permissions(local, fs::perms::owner_read | fs::perms::owner_write, ec);

    std::printf("initialised instance %s in %s: client %s (id %lld) on port %lld\n", instance.c_str(), home.c_str(),
                client.c_str(), static_cast<long long>(id), port);
    return 0;
}

int LMCtl::clientAdd(const Options& o) {
    if (o.words.size() != 1) return usage("client add needs one NAME");
    if (int r = openInstance()) return r;
    KQMgmtAdmin::Client c;
    long long port = 0, id = 0;
    c.name = o.words[0];
    c.hostName = o.get("host");
    c.shortName = o.get("short");
    if (!toNumber(o.get("port"), port) || port <= 0 || port > 65535) return fail("client add needs --port 1..65535");
    if (!o.get("id").empty() && (!toNumber(o.get("id"), id) || id <= 0)) return fail("bad --id");
    c.port = static_cast<int>(port);
    c.id = id;
    KQManagementDB db;
    if (db.open() != 0) return fail("cannot open the management database: " + db.lastError());
    int64_t newId = 0;
    std::string error;
    if (KQMgmtAdmin(db).addClient(c, newId, error) != 0) return fail(error);
    std::printf("client %s added with id %lld\n", c.name.c_str(), static_cast<long long>(newId));
    return 0;
}

int LMCtl::cloudAdd(const Options& o) {
    if (o.words.size() != 1) return usage("cloud add needs one NAME");
    if (int r = openInstance()) return r;
    long long id = 0;
    if (!o.get("id").empty() && (!toNumber(o.get("id"), id) || id <= 0)) return fail("bad --id");
    KQManagementDB db;
    if (db.open() != 0) return fail("cannot open the management database: " + db.lastError());
    int64_t newId = 0;
    std::string error;
    if (KQMgmtAdmin(db).addCloud(o.words[0], id, newId, error) != 0) return fail(error);
    std::printf("cloud %s added with id %lld\n", o.words[0].c_str(), static_cast<long long>(newId));
    return 0;
}

int LMCtl::nodeAdd(const Options& o) {
    if (o.words.size() != 1) return usage("node add needs one CLOUD");
    if (int r = openInstance()) return r;
    long long port = 0, free = 0;
    if (!toNumber(o.get("port"), port) || port <= 0 || port > 65535) return fail("node add needs --port 1..65535");
    if (!toNumber(o.get("free-space", "0"), free) || free < 0) return fail("bad --free-space");
    if (o.get("client").empty() || o.get("host").empty()) return fail("node add needs --client and --host");
    KQManagementDB db;
    if (db.open() != 0) return fail("cannot open the management database: " + db.lastError());
    std::string error;
    if (KQMgmtAdmin(db).addNode(o.words[0], o.get("client"), o.get("host"), static_cast<int>(port), free, error) != 0)
        return fail(error);
    std::printf("node %s:%lld added to cloud %s\n", o.get("host").c_str(), port, o.words[0].c_str());
    return 0;
}

int LMCtl::nodeSetProperty(const Options& o) {
    if (o.words.size() != 3) return usage("node set-property needs CLIENT NAME VALUE");
    if (int r = openInstance()) return r;
    KQManagementDB db;
    if (db.open() != 0) return fail("cannot open the management database: " + db.lastError());
    std::string error;
    if (KQMgmtAdmin(db).setNodeProperty(o.words[0], o.words[1], o.words[2], error) != 0) return fail(error);
    std::printf("property %s of node %s set\n", o.words[1].c_str(), o.words[0].c_str());
    return 0;
}

int LMCtl::templateAdd(const Options& o) {
    if (o.words.size() != 1) return usage("template add needs one FILE");
    if (int r = openInstance()) return r;
    long long type = 0, id = 0;
    if (!toNumber(o.get("type", "0"), type)) return fail("bad --type");
    if (!o.get("id").empty() && (!toNumber(o.get("id"), id) || id <= 0)) return fail("bad --id");
    std::string xml;
    std::error_code ec;
    if (!fs::is_regular_file(o.words[0], ec) || !readSmallFile(o.words[0], xml))
        return fail("cannot read template file " + o.words[0]);
    std::string name = o.get("name", fs::path(o.words[0]).stem().string());
    KQManagementDB db;
    if (db.open() != 0) return fail("cannot open the management database: " + db.lastError());
    int64_t newId = 0;
    std::string error;
    if (KQMgmtAdmin(db).addTemplate(name, type, xml, id, newId, error) != 0) return fail(error);
    std::printf("template %s added with id %lld\n", name.c_str(), static_cast<long long>(newId));
    return 0;
}

int LMCtl::policyAdd(const Options& o) {
    if (o.words.size() != 1) return usage("policy add needs one NAME");
    if (int r = openInstance()) return r;
    KQMgmtAdmin::Policy p;
    long long type = 0, id = 0;
    p.name = o.words[0];
    if (!toNumber(o.get("type", "0"), type)) return fail("bad --type");
    if (!o.get("id").empty() && (!toNumber(o.get("id"), id) || id <= 0)) return fail("bad --id");
    p.type = type;
    p.id = id;
    p.templates = o.all("template");
    p.cloud = o.get("cloud");
    for (const std::string& prop : o.all("property")) {
        size_t eq = prop.find('=');
        if (eq == std::string::npos || eq == 0) return fail("--property needs NAME=VALUE, got [" + prop + "]");
        p.properties.emplace_back(prop.substr(0, eq), prop.substr(eq + 1));
    }
    KQManagementDB db;
    if (db.open() != 0) return fail("cannot open the management database: " + db.lastError());
    int64_t newId = 0;
    std::string error;
    if (KQMgmtAdmin(db).addPolicy(p, newId, error) != 0) return fail(error);
    std::printf("policy %s added with id %lld\n", p.name.c_str(), static_cast<long long>(newId));
    return 0;
}

int LMCtl::policySetProperty(const Options& o) {
    if (o.words.size() != 3) return usage("policy set-property needs POLICY NAME VALUE");
    if (int r = openInstance()) return r;
    long long type = 0;
    if (!toNumber(o.get("data-type", "0"), type)) return fail("bad --data-type");
    KQManagementDB db;
    if (db.open() != 0) return fail("cannot open the management database: " + db.lastError());
    std::string error;
    if (KQMgmtAdmin(db).setPolicyProperty(o.words[0], o.words[1], o.words[2], type, error) != 0) return fail(error);
    std::printf("policy %s: %s = %s\n", o.words[0].c_str(), o.words[1].c_str(), o.words[2].c_str());
    return 0;
}

int LMCtl::show() {
    if (int r = openInstance()) return r;
    KQManagementDB db;
    if (db.open() != 0) return fail("cannot open the management database: " + db.lastError());
    std::string out, error;
    if (KQMgmtAdmin(db).show(out, error) != 0) return fail(error);
    std::fputs(out.c_str(), stdout);
    return 0;
}
