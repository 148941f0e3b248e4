// The lookups of the error table (errors.h): the condition that traps an error, and its text.
#include "vxs/control/errors.h"

namespace vxs {

ErrorCondition errorCondition(int err) {
    switch (err) {
#define VX_ERROR_CONDITION(number, name, condition, text) \
    case number: return ErrorCondition::condition;
        VX_ERRORS(VX_ERROR_CONDITION)
#undef VX_ERROR_CONDITION
        default: return ErrorCondition::ERROR;
    }
}

const char* errorText(int err) {
    switch (err) {
#define VX_ERROR_TEXT(number, name, condition, text) \
    case number: return text;
        VX_ERRORS(VX_ERROR_TEXT)
#undef VX_ERROR_TEXT
        default: return "";
    }
}

}  // namespace vxs
