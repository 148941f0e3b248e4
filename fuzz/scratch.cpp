// The fuzz targets' scratch directories and the absolute path arguments (see scratch.h).
#include "fuzz/scratch.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>
#include <vector>

#include "vxs/compiler/command2.h"
#include "vxs/compiler/pcb.h"
#include "vxs/compiler/progfile.h"
#include "vxs/control/entry.h"

namespace vxfuzz {

namespace {

// Every target runs with the layers wired as start-up wires them.
[[maybe_unused]] const bool kLayersConnected = (vxs::connectLayers(), true);

namespace fs = std::filesystem;

// libFuzzer's flags whose value is a file or directory name ("seed_inputs" is a comma-separated
// list of them, or "@" and a file naming them).
constexpr std::string_view kPathFlags[] = {
    "artifact_prefix",     "exact_artifact_path", "dict",      "merge_control_file", "features_dir",
    "mutation_graph_file", "data_flow_trace",     "stop_file",
};

std::string absolute(std::string_view path) {
    if (path.empty()) return {};
    std::error_code ec;
    const fs::path p = fs::absolute(fs::path(path), ec).lexically_normal();
    if (ec) {
        fprintf(stderr, "cannot make %.*s absolute: %s\n", static_cast<int>(path.size()),
                path.data(), ec.message().c_str());
        abort();
    }
    return p.string();
}

std::string absoluteList(std::string_view list) {
    if (!list.empty() && list[0] == '@') return "@" + absolute(list.substr(1));
    std::string out;
    while (true) {
        const size_t comma = list.find(',');
        out += absolute(list.substr(0, comma));
        if (comma == std::string_view::npos) return out;
        out += ',';
        list.remove_prefix(comma + 1);
    }
}

// One argument, rewritten.  `artifacts` is set when it says where crash reports go.
std::string rewritten(std::string_view arg, bool& artifacts) {
    if (arg.empty()) return std::string(arg);
    if (arg[0] != '-') return absolute(arg);
    const size_t dashes = arg.find_first_not_of('-');
    const size_t eq = arg.find('=');
    if (dashes == std::string_view::npos || eq == std::string_view::npos) return std::string(arg);
    const std::string_view name = arg.substr(dashes, eq - dashes);
    const std::string_view value = arg.substr(eq + 1);
    const std::string prefix(arg.substr(0, eq + 1));
    if (name == "artifact_prefix" || name == "exact_artifact_path") artifacts = true;
    if (name == "seed_inputs") return prefix + absoluteList(value);
    for (std::string_view flag : kPathFlags) {
        if (name != flag) continue;
        // A prefix that names a directory keeps its separator: files go inside it.
        std::string path = absolute(value);
        if (!value.empty() && value.back() == '/' && !path.empty() && path.back() != '/')
            path += '/';
        return prefix + path;
    }
    return std::string(arg);
}

struct Scratch {
    std::string path;
    std::string previous;  // the working directory before
};
Scratch g_scratch;

void removeScratchDirectory() {
    if (g_scratch.path.empty()) return;
    std::error_code ec;
    fs::current_path(g_scratch.previous, ec);
    fs::remove_all(g_scratch.path, ec);
    if (ec)
        fprintf(stderr, "cannot remove the scratch directory %s: %s\n", g_scratch.path.c_str(),
                ec.message().c_str());
    g_scratch.path.clear();
}

}  // namespace

void absolutePathArguments(int* argc, char*** argv) {
    static std::vector<std::string> args;
    static std::vector<char*> pointers;
    args.clear();
    bool artifacts = false;
    for (int i = 0; i < *argc; ++i)
        args.push_back(i == 0 ? std::string((*argv)[0]) : rewritten((*argv)[i], artifacts));
    if (!artifacts) {
        std::error_code ec;
        const std::string here = fs::current_path(ec).string();
        if (ec) abort();
        args.push_back("-artifact_prefix=" + here + "/");
    }
    pointers.clear();
    for (std::string& a : args) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    *argc = static_cast<int>(args.size());
    *argv = pointers.data();
}

const std::string& enterScratchDirectory(const char* tag) {
    if (!g_scratch.path.empty()) return g_scratch.path;
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    if (ec) abort();
    std::string pattern = (base / ("vxfuzz-" + std::string(tag) + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data())) {
        perror(pattern.c_str());
        abort();
    }
    g_scratch.previous = fs::current_path(ec).string();
    if (ec) abort();
    g_scratch.path = pattern;
    // Registered before the directory is entered, so that it goes even should that fail.
    if (atexit(removeScratchDirectory) != 0) abort();
    fs::current_path(g_scratch.path, ec);
    if (ec) abort();
    return g_scratch.path;
}

void emptyScratchDirectory() {
    if (g_scratch.path.empty()) abort();
    std::error_code ec;
    // An input may have changed into a directory below (CHDIR): each one starts in the scratch
    // directory itself.
    fs::current_path(g_scratch.path, ec);
    if (ec) abort();
    // The entries are listed first: a directory changed while it is read may list some twice.
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(g_scratch.path, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(it->path());
    for (const fs::path& entry : entries)
        if (!ec) fs::remove_all(entry, ec);
    if (ec) {
        fprintf(stderr, "cannot empty %s: %s\n", g_scratch.path.c_str(), ec.message().c_str());
        abort();
    }
}

void writeScratchFile(const char* name, const std::string& bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) abort();
}

std::string programImage(std::span<const char* const> lines) {
    vxs::pcb program;
    if (!vxs::allocatePCBTables(program, 16, 16)) abort();
    vxs::resetProgram(program);
    for (const char* line : lines)
        if (vxs::enterLine(program, line, vxs::CompileOptions{}) != 0) {
            fprintf(stderr, "a library line is refused: %s\n", line);
            abort();
        }
    std::vector<uint8_t> image;
    if (vxs::writeProgramImage(program, false, image) != 0) {
        fprintf(stderr, "the library cannot be written\n");
        abort();
    }
    vxs::resetProgram(program);
    return std::string(image.begin(), image.end());
}

}  // namespace vxfuzz
