#include "rdsr/nesting_scan.h"

#include <dcmtk/config/osconfig.h>  // must come first of DCMTK's headers
#include <dcmtk/dcmdata/dctag.h>

#include <zlib.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
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
    ~Source() {
        if (inflating_) inflateEnd(&zs_);
    }
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    bool Opened() const { return in_.is_open() && size_ >= 0; }
    std::uint64_t Pos() const { return pos_; }

    bool Read(unsigned char* out, std::size_t n) {
        std::size_t got = 0;
        while (got < n && !back_.empty()) {
            out[got++] = static_cast<unsigned char>(back_.front());
            back_.erase(0, 1);
        }
        got += inflating_ ? Inflate(out + got, n - got) : Plain(out + got, n - got);
        pos_ += got;
        return got == n;
    }

    void GiveBack(const unsigned char* bytes, std::size_t n) {
        back_.insert(0, reinterpret_cast<const char*>(bytes), n);
        pos_ -= n;
    }

    bool AtEnd() {
        unsigned char c = 0;
        if (!Read(&c, 1)) return true;
        GiveBack(&c, 1);
        return false;
    }

    bool Skip(std::uint64_t n) {
        if (!inflating_ && back_.empty()) {
            const std::streamoff here = in_.tellg();
            if (here < 0 || n > static_cast<std::uint64_t>(size_ - here)) return false;
            in_.seekg(static_cast<std::streamoff>(n), std::ios::cur);
            pos_ += n;
            return in_.good();
        }
        std::array<unsigned char, 4096> sink{};
        while (n > 0) {
            const std::size_t chunk = n < sink.size() ? static_cast<std::size_t>(n) : sink.size();
            if (!Read(sink.data(), chunk)) return false;
            n -= chunk;
        }
        return true;
    }

    // From here on the file is a raw deflate stream.
    bool StartInflating() {
        zs_ = {};
        if (!back_.empty() || inflateInit2(&zs_, -MAX_WBITS) != Z_OK) return false;
        inflating_ = true;
        return true;
    }

private:
    std::size_t Plain(unsigned char* out, std::size_t n) {
        if (n == 0) return 0;
        in_.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(n));
        return static_cast<std::size_t>(in_.gcount());
    }
    std::size_t Inflate(unsigned char* out, std::size_t n) {
        zs_.next_out = out;
        zs_.avail_out = static_cast<uInt>(n);
        while (zs_.avail_out > 0 && !ended_) {
            if (zs_.avail_in == 0) {
                zs_.avail_in = static_cast<uInt>(Plain(input_.data(), input_.size()));
                zs_.next_in = input_.data();
                if (zs_.avail_in == 0) break;
            }
            if (inflate(&zs_, Z_NO_FLUSH) != Z_OK) ended_ = true;  // the end of the stream, or damage
        }
        return n - zs_.avail_out;
    }
    std::ifstream in_;
    std::streamoff size_ = -1;
    std::uint64_t pos_ = 0;
    std::string back_;
    bool inflating_ = false, ended_ = false;
    z_stream zs_{};
    std::array<unsigned char, 16384> input_{};
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
    static constexpr const char* kLong[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"};
    for (const char* v : kLong) {
        if (vr[0] == v[0] && vr[1] == v[1]) return true;
    }
    return false;
}

struct Frame {
    bool sequence;  // else an item
    bool pixel;     // encapsulated pixel fragments: the items hold bytes, not elements
    std::uint64_t end;
    Encoding encoding;
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
// encoding; the bytes of the first element after it are given back.
bool ReadMeta(Source& src, Encoding& dataset, bool& deflated) {
    std::string syntax;
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
        if (h.element == 0x0010 && h.length < 256) {
            std::string value(h.length, '\0');
            if (!src.Read(reinterpret_cast<unsigned char*>(value.data()), h.length)) return false;
            while (!value.empty() && (value.back() == '\0' || value.back() == ' ')) value.pop_back();
            syntax = value;
        } else if (!src.Skip(h.length)) {
            return false;
        }
    }
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

NestingScan ScanNesting(const std::filesystem::path& path, std::size_t limit) {
    NestingScan scan;
    Source src(path);
    if (!src.Opened()) return scan;
    Encoding dataset;
    bool deflated = false;
    std::array<unsigned char, 132> head{};
    if (src.Read(head.data(), head.size()) && std::memcmp(head.data() + 128, "DICM", 4) == 0) {
        if (!ReadMeta(src, dataset, deflated)) return scan;
    } else {
        src.GiveBack(head.data(), static_cast<std::size_t>(src.Pos()));
        unsigned char tag[2];
        if (src.Read(tag, 2) && U16(tag, true) == 0x0002) {
            src.GiveBack(tag, 2);
            if (!ReadMeta(src, dataset, deflated)) return scan;
        } else {
            src.GiveBack(tag, static_cast<std::size_t>(src.Pos()));
            dataset = Guess(src);
        }
    }
    if (deflated && !src.StartInflating()) return scan;

    std::vector<Frame> stack;
    std::size_t sequences = 0;
    while (true) {
        while (!stack.empty() && stack.back().end != kOpen && src.Pos() >= stack.back().end) {
            if (src.Pos() > stack.back().end) return scan;  // lengths that do not nest
            sequences -= stack.back().sequence ? 1 : 0;
            stack.pop_back();
        }
        if (src.AtEnd()) {
            scan.complete = stack.empty();
            return scan;
        }
        const Encoding enc = stack.empty() ? dataset : stack.back().encoding;
        Header h;
        if (!ReadHeader(src, enc, h)) return scan;
        const bool inSequence = !stack.empty() && stack.back().sequence;
        if (h.group == 0xFFFE) {
            if (h.element == 0xE000 && inSequence) {
                const std::uint64_t end = h.length == kUndefined ? kOpen : src.Pos() + h.length;
                if (stack.back().pixel) {
                    if (end == kOpen || !src.Skip(h.length)) return scan;
                } else {
                    stack.push_back({false, false, end, enc});
                }
            } else if (h.element == 0xE00D && !inSequence && !stack.empty() && stack.back().end == kOpen) {
                stack.pop_back();
            } else if (h.element == 0xE0DD && inSequence && stack.back().end == kOpen) {
                --sequences;
                stack.pop_back();
            } else if (h.element != 0xE00D && h.element != 0xE0DD) {
                return scan;  // an item outside a sequence
            }
            continue;
        }
        if (inSequence) return scan;  // an element directly in a sequence
        bool sequence = h.vr[0] == 'S' && h.vr[1] == 'Q';
        if (enc.implicitVr && !sequence && h.length != kUndefined) {
            sequence = DcmTag(h.group, h.element).getEVR() == EVR_SQ;
        }
        const bool isPixelData = h.group == 0x7FE0 && h.element == 0x0010;
        if (!sequence && h.length == kUndefined) {
            sequence = true;  // an unknown or UN element of undefined length is a sequence, or pixel fragments
        }
        if (!sequence) {
            if (!src.Skip(h.length)) return scan;
            continue;
        }
        Encoding inner = enc;
        if (h.vr[0] == 'U' && h.vr[1] == 'N') inner = {true, true};  // UN of undefined length: implicit VR inside
        const bool pixel = isPixelData && !(h.vr[0] == 'S' && h.vr[1] == 'Q');
        stack.push_back({true, pixel, h.length == kUndefined ? kOpen : src.Pos() + h.length, inner});
        ++sequences;
        if (sequences > scan.depth) scan.depth = sequences;
        if (sequences > limit) {
            scan.tooDeep = true;
            return scan;
        }
    }
}

}  // namespace mirelo::rdsr
