// SPDX-License-Identifier: MIT
#include "command_output.h"

#include <corvid/exception.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace corvid_tool {

std::vector<std::string> command_words(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    char quote = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quote == '\'') {
            if (c == '\'')
                quote = 0;
            else
                word += c;
        } else if (quote == '"') {
            if (c == '"')
                quote = 0;
            else if (c == '\\' && i + 1 < line.size() && std::strchr("\"\\$", line[i + 1]) != nullptr)
                word += line[++i];
            else
                word += c;
        } else if (c == ' ' || c == '\t' || c == '\n') {
            if (in_word) words.push_back(word);
            word.clear();
            in_word = false;
        } else {
            in_word = true;
            if (c == '\'' || c == '"')
                quote = c;
            else if (c == '\\' && i + 1 < line.size())
                word += line[++i];
            else
                word += c;
        }
    }
    if (quote != 0) throw corvid::exception("the command has an open quote: " + line);
    if (in_word) words.push_back(word);
    return words;
}

namespace {

// Closes a descriptor when it goes out of scope.
struct descriptor {
    int fd = -1;
    ~descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

std::string first_output_line(const std::vector<std::string>& words, int timeout_seconds) {
    if (words.empty()) throw corvid::exception("the command is empty");
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) throw corvid::exception(std::string("pipe failed: ") + std::strerror(errno));
    descriptor reading{ends[0]};
    descriptor writing{ends[1]};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writing.fd, 1);
    std::vector<char*> argv;
    for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = ::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw corvid::exception("cannot run " + words[0] + ": " + std::strerror(spawned));
    ::close(writing.fd);
    writing.fd = -1;

    constexpr std::size_t limit = 64 * 1024;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
    std::string output;
    std::string failure;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        pollfd wait{reading.fd, POLLIN, 0};
        const int ready = left.count() > 0 ? ::poll(&wait, 1, static_cast<int>(left.count())) : 0;
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            failure = words[0] + " did not finish within " + std::to_string(timeout_seconds) + " s";
            break;
        }
        char block[4096];
        const ssize_t got = ::read(reading.fd, block, sizeof block);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        output.append(block, static_cast<std::size_t>(got));
        if (output.size() > limit) {
            failure = words[0] + " wrote more than 64 KiB";
            break;
        }
    }
    int status = 0;
    // A command that closed its output may still run: it gets the rest of
    // the time, no more.
    while (failure.empty() && ::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= until)
            failure = words[0] + " did not finish within " + std::to_string(timeout_seconds) + " s";
        else
            ::usleep(10000);
    }
    if (!failure.empty()) {
        ::kill(child, SIGKILL);
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (!failure.empty()) throw corvid::exception(failure);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw corvid::exception(words[0] + (WIFEXITED(status) ? " exited with " + std::to_string(WEXITSTATUS(status))
                                                              : std::string(" was killed")));
    return output.substr(0, output.find_first_of("\r\n"));
}

}  // namespace corvid_tool
