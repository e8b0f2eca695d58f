#include "JpegFormat.h"

#include "JpegDataCheck.h"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <jpeglib.h>
#include <jerror.h>

namespace quorvex {

namespace {

constexpr std::uint8_t kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA, kDqt = 0xDB, kDht = 0xC4, kDri = 0xDD, kCom = 0xFE,
                       kDac = 0xCC, kApp0 = 0xE0, kApp15 = 0xEF, kApp2 = 0xE2, kTem = 0x01;

bool IsStartOfFrame(std::uint8_t m)
{
    return m >= 0xC0 && m <= 0xCF && m != kDht && m != 0xC8 && m != kDac;
}

bool IsRestart(std::uint8_t m)
{
    return m >= 0xD0 && m <= 0xD7;
}

bool IsPrintable(unsigned char c)
{
    return c >= 0x20 && c < 0x7F;
}

// Whether the segment of marker `m` with length `length`, whose payload starts with `payload`
// (at least min(length - 2, 16) bytes of it), looks right for a file's first segment.
bool PlausibleFirstSegment(std::uint8_t m, std::uint16_t length, const unsigned char* payload)
{
    if (length < 2)
        return false;
    if (m >= kApp0 && m <= kApp15) {
        // APPn segments name themselves: "JFIF", "Exif", "http://ns.adobe.com/...", "ICC_PROFILE",
        // "Adobe", "Ducky", "AVI1", ...
        if (length < 6)
            return false;
        for (int i = 0; i < 4; ++i)
            if (!IsPrintable(payload[i]))
                return false;
        return true;
    }
    if (m == kDqt)
        return length >= 67 && (payload[0] >> 4) <= 1 && (payload[0] & 0x0F) <= 3;
    if (m == kDht)
        return length >= 19 && (payload[0] >> 4) <= 1 && (payload[0] & 0x0F) <= 3;
    if (IsStartOfFrame(m)) {
        const int components = payload[5];
        return (payload[0] == 8 || payload[0] == 12 || payload[0] == 16) && components >= 1 && components <= 4 &&
               length == 8 + 3 * components && (payload[3] | payload[4]) != 0;
    }
    if (m == kDri)
        return length == 4;
    return m == kCom || m == kDac;
}

// The extent of the pictures an MPF (multi-picture) APP2 segment lists after the first one:
// the furthest end of an appended picture that really starts with SOI, from the file's start.
// `headerOffset` is where the MP header (a TIFF header) starts in the file.
std::uint64_t MultiPictureEnd(ByteSource& file, std::uint64_t headerOffset, std::uint64_t segmentEnd)
{
    const auto order = ReadU16(file, headerOffset, ByteOrder::Big);
    if (!order)
        return 0;
    ByteOrder byteOrder;
    if (*order == 0x4949)
        byteOrder = ByteOrder::Little;
    else if (*order == 0x4D4D)
        byteOrder = ByteOrder::Big;
    else
        return 0;
    const auto ifd = ReadU32(file, headerOffset + 4, byteOrder);
    if (!ifd || headerOffset + *ifd + 2 > segmentEnd)
        return 0;
    const auto count = ReadU16(file, headerOffset + *ifd, byteOrder);
    if (!count || *count > 64)
        return 0;
    std::uint64_t end = 0;
    for (std::uint16_t i = 0; i < *count; ++i) {
        const std::uint64_t entry = headerOffset + *ifd + 2 + 12ull * i;
        const auto tag = ReadU16(file, entry, byteOrder);
        const auto type = ReadU16(file, entry + 2, byteOrder);
        const auto values = ReadU32(file, entry + 4, byteOrder);
        const auto where = ReadU32(file, entry + 8, byteOrder);
        if (!tag || !type || !values || !where || *tag != 0xB002 || *type != 7 || *values % 16 != 0 ||
            *values > 16 * 64)
            continue;
        // MP entries: attributes, size, offset (from the MP header; 0 for the first picture).
        for (std::uint32_t e = 0; e < *values / 16; ++e) {
            const std::uint64_t at = headerOffset + *where + 16ull * e;
            const auto size = ReadU32(file, at + 4, byteOrder);
            const auto offset = ReadU32(file, at + 8, byteOrder);
            if (!size || !offset || *offset == 0 || *size < 4)
                continue;
            const std::uint64_t start = headerOffset + *offset;
            const auto soi = ReadU16(file, start, ByteOrder::Big);
            if (soi && *soi == 0xFFD8)
                end = std::max(end, start + *size);
            else if (!soi)  // beyond what may be read: the file reaches past the bound
                end = std::max(end, start + *size);
        }
    }
    return end;
}

FormatWalk Walked(WalkEnd end, std::uint64_t length)
{
    FormatWalk walk;
    walk.recognised = true;
    walk.token = "JPG";
    walk.end = end;
    walk.length = length;
    return walk;
}

}  // namespace

bool LooksLikeJpegStart(const unsigned char* sector)
{
    if (sector[0] != 0xFF || sector[1] != kSoi || sector[2] != 0xFF)
        return false;
    const std::uint8_t m = sector[3];
    if (!(m >= kApp0 && m <= kApp15) && m != kDqt && m != kDht && !IsStartOfFrame(m) && m != kDri && m != kCom &&
        m != kDac)
        return false;
    const auto length = static_cast<std::uint16_t>(sector[4] << 8 | sector[5]);
    return PlausibleFirstSegment(m, length, sector + 6);
}

FormatWalk WalkJpeg(ByteSource& file)
{
    std::array<unsigned char, 512> head{};
    const std::size_t headBytes = file.ReadAt(0, head);
    if (headBytes < 22 || !LooksLikeJpegStart(head.data()))
        return NotRecognised();
    const std::uint64_t size = file.Size();

    SequentialBytes bytes(file);
    std::uint64_t pos = 2;          // at the FF of the next marker
    bool first = true;
    bool frameSeen = false;
    bool scanSeen = false;
    std::uint64_t multiPictureEnd = 0;
    for (;;) {
        // Fill bytes (FF FF ...) may precede a marker; they end with the bound at the latest.
        auto window = bytes.From(pos);
        if (window.empty())
            return Walked(WalkEnd::OutOfBound, size);
        if (window[0] != 0xFF)
            return first ? NotRecognised() : Walked(WalkEnd::Broken, pos);
        std::uint64_t at = pos + 1;
        std::uint8_t m = 0xFF;
        for (;;) {
            window = bytes.From(at);
            if (window.empty())
                return Walked(WalkEnd::OutOfBound, size);
            const auto notFill = std::find_if(window.begin(), window.end(), [](unsigned char c) { return c != 0xFF; });
            at += static_cast<std::uint64_t>(notFill - window.begin());
            if (notFill != window.end()) {
                m = *notFill;
                break;
            }
        }
        const std::uint64_t markerAt = at - 1;  // the FF just before the marker code
        const std::uint64_t afterMarker = at + 1;

        if (m == kEoi) {
            if (!scanSeen)
                return Walked(WalkEnd::Broken, markerAt);
            if (multiPictureEnd > size)
                return Walked(WalkEnd::OutOfBound, size);
            return Walked(WalkEnd::Closed, std::max(afterMarker, multiPictureEnd));
        }
        if (m == kTem) {
            pos = afterMarker;
            continue;
        }
        if (m == 0x00 || m == kSoi || IsRestart(m) || (m >= 0x02 && m <= 0xBF) || m == 0xC8 ||
            (m >= 0xF0 && m <= 0xFD) || (scanSeen && IsStartOfFrame(m)))
            return first ? NotRecognised() : Walked(WalkEnd::Broken, markerAt);

        const auto length = ReadU16(file, afterMarker, ByteOrder::Big);
        if (!length)
            return Walked(WalkEnd::OutOfBound, size);
        if (*length < 2)
            return first ? NotRecognised() : Walked(WalkEnd::Broken, markerAt);
        const std::uint64_t payload = afterMarker + 2;
        const std::uint64_t segmentEnd = afterMarker + *length;
        if (segmentEnd > size)
            return Walked(WalkEnd::OutOfBound, size);

        if (IsStartOfFrame(m)) {
            const auto components = ReadU8(file, payload + 5);
            if (!components || *components < 1 || *components > 4 || *length != 8 + 3 * *components)
                return first ? NotRecognised() : Walked(WalkEnd::Broken, markerAt);
            frameSeen = true;
        } else if (m == kApp2 && *length >= 16) {
            unsigned char id[4];
            if (ReadExactly(file, payload, id) && std::memcmp(id, "MPF\0", 4) == 0)
                multiPictureEnd = std::max(multiPictureEnd, MultiPictureEnd(file, payload + 4, segmentEnd));
        }
        if (first) {
            // The first segment must be followed by another marker, or this is no JPEG.
            const auto next = ReadU8(file, segmentEnd);
            if (next && *next != 0xFF)
                return NotRecognised();
            first = false;
        }
        if (m != kSos) {
            pos = segmentEnd;
            continue;
        }

        // A scan: its header, then entropy-coded data up to the next marker that is neither a
        // stuffed zero (FF 00) nor a restart (FF D0..D7).
        const auto components = ReadU8(file, payload);
        if (!frameSeen || !components || *components < 1 || *components > 4 || *length != 6 + 2 * *components)
            return Walked(WalkEnd::Broken, markerAt);
        scanSeen = true;
        std::uint64_t scan = segmentEnd;
        for (;;) {
            window = bytes.From(scan);
            if (window.empty())
                return Walked(WalkEnd::OutOfBound, size);
            const auto* ff = static_cast<const unsigned char*>(std::memchr(window.data(), 0xFF, window.size()));
            if (ff == nullptr) {
                scan += window.size();
                continue;
            }
            scan += static_cast<std::uint64_t>(ff - window.data());
            const auto following = ReadU8(file, scan + 1);
            if (!following)
                return Walked(WalkEnd::OutOfBound, size);
            if (*following == 0x00 || IsRestart(*following)) {
                scan += 2;
                continue;
            }
            if (*following == 0xFF) {  // a fill byte before a marker
                scan += 1;
                continue;
            }
            break;
        }
        pos = scan;
    }
}

namespace {

// libjpeg reports through these; a warning is corrupt data it skipped over.
struct DecodeErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    int warnings;
    bool outOfMemory;
};

void OnError(j_common_ptr info)
{
    auto* errors = reinterpret_cast<DecodeErrors*>(info->err);
    errors->outOfMemory = info->err->msg_code == JERR_OUT_OF_MEMORY;
    std::longjmp(errors->jump, 1);
}

void OnMessage(j_common_ptr info, int level)
{
    // Warnings about the picture's data count; unknown revision numbers and colour transform
    // codes, and a bad ICC profile, say nothing about whether the picture is whole.
    const int code = info->err->msg_code;
    if (level < 0 && code != JWRN_ADOBE_XFORM && code != JWRN_JFIF_MAJOR && code != JWRN_BOGUS_ICC)
        ++reinterpret_cast<DecodeErrors*>(info->err)->warnings;
}

// Owns no C++ objects: libjpeg leaves it by longjmp.
int DecodeWithLibjpeg(const unsigned char* data, unsigned long size, unsigned char* row, unsigned rowCapacity)
{
    jpeg_decompress_struct info;
    DecodeErrors errors;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = OnError;
    errors.manager.emit_message = OnMessage;
    errors.warnings = 0;
    errors.outOfMemory = false;
    if (setjmp(errors.jump)) {
        const bool outOfMemory = errors.outOfMemory;
        jpeg_destroy_decompress(&info);
        return outOfMemory ? -2 : -1;
    }
    jpeg_create_decompress(&info);
    info.mem->max_memory_to_use = 256L * 1024 * 1024;
    jpeg_mem_src(&info, data, size);
    jpeg_read_header(&info, TRUE);
    info.scale_num = 1;
    info.scale_denom = 8;
    info.dct_method = JDCT_IFAST;
    info.do_fancy_upsampling = FALSE;
    info.do_block_smoothing = FALSE;
    jpeg_start_decompress(&info);
    if (info.output_width * static_cast<unsigned>(info.output_components) > rowCapacity) {
        jpeg_destroy_decompress(&info);
        return -2;
    }
    JSAMPROW rows[1] = {row};
    while (info.output_scanline < info.output_height)
        jpeg_read_scanlines(&info, rows, 1);
    jpeg_finish_decompress(&info);
    const int warnings = errors.warnings;
    jpeg_destroy_decompress(&info);
    return warnings;
}

}  // namespace

DecodeResult DecodeJpeg(std::span<const unsigned char> file)
{
    // Most photos: their codes read cleanly without a decode. The rest, and every doubt, libjpeg
    // decides.
    if (JpegDataCertainlyClean(file))
        return DecodeResult::Clean;
    return DecodeJpegWithLibjpeg(file);
}

DecodeResult DecodeJpegWithLibjpeg(std::span<const unsigned char> file)
{
    // 1/8 of the largest width a JPEG can have, times four components.
    static thread_local std::vector<unsigned char> row(65536 / 8 * 4 + 64);
    const int result = DecodeWithLibjpeg(file.data(), static_cast<unsigned long>(file.size()), row.data(),
                                         static_cast<unsigned>(row.size()));
    if (result == -2)
        return DecodeResult::NotChecked;
    return result == 0 ? DecodeResult::Clean : DecodeResult::Faulty;
}

}  // namespace quorvex
