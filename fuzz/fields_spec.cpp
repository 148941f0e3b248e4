// Fuzz target: FIELDS specifications and attribute texts.  Any bytes parse to field records or to
// one of the grammar's error numbers; a list that parses parses again to the same records, and an
// attribute value written back as text parses to the same display bits.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "vxs/errors/errors.h"
#include "vxs/screen/fields.h"

namespace {

bool grammarError(int err) {
    switch (err) {
    case 0: case vxs::kErrBadPic: case vxs::kErrBadFmt: case vxs::kErrBadRgb:
    case vxs::kErrBadFkey: case vxs::kErrFieldRow: case vxs::kErrFieldColumn:
    case vxs::kErrFieldSeparator: case vxs::kErrFieldKind: case vxs::kErrFieldLength:
    case vxs::kErrCursorStart: case vxs::kErrFieldText: case vxs::kErrUnknownAttribute:
        return true;
    default:
        return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the options and the display mode; the rest is the text.
    const uint8_t sel = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    vxs::FieldOptions opt;
    opt.skipUnparsed = sel & 1;
    opt.buttonDefault = sel & 2;
    opt.widthSlashLength = sel & 4;
    vxs::AttributeContext ctx;
    ctx.monochrome = sel & 8;
    vxs::FieldWindow win;
    if (sel & 16) win.rows = 5, win.columns = 20;

    std::vector<vxs::FieldSpec> a, b;
    const int err = vxs::parseFieldSpecs({text}, win, opt, ctx, a);
    if (!grammarError(err)) __builtin_trap();
    if (err == 0) {
        if (vxs::parseFieldSpecs({text}, win, opt, ctx, b) != 0 || a.size() != b.size())
            __builtin_trap();
        for (size_t i = 0; i < a.size(); ++i) {
            const vxs::FieldSpec& f = a[i];
            if (f.row != b[i].row || f.length != b[i].length || f.attribute != b[i].attribute ||
                f.fkey != b[i].fkey || f.mask != b[i].mask)
                __builtin_trap();
            if (f.row < 0 || f.row >= win.rows || f.column < 0 || f.column >= win.columns)
                __builtin_trap();
            if (f.cursorStart >= 0 && f.cursorStart >= f.length) __builtin_trap();
        }
    } else if (!a.empty()) {
        __builtin_trap();
    }

    vxs::AttributeResult r;
    size_t used = 0;
    const int aerr = vxs::parseAttributes(text, ctx, r, &used);
    if (!grammarError(aerr) || used > text.size()) __builtin_trap();
    if (aerr == 0 && !ctx.monochrome) {
        // The colours and looks written back read back the same.
        const std::string back = vxs::formatAttributeText(r.attr);
        vxs::AttributeResult again;
        vxs::AttributeContext plain;
        vxs::ScreenTable none;
        plain.screen = &none;
        if (vxs::parseAttributes(back, plain, again) != 0) __builtin_trap();
        const uint32_t keep = vxs::kFontColorBits | vxs::kFontIntensityBits | vxs::kFontSunken |
                              vxs::kFontInvisible | vxs::kFontProtected | vxs::kFontNoTheme;
        if ((again.attr.flags & keep) != (r.attr.flags & keep)) __builtin_trap();
        if ((r.attr.flags & vxs::kFontFgRgb) && again.attr.foreground != r.attr.foreground)
            __builtin_trap();
        if ((r.attr.flags & vxs::kFontBgRgb) && again.attr.background != r.attr.background)
            __builtin_trap();
    }
    return 0;
}
