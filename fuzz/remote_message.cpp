// Fuzz target: remote operation messages from outside the process.  The decoder must reject
// every malformed block without reading beyond it, and every block it accepts must rebuild to
// the very same bytes.  A data parameter that holds a list of texts (the controls' form) must
// rebuild the same way, and the texts as a control's output and read, and as a menu (DISPLAY
// MENU's lists), must keep the models whole; a data parameter read as a window's look keeps its
// sizes in range.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "vxs/clientserver/serialize.h"
#include "vxs/screen/controls.h"
#include "vxs/screen/menu.h"
#include "vxs/screen/windowlook.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Copy into an exactly sized block so that a read past its end is caught.
    std::vector<uint8_t> block(data, data + size);
    static vxs::DecodedMessage msg;
    if (vxs::decodeRemoteMessage(block, msg) != vxs::kDecodeOk) return 0;

    std::vector<vxs::RemoteParam> params;
    for (int i = 0; i < msg.count; ++i) {
        const vxs::DecodedParam& p = msg.params[i];
        std::vector<std::string> texts;
        if (p.isData() && vxs::decodeTexts(vxs::paramBytes(p), texts)) {
            const std::string again = vxs::encodeTexts(texts);
            if (again.size() != p.length || memcmp(again.data(), p.data, p.length) != 0) abort();
            // The texts as every operation of every kind of control, then every read.
            vxs::ControlTable table;
            for (int kind = 0; kind <= 4; ++kind)
                for (int op = 0; op <= 12; ++op) {
                    vxs::ControlOutput out;
                    out.kind = static_cast<vxs::ControlKind>(kind);
                    out.height = 1 + msg.op % 5;
                    out.width = 1 + msg.count;
                    out.op = op;
                    out.perRow = static_cast<int>(texts.size() % 4);
                    out.values = texts;
                    (void)table.output(out);
                    for (int sel = 0; sel <= 7; ++sel) (void)table.read(out.place, {op, sel});
                    if (const vxs::Control* c = table.find(out.place))
                        (void)vxs::controlLines(*c, true);
                }
            // The texts as a menu: its bar, lists and letters, and what INPUT MENU reads back.
            vxs::MenuModel menu;
            menu.set(vxs::MenuPart::All, {texts, texts, texts});
            menu.set(vxs::MenuPart::Status, {texts});
            for (const int entry : menu.barItems())
                for (const int n : menu.listOf(entry)) (void)menu.choosable(n);
            for (const std::string& t : texts) {
                if (!t.empty()) (void)menu.barItemOfLetter(t[0]);
                (void)vxs::MenuModel::shownText(t);
            }
            if (menu.part(vxs::MenuPart::Text).size() != texts.size()) abort();
        }
        if (p.isData()) {
            // A data parameter as a window's look (screen action 3584): what reads stays in
            // the ranges the front end relies on.
            vxs::WindowLook look;
            const std::string_view text(reinterpret_cast<const char*>(p.data), p.length);
            if (vxs::parseWindowLook(text, look) == 0) {
                for (const vxs::LookFont* f : {&look.text, &look.labels, &look.buttons})
                    if (f->points != 0 &&
                        (f->points < vxs::kLookFewestPoints || f->points > vxs::kLookMostPoints))
                        abort();
                if (look.buttonRows < 0 || look.buttonRows > vxs::kLookMostButtonRows ||
                    look.cellWidth < 0 || look.cellWidth > 64 || look.cellHeight < 0 ||
                    look.cellHeight > 128 || (look.maximize && look.restore))
                    abort();
            }
        }
        params.push_back(p.isData() ? vxs::rpData(p.data, p.length) : vxs::rpInt(p.value));
    }
    int error = 0;
    vxs::RemoteMessage rebuilt = vxs::buildRemoteMessage(msg.op, msg.direction, params, error);
    if (!rebuilt || rebuilt.size != size || memcmp(rebuilt.bytes.get(), block.data(), size) != 0)
        abort();
    return 0;
}
