// The signature tests, the per-scan detector table and the type table.
#include "FileTypeInfo.h"
#include "MemoryVolumeSource.h"
#include "SectorTypeDetector.h"

#include <gtest/gtest.h>

#include <array>
#include <random>

using namespace quorvex;
using quorvex::testing::SignatureOf;

namespace {

// A sector that begins with `head` and is zero after it.
std::array<unsigned char, 512> Sector(std::initializer_list<int> head)
{
    std::array<unsigned char, 512> sector{};
    std::size_t i = 0;
    for (int v : head)
        sector[i++] = static_cast<unsigned char>(v);
    return sector;
}

std::array<unsigned char, 512> SectorOf(std::string_view token)
{
    std::array<unsigned char, 512> sector{};
    const auto signature = SignatureOf(token);
    std::copy(signature.begin(), signature.end(), sector.begin());
    return sector;
}

SelectedTypes Only(std::initializer_list<std::string_view> tokens)
{
    std::vector<TypeSelection> entries;
    for (auto token : tokens)
        entries.push_back({std::string(token), "P" + std::string(token), 100});
    return SelectedTypes(std::move(entries));
}

std::optional<std::string> Detect(const std::array<unsigned char, 512>& sector, const SelectedTypes& selection)
{
    const auto token = DetectSectorType(sector.data(), selection);
    return token ? std::optional<std::string>(*token) : std::nullopt;
}

}  // namespace

TEST(FileTypeTable, ListsTheElevenTypesInListOrder)
{
    std::vector<std::string> tokens, names;
    for (const FileTypeInfo& info : FileTypeTable()) {
        tokens.emplace_back(info.token);
        names.emplace_back(info.displayName);
        EXPECT_EQ(info.group, "Graphics");
    }
    EXPECT_EQ(tokens, (std::vector<std::string>{"JPG", "BMP", "TIF", "PNG", "GIF", "RIFF", "RAF", "NEF", "MRW", "DCR",
                                                "CRW"}));
    EXPECT_EQ(names.front(), "JPEG(*.JPG,*.JP2)");
    EXPECT_EQ(names[4], "GIFF(*.GIF)");
    EXPECT_EQ(names[5], "UNKNOWN RIFF(*.RIFF)");
    EXPECT_EQ(names.back(), "CANON FILM(*.CRW)");
}

TEST(FileTypeTable, TokenIsTheFirstExtensionOfTheDisplayName)
{
    for (const FileTypeInfo& info : FileTypeTable()) {
        const auto star = info.displayName.find("*.");
        const auto end = info.displayName.find_first_of(",)", star);
        EXPECT_EQ(info.displayName.substr(star + 2, end - star - 2), info.token);
    }
}

TEST(FileTypeTable, LookupIsExactAndCaseSensitive)
{
    ASSERT_NE(FindFileType("BMP"), nullptr);
    EXPECT_EQ(FindFileType("bmp"), nullptr);
    EXPECT_EQ(FindFileType("BM"), nullptr);
    EXPECT_TRUE(IsGroupRowText("Graphics"));
    EXPECT_TRUE(IsGroupRowText("Multimedia"));
    EXPECT_FALSE(IsGroupRowText("graphics"));
}

TEST(Detectors, JpegNeedsJfifAfterTheApp0Marker)
{
    EXPECT_TRUE(IsJpegJfifStart(SectorOf("JPG").data()));
    // The segment length at bytes 4..5 is not examined.
    EXPECT_TRUE(IsJpegJfifStart(Sector({0xFF, 0xD8, 0xFF, 0xE0, 0xAB, 0xCD, 'J', 'F', 'I', 'F', 0}).data()));
    // Exif first: not found.
    EXPECT_FALSE(IsJpegJfifStart(Sector({0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x10, 'J', 'F', 'I', 'F', 0}).data()));
    EXPECT_FALSE(IsJpegJfifStart(Sector({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 'X'}).data()));
    EXPECT_FALSE(IsJpegJfifStart(Sector({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'X', 'X', 0}).data()));
}

TEST(Detectors, BitmapIsAnySectorBeginningBM)
{
    EXPECT_TRUE(IsBitmapStart(Sector({'B', 'M'}).data()));
    EXPECT_TRUE(IsBitmapStart(Sector({'B', 'M', 0xFF, 0x13, 0x77}).data()));
    EXPECT_FALSE(IsBitmapStart(Sector({'B', 'm'}).data()));
    EXPECT_FALSE(IsBitmapStart(Sector({'M', 'B'}).data()));
}

TEST(Detectors, TiffLittleEndianIgnoresByteThreeBigEndianNeedsZero)
{
    EXPECT_TRUE(IsTiffStart(Sector({'I', 'I', 0x2A, 0x00}).data()));
    EXPECT_TRUE(IsTiffStart(Sector({'I', 'I', 0x2A, 0x77}).data()));
    EXPECT_TRUE(IsTiffStart(Sector({'M', 'M', 0x00, 0x2A}).data()));
    EXPECT_FALSE(IsTiffStart(Sector({'M', 'M', 0x2A, 0x00}).data()));  // "MM 2A" is no TIFF
    EXPECT_FALSE(IsTiffStart(Sector({'I', 'I', 0x00, 0x2A}).data()));
}

TEST(Detectors, PngGifRiffNeedTheirFullMagic)
{
    EXPECT_TRUE(IsPngStart(SectorOf("PNG").data()));
    EXPECT_FALSE(IsPngStart(Sector({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0B}).data()));
    EXPECT_TRUE(IsGifStart(Sector({'G', 'I', 'F', '8', '7', 'a'}).data()));
    EXPECT_TRUE(IsGifStart(Sector({'G', 'I', 'F', '9', '9', 'z'}).data()));  // version not examined
    EXPECT_FALSE(IsGifStart(Sector({'G', 'I', 'E'}).data()));
    EXPECT_TRUE(IsRiffStart(Sector({'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '}).data()));
    EXPECT_TRUE(IsRiffStart(SectorOf("RIFF").data()));
    EXPECT_FALSE(IsRiffStart(Sector({'R', 'I', 'F', 'X'}).data()));
}

TEST(Detectors, RawFormatsWithATestAndThoseWithout)
{
    EXPECT_TRUE(IsCanonRawStart(SectorOf("CRW").data()));
    EXPECT_FALSE(IsCanonRawStart(Sector({'I', 'I', 0x1A, 0, 0, 0, 'H', 'E', 'A', 'P', 'C', 'C', 'D', 'X'}).data()));
    // The header length between "II" and "HEAPCCDR" must be 26, in every one of its four bytes.
    EXPECT_FALSE(IsCanonRawStart(Sector({'I', 'I', 0x1B, 0, 0, 0, 'H', 'E', 'A', 'P', 'C', 'C', 'D', 'R'}).data()));
    EXPECT_FALSE(IsCanonRawStart(Sector({'I', 'I', 0x1A, 1, 0, 0, 'H', 'E', 'A', 'P', 'C', 'C', 'D', 'R'}).data()));
    EXPECT_FALSE(IsCanonRawStart(Sector({'I', 'I', 0x1A, 0, 0, 1, 'H', 'E', 'A', 'P', 'C', 'C', 'D', 'R'}).data()));
    EXPECT_FALSE(IsCanonRawStart(Sector({'I', 'M', 0x1A, 0, 0, 0, 'H', 'E', 'A', 'P', 'C', 'C', 'D', 'R'}).data()));
    EXPECT_TRUE(IsFujiRawStart(SectorOf("RAF").data()));
    // The trailing blank is part of the signature.
    EXPECT_FALSE(IsFujiRawStart(Sector({'F', 'U', 'J', 'I', 'F', 'I', 'L', 'M', 'C', 'C', 'D', '-', 'R', 'A', 'W',
                                        '_'}).data()));
    EXPECT_TRUE(IsMinoltaRawStart(SectorOf("MRW").data()));
    EXPECT_FALSE(IsMinoltaRawStart(Sector({0x00, 'M', 'R', 'X'}).data()));
    EXPECT_EQ(FindFileType("NEF")->detector, nullptr);
    EXPECT_EQ(FindFileType("DCR")->detector, nullptr);
}

TEST(DetectSectorType, CanonRawIsFoundOnlyWhenSelected)
{
    const auto crw = SectorOf("CRW");
    EXPECT_EQ(Detect(crw, Only({"CRW"})), "CRW");
    EXPECT_EQ(Detect(crw, Only({"TIF"})), std::nullopt);  // byte 2 is 1A, not 2A
    EXPECT_EQ(Detect(crw, Only({"TIF", "CRW"})), "CRW");
}

TEST(DetectSectorType, RiffFilesAreFoundOnceAsRiff)
{
    EXPECT_EQ(Detect(Sector({'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '}), SelectedTypes::AllTypes("F", 1)),
              "RIFF");
    EXPECT_EQ(Detect(SectorOf("RIFF"), SelectedTypes::AllTypes("F", 1)), "RIFF");
}

TEST(DetectSectorType, TheTypesWithoutTestsFindNothingAndNefAndDcrNeverMatch)
{
    const auto sectors = {SectorOf("JPG"), SectorOf("TIF"), SectorOf("CRW"), Sector({'M', 'M', 0, 0x2A}),
                          SectorOf("BMP")};
    for (const auto& sector : sectors) {
        EXPECT_EQ(Detect(sector, Only({"NEF"})), std::nullopt);
        EXPECT_EQ(Detect(sector, Only({"DCR"})), std::nullopt);
        EXPECT_EQ(Detect(sector, Only({"NEF", "DCR", "RAF", "MRW"})), std::nullopt);
    }
    EXPECT_EQ(Detect(SectorOf("RAF"), Only({"RAF"})), "RAF");
    EXPECT_EQ(Detect(SectorOf("MRW"), Only({"MRW"})), "MRW");
}

TEST(DetectSectorType, FirstSelectedInListOrderWinsAndUnselectedTypesNeverAnswer)
{
    EXPECT_EQ(Detect(SectorOf("PNG"), Only({"JPG", "BMP"})), std::nullopt);
    EXPECT_EQ(Detect(SectorOf("PNG"), Only({"JPG", "PNG"})), "PNG");
    EXPECT_EQ(Detect(Sector({0x42, 0x4D, 1, 2, 3}), Only({"BMP"})), "BMP");
    EXPECT_EQ(Detect(Sector({0, 0, 0}), SelectedTypes::AllTypes("F", 1)), std::nullopt);
}

TEST(SectorTypeDetector, LeadBytesAgreeWithTheDetectors)
{
    // For every type with a test, its signature with any other first byte must be no hit:
    // otherwise the scan's first-byte table would skip sectors the detector accepts.
    for (const FileTypeInfo& info : FileTypeTable()) {
        if (info.detector == nullptr)
            continue;
        auto sector = SectorOf(info.token);
        ASSERT_TRUE(info.detector(sector.data())) << info.token;
        for (int lead = 0; lead < 256; ++lead) {
            sector[0] = static_cast<unsigned char>(lead);
            const bool listed = info.leadBytes.find(static_cast<char>(lead)) != std::string_view::npos;
            if (info.detector(sector.data())) {
                EXPECT_TRUE(listed) << info.token << " accepts first byte " << lead;
            }
        }
    }
    // Big-endian TIFF starts with 'M'.
    EXPECT_NE(FindFileType("TIF")->leadBytes.find('M'), std::string_view::npos);
}

TEST(SectorTypeDetector, ATokenSelectedManyTimesIsFoundUnderItsFirstEntry)
{
    // Up to 20 entries may name the same type; the table keeps one detector per type, so even
    // more entries than a first byte has room for build, and the first entry answers.
    std::vector<TypeSelection> entries;
    for (int i = 0; i < 6; ++i)
        entries.push_back({"TIF", "T" + std::to_string(i), 1});
    entries.push_back({"CRW", "C", 1});
    const SelectedTypes selection(std::move(entries));
    const SectorTypeDetector detector(selection);
    EXPECT_EQ(detector.Detect(SectorOf("TIF").data()), 0);
    EXPECT_EQ(detector.Detect(SectorOf("CRW").data()), 6);
}

TEST(SectorTypeDetector, GivesTheSameAnswersAsTheRuleOnEverySector)
{
    // Random sectors with planted signatures, and signatures with one byte changed, under several
    // selections: the fast table and the plain rule must agree sector for sector.
    std::mt19937 random(12345);
    std::vector<std::array<unsigned char, 512>> sectors;
    for (const FileTypeInfo& info : FileTypeTable()) {
        if (info.detector == nullptr)
            continue;
        for (int variant = 0; variant < 40; ++variant) {
            auto sector = SectorOf(info.token);
            if (variant > 0)
                sector[static_cast<std::size_t>(random() % 16)] = static_cast<unsigned char>(random());
            sectors.push_back(sector);
        }
    }
    for (int i = 0; i < 2000; ++i) {
        std::array<unsigned char, 512> sector{};
        for (auto& b : sector)
            b = static_cast<unsigned char>(random() % 6 == 0 ? "BIMGR"[random() % 5] : random());
        sectors.push_back(sector);
    }
    const std::vector<SelectedTypes> selections = {
        SelectedTypes::AllTypes("F", 1), Only({"TIF"}), Only({"CRW", "TIF"}), Only({"BMP", "GIF", "MRW"}),
        Only({"NEF", "DCR"}), SelectedTypes()};
    for (const SelectedTypes& selection : selections) {
        const SectorTypeDetector detector(selection);
        for (const auto& sector : sectors) {
            const int index = detector.Detect(sector.data());
            const auto expected = DetectSectorType(sector.data(), selection);
            if (!expected)
                EXPECT_EQ(index, SectorTypeDetector::kNoType);
            else
                EXPECT_EQ(selection[static_cast<std::size_t>(index)].token, *expected);
        }
    }
}
