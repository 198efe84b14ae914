#pragma once
// Helpers shared by the test programs.
#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace lmtest {

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "lmtest");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);

// A TCP port on 127.0.0.1 that nobody listens on right now.
int freeLoopbackPort();

// A child process started without a shell, its standard output and error read through a pipe.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess(); // kills (SIGKILL) and reaps a child still running
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // argv[0] is the program path. Extra environment entries are added to the test's own.
    bool start(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env = {});
    // Reads output until a line contains `text`; returns that line, or empty on time-out or exit.
    std::string waitForLine(const std::string& text, std::chrono::milliseconds timeout);
    // Output read so far (including what waitForLine consumed).
    const std::string& output() const { return output_; }
    bool signal(int sig);
    // Waits for the child to end; its exit status as from waitpid, or -1 on time-out.
    int wait(std::chrono::milliseconds timeout);
    pid_t pid() const { return pid_; }
    bool running();

private:
    bool readSome(std::chrono::milliseconds timeout);
    pid_t pid_ = -1;
    int out_ = -1;
    std::string output_;
    size_t scanned_ = 0;
};

}
