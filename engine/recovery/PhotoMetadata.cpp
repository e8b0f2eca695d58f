#include "PhotoMetadata.h"

#include "BmffFormat.h"
#include "TiffFormat.h"

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace quorvex {

namespace {

void PrepareLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // Damaged metadata is the rule on a recovered card, not news for the terminal.
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize();  // once, before threads read XMP
        Exiv2::enableBMFF(true);         // HEIC, AVIF and CR3: off unless asked for
    });
}

constexpr std::size_t kMaxTextBytes = 64;

std::optional<std::string> Text(const Exiv2::ExifData& exif, const char* key)
{
    const auto at = exif.findKey(Exiv2::ExifKey(key));
    if (at == exif.end() || at->count() == 0)
        return std::nullopt;
    std::string text = at->toString();
    // Camera strings are padded with zeros or spaces. What is shown and written as JSON is plain
    // printable text of a sane length, whatever the bytes were.
    if (const std::size_t end = text.find('\0'); end != std::string::npos)
        text.resize(end);
    if (text.size() > kMaxTextBytes)
        text.resize(kMaxTextBytes);
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
            c = '?';
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    std::size_t first = 0;
    while (first < text.size() && text[first] == ' ')
        ++first;
    text.erase(0, first);
    if (text.empty())
        return std::nullopt;
    return text;
}

std::uint32_t Number(const Exiv2::ExifData& exif, const char* key)
{
    const auto at = exif.findKey(Exiv2::ExifKey(key));
    if (at == exif.end() || at->count() == 0)
        return 0;
    const long value = at->toLong();
    return value > 0 && value < (1L << 30) ? static_cast<std::uint32_t>(value) : 0;
}

std::string CameraName(const std::optional<std::string>& make, const std::optional<std::string>& model)
{
    if (!model)
        return make.value_or("");
    if (!make)
        return *model;
    // "NIKON CORPORATION" + "NIKON D750" is "NIKON D750": the model often names the maker.
    const std::string firstWord = make->substr(0, make->find(' '));
    if (model->size() >= firstWord.size() &&
        std::equal(firstWord.begin(), firstWord.end(), model->begin(),
                   [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b)); }))
        return *model;
    return *make + " " + *model;
}

void ReadFacts(Exiv2::Image& image, PhotoFacts& facts)
{
    const Exiv2::ExifData& exif = image.exifData();
    for (const char* key : {"Exif.Photo.DateTimeOriginal", "Exif.Photo.DateTimeDigitized", "Exif.Image.DateTime"}) {
        if (const auto text = Text(exif, key))
            facts.captured = CaptureTime::Parse(*text);
        if (facts.captured)
            break;
    }
    facts.camera = CameraName(Text(exif, "Exif.Image.Make"), Text(exif, "Exif.Image.Model"));
    const std::uint32_t orientation = Number(exif, "Exif.Image.Orientation");
    facts.orientation = orientation >= 1 && orientation <= 8 ? static_cast<int>(orientation) : 1;
    facts.width = image.pixelWidth() > 0 ? static_cast<std::uint32_t>(image.pixelWidth()) : 0;
    facts.height = image.pixelHeight() > 0 ? static_cast<std::uint32_t>(image.pixelHeight()) : 0;
    if (facts.width == 0 || facts.height == 0) {
        facts.width = Number(exif, "Exif.Photo.PixelXDimension");
        facts.height = Number(exif, "Exif.Photo.PixelYDimension");
    }
    if (facts.width == 0 || facts.height == 0) {
        facts.width = Number(exif, "Exif.Image.ImageWidth");
        facts.height = Number(exif, "Exif.Image.ImageLength");
    }
    if (facts.width == 0 || facts.height == 0)
        facts.width = facts.height = 0;
}

std::vector<unsigned char> Preview(const Exiv2::Image& image, std::uint32_t previewWidth)
{
    const Exiv2::PreviewManager previews(image);
    const Exiv2::PreviewPropertiesList list = previews.getPreviewProperties();  // smallest first
    std::vector<unsigned char> best;
    for (const Exiv2::PreviewProperties& properties : list) {
        if (properties.mimeType_ != "image/jpeg")
            continue;
        const Exiv2::PreviewImage preview = previews.getPreviewImage(properties);
        if (preview.size() < 4 || preview.pData()[0] != 0xFF || preview.pData()[1] != 0xD8)
            continue;  // not a JPEG after all
        best.assign(preview.pData(), preview.pData() + preview.size());
        if (properties.width_ == 0 || properties.width_ >= previewWidth)
            break;  // the smallest that is big enough; else the biggest there is
    }
    return best;
}

int TwoDigits(std::string_view text, std::size_t at)
{
    int value = -1;
    if (at + 2 <= text.size())
        std::from_chars(text.data() + at, text.data() + at + 2, value);
    return value;
}

}  // namespace

std::optional<CaptureTime> CaptureTime::Parse(std::string_view text)
{
    // YYYY:MM:DD HH:MM:SS
    if (text.size() < 19)
        return std::nullopt;
    for (const std::size_t at : {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{5},
                                 std::size_t{6}, std::size_t{8}, std::size_t{9}, std::size_t{11}, std::size_t{12},
                                 std::size_t{14}, std::size_t{15}, std::size_t{17}, std::size_t{18}})
        if (text[at] < '0' || text[at] > '9')
            return std::nullopt;
    if ((text[4] != ':' && text[4] != '-') || text[7] != text[4] || (text[10] != ' ' && text[10] != 'T') ||
        text[13] != ':' || text[16] != ':')
        return std::nullopt;
    CaptureTime time;
    time.year = TwoDigits(text, 0) * 100 + TwoDigits(text, 2);
    time.month = TwoDigits(text, 5);
    time.day = TwoDigits(text, 8);
    time.hour = TwoDigits(text, 11);
    time.minute = TwoDigits(text, 14);
    time.second = TwoDigits(text, 17);
    static constexpr int kDaysIn[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (time.year < 1900 || time.year > 2200 || time.month < 1 || time.month > 12 || time.day < 1 ||
        time.day > kDaysIn[time.month - 1] || time.hour > 23 || time.minute > 59 || time.second > 60)
        return std::nullopt;
    return time;
}

std::string CaptureTime::Iso() const
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", year, month, day, hour, minute, second);
    return text;
}

std::string CaptureTime::Shown() const
{
    std::string text = Iso();
    text[10] = ' ';
    return text;
}

std::string CaptureTime::FileStem() const
{
    std::string text = Iso();
    text[10] = '_';
    text[13] = text[16] = '-';
    return text;
}

std::int64_t CaptureTime::LocalEpochSeconds() const
{
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = std::min(second, 59);
    local.tm_isdst = -1;  // whatever daylight saving the place had then
    return static_cast<std::int64_t>(std::mktime(&local));
}

namespace {

// Whether the segments of the JPEG in `bytes` reach its first start-of-scan marker within them
// (its metadata lies before it).
bool JpegScanStartsWithin(std::span<const unsigned char> bytes)
{
    std::size_t at = 2;  // after SOI
    while (at + 4 <= bytes.size()) {
        if (bytes[at] != 0xFF)
            return true;  // not a segment: whatever follows is no metadata
        const unsigned char marker = bytes[at + 1];
        if (marker == 0xFF) {
            ++at;  // fill byte
            continue;
        }
        if (marker == 0xDA)
            return true;
        at += 2 + (std::size_t{bytes[at + 2]} << 8 | bytes[at + 3]);
    }
    return false;
}

// A Fujifilm raw file keeps its Exif in the JPEG preview its header points at; the layouts of
// what follows that preview differ between camera generations, so only the preview is read.
std::optional<std::span<const unsigned char>> RafPreviewOf(std::span<const unsigned char> bytes)
{
    static constexpr std::string_view kMagic = "FUJIFILMCCD-RAW ";
    constexpr std::size_t kDirectory = 84;
    if (bytes.size() < kDirectory + 8 || !std::equal(kMagic.begin(), kMagic.end(), bytes.begin()))
        return std::nullopt;
    auto be32 = [&](std::size_t at) {
        return std::uint64_t{bytes[at]} << 24 | std::uint64_t{bytes[at + 1]} << 16 | std::uint64_t{bytes[at + 2]} << 8 |
               std::uint64_t{bytes[at + 3]};
    };
    const std::uint64_t offset = be32(kDirectory);
    const std::uint64_t length = be32(kDirectory + 4);
    if (offset < kDirectory + 8 || offset >= bytes.size() || length < 4 || length > bytes.size() - offset)
        return std::span<const unsigned char>{};
    return bytes.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
}

// The largest JPEG preview a raw file's own structure points at, as exact recovery walks it: for
// the raws Exiv2 keeps none of (CR3), or keeps in a way of its own.
std::vector<unsigned char> WalkedPreview(std::span<const unsigned char> bytes)
{
    MemoryByteSource source(bytes);
    std::vector<FileExtent> previews;
    if (WalkTiff(source, previews).recognised == false) {
        BmffLayout layout;
        if (WalkBmff(source, layout).recognised && layout.preview)
            previews.push_back(*layout.preview);
    }
    const FileExtent* largest = nullptr;
    for (const FileExtent& preview : previews)
        if (preview.offset < bytes.size() && preview.length >= 4 && preview.length <= bytes.size() - preview.offset &&
            bytes[preview.offset] == 0xFF && bytes[preview.offset + 1] == 0xD8 &&
            (largest == nullptr || preview.length > largest->length))
            largest = &preview;
    if (largest == nullptr)
        return {};
    const auto first = bytes.begin() + static_cast<std::ptrdiff_t>(largest->offset);
    return {first, first + static_cast<std::ptrdiff_t>(largest->length)};
}

// A movie's creation time (mvhd: seconds since 1904), as the camera's clock had it.
std::optional<CaptureTime> MovieCreated(std::uint64_t secondsSince1904)
{
    constexpr std::uint64_t kTo1970 = 2082844800;
    if (secondsSince1904 <= kTo1970)
        return std::nullopt;
    const std::time_t seconds = static_cast<std::time_t>(secondsSince1904 - kTo1970);
    std::tm utc{};
    if (gmtime_r(&seconds, &utc) == nullptr)
        return std::nullopt;
    CaptureTime time{utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec};
    return time.year >= 1990 && time.year <= 2100 ? std::optional<CaptureTime>(time) : std::nullopt;
}

bool IsMovie(std::string_view token)
{
    return token == "MP4" || token == "MOV" || token == "3GP";
}

}  // namespace

PhotoMetadata ReadPhotoMetadata(std::span<const unsigned char> bytes, std::uint32_t previewWidth)
{
    PhotoMetadata metadata;
    if (bytes.size() < 12 || bytes.size() > static_cast<std::size_t>(std::numeric_limits<long>::max()))
        return metadata;
    if (const auto rafPreview = RafPreviewOf(bytes)) {
        if (rafPreview->empty())
            return metadata;
        metadata.facts = ReadPhotoMetadata(*rafPreview).facts;
        if (previewWidth > 0 && (*rafPreview)[0] == 0xFF && (*rafPreview)[1] == 0xD8)
            metadata.preview.assign(rafPreview->begin(), rafPreview->end());
        return metadata;
    }
    PrepareLibrary();
    Exiv2::Image::AutoPtr image;
    try {
        // Reads the bytes where they are (copy on write, and nothing is written).
        image = Exiv2::ImageFactory::open(bytes.data(), static_cast<long>(bytes.size()));
    } catch (const std::exception&) {
        if (previewWidth > 0)
            metadata.preview = WalkedPreview(bytes);
        return metadata;  // no kind of file the library knows
    }
    if (image.get() == nullptr) {
        if (previewWidth > 0)
            metadata.preview = WalkedPreview(bytes);
        return metadata;
    }
    try {
        image->readMetadata();
    } catch (const std::exception&) {
        // Damaged further on: what was read before the damage still counts.
    }
    try {
        ReadFacts(*image, metadata.facts);
        if (previewWidth > 0)
            metadata.preview = Preview(*image, previewWidth);
    } catch (const std::exception&) {
        metadata.preview.clear();
    }
    if (previewWidth > 0 && metadata.preview.empty())
        metadata.preview = WalkedPreview(bytes);
    return metadata;
}

std::uint64_t MetadataBytesOf(std::string_view token, std::uint64_t lengthBytes)
{
    constexpr std::uint64_t kHeadBytes = 256 * 1024;
    constexpr std::uint64_t kWholeFileBound = 256ull << 20;
    if (token == "JPG" || token == "PNG")
        return std::min(lengthBytes, kHeadBytes);
    static constexpr std::string_view kWhole[] = {"TIF", "NEF", "DCR", "CRW", "RAF", "MRW", "CR2", "CR3", "ARW",
                                                  "DNG", "ORF", "RW2", "PEF", "HEIC", "AVIF"};
    if (std::find(std::begin(kWhole), std::end(kWhole), token) != std::end(kWhole))
        return std::min(lengthBytes, kWholeFileBound);
    if (IsMovie(token))
        return lengthBytes;  // walked for its movie header, never read whole
    return 0;  // BMP, GIF, WEBP, MTS and RIFF's forms carry none of it
}

PhotoMetadata ReadFoundFileMetadata(VolumeReader& reader, const FoundFileCatalogue& catalogue, std::uint64_t index,
                                    std::uint32_t previewWidth)
{
    const std::string_view token = catalogue.TokenAt(index);
    const std::uint64_t wanted = std::min(MetadataBytesOf(token, catalogue.LengthAt(index)), catalogue.LengthAt(index));
    if (wanted == 0)
        return {};
    FoundFileReader file(reader, catalogue.PiecesAt(index));
    if (IsMovie(token)) {
        // Its boxes walked (their headers and the movie header), not its data.
        PhotoMetadata metadata;
        BmffLayout layout;
        WalkBmff(file, layout);
        metadata.facts.captured = MovieCreated(layout.created);
        return metadata;
    }
    // A JPEG's metadata ends where its picture data starts: most of them need their first 64 KiB
    // only, the rest up to their bound.
    constexpr std::uint64_t kJpegFirstRead = 64 * 1024;
    std::vector<unsigned char> bytes(static_cast<std::size_t>(token == "JPG" ? std::min(wanted, kJpegFirstRead) : wanted));
    bytes.resize(file.ReadAt(0, bytes));
    if (token == "JPG" && bytes.size() < wanted && !JpegScanStartsWithin(bytes)) {
        bytes.resize(static_cast<std::size_t>(wanted));
        bytes.resize(file.ReadAt(0, bytes));
    }
    return ReadPhotoMetadata(bytes, previewWidth);
}

}  // namespace quorvex
