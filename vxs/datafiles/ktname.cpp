// File-name mapping (see ktname.h).  The tables it reads (substitution, drives, the case rule)
// belong to the configuration; this module only applies them.
#include "vxs/datafiles/ktname.h"

#include <cctype>

#include "vxs/config/config.h"
#include "vxs/errors/errors.h"
#include "vxs/platform/fileio.h"

namespace vxs {

namespace {

inline constexpr size_t kMaxPath = kVxMaxPath;

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

std::string upperOf(std::string_view s) {
    std::string u(s);
    for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

// The device an upper-cased name begins with.
Device deviceKind(std::string_view up) {
    for (const char* p : {"PRN:", "DIRECT:", "WIN:", "PREVIEW:"})
        if (startsWith(up, p)) return Device::kPrinter;
    for (const char* p : {"CON:", ":CON:"})
        if (startsWith(up, p)) return Device::kConsole;
    return startsWith(up, "DEBUG:") ? Device::kDebug : Device::kDisk;
}

// A device comes back upper-cased; a printer name goes on after the colon with "/" (PRN:/10,
// WIN:/SELECT): a bare prefix names no printer.
int deviceName(std::string_view name, Device kind, std::string& path) {
    const std::string up = upperOf(name);
    if (kind == Device::kPrinter) {
        const std::string_view rest = std::string_view(up).substr(up.find(':') + 1);
        if (rest.empty() || rest[0] != '/') return kErrPrinterNameForm;
    }
    path = up;
    return 0;
}

// The length of the full path a relative path stands for.
int checkFullLength(const std::string& path) {
    size_t full = path.size();
    if (path.empty() || path[0] != '/') {
        std::string cwd;
        if (platform::currentDirectory(cwd) == 0) full += cwd.size() + 1;
    }
    return full >= kMaxPath ? kErrNameTooLong : 0;
}

// The drive directory a name "X:rest" stands for, with "/" separators.
int mapDrive(char letter, std::string_view rest, std::string& path) {
    const DriveEntry* d = driveEntry(letter);
    if (!d) return kErrBadName;
    const bool atRoot = !rest.empty() && rest[0] == '/';
    if (atRoot) rest.remove_prefix(1);
    if (d->osDirectory.empty()) {
        // With no drive configured at all, C: is the current directory.
        if (anyDriveMapped() || std::toupper(static_cast<unsigned char>(letter)) != 'C')
            return kErrBadDrive;
        path.assign(rest);
        return 0;
    }
    path = d->osDirectory;
    if (!atRoot && d->current.size() > 1) {
        for (char c : std::string_view(d->current).substr(1)) path += c == '\\' ? '/' : c;
        if (path.back() != '/') path += '/';
    }
    path.append(rest);
    return 0;
}

// Whether a name is a Linux path rather than one of the forms name/dir, name/dir/n and
// name//10: it begins with "./" or "../", or it has a second "/" that is followed by anything
// but a single digit 1-9 that ends the name ("10" after "//" being the printer).  A name with a
// drive letter is never one.
bool isLinuxPath(std::string_view n) {
    if (startsWith(n, "./") || startsWith(n, "../")) return true;
    if (n.size() >= 2 && n[1] == ':' && std::isalpha(static_cast<unsigned char>(n[0])))
        return false;
    const size_t first = n.find('/');
    if (first == std::string_view::npos) return false;
    const size_t second = n.find('/', first + 1);
    if (second == std::string_view::npos) return false;
    const std::string_view after = n.substr(second + 1);
    if (after.size() == 1 && after[0] >= '1' && after[0] <= '9') return false;
    return !(after == "10" && second == first + 1);
}

}  // namespace

Device deviceOfName(std::string_view name) {
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    return deviceKind(upperOf(name.substr(0, 8)));
}

bool isDeviceName(std::string_view name) { return deviceOfName(name) != Device::kDisk; }

int mapFileName(std::string_view name, std::string& path) {
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (name.empty()) return kErrBadName;
    if (name.size() >= kMaxPath) return kErrNameTooLong;
    if (name.find('\0') != std::string_view::npos) return kErrBadName;
    if (startsWith(name, "@:")) return kErrNotAvailable;
    if (Device kind = deviceKind(upperOf(name.substr(0, 8))); kind != Device::kDisk)
        return deviceName(name, kind, path);

    std::string n;
    if (int err = substituteName(name, n)) return err;
    if (n.empty() || n.find('\0') != std::string::npos) return kErrBadName;
    if (startsWith(n, "@:")) return kErrNotAvailable;
    if (Device kind = deviceKind(upperOf(std::string_view(n).substr(0, 8))); kind != Device::kDisk)
        return deviceName(n, kind, path);

    // OS paths as they stand: ":path", absolute paths, "\\server\share".
    const bool osPath = n[0] == ':';
    if (osPath || n[0] == '/' || startsWith(n, "\\\\")) {
        path = osPath ? n.substr(1) : n;
        if (path.empty()) return kErrBadName;
        for (char& c : path)
            if (c == '\\') c = '/';
        return path.size() >= kMaxPath ? kErrNameTooLong : 0;
    }

    // Paths as a Linux user types them stand as they are, relative to the current directory.
    if (isLinuxPath(n)) {
        path = n;
        for (char& c : path)
            if (c == '\\') c = '/';
        return checkFullLength(path);
    }

    const int rule = configLimits().fileNameCase;
    if (rule != 0)
        for (char& c : n)
            c = static_cast<char>(rule < 0 ? std::tolower(static_cast<unsigned char>(c))
                                           : std::toupper(static_cast<unsigned char>(c)));

    // name/dir, name/dir/n, name//10.
    const size_t slash = n.find('/');
    if (slash != std::string::npos) {
        const std::string file = n.substr(0, slash);
        std::string dir = n.substr(slash + 1);
        std::string drive;
        const size_t second = dir.find('/');
        if (second != std::string::npos) {
            const std::string number = dir.substr(second + 1);
            dir.erase(second);
            if (number == "10" && dir.empty() && !file.empty()) {
                path = "PRN:/" + upperOf(std::string_view(file).substr(0, 8));
                return 0;
            }
            if (number.size() != 1 || number[0] < '1' || number[0] > '9') return kErrBadName;
            const char letter = driveNumber(number[0] - '0');
            if (!letter) return kErrBadName;
            drive = std::string(1, letter) + ":";
        }
        if (file.empty() || dir.empty()) return kErrBadName;
        n = drive + dir + "\\" + file;
    }
    for (char& c : n)
        if (c == '\\') c = '/';

    if (n.size() >= 2 && n[1] == ':' && std::isalpha(static_cast<unsigned char>(n[0]))) {
        if (int err = mapDrive(n[0], std::string_view(n).substr(2), path)) return err;
    } else {
        path = n;
    }
    if (path.empty()) path = ".";
    return checkFullLength(path);
}

int unmapFileName(std::string_view path, std::string& name) {
    std::string full(path);
    for (char& c : full)
        if (c == '\\') c = '/';
    if (full.empty() || full[0] != '/') {
        std::string cwd;
        if (int err = platform::currentDirectory(cwd)) return err;
        if (cwd.back() != '/') cwd += '/';
        full = cwd + (startsWith(full, "./") ? full.substr(2) : full);
    }
    char best = 0;
    size_t bestLength = 0;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const DriveEntry* d = driveEntry(letter);
        const std::string& dir = d->osDirectory;
        if (dir.empty() || dir.size() <= bestLength) continue;
        if (startsWith(full, dir) || full + "/" == dir) {
            best = letter;
            bestLength = dir.size();
        }
    }
    if (best) {
        std::string rest = full.size() > bestLength ? full.substr(bestLength) : "";
        for (char& c : rest)
            if (c == '/') c = '\\';
        name = std::string(1, best) + ":\\" + rest;
    } else {
        name = ":" + full;
    }
    return name.size() >= kMaxPath ? kErrBadName : 0;
}

bool hasExtension(std::string_view name) {
    for (size_t i = name.size(); i-- > 0;) {
        if (isSeparator(name[i])) return false;
        if (name[i] == '.') return i + 1 < name.size() || i > 0;
    }
    return false;
}

std::string replaceExtension(std::string_view name, std::string_view ext) {
    for (size_t i = name.size(); i-- > 0;) {
        if (isSeparator(name[i])) break;
        if (name[i] == '.') return std::string(name.substr(0, i)).append(ext);
    }
    return std::string(name).append(ext);
}

void freeNameMapping() {}

}  // namespace vxs
