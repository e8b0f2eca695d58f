#include "TiffFormat.h"

#include "JpegFormat.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <tiffio.h>
#include <vector>

namespace quorvex {

namespace {

constexpr std::uint16_t kImageWidth = 256, kImageLength = 257, kCompression = 259, kMake = 271,
                        kStripOffsets = 273, kStripByteCounts = 279, kPanasonicRawOffset = 280, kTileOffsets = 324,
                        kTileByteCounts = 325, kSubIfds = 330, kJpegOffset = 513, kJpegLength = 514,
                        kMakerNote = 37500, kExifIfd = 34665, kGpsIfd = 34853, kInteropIfd = 40965,
                        kDngVersion = 50706, kPanasonicJpgFromRaw = 0x2E;

// The header's kind: TIFF's own, or a raw maker's variant of it.
enum class Header { Tiff, Olympus, Panasonic };
constexpr std::uint16_t kMaxEntries = 4096;
constexpr std::size_t kMaxIfds = 512;
constexpr std::uint32_t kMaxArrayValues = 1u << 20;

// Bytes per value of a TIFF field type (1..13), 0 for an unknown type.
std::uint32_t TypeSize(std::uint16_t type)
{
    static constexpr std::uint8_t kSizes[14] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    return type < 14 ? kSizes[type] : 0;
}

struct Field {
    std::uint16_t tag = 0, type = 0;
    std::uint32_t count = 0;
    std::uint32_t valueOrOffset = 0;  // the value field: the value itself when it fits in 4 bytes
    std::uint64_t entryOffset = 0;    // where the entry is; its value field is 8 bytes further

    std::uint64_t Bytes() const { return static_cast<std::uint64_t>(count) * TypeSize(type); }
    // Where the values are: in the entry when they fit in 4 bytes, else at the offset it holds.
    std::uint64_t ValuesAt() const { return Bytes() <= 4 ? entryOffset + 8 : valueOrOffset; }
};

std::uint32_t Get32(const unsigned char* p, ByteOrder order)
{
    return order == ByteOrder::Little
               ? static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                     static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24
               : static_cast<std::uint32_t>(p[3]) | static_cast<std::uint32_t>(p[2]) << 8 |
                     static_cast<std::uint32_t>(p[1]) << 16 | static_cast<std::uint32_t>(p[0]) << 24;
}

std::uint16_t Get16(const unsigned char* p, ByteOrder order)
{
    return order == ByteOrder::Little ? static_cast<std::uint16_t>(p[0] | p[1] << 8)
                                      : static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}

class TiffWalker {
public:
    TiffWalker(ByteSource& file, ByteOrder order, Header header, std::vector<FileExtent>& previews)
        : file_(file), order_(order), header_(header), previews_(previews)
    {
    }

    FormatWalk Walk(std::uint32_t firstIfd)
    {
        if (!ReadIfd(firstIfd, true))
            return NotRecognised();
        token_ = RawToken();
        for (std::size_t i = 0; i < queue_.size() && visited_.size() < kMaxIfds; ++i)
            ReadIfd(queue_[i], false);
        FormatWalk walk;
        walk.recognised = true;
        walk.token = token_;
        if (outOfBound_ || end_ > file_.Size()) {
            walk.end = WalkEnd::OutOfBound;
            walk.length = file_.Size();
        } else {
            walk.end = WalkEnd::Closed;
            walk.length = end_;
        }
        return walk;
    }

private:
    void Reach(std::uint64_t offset, std::uint64_t length)
    {
        end_ = std::max(end_, offset + length);
        if (offset + length > file_.Size())
            outOfBound_ = true;
    }

    std::optional<std::uint32_t> Value(const Field& field, std::uint32_t index)
    {
        const std::uint32_t size = TypeSize(field.type);
        if (index >= field.count || (size != 2 && size != 4))
            return std::nullopt;
        const std::uint64_t base = field.ValuesAt();
        if (size == 2) {
            const auto v = ReadU16(file_, base + 2ull * index, order_);
            return v ? std::optional<std::uint32_t>(*v) : std::nullopt;
        }
        return ReadU32(file_, base + 4ull * index, order_);
    }

    // The furthest byte the pieces of an offsets/byte-counts pair reach.
    void ReachPieces(const Field* offsets, const Field* counts)
    {
        if (offsets == nullptr || counts == nullptr || offsets->count != counts->count ||
            offsets->count > kMaxArrayValues)
            return;
        for (std::uint32_t i = 0; i < offsets->count; ++i) {
            const auto offset = Value(*offsets, i);
            const auto count = Value(*counts, i);
            if (!offset || !count) {
                outOfBound_ = true;
                return;
            }
            Reach(*offset, *count);
        }
    }

    std::string MakeText(const Field& make)
    {
        if (make.type != 2 || make.count == 0 || make.count > 256)
            return {};
        char text[257] = {};
        if (!ReadExactly(file_, make.ValuesAt(), {reinterpret_cast<unsigned char*>(text), make.count}))
            return {};
        std::string upper(text, strnlen(text, make.count));
        for (char& c : upper)
            c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        return upper;
    }

    // The raw format the file is, by what speaks most surely: the header's own kind, a DNG
    // version, Canon's mark, then the maker.
    std::string_view RawToken()
    {
        if (header_ == Header::Olympus)
            return "ORF";
        if (header_ == Header::Panasonic)
            return "RW2";
        if (dng_)
            return "DNG";
        unsigned char mark[4] = {};
        if (ReadExactly(file_, 8, mark) && std::memcmp(mark, "CR\x02\0", 4) == 0)
            return "CR2";
        if (make_.find("NIKON") != std::string::npos)
            return "NEF";
        if (make_.find("KODAK") != std::string::npos)
            return "DCR";
        if (make_.find("SONY") != std::string::npos && rawSigns_)
            return "ARW";
        if ((make_.find("PENTAX") != std::string::npos || make_.find("RICOH") != std::string::npos) && rawSigns_)
            return "PEF";
        if (make_.find("OLYMPUS") != std::string::npos && rawSigns_)
            return "ORF";
        return "TIF";
    }

    // Olympus keeps its preview in its maker note: "OLYMPUS\0", a byte order and a version, then
    // an IFD whose offsets count from the note's start; its camera settings (tag 0x2020) hold
    // the preview's start and length.
    void OlympusPreview(const Field& note)
    {
        unsigned char head[12];
        if (note.Bytes() < 32 || !ReadExactly(file_, note.valueOrOffset, head) || std::memcmp(head, "OLYMPUS\0", 8) != 0)
            return;
        const ByteOrder order = head[8] == 'I' ? ByteOrder::Little : ByteOrder::Big;
        const std::uint64_t base = note.valueOrOffset;
        auto findInIfd = [&](std::uint64_t ifd, std::uint16_t tag) -> std::optional<std::uint32_t> {
            const auto count = ReadU16(file_, ifd, order);
            if (!count || *count > kMaxEntries)
                return std::nullopt;
            for (std::uint16_t i = 0; i < *count; ++i) {
                const std::uint64_t entry = ifd + 2 + 12ull * i;
                const auto t = ReadU16(file_, entry, order);
                if (t && *t == tag)
                    return ReadU32(file_, entry + 8, order);
            }
            return std::nullopt;
        };
        const auto settings = findInIfd(base + 12, 0x2020);
        if (!settings)
            return;
        const auto start = findInIfd(base + *settings, 0x0101), length = findInIfd(base + *settings, 0x0102);
        if (start && length && *length > 0) {
            Reach(base + *start, *length);
            previews_.push_back({base + *start, *length});
        }
    }

    void Enqueue(std::uint64_t offset)
    {
        if (offset >= 8 && offset <= UINT32_MAX && std::find(queue_.begin(), queue_.end(), offset) == queue_.end() &&
            queue_.size() < kMaxIfds)
            queue_.push_back(static_cast<std::uint32_t>(offset));
    }

    // Reads one IFD. The first must be a valid image directory, or the file is no TIFF; a later
    // one that is not valid is left out.
    bool ReadIfd(std::uint32_t offset, bool first)
    {
        if (std::find(visited_.begin(), visited_.end(), offset) != visited_.end())
            return !first;
        visited_.push_back(offset);
        const auto count = ReadU16(file_, offset, order_);
        if (!count) {
            if (!first)
                outOfBound_ = true;
            return false;
        }
        if (*count == 0 || *count > kMaxEntries)
            return false;
        const std::uint64_t entries = offset + 2ull;
        std::vector<Field> fields;
        fields.reserve(*count);
        std::vector<unsigned char> raw(12ull * *count);
        if (!ReadExactly(file_, entries, raw)) {
            if (!first)
                outOfBound_ = true;
            return false;
        }
        for (std::uint16_t i = 0; i < *count; ++i) {
            const unsigned char* e = &raw[12ull * i];
            Field field;
            field.tag = Get16(e, order_);
            field.type = Get16(e + 2, order_);
            field.count = Get32(e + 4, order_);
            field.valueOrOffset = Get32(e + 8, order_);
            field.entryOffset = entries + 12ull * i;
            if (TypeSize(field.type) == 0) {
                if (first)
                    return false;
                continue;
            }
            fields.push_back(field);
        }
        auto find = [&](std::uint16_t tag) -> const Field* {
            for (const Field& f : fields)
                if (f.tag == tag)
                    return &f;
            return nullptr;
        };
        if (first) {
            bool image = find(kImageWidth) && find(kImageLength) &&
                         ((find(kStripOffsets) && find(kStripByteCounts)) || (find(kTileOffsets) && find(kTileByteCounts)));
            if (header_ == Header::Panasonic)  // its sizes are tags of its own
                image = find(kPanasonicRawOffset) != nullptr || find(kStripOffsets) != nullptr;
            if (!image && find(kSubIfds) == nullptr)
                return false;
            if (const Field* make = find(kMake))
                make_ = MakeText(*make);
            dng_ = find(kDngVersion) != nullptr;
            rawSigns_ = find(kSubIfds) != nullptr || header_ != Header::Tiff;
        }
        Reach(offset, 2ull + 12ull * *count + 4);
        for (const Field& field : fields) {
            if (field.Bytes() > 4)
                Reach(field.valueOrOffset, field.Bytes());
            const bool pointsToIfds = field.tag == kSubIfds || field.tag == kExifIfd || field.tag == kGpsIfd ||
                                      field.tag == kInteropIfd;
            if (pointsToIfds && field.count <= 64) {
                Field offsets = field;
                if (offsets.type == 13)  // the IFD type: offsets of 4 bytes
                    offsets.type = 4;
                for (std::uint32_t i = 0; i < offsets.count; ++i)
                    if (const auto sub = Value(offsets, i))
                        Enqueue(*sub);
            }
        }
        const Field* strips = find(kStripOffsets);
        if (strips == nullptr && header_ == Header::Panasonic)
            strips = find(kPanasonicRawOffset);  // where Panasonic's raw data begins
        ReachPieces(strips, find(kStripByteCounts));
        ReachPieces(find(kTileOffsets), find(kTileByteCounts));
        const Field* jpegOffset = find(kJpegOffset);
        const Field* jpegLength = find(kJpegLength);
        if (jpegOffset && jpegLength && jpegOffset->count == 1 && jpegLength->count == 1) {
            const auto at = Value(*jpegOffset, 0);
            const auto length = Value(*jpegLength, 0);
            if (at && length) {
                Reach(*at, *length);
                previews_.push_back({*at, *length});
            }
        }
        // A page of one JPEG-compressed strip (a raw's preview, as Canon's IFD0 holds it).
        const Field* compression = find(kCompression);
        const Field* counts = find(kStripByteCounts);
        if (compression && strips && counts && strips->count == 1 && counts->count == 1) {
            const auto scheme = Value(*compression, 0);
            const auto at = Value(*strips, 0), length = Value(*counts, 0);
            if (scheme && (*scheme == 6 || *scheme == 7) && at && length)
                previews_.push_back({*at, *length});
        }
        if (const Field* jpgFromRaw = find(kPanasonicJpgFromRaw); jpgFromRaw && header_ == Header::Panasonic &&
                                                                   jpgFromRaw->Bytes() > 4)
            previews_.push_back({jpgFromRaw->valueOrOffset, jpgFromRaw->Bytes()});
        if (const Field* note = find(kMakerNote))
            OlympusPreview(*note);
        if (const auto next = ReadU32(file_, entries + 12ull * *count, order_); next && *next != 0)
            Enqueue(*next);
        return true;
    }

    ByteSource& file_;
    ByteOrder order_;
    Header header_;
    std::vector<FileExtent>& previews_;
    std::string_view token_ = "TIF";
    std::string make_;
    bool dng_ = false, rawSigns_ = false;
    std::uint64_t end_ = 8;
    bool outOfBound_ = false;
    std::vector<std::uint32_t> queue_;
    std::vector<std::uint32_t> visited_;
};

struct HeaderKind {
    ByteOrder order;
    Header header;
};

std::optional<HeaderKind> KindOf(const unsigned char* h)
{
    if (h[0] == 'I' && h[1] == 'I') {
        if (h[2] == 0x2A && h[3] == 0x00)
            return HeaderKind{ByteOrder::Little, Header::Tiff};
        if (h[2] == 'R' && (h[3] == 'O' || h[3] == 'S'))
            return HeaderKind{ByteOrder::Little, Header::Olympus};
        if (h[2] == 0x55 && h[3] == 0x00)
            return HeaderKind{ByteOrder::Little, Header::Panasonic};
    }
    if (h[0] == 'M' && h[1] == 'M') {
        if (h[2] == 0x00 && h[3] == 0x2A)
            return HeaderKind{ByteOrder::Big, Header::Tiff};
        if (h[2] == 'O' && h[3] == 'R')
            return HeaderKind{ByteOrder::Big, Header::Olympus};
    }
    return std::nullopt;
}

}  // namespace

bool LooksLikeTiffStart(const unsigned char* sector)
{
    const auto kind = KindOf(sector);
    if (!kind)
        return false;
    const auto order = &kind->order;
    const std::uint32_t ifd = Get32(sector + 4, *order);
    if (ifd < 8)
        return false;
    if (ifd + 2ull > 512)
        return true;
    const std::uint16_t count = Get16(sector + ifd, *order);
    if (count == 0 || count > kMaxEntries)
        return false;
    for (std::uint32_t i = 0; i < count && ifd + 2ull + 12ull * (i + 1) <= 512; ++i)
        if (TypeSize(Get16(sector + ifd + 2 + 12 * i + 2, *order)) == 0)
            return false;
    return true;
}

FormatWalk WalkTiff(ByteSource& file, std::vector<FileExtent>& previews)
{
    unsigned char head[512] = {};
    if (file.ReadAt(0, head) < 8 || !LooksLikeTiffStart(head))
        return NotRecognised();
    const HeaderKind kind = *KindOf(head);
    previews.clear();
    return TiffWalker(file, kind.order, kind.header, previews).Walk(Get32(head + 4, kind.order));
}

FormatWalk WalkTiff(ByteSource& file)
{
    std::vector<FileExtent> previews;
    return WalkTiff(file, previews);
}

namespace {

struct MemoryTiff {
    const unsigned char* data;
    toff_t size;
    toff_t position;
    int errors;
};

tmsize_t TiffRead(thandle_t handle, void* buffer, tmsize_t size)
{
    auto* m = static_cast<MemoryTiff*>(handle);
    const toff_t n = std::min<toff_t>(static_cast<toff_t>(size), m->position < m->size ? m->size - m->position : 0);
    std::memcpy(buffer, m->data + m->position, n);
    m->position += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t TiffWrite(thandle_t, void*, tmsize_t)
{
    return -1;
}

toff_t TiffSeek(thandle_t handle, toff_t offset, int whence)
{
    auto* m = static_cast<MemoryTiff*>(handle);
    const toff_t base = whence == SEEK_CUR ? m->position : whence == SEEK_END ? m->size : 0;
    m->position = base + offset;
    return m->position;
}

int TiffClose(thandle_t)
{
    return 0;
}

toff_t TiffSize(thandle_t handle)
{
    return static_cast<MemoryTiff*>(handle)->size;
}

int TiffMap(thandle_t handle, void** base, toff_t* size)
{
    auto* m = static_cast<MemoryTiff*>(handle);
    *base = const_cast<unsigned char*>(m->data);
    *size = m->size;
    return 1;
}

void TiffUnmap(thandle_t, void*, toff_t) {}

int OnTiffError(TIFF*, void* user, const char*, const char*, va_list)
{
    ++static_cast<MemoryTiff*>(user)->errors;
    return 1;  // handled: libtiff's global handler (stderr) is not called
}

int OnTiffWarning(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;  // unknown tags and the like say nothing about the picture's data
}

}  // namespace

namespace {

DecodeResult DecodeWithLibtiff(std::span<const unsigned char> file)
{
    MemoryTiff memory{file.data(), file.size(), 0, 0};
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, OnTiffError, &memory);
    TIFFOpenOptionsSetWarningHandlerExtR(options, OnTiffWarning, &memory);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, 256 << 20);
    TIFF* tiff = TIFFClientOpenExt("found file", "r", &memory, TiffRead, TiffWrite, TiffSeek, TiffClose, TiffSize,
                                   TiffMap, TiffUnmap, options);
    TIFFOpenOptionsFree(options);
    if (tiff == nullptr)
        return DecodeResult::Faulty;
    bool checked = false;
    std::vector<unsigned char> buffer;
    int pages = 0;
    do {
        std::uint16_t compression = COMPRESSION_NONE;
        TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
        if (!TIFFIsCODECConfigured(compression))
            continue;
        const bool tiled = TIFFIsTiled(tiff) != 0;
        const tmsize_t pieceSize = tiled ? TIFFTileSize(tiff) : TIFFStripSize(tiff);
        const std::uint32_t pieces = tiled ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
        if (pieceSize <= 0 || pieceSize > (256 << 20))
            continue;
        buffer.resize(static_cast<std::size_t>(pieceSize));
        for (std::uint32_t i = 0; i < pieces && memory.errors == 0; ++i) {
            const tmsize_t got = tiled ? TIFFReadEncodedTile(tiff, i, buffer.data(), pieceSize)
                                       : TIFFReadEncodedStrip(tiff, i, buffer.data(), pieceSize);
            if (got < 0)
                ++memory.errors;
        }
        checked = true;
    } while (memory.errors == 0 && ++pages < 256 && TIFFReadDirectory(tiff));
    TIFFClose(tiff);
    if (memory.errors > 0)
        return DecodeResult::Faulty;
    return checked ? DecodeResult::Clean : DecodeResult::NotChecked;
}

}  // namespace

DecodeResult DecodeTiff(std::span<const unsigned char> file)
{
    MemoryByteSource source(file);
    std::vector<FileExtent> previews;
    const FormatWalk walk = WalkTiff(source, previews);
    if (walk.token == "TIF" || walk.token == "NEF" || walk.token == "DCR")
        return DecodeWithLibtiff(file);
    // A raw file: its largest preview that is a JPEG, decoded.
    const FileExtent* largest = nullptr;
    for (const FileExtent& preview : previews)
        if (preview.offset < file.size() && preview.length >= 4 && preview.length <= file.size() - preview.offset &&
            file[preview.offset] == 0xFF && file[preview.offset + 1] == 0xD8 &&
            (largest == nullptr || preview.length > largest->length))
            largest = &preview;
    if (largest == nullptr)
        return DecodeResult::NotChecked;
    return DecodeJpeg(file.subspan(static_cast<std::size_t>(largest->offset), static_cast<std::size_t>(largest->length)));
}

}  // namespace quorvex
