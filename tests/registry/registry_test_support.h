// What the registry tests share: a scratch directory per test, copies of the system started as
// real processes (registry_helper) that hold their WSID until stopped or killed, and access to
// the bytes of ktserver.dat.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace vxs::regtest {

// A running registry_helper.
struct Copy {
    pid_t pid = -1;
    int in = -1;   // its standard input: closing it makes it release and end
    int out = -1;  // its standard output until its line is read
    int result = 0, wsid = -1, session = 0, users = 0;
    std::string wsidText, sessionText, source, message;

    // Releases the WSID and waits for the end; the exit status.
    int stop() {
        if (pid < 0) return -1;
        close(in);
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    void killHard() {
        if (out >= 0) close(out);
        out = -1;
        if (pid < 0) return;
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        close(in);
        pid = -1;
    }
};

class RegistryDir : public ::testing::Test {
  protected:
    void SetUp() override {
        char dir[] = "/tmp/vxreg-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        dir_ = dir;
    }
    void TearDown() override {
        for (Copy& c : copies_) c.killHard();
        std::filesystem::remove_all(dir_);
    }

    // Starts a copy with these options and waits for its line.
    Copy& start(std::initializer_list<std::string> options) {
        Copy& c = launch(options);
        finish(c);
        return c;
    }

    // Starts a copy without waiting for it (finish reads its line).
    Copy& launch(std::initializer_list<std::string> options) {
        std::vector<std::string> args{VX_REGISTRY_HELPER, dir_};
        args.insert(args.end(), options);
        const test::PipedChild child = test::startPiped(args);
        EXPECT_GT(child.pid, 0);
        Copy c;
        c.pid = child.pid;
        c.in = child.in;
        c.out = child.out;
        copies_.push_back(c);
        return copies_.back();
    }

    static void finish(Copy& c) {
        const std::string line = test::readLineFrom(c.out);
        close(c.out);
        c.out = -1;
        parse(line, c);
    }

    static void parse(const std::string& line, Copy& c) {
        const size_t bar = line.find('|');
        std::istringstream fields(line.substr(0, bar));
        std::string f;
        while (fields >> f) {
            const size_t eq = f.find('=');
            const std::string k = f.substr(0, eq), v = f.substr(eq + 1);
            if (k == "result")
                c.result = std::stoi(v);
            else if (k == "wsid")
                c.wsid = std::stoi(v);
            else if (k == "session")
                c.session = std::stoi(v);
            else if (k == "users")
                c.users = std::stoi(v);
            else if (k == "wsidtext")
                c.wsidText = v;
            else if (k == "sessiontext")
                c.sessionText = v;
            else if (k == "source")
                c.source = v;
        }
        if (bar == std::string::npos) {
            c.result = 9999;  // the helper printed no line: it failed to start
            return;
        }
        for (size_t i = bar + 1; i < line.size(); ++i) {
            if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == 'n') {
                c.message += '\n';
                ++i;
            } else {
                c.message += line[i];
            }
        }
    }

    std::string serverPath() const { return dir_ + "/ktserver.dat"; }
    std::string readServer() const {
        std::ifstream f(serverPath(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }
    void writeServer(const std::string& bytes) const {
        std::ofstream f(serverPath(), std::ios::binary | std::ios::trunc);
        f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    void pokeServer(size_t offset, char c) const {
        std::fstream f(serverPath(), std::ios::binary | std::ios::in | std::ios::out);
        f.seekp(static_cast<std::streamoff>(offset));
        f.put(c);
    }

    std::string dir_;
    std::deque<Copy> copies_;  // a deque: references stay valid as copies are added
};

}  // namespace vxs::regtest
