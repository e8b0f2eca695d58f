// Names, walks and look-ups of the found-file catalogue.
#include "FoundFileCatalogue.h"

#include <gtest/gtest.h>

using namespace quorvex;

namespace {

FoundFileCatalogue CatalogueWith(std::vector<std::pair<std::size_t, std::uint64_t>> hits)
{
    FoundFileCatalogue catalogue;
    catalogue.Reset(SelectedTypes({{"BMP", "FoundFileBMP", 10}, {"GIF", "FoundFileGIF", 20}, {"PNG", "", 30}}));
    for (auto [type, sector] : hits)
        EXPECT_EQ(catalogue.AppendFoundFile(type, sector), AppendResult::Appended);
    return catalogue;
}

std::vector<std::string> Names(const FoundFileCatalogue& catalogue)
{
    std::vector<std::string> names;
    catalogue.ForEachEntry([&](const FoundFileEntry& e) { names.push_back(e.name); });
    return names;
}

}  // namespace

TEST(FoundFileCatalogue, NamesRunOneNumberAcrossAllTypes)
{
    const auto catalogue = CatalogueWith({{0, 10}, {1, 20}, {0, 30}, {2, 40}});
    EXPECT_EQ(Names(catalogue),
              (std::vector<std::string>{"FoundFileBMP1.BMP", "FoundFileGIF2.GIF", "FoundFileBMP3.BMP", "4.PNG"}));
    const FoundFileEntry third = catalogue.EntryAt(2);
    EXPECT_EQ(third.token, "BMP");
    EXPECT_EQ(third.startSector, 30u);
    EXPECT_EQ(third.number, 3u);
    EXPECT_EQ(catalogue.FoundCount(), 4u);
}

TEST(FoundFileCatalogue, WalksOneTypeInCatalogueOrder)
{
    const auto catalogue = CatalogueWith({{0, 10}, {1, 20}, {0, 30}});
    std::vector<std::uint64_t> sectors;
    catalogue.ForEachEntryOfType("BMP", [&](const FoundFileEntry& e) { sectors.push_back(e.startSector); });
    EXPECT_EQ(sectors, (std::vector<std::uint64_t>{10, 30}));
    sectors.clear();
    catalogue.ForEachEntryOfType("JPG", [&](const FoundFileEntry& e) { sectors.push_back(e.startSector); });
    EXPECT_TRUE(sectors.empty());
    EXPECT_EQ(catalogue.CountOfType("BMP"), 2u);
    EXPECT_EQ(catalogue.CountOfType("GIF"), 1u);
    EXPECT_EQ(catalogue.CountOfType("JPG"), 0u);
    EXPECT_EQ(catalogue.IndexOfTypeEntry("BMP", 0), 0u);
    EXPECT_EQ(catalogue.IndexOfTypeEntry("BMP", 1), 2u);
    EXPECT_EQ(catalogue.IndexOfTypeEntry("GIF", 0), 1u);
}

TEST(FoundFileCatalogue, ATypesEntriesAreReachedWithoutWalkingTheOthers)
{
    // A million BMPs and one GIF at the end: the GIF's entry is found at once, and the index
    // is emptied with the catalogue.
    FoundFileCatalogue catalogue;
    catalogue.Reset(SelectedTypes({{"BMP", "B", 1}, {"GIF", "G", 1}}));
    for (std::uint64_t i = 0; i < 1'000'000; ++i)
        catalogue.AppendFoundFile(0, i);
    catalogue.AppendFoundFile(1, 5'000'000);
    EXPECT_EQ(catalogue.CountOfType("GIF"), 1u);
    EXPECT_EQ(catalogue.IndexOfTypeEntry("GIF", 0), 1'000'000u);
    EXPECT_EQ(catalogue.EntryAt(catalogue.IndexOfTypeEntry("BMP", 999'999)).startSector, 999'999u);
    catalogue.ClearCatalogue();
    EXPECT_EQ(catalogue.CountOfType("BMP"), 0u);
    catalogue.AppendFoundFile(1, 7);
    EXPECT_EQ(catalogue.IndexOfTypeEntry("GIF", 0), 0u);
}

TEST(FoundFileCatalogue, FindsAnEntryByItsExactName)
{
    const auto catalogue = CatalogueWith({{0, 10}, {1, 20}, {0, 30}, {2, 40}});
    ASSERT_TRUE(catalogue.FindByName("FoundFileBMP3.BMP"));
    EXPECT_EQ(catalogue.FindByName("FoundFileBMP3.BMP")->startSector, 30u);
    EXPECT_EQ(catalogue.FindByName("4.PNG")->startSector, 40u);
    EXPECT_FALSE(catalogue.FindByName("foundfilebmp3.bmp"));   // compared with case
    EXPECT_FALSE(catalogue.FindByName("FoundFileBMP2.BMP"));   // number 2 is a GIF
    EXPECT_FALSE(catalogue.FindByName("FoundFileBMP03.BMP"));  // no leading zeros
    EXPECT_FALSE(catalogue.FindByName("FoundFileBMP5.BMP"));   // beyond the last
    EXPECT_FALSE(catalogue.FindByName("FoundFileBMP0.BMP"));
    EXPECT_FALSE(catalogue.FindByName("FoundFileBMP+3.BMP"));
    EXPECT_FALSE(catalogue.FindByName("FoundFileBMP3x.BMP"));  // a letter after the number
    EXPECT_FALSE(catalogue.FindByName("FoundFileBMP.BMP"));
    EXPECT_FALSE(catalogue.FindByName(""));
}

TEST(FoundFileCatalogue, FindsByNameWhenAPrefixEndsInDigits)
{
    FoundFileCatalogue catalogue;
    catalogue.Reset(SelectedTypes({{"JPG", "Trip2026-", 10}}));
    for (int i = 0; i < 12; ++i)
        catalogue.AppendFoundFile(0, static_cast<std::uint64_t>(i) * 8);
    EXPECT_EQ(catalogue.FindByName("Trip2026-12.JPG")->startSector, 88u);
    EXPECT_FALSE(catalogue.FindByName("Trip202612.JPG"));
}

TEST(FoundFileCatalogue, ClearingEmptiesItAndNumbersStartAgain)
{
    auto catalogue = CatalogueWith({{0, 10}, {1, 20}});
    catalogue.ClearCatalogue();
    EXPECT_EQ(catalogue.FoundCount(), 0u);
    EXPECT_TRUE(Names(catalogue).empty());
    EXPECT_FALSE(catalogue.FindByName("FoundFileBMP1.BMP"));
    catalogue.AppendFoundFile(1, 99);
    EXPECT_EQ(Names(catalogue), (std::vector<std::string>{"FoundFileGIF1.GIF"}));
}

TEST(FoundFileCatalogue, RunningOutOfMemoryLeavesTheCatalogueAsItWas)
{
    auto catalogue = CatalogueWith({{0, 10}});
    catalogue.SetEntryLimit(2);
    EXPECT_EQ(catalogue.AppendFoundFile(1, 20), AppendResult::Appended);
    EXPECT_EQ(catalogue.AppendFoundFile(1, 30), AppendResult::OutOfMemory);
    EXPECT_EQ(catalogue.FoundCount(), 2u);
}
