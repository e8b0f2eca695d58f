// Today's files in exact recovery: ISO media (HEIC, AVIF, MP4, MOV, 3GP, CR3), transport streams
// (MTS), the TIFF raws (CR2, ARW, DNG, ORF, RW2, PEF) and RIFF's forms (WEBP, AVI, WAV). For each:
// whole files end where they end under their own token; cuts are truncated; a file stored in two
// pieces, a lost index, tables that lie and hostile sizes are damage or no file, never complete.
#include "BmffFormat.h"
#include "CameraFiles.h"
#include "ExactFormats.h"
#include "ModernFiles.h"
#include "TsFormat.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace quorvex;
namespace fx = quorvex::fixtures;

namespace {

struct Outcome {
    FormatWalk walk;
    Verdict verdict = Verdict::None;
};

// The file as a card holds it (followed by `after`, within `bound` bytes), walked by the format
// that reports `token`, and decoded as the scan's check would.
Outcome Examine(std::string_view token, const fx::Bytes& file, const fx::Bytes& after = {}, std::size_t bound = SIZE_MAX)
{
    const ExactFormat* format = ExactFormatOf(token);
    fx::Bytes card = file;
    card.insert(card.end(), after.begin(), after.end());
    MemoryByteSource source({card.data(), std::min(bound, card.size())});
    Outcome outcome;
    outcome.walk = format->walk(source);
    if (outcome.walk.end == WalkEnd::Closed && outcome.walk.decoded == DecodeResult::NotChecked && format->decode)
        outcome.walk.decoded = format->decode({card.data(), static_cast<std::size_t>(outcome.walk.length)});
    outcome.verdict = VerdictOf(outcome.walk.end, outcome.walk.decoded);
    return outcome;
}

fx::Bytes Noise(std::size_t size, unsigned seed = 1)
{
    std::mt19937 random(seed);
    fx::Bytes bytes(size);
    for (auto& b : bytes)
        b = static_cast<unsigned char>(random());
    for (std::size_t at = 0; at < size; at += 512)
        bytes[at] = 0x55;  // never the start of a file by chance
    return bytes;
}

void ExpectWhole(const Outcome& outcome, const fx::Bytes& file, std::string_view token)
{
    EXPECT_TRUE(outcome.walk.recognised);
    EXPECT_EQ(outcome.walk.token, token);
    EXPECT_EQ(outcome.walk.end, WalkEnd::Closed);
    EXPECT_EQ(outcome.walk.length, file.size());
    EXPECT_EQ(outcome.verdict, Verdict::Complete);
}

// The file with `gap` bytes written in at `at`: a file stored in two pieces, read as one.
fx::Bytes InPieces(const fx::Bytes& file, std::size_t at, const fx::Bytes& gap)
{
    fx::Bytes out(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(at));
    out.insert(out.end(), gap.begin(), gap.end());
    out.insert(out.end(), file.begin() + static_cast<std::ptrdiff_t>(at), file.end());
    return out;
}

std::uint32_t Be32(const fx::Bytes& b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at]) << 24 | static_cast<std::uint32_t>(b[at + 1]) << 16 |
           static_cast<std::uint32_t>(b[at + 2]) << 8 | b[at + 3];
}

void PutBe32(fx::Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(v >> (24 - 8 * i));
}

std::size_t Find(const fx::Bytes& b, const char* text)
{
    const std::size_t n = std::strlen(text);
    for (std::size_t i = 0; i + n <= b.size(); ++i)
        if (std::memcmp(&b[i], text, n) == 0)
            return i;
    return SIZE_MAX;
}

const fx::RgbImage& Picture()
{
    static const fx::RgbImage picture = fx::MakeScene(320, 240, 3);
    return picture;
}

fx::MovieOptions Movie(const std::string& brand, const std::string& codec, bool moovFirst = true)
{
    fx::MovieOptions options;
    options.brand = brand;
    options.codec = codec;
    options.moovFirst = moovFirst;
    if (codec == "jpeg")
        options.frames = {Picture(), fx::MakeScene(320, 240, 4)};
    else
        options.samples = 40;
    return options;
}

}  // namespace

TEST(ExactIsoMedia, MoviesAndStillsEndWhereTheirBoxesEndUnderTheirBrandsToken)
{
    struct Case {
        fx::Bytes file;
        std::string_view token;
    };
    const std::vector<Case> cases = {
        {fx::EncodeMovie(Movie("isom", "avc1")), "MP4"},
        {fx::EncodeMovie(Movie("mp42", "avc1", false)), "MP4"},
        {fx::EncodeMovie(Movie("M4V ", "hvc1")), "MP4"},
        {fx::EncodeMovie(Movie("qt  ", "jpeg", false)), "MOV"},
        {fx::EncodeMovie(Movie("", "jpeg")), "MOV"},  // an old QuickTime movie without brands
        {fx::EncodeMovie(Movie("3gp5", "avc1")), "3GP"},
        {fx::EncodeHeic(Picture(), 50), "HEIC"},
        {fx::EncodeAvif(Picture(), 50), "AVIF"},
        {fx::EncodeCr3(Picture(), 100000), "CR3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.token));
        ExpectWhole(Examine("MP4", c.file, Noise(4096)), c.file, c.token);
        // Cut short: truncated, whatever part is missing.
        EXPECT_EQ(Examine("MP4", c.file, {}, c.file.size() - 100).verdict, Verdict::Truncated);
    }
    // Two movies back to back: the first ends where the second's ftyp begins.
    const fx::Bytes first = fx::EncodeMovie(Movie("isom", "avc1")), second = fx::EncodeMovie(Movie("qt  ", "jpeg"));
    ExpectWhole(Examine("MP4", first, second), first, "MP4");
    // A brand of no type we recover (JPEG 2000's) is no file of ours.
    fx::Bytes jp2 = first;
    std::memcpy(&jp2[8], "jp2 ", 4);
    std::memcpy(&jp2[16], "jp2 ", 4);
    std::memcpy(&jp2[20], "jpx ", 4);
    EXPECT_FALSE(Examine("MP4", jp2).walk.recognised);
}

TEST(ExactIsoMedia, PiecesALostIndexAndTablesThatLieAreDamageNeverComplete)
{
    const fx::Bytes movie = fx::EncodeMovie(Movie("isom", "avc1"));
    const std::size_t mdat = Find(movie, "mdat");
    // Stored in two pieces, with random bytes or zeros between: the samples after the break do not
    // begin as H.264 samples do.
    for (const fx::Bytes& gap : {Noise(8192, 3), fx::Bytes(8192, 0)})
        EXPECT_EQ(Examine("MP4", InPieces(movie, mdat + 4096, gap)).verdict, Verdict::Damaged);
    // A QuickTime movie, whose tracks have a second handler (of their data) after the media's.
    const fx::Bytes quickTime = fx::EncodeMovie(Movie("qt  ", "jpeg"));
    EXPECT_EQ(Examine("MOV", InPieces(quickTime, Find(quickTime, "mdat") + 4096, Noise(8192, 5))).verdict, Verdict::Damaged);
    // The index written last and lost: the file breaks off after its data.
    const fx::Bytes last = fx::EncodeMovie(Movie("isom", "avc1", false));
    const fx::Bytes lost(last.begin(), last.begin() + static_cast<std::ptrdiff_t>(Find(last, "moov") - 4));
    EXPECT_EQ(Examine("MP4", lost, fx::Bytes(4096, 0)).verdict, Verdict::Damaged);
    // A chunk offset pointing past the file.
    fx::Bytes lying = movie;
    const std::size_t stco = Find(lying, "stco");
    PutBe32(lying, stco + 12, 0x7FFFFFF0);
    EXPECT_EQ(Examine("MP4", lying, Noise(4096)).verdict, Verdict::Damaged);
    // A child box that nests past its parent.
    fx::Bytes nested = movie;
    const std::size_t trak = Find(nested, "trak");
    PutBe32(nested, trak - 4, Be32(nested, trak - 4) + 100000);
    EXPECT_EQ(Examine("MP4", nested).verdict, Verdict::Damaged);

    // A HEIC photo in two pieces: its coded picture does not decode without a warning.
    const fx::Bytes heic = fx::EncodeHeic(fx::MakeScene(640, 480, 6), 70);
    ASSERT_GT(heic.size(), 12000u);
    for (const fx::Bytes& gap : {Noise(4096, 4), fx::Bytes(4096, 0)})
        EXPECT_EQ(Examine("HEIC", InPieces(heic, heic.size() - 8192, gap)).verdict, Verdict::Damaged);
    // Its second half another picture's coded data (the same size and settings): the slice ends
    // early there without a warning, the rest of the picture never decoded.
    const fx::Bytes other = fx::EncodeHeic(fx::MakeScene(640, 480, 9), 70);
    fx::Bytes mixed = heic;
    const std::size_t half = heic.size() / 2;
    ASSERT_GT(other.size(), half + 4096);
    std::copy(other.begin() + static_cast<std::ptrdiff_t>(half), other.begin() + static_cast<std::ptrdiff_t>(half + 4096),
              mixed.begin() + static_cast<std::ptrdiff_t>(half));
    EXPECT_EQ(Examine("HEIC", mixed, Noise(4096)).verdict, Verdict::Damaged);
    // AVIF: a zeroed area inside its coded data.
    const fx::Bytes avif = fx::EncodeAvif(fx::MakeScene(640, 480, 6), 70);
    EXPECT_EQ(Examine("AVIF", InPieces(avif, avif.size() - 1024, fx::Bytes(4096, 0))).verdict, Verdict::Damaged);
}

TEST(ExactIsoMedia, HostileSizesAreBoundedAndNeverReadPast)
{
    const fx::Bytes movie = fx::EncodeMovie(Movie("isom", "avc1", false));
    const std::size_t mdat = Find(movie, "mdat") - 4;
    // mdat of size 0, the last box: it ends where its samples do (here, the index comes first).
    const fx::Bytes first = fx::EncodeMovie(Movie("isom", "avc1", true));
    fx::Bytes open = first;
    PutBe32(open, Find(open, "mdat") - 4, 0);
    const Outcome lastBox = Examine("MP4", open, Noise(8192));
    EXPECT_EQ(lastBox.walk.end, WalkEnd::Closed);
    EXPECT_EQ(lastBox.walk.length, first.size());
    // A 64-bit size (size 1, then eight bytes): the same file, a box header 8 bytes longer.
    fx::Bytes wide(movie.begin(), movie.begin() + static_cast<std::ptrdiff_t>(mdat));
    const std::uint64_t mdatSize = Be32(movie, mdat) + 8ull;
    for (unsigned char b : fx::Bytes{0, 0, 0, 1, 'm', 'd', 'a', 't'})
        wide.push_back(b);
    for (int i = 7; i >= 0; --i)
        wide.push_back(static_cast<unsigned char>(mdatSize >> (8 * i)));
    wide.insert(wide.end(), movie.begin() + static_cast<std::ptrdiff_t>(mdat + 8), movie.end());
    EXPECT_TRUE(Examine("MP4", wide).walk.recognised);
    EXPECT_NE(Examine("MP4", wide).verdict, Verdict::None);
    // A size of 4 GiB runs past the bound; one of 2^64 - 1 past every offset there is (no box);
    // a size below a header's is no box either. None of them is read.
    const std::pair<std::uint64_t, Verdict> sizes[] = {{std::uint64_t{1} << 32, Verdict::Truncated},
                                                       {UINT64_MAX, Verdict::Damaged}};
    for (const auto& [size, verdict] : sizes) {
        fx::Bytes huge = wide;
        for (int i = 0; i < 8; ++i)
            huge[mdat + 8 + static_cast<std::size_t>(i)] = static_cast<unsigned char>(size >> (56 - 8 * i));
        EXPECT_EQ(Examine("MP4", huge).verdict, verdict);
    }
    fx::Bytes tiny = movie;
    PutBe32(tiny, mdat, 3);
    EXPECT_NE(Examine("MP4", tiny).verdict, Verdict::Complete);
    // Random bytes after a brand-less box name are no movie: only a movie header makes one.
    fx::Bytes freeBox = {0, 0, 0, 16, 'f', 'r', 'e', 'e'};
    const fx::Bytes noise = Noise(8192, 9);
    freeBox.insert(freeBox.end(), noise.begin(), noise.end());
    EXPECT_FALSE(Examine("MP4", freeBox).walk.recognised);
}

TEST(ExactTransportStream, RunsOfPacketsEndWhereTheSyncStops)
{
    const fx::Bytes avchd = fx::EncodeTransportStream(true, 64), plain = fx::EncodeTransportStream(false, 50);
    ExpectWhole(Examine("MTS", avchd, Noise(4096)), avchd, "MTS");
    ExpectWhole(Examine("MTS", plain, Noise(4096)), plain, "MTS");
    // An AVCHD clip cut where no aligned unit ends: another file's data follows, or the rest of it
    // lies elsewhere.
    const fx::Bytes cut(avchd.begin(), avchd.begin() + 40 * 192);
    EXPECT_EQ(Examine("MTS", cut, Noise(4096)).verdict, Verdict::Damaged);
    EXPECT_EQ(Examine("MTS", avchd, {}, avchd.size() - 10).verdict, Verdict::Truncated);
    // Sync bytes by chance at a packet's distance in random data: not enough of them for a start.
    fx::Bytes chance = Noise(4096, 12);
    chance[0] = chance[188] = 0x47;
    EXPECT_FALSE(LooksLikeTsStart(chance.data()));
}

TEST(ExactRaws, EachRawUnderItsOwnTokenCompleteWhenItsPreviewDecodes)
{
    const std::pair<fx::CameraRaw, std::string_view> kinds[] = {
        {fx::CameraRaw::Cr2, "CR2"}, {fx::CameraRaw::Arw, "ARW"}, {fx::CameraRaw::Dng, "DNG"},
        {fx::CameraRaw::Orf, "ORF"}, {fx::CameraRaw::Rw2, "RW2"}, {fx::CameraRaw::Pef, "PEF"}};
    for (const auto& [kind, token] : kinds) {
        SCOPED_TRACE(std::string(token));
        const fx::Bytes raw = fx::EncodeCameraRaw(kind, Picture(), 200000);
        ExpectWhole(Examine("TIF", raw, Noise(4096)), raw, token);
        EXPECT_EQ(Examine("TIF", raw, {}, raw.size() - 1000).verdict, Verdict::Truncated);
        // The preview's data overwritten: the structure closes, the preview does not decode.
        fx::Bytes spoilt = raw;
        const std::size_t soi = Find(raw, "\xFF\xD8\xFF");
        std::fill(spoilt.begin() + static_cast<std::ptrdiff_t>(soi) + 2000, spoilt.begin() + static_cast<std::ptrdiff_t>(soi) + 2600, 0);
        EXPECT_EQ(Examine("TIF", spoilt).verdict, Verdict::Damaged);
    }
    // What is not a raw stays TIF: a Canon TIFF without Canon's raw mark, a Sony TIFF without raw
    // data in a SubIFD.
    fx::Bytes canon = fx::EncodeCameraRaw(fx::CameraRaw::Cr2, Picture(), 20000);
    canon[8] = 'X';
    EXPECT_EQ(Examine("TIF", canon).walk.token, "TIF");
    const fx::Bytes nikon = fx::EncodeRawLikeTiff(Picture(), "NIKON CORPORATION", "D90", 20000, false);
    EXPECT_EQ(Examine("TIF", nikon).walk.token, "NEF");
    const fx::Bytes plain = fx::EncodeTiff(Picture(), false);
    EXPECT_EQ(Examine("TIF", plain).walk.token, "TIF");
}

TEST(ExactRiff, WebpIsAPictureOfItsOwn)
{
    fx::Bytes webp = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8', 'L', 10, 0, 0, 0};
    for (int i = 0; i < 10; ++i)
        webp.push_back(static_cast<unsigned char>(0x2F + i));
    const auto size = static_cast<std::uint32_t>(webp.size() - 8);
    for (int i = 0; i < 4; ++i)
        webp[4 + static_cast<std::size_t>(i)] = static_cast<unsigned char>(size >> (8 * i));
    ExpectWhole(Examine("RIFF", webp, Noise(1000)), webp, "WEBP");
}
