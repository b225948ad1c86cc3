// Running tessaro-cli from the tests: to completion with its output collected, or in the
// background with its standard output readable line by line.
#pragma once

#include "TestPaths.h"

#include <cstdio>
#include <string>
#include <vector>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tessaro::test {

inline std::string Fixture(const std::string& name) {
    return FixtureDir() + "/" + name;
}

struct TCliRun {
    std::string output; // standard output and standard error together
    int status = -1;    // exit status; -1 when it did not exit normally
};

inline TCliRun RunCli(const std::string& arguments) {
    TCliRun run;
    const std::string command = BinDir() + "/tessaro-cli " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    std::size_t count = 0;
    while ((count = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.output.append(buffer, count);
    }
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// tessaro-cli started with Arguments, its standard output and error on one pipe.
class TCliProcess {
public:
    explicit TCliProcess(const std::vector<std::string>& arguments) {
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        const std::string program = BinDir() + "/tessaro-cli";
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        output_ = fdopen(fds[0], "r");
    }
    ~TCliProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            Wait();
        }
        if (output_ != nullptr) {
            fclose(output_);
        }
    }
    TCliProcess(const TCliProcess&) = delete;
    TCliProcess& operator=(const TCliProcess&) = delete;

    bool Started() const { return pid_ > 0 && output_ != nullptr; }
    // The next line (without its end); false at the end of the output.
    bool ReadLine(std::string& line) {
        line.clear();
        int c = 0;
        while ((c = fgetc(output_)) != EOF) {
            if (c == '\n') {
                return true;
            }
            line += char(c);
        }
        return !line.empty();
    }
    void Signal(int signal) { kill(pid_, signal); }
    // The exit status; -1 when it did not exit normally.
    int Wait() {
        int status = 0;
        const pid_t waited = waitpid(pid_, &status, 0);
        pid_ = -1;
        return waited > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    FILE* output_ = nullptr;
};

} // namespace tessaro::test
