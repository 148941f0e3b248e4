// How /bin/sh splits a command line into words: runs `printf '%s\0' =` followed by the line, with
// an empty PATH and no input, and reads back the words it printed.  A line that makes the shell
// run a second command (or expand something) shows as words that differ from the ones expected;
// with no PATH, such a command finds no program to run.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

namespace vxs::test {

struct ShellWords {
    std::vector<std::string> words;
    int status = -1;  // the shell's exit status; -1 when it could not be run
};

inline ShellWords shellWords(const std::string& line) {
    ShellWords out;
    int fds[2];
    if (pipe(fds) != 0) return out;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    // A first word of our own, so that a line of no words still gives printf an argument.
    const std::string script = "printf '%s\\0' = " + line;
    char* argv[] = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"),
                    const_cast<char*>(script.c_str()), nullptr};
    char* envp[] = {const_cast<char*>("PATH=/nonexistent"), nullptr};
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, "/bin/sh", &actions, nullptr, argv, envp);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) != 0;) {
        if (n < 0) break;
        text.append(buf, static_cast<size_t>(n));
    }
    close(fds[0]);
    if (rc != 0) return out;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return out;
    out.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    for (size_t from = 0, nul; (nul = text.find('\0', from)) != std::string::npos; from = nul + 1)
        out.words.push_back(text.substr(from, nul - from));
    if (out.words.empty() || out.words.front() != "=") {
        out.status = -1;  // the line ended the printf command before its words
        return out;
    }
    out.words.erase(out.words.begin());
    return out;
}

}  // namespace vxs::test
