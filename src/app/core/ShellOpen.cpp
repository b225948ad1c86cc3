#include "core/ShellOpen.h"

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace tessaro {

namespace {

std::mutex runningLock;
std::condition_variable runningChanged;
int runningCount = 0;

void ReapInBackground(pid_t pid) {
    {
        std::lock_guard lock(runningLock);
        ++runningCount;
    }
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        std::lock_guard lock(runningLock);
        --runningCount;
        runningChanged.notify_all();
    }).detach();
}

} // namespace

bool SpawnDetached(const std::vector<std::string>& args) {
    if (args.empty() || args[0].empty()) {
        return false;
    }
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return false;
    }
    ReapInBackground(pid);
    return true;
}

void WaitForSpawnedPrograms() {
    std::unique_lock lock(runningLock);
    runningChanged.wait(lock, [] { return runningCount == 0; });
}

bool OpenWithDefaultHandler(const std::string& target) {
    const char* command = std::getenv("TESSARO_OPEN_COMMAND");
    const std::string program = command != nullptr && command[0] != '\0' ? command : "xdg-open";
    return SpawnDetached({program, target});
}

} // namespace tessaro
