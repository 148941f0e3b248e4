// Runs a fuzz target once over every input of the corpora given as arguments (directories,
// searched recursively, or single files), so that an input that once crashed is replayed by
// every test run.  Every path is resolved and every input read before the first one runs, since
// targets may change the working directory; a corpus that is missing, holds no input or has an
// input that cannot be read fails the replay before anything runs.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
// Defined by the targets that need set-up before their inputs, as libFuzzer knows it.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

namespace fs = std::filesystem;

struct Input {
    std::string path;
    std::vector<uint8_t> bytes;
};

bool readInput(const fs::path& path, std::vector<Input>& out) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (!in.is_open() || in.bad()) {
        fprintf(stderr, "cannot read the input %s\n", path.c_str());
        return false;
    }
    out.push_back({path.string(), std::move(bytes)});
    return true;
}

// The inputs of one corpus argument, in name order (the replay runs alike on every machine).
bool collect(const char* arg, std::vector<Input>& out) {
    std::error_code ec;
    const fs::path corpus = fs::absolute(arg, ec);
    if (ec || !fs::exists(corpus, ec)) {
        fprintf(stderr, "the corpus %s does not exist\n", arg);
        return false;
    }
    if (!fs::is_directory(corpus, ec)) {
        if (fs::is_regular_file(corpus, ec)) return readInput(corpus, out);
        fprintf(stderr, "cannot read the input %s: not a file\n", arg);
        return false;
    }
    std::vector<fs::path> files;
    for (fs::recursive_directory_iterator it(corpus, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_directory(typeError)) continue;
        if (!it->is_regular_file(typeError)) {  // a dangling link, a device, a pipe
            fprintf(stderr, "cannot read the input %s: not a file\n", it->path().c_str());
            return false;
        }
        files.push_back(it->path());
    }
    if (ec) {
        fprintf(stderr, "cannot read the corpus %s: %s\n", arg, ec.message().c_str());
        return false;
    }
    if (files.empty()) {
        fprintf(stderr, "the corpus %s holds no inputs\n", arg);
        return false;
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& f : files)
        if (!readInput(f, out)) return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s corpus-directory-or-input ...\n", argv[0]);
        return 1;
    }
    std::vector<Input> inputs;
    for (int i = 1; i < argc; ++i)
        if (!collect(argv[i], inputs)) return 1;
    if (LLVMFuzzerInitialize && LLVMFuzzerInitialize(&argc, &argv) != 0) {
        fprintf(stderr, "the target's initialization failed\n");
        return 1;
    }
    for (const Input& input : inputs) {
        // Named on the way in, so that the input behind a crash is known.
        fprintf(stderr, "replaying %s\n", input.path.c_str());
        LLVMFuzzerTestOneInput(input.bytes.data(), input.bytes.size());
    }
    printf("replayed %zu inputs\n", inputs.size());
    return 0;
}
