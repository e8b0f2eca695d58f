#pragma once

#include "ByteSource.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace quorvex {

// Bits looked at at once to decode a Huffman code (and, for AC codes, the value after it).
inline constexpr int kLookAheadBits = 11;

// What a Huffman-coded JPEG's headers say, as far as decoding one scan's entropy-coded data goes
// (8-bit samples): a sequential JPEG's one scan that holds every component, or one scan of a
// progressive JPEG (its spectral band and bit position, its components).
struct JpegScanLayout {
    struct HuffmanTable {
        bool defined = false;
        std::array<std::int32_t, 18> maxCode{};  // by code length; -1 when no code has that length
        std::array<std::int32_t, 17> valueIndex{};
        std::array<std::int32_t, 17> minCode{};
        std::vector<std::uint8_t> values;
        // By the next kLookAheadBits bits: the code's length << 8 | its symbol, for codes that
        // fit in them; 0 for longer codes.
        std::array<std::uint16_t, 1u << kLookAheadBits> fast{};
        // For AC tables, by the next kLookAheadBits bits: a code and the value bits after it
        // when both fit in them (length 0 when they do not; never for EOB and ZRL).
        struct Coefficient {
            std::int16_t value = 0;
            std::uint8_t run = 0;
            std::uint8_t length = 0;
        };
        std::array<Coefficient, 1u << kLookAheadBits> fastCoefficient{};
    };
    struct Component {
        int h = 1, v = 1;
        int quantTable = 0;
        int dcTable = 0, acTable = 0;
        int frameIndex = 0;  // which of the frame's components
    };
    struct FrameComponent {
        int id = 0, h = 1, v = 1, quantTable = 0;
    };
    int width = 0, height = 0;
    std::vector<FrameComponent> frame;
    std::vector<Component> components;  // in scan order
    // A progressive scan: the coefficients it codes (zigzag indices first..last) and the bit
    // positions (high: the one refined before, 0 in a first scan; low: the one coded now).
    bool progressive = false;
    int spectralFirst = 0, spectralLast = 63, bitHigh = 0, bitLow = 0;
    // Set instead of a scan when the image ends: the file offset after its end marker.
    std::uint64_t imageEnd = 0;
    std::array<std::array<std::uint16_t, 64>, 4> quant{};  // in zigzag order
    std::array<bool, 4> quantDefined{};
    std::array<HuffmanTable, 4> dc, ac;
    std::uint32_t restartInterval = 0;
    std::uint32_t mcusPerLine = 0, mcuRows = 0;
    std::uint64_t scanDataStart = 0;  // the file offset of the first entropy-coded byte
    // Whether libjpeg reads these headers without a warning or an error, as far as that can be
    // told from them: only the markers it reads silently, one frame, pictures within its largest
    // size, one or three components of distinct ids and whole sampling ratios, Huffman tables
    // that pass its own checks (no all-ones code, DC symbols of at most 15).
    bool libjpegReadsSilently = true;

    std::uint64_t McuCount() const { return static_cast<std::uint64_t>(mcusPerLine) * mcuRows; }
    // The luminance (first) component's blocks per MCU across and down.
    int LumaAcross() const { return components[0].h; }
    int LumaDown() const { return components[0].v; }
};

// Reads the headers up to the first scan; nullopt for what the decoder below does not handle
// (progressive or arithmetic coding, a scan without every component, tables that are missing
// or malformed).
std::optional<JpegScanLayout> ReadJpegScanLayout(ByteSource& file);
// The same, progressive JPEGs too: their first scan.
std::optional<JpegScanLayout> ReadFirstJpegScan(ByteSource& file);
// The headers after a progressive scan whose data ends at `offset` (its marker there): the next
// scan, with the tables and frame of `previous` and those defined between, or imageEnd set when
// the image ends there; nullopt when no such headers are there.
std::optional<JpegScanLayout> ReadNextJpegScan(ByteSource& file, std::uint64_t offset, const JpegScanLayout& previous);

// A progressive JPEG's DCT coefficients so far (quantised, zigzag order), by frame component
// and block: what later scans refine.
class JpegCoefficients {
public:
    // Room for every block of the frame `layout` belongs to; false when it has more than
    // `maxBlocks`.
    bool Reset(const JpegScanLayout& layout, std::uint64_t maxBlocks);
    std::int16_t* Block(int frameComponent, std::uint64_t row, std::uint64_t column)
    {
        return &values_[64 * (start_[static_cast<std::size_t>(frameComponent)] +
                              row * perLine_[static_cast<std::size_t>(frameComponent)] + column)];
    }

private:
    std::vector<std::int16_t> values_;
    std::vector<std::uint64_t> start_, perLine_;
};

// Decodes a scan's entropy-coded data one MCU at a time, strictly: a code no table has, a run
// past the 64th coefficient, a coefficient out of an 8-bit picture's range, a marker inside an
// MCU, a restart marker missing or out of turn are errors. A long run of zero bytes ends the data
// too (an empty area of the card), unless it was passed: a flat area coded with tables whose
// shortest codes are all zeros makes such runs within a picture. Keeps only what judging a joint
// needs: the luminance DC values. Its state can be saved and restored, so that a decode can go
// on from any MCU over other bytes.
class JpegEntropyDecoder {
public:
    // Up to 64 bits are read ahead of the decode, never past a marker.
    struct State {
        std::uint64_t position = 0;  // the file offset of the next byte to read bits from
        std::uint64_t bits = 0;      // bits read and not used yet, from the top bit down
        int bitCount = 0;
        bool atMarker = false;       // the bytes at `position` are a marker: no more bits
        int zeroRun = 0;             // zero bytes read in a row
        std::array<int, 4> predictor{};
        std::uint64_t mcu = 0;       // MCUs decoded
        int nextRestart = 0;
        std::uint32_t endOfBands = 0;  // progressive AC scans: blocks left of an end-of-band run
    };
    enum class Step { Decoded, Error, End };
    // Progressive scans: their MCUs (blocks, in a scan of one component) read and refine
    // `coefficients`. When `write` is false nothing is changed (a trial); MCUs before
    // `rewrittenBelow` are read as they were before this scan (what a decode of it wrote is
    // taken back as it is read).
    void SetCoefficients(JpegCoefficients* coefficients, bool write, std::uint64_t rewrittenBelow = 0)
    {
        coefficients_ = coefficients;
        write_ = write;
        rewrittenBelow_ = rewrittenBelow;
    }
    // Takes back what this scan wrote into MCU `mcu` (of a progressive scan).
    void TakeBack(std::uint64_t mcu);
    // The MCUs (or blocks) of this scan.
    std::uint64_t McuCount() const { return mcuCount_; }

    JpegEntropyDecoder(const JpegScanLayout& layout, ByteSource& file);

    // The outermost pixels of an MCU's luminance, what judging how it meets its neighbours needs
    // (samples as a decoder shows them, 0 to 255): the top rows of its top blocks and the bottom
    // rows of its bottom blocks (LumaAcross × 8 each, left to right), the left columns of its left
    // blocks and the right columns of its right blocks (LumaDown × 8 each, top to bottom).
    struct LumaEdges {
        std::array<std::uint8_t, 32> top, bottom, left, right;
    };

    // A block's dequantised coefficients by zigzag index: those whose bit `nonzero` has are set,
    // the others zero.
    struct BlockCoefficients {
        std::array<std::int16_t, 64> values;
        std::uint64_t nonzero = 0;
        void Set(int k, int value)
        {
            values[static_cast<std::size_t>(k)] = static_cast<std::int16_t>(value);
            nonzero |= std::uint64_t{value != 0} << k;
        }
    };

    // Decodes the next MCU, and its luminance edges into `edges` unless that is null. End: every
    // MCU was decoded and the end marker follows; then EndOffset() is the file's length (a
    // progressive scan: the offset of the marker after its data, and no edges are set).
    Step Next(LumaEdges* edges = nullptr);

    const State& Current() const { return state_; }
    void Restore(const State& state)
    {
        state_ = state;
        stoppedAtZeros_ = false;
    }
    // Whether the last step ended at a long run of zero bytes rather than a marker or an error.
    bool StoppedAtZeros() const { return stoppedAtZeros_; }
    // Takes the run of zeros the last step stopped at, and those before it, for the picture's own,
    // and goes on from `state` (from before the run): the decode reads through them (until the
    // file is laid otherwise).
    void ResumeThroughZeros(const State& state)
    {
        zeroRunsPassedTo_ = std::max(zeroRunsPassedTo_, zeroStopAt_);
        Restore(state);
        // A state whose read-ahead had reached the run stopped there: it may read on.
        if (state_.atMarker && state_.position <= zeroRunsPassedTo_ && state_.zeroRun >= kZeroRunThatEnds)
            state_.atMarker = false;
    }
    // Zero bytes in a row that end the coded data (unless passed).
    static constexpr int kZeroRunThatEnds = 16;
    std::uint64_t EndOffset() const { return endOffset_; }
    // Goes on reading from `file` (the same file laid out otherwise, e.g. with another piece after
    // a joint); the state stays.
    void SetSource(ByteSource& file);

private:
    int Byte(std::uint64_t offset);
    void Fill();
    bool Bits(int count, int& value);
    bool Decode(const JpegScanLayout::HuffmanTable& table, int& symbol);
    // Decodes one block; its dequantised coefficients into `coefficients` unless that is null.
    bool DecodeBlock(const JpegScanLayout::Component& component, int index, BlockCoefficients* coefficients);
    // After the last MCU before a marker: the marker (its byte after 0xFF), with `at` where its
    // 0xFF is; -1 when the data goes on (a byte or more of bits) or no marker is there.
    int MarkerAfterData(std::uint64_t& at);
    bool TakeRestartMarker();
    bool TakeEndMarker();
    bool TakeScanEnd();
    bool Receive(int count, int& value);
    Step NextProgressive();
    // Calls `block(component in scan, coefficients)` for each block of MCU `mcu`.
    template <typename Visit>
    bool ForEachBlock(std::uint64_t mcu, Visit&& block);
    bool DecodeProgressiveBlock(const JpegScanLayout::Component& component, int index, std::int16_t* coefficients);
    void Unrefine(std::int16_t* coefficients) const;

    const JpegScanLayout& layout_;
    ByteSource* file_;
    State state_;
    std::uint64_t endOffset_ = 0;
    std::uint64_t mcuCount_ = 0;
    JpegCoefficients* coefficients_ = nullptr;
    bool write_ = false;
    std::uint64_t rewrittenBelow_ = 0;
    bool stoppedAtZeros_ = false;
    std::uint64_t zeroStopAt_ = 0;        // the byte at which the last zero run stopped a decode
    std::uint64_t zeroRunsPassedTo_ = 0;  // runs that reach this far (file offset) are read through
    std::array<unsigned char, 2048> window_;
    std::uint64_t windowStart_ = UINT64_MAX;
    std::size_t windowBytes_ = 0;
};

}  // namespace quorvex
