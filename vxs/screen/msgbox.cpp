// MSGBOX's button sets and icons (see msgbox.h).
#include "vxs/screen/msgbox.h"

#include <cctype>

namespace vxs {

namespace {
std::string normalized(std::string_view text) {
    std::string out;
    for (const char c : text)
        if (c != ' ') out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}
}  // namespace

bool boxButtonsOf(std::string_view text, BoxButtons& kind) {
    static const struct {
        const char* name;
        BoxButtons set;
    } kSets[] = {{"", BoxButtons::Ok},
                 {"OK", BoxButtons::Ok},
                 {"OKC", BoxButtons::OkCancel},
                 {"YN", BoxButtons::YesNo},
                 {"YNC", BoxButtons::YesNoCancel},
                 {"RC", BoxButtons::RetryCancel},
                 {"ARI", BoxButtons::AbortRetryIgnore}};
    const std::string name = normalized(text);
    for (const auto& s : kSets)
        if (name == s.name) {
            kind = s.set;
            return true;
        }
    return false;
}

bool boxIconOf(std::string_view text, BoxIcon& icon) {
    const std::string name = normalized(text);
    if (name.empty())
        icon = BoxIcon::None;
    else if (name == "I")
        icon = BoxIcon::Information;
    else if (name == "!")
        icon = BoxIcon::Warning;
    else if (name == "?")
        icon = BoxIcon::Question;
    else if (name == "X")
        icon = BoxIcon::Error;
    else
        return false;
    return true;
}

std::vector<BoxButton> boxButtons(BoxButtons kind) {
    switch (kind) {
        case BoxButtons::Ok: return {{kBoxOk, "OK"}};
        case BoxButtons::OkCancel: return {{kBoxOk, "OK"}, {kBoxCancel, "Cancel"}};
        case BoxButtons::YesNo: return {{kBoxYes, "Yes"}, {kBoxNo, "No"}};
        case BoxButtons::YesNoCancel:
            return {{kBoxYes, "Yes"}, {kBoxNo, "No"}, {kBoxCancel, "Cancel"}};
        case BoxButtons::RetryCancel: return {{kBoxRetry, "Retry"}, {kBoxCancel, "Cancel"}};
        case BoxButtons::AbortRetryIgnore:
            return {{kBoxAbort, "Abort"}, {kBoxRetry, "Retry"}, {kBoxIgnore, "Ignore"}};
    }
    return {{kBoxOk, "OK"}};
}

int32_t boxEscape(BoxButtons kind) {
    for (const BoxButton& b : boxButtons(kind))
        if (b.result == kBoxCancel) return kBoxCancel;
    return kind == BoxButtons::Ok ? kBoxOk : 0;
}

int32_t boxAnswer(BoxButtons kind, std::string_view answer) {
    const std::vector<BoxButton> set = boxButtons(kind);
    size_t i = 0;
    while (i < answer.size() && answer[i] == ' ') ++i;
    if (i == answer.size()) return set.front().result;
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(answer[i])));
    for (const BoxButton& b : set)
        if (b.label[0] == letter) return b.result;
    return 0;
}

std::string boxChoices(BoxButtons kind) {
    std::string out;
    for (const BoxButton& b : boxButtons(kind)) {
        if (!out.empty()) out += "  ";
        out += '[';
        out += b.label[0];
        out += ']';
        out += b.label + 1;
    }
    return out;
}

const char* boxIconWord(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Information: return "Note: ";
        case BoxIcon::Warning: return "Warning: ";
        case BoxIcon::Question: return "Question: ";
        case BoxIcon::Error: return "Error: ";
        case BoxIcon::None: break;
    }
    return "";
}

}  // namespace vxs
