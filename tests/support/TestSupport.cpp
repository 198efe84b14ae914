#include "support/TestSupport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace lmtest {

TempDir::TempDir(const std::string& prefix) {
    std::string tmpl = (std::filesystem::temp_directory_path() / (prefix + ".XXXXXX")).string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << content;
}

std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

int freeLoopbackPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t len = sizeof a;
    int port = -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && running()) {
        ::kill(pid_, SIGKILL);
        int st;
        ::waitpid(pid_, &st, 0);
    }
    if (out_ >= 0) ::close(out_);
}

bool ChildProcess::start(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env) {
    if (argv.empty()) return false;
    int p[2];
    if (::pipe2(p, O_CLOEXEC) != 0) return false;
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        std::string s(*e);
        auto eq = s.find('=');
        if (eq != std::string::npos && env.count(s.substr(0, eq))) continue;
        envStrings.push_back(s);
    }
    for (auto& [k, v] : env) envStrings.push_back(k + "=" + v);
    std::vector<char*> args, envp;
    for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (auto& e : envStrings) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
        ::dup2(p[1], 1);
        ::dup2(p[1], 2);
        ::execve(args[0], args.data(), envp.data());
        ::_exit(127);
    }
    ::close(p[1]);
    out_ = p[0];
    return true;
}

bool ChildProcess::readSome(std::chrono::milliseconds timeout) {
    if (out_ < 0) return false;
    pollfd pfd{out_, POLLIN, 0};
    int r = ::poll(&pfd, 1, static_cast<int>(timeout.count()));
    if (r <= 0) return false;
    char buf[4096];
    ssize_t n = ::read(out_, buf, sizeof buf);
    if (n <= 0) {
        ::close(out_);
        out_ = -1;
        return false;
    }
    output_.append(buf, static_cast<size_t>(n));
    return true;
}

std::string ChildProcess::waitForLine(const std::string& text, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        size_t pos;
        while ((pos = output_.find('\n', scanned_)) != std::string::npos) {
            std::string line = output_.substr(scanned_, pos - scanned_);
            scanned_ = pos + 1;
            if (line.find(text) != std::string::npos) return line;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return {};
        if (!readSome(left) && out_ < 0) return {};
    }
}

bool ChildProcess::signal(int sig) { return pid_ > 0 && ::kill(pid_, sig) == 0; }

bool ChildProcess::running() {
    if (pid_ <= 0) return false;
    int st;
    pid_t r = ::waitpid(pid_, &st, WNOHANG);
    if (r == pid_) {
        pid_ = -1;
        return false;
    }
    return r == 0;
}

int ChildProcess::wait(std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (pid_ > 0) {
        int st;
        pid_t r = ::waitpid(pid_, &st, WNOHANG);
        if (r == pid_) {
            pid_ = -1;
            // What the child wrote just before it ended may still sit in the pipe; callers look
            // at output() next. A grandchild holding the pipe open cannot stall this past the
            // deadline.
            while (out_ >= 0 && std::chrono::steady_clock::now() < deadline &&
                   readSome(std::chrono::milliseconds(100))) {
            }
            return st;
        }
        if (std::chrono::steady_clock::now() > deadline) return -1;
        readSome(std::chrono::milliseconds(20));
    }
    return -1;
}

}
