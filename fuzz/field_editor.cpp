// Fuzz target: key sequences fed to the field editor over random fields.  The first bytes
// choose the field (length, mask kind and mask, flags, cursor, marked range, help) and the
// settings; the rest are 16-bit key codes, read in turn, and a time-out when they run out.
// Checked: the field keeps its length, the cursor stays within it, the editor always ends.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "vxs/screen/fieldedit.h"

namespace {

class Reader {
  public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    bool more() const { return at_ + 1 < size_; }
    int32_t key() {
        const int32_t k = byte();
        return k << 8 | byte();
    }

  private:
    const uint8_t* data_;
    size_t size_, at_ = 0;
};

class FuzzHost : public vxs::FieldEditorHost {
  public:
    explicit FuzzHost(Reader& r) : r_(r) {}
    int32_t readKey() override {
        if (!r_.more() || ++reads_ > 4000) return -1;
        int32_t k = r_.key();
        // Mostly characters and the editor's own keys, sometimes a key with a number.
        if ((k >> 8) < 0x80) k &= 0xFF;
        return k;
    }
    void beep() override {}
    void showMode(std::string_view) override {}
    void showRowColumn(std::string_view) override {}
    bool showHelp(std::string_view) override { return false; }
    void showField(const vxs::EditField& f) override { check(f); }
    std::string& clipboard() override { return clip_; }
    int mousePosition(const vxs::EditField& f) override {
        return static_cast<int>(r_.byte()) % (static_cast<int>(f.text.size()) + 2) - 1;
    }
    size_t length = 0;
    void check(const vxs::EditField& f) const {
        if (f.text.size() != length) abort();
        if (f.cursor < 0 || f.cursor > static_cast<int>(f.text.size())) abort();
    }

  private:
    Reader& r_;
    std::string clip_ = "a\r\nb";
    int reads_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader r(data, size);
    vxs::EditField f;
    const size_t length = r.byte() % 40;
    f.text.assign(length, ' ');
    const uint8_t kind = r.byte() % 3;
    f.maskKind = static_cast<vxs::EditField::Mask>(kind);
    static constexpr std::string_view kMaskChars = "9AaGgXxYyRP#p/-.D ";
    for (size_t i = 0; i < length && kind != 0; ++i)
        f.mask += kMaskChars[r.byte() % kMaskChars.size()];
    const uint8_t flags = r.byte();
    f.wrap = flags & 1;
    f.advance = flags & 2;
    f.chgexit = flags & 4;
    f.exitFlag = flags & 8;
    f.braceExits = flags & 16;
    f.helpSuppressed = flags & 32;
    f.caseModifier = flags & 64 ? 'U' : (flags & 128 ? 'L' : 0);
    f.windowWidth = 1 + r.byte() % 80;
    f.cursor = static_cast<int>(r.byte()) - 100;
    f.markStart = static_cast<int>(r.byte() % 50) - 5;
    f.markEnd = static_cast<int>(r.byte() % 50) - 5;
    if (r.byte() & 1) f.help = "1help";
    vxs::FieldEditSettings s;
    const uint8_t set = r.byte();
    s.insertSetting = set % 4;
    s.insertMinLength = r.byte() % 20;
    s.dataHiliteOff = set & 4;
    s.controlCharacters = set & 8;
    s.rightArrowDown = set & 16;
    s.numpadSigns = set & 32;
    const bool select = set & 64;
    FuzzHost host(r);
    host.length = length;
    (void)vxs::editField(f, select, host, s);
    host.check(f);
    return 0;
}
