// The stream front end (see streamterm.h): the FrontEnd whose console is a pair of byte streams,
// whose attention key is made from the interrupt signal on a terminal, and whose other keys are
// the characters of the input line that a key wait without a time limit takes.
#include "vxs/screen/streamterm.h"

#include <cctype>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

#include "vxs/clientserver/common.h"
#include "vxs/base/process.h"
#include "vxs/base/version.h"
#include "vxs/platform/os.h"
#include "vxs/platform/signals.h"
#include "vxs/screen/fields.h"
#include "vxs/screen/frontend.h"
#include "vxs/screen/keyboard.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {

constexpr int32_t kKeyEnter = 13;
constexpr size_t kMaxKeyLine = 800;  // what a command line may hold

// Whether two texts are equal without regard to the case of letters.
bool sameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

class StreamFrontEnd final : public FrontEnd {
  public:
    void open(int in, int out, int err) {
        in_ = in;
        out_ = out;
        err_ = err;
        reader_ = std::make_unique<platform::LineReader>(in);
        canClose_ = true;
        attention_ = false;
        keys_.clear();
        interactive_ = platform::isTerminal(in);
        if (interactive_) platform::catchInterrupts();
    }
    void close() {
        if (interactive_) platform::releaseInterrupts();
        interactive_ = false;
        reader_.reset();
        keys_.clear();
    }
    bool canClose() const { return canClose_; }

    void dispatchPending() override {
        noteInterrupt();
        FrontEnd::dispatchPending();
    }
    void pollEvents() override { noteInterrupt(); }

    // The attention key goes first; then the keys left from the line a key wait took.
    int32_t pollKey() override {
        if (attention()) return kKeyAttention;
        if (keys_.empty()) return -1;
        const int32_t key = keys_.front();
        keys_.pop_front();
        return key;
    }
    // A wait without a time limit takes the next input line as keys; a timed wait answers at once.
    int32_t readKey(int32_t seconds) override;
    bool attention() override {
        noteInterrupt();
        const bool pressed = attention_;
        attention_ = false;
        return pressed;
    }

    int32_t readLine(std::string& line, size_t max, int32_t purpose, std::string_view preset,
                     bool selected) override;
    void writeLine(std::string_view text) override {
        while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
        write(out_, text);
    }

    void statusText(int32_t, std::string_view) override {}
    void statusError(int32_t error, int32_t lineNumber, int32_t clause) override {
        if (error == 0) return;  // an error taken away: a line written stays written
        write(err_, errorWithPosition(error, lineNumber, clause));
    }

    int32_t screenAction(const ScreenRequest& request) override;
    int32_t fatalMessage(std::string_view text) override {
        write(err_, text);
        return 0;
    }
    // A help topic is read, not browsed: its title and then its lines, as console lines are.
    std::string showHelp(std::string_view title, std::string_view text) override {
        writeLine(title);
        while (!text.empty()) {
            const size_t end = text.find('\n');
            writeLine(text.substr(0, end));
            text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        }
        return {};
    }
    // One stream serves one session: identifier 1 is always free.
    int32_t unusedId(int32_t) override { return 1; }
    void setCanClose(bool canClose) override { canClose_ = canClose; }

  private:
    // An interrupt signal caught since the last look becomes the attention key.
    void noteInterrupt() {
        if (interactive_ && platform::takeInterrupt()) {
            attention_ = true;
            keysQueued();
        }
    }
    // Waits for a typed line on the terminal.  False when the attention key ends an input
    // statement's wait; at the command prompt it only drops what was typed (the terminal
    // discards the partial line), and the wait goes on.
    bool waitForLine(int32_t purpose);
    static void write(int fd, std::string_view text) {
        std::string line(text);
        line += '\n';
        // Output that cannot be written (a closed pipe) has nowhere else to go.
        (void)platform::writeAll(fd, line.data(), line.size());
    }

    int in_ = 0, out_ = 1, err_ = 2;
    std::unique_ptr<platform::LineReader> reader_;
    bool canClose_ = true;
    bool interactive_ = false;
    bool attention_ = false;
    std::deque<int32_t> keys_;  // characters of a line taken as keys, not yet read
};

int32_t StreamFrontEnd::readKey(int32_t seconds) {
    int32_t key = pollKey();
    if (key >= 0 || seconds != 0 || !reader_) return key;
    if (interactive_ && !waitForLine(kInputStatement)) return kKeyAttention;
    std::string line;
    bool truncated = false;
    if (reader_->readLine(line, kMaxKeyLine, truncated) != 0) return -1;  // no more input
    if (line.empty()) return kKeyEnter;
    for (int32_t k : keysOfText(line)) keys_.push_back(k);
    if (keys_.empty()) return kKeyEnter;
    key = keys_.front();
    keys_.pop_front();
    if (!keys_.empty()) keysQueued();
    return key;
}

bool StreamFrontEnd::waitForLine(int32_t purpose) {
    if (purpose != kInputStatement) {
        // An attention key left over from a command or a finished run must not stop the next.
        attention_ = false;
        (void)platform::takeInterrupt();
    } else if (attention()) {
        return false;
    }
    for (;;) {
        // On a terminal each read returns at most one line, so nothing is left buffered in the
        // reader when the next wait begins.  An error is left for the read to report.
        if (platform::waitForInput(in_) != 1) return true;
        (void)platform::takeInterrupt();
        if (purpose == kInputStatement) return false;
    }
}

int32_t StreamFrontEnd::readLine(std::string& line, size_t max, int32_t purpose,
                                 std::string_view preset, bool selected) {
    line.clear();
    // Keys typed ahead for a key wait that did not take them all belong to that wait.
    keys_.clear();
    if (!reader_) return kInputEnded;
    // With a debugger linked the wait serves the link, and a key it injects ends the wait: Enter
    // as an empty line (its command then takes the line's place), the attention key as itself.
    if (linkOpen() && !reader_->buffered()) {
        for (;;) {
            const int32_t injected = takeInjectedKey();
            if (injected == kKeyEnter) return kInputLine;
            if (injected == kKeyAttention && purpose == kInputStatement) return kInputInterrupted;
            const int w = platform::waitForInputFor(in_, 0);
            if (w == 0 || w < 0 || !linkOpen()) break;
            if (w == 1 && interactive_) {
                (void)platform::takeInterrupt();
                if (purpose == kInputStatement) return kInputInterrupted;
            }
            yieldControl();
        }
    }
    if (interactive_ && !waitForLine(purpose)) return kInputInterrupted;
    // An offered text: the typed line goes after it, or replaces it when it is selected.
    if (selected) preset = {};
    const size_t room = preset.size() < max ? max - preset.size() : 0;
    bool truncated = false;
    if (reader_->readLine(line, room, truncated) != 0) {
        line.clear();
        return kInputEnded;
    }
    line.insert(0, preset);
    // At the command prompt a line that ends in the help key ({F1}) is the help key pressed
    // while the text before it was typed.
    constexpr std::string_view kHelpKey = "{F1}";
    if (purpose == kInputCommand && !truncated && line.size() >= kHelpKey.size() &&
        sameText(std::string_view(line).substr(line.size() - kHelpKey.size()), kHelpKey)) {
        line.resize(line.size() - kHelpKey.size());
        return kInputHelp;
    }
    return truncated ? kInputTooLong : kInputLine;
}

// Positioned text becomes a line naming its window and 1-based place; a window's PRINT line is
// an ordinary output line.  Nothing else on a screen has a place in a stream.
int32_t StreamFrontEnd::screenAction(const ScreenRequest& r) {
    if (r.action == kScreenMousePlace) return -1;  // no mouse here
    if (r.action == kScreenWindowLine) {
        writeLine(r.text);
    } else if (r.action == kScreenWriteText) {
        char head[48];
        snprintf(head, sizeof head, "#%ld %d,%d:", static_cast<long>(r.window),
                 (r.position >> 8) + 1, (r.position & 0xFF) + 1);
        std::string line(head);
        const bool hidden = (r.attr & kFontInvisible) != 0 || (r.c & kLookI) != 0;
        if (!hidden) {
            // Control bytes show as blanks on a screen; here they must not break the line.
            std::string text(r.text);
            for (char& ch : text)
                if (static_cast<unsigned char>(ch) < 32) ch = ' ';
            while (!text.empty() && text.back() == ' ') text.pop_back();
            if (!text.empty()) line += ' ' + text;
        }
        write(out_, line);
    }
    return 0;
}

StreamFrontEnd g_stream;

}  // namespace

void attachStreamTerminal(int in, int out, int err) {
    g_stream.open(in, out, err);
    attachFrontEnd(g_stream);
    // The terminal side introduces itself; the interpreter side stops on a mismatch.
    (void)CallFunctionRemote(VERSIONCHECK, ORIGIN, {rpText(kVersionText)});
}

void detachStreamTerminal() {
    if (attachedFrontEnd() == &g_stream) detachFrontEnd();
    g_stream.close();
}

bool streamCanClose() {
    return g_stream.canClose();
}

}  // namespace vxs
