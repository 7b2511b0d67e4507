#pragma once

// Runs pyrolith-cli as a child process with its output in files.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadAll(int fd)
{
    std::string text;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

struct RunningCli {
    pid_t pid = -1;
    std::string outPath;
    std::string errPath;
};

// Starts the program with a fixed C locale plus `environment`; output goes through files so
// that a large output cannot block on a pipe.
RunningCli StartCli(const std::vector<std::string>& arguments,
                    const std::map<std::string, std::string>& environment = {})
{
    const fs::path folder = fs::temp_directory_path();
    RunningCli running;
    running.outPath = (folder / ("cli-out-" + std::to_string(::getpid()))).string();
    running.errPath = (folder / ("cli-err-" + std::to_string(::getpid()))).string();
    running.pid = ::fork();
    if (running.pid == 0) {
        const int out = ::open(running.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(running.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::setenv("LC_ALL", "C", 1);
        ::unsetenv("SOURCE_DATE_EPOCH");
        for (const auto& [name, value] : environment) {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
        std::vector<char*> argv;
        std::string program = PYROLITH_CLI;
        argv.push_back(program.data());
        std::vector<std::string> copies = arguments;
        for (std::string& argument : copies) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    return running;
}

// Waits for the program's end and collects what it printed.
CliRun FinishCli(const RunningCli& running)
{
    int status = 0;
    ::waitpid(running.pid, &status, 0);
    CliRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const int out = ::open(running.outPath.c_str(), O_RDONLY);
    const int err = ::open(running.errPath.c_str(), O_RDONLY);
    run.out = ReadAll(out);
    run.err = ReadAll(err);
    ::close(out);
    ::close(err);
    ::unlink(running.outPath.c_str());
    ::unlink(running.errPath.c_str());
    return run;
}

CliRun RunCli(const std::vector<std::string>& arguments,
              const std::map<std::string, std::string>& environment = {})
{
    return FinishCli(StartCli(arguments, environment));
}

}  // namespace
