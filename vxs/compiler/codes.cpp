// Tables generated from the code contract (see codes.h).
#include "vxs/compiler/codes.h"

#include <array>

namespace vxs {

namespace {
struct OperatorInfo {
    const char* name = nullptr;
    int8_t precedence = 0;
};
struct StatementInfo {
    const char* name = nullptr;
    int8_t direct = -1;
};

constexpr std::array<OperatorInfo, 64> makeOperators() {
    std::array<OperatorInfo, 64> t{};
#define VX_OP_ROW(kind, nm, prec, prm, meaning) t[kind] = {#nm, prec};
    VX_OPERATORS(VX_OP_ROW)
#undef VX_OP_ROW
    return t;
}
constexpr std::array<StatementInfo, 64> makeStatements() {
    std::array<StatementInfo, 64> t{};
#define VX_ST_ROW(code, nm, dir, words, meaning) t[code] = {#nm, dir};
    VX_STATEMENTS(VX_ST_ROW)
#undef VX_ST_ROW
    return t;
}
constexpr auto kOperators = makeOperators();
constexpr auto kStatements = makeStatements();

// The precedences the compiler's operator stack relies on.
static_assert(kOperators[OpPower].precedence == 9 && kOperators[OpMul].precedence == 8);
static_assert(kOperators[OpAdd].precedence == 7 && kOperators[OpEq].precedence == 6);
static_assert(kOperators[OpNot].precedence == 5 && kOperators[OpNeg].precedence == 13);
static_assert(kOperators[OpAbs].precedence == 14 && kOperators[OpParen].precedence == 1);
static_assert(kOperators[OpAndTest].precedence == 4 && kOperators[OpChainEnd].precedence == 2);
// Direct-form bytes must never be the line end.
static_assert(kStatements[StBreak].direct == -1, "0x40|63 is the line end byte");
}  // namespace

int operatorPrecedence(int kind) {
    if (kind == OpAnd || kind == OpOr || kind == 5) return 11;  // plain logic kinds 3, 4, 5
    return kind >= 0 && kind < 64 ? kOperators[static_cast<size_t>(kind)].precedence : 0;
}

const char* operatorName(int kind) {
    const char* n = kind >= 0 && kind < 64 ? kOperators[static_cast<size_t>(kind)].name : nullptr;
    return n ? n : "?";
}

int directWords(int code) {
    return code >= 0 && code < 64 ? kStatements[static_cast<size_t>(code)].direct : -1;
}

const char* statementName(int code) {
    const char* n = code >= 0 && code < 64 ? kStatements[static_cast<size_t>(code)].name : nullptr;
    return n ? n : "?";
}

LineRef readLineRef(const uint8_t* p) {
    LineRef r;
    r.index = static_cast<int16_t>(readWord(p));
    const uint16_t low = readWord(p + 2);
    const uint16_t high = readWord(p + 4);
    if (high & kLrefLabel)
        r.label = low;
    else
        r.number = low | static_cast<uint32_t>(high & 0xFF) << 16;
    return r;
}

void writeLineRef(uint8_t* p, const LineRef& ref) {
    writeWord(p, static_cast<uint16_t>(ref.index));
    if (ref.label) {
        writeWord(p + 2, static_cast<uint16_t>(ref.label));
        writeWord(p + 4, kLrefLabel);
    } else {
        writeWord(p + 2, static_cast<uint16_t>(ref.number));
        writeWord(p + 4, static_cast<uint16_t>(ref.number >> 16 & 0xFF));
    }
}

}  // namespace vxs
