#include "JpegDataCheck.h"

#include "JpegEntropy.h"

#include <array>
#include <cstring>
#include <vector>

namespace quorvex {

namespace {

constexpr int kEoi = 0xD9;

std::uint64_t LoadBigEndian64(const unsigned char* p)
{
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return __builtin_bswap64(v);
}

// The coded bytes of one restart interval with the stuffed zeros taken out, and the marker after
// them. Fill bytes (FF FF) inside the data, which libjpeg reads in its own way, are not handled.
struct Segment {
    std::size_t dataBytes = 0;
    std::size_t markerAt = 0;  // the FF of the marker that ends the segment
    int marker = -1;           // -1: none before the end of the file, or a fill byte in the data
};

Segment Unstuff(std::span<const unsigned char> file, std::size_t from, std::vector<unsigned char>& out)
{
    Segment segment;
    out.clear();
    std::size_t at = from;
    for (;;) {
        const void* found = std::memchr(file.data() + at, 0xFF, file.size() - at);
        const std::size_t ff = found ? static_cast<std::size_t>(static_cast<const unsigned char*>(found) - file.data())
                                     : file.size();
        out.insert(out.end(), file.data() + at, file.data() + ff);
        if (ff + 1 >= file.size())
            return segment;
        const unsigned char next = file[ff + 1];
        if (next == 0x00) {
            out.push_back(0xFF);
            at = ff + 2;
            continue;
        }
        // Fill bytes before a marker are skipped by libjpeg without a word; before a zero it takes
        // them as data in a way of its own.
        std::size_t marker = ff + 1;
        while (marker < file.size() && file[marker] == 0xFF)
            ++marker;
        if (marker >= file.size() || file[marker] == 0x00)
            return segment;
        segment.dataBytes = out.size();
        segment.markerAt = marker - 1;
        segment.marker = file[marker];
        return segment;
    }
}

// What the next kLookAheadBits bits say when they begin with a whole code: the bits to drop (the
// code and the value bits after it, which are never needed) and how far the coefficient index
// moves (64 for the end of a block). 0: a longer code, or none; the table's own codes decide.
struct SkipTable {
    std::array<std::uint16_t, 1u << kLookAheadBits> entries{};

    static std::uint16_t Entry(int bits, int advance) { return static_cast<std::uint16_t>(bits | advance << 5); }

    explicit SkipTable(const JpegScanLayout::HuffmanTable& table, bool dc)
    {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const std::uint16_t hit = table.fast[i];
            if (hit != 0)
                entries[i] = Entry((hit >> 8) + (hit & 15), dc ? 0 : Advance(hit & 0xFF));
        }
    }
    // As libjpeg moves through a block: a value moves past its run of zeros, ZRL past sixteen
    // zeros, any other symbol without a value ends the block.
    static int Advance(int symbol)
    {
        const int run = symbol >> 4, size = symbol & 15;
        if (size != 0)
            return run + 1;
        return run == 15 ? 16 : 64;
    }
};

// Reads the codes of a segment's MCUs from the top of a 64-bit buffer. The data is followed by
// zero bytes, so the reads just past its end see zeros, as libjpeg's do; Consumed() tells.
class CodeReader {
public:
    // Zeros after the data: enough for the MCU that runs past it (at most ten blocks of 64 codes
    // of 31 bits), after which the reading stops.
    static constexpr std::size_t kPadding = 4096;

    CodeReader(const unsigned char* data, std::size_t bytes) : data_(data), bytes_(bytes) {}

    std::uint64_t Consumed() const { return position_ * 8 - static_cast<std::uint64_t>(count_); }

    // False for a code no table has, or once the codes have run past the data.
    bool Mcu(const JpegScanLayout& layout, const std::vector<SkipTable>& dc, const std::vector<SkipTable>& ac)
    {
        if (position_ > bytes_ + 16)
            return false;  // more than the buffer's 8 bytes past the data: read beyond it
        // The bit buffer lives in locals here: the data is bytes, which the compiler must assume
        // may alias the reader's own members.
        Bits state{bits_, count_, position_};
        for (std::size_t c = 0; c < layout.components.size(); ++c) {
            const auto& component = layout.components[c];
            for (int b = component.h * component.v; b > 0; --b)
                if (!Block(state, layout.dc[component.dcTable], dc[c], layout.ac[component.acTable], ac[c]))
                    return false;
        }
        bits_ = state.bits;
        count_ = state.count;
        position_ = state.position;
        return true;
    }

private:
    struct Bits {
        std::uint64_t bits;
        int count;
        std::size_t position;

        // Tops the buffer up to 56..63 bits without a branch: whatever the count, two codes with
        // their values (at most 2 × 26 bits from the look-up) fit in what is there after it.
        void Refill(const unsigned char* data)
        {
            bits |= LoadBigEndian64(data + position) >> count;
            position += static_cast<std::size_t>((63 - count) >> 3);
            count |= 56;
        }
        void Drop(int n)
        {
            bits <<= n;
            count -= n;
        }
        std::size_t Peek() const { return static_cast<std::size_t>(bits >> (64 - kLookAheadBits)); }
        // A code longer than the look-up: its symbol, by the table's own codes; false for none.
        bool LongSymbol(const JpegScanLayout::HuffmanTable& table, int& symbol)
        {
            for (int length = kLookAheadBits + 1; length <= 16; ++length) {
                const auto code = static_cast<std::int32_t>(bits >> (64 - length));
                const auto l = static_cast<std::size_t>(length);
                if (code <= table.maxCode[l]) {
                    symbol = table.values[static_cast<std::size_t>(table.valueIndex[l] + code - table.minCode[l])];
                    Drop(length);
                    return true;
                }
            }
            return false;
        }
    };

    bool Block(Bits& state, const JpegScanLayout::HuffmanTable& dcTable, const SkipTable& dc,
               const JpegScanLayout::HuffmanTable& acTable, const SkipTable& ac) const
    {
        Bits s = state;
        s.Refill(data_);
        if (const std::uint16_t entry = dc.entries[s.Peek()]; entry != 0) {
            s.Drop(entry & 31);
        } else {
            int size;
            if (!s.LongSymbol(dcTable, size))
                return false;
            s.Drop(size);
        }
        for (int k = 1; k < 64;) {
            s.Refill(data_);
            // Two codes from the look-up per top-up; the second only while the block goes on.
            std::uint16_t entry = ac.entries[s.Peek()];
            if (entry != 0) {
                s.Drop(entry & 31);
                k += entry >> 5;
                if (k >= 64)
                    break;
                entry = ac.entries[s.Peek()];
                if (entry != 0) {
                    s.Drop(entry & 31);
                    k += entry >> 5;
                    continue;
                }
                s.Refill(data_);
            }
            int symbol;
            if (!s.LongSymbol(acTable, symbol))
                return false;
            s.Drop(symbol & 15);
            k += SkipTable::Advance(symbol);
        }
        state = s;
        return true;
    }

    const unsigned char* data_;
    std::size_t bytes_;
    std::size_t position_ = 0;
    std::uint64_t bits_ = 0;
    int count_ = 0;
};

}  // namespace

bool JpegDataCertainlyClean(std::span<const unsigned char> file)
{
    MemoryByteSource source(file);
    const std::optional<JpegScanLayout> layout = ReadJpegScanLayout(source);
    if (!layout || !layout->libjpegReadsSilently || layout->scanDataStart >= file.size())
        return false;
    static thread_local std::vector<unsigned char> data;
    std::vector<SkipTable> dc, ac;  // by scan component
    for (const auto& component : layout->components) {
        dc.emplace_back(layout->dc[component.dcTable], true);
        ac.emplace_back(layout->ac[component.acTable], false);
    }
    const std::uint64_t mcus = layout->McuCount();
    const std::uint64_t interval = layout->restartInterval != 0 ? layout->restartInterval : mcus;
    std::size_t at = static_cast<std::size_t>(layout->scanDataStart);
    int nextRestart = 0;
    for (std::uint64_t mcu = 0; mcu < mcus;) {
        const Segment segment = Unstuff(file, at, data);
        if (segment.marker < 0)
            return false;
        data.resize(segment.dataBytes + CodeReader::kPadding, 0);
        CodeReader reader(data.data(), segment.dataBytes);
        const std::uint64_t end = std::min(mcus, mcu + interval);
        for (; mcu < end; ++mcu)
            if (!reader.Mcu(*layout, dc, ac))
                return false;
        // Every code within the data, and no whole byte left before the marker (libjpeg skips
        // such bytes with a warning).
        const std::uint64_t bits = static_cast<std::uint64_t>(segment.dataBytes) * 8;
        if (reader.Consumed() > bits || bits - reader.Consumed() >= 8)
            return false;
        if (mcu < mcus) {
            if (segment.marker != 0xD0 + nextRestart)
                return false;
            nextRestart = (nextRestart + 1) & 7;
        } else if (segment.marker != kEoi) {
            return false;
        }
        at = segment.markerAt + 2;
    }
    return true;
}

}  // namespace quorvex
