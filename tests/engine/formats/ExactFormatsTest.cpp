// Exact recovery's formats: which starts are files, where each file ends, and which files are
// whole. Files come from the real encoders and our camera-file writers, followed by other data
// as on a card; false candidates are near misses of each header.
#include "BmpFormat.h"
#include "CameraFiles.h"
#include "CrwFormat.h"
#include "ExactFormats.h"
#include "GifFormat.h"
#include "JpegFormat.h"
#include "MrwFormat.h"
#include "PictureEncoders.h"
#include "PngFormat.h"
#include "RafFormat.h"
#include "RiffFormat.h"
#include "TiffFormat.h"
#include "TiffLayout.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <array>

#include <cstring>
#include <random>

using namespace quorvex;
namespace fx = quorvex::fixtures;

namespace {

struct Outcome {
    FormatWalk walk;
    Verdict verdict = Verdict::None;
};

// What exact recovery makes of `file` followed by `trailing` (other data on the card), with at
// most `bound` bytes to read.
Outcome Examine(std::string_view token, const fx::Bytes& file, const fx::Bytes& trailing = {},
                std::size_t bound = SIZE_MAX)
{
    const ExactFormat* format = ExactFormatOf(token);
    fx::Bytes card = file;
    card.insert(card.end(), trailing.begin(), trailing.end());
    MemoryByteSource source({card.data(), std::min(bound, card.size())});
    Outcome outcome;
    outcome.walk = format->walk(source);
    if (outcome.walk.end == WalkEnd::Closed && outcome.walk.decoded == DecodeResult::NotChecked && format->decode)
        outcome.walk.decoded = format->decode({card.data(), static_cast<std::size_t>(outcome.walk.length)});
    outcome.verdict = VerdictOf(outcome.walk.end, outcome.walk.decoded);
    return outcome;
}

// Bytes of an old card: pseudo-random, never a valid start of anything by chance.
fx::Bytes Noise(std::size_t size, unsigned seed = 1)
{
    std::mt19937 random(seed);
    fx::Bytes bytes(size);
    for (auto& b : bytes)
        b = static_cast<unsigned char>(random());
    return bytes;
}

fx::Bytes Cut(fx::Bytes bytes, std::size_t keep)
{
    bytes.resize(keep);
    return bytes;
}

// The file with `count` bytes from `at` on overwritten by other data.
fx::Bytes Overwritten(fx::Bytes bytes, std::size_t at, std::size_t count, unsigned seed = 9)
{
    const fx::Bytes noise = Noise(count, seed);
    std::copy(noise.begin(), noise.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    return bytes;
}

void ExpectWhole(const Outcome& outcome, std::size_t length, std::string_view token)
{
    EXPECT_TRUE(outcome.walk.recognised);
    EXPECT_EQ(outcome.walk.token, token);
    EXPECT_EQ(outcome.walk.end, WalkEnd::Closed);
    EXPECT_EQ(outcome.walk.length, length);
    EXPECT_EQ(outcome.verdict, Verdict::Complete);
}

const fx::RgbImage& Scene()
{
    static const fx::RgbImage scene = fx::MakeScene(320, 240, 3);
    return scene;
}

}  // namespace

// ---- JPEG

TEST(ExactJpeg, CameraPhoneEditorAndBareJpegsEndAtTheirOwnEoi)
{
    fx::JpegOptions exif;
    exif.exif = fx::ExifFields{};
    fx::JpegOptions progressive;
    progressive.progressive = true;
    fx::JpegOptions restarts;
    restarts.restartInterval = 4;
    fx::JpegOptions everything = exif;
    everything.progressive = true;
    everything.restartInterval = 2;
    const fx::Bytes trailing = Noise(20000);
    for (const fx::JpegOptions& options : {fx::JpegOptions{}, exif, progressive, restarts, everything}) {
        const fx::Bytes jpeg = fx::EncodeJpeg(Scene(), options);
        ExpectWhole(Examine("JPG", jpeg, trailing), jpeg.size(), "JPG");
        // Zeros after the file (a freshly formatted card) do not lengthen it either.
        ExpectWhole(Examine("JPG", jpeg, fx::Bytes(5000, 0)), jpeg.size(), "JPG");
    }
    ExpectWhole(Examine("JPG", fx::EncodeJpegJfif(Scene(), 60), trailing), fx::EncodeJpegJfif(Scene(), 60).size(), "JPG");
}

TEST(ExactJpeg, TheExifThumbnailsOwnEoiDoesNotEndTheFile)
{
    fx::JpegOptions options;
    options.exif = fx::ExifFields{};
    const fx::Bytes jpeg = fx::EncodeJpeg(Scene(), options);
    // The thumbnail's EOI lies inside APP1, long before the file's end.
    const fx::Bytes eoi{0xFF, 0xD9};
    const auto first = std::search(jpeg.begin(), jpeg.end(), eoi.begin(), eoi.end());
    const std::size_t app1Length = static_cast<std::size_t>(jpeg[4] << 8 | jpeg[5]);
    ASSERT_LT(static_cast<std::size_t>(first - jpeg.begin()), 4 + app1Length);
    ExpectWhole(Examine("JPG", jpeg, Noise(4096)), jpeg.size(), "JPG");
}

TEST(ExactJpeg, APictureAppendedByAMultiPictureIndexStaysWithTheFile)
{
    const fx::Bytes mpo = fx::EncodeMultiPictureJpeg(Scene(), fx::MakeScene(160, 120, 5));
    ExpectWhole(Examine("JPG", mpo, Noise(10000)), mpo.size(), "JPG");
    // Cut inside the appended picture: the file reaches past what can be read.
    EXPECT_EQ(Examine("JPG", mpo, {}, mpo.size() - 100).verdict, Verdict::Truncated);
    // An index whose entry list is not of the MP entry type lists nothing: the file ends with the
    // first picture.
    fx::Bytes wrongType = mpo;
    const std::size_t mpf = static_cast<std::size_t>(
        std::search(mpo.begin(), mpo.end(), std::begin("MPF"), std::begin("MPF") + 4) - mpo.begin());
    const std::size_t entries = mpf + 4 + 8 + 2;  // after the TIFF header and the entry count
    for (std::size_t e = entries; e < entries + 36; e += 12)
        if (wrongType[e] == 0x02 && wrongType[e + 1] == 0xB0)
            wrongType[e + 2] = 4;  // LONG instead of UNDEFINED
    const fx::Bytes soi{0xFF, 0xD8, 0xFF};
    const std::size_t second = static_cast<std::size_t>(
        std::search(mpo.begin() + 10, mpo.end(), soi.begin(), soi.end()) - mpo.begin());
    const Outcome first = Examine("JPG", wrongType, Noise(1000));
    EXPECT_EQ(first.walk.end, WalkEnd::Closed);
    EXPECT_EQ(first.walk.length, second);
}

TEST(ExactJpeg, BareGreyscaleJpegsThatBeginWithTheirFrameAreFound)
{
    // No APP0: SOI, then the frame header of one component, then the tables.
    fx::JpegOptions bare;
    bare.jfif = false;
    bare.grayscale = true;
    const fx::Bytes grey = fx::EncodeJpeg(Scene(), bare);
    ASSERT_EQ(grey[3], 0xDB);  // libjpeg writes the tables first
    std::size_t pos = 2;
    while (grey[pos + 1] != 0xC0)
        pos += 2 + (grey[pos + 2] << 8 | grey[pos + 3]);
    const std::size_t frameLength = 2 + (grey[pos + 2] << 8 | grey[pos + 3]);
    fx::Bytes frameFirst{0xFF, 0xD8};
    frameFirst.insert(frameFirst.end(), grey.begin() + static_cast<std::ptrdiff_t>(pos),
                      grey.begin() + static_cast<std::ptrdiff_t>(pos + frameLength));
    frameFirst.insert(frameFirst.end(), grey.begin() + 2, grey.begin() + static_cast<std::ptrdiff_t>(pos));
    frameFirst.insert(frameFirst.end(), grey.begin() + static_cast<std::ptrdiff_t>(pos + frameLength), grey.end());
    ASSERT_EQ(frameFirst.size(), grey.size());
    ExpectWhole(Examine("JPG", grey, Noise(100)), grey.size(), "JPG");
    ExpectWhole(Examine("JPG", frameFirst, Noise(100)), grey.size(), "JPG");
}

TEST(ExactJpeg, FalseStartsAreNoFinds)
{
    const fx::Bytes jpeg = fx::EncodeJpeg(Scene(), {});
    fx::Bytes sector(512, 0x41);
    auto with = [&](std::initializer_list<int> head) {
        fx::Bytes s = sector;
        std::size_t i = 0;
        for (int v : head)
            s[i++] = static_cast<unsigned char>(v);
        return s;
    };
    // FF D8 FF and then a marker no JPEG begins with, or a length that does not fit the marker.
    for (const fx::Bytes& candidate :
         {with({0xFF, 0xD8, 0xFF, 0xD9}), with({0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x0C}), with({0xFF, 0xD8, 0xFF, 0x01}),
          with({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01, 'J', 'F', 'I', 'F'}),   // APP0 of length 1
          with({0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x40, 0x01, 0x02, 0x03, 0x04}),  // unnamed APP1
          with({0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x10, 0x00}),                    // DQT too short
          with({0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x11, 0x08, 0x00, 0x10, 0x00, 0x10, 0x05}),  // 5 components
          with({0xFF, 0xD8, 0xFF, 0xFE, 0x00, 0x01}),  // a comment of length 1
          with({0xFF, 0xD8, 0xFE, 0xE0}), with({0xFF, 0xD9, 0xFF, 0xE0})}) {
        EXPECT_FALSE(LooksLikeJpegStart(candidate.data()));
        EXPECT_FALSE(Examine("JPG", candidate).walk.recognised);
    }
    // A good first segment that is not followed by another marker is not a JPEG either.
    fx::Bytes broken = jpeg;
    const std::size_t next = 4 + static_cast<std::size_t>(jpeg[4] << 8 | jpeg[5]);
    broken[next] = 0x00;
    EXPECT_TRUE(LooksLikeJpegStart(broken.data()));
    EXPECT_FALSE(Examine("JPG", broken).walk.recognised);
}

TEST(ExactJpeg, AFileCutShortIsTruncatedAndOverwrittenDataIsDamaged)
{
    const fx::Bytes jpeg = fx::EncodeJpeg(Scene(), {});
    const Outcome cut = Examine("JPG", Cut(jpeg, jpeg.size() - 700));
    EXPECT_EQ(cut.walk.end, WalkEnd::OutOfBound);
    EXPECT_EQ(cut.verdict, Verdict::Truncated);
    EXPECT_EQ(cut.walk.length, jpeg.size() - 700);
    // The bound comes first: the same.
    EXPECT_EQ(Examine("JPG", jpeg, Noise(100), jpeg.size() - 1).verdict, Verdict::Truncated);

    // The middle of the entropy-coded data replaced by zeros, as a gap of a fragmented file
    // reads: the structure still closes at the EOI, but the picture does not decode.
    fx::Bytes zeros = jpeg;
    std::fill(zeros.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2),
              zeros.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2 + 2048), 0);
    const Outcome gap = Examine("JPG", zeros, Noise(1000));
    EXPECT_EQ(gap.walk.end, WalkEnd::Closed);
    EXPECT_EQ(gap.walk.length, jpeg.size());
    EXPECT_EQ(gap.walk.decoded, DecodeResult::Faulty);
    EXPECT_EQ(gap.verdict, Verdict::Damaged);

    // Another picture written over the second half: the walk stops at its SOI.
    const fx::Bytes other = fx::EncodeJpegJfif(fx::MakeScene(200, 150, 7), 80);
    fx::Bytes overwritten = Cut(jpeg, jpeg.size() / 2);
    overwritten.insert(overwritten.end(), other.begin(), other.end());
    const Outcome broken = Examine("JPG", overwritten);
    EXPECT_EQ(broken.walk.end, WalkEnd::Broken);
    EXPECT_EQ(broken.walk.length, jpeg.size() / 2);
    EXPECT_EQ(broken.verdict, Verdict::Damaged);
}

TEST(ExactJpeg, StrayBytesAfterThePictureDataAndBeforeItsEndAreDamage)
{
    // The scan data is whole, but bytes that belong to no segment come before the EOI (what a
    // sector of other data written over the file's end leaves behind).
    const fx::Bytes jpeg = fx::EncodeJpegJfif(Scene(), 85);
    fx::Bytes stray = jpeg;
    stray.insert(stray.end() - 2, {0x13, 0x57, 0x9B, 0xDF, 0x24});
    const Outcome outcome = Examine("JPG", stray, Noise(100));
    EXPECT_EQ(outcome.walk.end, WalkEnd::Closed);
    EXPECT_EQ(outcome.walk.length, stray.size());
    EXPECT_EQ(outcome.verdict, Verdict::Damaged);
    ExpectWhole(Examine("JPG", jpeg, Noise(100)), jpeg.size(), "JPG");
}

TEST(ExactJpeg, EndlessFillBytesAndMarkersEndAtTheBound)
{
    fx::Bytes fill = Cut(fx::EncodeJpeg(Scene(), {}), 600);  // the headers, into the scan data
    fill.resize(3u << 20, 0xFF);
    const Outcome endless = Examine("JPG", fill);
    EXPECT_EQ(endless.verdict, Verdict::Truncated);
    EXPECT_EQ(endless.walk.length, fill.size());
    // FF after FF after FF right after the first segment: fill before a marker that never comes.
    fx::Bytes header = Cut(fx::EncodeJpeg(Scene(), {}), 20);
    header.resize(1u << 20, 0xFF);
    EXPECT_EQ(Examine("JPG", header).verdict, Verdict::Truncated);
}

// ---- PNG

TEST(ExactPng, PlainInterlacedAndLargePngsEndAtIend)
{
    for (const fx::Bytes& png : {fx::EncodePng(Scene()), fx::EncodePngInterlaced(Scene()),
                                 fx::EncodePng(fx::MakeScene(1200, 900, 2)), fx::EncodeFlatPng(3, 1)})
        ExpectWhole(Examine("PNG", png, Noise(3000)), png.size(), "PNG");
}

TEST(ExactPng, AWrongCrcOrImageDataThatDoesNotInflateIsDamaged)
{
    const fx::Bytes png = fx::EncodePng(Scene());
    // One bit of the image data flipped: the IDAT's CRC fails, the structure still closes.
    fx::Bytes flipped = png;
    flipped[png.size() / 2] ^= 0x10;
    const Outcome crc = Examine("PNG", flipped, Noise(100));
    EXPECT_EQ(crc.walk.end, WalkEnd::Closed);
    EXPECT_EQ(crc.walk.length, png.size());
    EXPECT_EQ(crc.verdict, Verdict::Damaged);
    // The header says a larger picture than the data holds (CRC made right): inflating ends early.
    fx::Bytes taller = png;
    taller[23] += 1;  // height + 1
    const std::uint32_t crc32ofIhdr = [&] {
        // Recompute the IHDR CRC the way a writer would.
        std::uint32_t c = 0xFFFFFFFFu;
        for (std::size_t i = 12; i < 29; ++i) {
            c ^= taller[i];
            for (int k = 0; k < 8; ++k)
                c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
        }
        return ~c;
    }();
    for (int i = 0; i < 4; ++i)
        taller[29 + static_cast<std::size_t>(i)] = static_cast<unsigned char>(crc32ofIhdr >> (24 - 8 * i));
    EXPECT_EQ(Examine("PNG", taller).verdict, Verdict::Damaged);
}

// A PNG put together by hand: the signature, IHDR, the chunks given, IDAT (the rows, all zeros,
// compressed, then `afterStream`) and IEND, every CRC right unless `wrongIdatCrc`.
fx::Bytes HandMadePng(int colourType, int depth, std::vector<std::pair<std::string, fx::Bytes>> chunks,
                      const fx::Bytes& afterStream = {}, bool wrongIdatCrc = false)
{
    auto chunk = [](fx::Bytes& out, const std::string& type, const fx::Bytes& data, bool wrongCrc = false) {
        const auto length = static_cast<std::uint32_t>(data.size());
        for (int i = 3; i >= 0; --i)
            out.push_back(static_cast<unsigned char>(length >> (8 * i)));
        fx::Bytes typed(type.begin(), type.end());
        typed.insert(typed.end(), data.begin(), data.end());
        out.insert(out.end(), typed.begin(), typed.end());
        std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size())));
        crc ^= wrongCrc ? 1u : 0u;
        for (int i = 3; i >= 0; --i)
            out.push_back(static_cast<unsigned char>(crc >> (8 * i)));
    };
    const std::uint32_t width = 13, height = 5;
    const int channels = colourType == 2 ? 3 : colourType == 6 ? 4 : colourType == 4 ? 2 : 1;
    fx::Bytes out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    chunk(out, "IHDR", {0, 0, 0, width, 0, 0, 0, height, static_cast<unsigned char>(depth),
                        static_cast<unsigned char>(colourType), 0, 0, 0});
    for (const auto& [type, data] : chunks)
        chunk(out, type, data);
    const std::size_t rowBytes = 1 + (width * static_cast<std::size_t>(channels * depth) + 7) / 8;
    const fx::Bytes rows(rowBytes * height, 0);
    uLongf packed = compressBound(static_cast<uLong>(rows.size()));
    fx::Bytes idat(packed);
    compress(idat.data(), &packed, rows.data(), static_cast<uLong>(rows.size()));
    idat.resize(packed);
    idat.insert(idat.end(), afterStream.begin(), afterStream.end());
    chunk(out, "IDAT", idat, wrongIdatCrc);
    chunk(out, "IEND", {});
    return out;
}

TEST(ExactPng, EveryDepthAndChunkKindWalksAndOnlyDamageIsDamage)
{
    const fx::Bytes palette = {0, 0, 0, 255, 255, 255};
    for (int depth : {1, 2, 4, 8})
        for (int colourType : {0, 3}) {
            const fx::Bytes png = HandMadePng(colourType, depth, colourType == 3 ? std::vector<std::pair<std::string, fx::Bytes>>{{"PLTE", palette}}
                                                                                 : std::vector<std::pair<std::string, fx::Bytes>>{});
            ExpectWhole(Examine("PNG", png, Noise(100)), png.size(), "PNG");
        }
    // Chunk types of every letter: compressed text ("zTXt") among them.
    const fx::Bytes text = HandMadePng(2, 8, {{"zTXt", {'k', 0, 0, 0x78, 0x9C, 0x03, 0, 0, 0, 0, 1}}, {"tIME", fx::Bytes(7, 1)}});
    ExpectWhole(Examine("PNG", text, Noise(100)), text.size(), "PNG");
    // Only a CRC wrong, every data byte as written: damaged all the same.
    EXPECT_EQ(Examine("PNG", HandMadePng(2, 8, {}, {}, true)).verdict, Verdict::Damaged);
    // Bytes after the end of the image data's zlib stream, inside IDAT (CRC right).
    EXPECT_EQ(Examine("PNG", HandMadePng(2, 8, {}, {1, 2, 3})).verdict, Verdict::Damaged);
}

TEST(ExactPng, FalseStartsTruncationsAndForgedChunkLengths)
{
    const fx::Bytes png = fx::EncodePng(Scene());
    fx::Bytes badCrc = png;
    badCrc[30] ^= 1;  // IHDR's CRC
    fx::Bytes badDepth = png;
    badDepth[24] = 7;
    fx::Bytes zeroWidth = png;
    std::fill(zeroWidth.begin() + 16, zeroWidth.begin() + 20, 0);
    for (const fx::Bytes& candidate : {badCrc, badDepth, zeroWidth}) {
        EXPECT_FALSE(LooksLikePngStart(candidate.data()));
        EXPECT_FALSE(Examine("PNG", candidate).walk.recognised);
    }
    EXPECT_EQ(Examine("PNG", Cut(png, png.size() - 5)).verdict, Verdict::Truncated);
    // A chunk length of 2^31 is no chunk: the structure breaks there.
    fx::Bytes forged = Cut(png, 33);
    forged.insert(forged.end(), {0x80, 0x00, 0x00, 0x00, 'I', 'D', 'A', 'T'});
    forged.resize(4096, 0);
    const Outcome huge = Examine("PNG", forged);
    EXPECT_EQ(huge.walk.end, WalkEnd::Broken);
    EXPECT_EQ(huge.walk.length, 33u);
    // A length just below 2^31 that runs past everything there is: truncated, not read.
    forged[33] = 0x7F;
    EXPECT_EQ(Examine("PNG", forged).verdict, Verdict::Truncated);
    // A chunk type that is not four letters breaks the structure.
    fx::Bytes text = Cut(png, 33);
    text.insert(text.end(), {0, 0, 0, 4, 'I', 'D', '4', 'T', 1, 2, 3, 4, 0, 0, 0, 0});
    EXPECT_EQ(Examine("PNG", text).walk.end, WalkEnd::Broken);
}

// ---- GIF

TEST(ExactGif, StillAndAnimatedGifsEndAtTheTrailer)
{
    const fx::Bytes still = fx::EncodeGif(Scene());
    const fx::Bytes animated =
        fx::EncodeAnimatedGif({fx::MakeScene(96, 64, 1), fx::MakeScene(96, 64, 2), fx::MakeScene(96, 64, 3)});
    ExpectWhole(Examine("GIF", still, Noise(3000)), still.size(), "GIF");
    ExpectWhole(Examine("GIF", animated, Noise(3000)), animated.size(), "GIF");
}

TEST(ExactGif, BrokenBlocksDamagedFramesTruncationAndFalseStarts)
{
    const fx::Bytes gif = fx::EncodeAnimatedGif({fx::MakeScene(96, 64, 1), fx::MakeScene(96, 64, 2)});
    // The LZW data of a frame overwritten in place (sub-block lengths kept): the structure closes,
    // the frame does not decode.
    fx::Bytes lzw = gif;
    const std::size_t frame = 13 + 768 + 19 + 8 + 10 + 2;  // into the first frame's first sub-block
    for (std::size_t i = frame; i < frame + 200; ++i)
        lzw[i] = static_cast<unsigned char>(0xFF);
    const Outcome damaged = Examine("GIF", lzw, Noise(100));
    EXPECT_EQ(damaged.walk.end, WalkEnd::Closed);
    EXPECT_EQ(damaged.verdict, Verdict::Damaged);
    // A block that is none of extension, image and trailer breaks the structure.
    fx::Bytes broken = Cut(gif, gif.size() - 1);
    broken.push_back(0x99);
    EXPECT_EQ(Examine("GIF", broken).walk.end, WalkEnd::Broken);
    EXPECT_EQ(Examine("GIF", Cut(gif, gif.size() - 1)).verdict, Verdict::Truncated);
    // Sub-blocks of 255 bytes for ever run into the bound.
    fx::Bytes endless = Cut(gif, 13 + 768);
    endless.insert(endless.end(), {0x21, 0xFE});
    endless.resize(1u << 20, 0xFF);
    EXPECT_EQ(Examine("GIF", endless).verdict, Verdict::Truncated);

    fx::Bytes version = gif;
    version[4] = '8';  // "GIF88a"
    fx::Bytes noWidth = gif;
    noWidth[6] = noWidth[7] = 0;
    for (const fx::Bytes& candidate : {version, noWidth}) {
        EXPECT_FALSE(LooksLikeGifStart(candidate.data()));
        EXPECT_FALSE(Examine("GIF", candidate).walk.recognised);
    }
    // No block where the first must begin: after the 256-colour table, in the next sector, so
    // only the walk can tell; without a table, the sector itself tells.
    fx::Bytes firstBlock = gif;
    firstBlock[13 + 768] = 0x00;
    EXPECT_FALSE(Examine("GIF", firstBlock).walk.recognised);
    fx::Bytes noTable{'G', 'I', 'F', '8', '9', 'a', 10, 0, 10, 0, 0x00, 0, 0, 0x00};
    noTable.resize(512, 0);
    EXPECT_FALSE(LooksLikeGifStart(noTable.data()));
    for (const int block : {0x21, 0x2C, 0x3B}) {  // an extension, an image, the trailer
        noTable[13] = static_cast<unsigned char>(block);
        EXPECT_TRUE(LooksLikeGifStart(noTable.data())) << block;
    }
}

// ---- BMP

TEST(ExactBmp, EveryHeaderVersionAndRleEndAtTheFileSize)
{
    for (fx::BmpHeader header : {fx::BmpHeader::Core12, fx::BmpHeader::Info40, fx::BmpHeader::V4_108,
                                 fx::BmpHeader::V5_124}) {
        const fx::Bytes bmp = fx::EncodeBmpWith(Scene(), header);
        ExpectWhole(Examine("BMP", bmp, Noise(2000)), bmp.size(), "BMP");
    }
    const fx::Bytes rle = fx::EncodeBmpWith(Scene(), fx::BmpHeader::Info40, true);
    ExpectWhole(Examine("BMP", rle, Noise(2000)), rle.size(), "BMP");
    // RLE codes that leave the picture are damage.
    fx::Bytes badRle = rle;
    badRle[54 + 1024] = 250;  // a run far wider than a row
    badRle[54 + 1025] = 3;
    badRle[54 + 1026] = 250;
    EXPECT_EQ(Examine("BMP", badRle).verdict, Verdict::Damaged);
    const fx::Bytes bmp = fx::EncodeBmp(Scene());
    EXPECT_EQ(Examine("BMP", Cut(bmp, bmp.size() - 1)).verdict, Verdict::Truncated);
}

TEST(ExactBmp, ThirtyTwoBitBitfieldBitmapsAreFound)
{
    // A 32-bit bitmap with colour masks (compression 3), as editors write ones with alpha.
    fx::Bytes bmp{'B', 'M'};
    auto le32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bmp.push_back(static_cast<unsigned char>(v >> (8 * i)));
    };
    auto le16 = [&](unsigned v) {
        bmp.push_back(static_cast<unsigned char>(v));
        bmp.push_back(static_cast<unsigned char>(v >> 8));
    };
    const std::uint32_t pixels = 40 * 30 * 4, offset = 14 + 40 + 12;
    le32(offset + pixels), le32(0), le32(offset), le32(40), le32(40), le32(30);
    le16(1), le16(32), le32(3), le32(pixels), le32(2835), le32(2835), le32(0), le32(0);
    le32(0x00FF0000), le32(0x0000FF00), le32(0x000000FF);
    bmp.resize(offset + pixels, 0x7F);
    ExpectWhole(Examine("BMP", bmp, Noise(1000)), bmp.size(), "BMP");
}

TEST(ExactBmp, FieldsThatDisagreeAreNoFind)
{
    const fx::Bytes bmp = fx::EncodeBmp(Scene());
    auto changed = [&](std::size_t at, std::initializer_list<int> values) {
        fx::Bytes b = bmp;
        for (int v : values)
            b[at++] = static_cast<unsigned char>(v);
        return b;
    };
    const std::vector<fx::Bytes> candidates = {
        changed(2, {0x10, 0, 0, 0}),           // a file size smaller than the pixels
        changed(2, {0xFF, 0xFF, 0xFF, 0x00}),  // far larger than the pixels
        changed(6, {1}),                       // reserved field not zero
        changed(10, {0x20, 0, 0, 0}),          // pixel data inside the headers
        changed(14, {41}),                     // no DIB header has 41 bytes
        changed(18, {0, 0, 0, 0}),             // width 0
        changed(26, {2}),                      // two planes
        changed(28, {23}),                     // 23 bits per pixel
        changed(30, {1}),                      // RLE8 with 24 bits per pixel
        changed(30, {9}),                      // an unknown compression
        changed(0, {'B', 'N'}),
    };
    for (const fx::Bytes& candidate : candidates) {
        EXPECT_FALSE(LooksLikeBmpStart(candidate.data()));
        EXPECT_FALSE(Examine("BMP", candidate).walk.recognised);
    }
    // Ordinary data that begins with "BM": no find.
    fx::Bytes text(512, 'e');
    std::memcpy(text.data(), "BMW and Audi were parked outside", 32);
    EXPECT_FALSE(LooksLikeBmpStart(text.data()));
}

// ---- TIFF and the raw files on it

TEST(ExactTiff, PagesStripsAndBothByteOrdersEndAtTheFurthestByte)
{
    for (bool bigEndian : {false, true}) {
        const fx::Bytes one = fx::EncodeTiff(Scene(), bigEndian);
        ExpectWhole(Examine("TIF", one, Noise(5000)), one.size(), "TIF");
        const fx::Bytes pages = fx::EncodeMultiPageTiff({Scene(), fx::MakeScene(200, 100, 4), fx::MakeScene(64, 64, 9)},
                                                        bigEndian);
        ExpectWhole(Examine("TIF", pages, Noise(5000)), pages.size(), "TIF");
    }
}

TEST(ExactTiff, NikonAndKodakMakesAreNefAndDcr)
{
    for (bool bigEndian : {false, true}) {
        const fx::Bytes nef = fx::EncodeRawLikeTiff(Scene(), "NIKON CORPORATION", "NIKON D70", 300000, bigEndian);
        ExpectWhole(Examine("NEF", nef, Noise(5000)), nef.size(), "NEF");
        const fx::Bytes dcr = fx::EncodeRawLikeTiff(Scene(), "EASTMAN KODAK COMPANY", "KODAK DCS Pro", 200000, bigEndian);
        ExpectWhole(Examine("DCR", dcr, Noise(5000)), dcr.size(), "DCR");
        const fx::Bytes other = fx::EncodeRawLikeTiff(Scene(), "Leaf", "Aptus 75", 100000, bigEndian);
        ExpectWhole(Examine("TIF", other, Noise(5000)), other.size(), "TIF");
    }
}

TEST(ExactTiff, AStripAfterEverythingElseIsWhereTheFileEnds)
{
    // The header, the IFD, and the one strip last: only the strip's offset and byte count say
    // where the file ends.
    fx::TiffLayout tiff(false);
    const int ifd = tiff.AddIfd();
    const int strip = tiff.AddBlob(fx::Bytes(30000, 0x80));
    tiff.Long(ifd, 256, {100});
    tiff.Long(ifd, 257, {100});
    tiff.Short(ifd, 258, {8, 8, 8});
    tiff.Short(ifd, 262, {2});
    tiff.BlobOffsets(ifd, 273, {strip});
    tiff.Short(ifd, 277, {3});
    tiff.BlobLengths(ifd, 279, {strip});
    const fx::Bytes bytes = tiff.Build();
    ExpectWhole(Examine("TIF", bytes, Noise(5000)), bytes.size(), "TIF");
}

TEST(ExactTiff, AnIfdWrittenAfterThePictureIsWhereTheFileEnds)
{
    // Header, 64 bytes of an 8 × 8 grey strip, then the only IFD (as many writers lay it out).
    fx::Bytes tiff = {'I', 'I', 42, 0, 72, 0, 0, 0};
    for (int i = 0; i < 64; ++i)
        tiff.push_back(static_cast<unsigned char>(i * 4));
    const std::vector<std::array<std::uint32_t, 3>> fields = {
        {256, 3, 8}, {257, 3, 8}, {258, 3, 8}, {259, 3, 1}, {262, 3, 1}, {273, 4, 8}, {278, 3, 8}, {279, 4, 64}};
    auto put = [&](std::uint32_t value, int bytes) {
        for (int b = 0; b < bytes; ++b)
            tiff.push_back(static_cast<unsigned char>(value >> (8 * b)));
    };
    put(static_cast<std::uint32_t>(fields.size()), 2);
    for (const auto& [tag, type, value] : fields) {
        put(tag, 2);
        put(type, 2);
        put(1, 4);
        put(value, 4);
    }
    put(0, 4);
    ExpectWhole(Examine("TIF", tiff, Noise(1000)), tiff.size(), "TIF");
}

TEST(ExactTiff, AnIfdMayHoldUpTo4096Entries)
{
    for (int entries : {4096, 4097}) {
        fx::TiffLayout tiff(true);
        const int ifd = tiff.AddIfd();
        const int strip = tiff.AddBlob(fx::Bytes(300, 0x40));
        tiff.Long(ifd, 256, {10});
        tiff.Long(ifd, 257, {10});
        tiff.BlobOffsets(ifd, 273, {strip});
        tiff.BlobLengths(ifd, 279, {strip});
        for (int tag = 0; tag < entries - 4; ++tag)
            tiff.Short(ifd, static_cast<std::uint16_t>(40000 + tag), {1});
        EXPECT_EQ(Examine("TIF", tiff.Build()).walk.recognised, entries == 4096) << entries;
    }
}

TEST(ExactTiff, LoopingIfdChainsEndAndFalseStartsAreNoFinds)
{
    // Every IFD's next pointer leads back to the first: the walk visits each once and ends.
    fx::Bytes loop = fx::EncodeMultiPageTiff({Scene(), Scene()}, false);
    const std::uint32_t first = loop[4] | loop[5] << 8 | loop[6] << 16 | static_cast<std::uint32_t>(loop[7]) << 24;
    std::size_t ifd = first;
    for (int page = 0; page < 2; ++page) {
        const std::size_t count = loop[ifd] | loop[ifd + 1] << 8;
        const std::size_t next = ifd + 2 + 12 * count;
        const std::uint32_t nextIfd = loop[next] | loop[next + 1] << 8 | loop[next + 2] << 16 |
                                      static_cast<std::uint32_t>(loop[next + 3]) << 24;
        if (nextIfd == 0 || page == 1) {
            for (int i = 0; i < 4; ++i)
                loop[next + static_cast<std::size_t>(i)] = static_cast<unsigned char>(first >> (8 * i));
            break;
        }
        ifd = nextIfd;
    }
    const Outcome looped = Examine("TIF", loop, Noise(100));
    EXPECT_TRUE(looped.walk.recognised);
    EXPECT_EQ(looped.walk.length, loop.size());

    const fx::Bytes tiff = fx::EncodeTiff(Scene(), false);
    fx::Bytes noEntries = tiff;
    noEntries[first] = noEntries[first + 1] = 0;
    fx::Bytes badType = tiff;
    badType[first + 2 + 2] = 99;  // the first entry's field type
    fx::Bytes beforeHeader = tiff;
    beforeHeader[4] = 4, beforeHeader[5] = beforeHeader[6] = beforeHeader[7] = 0;
    for (const fx::Bytes& candidate : {noEntries, badType, beforeHeader})
        EXPECT_FALSE(Examine("TIF", candidate).walk.recognised);
    // "MM" with the little-endian magic, or "II" with byte 3 set: no TIFF.
    EXPECT_FALSE(LooksLikeTiffStart(fx::Bytes{'M', 'M', 0x2A, 0, 0, 0, 0, 8}.data()));
    EXPECT_FALSE(LooksLikeTiffStart(fx::Bytes{'I', 'I', 0x2A, 1, 8, 0, 0, 0}.data()));
}

TEST(ExactTiff, ACutStripIsTruncatedAndABadStripIsDamaged)
{
    // libtiff writes the IFD after the strips, so a cut loses the IFD: no find; with the IFD
    // first (the raw-like writer), a cut strip is truncated.
    const fx::Bytes nef = fx::EncodeRawLikeTiff(Scene(), "NIKON", "D1", 200000, false);
    EXPECT_EQ(Examine("NEF", Cut(nef, nef.size() - 1000)).verdict, Verdict::Truncated);
    const fx::Bytes tiff = fx::EncodeTiff(Scene(), false);
    const Outcome lzw = Examine("TIF", Overwritten(tiff, 200, 3000), Noise(100));
    EXPECT_EQ(lzw.walk.end, WalkEnd::Closed);
    EXPECT_EQ(lzw.verdict, Verdict::Damaged);
}

// ---- RIFF

TEST(ExactRiff, WaveAndAviEndWhereTheirSizeSaysUnderTheirOwnTokens)
{
    const fx::Bytes wav = fx::EncodeWav(8000, 300, 440);
    ExpectWhole(Examine("RIFF", wav, Noise(1000)), wav.size(), "WAV");
    const fx::Bytes avi = fx::EncodeMjpegAvi({Scene(), fx::MakeScene(320, 240, 4), fx::MakeScene(320, 240, 5)}, 70);
    ExpectWhole(Examine("RIFF", avi, Noise(1000)), avi.size(), "AVI");
    // An OpenDML AVI goes on in a RIFF AVIX chunk.
    fx::Bytes avix = avi;
    fx::Bytes extension{'R', 'I', 'F', 'F', 12, 0, 0, 0, 'A', 'V', 'I', 'X', 'J', 'U', 'N', 'K', 0, 0, 0, 0};
    avix.insert(avix.end(), extension.begin(), extension.end());
    ExpectWhole(Examine("RIFF", avix, Noise(1000)), avix.size(), "AVI");
    // A form of no type of its own stays RIFF.
    fx::Bytes midi = wav;
    std::memcpy(&midi[8], "RMID", 4);
    ExpectWhole(Examine("RIFF", midi, Noise(1000)), midi.size(), "RIFF");
}

TEST(ExactRiff, ForgedSizesUnknownFormsAndOverwrittenChunks)
{
    const fx::Bytes wav = fx::EncodeWav(8000, 300, 440);
    fx::Bytes endless = wav;
    endless[4] = endless[5] = endless[6] = endless[7] = 0xFF;  // size 0xFFFFFFFF
    const Outcome forged = Examine("RIFF", endless, Noise(1000));
    EXPECT_EQ(forged.verdict, Verdict::Truncated);
    fx::Bytes form = wav;
    std::memcpy(&form[8], "WAVX", 4);
    fx::Bytes firstChunk = wav;
    firstChunk[12] = 0x01;
    for (const fx::Bytes& candidate : {form, firstChunk}) {
        EXPECT_FALSE(LooksLikeRiffStart(candidate.data()));
        EXPECT_FALSE(Examine("RIFF", candidate).walk.recognised);
    }
    const fx::Bytes avi = fx::EncodeMjpegAvi({Scene(), Scene()}, 70);
    // The chunk after hdrl overwritten: the chunks no longer reach the end.
    const std::size_t hdrlEnd = 12 + 8 + (avi[16] | avi[17] << 8 | avi[18] << 16);
    const Outcome broken = Examine("RIFF", Overwritten(avi, hdrlEnd, 8), Noise(100));
    EXPECT_EQ(broken.walk.end, WalkEnd::Broken);
    EXPECT_EQ(broken.walk.length, hdrlEnd);
    EXPECT_EQ(broken.verdict, Verdict::Damaged);
}

// ---- RAF, MRW, CRW

TEST(ExactRaw, RafMrwAndCrwEndWhereTheirStructureSays)
{
    const fx::Bytes raf = fx::EncodeRaf(Scene(), 500000);
    ExpectWhole(Examine("RAF", raf, Noise(3000)), raf.size(), "RAF");
    const fx::Bytes mrw = fx::EncodeMrw(640, 480);
    ExpectWhole(Examine("MRW", mrw, Noise(3000)), mrw.size(), "MRW");
    const fx::Bytes crw = fx::EncodeCrw(Scene(), 400000);
    ExpectWhole(Examine("CRW", crw, Noise(3000)), crw.size(), "CRW");
    // A sensor of no width has no raw data to end with: the structure is broken.
    EXPECT_EQ(Examine("MRW", fx::EncodeMrw(0, 48)).verdict, Verdict::Damaged);
    for (std::string_view token : {"RAF", "MRW", "CRW"}) {
        const fx::Bytes& file = token == "RAF" ? raf : token == "MRW" ? mrw : crw;
        EXPECT_EQ(Examine(token, Cut(file, file.size() - 10)).verdict, Verdict::Truncated) << token;
    }
}

TEST(ExactRaw, NearMissHeadersAreNoFinds)
{
    const fx::Bytes raf = fx::EncodeRaf(Scene(), 1000);
    fx::Bytes rafVersion = raf;
    rafVersion[17] = 'x';
    fx::Bytes rafPreview = raf;
    rafPreview[84 + 3] += 2;  // the JPEG preview's offset off by two: no SOI there
    EXPECT_FALSE(LooksLikeRafStart(rafVersion.data()));
    EXPECT_FALSE(Examine("RAF", rafVersion).walk.recognised);  // the walk checks the start itself
    EXPECT_FALSE(Examine("RAF", Cut(raf, 100)).walk.recognised);  // too short for its directory
    EXPECT_FALSE(Examine("RAF", rafPreview).walk.recognised);
    fx::Bytes rafEmptyPiece = raf;
    std::fill_n(rafEmptyPiece.begin() + 84 + 12, 4, 0);  // the CFA header's length: 0
    EXPECT_FALSE(Examine("RAF", rafEmptyPiece).walk.recognised);
    fx::Bytes rafPieceInHeader = raf;
    std::fill_n(rafPieceInHeader.begin() + 84 + 8, 4, 0);
    rafPieceInHeader[84 + 11] = 40;  // the CFA header said to lie inside the file's own header
    EXPECT_FALSE(Examine("RAF", rafPieceInHeader).walk.recognised);

    const fx::Bytes mrw = fx::EncodeMrw(64, 48);
    fx::Bytes mrwBlock = mrw;
    mrwBlock[9] = 'X';  // "\0XRD"
    EXPECT_FALSE(LooksLikeMrwStart(mrwBlock.data()));
    EXPECT_FALSE(LooksLikeMrwStart(fx::Bytes(512, 0).data()));  // an empty sector

    // Inside the raw data, a tail that looks like a directory of one entry whose data would lie
    // beyond it: not the heap's end; the walk goes on to the real one.
    fx::Bytes falseEnd = fx::EncodeCrw(Scene(), 60000);
    const std::size_t at = falseEnd.size() - 30000;
    const std::uint32_t directory = static_cast<std::uint32_t>(at - 26);
    const unsigned char tail[] = {1, 0, 0x05, 0x20, 0xFF, 0xFF, 0x0F, 0, 0, 0, 0, 0,
                                  static_cast<unsigned char>(directory), static_cast<unsigned char>(directory >> 8),
                                  static_cast<unsigned char>(directory >> 16), static_cast<unsigned char>(directory >> 24)};
    std::copy(std::begin(tail), std::end(tail), falseEnd.begin() + static_cast<std::ptrdiff_t>(at));
    ExpectWhole(Examine("CRW", falseEnd, Noise(3000)), falseEnd.size(), "CRW");

    const fx::Bytes crw = fx::EncodeCrw(Scene(), 1000);
    fx::Bytes crwLength = crw;
    crwLength[2] = 0x1B;
    fx::Bytes crwVersion = crw;
    crwVersion[16] = 2;
    EXPECT_FALSE(LooksLikeCrwStart(crwLength.data()));
    EXPECT_FALSE(LooksLikeCrwStart(crwVersion.data()));
    // A CRW header followed by data that never closes a heap: truncated at the bound.
    fx::Bytes headerOnly = Cut(crw, 26);
    const fx::Bytes noise = Noise(200000, 4);
    headerOnly.insert(headerOnly.end(), noise.begin(), noise.end());
    EXPECT_EQ(Examine("CRW", headerOnly).verdict, Verdict::Truncated);
}

TEST(ExactFormats, TheTableReportsEveryTypeOnceInListOrder)
{
    std::vector<std::string_view> tokens;
    for (const ExactFormat& format : ExactFormatTable())
        for (std::string_view token : format.tokens)
            if (!token.empty())
                tokens.push_back(token);
    EXPECT_EQ(tokens, (std::vector<std::string_view>{"JPG",  "BMP",  "TIF",  "NEF", "DCR", "CR2", "ARW", "DNG", "ORF",
                                                      "RW2",  "PEF",  "PNG",  "GIF", "RIFF", "WEBP", "AVI", "WAV", "RAF",
                                                      "MRW",  "CRW",  "HEIC", "AVIF", "MP4", "MOV", "3GP", "CR3", "MTS"}));
    // Every first byte a format accepts is in its lead bytes, so the scan's table never skips one.
    const std::vector<std::pair<std::string_view, fx::Bytes>> samples = {
        {"JPG", fx::EncodeJpeg(Scene(), {})},      {"BMP", fx::EncodeBmp(Scene())},
        {"TIF", fx::EncodeTiff(Scene(), true)},    {"TIF", fx::EncodeTiff(Scene(), false)},
        {"PNG", fx::EncodePng(Scene())},           {"GIF", fx::EncodeGif(Scene())},
        {"RIFF", fx::EncodeWav(8000, 50, 440)},    {"RAF", fx::EncodeRaf(Scene(), 100)},
        {"MRW", fx::EncodeMrw(16, 16)},            {"CRW", fx::EncodeCrw(Scene(), 100)}};
    for (const auto& [token, file] : samples) {
        const ExactFormat* format = ExactFormatOf(token);
        EXPECT_TRUE(format->looksLikeStart(file.data())) << token;
        EXPECT_NE(format->leadBytes.find(static_cast<char>(file[0])), std::string_view::npos) << token;
    }
}
