#pragma once

#include "ByteSource.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace quorvex {

// Bits looked at at once to decode a Huffman code (and, for AC codes, the value after it).
inline constexpr int kLookAheadBits = 11;

// What a sequential Huffman-coded JPEG's headers say, as far as decoding its entropy-coded data
// goes: one scan that holds every component, 8-bit samples.
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
    };
    int width = 0, height = 0;
    std::vector<Component> components;  // in scan order
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
    };
    enum class Step { Decoded, Error, End };

    JpegEntropyDecoder(const JpegScanLayout& layout, ByteSource& file);

    // The luminance DC values of an MCU (dequantised, row by row): LumaAcross × LumaDown of them.
    using LumaDc = std::array<int, 16>;

    // Decodes the next MCU into `lumaDc`. End: every MCU was decoded and the end marker follows;
    // then EndOffset() is the file's length.
    Step Next(LumaDc& lumaDc);

    const State& Current() const { return state_; }
    void Restore(const State& state)
    {
        state_ = state;
        stoppedAtZeros_ = false;
    }
    // Whether the last step ended at a long run of zero bytes rather than a marker or an error.
    bool StoppedAtZeros() const { return stoppedAtZeros_; }
    // Takes the run of zeros the last step stopped at for the picture's own, and goes on from
    // `state` (from before the run): the decode reads through it.
    void ResumeThroughZeros(const State& state)
    {
        zeroRunToPass_ = zeroStopAt_;
        Restore(state);
        // A state whose read-ahead had reached the run stopped there: it may read on.
        if (state_.atMarker && state_.position == zeroRunToPass_)
            state_.atMarker = false;
    }
    std::uint64_t EndOffset() const { return endOffset_; }
    // Goes on reading from `file` (the same file laid out otherwise, e.g. with another piece after
    // a joint); the state stays.
    void SetSource(ByteSource& file);

private:
    int Byte(std::uint64_t offset);
    void Fill();
    bool Bits(int count, int& value);
    bool Decode(const JpegScanLayout::HuffmanTable& table, int& symbol);
    bool DecodeBlock(const JpegScanLayout::Component& component, int index, int* dc);
    bool TakeRestartMarker();
    bool TakeEndMarker();

    const JpegScanLayout& layout_;
    ByteSource* file_;
    State state_;
    std::uint64_t endOffset_ = 0;
    bool stoppedAtZeros_ = false;
    std::uint64_t zeroStopAt_ = UINT64_MAX;     // the byte at which the last zero run stopped a decode
    std::uint64_t zeroRunToPass_ = UINT64_MAX;  // the same of the run to read through
    std::array<unsigned char, 2048> window_;
    std::uint64_t windowStart_ = UINT64_MAX;
    std::size_t windowBytes_ = 0;
};

}  // namespace quorvex
