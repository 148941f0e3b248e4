// The system's own environment table: the variables that SETENV and the configuration's SETENV
// set and ENV$ reads, before the process environment; and the login name (LOGIN_NAME$, the
// configuration's LOGIN_NAME).  Settings of the session, kept here so that the configuration
// processor, the interpreter and the STATUS report share them without knowing each other.
//
// Invariants: names are kept in upper case, each at most once; the table holds at most
// kMaxEnvEntries variables.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vxs {

inline constexpr size_t kMaxEnvName = 1000;
inline constexpr size_t kMaxEnvEntries = 1024;

// Sets a variable (an empty value removes it).  Names are letters, digits, "-", "_", "." and "#",
// at most 1000 bytes (blanks around them dropped).  Returns 0, 2 for a bad name, 9000 when the
// table is full.
[[nodiscard]] int setEnvironmentVariable(std::string_view name, std::string_view value);
// ENV$'s lookup: the table first (without regard to case), then the process environment by the
// name as given and then in upper case.
bool environmentVariable(std::string_view name, std::string& value);
void clearEnvironmentTable();

struct EnvironmentEntry {
    std::string name;  // upper case
    std::string value;
};
// The table in the order its variables were first set.
const std::vector<EnvironmentEntry>& environmentTable();

// ---- the login name ----
inline constexpr size_t kMaxLoginName = 63;
// The account's name (at most 63 bytes) until a program or the configuration sets another.
const std::string& loginName();
[[nodiscard]] int setLoginName(std::string_view name);  // 0, or 4 above 63 bytes

}  // namespace vxs
