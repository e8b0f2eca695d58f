#include "BmffFormat.h"

#include "JpegFormat.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <libde265/de265.h>
#include <libheif/heif.h>
#include <optional>

namespace quorvex {

namespace {

using FourCc = std::array<char, 4>;

constexpr FourCc Cc(const char (&text)[5])
{
    return {text[0], text[1], text[2], text[3]};
}

constexpr std::size_t kMaxTopLevelBoxes = 1 << 16;
constexpr std::size_t kMaxChildBoxes = 4096;
constexpr int kMaxDepth = 8;
constexpr std::uint64_t kMaxSamplesChecked = 1 << 24;
constexpr std::size_t kMaxExtentsKept = 1 << 20;
// Canon's box that holds a CR3's preview JPEG.
constexpr unsigned char kCanonPreviewUuid[16] = {0xea, 0xf4, 0x2b, 0x5e, 0x1c, 0x98, 0x4b, 0x88,
                                                 0xb9, 0xfb, 0xb7, 0xdc, 0x40, 0x6e, 0x4d, 0x16};

bool IsTypeChar(unsigned char c)
{
    return (c >= 0x20 && c <= 0x7E) || c == 0xA9;  // QuickTime's '©' types
}

bool IsPrintable(const unsigned char* p)
{
    return IsTypeChar(p[0]) && IsTypeChar(p[1]) && IsTypeChar(p[2]) && IsTypeChar(p[3]);
}

std::uint32_t Be32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

// The token a brand names; empty for a brand of no type we recover.
std::string_view TokenOfBrand(const unsigned char* brand)
{
    const std::string_view b(reinterpret_cast<const char*>(brand), 4);
    static constexpr std::string_view kHeic[] = {"heic", "heix", "heim", "heis", "hevc", "hevx"};
    static constexpr std::string_view kMp4[] = {"isom", "iso2", "iso3", "iso4", "iso5", "iso6", "iso7", "iso8",
                                                "iso9", "mp41", "mp42", "mp71", "avc1", "M4V ", "M4VH", "M4VP",
                                                "M4A ", "M4B ", "f4v ", "dash", "MSNV", "XAVC", "mmp4", "NDAS"};
    if (std::find(std::begin(kHeic), std::end(kHeic), b) != std::end(kHeic))
        return "HEIC";
    if (b == "avif" || b == "avis")
        return "AVIF";
    if (b == "crx ")
        return "CR3";
    if (b == "qt  ")
        return "MOV";
    if (b.starts_with("3g"))
        return "3GP";
    if (std::find(std::begin(kMp4), std::end(kMp4), b) != std::end(kMp4))
        return "MP4";
    if (b == "mif1" || b == "msf1")
        return "HEIF";  // a HEIF still of some codec: the compatible brands tell which
    return {};
}

// The token of a file by its ftyp box's brands (major, then compatible): AVIF or HEIC for HEIF
// stills by their codec's brand, then the major brand's own type.
std::string_view TokenOfBrands(const unsigned char* brands, std::size_t bytes)
{
    std::string_view major = TokenOfBrand(brands);
    bool avif = major == "AVIF", heic = major == "HEIC";
    std::string_view compatible;
    for (std::size_t at = 8; at + 4 <= bytes; at += 4) {
        const std::string_view token = TokenOfBrand(brands + at);
        avif = avif || token == "AVIF";
        heic = heic || token == "HEIC";
        if (compatible.empty() && !token.empty() && token != "HEIF")
            compatible = token;
    }
    if (major == "HEIF" || major.empty()) {
        if (avif)
            return "AVIF";
        if (heic || major == "HEIF")
            return "HEIC";
        return compatible;
    }
    return major;
}

// Whether `length` bytes from `offset` lie within the first `total` bytes, without overflow.
bool Fits(std::uint64_t offset, std::uint64_t length, std::uint64_t total)
{
    return offset <= total && length <= total - offset;
}

bool IsStill(std::string_view token)
{
    return token == "HEIC" || token == "AVIF";
}

// Where a box lies. `size` 0 in the header: the box runs to the end of what holds it.
struct Box {
    std::uint64_t start = 0;
    std::uint64_t payload = 0;  // after the header (and a uuid's user type)
    std::uint64_t end = 0;      // 0 for a box that runs to the end
    FourCc type{};
    unsigned char uuid[16] = {};
};

enum class BoxRead { Ok, Beyond, Invalid };

// Reads the header of the box at `at`, which must end by `limit` (the parent's end).
BoxRead ReadBox(ByteSource& file, std::uint64_t at, std::uint64_t limit, Box& box)
{
    unsigned char head[16];
    if (at + 8 > file.Size())
        return BoxRead::Beyond;
    if (!ReadExactly(file, at, {head, 8}))
        return BoxRead::Beyond;
    if (!IsPrintable(head + 4))
        return BoxRead::Invalid;
    box = {};
    box.start = at;
    std::memcpy(box.type.data(), head + 4, 4);
    std::uint64_t size = Be32(head);
    std::uint64_t header = 8;
    if (size == 1) {
        if (!ReadExactly(file, at + 8, {head + 8, 8}))
            return BoxRead::Beyond;
        size = static_cast<std::uint64_t>(Be32(head + 8)) << 32 | Be32(head + 12);
        header = 16;
        if (size < 16)
            return BoxRead::Invalid;
    } else if (size != 0 && size < 8) {
        return BoxRead::Invalid;
    }
    if (box.type == Cc("uuid")) {
        if (!ReadExactly(file, at + header, box.uuid))
            return BoxRead::Beyond;
        header += 16;
    }
    if (size != 0 && size < header)
        return BoxRead::Invalid;
    box.payload = at + header;
    if (size != 0) {
        if (size > UINT64_MAX - at)
            return BoxRead::Invalid;
        box.end = at + size;
        if (box.end > limit)
            return BoxRead::Invalid;  // past its parent's end
    }
    return BoxRead::Ok;
}

// Reads a big-endian unsigned number of 0, 2, 4 or 8 bytes.
std::optional<std::uint64_t> ReadNumber(ByteSource& file, std::uint64_t at, int bytes)
{
    if (bytes == 0)
        return 0;
    if (bytes == 2) {
        const auto v = ReadU16(file, at, ByteOrder::Big);
        return v ? std::optional<std::uint64_t>(*v) : std::nullopt;
    }
    if (bytes == 4) {
        const auto v = ReadU32(file, at, ByteOrder::Big);
        return v ? std::optional<std::uint64_t>(*v) : std::nullopt;
    }
    const auto high = ReadU32(file, at, ByteOrder::Big), low = ReadU32(file, at + 4, ByteOrder::Big);
    if (!high || !low)
        return std::nullopt;
    return static_cast<std::uint64_t>(*high) << 32 | *low;
}

// A track's tables, by where they are, and how its samples begin.
struct Track {
    Box stco, co64, stsz, stz2, stsc, stss;
    bool hasChunks = false;
    MovieTrack info;
};

// Reads arrays of big-endian numbers front to back.
class ArrayReader {
public:
    ArrayReader(ByteSource& file, std::uint64_t at) : bytes_(file, 16 * 1024), at_(at) {}
    std::optional<std::uint64_t> Next(int size)
    {
        const auto window = bytes_.From(at_, static_cast<std::size_t>(size));
        if (window.size() < static_cast<std::size_t>(size))
            return std::nullopt;
        std::uint64_t v = 0;
        for (int i = 0; i < size; ++i)
            v = v << 8 | window[static_cast<std::size_t>(i)];
        at_ += static_cast<std::uint64_t>(size);
        return v;
    }

private:
    SequentialBytes bytes_;
    std::uint64_t at_;
};

// Whether a video sample's first bytes begin as its codec's samples do.
bool SampleBeginsWell(ByteSource& file, const MovieTrack& track, std::uint64_t at, std::uint64_t size)
{
    unsigned char head[8] = {};
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size, sizeof head));
    if (want == 0)
        return true;
    if (!ReadExactly(file, at, {head, want}))
        return false;
    const FourCc& c = track.codec;
    if (track.nalLength > 0) {
        const auto n = static_cast<std::size_t>(track.nalLength);
        if (size < n + 2)
            return false;
        std::uint64_t length = 0;
        for (std::size_t i = 0; i < n; ++i)
            length = length << 8 | head[i];
        if (length == 0 || length > size - n)
            return false;
        const unsigned char nal = head[n];
        if (nal & 0x80)
            return false;  // the forbidden bit
        if (c == Cc("avc1") || c == Cc("avc3")) {
            const int type = nal & 0x1F;
            return type >= 1 && type <= 23;
        }
        const int type = nal >> 1 & 0x3F, layer = (nal & 1) << 5 | head[n + 1] >> 3, temporal = head[n + 1] & 7;
        return type <= 40 && layer == 0 && temporal >= 1;
    }
    if (c == Cc("jpeg") || c == Cc("mjpa") || c == Cc("mjpb"))
        return want >= 2 && head[0] == 0xFF && head[1] == 0xD8;
    if (c == Cc("mp4v"))
        return want >= 3 && head[0] == 0 && head[1] == 0 && head[2] == 1;
    if (c == Cc("s263"))
        return want >= 3 && head[0] == 0 && head[1] == 0 && (head[2] & 0xFC) == 0x80;
    return true;
}

class BmffWalker {
public:
    BmffWalker(ByteSource& file, BmffLayout& layout) : file_(file), layout_(layout) {}

    FormatWalk Walk()
    {
        unsigned char sector[512] = {};
        if (file_.ReadAt(0, sector) < 16 || !LooksLikeBmffStart(sector))
            return NotRecognised();
        const bool ftyp = std::memcmp(sector + 4, "ftyp", 4) == 0;
        if (ftyp) {
            token_ = TokenOfBrands(sector + 8, Be32(sector) - 8);
            if (token_.empty())
                return NotRecognised();
        } else {
            token_ = "MOV";  // a QuickTime movie of the old kind, without brands
        }
        const std::uint64_t size = file_.Size();
        std::uint64_t pos = 0;
        for (std::size_t boxes = 0;; ++boxes) {
            Box box;
            const BoxRead read = pos >= size ? BoxRead::Beyond : ReadBox(file_, pos, UINT64_MAX, box);
            if (read == BoxRead::Beyond)
                return Finish(WalkEnd::OutOfBound, size);  // the bound comes first: the file may go on
            if (read == BoxRead::Invalid || boxes >= kMaxTopLevelBoxes || !IsTopLevel(box.type) ||
                (box.type == Cc("ftyp") && pos != 0))
                return Finish(Complete() ? WalkEnd::Closed : WalkEnd::Broken, pos);
            if (box.end > size)
                return Finish(WalkEnd::OutOfBound, size);
            if (!Visit(box))
                return Finish(WalkEnd::Broken, pos);
            if (box.end == 0) {
                // The last box, to the end of the file: as far as the tables point.
                if (!Complete())
                    return Finish(WalkEnd::Broken, pos);
                const std::size_t kept = layout_.data.size();
                for (const Track& track : tracks_)
                    if (!Chunks(track, size))
                        return Finish(WalkEnd::Broken, pos);
                layout_.data.resize(kept);  // found again when the file's end is known
                const std::uint64_t end = std::max(box.payload, furthest_);
                return end > size ? Finish(WalkEnd::OutOfBound, size) : Finish(WalkEnd::Closed, end);
            }
            pos = box.end;
        }
    }

    // The tables of the movie box at `at`: each track's samples, listed by offset.
    std::optional<MovieTables> Tables(std::uint64_t at)
    {
        Box box;
        token_ = "MP4";
        if (ReadBox(file_, at, UINT64_MAX, box) != BoxRead::Ok || box.type != Cc("moov") || box.end == 0 ||
            !Movie(box.payload, box.end) || !movieSeen_)
            return std::nullopt;
        MovieTables tables;
        for (const Track& track : tracks_) {
            const auto index = static_cast<std::uint32_t>(tables.tracks.size());
            tables.tracks.push_back(track.info);
            if (!Chunks(track, UINT64_MAX, &tables.samples, index) || !SyncSamples(track, tables.tracks.back()))
                return std::nullopt;
        }
        std::sort(tables.samples.begin(), tables.samples.end(),
                  [](const MovieSample& a, const MovieSample& b) { return a.offset < b.offset; });
        return tables;
    }

private:
    // The numbers of a track's sync samples (stss), when it has them.
    bool SyncSamples(const Track& track, MovieTrack& info)
    {
        if (track.stss.start == 0)
            return true;
        const auto count = ReadU32(file_, track.stss.payload + 4, ByteOrder::Big);
        if (!count || track.stss.payload + 8 + 4ull * *count > track.stss.end)
            return false;
        ArrayReader numbers(file_, track.stss.payload + 8);
        for (std::uint32_t i = 0; i < *count; ++i) {
            const auto number = numbers.Next(4);
            if (!number || (!info.syncSamples.empty() && *number <= info.syncSamples.back()))
                return false;
            info.syncSamples.push_back(static_cast<std::uint32_t>(*number));
        }
        return true;
    }

    static bool IsTopLevel(const FourCc& type)
    {
        static constexpr FourCc kTypes[] = {Cc("ftyp"), Cc("moov"), Cc("mdat"), Cc("meta"), Cc("free"), Cc("skip"),
                                            Cc("wide"), Cc("uuid"), Cc("pdin"), Cc("moof"), Cc("mfra"), Cc("sidx"),
                                            Cc("ssix"), Cc("prft"), Cc("emsg"), Cc("pnot"), Cc("udta"), Cc("styp")};
        return std::find(std::begin(kTypes), std::end(kTypes), type) != std::end(kTypes);
    }

    // What a file of its kind needs: the movie's header and a track, or the picture's items.
    bool Complete() const { return IsStill(token_) ? itemsSeen_ : movieSeen_; }

    FormatWalk Finish(WalkEnd end, std::uint64_t length)
    {
        if (token_ == "MOV" && !ftypSeen_ && !movieSeen_)
            return NotRecognised();  // without brands, only a movie header says this is a movie
        FormatWalk walk;
        walk.recognised = true;
        walk.token = token_;
        layout_.token = token_;
        walk.end = end;
        walk.length = length;
        if (end == WalkEnd::Closed) {
            if (!CheckData(length))
                walk.decoded = DecodeResult::Faulty;
            else if (!IsStill(token_) && token_ != "CR3")
                walk.decoded = DecodeResult::Clean;  // a movie is whole when its tables hold together
        }
        return walk;
    }

    bool Visit(const Box& box)
    {
        if (box.type == Cc("ftyp")) {
            ftypSeen_ = true;
            return true;
        }
        const std::uint64_t end = box.end != 0 ? box.end : file_.Size();
        if (box.type == Cc("moov"))
            return Movie(box.payload, end);
        if (box.type == Cc("meta"))
            return Items(box.payload + 4, end);  // a full box: version and flags first
        if (box.type == Cc("uuid") && std::memcmp(box.uuid, kCanonPreviewUuid, 16) == 0)
            Preview(box.payload, end);
        return true;
    }

    // Calls `visit` for each child box of [from, to); false when one is not a box inside it.
    template <typename Visit>
    bool Children(std::uint64_t from, std::uint64_t to, Visit&& visit)
    {
        std::uint64_t pos = from;
        for (std::size_t n = 0; pos + 8 <= to; ++n) {
            Box child;
            if (n >= kMaxChildBoxes || ReadBox(file_, pos, to, child) != BoxRead::Ok)
                return false;
            const std::uint64_t end = child.end != 0 ? child.end : to;
            if (!visit(child, end))
                return false;
            pos = end;
        }
        return pos == to || to - pos < 8;  // a few bytes of padding may close a container
    }

    bool Movie(std::uint64_t from, std::uint64_t to)
    {
        bool header = false, track = false;
        const bool ok = Children(from, to, [&](const Box& child, std::uint64_t end) {
            if (child.type == Cc("mvhd")) {
                header = true;
                const auto version = ReadU8(file_, child.payload);
                if (version && *version == 1)
                    layout_.created = ReadNumber(file_, child.payload + 4, 8).value_or(0);
                else if (version)
                    layout_.created = ReadNumber(file_, child.payload + 4, 4).value_or(0);
            } else if (child.type == Cc("trak")) {
                Track t;
                if (!TrackBoxes(child.payload, end, t, 0))
                    return false;
                if (t.hasChunks) {
                    tracks_.push_back(t);
                    track = true;
                } else if (!t.stco.start && !t.co64.start) {
                    track = true;  // a track whose samples come in movie fragments
                }
            }
            return true;
        });
        movieSeen_ = movieSeen_ || (ok && header && (track || token_ == "CR3"));
        return ok;
    }

    // Finds a track's sample tables and its codec, through trak/mdia/minf/stbl.
    bool TrackBoxes(std::uint64_t from, std::uint64_t to, Track& track, int depth)
    {
        if (depth > kMaxDepth)
            return false;
        return Children(from, to, [&](const Box& child, std::uint64_t end) {
            const FourCc& t = child.type;
            if (t == Cc("mdia") || t == Cc("minf") || t == Cc("stbl"))
                return TrackBoxes(child.payload, end, track, depth + 1);
            if (t == Cc("hdlr")) {
                unsigned char handler[4] = {};
                // A QuickTime track has a second handler, of its data (minf's dhlr), after its media's.
                if (ReadExactly(file_, child.payload + 8, handler) && std::memcmp(handler, "vide", 4) == 0)
                    track.info.video = true;
            } else if (t == Cc("stsd")) {
                SampleDescription(child.payload, end, track);
            } else if (t == Cc("stco")) {
                track.stco = child;
                track.stco.end = end;
            } else if (t == Cc("co64")) {
                track.co64 = child;
                track.co64.end = end;
            } else if (t == Cc("stsz")) {
                track.stsz = child;
                track.stsz.end = end;
            } else if (t == Cc("stz2")) {
                track.stz2 = child;
                track.stz2.end = end;
            } else if (t == Cc("stsc")) {
                track.stsc = child;
                track.stsc.end = end;
            } else if (t == Cc("stss")) {
                track.stss = child;
                track.stss.end = end;
            }
            track.hasChunks = (track.stco.start || track.co64.start) && (track.stsz.start || track.stz2.start) &&
                              track.stsc.start;
            return true;
        });
    }

    // The codec of the first sample entry; for H.264 and HEVC their NAL length size and decoder
    // configuration, for AAC its AudioSpecificConfig.
    void SampleDescription(std::uint64_t from, std::uint64_t to, Track& track)
    {
        Box entry;
        if (from + 8 >= to || ReadBox(file_, from + 8, to, entry) != BoxRead::Ok)
            return;
        MovieTrack& info = track.info;
        info.codec = entry.type;
        const FourCc& c = entry.type;
        const bool avc = c == Cc("avc1") || c == Cc("avc3"), hevc = c == Cc("hvc1") || c == Cc("hev1");
        const std::uint64_t entryEnd = entry.end != 0 ? entry.end : to;
        if (c == Cc("mp4a")) {
            SoundConfiguration(entry.payload, entryEnd, info);
            return;
        }
        if (!avc && !hevc)
            return;
        Children(entry.payload + 78, entryEnd, [&](const Box& child, std::uint64_t end) {
            if ((avc && child.type == Cc("avcC")) || (hevc && child.type == Cc("hvcC"))) {
                if (const auto lengthByte = ReadU8(file_, child.payload + (avc ? 4 : 21)))
                    info.nalLength = (*lengthByte & 3) + 1;
                info.configuration = ReadBytes(child.payload, end);
            }
            return true;
        });
        if (info.nalLength == 3)
            info.nalLength = 0;  // not a length size a stream may have: left unchecked
    }

    // An AAC sound entry's esds (directly, or in QuickTime's wave box): the AudioSpecificConfig
    // in its decoder's specific information.
    void SoundConfiguration(std::uint64_t payload, std::uint64_t end, MovieTrack& info)
    {
        const auto version = ReadU16(file_, payload + 8, ByteOrder::Big);
        if (!version || *version > 2)
            return;
        const std::uint64_t children = payload + (*version == 0 ? 28 : *version == 1 ? 44 : 64);
        std::function<bool(const Box&, std::uint64_t)> visit = [&](const Box& child, std::uint64_t childEnd) {
            if (child.type == Cc("esds"))
                info.configuration = AudioSpecificConfig(child.payload + 4, childEnd);
            else if (child.type == Cc("wave"))
                Children(child.payload, childEnd, visit);
            return true;
        };
        Children(children, end, visit);
    }

    // Walks an ES descriptor to its decoder specific information.
    std::vector<unsigned char> AudioSpecificConfig(std::uint64_t at, std::uint64_t end)
    {
        // A descriptor's tag, then its length in up to four bytes of seven bits each.
        auto descriptor = [&](int tag) -> std::optional<std::uint64_t> {
            const auto found = ReadU8(file_, at);
            if (!found || *found != tag)
                return std::nullopt;
            std::uint64_t length = 0;
            for (int i = 1; i <= 4; ++i) {
                const auto byte = ReadU8(file_, at + static_cast<std::uint64_t>(i));
                if (!byte)
                    return std::nullopt;
                length = length << 7 | (*byte & 0x7F);
                if ((*byte & 0x80) == 0) {
                    at += static_cast<std::uint64_t>(i) + 1;
                    return length;
                }
            }
            return std::nullopt;
        };
        if (!descriptor(3))
            return {};
        const auto flags = ReadU8(file_, at + 2);
        if (!flags)
            return {};
        at += 3;
        if (*flags & 0x80)
            at += 2;
        if (*flags & 0x40) {
            const auto url = ReadU8(file_, at);
            at += 1 + url.value_or(0);
        }
        if (*flags & 0x20)
            at += 2;
        if (!descriptor(4))
            return {};
        at += 13;
        const auto length = descriptor(5);
        if (!length || *length > end - std::min(end, at))
            return {};
        return ReadBytes(at, at + *length);
    }

    // The bytes of [from, to) (a configuration: at most 64 KiB); empty when they cannot be read.
    std::vector<unsigned char> ReadBytes(std::uint64_t from, std::uint64_t to)
    {
        if (to <= from || to - from > 64 * 1024)
            return {};
        std::vector<unsigned char> bytes(static_cast<std::size_t>(to - from));
        return ReadExactly(file_, from, bytes) ? bytes : std::vector<unsigned char>{};
    }

    // HEIF: the items (their types, where their data lies, the decoder configuration each one
    // names among its properties).
    bool Items(std::uint64_t from, std::uint64_t to)
    {
        bool locations = false;
        const bool ok = Children(from, to, [&](const Box& child, std::uint64_t end) {
            if (child.type == Cc("iloc"))
                locations = ItemLocations(child.payload, end);
            else if (child.type == Cc("iinf"))
                ItemTypes(child.payload, end);
            else if (child.type == Cc("iprp"))
                ItemProperties(child.payload, end);
            return true;
        });
        itemsSeen_ = itemsSeen_ || (ok && locations);
        for (HeifItem& item : layout_.items) {
            for (const auto& [id, type] : itemTypes_)
                if (id == item.id)
                    item.type = type;
            for (const auto& [id, property] : itemProperties_)
                if (id == item.id && property >= 1 && property <= properties_.size() &&
                    (properties_[property - 1].first == Cc("hvcC") || properties_[property - 1].first == Cc("av1C")))
                    item.configuration = properties_[property - 1].second;
            for (const FileExtent& extent : item.extents)
                itemData_.push_back({extent, item.type});
        }
        return ok || !IsStill(token_);
    }

    void ItemTypes(std::uint64_t from, std::uint64_t to)
    {
        const auto version = ReadU8(file_, from);
        if (!version)
            return;
        const std::uint64_t first = from + 4 + (*version == 0 ? 2 : 4);
        Children(first, to, [&](const Box& infe, std::uint64_t) {
            const auto v = ReadU8(file_, infe.payload);
            if (infe.type != Cc("infe") || !v || *v < 2)
                return true;
            const int idBytes = *v == 2 ? 2 : 4;
            const auto id = ReadNumber(file_, infe.payload + 4, idBytes);
            unsigned char type[4] = {};
            if (id && ReadExactly(file_, infe.payload + 4 + static_cast<std::uint64_t>(idBytes) + 2, type))
                itemTypes_.push_back({*id, {static_cast<char>(type[0]), static_cast<char>(type[1]),
                                            static_cast<char>(type[2]), static_cast<char>(type[3])}});
            return true;
        });
    }

    // The property boxes in order (ipco), and which of them each item has (ipma).
    void ItemProperties(std::uint64_t from, std::uint64_t to)
    {
        Children(from, to, [&](const Box& child, std::uint64_t end) {
            if (child.type == Cc("ipco")) {
                Children(child.payload, end, [&](const Box& property, std::uint64_t propertyEnd) {
                    if (properties_.size() < kMaxChildBoxes)
                        properties_.push_back({property.type, FileExtent{property.payload, propertyEnd - property.payload}});
                    return true;
                });
            } else if (child.type == Cc("ipma")) {
                Associations(child.payload, end);
            }
            return true;
        });
    }

    void Associations(std::uint64_t from, std::uint64_t to)
    {
        const auto version = ReadU8(file_, from), flags = ReadU8(file_, from + 3);
        const auto count = ReadU32(file_, from + 4, ByteOrder::Big);
        if (!version || !flags || !count)
            return;
        const int idBytes = *version < 1 ? 2 : 4, indexBytes = (*flags & 1) ? 2 : 1;
        std::uint64_t at = from + 8;
        for (std::uint32_t entry = 0; entry < *count && at < to; ++entry) {
            const auto id = ReadNumber(file_, at, idBytes);
            const auto associations = ReadU8(file_, at + static_cast<std::uint64_t>(idBytes));
            if (!id || !associations)
                return;
            at += static_cast<std::uint64_t>(idBytes) + 1;
            for (int a = 0; a < *associations; ++a, at += static_cast<std::uint64_t>(indexBytes)) {
                const auto index = ReadNumber(file_, at, indexBytes == 2 ? 2 : 0);
                const auto small = ReadU8(file_, at);
                if (!small || (indexBytes == 2 && !index))
                    return;
                const std::uint64_t property = indexBytes == 2 ? (*index & 0x7FFF) : (*small & 0x7F);
                if (itemProperties_.size() < kMaxChildBoxes)
                    itemProperties_.push_back({*id, property});
            }
        }
    }

    bool ItemLocations(std::uint64_t from, std::uint64_t to)
    {
        const auto version = ReadU8(file_, from);
        const auto sizes = ReadU8(file_, from + 4), sizes2 = ReadU8(file_, from + 5);
        if (!version || *version > 2 || !sizes || !sizes2)
            return false;
        const int offsetSize = *sizes >> 4, lengthSize = *sizes & 15, baseSize = *sizes2 >> 4;
        const int indexSize = *version >= 1 ? *sizes2 & 15 : 0;
        auto valid = [](int s) { return s == 0 || s == 4 || s == 8; };
        if (!valid(offsetSize) || !valid(lengthSize) || !valid(baseSize) || !valid(indexSize))
            return false;
        std::uint64_t at = from + 6;
        const int countBytes = *version < 2 ? 2 : 4;
        const auto count = ReadNumber(file_, at, countBytes);
        if (!count)
            return false;
        at += static_cast<std::uint64_t>(countBytes);
        for (std::uint64_t item = 0; item < *count; ++item) {
            const auto id = ReadNumber(file_, at, countBytes);
            if (!id)
                return false;
            at += static_cast<std::uint64_t>(countBytes);
            int method = 0;
            if (*version >= 1) {
                const auto m = ReadNumber(file_, at, 2);
                if (!m)
                    return false;
                method = static_cast<int>(*m & 15);
                at += 2;
            }
            at += 2;  // the data reference
            const auto base = ReadNumber(file_, at, baseSize);
            at += static_cast<std::uint64_t>(baseSize);
            const auto extents = ReadNumber(file_, at, 2);
            if (!base || !extents || at > to)
                return false;
            at += 2;
            HeifItem located;
            located.id = static_cast<std::uint32_t>(*id);
            for (std::uint64_t e = 0; e < *extents; ++e) {
                at += static_cast<std::uint64_t>(indexSize);
                const auto offset = ReadNumber(file_, at, offsetSize);
                at += static_cast<std::uint64_t>(offsetSize);
                const auto length = ReadNumber(file_, at, lengthSize);
                at += static_cast<std::uint64_t>(lengthSize);
                if (!offset || !length || at > to)
                    return false;
                if (method != 0 || *length == 0)
                    continue;  // in the meta box itself, or in another item
                if (*base > UINT64_MAX / 2 || *offset > UINT64_MAX / 4 || *length > UINT64_MAX / 4)
                    return false;
                AddData({*base + *offset, *length});
                if (located.extents.size() < kMaxChildBoxes)
                    located.extents.push_back({*base + *offset, *length});
            }
            if (!located.extents.empty() && layout_.items.size() < kMaxChildBoxes)
                layout_.items.push_back(std::move(located));
        }
        return at <= to;
    }

    // Canon's preview box: a PRVW box whose JPEG follows a few fields.
    void Preview(std::uint64_t from, std::uint64_t to)
    {
        Children(from + 8, to, [&](const Box& prvw, std::uint64_t end) {
            if (prvw.type != Cc("PRVW"))
                return true;
            for (std::uint64_t at = prvw.payload; at + 3 <= end && at < prvw.payload + 32; ++at) {
                const auto marker = ReadU16(file_, at, ByteOrder::Big);
                if (marker && *marker == 0xFFD8) {
                    layout_.preview = FileExtent{at, end - at};
                    break;
                }
            }
            return true;
        });
    }

    void AddData(FileExtent extent)
    {
        furthest_ = std::max(furthest_, extent.offset + std::min(extent.length, UINT64_MAX - extent.offset));
        if (layout_.data.size() < kMaxExtentsKept)
            layout_.data.push_back(extent);
    }

    // Every chunk and item extent lies inside the file's `length` bytes, and every video sample
    // and coded item begins as its codec's data does.
    bool CheckData(std::uint64_t length)
    {
        for (const Track& track : tracks_)
            if (!Chunks(track, length))
                return false;
        for (const FileExtent& extent : layout_.data)
            if (!Fits(extent.offset, extent.length, length))
                return false;
        for (const auto& [extent, codec] : itemData_) {
            unsigned char head[6] = {};
            if (extent.length < sizeof head || !ReadExactly(file_, extent.offset, head))
                continue;
            if (codec == Cc("hvc1")) {
                const std::uint32_t nal = Be32(head);
                if (nal == 0 || nal > extent.length - 4 || (head[4] & 0x80) != 0)
                    return false;
            } else if (codec == Cc("av01")) {  // an OBU header
                const int type = head[0] >> 3 & 15;
                if ((head[0] & 0x80) != 0 || type == 0 || (type > 8 && type != 15))
                    return false;
            }
        }
        return true;
    }

    // Walks a track's chunks: their extents, and the first bytes of each video sample. With
    // `listed`, lists the samples instead (a chunk for sound of one sample size), unread.
    bool Chunks(const Track& track, std::uint64_t length, std::vector<MovieSample>* listed = nullptr,
                std::uint32_t trackIndex = 0)
    {
        const bool wide = track.co64.start != 0;
        const Box& offsets = wide ? track.co64 : track.stco;
        const auto chunkCount = ReadU32(file_, offsets.payload + 4, ByteOrder::Big);
        const std::uint64_t offsetBytes = wide ? 8 : 4;
        if (!chunkCount || offsets.payload + 8 + *chunkCount * offsetBytes > offsets.end)
            return false;
        // Sample sizes: one for all, or a table (stz2: of 4, 8 or 16 bits).
        const bool compact = track.stsz.start == 0;
        const Box& sizes = compact ? track.stz2 : track.stsz;
        std::uint64_t fixedSize = 0;
        int fieldBits = 32;
        if (compact) {
            const auto field = ReadU8(file_, sizes.payload + 7);
            if (!field || (*field != 4 && *field != 8 && *field != 16))
                return false;
            fieldBits = *field;
        } else {
            const auto fixed = ReadU32(file_, sizes.payload + 4, ByteOrder::Big);
            if (!fixed)
                return false;
            fixedSize = *fixed;
        }
        const auto sampleCount = ReadU32(file_, sizes.payload + 8, ByteOrder::Big);
        if (!sampleCount ||
            (fixedSize == 0 && sizes.payload + 12 + (static_cast<std::uint64_t>(*sampleCount) * fieldBits + 7) / 8 > sizes.end))
            return false;
        const auto runCount = ReadU32(file_, track.stsc.payload + 4, ByteOrder::Big);
        if (!runCount || *runCount == 0 || track.stsc.payload + 8 + 12ull * *runCount > track.stsc.end)
            return false;

        ArrayReader chunkOffsets(file_, offsets.payload + 8), runs(file_, track.stsc.payload + 8),
            sampleSizes(file_, sizes.payload + 12);
        std::uint64_t nextRunChunk = 1, perChunk = 0, runsRead = 0, sample = 0, checked = 0;
        int halfByte = -1;  // stz2 with 4-bit fields: the second half of the last byte read
        auto nextRun = [&]() -> bool {
            const auto first = runs.Next(4), count = runs.Next(4), description = runs.Next(4);
            // Runs name the track's chunks in order from the first; one past the last is no run.
            if (!first || !count || !description || *first < nextRunChunk || (runsRead == 0 && *first != 1) ||
                *first > *chunkCount)
                return false;
            ++runsRead;
            nextRunChunk = *first;
            perChunk = *count;
            return true;
        };
        auto sampleSize = [&]() -> std::optional<std::uint64_t> {
            if (fixedSize != 0)
                return fixedSize;
            if (fieldBits != 4)
                return sampleSizes.Next(fieldBits / 8);
            if (halfByte >= 0) {
                const int v = halfByte;
                halfByte = -1;
                return static_cast<std::uint64_t>(v);
            }
            const auto pair = sampleSizes.Next(1);
            if (!pair)
                return std::nullopt;
            halfByte = static_cast<int>(*pair & 15);
            return *pair >> 4;
        };
        if (!nextRun())
            return false;
        std::uint64_t currentPerChunk = 0;
        for (std::uint64_t chunk = 1; chunk <= *chunkCount; ++chunk) {
            while (chunk == nextRunChunk) {
                currentPerChunk = perChunk;
                if (runsRead < *runCount) {
                    if (!nextRun())
                        return false;
                    if (nextRunChunk == chunk)
                        continue;  // two runs naming the same chunk: the later one holds
                } else {
                    nextRunChunk = UINT64_MAX;
                }
            }
            const auto offset = chunkOffsets.Next(static_cast<int>(offsetBytes));
            if (!offset || currentPerChunk > *sampleCount - std::min<std::uint64_t>(sample, *sampleCount))
                return false;
            std::uint64_t bytes = 0;
            auto list = [&](std::uint64_t at, std::uint64_t size) {
                listed->push_back({at, size, trackIndex, static_cast<std::uint32_t>(sample + 1)});
            };
            if (fixedSize != 0 && !track.info.video) {
                bytes = currentPerChunk * fixedSize;
                if (listed != nullptr && bytes > 0 && Fits(*offset, bytes, length))
                    list(*offset, bytes);
                sample += currentPerChunk;
            } else {
                for (std::uint64_t s = 0; s < currentPerChunk; ++s, ++sample) {
                    const auto size = sampleSize();
                    if (!size || ++checked > kMaxSamplesChecked)
                        return false;
                    if (!Fits(*offset, bytes, length) || !Fits(*offset + bytes, *size, length))
                        return false;
                    if (listed != nullptr)
                        list(*offset + bytes, *size);
                    else if (track.info.video && !SampleBeginsWell(file_, track.info, *offset + bytes, *size))
                        return false;
                    bytes += *size;
                }
            }
            if (!Fits(*offset, bytes, length))
                return false;
            if (listed == nullptr)
                AddData({*offset, bytes});
        }
        return true;
    }

    ByteSource& file_;
    BmffLayout& layout_;
    std::string_view token_;
    bool ftypSeen_ = false, movieSeen_ = false, itemsSeen_ = false;
    std::uint64_t furthest_ = 0;
    std::vector<Track> tracks_;
    std::vector<std::pair<std::uint64_t, FourCc>> itemTypes_;
    std::vector<std::pair<FourCc, FileExtent>> properties_;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> itemProperties_;  // item, property (from 1)
    std::vector<std::pair<FileExtent, FourCc>> itemData_;
};

}  // namespace

bool LooksLikeBmffStart(const unsigned char* sector)
{
    const std::uint32_t size = Be32(sector);
    if (std::memcmp(sector + 4, "ftyp", 4) == 0) {
        if (size < 16 || size > 256 || size % 4 != 0)
            return false;
        for (std::uint32_t at = 8; at < size; at += 4)
            if (!IsPrintable(sector + at) && !(at == 12))  // the minor version is a number
                return false;
        return true;
    }
    if (std::memcmp(sector + 4, "wide", 4) == 0)
        return size == 8 && (std::memcmp(sector + 12, "mdat", 4) == 0 || std::memcmp(sector + 12, "moov", 4) == 0);
    if (std::memcmp(sector + 4, "moov", 4) == 0)
        return size >= 16 && IsPrintable(sector + 12);
    if (std::memcmp(sector + 4, "mdat", 4) == 0)
        return size == 1 || size >= 16;
    if (std::memcmp(sector + 4, "free", 4) == 0 || std::memcmp(sector + 4, "skip", 4) == 0)
        return size >= 8 && size <= 4096;
    return false;
}

FormatWalk WalkBmff(ByteSource& file, BmffLayout& layout)
{
    layout = {};
    return BmffWalker(file, layout).Walk();
}

std::optional<MovieTables> ReadMovieTables(ByteSource& file, std::uint64_t at)
{
    BmffLayout layout;
    return BmffWalker(file, layout).Tables(at);
}

std::optional<std::uint64_t> VideoUnitAt(ByteSource& file, const MovieTrack& track, std::uint64_t at,
                                         std::uint64_t remaining)
{
    if (!SampleBeginsWell(file, track, at, remaining))
        return std::nullopt;
    if (track.nalLength == 0)
        return remaining;
    const int n = track.nalLength;
    std::optional<std::uint64_t> length;
    if (n == 1) {
        if (const auto byte = ReadU8(file, at))
            length = *byte;
    } else {
        length = ReadNumber(file, at, n);
    }
    if (!length)
        return std::nullopt;
    return static_cast<std::uint64_t>(n) + *length;  // SampleBeginsWell has checked it fits
}

std::optional<BmffBox> ReadBmffBox(ByteSource& file, std::uint64_t at)
{
    Box box;
    if (ReadBox(file, at, UINT64_MAX, box) != BoxRead::Ok)
        return std::nullopt;
    return BmffBox{box.type, box.payload, box.end};
}

FormatWalk WalkBmff(ByteSource& file)
{
    BmffLayout layout;
    return WalkBmff(file, layout);
}

namespace {

// Decodes the primary picture; false when libheif cannot.
DecodeResult DecodeHeif(std::span<const unsigned char> file)
{
    heif_context* context = heif_context_alloc();
    if (context == nullptr)
        return DecodeResult::NotChecked;
    heif_context_set_max_decoding_threads(context, 1);  // the checks already run one per core
    DecodeResult result = DecodeResult::Faulty;
    heif_error error = heif_context_read_from_memory_without_copy(context, file.data(), file.size(), nullptr);
    heif_image_handle* handle = nullptr;
    if (error.code == heif_error_Ok)
        error = heif_context_get_primary_image_handle(context, &handle);
    if (error.code == heif_error_Ok) {
        // Pictures larger than any camera's (and than memory may hold) are left unchecked.
        const long long pixels = static_cast<long long>(heif_image_handle_get_width(handle)) *
                                 heif_image_handle_get_height(handle);
        if (pixels > (200ll << 20)) {
            result = DecodeResult::NotChecked;
        } else {
            heif_image* image = nullptr;
            error = heif_decode_image(handle, &image, heif_colorspace_undefined, heif_chroma_undefined, nullptr);
            if (error.code == heif_error_Ok)
                result = DecodeResult::Clean;
            else if (error.code == heif_error_Unsupported_feature || error.code == heif_error_Unsupported_filetype)
                result = DecodeResult::NotChecked;  // e.g. no decoder for this codec here
            heif_image_release(image);
        }
    }
    heif_image_handle_release(handle);
    heif_context_free(context);
    return result;
}

// Whether a NAL unit's bytes hold 00 00 00, 00 00 01 or 00 00 02, which an encoder never leaves
// in one (it inserts 03 before the third byte): a zeroed area, or another file's bytes.
bool HasStartCodePattern(std::span<const unsigned char> unit)
{
    for (std::size_t i = 2; i < unit.size(); ++i)
        if (unit[i] <= 2 && unit[i - 1] == 0 && unit[i - 2] == 0)
            return true;
    return false;
}

// Whether coded data holds 16 zero bytes in a row: no encoder's output does; an unwritten or
// wiped area of the card between two pieces of a file does.
bool HasZeroRun(std::span<const unsigned char> data)
{
    int run = 0;
    for (const unsigned char b : data)
        if ((run = b == 0 ? run + 1 : 0) >= 16)
            return true;
    return false;
}

// Pictures are given to libde265 with every sample zero, so that what no coded data reached stays
// so: a slice of other bytes may end early without a warning, its picture's last blocks never
// decoded.
int GetZeroedBuffer(de265_decoder_context* context, de265_image_spec* requested, de265_image* image, void* userdata)
{
    const int got = de265_get_default_image_allocation_functions()->get_buffer(context, requested, image, userdata);
    if (got == 0)
        return got;
    // The image's own sizes are not set yet: the requested ones are.
    const int chromaHeight = requested->format == de265_image_format_YUV420P8 ? (requested->height + 1) / 2 : requested->height;
    for (int channel = 0; channel < (requested->format == de265_image_format_mono8 ? 1 : 3); ++channel) {
        int stride = 0;
        auto* plane = const_cast<std::uint8_t*>(de265_get_image_plane(image, channel, &stride));
        const int height = channel == 0 ? requested->height : chromaHeight;
        if (plane != nullptr && stride > 0 && height > 0)
            std::memset(plane, 0, static_cast<std::size_t>(stride) * static_cast<std::size_t>(height));
    }
    return got;
}

void ReleaseBuffer(de265_decoder_context* context, de265_image* image, void* userdata)
{
    de265_get_default_image_allocation_functions()->release_buffer(context, image, userdata);
}

// Whether a block of the picture was never reached: 16 × 16 luma samples, and the chroma ones that
// go with them, all still zero (a decoded block is never so: zero chroma is no colour a picture holds).
bool HasBlockNeverDecoded(const de265_image* picture)
{
    if (de265_get_chroma_format(picture) == de265_chroma_mono)
        return false;  // black is a picture's own: left to the warnings
    const int bytes = (de265_get_bits_per_pixel(picture, 0) + 7) / 8;
    const int width = de265_get_image_width(picture, 0), height = de265_get_image_height(picture, 0);
    const int chromaWidth = de265_get_image_width(picture, 1), chromaHeight = de265_get_image_height(picture, 1);
    if (width <= 0 || height <= 0 || chromaWidth <= 0 || chromaHeight <= 0)
        return true;
    const int xShift = width / chromaWidth == 2 ? 1 : 0, yShift = height / chromaHeight == 2 ? 1 : 0;
    int strides[3] = {};
    const std::uint8_t* planes[3];
    for (int c = 0; c < 3; ++c)
        planes[c] = de265_get_image_plane(picture, c, &strides[c]);
    if (planes[0] == nullptr || planes[1] == nullptr || planes[2] == nullptr)
        return true;
    const auto zero = [&](int c, int x0, int y0, int w, int h) {
        for (int y = y0; y < y0 + h; ++y) {
            const std::uint8_t* row = planes[c] + static_cast<std::ptrdiff_t>(y) * strides[c] + x0 * bytes;
            for (int i = 0; i < w * bytes; ++i)
                if (row[i] != 0)
                    return false;
        }
        return true;
    };
    for (int y = 0; y + 16 <= height; y += 16)
        for (int x = 0; x + 16 <= width; x += 16)
            if (zero(0, x, y, 16, 16) && zero(1, x >> xShift, y >> yShift, 16 >> xShift, 16 >> yShift) &&
                zero(2, x >> xShift, y >> yShift, 16 >> xShift, 16 >> yShift))
                return true;
    return false;
}

// An HEVC-coded item decoded with libde265 itself: libheif passes its pictures on but not its
// warnings, and those are what tell coded data with another file's bytes inside (a photo stored
// in pieces), which it otherwise decodes into a picture without a word; and a picture with blocks
// no coded data reached.
DecodeResult DecodeHevcItem(std::span<const unsigned char> file, const HeifItem& item)
{
    const FileExtent& config = item.configuration;
    if (config.length < 23 || !Fits(config.offset, config.length, file.size()))
        return DecodeResult::Faulty;
    const unsigned char* hvcC = file.data() + config.offset;
    const std::size_t lengthSize = (hvcC[21] & 3u) + 1;
    de265_decoder_context* decoder = de265_new_decoder();
    if (decoder == nullptr)
        return DecodeResult::NotChecked;
    // The in-loop filters only smooth the picture; what tells damage is the coded data itself.
    de265_set_parameter_bool(decoder, DE265_DECODER_PARAM_DISABLE_DEBLOCKING, 1);
    de265_set_parameter_bool(decoder, DE265_DECODER_PARAM_DISABLE_SAO, 1);
    de265_image_allocation zeroed{GetZeroedBuffer, ReleaseBuffer};
    de265_set_image_allocation_functions(decoder, &zeroed, nullptr);
    bool whole = lengthSize != 3;
    // The parameter sets, in arrays of NAL units with 2-byte lengths.
    std::size_t at = 23;
    for (int array = 0, arrays = hvcC[22]; whole && array < arrays; ++array) {
        if (at + 3 > config.length) {
            whole = false;
            break;
        }
        const int units = hvcC[at + 1] << 8 | hvcC[at + 2];
        at += 3;
        for (int unit = 0; whole && unit < units; ++unit) {
            const std::size_t length = at + 2 <= config.length ? static_cast<std::size_t>(hvcC[at] << 8 | hvcC[at + 1]) : SIZE_MAX;
            whole = length != SIZE_MAX && length <= config.length - at - 2 &&
                    de265_push_NAL(decoder, hvcC + at + 2, static_cast<int>(length), 0, nullptr) == DE265_OK;
            at += 2 + (whole ? length : 0);
        }
    }
    // The item's data: NAL units, each after its length, filling every extent exactly.
    for (const FileExtent& extent : item.extents) {
        if (!whole || !Fits(extent.offset, extent.length, file.size())) {
            whole = false;
            break;
        }
        const unsigned char* data = file.data() + extent.offset;
        std::uint64_t pos = 0;
        while (whole && pos < extent.length) {
            std::uint64_t length = 0;
            for (std::size_t i = 0; i < lengthSize && pos + i < extent.length; ++i)
                length = length << 8 | data[pos + i];
            pos += lengthSize;
            whole = pos <= extent.length && length > 0 && length <= extent.length - pos && length <= INT32_MAX &&
                    !HasStartCodePattern({data + pos, static_cast<std::size_t>(length)}) &&
                    de265_push_NAL(decoder, data + pos, static_cast<int>(length), 0, nullptr) == DE265_OK;
            pos += length;
        }
    }
    if (whole) {
        de265_flush_data(decoder);
        int more = 1;
        de265_error error = DE265_OK;
        for (int step = 0; more && error == DE265_OK && step < (1 << 20); ++step)
            error = de265_decode(decoder, &more);
        const de265_image* picture = nullptr;
        whole = (error == DE265_OK || error == DE265_ERROR_WAITING_FOR_INPUT_DATA) &&
                de265_get_warning(decoder) == DE265_OK && (picture = de265_get_next_picture(decoder)) != nullptr &&
                !HasBlockNeverDecoded(picture);
    }
    de265_free_decoder(decoder);
    return whole ? DecodeResult::Clean : DecodeResult::Faulty;
}

}  // namespace

DecodeResult DecodeBmff(std::span<const unsigned char> file)
{
    MemoryByteSource source(file);
    BmffLayout layout;
    // The bytes are the file's own, to its end: the walk is asked only what the file is.
    const FormatWalk walk = WalkBmff(source, layout);
    if (!walk.recognised)
        return DecodeResult::NotChecked;
    if (IsStill(walk.token)) {
        // Every HEVC-coded item (the picture, its tiles, its thumbnail) by libde265; pictures of
        // other codecs, and grids, by libheif.
        bool hevc = false;
        for (const HeifItem& item : layout.items)
            if (item.type == Cc("hvc1") && item.configuration.length > 0) {
                hevc = true;
                if (DecodeHevcItem(file, item) != DecodeResult::Clean)
                    return DecodeResult::Faulty;
            }
        if (hevc)
            return DecodeResult::Clean;
        for (const HeifItem& item : layout.items)
            if (item.type == Cc("av01"))
                for (const FileExtent& extent : item.extents)
                    if (Fits(extent.offset, extent.length, file.size()) &&
                        HasZeroRun(file.subspan(static_cast<std::size_t>(extent.offset), static_cast<std::size_t>(extent.length))))
                        return DecodeResult::Faulty;
        return DecodeHeif(file);
    }
    if (walk.token == "CR3" && layout.preview && layout.preview->offset + layout.preview->length <= file.size())
        return DecodeJpeg(file.subspan(static_cast<std::size_t>(layout.preview->offset),
                                       static_cast<std::size_t>(layout.preview->length)));
    return DecodeResult::NotChecked;
}

}  // namespace quorvex
