// The message framing of the language server: each message is a header block ("Name: value"
// lines ended by CR LF, then an empty line) whose Content-Length gives the size of the body that
// follows.  The reader takes bytes in pieces of any size and hands out whole bodies; a damaged
// header block is reported once and passed over, never waited on for ever.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vxs::lsp {

// A body larger than this is passed over unread (a client never sends one).
inline constexpr size_t kMaxBody = 64u << 20;
// A header block longer than this without its empty line is damaged.
inline constexpr size_t kMaxHeader = 8192;

class FrameReader {
  public:
    enum class Event {
        kBody,       // a whole message body
        kBadHeader,  // a header block without a usable Content-Length, or bytes that are none
        kTooLarge,   // a body over kMaxBody: its bytes are skipped as they come
    };

    // Appends bytes read from the client.
    void feed(std::string_view bytes);
    // The next event, if the bytes fed so far hold one; `body` receives the body of kBody.
    // Returns false when more bytes are needed.
    bool next(Event& event, std::string& body);
    // Bytes held that belong to no event yet.
    size_t pending() const { return buf_.size() - pos_; }

  private:
    // Parses the header block at pos_, ending at `end` (the position of its empty line's end).
    // Returns the body length, or -1 when the block has no valid Content-Length.
    long long headerLength(size_t end) const;
    // Moves pos_ to the next place that may begin a header block (after damaged bytes).
    void resynchronise();
    void compact();

    std::string buf_;
    size_t pos_ = 0;
    size_t skip_ = 0;  // bytes of an over-long body still to pass over
};

// One framed message: the header block and the body.
std::string frameMessage(std::string_view body);

}  // namespace vxs::lsp
