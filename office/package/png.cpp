#include "office/package/png.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <queue>
#include <string>
#include <string_view>
#include <vector>

#include "office/error.h"

namespace office::package {

namespace {

struct Image {
    const std::uint32_t* pixels;
    int width;
    int height;
    std::size_t pixelsPerLine;
    const std::uint32_t* row(int y) const {
        return pixels + static_cast<std::size_t>(y) * pixelsPerLine;
    }
    // Whether row y holds the same pixels as the row above it.
    bool repeatsAbove(int y) const {
        return y > 0 && std::memcmp(row(y), row(y - 1), static_cast<std::size_t>(width) * 4) == 0;
    }
};

void appendU32(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

void appendChunk(std::string& out, const char* type, std::string_view data) {
    appendU32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.append(type, 4);
    out += data;
    appendU32(out, static_cast<std::uint32_t>(
                       libdeflate_crc32(0, out.data() + start, out.size() - start)));
}
// The picture's colours in the order met, with each one's index; empty when there are more
// than 256. Runs of one colour are the rule, so the last colour is checked first, and the
// others are found in a small open-addressed table.
class Palette {
public:
    explicit Palette(const Image& image) {
        slots_.fill(kEmpty);
        for (int y = 0; y < image.height; ++y) {
            if (image.repeatsAbove(y)) {
                continue;
            }
            const std::uint32_t* rgb = image.row(y);
            for (int x = 0; x < image.width; ++x) {
                if (rgb[x] != last_ && !add(rgb[x])) {
                    colors_.clear();
                    return;
                }
            }
        }
    }
    bool usable() const { return !colors_.empty(); }
    const std::vector<std::uint32_t>& colors() const { return colors_; }
    unsigned char indexOf(std::uint32_t color) {
        if (color != last_) {
            last_ = color;
            lastIndex_ = static_cast<unsigned char>(slots_[find(color)] & 0xFF);
        }
        return lastIndex_;
    }

private:
    // A slot holds a colour's 24 bits above its index, or kEmpty.
    static constexpr std::uint64_t kEmpty = ~std::uint64_t{0};
    static constexpr std::size_t kSlots = 1024;  // a quarter full at most

    std::size_t find(std::uint32_t color) const {
        const std::uint32_t rgb = color & 0xFFFFFF;
        std::size_t at = (rgb * 0x9E3779B1u) >> 22;
        while (slots_[at] != kEmpty && (slots_[at] >> 8) != rgb) {
            at = (at + 1) % kSlots;
        }
        return at;
    }

    bool add(std::uint32_t color) {
        last_ = color;
        const std::size_t at = find(color);
        if (slots_[at] == kEmpty) {
            if (colors_.size() == 256) {
                return false;
            }
            slots_[at] = std::uint64_t{color & 0xFFFFFF} << 8 | colors_.size();
            colors_.push_back(color);
        }
        lastIndex_ = static_cast<unsigned char>(slots_[at] & 0xFF);
        return true;
    }

    std::array<std::uint64_t, kSlots> slots_;
    std::vector<std::uint32_t> colors_;
    std::uint32_t last_ = 0;  // never a colour of the picture, whose pixels are opaque
    unsigned char lastIndex_ = 0;
};

// Row y as one PNG scanline into `line`: its filter byte (None), then its bytes, a palette
// index or the red, green and blue of each pixel.
void scanline(const Image& image, int y, Palette& palette, unsigned char* line) {
    const int width = image.width;
    line[0] = 0;
    unsigned char* out = line + 1;
    const std::uint32_t* rgb = image.row(y);
    if (palette.usable()) {
        for (int x = 0; x < width; ++x) {
            out[x] = palette.indexOf(rgb[x]);
        }
        return;
    }
    for (int x = 0; x < width; ++x) {
        out[3 * x] = static_cast<unsigned char>((rgb[x] >> 16) & 0xFF);
        out[3 * x + 1] = static_cast<unsigned char>((rgb[x] >> 8) & 0xFF);
        out[3 * x + 2] = static_cast<unsigned char>(rgb[x] & 0xFF);
    }
}

// The scanlines are deflated here rather than by a general compressor. A drawn picture is runs
// of one colour and stretches that repeat the row above, which a general compressor finds only
// by hashing every byte (on a table picture of 1636 x 508 pixels, 2.5 MB of scanlines, that
// was nine tenths of the time). Here they are found by comparing pixels: a run is a match one
// pixel back, a stretch as above a match one scanline back, and the rest are literals. Each
// block of tokens gets Huffman codes made for it.

constexpr std::size_t kMinMatch = 3;
constexpr std::size_t kMaxMatch = 258;
constexpr std::size_t kWindow = 32768;
constexpr std::size_t kBlockTokens = 1 << 15;
constexpr int kEndOfBlock = 256;
constexpr int kMaxCodeBits = 15;
constexpr int kMaxLengthCodeBits = 7;

constexpr std::array<std::uint16_t, 29> kLengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                       15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                       67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> kDistanceBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> kDistanceExtra = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                         4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                         9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which a block's header gives the lengths of the code-length code.
constexpr std::array<int, 19> kLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                              11, 4,  12, 3, 13, 2, 14, 1, 15};

template <std::size_t N>
constexpr int baseIndex(const std::array<std::uint16_t, N>& bases, std::size_t value) {
    return static_cast<int>(std::upper_bound(bases.begin(), bases.end(), value) - bases.begin()) -
           1;
}

// The length and distance codes by value, looked up instead of searched for every token.
// Distances above 256 are looked up by their 128s: the codes' bases there are 1 more than a
// multiple of 128.
struct CodeTables {
    std::array<std::uint8_t, kMaxMatch + 1> length{};
    std::array<std::uint8_t, 257> nearDistance{};
    std::array<std::uint8_t, kWindow / 128> farDistance{};
};

constexpr CodeTables makeCodeTables() {
    CodeTables tables;
    for (std::size_t n = 3; n <= kMaxMatch; ++n) {
        tables.length[n] = static_cast<std::uint8_t>(baseIndex(kLengthBase, n));
    }
    for (std::size_t d = 1; d <= 256; ++d) {
        tables.nearDistance[d] = static_cast<std::uint8_t>(baseIndex(kDistanceBase, d));
    }
    for (std::size_t i = 0; i < tables.farDistance.size(); ++i) {
        tables.farDistance[i] = static_cast<std::uint8_t>(baseIndex(kDistanceBase, i * 128 + 1));
    }
    return tables;
}

constexpr CodeTables kCodes = makeCodeTables();

int lengthCode(std::size_t length) {
    return kCodes.length[length];
}

int distanceCode(std::size_t distance) {
    return distance <= 256 ? kCodes.nearDistance[distance]
                           : kCodes.farDistance[(distance - 1) / 128];
}

// A literal byte (distance 0) or a match of `length` bytes `distance` back.
struct Token {
    std::uint16_t length;
    std::uint16_t distance;
};

struct HuffmanCode {
    std::vector<std::uint8_t> lengths;
    std::vector<std::uint16_t> codes;  // bit-reversed, as deflate sends them
};

// Huffman's code lengths for symbols of the given frequencies, every leaf deeper than `limit`
// raised to it and the code then made complete again by pushing shallower leaves down. At
// least two symbols get a code, so that the code is complete, as decoders expect.
std::vector<std::uint8_t> codeLengths(std::vector<std::uint32_t> frequencies, int limit) {
    std::vector<std::uint32_t> used;
    for (std::uint32_t s = 0; s < frequencies.size(); ++s) {
        if (frequencies[s] > 0) {
            used.push_back(s);
        }
    }
    for (std::uint32_t s = 0; used.size() < 2; ++s) {
        if (frequencies[s] == 0) {
            frequencies[s] = 1;
            used.push_back(s);
        }
    }
    const std::size_t leaves = used.size();
    using Entry = std::pair<std::uint64_t, std::size_t>;  // weight, node
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> heap;
    for (std::size_t i = 0; i < leaves; ++i) {
        heap.push({frequencies[used[i]], i});
    }
    std::vector<std::size_t> parent(2 * leaves - 1);
    for (std::size_t node = leaves; heap.size() > 1; ++node) {
        const Entry a = heap.top();
        heap.pop();
        const Entry b = heap.top();
        heap.pop();
        parent[a.second] = node;
        parent[b.second] = node;
        heap.push({a.first + b.first, node});
    }
    // Parents come after their children, so depths are known from the root down.
    std::vector<int> depth(2 * leaves - 1, 0);
    std::vector<std::uint32_t> count(static_cast<std::size_t>(limit) + 1, 0);
    for (std::size_t node = depth.size() - 1; node-- > 0;) {
        depth[node] = depth[parent[node]] + 1;
        if (node < leaves) {
            ++count[static_cast<std::size_t>(std::min(depth[node], limit))];
        }
    }
    std::uint64_t kraft = 0;  // in units of 2^-limit
    for (int bits = 1; bits <= limit; ++bits) {
        kraft += std::uint64_t{count[bits]} << (limit - bits);
    }
    for (; kraft > (std::uint64_t{1} << limit); --kraft) {
        --count[limit];
        for (int bits = limit - 1; bits > 0; --bits) {
            if (count[bits] > 0) {
                --count[bits];
                count[bits + 1] += 2;
                break;
            }
        }
    }
    // The most frequent symbols get the shortest codes.
    std::stable_sort(used.begin(), used.end(), [&](std::uint32_t a, std::uint32_t b) {
        return frequencies[a] > frequencies[b];
    });
    std::vector<std::uint8_t> lengths(frequencies.size(), 0);
    std::size_t next = 0;
    for (int bits = 1; bits <= limit; ++bits) {
        for (std::uint32_t i = 0; i < count[bits]; ++i) {
            lengths[used[next++]] = static_cast<std::uint8_t>(bits);
        }
    }
    return lengths;
}

std::uint16_t reversed(std::uint32_t code, int bits) {
    std::uint32_t result = 0;
    for (int i = 0; i < bits; ++i) {
        result = (result << 1) | ((code >> i) & 1);
    }
    return static_cast<std::uint16_t>(result);
}

// The canonical code of the given lengths: codes of one length consecutive, by symbol.
HuffmanCode huffmanCode(const std::vector<std::uint32_t>& frequencies, int limit) {
    HuffmanCode code{codeLengths(frequencies, limit), {}};
    std::array<std::uint32_t, kMaxCodeBits + 2> count{};
    for (std::uint8_t bits : code.lengths) {
        ++count[bits];
    }
    count[0] = 0;
    std::array<std::uint32_t, kMaxCodeBits + 2> next{};
    for (int bits = 1; bits <= kMaxCodeBits; ++bits) {
        next[bits] = (next[bits - 1] + count[bits - 1]) << 1;
    }
    code.codes.resize(code.lengths.size());
    for (std::size_t s = 0; s < code.lengths.size(); ++s) {
        const int bits = code.lengths[s];
        if (bits > 0) {
            code.codes[s] = reversed(next[bits]++, bits);
        }
    }
    return code;
}

// Bits into bytes, the first bit the lowest of its byte.
class BitWriter {
public:
    explicit BitWriter(std::string& out) : out_(out) {}
    // The lowest `bits` bits of `value`, 32 at most.
    void put(std::uint32_t value, int bits) {
        buffer_ |= std::uint64_t{value} << count_;
        count_ += bits;
        if (count_ >= 32) {
            const char bytes[4] = {static_cast<char>(buffer_ & 0xFF),
                                   static_cast<char>((buffer_ >> 8) & 0xFF),
                                   static_cast<char>((buffer_ >> 16) & 0xFF),
                                   static_cast<char>((buffer_ >> 24) & 0xFF)};
            out_.append(bytes, 4);
            buffer_ >>= 32;
            count_ -= 32;
        }
    }
    void put(const HuffmanCode& code, std::size_t symbol) {
        put(code.codes[symbol], code.lengths[symbol]);
    }
    // A symbol's code followed by `extraBits` bits of `extra`.
    void put(const HuffmanCode& code, std::size_t symbol, std::uint32_t extra, int extraBits) {
        const int bits = code.lengths[symbol];
        put(code.codes[symbol] | extra << bits, bits + extraBits);
    }
    void flush() {
        for (; count_ > 0; count_ -= 8) {
            out_.push_back(static_cast<char>(buffer_ & 0xFF));
            buffer_ >>= 8;
        }
        buffer_ = 0;
        count_ = 0;
    }

private:
    std::string& out_;
    std::uint64_t buffer_ = 0;
    int count_ = 0;
};

// A code length, or a run of them: 16 repeats the last length 3 to 6 times, 17 gives 3 to 10
// zeros and 18 11 to 138 zeros, `extra` saying how many beyond the least.
struct LengthSymbol {
    int symbol;
    int extra;
};

std::vector<LengthSymbol> runsOf(const std::vector<std::uint8_t>& lengths) {
    std::vector<LengthSymbol> symbols;
    for (std::size_t i = 0; i < lengths.size();) {
        const int value = lengths[i];
        std::size_t run = 1;
        while (i + run < lengths.size() && lengths[i + run] == value) {
            ++run;
        }
        i += run;
        if (value == 0) {
            for (; run >= 11; run -= std::min<std::size_t>(run, 138)) {
                symbols.push_back({18, static_cast<int>(std::min<std::size_t>(run, 138) - 11)});
            }
            if (run >= 3) {
                symbols.push_back({17, static_cast<int>(run - 3)});
                run = 0;
            }
        } else {
            symbols.push_back({value, 0});
            --run;
            for (; run >= 3; run -= std::min<std::size_t>(run, 6)) {
                symbols.push_back({16, static_cast<int>(std::min<std::size_t>(run, 6) - 3)});
            }
        }
        symbols.insert(symbols.end(), run, LengthSymbol{value, 0});
    }
    return symbols;
}

// A block's header: its type (Huffman codes of its own), then the lengths of its two codes,
// themselves coded with a code of lengths.
void writeCodes(BitWriter& bits, const HuffmanCode& literals, const HuffmanCode& distances,
                bool last) {
    std::size_t literalCount = literals.lengths.size();
    while (literalCount > 257 && literals.lengths[literalCount - 1] == 0) {
        --literalCount;
    }
    std::size_t distanceCount = distances.lengths.size();
    while (distanceCount > 1 && distances.lengths[distanceCount - 1] == 0) {
        --distanceCount;
    }
    std::vector<std::uint8_t> all(literals.lengths.begin(),
                                  literals.lengths.begin() + literalCount);
    all.insert(all.end(), distances.lengths.begin(), distances.lengths.begin() + distanceCount);
    const std::vector<LengthSymbol> symbols = runsOf(all);
    std::vector<std::uint32_t> frequencies(19, 0);
    for (const LengthSymbol& s : symbols) {
        ++frequencies[s.symbol];
    }
    const HuffmanCode lengths = huffmanCode(frequencies, kMaxLengthCodeBits);
    std::size_t lengthCount = kLengthOrder.size();
    while (lengthCount > 4 && lengths.lengths[kLengthOrder[lengthCount - 1]] == 0) {
        --lengthCount;
    }
    bits.put(last ? 1 : 0, 1);
    bits.put(2, 2);  // Huffman codes of the block's own
    bits.put(static_cast<std::uint32_t>(literalCount - 257), 5);
    bits.put(static_cast<std::uint32_t>(distanceCount - 1), 5);
    bits.put(static_cast<std::uint32_t>(lengthCount - 4), 4);
    for (std::size_t i = 0; i < lengthCount; ++i) {
        bits.put(lengths.lengths[kLengthOrder[i]], 3);
    }
    for (const LengthSymbol& s : symbols) {
        bits.put(lengths, static_cast<std::size_t>(s.symbol));
        if (s.symbol >= 16) {
            bits.put(static_cast<std::uint32_t>(s.extra), s.symbol == 16   ? 2
                                                          : s.symbol == 17 ? 3
                                                                           : 7);
        }
    }
}

void writeBlock(BitWriter& bits, const std::vector<Token>& tokens, bool last) {
    std::vector<std::uint32_t> literalFrequencies(286, 0);
    std::vector<std::uint32_t> distanceFrequencies(30, 0);
    for (const Token& token : tokens) {
        if (token.distance == 0) {
            ++literalFrequencies[token.length];
            continue;
        }
        ++literalFrequencies[257 + lengthCode(token.length)];
        ++distanceFrequencies[distanceCode(token.distance)];
    }
    literalFrequencies[kEndOfBlock] = 1;
    const HuffmanCode literals = huffmanCode(literalFrequencies, kMaxCodeBits);
    const HuffmanCode distances = huffmanCode(distanceFrequencies, kMaxCodeBits);
    writeCodes(bits, literals, distances, last);
    for (const Token& token : tokens) {
        if (token.distance == 0) {
            bits.put(literals, token.length);
            continue;
        }
        const int length = lengthCode(token.length);
        bits.put(literals, static_cast<std::size_t>(257 + length),
                 token.length - kLengthBase[length], kLengthExtra[length]);
        const int distance = distanceCode(token.distance);
        bits.put(distances, static_cast<std::size_t>(distance),
                 token.distance - kDistanceBase[distance], kDistanceExtra[distance]);
    }
    bits.put(literals, kEndOfBlock);
}

// Tokens gathered into blocks of kBlockTokens, each written when full, in `tokens`, memory
// kept from one picture to the next.
class Deflater {
public:
    Deflater(std::string& out, std::vector<Token>& tokens) : bits_(out), tokens_(tokens) {
        tokens_.clear();
        tokens_.reserve(kBlockTokens);
    }
    void literal(unsigned char byte) { add({byte, 0}); }
    // A match of any length of at least kMinMatch, cut into deflate's matches of kMaxMatch
    // bytes at most.
    void match(std::size_t length, std::size_t distance) {
        while (length > 0) {
            std::size_t part = std::min(length, kMaxMatch);
            if (length - part > 0 && length - part < kMinMatch) {
                part = length - kMinMatch;
            }
            add({static_cast<std::uint16_t>(part), static_cast<std::uint16_t>(distance)});
            length -= part;
        }
    }
    void finish() {
        writeBlock(bits_, tokens_, true);
        bits_.flush();
    }

private:
    void add(Token token) {
        tokens_.push_back(token);
        if (tokens_.size() == kBlockTokens) {
            writeBlock(bits_, tokens_, false);
            tokens_.clear();
        }
    }

    BitWriter bits_;
    std::vector<Token>& tokens_;
};

// How many of the first `limit` pixels of `a` equal those of `b`, compared two at a time.
int equalPixels(const std::uint32_t* a, const std::uint32_t* b, int limit) {
    int n = 0;
    for (; n + 2 <= limit; n += 2) {
        std::uint64_t pairA = 0;
        std::uint64_t pairB = 0;
        std::memcpy(&pairA, a + n, 8);
        std::memcpy(&pairB, b + n, 8);
        if (pairA != pairB) {
            break;
        }
    }
    while (n < limit && a[n] == b[n]) {
        ++n;
    }
    return n;
}

// How many of the first `limit` pixels of `a` are `color`.
int runOf(const std::uint32_t* a, std::uint32_t color, int limit) {
    const std::uint64_t pair = std::uint64_t{color} << 32 | color;
    int n = 0;
    for (; n + 2 <= limit; n += 2) {
        std::uint64_t pixels = 0;
        std::memcpy(&pixels, a + n, 8);
        if (pixels != pair) {
            break;
        }
    }
    while (n < limit && a[n] == color) {
        ++n;
    }
    return n;
}

// The matches of a picture's rows. At each pixel the longest of three is taken: the run of the
// colour before it (one pixel back), the stretch as the row above (one scanline back, when
// deflate reaches that far) and, where both are short, as at the edges of text, an earlier
// place with the same next pixels, as a letter drawn twice gives. Pixels that none of them
// cover are literals.
class RowMatcher {
public:
    RowMatcher(const Image& image, std::size_t pixelBytes)
        : image_(image),
          pixelBytes_(pixelBytes),
          lineBytes_(1 + static_cast<std::size_t>(image.width) * pixelBytes),
          shortest_(static_cast<int>((kMinMatch + pixelBytes - 1) / pixelBytes)) {
        recent_.fill(kNone);
    }

    // Row y, whose scanline is `line`, as tokens.
    void deflateRow(Deflater& deflater, int y, const unsigned char* line) {
        const std::uint32_t* pixels = image_.row(y);
        const std::uint32_t* up = y > 0 && lineBytes_ <= kWindow ? image_.row(y - 1) : nullptr;
        deflater.literal(line[0]);
        for (int x = 0; x < image_.width;) {
            const int left = image_.width - x;
            const int same = x > 0 ? runOf(pixels + x, pixels[x - 1], left) : 0;
            Match best{same, pixelBytes_};
            // The stretch as above is the longer only if it goes on where the run stops.
            if (up && same < left && pixels[x + same] == up[x + same]) {
                best = longer(best, {equalPixels(pixels + x, up + x, left), lineBytes_});
            }
            if (best.pixels < kEnough) {
                best = longer(best, earlier(y, x));
            }
            if (best.pixels < shortest_) {
                for (std::size_t b = 0; b < pixelBytes_; ++b) {
                    deflater.literal(line[1 + static_cast<std::size_t>(x) * pixelBytes_ + b]);
                }
                ++x;
                continue;
            }
            deflater.match(static_cast<std::size_t>(best.pixels) * pixelBytes_, best.distance);
            x += best.pixels;
        }
    }

private:
    struct Match {
        int pixels;
        std::size_t distance;
    };
    // Matches this long are taken without looking for an earlier place.
    static constexpr int kEnough = 4;
    static constexpr int kHashBits = 12;
    static constexpr std::uint32_t kNone = ~std::uint32_t{0};

    // A tie goes to the first, whose distance is the shorter to code.
    static Match longer(const Match& a, const Match& b) { return b.pixels > a.pixels ? b : a; }

    // The last place seen whose two pixels were these, when it is still within reach and
    // still holds them; the place x is remembered in its stead.
    Match earlier(int y, int x) {
        if (x + 1 >= image_.width) {
            return {0, 0};
        }
        const std::uint32_t* pixels = image_.row(y);
        const std::uint32_t key = pixels[x] * 0x9E3779B1u ^ pixels[x + 1] * 0x85EBCA77u;
        std::uint32_t& slot = recent_[key >> (32 - kHashBits)];
        const std::uint32_t seen = slot;
        const auto width = static_cast<std::uint32_t>(image_.width);
        slot = static_cast<std::uint32_t>(y) * width + static_cast<std::uint32_t>(x);
        if (seen == kNone) {
            return {0, 0};
        }
        const int sy = static_cast<int>(seen / width);
        const int sx = static_cast<int>(seen % width);
        const std::size_t distance = static_cast<std::size_t>(y - sy) * lineBytes_ +
                                     static_cast<std::size_t>(x - sx) * pixelBytes_;
        if (distance > kWindow) {
            return {0, 0};
        }
        const int limit = std::min(image_.width - x, image_.width - sx);
        return {equalPixels(pixels + x, image_.row(sy) + sx, limit), distance};
    }

    const Image& image_;
    std::size_t pixelBytes_;
    std::size_t lineBytes_;
    int shortest_;  // the pixels of deflate's shortest match
    std::array<std::uint32_t, std::size_t{1} << kHashBits> recent_;
};

// Memory that a thread keeps from one picture to the next: on first touch, fresh memory costs
// a page fault for every 4 KiB, which for a picture of a few megapixels takes about as long as
// compressing it. A stream larger than kKeptStream is let go after use.
struct Scratch {
    std::vector<Token> tokens;
    std::string stream;
};

constexpr std::size_t kKeptStream = 4 << 20;

// The scanlines of the picture as a zlib stream, into `out`.
void deflate(const Image& image, Palette& palette, std::string& out, std::vector<Token>& tokens) {
    const std::size_t pixelBytes = palette.usable() ? 1 : 3;
    const std::size_t lineBytes = 1 + static_cast<std::size_t>(image.width) * pixelBytes;
    // A row as the one above is one match, where the row is as long as deflate's shortest one.
    const bool rowMatches = lineBytes <= kWindow && lineBytes > kMinMatch;
    out.assign({0x78, 0x01});  // deflate with a 32 KiB window, fastest
    Deflater deflater(out, tokens);
    RowMatcher matcher(image, pixelBytes);
    std::vector<unsigned char> line(lineBytes);
    std::uint32_t adler = 1;
    for (int y = 0; y < image.height; ++y) {
        const bool repeats = image.repeatsAbove(y);
        if (!repeats) {
            scanline(image, y, palette, line.data());
        }
        // A row that repeats the one above has the scanline still in `line`.
        adler = libdeflate_adler32(adler, line.data(), lineBytes);
        if (repeats && rowMatches) {
            deflater.literal(line[0]);
            deflater.match(lineBytes - 1, lineBytes);
            continue;
        }
        matcher.deflateRow(deflater, y, line.data());
    }
    deflater.finish();
    appendU32(out, adler);
}

}  // namespace

std::string encodePng(const std::uint32_t* pixels, int width, int height, std::size_t pixelsPerLine,
                      int dotsPerMeter) {
    const Image image{pixels, width, height, pixelsPerLine};
    Palette palette(image);
    std::string header;
    appendU32(header, static_cast<std::uint32_t>(width));
    appendU32(header, static_cast<std::uint32_t>(height));
    header += {8, static_cast<char>(palette.usable() ? 3 : 2), 0, 0, 0};  // 8 bits, indexed or RGB
    std::string density;
    appendU32(density, static_cast<std::uint32_t>(dotsPerMeter));
    appendU32(density, static_cast<std::uint32_t>(dotsPerMeter));
    density.push_back(1);  // per meter
    std::string png("\x89PNG\r\n\x1a\n", 8);
    appendChunk(png, "IHDR", header);
    if (palette.usable()) {
        std::string colors;
        for (std::uint32_t color : palette.colors()) {
            colors += {static_cast<char>((color >> 16) & 0xFF),
                       static_cast<char>((color >> 8) & 0xFF), static_cast<char>(color & 0xFF)};
        }
        appendChunk(png, "PLTE", colors);
    }
    appendChunk(png, "pHYs", density);
    thread_local Scratch scratch;
    try {
        deflate(image, palette, scratch.stream, scratch.tokens);
        png.reserve(png.size() + scratch.stream.size() + 24);
        appendChunk(png, "IDAT", scratch.stream);
    } catch (const std::bad_alloc&) {
        throw Error(ErrorCode::WriteFailed, "a picture of " + std::to_string(width) + " x " +
                                                std::to_string(height) +
                                                " pixels cannot be compressed (out of memory)");
    }
    if (scratch.stream.capacity() > kKeptStream) {
        std::string().swap(scratch.stream);
    }
    appendChunk(png, "IEND", "");
    return png;
}

}  // namespace office::package
