#include "JpegEntropy.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace quorvex {

namespace {

constexpr int kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA, kDqt = 0xDB, kDht = 0xC4, kDri = 0xDD;

// A coefficient of an 8-bit picture's DCT, dequantised, lies within ±1024 (DC: 8 × (−128..127));
// a little slack for encoders' rounding.
constexpr int kCoefficientLimit = 1100;

constexpr int kLongestZeroRun = JpegEntropyDecoder::kZeroRunThatEnds;

// libjpeg's largest picture side.
constexpr int kLibjpegMaxDimension = 65500;

// What a coefficient (by zigzag index) adds to a block's outermost pixels, by the inverse DCT:
// to its top row (by column) and its left column (by row). The bottom row takes the same with the
// sign of the coefficient's vertical frequency, the right column with that of its horizontal one:
// the terms of odd frequencies are summed apart and subtracted there.
struct EdgeBasis {
    std::array<float, 8> row, column;
    bool oddDown, oddAcross;
};

const std::array<EdgeBasis, 64>& EdgeBases()
{
    static const std::array<EdgeBasis, 64> bases = [] {
        std::array<EdgeBasis, 64> table{};
        // Zigzag index to (vertical, horizontal) frequency: walk the anti-diagonals.
        int k = 0;
        for (int sum = 0; sum <= 14; ++sum)
            for (int i = 0; i <= sum; ++i) {
                const int v = sum % 2 == 0 ? sum - i : i, u = sum - v;
                if (v > 7 || u > 7)
                    continue;
                const double pi = 3.14159265358979323846;
                const double cu = u == 0 ? 1 / std::sqrt(2.0) : 1.0, cv = v == 0 ? 1 / std::sqrt(2.0) : 1.0;
                EdgeBasis& basis = table[static_cast<std::size_t>(k++)];
                for (int x = 0; x < 8; ++x) {
                    basis.row[static_cast<std::size_t>(x)] =
                        static_cast<float>(cu * cv / 4 * std::cos((2 * x + 1) * u * pi / 16) * std::cos(v * pi / 16));
                    basis.column[static_cast<std::size_t>(x)] =
                        static_cast<float>(cu * cv / 4 * std::cos((2 * x + 1) * v * pi / 16) * std::cos(u * pi / 16));
                }
                basis.oddDown = v % 2 != 0;
                basis.oddAcross = u % 2 != 0;
            }
        return table;
    }();
    return bases;
}

// A sample as a decoder shows it: level-shifted, rounded and clamped to 0..255.
std::uint8_t Sample(float value)
{
    return static_cast<std::uint8_t>(std::clamp(value + 128.5f, 0.0f, 255.0f));
}

// Puts the outermost pixels of the luminance block at (`x`, `y`) of an MCU of `across` × `down`
// blocks, whose dequantised coefficients are `block`, into `edges` where they lie on the MCU's own
// edges.
void AddBlockEdges(const JpegEntropyDecoder::BlockCoefficients& block, int x, int y, int across, int down,
                   JpegEntropyDecoder::LumaEdges& edges)
{
    // By parity of frequency: [0] even, [1] odd.
    std::array<std::array<float, 8>, 2> rows{}, columns{};
    const auto& bases = EdgeBases();
    for (std::uint64_t left = block.nonzero; left != 0; left &= left - 1) {
        const int k = __builtin_ctzll(left);
        const float value = block.values[static_cast<std::size_t>(k)];
        const EdgeBasis& basis = bases[static_cast<std::size_t>(k)];
        auto& row = rows[basis.oddDown];
        auto& column = columns[basis.oddAcross];
        for (std::size_t i = 0; i < 8; ++i) {
            row[i] += value * basis.row[i];
            column[i] += value * basis.column[i];
        }
    }
    for (std::size_t i = 0; i < 8; ++i) {
        if (y == 0)
            edges.top[static_cast<std::size_t>(x) * 8 + i] = Sample(rows[0][i] + rows[1][i]);
        if (y == down - 1)
            edges.bottom[static_cast<std::size_t>(x) * 8 + i] = Sample(rows[0][i] - rows[1][i]);
        if (x == 0)
            edges.left[static_cast<std::size_t>(y) * 8 + i] = Sample(columns[0][i] + columns[1][i]);
        if (x == across - 1)
            edges.right[static_cast<std::size_t>(y) * 8 + i] = Sample(columns[0][i] - columns[1][i]);
    }
}

// Builds a table from its counts and values; false when it is no Huffman table. `allOnesCode`
// says whether a code of all one bits is used, which libjpeg refuses.
bool BuildTable(JpegScanLayout::HuffmanTable& table, const unsigned char* counts, std::vector<std::uint8_t> values,
                bool& allOnesCode)
{
    int code = 0, index = 0;
    allOnesCode = false;
    for (int length = 1; length <= 16; ++length) {
        const int n = counts[length - 1];
        table.valueIndex[length] = index;
        table.minCode[length] = code;
        code += n;
        index += n;
        table.maxCode[length] = n > 0 ? code - 1 : -1;
        if (code > (1 << length))
            return false;  // more codes than the length allows: not a Huffman table
        if (code == (1 << length) && index > 0)
            allOnesCode = true;
        code <<= 1;
    }
    table.maxCode[17] = INT32_MAX;
    if (index != static_cast<int>(values.size()) || index == 0)
        return false;
    // Every prefix of kLookAheadBits bits that starts with a code no longer maps to it.
    int next = 0;
    for (int length = 1; length <= kLookAheadBits; ++length) {
        const int n = counts[length - 1];
        for (int i = 0; i < n; ++i, ++next) {
            const int prefix = table.minCode[length] + i;
            const int spread = 1 << (kLookAheadBits - length);
            for (int j = 0; j < spread; ++j)
                table.fast[static_cast<std::size_t>(prefix << (kLookAheadBits - length) | j)] =
                    static_cast<std::uint16_t>(length << 8 | values[static_cast<std::size_t>(next)]);
        }
    }
    for (std::size_t bits = 0; bits < table.fast.size(); ++bits) {
        const std::uint16_t hit = table.fast[bits];
        if (hit == 0)
            continue;
        const int codeLength = hit >> 8, rs = hit & 0xFF, size = rs & 15;
        if (size == 0 || codeLength + size > kLookAheadBits)
            continue;
        const int v = static_cast<int>(bits >> (kLookAheadBits - codeLength - size)) & ((1 << size) - 1);
        auto& entry = table.fastCoefficient[bits];
        entry.value = static_cast<std::int16_t>(v < (1 << (size - 1)) ? v - (1 << size) + 1 : v);
        entry.run = static_cast<std::uint8_t>(rs >> 4);
        entry.length = static_cast<std::uint8_t>(codeLength + size);
    }
    table.values = std::move(values);
    table.defined = true;
    return true;
}

}  // namespace

namespace {

// Reads the marker segments from `pos` on into `layout` up to the next scan's header, and gives
// that scan's layout (or, after a progressive JPEG's scans, where the image ends).
std::optional<JpegScanLayout> ReadSegments(ByteSource& file, std::uint64_t pos, JpegScanLayout layout, bool progressive)
{
    using FrameComponent = JpegScanLayout::FrameComponent;
    std::vector<FrameComponent>& frame = layout.frame;
    layout.components.clear();
    for (int segments = 0; segments < 512; ++segments) {
        auto ff = ReadU8(file, pos);
        while (ff && *ff == 0xFF) {
            const auto next = ReadU8(file, pos + 1);
            if (!next || *next != 0xFF)
                break;
            ++pos;  // fill bytes
        }
        const auto marker = ReadU8(file, pos + 1);
        if (progressive && layout.progressive && ff && *ff == 0xFF && marker && *marker == kEoi) {
            layout.imageEnd = pos + 2;
            return layout;
        }
        const auto length = ReadU16(file, pos + 2, ByteOrder::Big);
        if (!ff || *ff != 0xFF || !marker || !length || *length < 2)
            return std::nullopt;
        const std::uint64_t payload = pos + 4;
        const std::uint64_t end = pos + 2 + *length;
        std::vector<unsigned char> bytes(*length - 2);
        if (!ReadExactly(file, payload, bytes))
            return std::nullopt;
        const int m = *marker;
        const bool readSilently = (m >= 0xE0 && m <= 0xEF) || m == 0xFE || m == kDqt || m == kDht || m == kDri ||
                                  m == 0xC0 || m == 0xC1 || m == kSos || (progressive && m == 0xC2);
        if (!readSilently)
            layout.libjpegReadsSilently = false;
        if (m == 0xC0 || m == 0xC1 || (progressive && m == 0xC2)) {
            if (!frame.empty() && layout.progressive)
                return std::nullopt;  // a frame among a progressive JPEG's scans
            layout.progressive = m == 0xC2;
            if (bytes.size() < 6 || bytes[0] != 8)
                return std::nullopt;
            if (!frame.empty())
                layout.libjpegReadsSilently = false;  // a second frame
            layout.height = bytes[1] << 8 | bytes[2];
            layout.width = bytes[3] << 8 | bytes[4];
            const int count = bytes[5];
            if (count < 1 || count > 4 || bytes.size() != 6u + 3u * count || layout.width == 0 || layout.height == 0)
                return std::nullopt;
            for (int c = 0; c < count; ++c) {
                const unsigned char* p = &bytes[6 + 3 * c];
                const int h = p[1] >> 4, v = p[1] & 15;
                if (h < 1 || h > 4 || v < 1 || v > 4 || p[2] > 3)
                    return std::nullopt;
                frame.push_back({p[0], h, v, p[2]});
            }
            int hMax = 1, vMax = 1;
            for (const FrameComponent& c : frame)
                hMax = std::max(hMax, c.h), vMax = std::max(vMax, c.v);
            for (std::size_t c = 0; c < frame.size(); ++c) {
                const bool repeated = std::any_of(frame.begin(), frame.begin() + static_cast<long>(c),
                                                  [&](const FrameComponent& earlier) { return earlier.id == frame[c].id; });
                if (repeated || hMax % frame[c].h != 0 || vMax % frame[c].v != 0)
                    layout.libjpegReadsSilently = false;
            }
            if ((count != 1 && count != 3) || layout.width > kLibjpegMaxDimension || layout.height > kLibjpegMaxDimension)
                layout.libjpegReadsSilently = false;
        } else if ((m >= 0xC2 && m <= 0xCF && m != kDht && m != 0xC8 && m != 0xCC && !(progressive && m == 0xC2)) ||
                   m == 0xCC) {
            return std::nullopt;  // progressive, lossless or arithmetic coding
        } else if (m == kDqt) {
            std::size_t at = 0;
            while (at < bytes.size()) {
                const int precision = bytes[at] >> 4, id = bytes[at] & 15;
                const std::size_t size = precision == 0 ? 64 : 128;
                if (precision > 1 || id > 3 || at + 1 + size > bytes.size())
                    return std::nullopt;
                for (int k = 0; k < 64; ++k)
                    layout.quant[id][k] = precision == 0 ? bytes[at + 1 + k]
                                                         : static_cast<std::uint16_t>(bytes[at + 1 + 2 * k] << 8 | bytes[at + 2 + 2 * k]);
                layout.quantDefined[id] = true;
                at += 1 + size;
            }
        } else if (m == kDht) {
            std::size_t at = 0;
            while (at < bytes.size()) {
                if (at + 17 > bytes.size())
                    return std::nullopt;
                const int tableClass = bytes[at] >> 4, id = bytes[at] & 15;
                int total = 0;
                for (int i = 1; i <= 16; ++i)
                    total += bytes[at + i];
                if (tableClass > 1 || id > 3 || at + 17 + total > bytes.size())
                    return std::nullopt;
                std::vector<std::uint8_t> values(bytes.begin() + static_cast<long>(at + 17),
                                                 bytes.begin() + static_cast<long>(at + 17 + total));
                auto& table = tableClass == 0 ? layout.dc[id] : layout.ac[id];
                table = {};
                bool allOnesCode = false;
                if (!BuildTable(table, &bytes[at + 1], std::move(values), allOnesCode))
                    return std::nullopt;
                if (allOnesCode || total > 256)
                    layout.libjpegReadsSilently = false;
                at += 17 + total;
            }
        } else if (m == kDri) {
            if (bytes.size() != 2)
                return std::nullopt;
            layout.restartInterval = bytes[0] << 8 | bytes[1];
        } else if (m == kSos) {
            const std::size_t count = bytes.empty() ? 0 : bytes[0];
            if (frame.empty() || count == 0 || bytes.size() != 4u + 2u * count ||
                (layout.progressive ? count > frame.size() : count != frame.size()))
                return std::nullopt;
            const std::size_t tail = 1 + 2 * count;
            if (layout.progressive) {
                layout.spectralFirst = bytes[tail];
                layout.spectralLast = bytes[tail + 1];
                layout.bitHigh = bytes[tail + 2] >> 4;
                layout.bitLow = bytes[tail + 2] & 15;
                const bool dc = layout.spectralFirst == 0;
                if (layout.spectralLast > 63 || layout.spectralFirst > layout.spectralLast ||
                    dc != (layout.spectralLast == 0) || (!dc && count != 1) || layout.bitLow > 13 ||
                    (layout.bitHigh != 0 && layout.bitHigh != layout.bitLow + 1))
                    return std::nullopt;
            } else if (bytes[tail] != 0 || bytes[tail + 1] != 63 || bytes[tail + 2] != 0) {
                return std::nullopt;  // not a sequential scan
            }
            // The tables a scan decodes with: both in a sequential scan; a progressive DC scan's
            // DC table (none when it refines), an AC scan's AC table.
            const bool needsDc = !layout.progressive || (layout.spectralFirst == 0 && layout.bitHigh == 0);
            const bool needsAc = !layout.progressive || layout.spectralFirst > 0;
            int hMax = 1, vMax = 1;
            for (const FrameComponent& c : frame)
                hMax = std::max(hMax, c.h), vMax = std::max(vMax, c.v);
            for (std::size_t s = 0; s < count; ++s) {
                const int id = bytes[1 + 2 * s];
                const auto found = std::find_if(frame.begin(), frame.end(), [&](const FrameComponent& c) { return c.id == id; });
                const int td = bytes[2 + 2 * s] >> 4, ta = bytes[2 + 2 * s] & 15;
                if (found == frame.end() || td > 3 || ta > 3 || (needsDc && !layout.dc[td].defined) ||
                    (needsAc && !layout.ac[ta].defined) || !layout.quantDefined[found->quantTable])
                    return std::nullopt;
                const auto& dcValues = layout.dc[td].values;
                if (std::any_of(dcValues.begin(), dcValues.end(), [](std::uint8_t symbol) { return symbol > 15; }))
                    layout.libjpegReadsSilently = false;
                for (std::size_t earlier = 0; earlier < s; ++earlier)
                    if (bytes[1 + 2 * earlier] == id)
                        layout.libjpegReadsSilently = false;
                JpegScanLayout::Component component;
                // A lone component is coded one block at a time, whatever its sampling factors.
                component.h = count == 1 ? 1 : found->h;
                component.v = count == 1 ? 1 : found->v;
                component.quantTable = found->quantTable;
                component.dcTable = td;
                component.acTable = ta;
                component.frameIndex = static_cast<int>(found - frame.begin());
                layout.components.push_back(component);
            }
            if (count == 1) {
                // The component's own blocks, as far as its samples go.
                const FrameComponent& only = frame[static_cast<std::size_t>(layout.components[0].frameIndex)];
                const int width = (layout.width * only.h + hMax - 1) / hMax, height = (layout.height * only.v + vMax - 1) / vMax;
                layout.mcusPerLine = static_cast<std::uint32_t>((width + 7) / 8);
                layout.mcuRows = static_cast<std::uint32_t>((height + 7) / 8);
            } else {
                layout.mcusPerLine = static_cast<std::uint32_t>((layout.width + 8 * hMax - 1) / (8 * hMax));
                layout.mcuRows = static_cast<std::uint32_t>((layout.height + 8 * vMax - 1) / (8 * vMax));
            }
            layout.scanDataStart = end;
            int blocks = 0;
            for (const auto& c : layout.components)
                blocks += c.h * c.v;
            if (blocks > 10)
                return std::nullopt;
            return layout;
        } else if (m == kEoi || m == kSoi || (m >= 0xD0 && m <= 0xD7) || m < 0xC0) {
            return std::nullopt;
        }
        pos = end;
    }
    return std::nullopt;
}

std::optional<JpegScanLayout> ReadFirstScan(ByteSource& file, bool progressive)
{
    const auto soi = ReadU16(file, 0, ByteOrder::Big);
    if (!soi || *soi != (0xFF00 | kSoi))
        return std::nullopt;
    return ReadSegments(file, 2, JpegScanLayout{}, progressive);
}

}  // namespace

std::optional<JpegScanLayout> ReadJpegScanLayout(ByteSource& file)
{
    return ReadFirstScan(file, false);
}

std::optional<JpegScanLayout> ReadFirstJpegScan(ByteSource& file)
{
    return ReadFirstScan(file, true);
}

std::optional<JpegScanLayout> ReadNextJpegScan(ByteSource& file, std::uint64_t offset, const JpegScanLayout& previous)
{
    if (!previous.progressive)
        return std::nullopt;
    return ReadSegments(file, offset, previous, true);
}

bool JpegCoefficients::Reset(const JpegScanLayout& layout, std::uint64_t maxBlocks)
{
    int hMax = 1, vMax = 1;
    for (const auto& c : layout.frame)
        hMax = std::max(hMax, c.h), vMax = std::max(vMax, c.v);
    // Every component's blocks in whole MCUs (of an interleaved scan), a lone one's as far as its
    // samples go, as the scans visit them.
    const std::uint64_t mcusAcross = (static_cast<std::uint64_t>(layout.width) + 8 * hMax - 1) / (8 * hMax);
    const std::uint64_t mcusDown = (static_cast<std::uint64_t>(layout.height) + 8 * vMax - 1) / (8 * vMax);
    start_.clear();
    perLine_.clear();
    std::uint64_t blocks = 0;
    for (const auto& c : layout.frame) {
        const bool lone = layout.frame.size() == 1;
        const std::uint64_t across = lone ? (static_cast<std::uint64_t>(layout.width) + 7) / 8 : mcusAcross * c.h;
        const std::uint64_t down = lone ? (static_cast<std::uint64_t>(layout.height) + 7) / 8 : mcusDown * c.v;
        start_.push_back(blocks);
        perLine_.push_back(across);
        blocks += across * down;
        if (blocks > maxBlocks)
            return false;
    }
    values_.assign(64 * blocks, 0);
    return true;
}

JpegEntropyDecoder::JpegEntropyDecoder(const JpegScanLayout& layout, ByteSource& file)
    : layout_(layout), file_(&file), mcuCount_(layout.McuCount())
{
    state_.position = layout.scanDataStart;
}

void JpegEntropyDecoder::SetSource(ByteSource& file)
{
    file_ = &file;
    zeroRunsPassedTo_ = 0;  // the runs judged lay in the file as laid before
    windowStart_ = UINT64_MAX;
    windowBytes_ = 0;
}

inline int JpegEntropyDecoder::Byte(std::uint64_t offset)
{
    if (offset - windowStart_ >= windowBytes_ || windowStart_ == UINT64_MAX) {
        windowStart_ = offset;
        windowBytes_ = file_->ReadAt(offset, window_);
        if (windowBytes_ == 0)
            return -1;
    }
    return window_[offset - windowStart_];
}

inline void JpegEntropyDecoder::Fill()
{
    // Most coded bytes are neither 0x00 nor 0xFF: eight of them at once when the window holds
    // them, taking as many whole bytes as the buffer has room for.
    if (state_.bitCount <= 56 && !state_.atMarker && windowStart_ != UINT64_MAX &&
        state_.position - windowStart_ < windowBytes_ && windowBytes_ - (state_.position - windowStart_) >= 8) {
        std::uint64_t word;
        std::memcpy(&word, &window_[state_.position - windowStart_], 8);
        constexpr std::uint64_t kLow = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
        const auto hasZeroByte = [](std::uint64_t v) { return ((v - kLow) & ~v & kHigh) != 0; };
        if (!hasZeroByte(word) && !hasZeroByte(~word)) {
            const int take = (64 - state_.bitCount) / 8;
            const int kept = state_.bitCount + 8 * take;
            std::uint64_t incoming = __builtin_bswap64(word) >> state_.bitCount;
            if (kept < 64)
                incoming &= ~((std::uint64_t{1} << (64 - kept)) - 1);
            state_.bits |= incoming;
            state_.bitCount = kept;
            state_.position += static_cast<std::uint64_t>(take);
            state_.zeroRun = 0;
        }
    }
    while (state_.bitCount <= 56 && !state_.atMarker) {
        const int b = Byte(state_.position);
        if (b < 0) {
            state_.atMarker = true;  // the bytes ran out: nothing more to read
            return;
        }
        // Coded data never holds a long run of zero bytes (all-zero bits decode as valid codes
        // in common tables): such a run is an empty area of the card, where the data ends.
        state_.zeroRun = b == 0 ? state_.zeroRun + 1 : 0;
        if (state_.zeroRun == kLongestZeroRun) {
            if (state_.position > zeroRunsPassedTo_) {
                zeroStopAt_ = state_.position;
                stoppedAtZeros_ = true;
                state_.atMarker = true;
                return;
            }
            // The picture's own: the rest of this run is read as data.
            state_.zeroRun = kLongestZeroRun + 1;
        }
        if (b == 0xFF) {
            // Inside the data only a stuffed zero may follow; anything else is a marker.
            if (Byte(state_.position + 1) != 0x00) {
                state_.atMarker = true;
                return;
            }
            state_.position += 2;
        } else {
            state_.position += 1;
        }
        state_.bits |= static_cast<std::uint64_t>(b) << (56 - state_.bitCount);
        state_.bitCount += 8;
    }
}

bool JpegEntropyDecoder::Bits(int count, int& value)
{
    if (count == 0) {
        value = 0;
        return true;
    }
    if (state_.bitCount < count) {
        Fill();
        if (state_.bitCount < count)
            return false;  // the data ends inside an MCU
    }
    value = static_cast<int>(state_.bits >> (64 - count));
    state_.bits <<= count;
    state_.bitCount -= count;
    return true;
}

inline bool JpegEntropyDecoder::Decode(const JpegScanLayout::HuffmanTable& table, int& symbol)
{
    if (state_.bitCount < 16)
        Fill();
    if (state_.bitCount >= kLookAheadBits) {
        const std::uint16_t hit = table.fast[static_cast<std::size_t>(state_.bits >> (64 - kLookAheadBits))];
        if (hit != 0) {
            const int length = hit >> 8;
            state_.bits <<= length;
            state_.bitCount -= length;
            symbol = hit & 0xFF;
            return true;
        }
    }
    int code = 0;
    for (int length = 1; length <= 16; ++length) {
        int bit;
        if (!Bits(1, bit))
            return false;
        code = code << 1 | bit;
        if (code <= table.maxCode[length]) {
            symbol = table.values[static_cast<std::size_t>(table.valueIndex[length] + code - table.minCode[length])];
            return true;
        }
    }
    return false;  // no code of this table
}

bool JpegEntropyDecoder::DecodeBlock(const JpegScanLayout::Component& component, int index, BlockCoefficients* coefficients)
{
    const auto& quant = layout_.quant[component.quantTable];
    const auto& dcTable = layout_.dc[component.dcTable];
    const auto& acTable = layout_.ac[component.acTable];
    // One symbol and its value: a code of up to 16 bits and up to 11 more; read ahead once.
    const auto symbol = [this](const JpegScanLayout::HuffmanTable& table, int& value) {
        if (state_.bitCount < 32)
            Fill();
        return Decode(table, value);
    };
    const auto receive = [this](int count, int& value) {
        if (count == 0) {
            value = 0;
            return true;
        }
        if (state_.bitCount < count)
            return false;  // the data ends inside the MCU
        const int v = static_cast<int>(state_.bits >> (64 - count));
        state_.bits <<= count;
        state_.bitCount -= count;
        // The JPEG sign extension: a leading 0 bit means a negative value.
        value = v < (1 << (count - 1)) ? v - (1 << count) + 1 : v;
        return true;
    };

    int category;
    if (!symbol(dcTable, category) || category > 11)
        return false;
    int diff;
    if (!receive(category, diff))
        return false;
    int& predictor = state_.predictor[index];
    predictor += diff;
    const int dcValue = predictor * quant[0];
    if (std::abs(dcValue) > kCoefficientLimit)
        return false;
    if (coefficients != nullptr) {
        coefficients->values[0] = static_cast<std::int16_t>(dcValue);
        coefficients->nonzero = dcValue != 0 ? 1 : 0;
    }
    for (int k = 1; k < 64;) {
        if (state_.bitCount < 32)
            Fill();
        // Most coefficients: their code and value bits in one look-up, with the bit buffer in
        // locals (the window is bytes, which the compiler must assume may alias the state).
        std::uint64_t bits = state_.bits;
        int count = state_.bitCount;
        bool fastOnes = false;
        while (count >= 32 && k < 64) {
            const auto& fast = acTable.fastCoefficient[static_cast<std::size_t>(bits >> (64 - kLookAheadBits))];
            if (fast.length == 0)
                break;
            k += fast.run;
            if (k > 63 || std::abs(fast.value * quant[k]) > 2 * kCoefficientLimit)
                return false;
            if (coefficients != nullptr)
                coefficients->Set(k, fast.value * quant[k]);
            bits <<= fast.length;
            count -= fast.length;
            ++k;
            fastOnes = true;
        }
        state_.bits = bits;
        state_.bitCount = count;
        if (fastOnes)
            continue;
        if (count >= kLookAheadBits) {
            const auto& fast = acTable.fastCoefficient[static_cast<std::size_t>(state_.bits >> (64 - kLookAheadBits))];
            if (fast.length != 0) {
                k += fast.run;
                if (k > 63 || std::abs(fast.value * quant[k]) > 2 * kCoefficientLimit)
                    return false;
                if (coefficients != nullptr)
                    coefficients->Set(k, fast.value * quant[k]);
                state_.bits <<= fast.length;
                state_.bitCount -= fast.length;
                ++k;
                continue;
            }
        }
        int rs;
        if (!symbol(acTable, rs))
            return false;
        const int run = rs >> 4, size = rs & 15;
        if (size == 0) {
            if (run == 15) {
                k += 16;
                if (k > 64)
                    return false;
                continue;
            }
            if (run != 0)
                return false;  // only EOB and ZRL have no size
            break;
        }
        k += run;
        if (k > 63 || size > 10)
            return false;
        int value;
        if (!receive(size, value))
            return false;
        if (std::abs(value * quant[k]) > 2 * kCoefficientLimit)
            return false;
        if (coefficients != nullptr)
            coefficients->Set(k, value * quant[k]);
        ++k;
    }
    return true;
}

int JpegEntropyDecoder::MarkerAfterData(std::uint64_t& at)
{
    // What is left of the last byte is padding; a whole byte more is data where none belongs.
    Fill();
    if (state_.bitCount >= 8 || !state_.atMarker)
        return -1;
    at = state_.position;
    if (Byte(at) != 0xFF)
        return -1;
    while (Byte(at + 1) == 0xFF)
        ++at;  // fill bytes
    return Byte(at + 1);
}

bool JpegEntropyDecoder::TakeRestartMarker()
{
    std::uint64_t at = 0;
    if (MarkerAfterData(at) != 0xD0 + state_.nextRestart)
        return false;
    state_.bits = 0;
    state_.bitCount = 0;
    state_.position = at + 2;
    state_.atMarker = false;
    state_.nextRestart = (state_.nextRestart + 1) & 7;
    state_.predictor = {};
    return true;
}

bool JpegEntropyDecoder::TakeEndMarker()
{
    std::uint64_t at = 0;
    if (MarkerAfterData(at) != kEoi)
        return false;
    endOffset_ = at + 2;
    return true;
}

bool JpegEntropyDecoder::Receive(int count, int& value)
{
    if (!Bits(count, value))
        return false;
    // The JPEG sign extension: a leading 0 bit means a negative value.
    if (count > 0 && value < (1 << (count - 1)))
        value = value - (1 << count) + 1;
    return true;
}

bool JpegEntropyDecoder::TakeScanEnd()
{
    // After a progressive scan's last MCU: padding, then a marker that is no restart marker.
    std::uint64_t at = 0;
    const int marker = MarkerAfterData(at);
    if (stoppedAtZeros_ || marker <= 0 || (marker >= 0xD0 && marker <= 0xD7))
        return false;
    endOffset_ = at;
    return true;
}

template <typename Visit>
bool JpegEntropyDecoder::ForEachBlock(std::uint64_t mcu, Visit&& block)
{
    const std::uint64_t row = mcu / layout_.mcusPerLine, column = mcu % layout_.mcusPerLine;
    for (std::size_t c = 0; c < layout_.components.size(); ++c) {
        const auto& component = layout_.components[c];
        for (int y = 0; y < component.v; ++y)
            for (int x = 0; x < component.h; ++x)
                if (!block(c, coefficients_->Block(component.frameIndex, row * static_cast<std::uint64_t>(component.v) + y,
                                                   column * static_cast<std::uint64_t>(component.h) + x)))
                    return false;
    }
    return true;
}

void JpegEntropyDecoder::Unrefine(std::int16_t* coefficients) const
{
    // A first scan set its band from nothing; a refinement added the bit at bitLow (those before
    // were multiples of the bit above it): to a DC value's two's complement, to an AC value's
    // magnitude.
    if (layout_.spectralFirst == 0 && layout_.bitHigh != 0) {
        coefficients[0] = static_cast<std::int16_t>(coefficients[0] & ~(1 << layout_.bitLow));
        return;
    }
    for (int k = layout_.spectralFirst; k <= layout_.spectralLast; ++k) {
        if (layout_.bitHigh == 0) {
            coefficients[k] = 0;
        } else {
            const int magnitude = std::abs(coefficients[k]) & ~(1 << layout_.bitLow);
            coefficients[k] = static_cast<std::int16_t>(coefficients[k] < 0 ? -magnitude : magnitude);
        }
    }
}

void JpegEntropyDecoder::TakeBack(std::uint64_t mcu)
{
    if (coefficients_ != nullptr && mcu < mcuCount_)
        ForEachBlock(mcu, [&](std::size_t, std::int16_t* coefficients) {
            Unrefine(coefficients);
            return true;
        });
}

bool JpegEntropyDecoder::DecodeProgressiveBlock(const JpegScanLayout::Component& component, int index,
                                                std::int16_t* block)
{
    const int low = layout_.bitLow, first = layout_.spectralFirst, last = layout_.spectralLast;
    const auto& quant = layout_.quant[component.quantTable];
    if (first == 0) {
        if (layout_.bitHigh != 0) {
            int bit;
            if (!Bits(1, bit))
                return false;
            if (bit != 0)
                block[0] = static_cast<std::int16_t>(block[0] | (1 << low));
            return true;
        }
        int category, diff;
        if (!Decode(layout_.dc[component.dcTable], category) || category > 11 || !Receive(category, diff))
            return false;
        int& predictor = state_.predictor[static_cast<std::size_t>(index)];
        predictor += diff;
        if (std::abs((predictor << low) * quant[0]) > kCoefficientLimit)
            return false;
        block[0] = static_cast<std::int16_t>(predictor << low);
        return true;
    }
    const auto& table = layout_.ac[component.acTable];
    if (layout_.bitHigh == 0) {
        // A first AC scan: runs of zeros and values, or an end-of-band run over blocks.
        if (state_.endOfBands > 0) {
            --state_.endOfBands;
            return true;
        }
        for (int k = first; k <= last; ++k) {
            int rs;
            if (!Decode(table, rs))
                return false;
            const int run = rs >> 4, size = rs & 15;
            if (size == 0) {
                if (run == 15) {
                    k += 15;
                    if (k > last)
                        return false;
                    continue;
                }
                int extra = 0;
                if (!Bits(run, extra))
                    return false;
                state_.endOfBands = (1u << run) - 1 + static_cast<std::uint32_t>(extra);
                return true;
            }
            k += run;
            int value;
            if (k > last || size > 10 || !Receive(size, value) ||
                std::abs((value * (1 << low)) * quant[k]) > 2 * kCoefficientLimit)
                return false;
            block[k] = static_cast<std::int16_t>(value * (1 << low));
        }
        return true;
    }
    // An AC refinement: a correction bit for each coefficient already set, and new ones of ±1
    // (at bitLow) after runs of zeros that skip those already set.
    const int plus = 1 << low, minus = -(1 << low);
    const auto correct = [&](std::int16_t& coefficient) {
        int bit;
        if (!Bits(1, bit))
            return false;
        if (bit != 0 && (coefficient & plus) == 0)
            coefficient = static_cast<std::int16_t>(coefficient + (coefficient >= 0 ? plus : minus));
        return true;
    };
    int k = first;
    if (state_.endOfBands == 0) {
        for (; k <= last; ++k) {
            int rs;
            if (!Decode(table, rs))
                return false;
            int run = rs >> 4;
            const int size = rs & 15;
            int value = 0;
            if (size == 1) {
                int bit;
                if (!Bits(1, bit))
                    return false;
                value = bit != 0 ? plus : minus;
            } else if (size != 0) {
                return false;
            } else if (run != 15) {
                int extra = 0;
                if (!Bits(run, extra))
                    return false;
                state_.endOfBands = (1u << run) + static_cast<std::uint32_t>(extra);
                break;
            }
            for (; k <= last; ++k) {
                std::int16_t& coefficient = block[k];
                if (coefficient != 0) {
                    if (!correct(coefficient))
                        return false;
                } else if (run-- == 0) {
                    break;
                }
            }
            if (k > last)
                return value == 0;  // a new value past the band's end
            if (value != 0)
                block[k] = static_cast<std::int16_t>(value);
        }
    }
    if (state_.endOfBands > 0) {
        for (; k <= last; ++k)
            if (block[k] != 0 && !correct(block[k]))
                return false;
        --state_.endOfBands;
    }
    return true;
}

JpegEntropyDecoder::Step JpegEntropyDecoder::NextProgressive()
{
    if (coefficients_ == nullptr)
        return Step::Error;
    if (state_.mcu >= mcuCount_)
        return TakeScanEnd() ? Step::End : Step::Error;
    if (layout_.restartInterval != 0 && state_.mcu != 0 && state_.mcu % layout_.restartInterval == 0) {
        if (!TakeRestartMarker())
            return Step::Error;
        state_.endOfBands = 0;
    }
    const bool rewritten = state_.mcu < rewrittenBelow_;
    std::array<std::int16_t, 64> scratch;
    const bool decoded = ForEachBlock(state_.mcu, [&](std::size_t c, std::int16_t* stored) {
        std::copy_n(stored, 64, scratch.begin());
        if (rewritten)
            Unrefine(scratch.data());
        if (state_.bitCount < 32)
            Fill();
        if (!DecodeProgressiveBlock(layout_.components[c], static_cast<int>(c), scratch.data()))
            return false;
        if (write_)
            std::copy_n(scratch.begin(), 64, stored);
        return true;
    });
    if (!decoded)
        return Step::Error;
    ++state_.mcu;
    return Step::Decoded;
}

JpegEntropyDecoder::Step JpegEntropyDecoder::Next(LumaEdges* edges)
{
    if (layout_.progressive)
        return NextProgressive();
    if (state_.mcu >= layout_.McuCount())
        return TakeEndMarker() ? Step::End : Step::Error;
    if (layout_.restartInterval != 0 && state_.mcu != 0 && state_.mcu % layout_.restartInterval == 0 &&
        !TakeRestartMarker())
        return Step::Error;
    BlockCoefficients coefficients;
    for (std::size_t c = 0; c < layout_.components.size(); ++c) {
        const auto& component = layout_.components[c];
        const bool luma = c == 0 && edges != nullptr;
        for (int b = 0; b < component.h * component.v; ++b) {
            if (!DecodeBlock(component, static_cast<int>(c), luma ? &coefficients : nullptr))
                return Step::Error;
            if (luma)
                AddBlockEdges(coefficients, b % component.h, b / component.h, component.h, component.v, *edges);
        }
    }
    ++state_.mcu;
    return Step::Decoded;
}

}  // namespace quorvex
