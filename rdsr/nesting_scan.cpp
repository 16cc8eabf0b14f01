#include "rdsr/nesting_scan.h"

#include <dcmtk/config/osconfig.h>  // must come first of DCMTK's headers
#include <dcmtk/dcmdata/dctag.h>
#include <dcmtk/dcmdata/dcvr.h>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <deque>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mirelo::rdsr {
namespace {

constexpr std::uint32_t kUndefined = 0xFFFFFFFFu;
constexpr std::uint64_t kOpen = UINT64_MAX;  // a frame without a length ends at its delimiter

// The bytes of the file, forward only; a deflated data set is inflated on the way. Bytes looked
// at and given back come first.
class Source {
public:
    explicit Source(const std::filesystem::path& path) : in_(path, std::ios::binary) {
        in_.seekg(0, std::ios::end);
        size_ = in_.tellg();
        in_.seekg(0);
    }
    // The bytes already in memory: the buffer is the whole file.
    explicit Source(std::string_view bytes)
        : view_(reinterpret_cast<const unsigned char*>(bytes.data())), inMemory_(true) {
        length_ = bytes.size();
        size_ = static_cast<std::streamoff>(bytes.size());
    }
    ~Source() {
        if (inflating_) inflateEnd(&zs_);
    }
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    bool Opened() const { return (inMemory_ || in_.is_open()) && size_ >= 0; }
    std::uint64_t Pos() const { return pos_; }
    bool Inflating() const { return inflating_; }
    // Bytes of the file after the current position (before inflating, positions are file offsets).
    std::uint64_t Left() const { return pos_ < static_cast<std::uint64_t>(size_) ? static_cast<std::uint64_t>(size_) - pos_ : 0; }

    bool Read(unsigned char* out, std::size_t n) {
        if (back_.empty() && !inflating_ && length_ - next_ >= n) {  // the common case: straight from the buffer
            std::memcpy(out, (inMemory_ ? view_ : file_.data()) + next_, n);
            next_ += n;
            pos_ += n;
            return true;
        }
        std::size_t got = 0;
        while (got < n && !back_.empty()) {
            out[got++] = back_.front();
            back_.pop_front();
        }
        got += inflating_ ? Inflate(out + got, n - got) : Plain(out + got, n - got);
        pos_ += got;
        return got == n;
    }

    void GiveBack(const unsigned char* bytes, std::size_t n) {
        back_.insert(back_.begin(), bytes, bytes + n);
        pos_ -= n;
    }

    bool AtEnd() {
        if (back_.empty() && !inflating_ && next_ < length_) return false;
        unsigned char c = 0;
        if (!Read(&c, 1)) return true;
        GiveBack(&c, 1);
        return false;
    }

    bool Skip(std::uint64_t n) {
        if (!inflating_ && back_.empty()) {
            // Within the buffer, or one seek past it: values are skipped, not read.
            const std::size_t buffered = length_ - next_;
            if (n <= buffered) {
                next_ += static_cast<std::size_t>(n);
            } else {
                const std::streamoff target = bufferStart_ + static_cast<std::streamoff>(length_) +
                                              static_cast<std::streamoff>(n - buffered);
                if (target > size_ || inMemory_) return false;  // beyond the end of the file
                in_.clear();
                in_.seekg(target);
                bufferStart_ = target;
                next_ = length_ = 0;
            }
            pos_ += n;
            return true;
        }
        std::array<unsigned char, 4096> sink{};
        while (n > 0) {
            const std::size_t chunk = n < sink.size() ? static_cast<std::size_t>(n) : sink.size();
            if (!Read(sink.data(), chunk)) return false;
            n -= chunk;
        }
        return true;
    }

    // Bytes already looked at (the first tag after the meta group) are the stream's first.
    bool StartInflating() {
        zs_ = {};
        if (inflateInit2(&zs_, -MAX_WBITS) != Z_OK) return false;
        prefix_.assign(back_.begin(), back_.end());
        back_.clear();
        pos_ = 0;  // positions count inflated bytes from here
        inflating_ = true;
        return true;
    }

private:
    // The file's bytes through a buffer of its own (a stream's seek would drop its buffer each time).
    std::size_t Plain(unsigned char* out, std::size_t n) {
        std::size_t got = 0;
        while (got < n) {
            if (next_ == length_) {
                if (inMemory_) break;
                if (file_.empty()) file_.resize(65536);
                bufferStart_ += static_cast<std::streamoff>(length_);
                in_.read(reinterpret_cast<char*>(file_.data()), static_cast<std::streamsize>(file_.size()));
                length_ = static_cast<std::size_t>(in_.gcount());
                next_ = 0;
                if (length_ == 0) break;
            }
            const std::size_t take = std::min(n - got, length_ - next_);
            std::memcpy(out + got, (inMemory_ ? view_ : file_.data()) + next_, take);
            next_ += take;
            got += take;
        }
        return got;
    }
    std::size_t Inflate(unsigned char* out, std::size_t n) {
        zs_.next_out = out;
        zs_.avail_out = static_cast<uInt>(n);
        while (zs_.avail_out > 0 && !ended_) {
            if (zs_.avail_in == 0) {
                std::size_t got = 0;
                while (got < input_.size() && !prefix_.empty()) {
                    input_[got++] = prefix_.front();
                    prefix_.pop_front();
                }
                got += Plain(input_.data() + got, input_.size() - got);
                zs_.avail_in = static_cast<uInt>(got);
                zs_.next_in = input_.data();
            }
            // Without new input inflate may still hold output (a long match): only no progress ends it.
            if (inflate(&zs_, Z_NO_FLUSH) != Z_OK) ended_ = true;  // the end of the stream, damage, or no progress
        }
        return n - zs_.avail_out;
    }
    std::ifstream in_;
    std::streamoff size_ = -1;
    std::uint64_t pos_ = 0;
    std::deque<unsigned char> back_;
    std::deque<unsigned char> prefix_;  // deflated bytes read before inflating began
    bool inflating_ = false, ended_ = false;
    z_stream zs_{};
    std::array<unsigned char, 16384> input_{};
    std::vector<unsigned char> file_;
    const unsigned char* view_ = nullptr;  // the bytes, when they are in memory
    std::streamoff bufferStart_ = 0;  // file offset of file_[0]
    std::size_t next_ = 0, length_ = 0;
    bool inMemory_ = false;
};

struct Encoding {
    bool implicitVr = false;
    bool littleEndian = true;
};

std::uint16_t U16(const unsigned char* b, bool le) {
    return le ? static_cast<std::uint16_t>(b[0] | (b[1] << 8)) : static_cast<std::uint16_t>((b[0] << 8) | b[1]);
}
std::uint32_t U32(const unsigned char* b, bool le) {
    return le ? (std::uint32_t(b[0]) | (std::uint32_t(b[1]) << 8) | (std::uint32_t(b[2]) << 16) | (std::uint32_t(b[3]) << 24))
              : ((std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) | std::uint32_t(b[3]));
}

bool IsUpper(unsigned char c) { return c >= 'A' && c <= 'Z'; }

// VRs with two reserved bytes and a 4-byte length in explicit VR encodings.
bool LongLength(const unsigned char* vr) {
    switch (vr[0]) {
        case 'O': return vr[1] == 'B' || vr[1] == 'D' || vr[1] == 'F' || vr[1] == 'L' || vr[1] == 'V' || vr[1] == 'W';
        case 'S': return vr[1] == 'Q' || vr[1] == 'V';
        case 'U': return vr[1] == 'C' || vr[1] == 'N' || vr[1] == 'R' || vr[1] == 'T' || vr[1] == 'V';
        default: return false;
    }
}

// Whether DCMTK reads this explicit VR as a standard one with the same length field as the scan:
// only then do both see the same lengths.
bool DcmtkReadsAlike(const unsigned char* vr) {
    static const std::array<bool, 26 * 26> table = [] {
        std::array<bool, 26 * 26> t{};
        for (int a = 0; a < 26; ++a) {
            for (int b = 0; b < 26; ++b) {
                const unsigned char name[3] = {static_cast<unsigned char>('A' + a), static_cast<unsigned char>('A' + b), 0};
                const DcmVR known(reinterpret_cast<const char*>(name));
                t[static_cast<std::size_t>(a * 26 + b)] =
                    known.isStandard() && !known.isForInternalUseOnly() && known.usesExtendedLengthEncoding() == LongLength(name);
            }
        }
        return t;
    }();
    return IsUpper(vr[0]) && IsUpper(vr[1]) && table[static_cast<std::size_t>((vr[0] - 'A') * 26 + (vr[1] - 'A'))];
}

// Whether a defined length is longer than what is left of the file after its header.
bool Overlong(const Source& src, std::uint32_t length) {
    return length != kUndefined && !src.Inflating() && length > src.Left();
}

// A value whose declared length is longer than the rest of the file: noted in `scan`.
bool OverlongValue(const Source& src, std::uint16_t group, std::uint16_t element, std::uint32_t length, NestingScan& scan) {
    if (!Overlong(src, length)) return false;
    scan.overlong = true;
    scan.overlongGroup = group;
    scan.overlongElement = element;
    scan.declaredLength = length;
    scan.bytesLeft = src.Left();
    return true;
}

struct Frame {
    bool sequence;  // else an item
    bool pixel;     // encapsulated pixel fragments: the items hold bytes, not elements
    std::uint64_t end;
    Encoding encoding;
    bool content = false;  // the data set's Content Sequence, or one of its items
};

struct Header {
    std::uint16_t group = 0, element = 0;
    unsigned char vr[2] = {0, 0};
    std::uint32_t length = 0;
};

// One element header in `enc`; false at the end or on bytes that are no header.
bool ReadHeader(Source& src, const Encoding& enc, Header& h) {
    unsigned char b[8];
    if (!src.Read(b, 4)) return false;
    h.group = U16(b, enc.littleEndian);
    h.element = U16(b + 2, enc.littleEndian);
    h.vr[0] = h.vr[1] = 0;
    if (h.group == 0xFFFE || enc.implicitVr) {  // items and delimiters never have a VR
        if (!src.Read(b, 4)) return false;
        h.length = U32(b, enc.littleEndian);
        return true;
    }
    if (!src.Read(h.vr, 2) || !IsUpper(h.vr[0]) || !IsUpper(h.vr[1])) return false;
    if (LongLength(h.vr)) {
        if (!src.Read(b, 6)) return false;
        h.length = U32(b + 2, enc.littleEndian);
    } else {
        if (!src.Read(b, 2)) return false;
        h.length = U16(b, enc.littleEndian);
    }
    return true;
}

// Reads the file meta information (group 0002, explicit VR little endian) and gives the data set's
// encoding; the bytes of the first element after it are given back. `agrees`: no group length, or
// one that ends where the group's elements end (else DCMTK may split meta and data set elsewhere).
bool ReadMeta(Source& src, Encoding& dataset, bool& deflated, NestingScan& scan, bool& agrees) {
    std::string syntax;
    std::uint64_t metaEnd = 0;
    bool groupLength = false;
    while (true) {
        unsigned char tag[4];
        if (!src.Read(tag, 4)) return true;  // meta information only
        if (U16(tag, true) != 0x0002) {
            src.GiveBack(tag, 4);
            break;
        }
        src.GiveBack(tag, 4);
        Header h;
        if (!ReadHeader(src, Encoding{false, true}, h) || h.length == kUndefined) return false;
        if (OverlongValue(src, h.group, h.element, h.length, scan)) return false;
        if (h.element == 0x0000 && h.length == 4 && !groupLength) {
            unsigned char value[4];
            if (!src.Read(value, 4)) return false;
            groupLength = true;
            metaEnd = src.Pos() + U32(value, true);
        } else if (h.element == 0x0010 && h.length < 256) {
            std::string value(h.length, '\0');
            if (!src.Read(reinterpret_cast<unsigned char*>(value.data()), h.length)) return false;
            while (!value.empty() && (value.back() == '\0' || value.back() == ' ')) value.pop_back();
            syntax = value;
        } else if (!src.Skip(h.length)) {
            return false;
        }
    }
    agrees = !groupLength || src.Pos() == metaEnd;
    if (syntax == "1.2.840.10008.1.2") {
        dataset = {true, true};
    } else if (syntax == "1.2.840.10008.1.2.2") {
        dataset = {false, false};
    } else {
        dataset = {false, true};  // explicit VR little endian, and every compressed syntax
        deflated = syntax == "1.2.840.10008.1.2.1.99";
    }
    return true;
}

// Without meta information the encoding is guessed as DCMTK does: a VR after the first tag means
// explicit VR; a group number that only makes sense byte-swapped means big endian.
Encoding Guess(Source& src) {
    unsigned char b[6];
    Encoding enc{true, true};
    const std::uint64_t before = src.Pos();
    if (!src.Read(b, 6)) {
        src.GiveBack(b, static_cast<std::size_t>(src.Pos() - before));
        return enc;
    }
    enc.implicitVr = !(IsUpper(b[4]) && IsUpper(b[5]));
    enc.littleEndian = !(b[0] == 0 && b[1] != 0);
    src.GiveBack(b, 6);
    return enc;
}

}  // namespace

namespace {

NestingScan Scan(Source& src, std::size_t limit) {
    NestingScan scan;
    if (!src.Opened()) return scan;
    Encoding dataset;
    bool deflated = false;
    bool vouch = false;  // see NestingScan::vouched
    // Lengths are judged only in files whose meta information names their encoding: in others
    // (text, say) the "lengths" of a guessed encoding mean nothing, and DCMTK says what is wrong.
    bool judge = true;
    std::array<unsigned char, 132> head{};
    if (src.Read(head.data(), head.size()) && std::memcmp(head.data() + 128, "DICM", 4) == 0) {
        if (!ReadMeta(src, dataset, deflated, scan, vouch)) return scan;
        vouch = vouch && !dataset.implicitVr && !deflated;
    } else {
        src.GiveBack(head.data(), static_cast<std::size_t>(src.Pos()));
        unsigned char tag[2];
        bool agrees = false;
        if (src.Read(tag, 2) && U16(tag, true) == 0x0002) {
            src.GiveBack(tag, 2);
            if (!ReadMeta(src, dataset, deflated, scan, agrees)) return scan;
        } else {
            src.GiveBack(tag, static_cast<std::size_t>(src.Pos()));
            dataset = Guess(src);
            judge = false;
        }
    }
    if (deflated && !src.StartInflating()) return scan;

    std::vector<Frame> stack;
    std::size_t sequences = 0;
    const auto closeContent = [&](const Frame& frame) {
        if (!frame.content) return;
        if (frame.sequence) {
            scan.content.end = src.Pos();
        } else {
            scan.contentItems.back().end = src.Pos();
        }
    };
    while (true) {
        while (!stack.empty() && stack.back().end != kOpen && src.Pos() >= stack.back().end) {
            if (src.Pos() > stack.back().end) return scan;  // lengths that do not nest
            sequences -= stack.back().sequence ? 1 : 0;
            closeContent(stack.back());
            stack.pop_back();
        }
        if (src.AtEnd()) {
            scan.complete = stack.empty();
            scan.vouched = vouch && scan.complete;
            if (!scan.vouched) {
                scan.hasContent = false;
                scan.contentItems.clear();
            }
            return scan;
        }
        const Encoding enc = stack.empty() ? dataset : stack.back().encoding;
        const std::uint64_t headerAt = src.Pos();
        Header h;
        if (!ReadHeader(src, enc, h)) return scan;
        // A value too long is refused; an item or sequence too long is not (DCMTK allocates nothing
        // for it and ends it at its delimiter), but DCMTK must then read the file itself.
        const bool overlong = Overlong(src, h.length);
        const bool inSequence = !stack.empty() && stack.back().sequence;
        if (h.group == 0xFFFE) {
            if ((h.element != 0xE000 && h.length != 0) || overlong) vouch = false;  // a delimiter with a length
            if (h.element == 0xE000 && inSequence) {
                const std::uint64_t end = h.length == kUndefined ? kOpen : src.Pos() + h.length;
                if (stack.back().pixel) {
                    if (judge && OverlongValue(src, h.group, h.element, h.length, scan)) return scan;  // a fragment is a value
                    if (end == kOpen || !src.Skip(h.length)) return scan;
                } else {
                    const bool content = stack.size() == 1 && stack.back().content;
                    stack.push_back({false, false, end, enc, content});
                    if (content) scan.contentItems.push_back({headerAt, 0, h.length});
                }
            } else if (h.element == 0xE00D && !inSequence && !stack.empty() && stack.back().end == kOpen) {
                closeContent(stack.back());
                stack.pop_back();
            } else if (h.element == 0xE0DD && inSequence && stack.back().end == kOpen) {
                --sequences;
                closeContent(stack.back());
                stack.pop_back();
            } else if (h.element != 0xE00D && h.element != 0xE0DD) {
                return scan;  // an item outside a sequence
            }
            continue;
        }
        if (inSequence) return scan;  // an element directly in a sequence
        if (enc.implicitVr || !DcmtkReadsAlike(h.vr)) vouch = false;
        bool sequence = h.vr[0] == 'S' && h.vr[1] == 'Q';
        if (enc.implicitVr && !sequence && h.length != kUndefined) {
            sequence = DcmTag(h.group, h.element).getEVR() == EVR_SQ;
        }
        const bool isPixelData = h.group == 0x7FE0 && h.element == 0x0010;
        if (!sequence && h.length == kUndefined) {
            sequence = true;  // an unknown or UN element of undefined length is a sequence, or pixel fragments
            if (!isPixelData) vouch = false;  // DCMTK may read it as either
        }
        if (!sequence) {
            if (judge && OverlongValue(src, h.group, h.element, h.length, scan)) return scan;
            if (!src.Skip(h.length)) return scan;
            continue;
        }
        if (overlong) vouch = false;
        Encoding inner = enc;
        if (h.vr[0] == 'U' && h.vr[1] == 'N') inner = {true, true};  // UN of undefined length: implicit VR inside
        const bool pixel = isPixelData && !(h.vr[0] == 'S' && h.vr[1] == 'Q');
        const bool content = stack.empty() && h.group == 0x0040 && h.element == 0xA730 && !scan.hasContent && vouch;
        stack.push_back({true, pixel, h.length == kUndefined ? kOpen : src.Pos() + h.length, inner, content});
        if (content) {
            scan.hasContent = true;
            scan.content = {headerAt, 0, h.length};
        }
        ++sequences;
        if (sequences > scan.depth) scan.depth = sequences;
        if (sequences > limit) {
            scan.tooDeep = true;
            return scan;
        }
    }
}

}  // namespace

NestingScan ScanNesting(const std::filesystem::path& path, std::size_t limit) {
    Source src(path);
    return Scan(src, limit);
}

NestingScan ScanNesting(std::string_view bytes, std::size_t limit) {
    Source src(bytes);
    return Scan(src, limit);
}

}  // namespace mirelo::rdsr
