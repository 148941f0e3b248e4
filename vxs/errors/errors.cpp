// The lookups of the error table (errors.h): the condition that traps an error, its text, what to
// do about it, and the table itself in order of number.
#include "vxs/errors/errors.h"

#include <algorithm>
#include <iterator>

namespace vxs {

namespace {

constexpr ErrorInfo kTable[] = {
#define VX_ERROR_ROW(number, name, condition, text, advice) \
    {number, #name, ErrorCondition::condition, text, advice},
    VX_ERRORS(VX_ERROR_ROW)
#undef VX_ERROR_ROW
};

// The rows are written in order of number, so that a lookup can search them and docs/errors.md
// lists them in that order; each number is defined once.
constexpr bool ascending() {
    for (size_t i = 1; i < std::size(kTable); ++i)
        if (kTable[i - 1].number >= kTable[i].number) return false;
    return true;
}
static_assert(ascending(), "VX_ERRORS rows must be in ascending order of number, each once");

const ErrorInfo* find(int err) {
    const auto it = std::lower_bound(std::begin(kTable), std::end(kTable), err,
                                     [](const ErrorInfo& e, int n) { return e.number < n; });
    return it != std::end(kTable) && it->number == err ? it : nullptr;
}

}  // namespace

ErrorCondition errorCondition(int err) {
    const ErrorInfo* e = find(err);
    return e ? e->condition : ErrorCondition::ERROR;
}

const char* errorText(int err) {
    const ErrorInfo* e = find(err);
    return e ? e->text : "";
}

const char* errorAdvice(int err) {
    const ErrorInfo* e = find(err);
    return e ? e->advice : "";
}

const char* conditionName(ErrorCondition condition) {
    switch (condition) {
        case ErrorCondition::ERROR: return "ERROR";
        case ErrorCondition::CONV: return "CONV";
        case ErrorCondition::SOFLOW: return "SOFLOW";
        case ErrorCondition::OFLOW: return "OFLOW";
        case ErrorCondition::HELP: return "HELP";
        case ErrorCondition::ZDIV: return "ZDIV";
        case ErrorCondition::DUPREC: return "DUPREC";
        case ErrorCondition::NOKEY: return "NOKEY";
        case ErrorCondition::NOREC: return "NOREC";
        case ErrorCondition::EOF_: return "EOF";
        case ErrorCondition::PAGEOFLOW: return "PAGEOFLOW";
        case ErrorCondition::LOCKED: return "LOCKED";
        case ErrorCondition::TIMEOUT: return "TIMEOUT";
        case ErrorCondition::EVENT: return "EVENT";
    }
    return "ERROR";
}

std::span<const ErrorInfo> errorTable() {
    return kTable;
}

}  // namespace vxs
