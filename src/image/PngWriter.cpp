#include "image/PngWriter.h"

#include <algorithm>
#include <array>

#include "common/AtomicFile.h"
#include "common/Error.h"

namespace pyrolith {
namespace {

std::array<std::uint32_t, 256> MakeCrcTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        table[n] = c;
    }
    return table;
}

std::uint32_t Crc32(const std::string& bytes, std::size_t from)
{
    static const std::array<std::uint32_t, 256> table = MakeCrcTable();
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = from; i < bytes.size(); ++i) {
        c = table[(c ^ static_cast<unsigned char>(bytes[i])) & 0xFF] ^ (c >> 8);
    }
    return c ^ 0xFFFFFFFFu;
}

void PutBig32(std::string& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8) {
        out += static_cast<char>((v >> shift) & 0xFF);
    }
}

void PutChunk(std::string& out, const char* type, const std::string& data)
{
    PutBig32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out += type;
    out += data;
    PutBig32(out, Crc32(out, start));
}

// Bits go into bytes from the least significant bit on; Huffman codes go most significant
// bit first.
class BitWriter {
public:
    explicit BitWriter(std::string& out) : out_(out) {}
    void bits(std::uint32_t value, int count)
    {
        buffer_ |= static_cast<std::uint64_t>(value) << used_;
        used_ += count;
        while (used_ >= 8) {
            out_ += static_cast<char>(buffer_ & 0xFF);
            buffer_ >>= 8;
            used_ -= 8;
        }
    }
    void code(std::uint32_t value, int count)
    {
        std::uint32_t reversed = 0;
        for (int i = 0; i < count; ++i) {
            reversed = (reversed << 1) | ((value >> i) & 1);
        }
        bits(reversed, count);
    }
    void flush()
    {
        if (used_ > 0) {
            out_ += static_cast<char>(buffer_ & 0xFF);
            buffer_ = 0;
            used_ = 0;
        }
    }

private:
    std::string& out_;
    std::uint64_t buffer_ = 0;
    int used_ = 0;
};

// The fixed literal/length code of deflate.
void Symbol(BitWriter& w, int symbol)
{
    if (symbol < 144) {
        w.code(static_cast<std::uint32_t>(0x30 + symbol), 8);
    } else if (symbol < 256) {
        w.code(static_cast<std::uint32_t>(0x190 + symbol - 144), 9);
    } else if (symbol < 280) {
        w.code(static_cast<std::uint32_t>(symbol - 256), 7);
    } else {
        w.code(static_cast<std::uint32_t>(0xC0 + symbol - 280), 8);
    }
}

constexpr std::array<int, 29> kLengthBase = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,
                                             15, 17, 19, 23, 27, 31, 35, 43, 51,  59,
                                             67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<int, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                              2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<int, 30> kDistanceBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<int, 30> kDistanceExtra = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,
                                                4, 4, 5, 5, 6, 6, 7,  7,  8,  8,
                                                9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

void Match(BitWriter& w, int length, int distance)
{
    int l = 28;
    while (kLengthBase[static_cast<std::size_t>(l)] > length) {
        --l;
    }
    Symbol(w, 257 + l);
    w.bits(static_cast<std::uint32_t>(length - kLengthBase[static_cast<std::size_t>(l)]),
           kLengthExtra[static_cast<std::size_t>(l)]);
    int d = 29;
    while (kDistanceBase[static_cast<std::size_t>(d)] > distance) {
        --d;
    }
    w.code(static_cast<std::uint32_t>(d), 5);
    w.bits(static_cast<std::uint32_t>(distance - kDistanceBase[static_cast<std::size_t>(d)]),
           kDistanceExtra[static_cast<std::size_t>(d)]);
}

std::string Zlib(const std::string& data, std::size_t stride)
{
    std::string out = "\x78\x01";
    BitWriter w(out);
    w.bits(1, 1);  // the last block
    w.bits(1, 2);  // fixed codes
    const std::size_t n = data.size();
    const std::size_t distances[2] = {3, stride};
    std::size_t i = 0;
    while (i < n) {
        std::size_t bestLength = 0;
        std::size_t bestDistance = 0;
        for (const std::size_t distance : distances) {
            if (distance == 0 || distance > 32768 || i < distance) {
                continue;
            }
            const std::size_t limit = std::min<std::size_t>(258, n - i);
            std::size_t length = 0;
            while (length < limit && data[i + length] == data[i + length - distance]) {
                ++length;
            }
            if (length > bestLength) {
                bestLength = length;
                bestDistance = distance;
            }
        }
        if (bestLength >= 3) {
            Match(w, static_cast<int>(bestLength), static_cast<int>(bestDistance));
            i += bestLength;
        } else {
            Symbol(w, static_cast<unsigned char>(data[i]));
            ++i;
        }
    }
    Symbol(w, 256);
    w.flush();
    std::uint32_t a = 1;
    std::uint32_t b = 0;
    for (const char c : data) {
        a = (a + static_cast<unsigned char>(c)) % 65521u;
        b = (b + a) % 65521u;
    }
    PutBig32(out, (b << 16) | a);
    return out;
}

}  // namespace

std::string EncodePng(const RgbImage& image)
{
    const std::size_t rowBytes = static_cast<std::size_t>(image.width) * 3;
    std::string raw;
    raw.reserve((rowBytes + 1) * static_cast<std::size_t>(image.height));
    for (int y = 0; y < image.height; ++y) {
        raw += '\0';  // filter: none
        raw.append(reinterpret_cast<const char*>(image.pixels.data()) +
                       static_cast<std::size_t>(y) * rowBytes,
                   rowBytes);
    }
    std::string png = "\x89PNG\r\n\x1A\n";
    std::string header;
    PutBig32(header, static_cast<std::uint32_t>(image.width));
    PutBig32(header, static_cast<std::uint32_t>(image.height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", Zlib(raw, rowBytes + 1));
    PutChunk(png, "IEND", "");
    return png;
}

void WritePng(const std::filesystem::path& path, const RgbImage& image)
{
    AtomicFile file(path);
    file.write(EncodePng(image));
    file.commit();
}

}  // namespace pyrolith
