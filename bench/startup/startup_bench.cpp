// Start-up benchmark: the time from starting a process to its exit, for our executable and for a
// peer BASIC interpreter, each given "SYSTEM" on standard input.  Runs alternate (A B A B ...) so
// that both see the same machine; the medians and their ratio are printed.
//
// Usage: startup_bench RUNS COMMAND-A -- COMMAND-B
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

double nowMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// One run: stdin from a pipe holding "SYSTEM\n", stdout and stderr to /dev/null.
double runOnce(std::vector<char*>& argv) {
    int in[2];
    if (pipe(in) != 0) exit(2);
    if (write(in[1], "SYSTEM\n", 7) != 7) exit(2);
    close(in[1]);
    int devnull = open("/dev/null", O_WRONLY);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, devnull, 1);
    posix_spawn_file_actions_adddup2(&fa, devnull, 2);
    const double start = nowMs();
    pid_t pid;
    if (posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0) {
        fprintf(stderr, "cannot start %s\n", argv[0]);
        exit(2);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const double elapsed = nowMs() - start;
    posix_spawn_file_actions_destroy(&fa);
    close(in[0]);
    close(devnull);
    return elapsed;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        fprintf(stderr, "usage: %s RUNS COMMAND-A ... -- COMMAND-B ...\n", argv[0]);
        return 2;
    }
    const int runs = atoi(argv[1]);
    std::vector<char*> a, b;
    int i = 2;
    for (; i < argc && strcmp(argv[i], "--") != 0; ++i) a.push_back(argv[i]);
    for (++i; i < argc; ++i) b.push_back(argv[i]);
    a.push_back(nullptr);
    b.push_back(nullptr);
    for (int w = 0; w < 10; ++w) runOnce(a), runOnce(b);  // warm the page cache
    std::vector<double> ta, tb, ratios;
    for (int r = 0; r < runs; ++r) {
        ta.push_back(runOnce(a));
        tb.push_back(runOnce(b));
        ratios.push_back(tb.back() / ta.back());
    }
    printf("%-40s median %.3f ms\n", a[0], median(ta));
    printf("%-40s median %.3f ms\n", b[0], median(tb));
    printf("median ratio %s / %s: %.2f (above 1: the first is faster)\n", b[0], a[0],
           median(ratios));
    return 0;
}
