// The system's own environment table (see environment.h).
#include "vxs/config/environment.h"

#include <utility>
#include <vector>

#include "vxs/errors/errors.h"
#include "vxs/platform/os.h"

namespace vxs {

namespace {
std::vector<EnvironmentEntry> g_environment;
bool g_loginSet = false;
std::string g_login;

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}
bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}
std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}
}  // namespace

int setEnvironmentVariable(std::string_view name, std::string_view value) {
    name = trimBlanks(name);
    if (name.empty() || name.size() > kMaxEnvName) return kErrConversion;
    for (char ch : name) {
        const bool ok = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') ||
                        (ch >= '0' && ch <= '9') || ch == '-' || ch == '_' || ch == '.' ||
                        ch == '#';
        if (!ok) return kErrConversion;
    }
    for (size_t i = 0; i < g_environment.size(); ++i) {
        if (!sameName(g_environment[i].name, name)) continue;
        if (value.empty())
            g_environment.erase(g_environment.begin() + static_cast<long>(i));
        else
            g_environment[i].value.assign(value);
        return 0;
    }
    if (value.empty()) return 0;
    if (g_environment.size() >= kMaxEnvEntries) return kErrNoMemory;
    EnvironmentEntry e;
    e.name.assign(name);
    for (char& ch : e.name) ch = upper(ch);
    e.value.assign(value);
    g_environment.push_back(std::move(e));
    return 0;
}

bool environmentVariable(std::string_view name, std::string& value) {
    for (const EnvironmentEntry& e : g_environment) {
        if (sameName(e.name, name)) {
            value = e.value;
            return true;
        }
    }
    if (name.empty() || name.find('\0') != std::string_view::npos) return false;
    const std::string exact(name);
    if (platform::environmentValue(exact.c_str(), value)) return true;
    std::string upperName(exact);
    for (char& ch : upperName) ch = upper(ch);
    return upperName != exact && platform::environmentValue(upperName.c_str(), value);
}

void clearEnvironmentTable() {
    g_environment.clear();
}

const std::vector<EnvironmentEntry>& environmentTable() {
    return g_environment;
}

const std::string& loginName() {
    if (!g_loginSet) {
        g_login = platform::accountName().substr(0, kMaxLoginName);
        g_loginSet = true;
    }
    return g_login;
}

int setLoginName(std::string_view name) {
    if (name.size() > kMaxLoginName) return kErrStringOverflow;
    g_login.assign(name);
    g_loginSet = true;
    return 0;
}

}  // namespace vxs
