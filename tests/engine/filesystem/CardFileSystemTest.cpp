// What the card's file system remembers: FAT32 images written with mtools (folders, long names,
// deleted entries, a live file in pieces, behind a partition table or not), volumes without one or
// with a damaged one, the repair of lost first letters, the marriage of entries and found files
// (stale entries, sizes that disagree, a map of pieces that agrees or lies), and the safe paths the
// names are saved under.
#include "CardFileSystem.h"
#include "CardNames.h"
#include "CardNaming.h"
#include "CardPaths.h"
#include "FileVolumeSource.h"
#include "MemoryVolumeSource.h"
#include "PictureEncoders.h"
#include "RecordingObservers.h"
#include "ScanEngine.h"
#include "TempFolder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace quorvex;
using quorvex::testing::TempFolder;
namespace fs = std::filesystem;
namespace fx = quorvex::fixtures;

namespace {

int Shell(const std::string& command) { return std::system(("MTOOLS_SKIP_CHECK=1 " + command + " >/dev/null 2>&1").c_str()); }

std::vector<unsigned char> ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteAll(const fs::path& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

fx::Bytes Photo(int variant, int width = 320) { return fx::EncodeJpegJfif(fx::MakeScene(width, width * 3 / 4, variant), 88); }

// A FAT32 card of 40 MiB with 512-byte clusters (FAT32 needs more than 65,524 clusters): DCIM/100CANON with IMG_0001..6.JPG, where
// IMG_0005.JPG went into the holes IMG_0002 and IMG_0003 left when they were deleted (in pieces),
// and IMG_0004 (an 8.3 name without a long one) and "Holiday/Beach day.jpg" (a long name) were
// deleted after it.
struct FatCard {
    TempFolder folder;
    fs::path image = folder / "card.img";
    std::vector<fx::Bytes> photos;
    bool made = false;

    FatCard()
    {
        if (Shell("command -v mkfs.vfat && command -v mcopy") != 0)
            return;
        for (int i = 0; i < 7; ++i)
            photos.push_back(Photo(i, i == 6 ? 640 : 320));
        for (int i = 0; i < 7; ++i)
            WriteAll(folder / ("p" + std::to_string(i)), photos[i]);
        const std::string img = "'" + image.string() + "'";
        auto copy = [&](int i, const std::string& to) {
            return Shell("touch -d @" + std::to_string(1718000000 + i * 60) + " '" + (folder / ("p" + std::to_string(i))).string() +
                         "' && mcopy -m -i " + img + " '" + (folder / ("p" + std::to_string(i))).string() + "' '::" + to + "'");
        };
        made = Shell("truncate -s 40M " + img + " && mkfs.vfat -F 32 -s 1 -i 12345678 " + img) == 0 &&
               Shell("mmd -i " + img + " ::/DCIM") == 0 && Shell("mmd -i " + img + " ::/DCIM/100CANON") == 0 &&
               Shell("mmd -i " + img + " ::/Holiday") == 0 && copy(0, "/DCIM/100CANON/IMG_0001.JPG") == 0 &&
               copy(1, "/DCIM/100CANON/IMG_0002.JPG") == 0 && copy(2, "/Holiday/Beach day.jpg") == 0 &&
               copy(3, "/DCIM/100CANON/IMG_0003.JPG") == 0 && copy(4, "/DCIM/100CANON/IMG_0004.JPG") == 0 &&
               copy(5, "/DCIM/100CANON/IMG_0006.JPG") == 0 &&
               Shell("mdel -i " + img + " ::/DCIM/100CANON/IMG_0002.JPG ::/DCIM/100CANON/IMG_0003.JPG") == 0;
        // FSInfo's hint of the next free cluster forgotten: the next file fills the holes first.
        if (made) {
            std::fstream raw(image, std::ios::in | std::ios::out | std::ios::binary);
            raw.seekp(512 + 492);
            raw.write("\xff\xff\xff\xff", 4);
        }
        made = made && copy(6, "/DCIM/100CANON/IMG_0005.JPG") == 0 &&
               Shell("mdel -i " + img + " ::/DCIM/100CANON/IMG_0004.JPG '::/Holiday/Beach day.jpg'") == 0;
    }

    const CardFile* Find(const CardFileSystems& card, const std::string& path) const
    {
        for (const CardFile& file : card.files)
            if (file.Path() == path)
                return &file;
        return nullptr;
    }
};

CardFileSystems ReadImage(const fs::path& image)
{
    VolumeOpenResult opened = FileVolumeSource::Open(image.string());
    EXPECT_TRUE(opened.ok()) << opened.message;
    CardFileSystems card = ReadCardFileSystems(*opened.source);
    RestoreLostFirstLetters(card.files);
    return card;
}

}  // namespace

TEST(CardFileSystem, AFat32CardGivesItsLiveAndDeletedFilesWithFoldersNamesTimesAndPieces)
{
    FatCard card;
    if (!card.made)
        GTEST_SKIP() << "mkfs.vfat or mtools is not installed";
    const CardFileSystems read = ReadImage(card.image);
    ASSERT_EQ(read.found.size(), 1u);
    EXPECT_NE(read.found[0].find("fat32"), std::string::npos) << read.found[0];

    const CardFile* live = card.Find(read, "DCIM/100CANON/IMG_0001.JPG");
    ASSERT_NE(live, nullptr);
    EXPECT_FALSE(live->deleted);
    EXPECT_EQ(live->folder, "DCIM/100CANON");
    EXPECT_EQ(live->sizeBytes, card.photos[0].size());
    EXPECT_TRUE(live->mapped);
    EXPECT_NEAR(static_cast<double>(live->modified), 1718000000.0, 2.0);  // FAT keeps even seconds
    const std::vector<unsigned char> bytes = ReadAll(card.image);
    ASSERT_EQ(live->pieces.size(), 1u);
    EXPECT_TRUE(std::equal(card.photos[0].begin(), card.photos[0].end(), bytes.begin() + static_cast<std::ptrdiff_t>(live->FirstByte())));

    // Deleted: an 8.3 name whose first letter the names beside it give back, and a long name.
    const CardFile* deleted = card.Find(read, "DCIM/100CANON/IMG_0004.JPG");
    ASSERT_NE(deleted, nullptr);
    EXPECT_TRUE(deleted->deleted);
    EXPECT_FALSE(deleted->mapped);  // its chain is gone: its clusters are taken to follow on
    const CardFile* beach = card.Find(read, "Holiday/Beach day.jpg");
    ASSERT_NE(beach, nullptr);
    EXPECT_TRUE(beach->deleted);

    // The live file in the holes: in pieces, from its cluster chain, its bytes where they say.
    const CardFile* pieces = card.Find(read, "DCIM/100CANON/IMG_0005.JPG");
    ASSERT_NE(pieces, nullptr);
    EXPECT_TRUE(pieces->mapped);
    ASSERT_GE(pieces->pieces.size(), 2u);
    fx::Bytes joined;
    for (const ByteRange& piece : pieces->pieces)
        joined.insert(joined.end(), bytes.begin() + static_cast<std::ptrdiff_t>(piece.offset),
                      bytes.begin() + static_cast<std::ptrdiff_t>(piece.offset + piece.length));
    EXPECT_TRUE(joined == card.photos[6]);
    // In order of where they begin.
    for (std::size_t i = 1; i < read.files.size(); ++i)
        EXPECT_LE(read.files[i - 1].FirstByte(), read.files[i].FirstByte());
}

TEST(CardFileSystem, APartitionTableIsFollowedAndNoOrAHostileFileSystemGivesNothing)
{
    FatCard card;
    if (!card.made)
        GTEST_SKIP() << "mkfs.vfat or mtools is not installed";
    // The same file system behind an MBR, at 1 MiB.
    std::vector<unsigned char> disk(1 << 20, 0);
    const std::vector<unsigned char> volume = ReadAll(card.image);
    disk.insert(disk.end(), volume.begin(), volume.end());
    unsigned char* entry = disk.data() + 446;
    entry[4] = 0x0C;  // FAT32 (LBA)
    const std::uint32_t start = 2048, sectors = static_cast<std::uint32_t>(volume.size() / 512);
    std::memcpy(entry + 8, &start, 4);
    std::memcpy(entry + 12, &sectors, 4);
    disk[510] = 0x55, disk[511] = 0xAA;
    quorvex::testing::MemoryVolumeSource partitioned(disk);
    const CardFileSystems behind = ReadCardFileSystems(partitioned);
    ASSERT_FALSE(behind.files.empty());
    EXPECT_GE(behind.files.front().FirstByte(), 1u << 20);
    EXPECT_NE(behind.found[0].find("at byte 1048576"), std::string::npos) << behind.found[0];

    // Photos and random data: nothing is read past the sectors that tell there is no file system.
    std::vector<unsigned char> plain(8 << 20);
    for (std::size_t i = 0; i < plain.size(); ++i)
        plain[i] = static_cast<unsigned char>(i * 2654435761u >> 13);
    quorvex::testing::MemoryVolumeSource none(plain);
    EXPECT_TRUE(ReadCardFileSystems(none).files.empty());
    EXPECT_LE(none.Reads().size(), 2u);

    // A boot sector that says FAT over a FAT of garbage, a directory that points at itself.
    std::vector<unsigned char> hostile = volume;
    for (std::size_t i = 32 * 512; i < 32 * 512 + 4096; ++i)
        hostile[i] = static_cast<unsigned char>(0x11 * i);
    quorvex::testing::MemoryVolumeSource damaged(hostile);
    const CardFileSystems read = ReadCardFileSystems(damaged);
    for (const CardFile& file : read.files)
        for (const ByteRange& piece : file.pieces)
            EXPECT_LE(piece.offset + piece.length, hostile.size());
}

TEST(CardFileSystem, NamesThatAreNoTextBecomeTextThatCanBeShownAndWritten)
{
    EXPECT_EQ(CleanCardText("IMG_0001.JPG"), "IMG_0001.JPG");
    EXPECT_EQ(CleanCardText("Caf\xc3\xa9 \xe6\x97\xa5.jpg"), "Caf\xc3\xa9 \xe6\x97\xa5.jpg");
    EXPECT_EQ(CleanCardText("a\x01" "b\x7f\x1b[31m"), "a_b__[31m");
    EXPECT_EQ(CleanCardText("\xff\xfe.jpg"), "__.jpg");  // not UTF-8
    EXPECT_EQ(CleanCardText("\xc0\xaf"), "__");          // an overlong '/'
    EXPECT_EQ(CleanCardText("end\xc3"), "end_");          // a character cut short
    EXPECT_EQ(CleanCardText(nullptr), "");
    EXPECT_EQ(CleanCardText(std::string(5000, 'x').c_str()).size(), 1024u);
}

TEST(CardNames, ALostFirstLetterComesBackOnlyWhenTheNamesAroundItAgree)
{
    auto file = [](std::string folder, std::string name, bool deleted) {
        CardFile f;
        f.folder = std::move(folder);
        f.name = std::move(name);
        f.deleted = deleted;
        return f;
    };
    std::vector<CardFile> files = {
        file("DCIM/100CANON", "IMG_0104.JPG", false), file("DCIM/100CANON", "_MG_0105.JPG", true),
        file("DCIM/100CANON", "_SC_0001.JPG", true),  // no sibling of its pattern
        file("DCIM/101MIXED", "IMG_0001.JPG", false), file("DCIM/101MIXED", "PMG_0002.JPG", false),
        file("DCIM/101MIXED", "_MG_0003.JPG", true),  // two first letters: not guessed
        file("OTHER", "_MG_0200.JPG", true),          // IMG_0104 is in another folder
        file("DCIM/100CANON", "_keep me.jpg", true),  // a long name keeps what it has
        file("DCIM/100CANON", "_MG_0106.JPG", false), // live: its name is what it is
    };
    RestoreLostFirstLetters(files);
    EXPECT_EQ(files[1].name, "IMG_0105.JPG");
    EXPECT_EQ(files[2].name, "_SC_0001.JPG");
    EXPECT_EQ(files[5].name, "_MG_0003.JPG");
    EXPECT_EQ(files[6].name, "_MG_0200.JPG");
    EXPECT_EQ(files[7].name, "_keep me.jpg");
    EXPECT_EQ(files[8].name, "_MG_0106.JPG");
}

namespace {

// A card of photos at known places, scanned in exact recovery with the card's files given.
struct NamedScan {
    std::vector<unsigned char> bytes = std::vector<unsigned char>(4 << 20, 0x5A);
    FoundFileCatalogue catalogue;

    void Put(std::uint64_t offset, const fx::Bytes& file)
    {
        std::copy(file.begin(), file.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    }
    void Scan(CardFileSystems card)
    {
        catalogue.Reset(SelectedTypes::AllTypes("Found", 20480), RecoveryMode::Exact);
        VolumeReader reader;
        ASSERT_TRUE(reader.Open([&] {
            VolumeOpenResult r;
            r.source = std::make_unique<quorvex::testing::MemoryVolumeSource>(bytes);
            return r;
        }).ok());
        // The scan's own findings, as an exact scan records them, then the naming of each.
        quorvex::testing::RecordingScanObserver quiet;
        ScanEngine::Options options;
        options.readCardFileSystems = false;
        ScanEngine engine(catalogue, quiet, options);
        ReassemblyLimits limits;
        limits.enabled = false;
        engine.SetReassemblyLimits(limits);
        engine.Run([&] {
            VolumeOpenResult r;
            r.source = std::make_unique<quorvex::testing::MemoryVolumeSource>(bytes);
            return r;
        }, SelectedTypes::AllTypes("Found", 20480), RecoveryMode::Exact);
        const CardNaming naming(std::move(card));
        for (std::uint64_t i = 0; i < catalogue.FoundCount(); ++i)
            naming.NameFound(catalogue, i, reader);
    }
    std::optional<std::uint64_t> IndexAt(std::uint64_t offset) const
    {
        for (std::uint64_t i = 0; i < catalogue.FoundCount(); ++i)
            if (catalogue.StartSectorAt(i) * kSectorSize == offset)
                return i;
        return std::nullopt;
    }
};

CardFile Entry(std::string path, std::vector<ByteRange> pieces, bool deleted, bool mapped = true)
{
    CardFile file;
    const auto slash = path.rfind('/');
    file.folder = path.substr(0, slash);
    file.name = path.substr(slash + 1);
    file.deleted = deleted;
    file.mapped = mapped;
    for (const ByteRange& piece : pieces)
        file.sizeBytes += piece.length;
    file.pieces = std::move(pieces);
    file.modified = 1718000000;
    return file;
}

}  // namespace

TEST(CardNaming, AnEntryNamesTheFileOnlyWhereTheBytesAgree)
{
    NamedScan scan;
    const fx::Bytes a = Photo(1), b = Photo(2), c = Photo(3);
    scan.Put(64 << 10, a);
    scan.Put(1 << 20, b);
    scan.Put(2 << 20, c);
    CardFileSystems card;
    card.files = {
        Entry("DCIM/100CANON/IMG_0001.JPG", {{64 << 10, a.size()}}, false),
        // A deleted entry of another photo that was here before: its size is not this file's.
        Entry("DCIM/100CANON/IMG_0002.JPG", {{1 << 20, b.size() + 5000}}, true, false),
        // Two entries at the same place: the live one wins, the stale deleted one says nothing.
        Entry("OLD/_MG_0009.JPG", {{2 << 20, c.size()}}, true, false),
        Entry("DCIM/100CANON/IMG_0003.JPG", {{2 << 20, c.size()}}, false),
    };
    std::sort(card.files.begin(), card.files.end(), [](const CardFile& x, const CardFile& y) { return x.FirstByte() < y.FirstByte(); });
    scan.Scan(std::move(card));
    ASSERT_EQ(scan.catalogue.FoundCount(), 3u);
    const CardName* first = scan.catalogue.CardNameAt(*scan.IndexAt(64 << 10));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Path(), "DCIM/100CANON/IMG_0001.JPG");
    EXPECT_FALSE(first->deleted);
    EXPECT_EQ(first->modified, 1718000000);
    EXPECT_EQ(scan.catalogue.CardNameAt(*scan.IndexAt(1 << 20)), nullptr);
    const CardName* third = scan.catalogue.CardNameAt(*scan.IndexAt(2 << 20));
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third->Path(), "DCIM/100CANON/IMG_0003.JPG");
    EXPECT_EQ(scan.catalogue.NamedCount(), 2u);
}

TEST(CardNaming, AFileTheCardMapsInPiecesIsCompleteFromThemUnlessTheMapLies)
{
    NamedScan scan;
    const fx::Bytes photo = Photo(4, 800);
    ASSERT_GT(photo.size(), 20000u);
    const std::uint64_t cut = 8 << 10;
    const std::uint64_t first = 256 << 10, second = 1 << 20, decoy = 3 << 20;
    scan.Put(first, fx::Bytes(photo.begin(), photo.begin() + cut));
    scan.Put(second, fx::Bytes(photo.begin() + cut, photo.end()));
    scan.Put(decoy, fx::Bytes(photo.begin() + cut / 2, photo.end()));  // bytes of it, from the wrong place
    const std::vector<ByteRange> truth = {{first, cut}, {second, photo.size() - cut}};
    CardFileSystems card;
    card.files = {Entry("DCIM/100CANON/IMG_0042.JPG", truth, false)};
    scan.Scan(card);
    const std::uint64_t index = *scan.IndexAt(first);
    EXPECT_EQ(scan.catalogue.VerdictAt(index), Verdict::Complete);
    EXPECT_EQ(scan.catalogue.PiecesAt(index), truth);
    EXPECT_EQ(scan.catalogue.LengthAt(index), photo.size());
    ASSERT_NE(scan.catalogue.CardNameAt(index), nullptr);
    EXPECT_EQ(scan.catalogue.ReassembledCount(), 0u);

    // A map whose second piece is somewhere else: the walk over it breaks, nothing is trusted.
    NamedScan lying;
    lying.bytes = scan.bytes;
    CardFileSystems wrong;
    wrong.files = {Entry("DCIM/100CANON/IMG_0042.JPG", {{first, cut}, {decoy, photo.size() - cut}}, false)};
    lying.Scan(wrong);
    const std::uint64_t damaged = *lying.IndexAt(first);
    EXPECT_EQ(lying.catalogue.VerdictAt(damaged), Verdict::Damaged);
    EXPECT_EQ(lying.catalogue.CardNameAt(damaged), nullptr);
    EXPECT_EQ(lying.catalogue.PiecesAt(damaged).size(), 1u);

    // A deleted entry's guess of pieces is no map: not followed.
    NamedScan guessed;
    guessed.bytes = scan.bytes;
    CardFileSystems unmapped;
    unmapped.files = {Entry("DCIM/100CANON/IMG_0042.JPG", truth, true, false)};
    guessed.Scan(unmapped);
    EXPECT_EQ(guessed.catalogue.VerdictAt(*guessed.IndexAt(first)), Verdict::Damaged);
}

TEST(CardPaths, ANameFromTheCardNeverLeadsOutsideTheRecoveryFolder)
{
    auto path = [](std::string folder, std::string name) { return SafeCardPath(CardName{std::move(folder), std::move(name), false, 0}); };
    EXPECT_EQ(*path("DCIM/100CANON", "IMG_0001.JPG"), "DCIM/100CANON/IMG_0001.JPG");
    EXPECT_EQ(*path("", "a.jpg"), "a.jpg");
    EXPECT_EQ(*path("../../etc", "passwd"), "etc/passwd");  // ".." and "." are no parts at all
    EXPECT_EQ(*path("/abs//olute/", "x"), "abs/olute/x");
    EXPECT_FALSE(path("DCIM", "..").has_value());
    EXPECT_EQ(*path("a\\b", "c:d*e?f\"g<h>i|j.jpg"), "a_b/c_d_e_f_g_h_i_j.jpg");
    EXPECT_EQ(*path(" lead", "trail. . "), "lead/trail");
    EXPECT_FALSE(path("DCIM", "").has_value());
    EXPECT_FALSE(path("DCIM", ". ").has_value());
    const std::string longName = std::string(300, 'x') + ".JPG";
    const std::string shortened = *path("", longName);
    EXPECT_LE(shortened.size(), 255u);
    EXPECT_TRUE(shortened.ends_with(".JPG"));
    // A folder keeps no "extension", and an extension longer than an extension is none either.
    EXPECT_EQ(*path(std::string(300, 'f') + ".d", "a.jpg"), std::string(255, 'f') + "/a.jpg");
    EXPECT_EQ(*path("", std::string(300, 'n') + "." + std::string(20, 'e')), std::string(255, 'n'));
    std::string deep;
    for (int i = 0; i < 40; ++i)
        deep += "d/";
    EXPECT_FALSE(path(deep, "a.jpg").has_value());
    // A name cut inside a UTF-8 character keeps whole characters.
    std::string umlauts;
    for (int i = 0; i < 200; ++i)
        umlauts += "\xc3\xbc";
    const std::string cut = *path("", umlauts);
    EXPECT_EQ(cut.size() % 2, 0u);

    SavedPaths saved;
    EXPECT_EQ(saved.Claim("DCIM/IMG_0001.JPG"), "DCIM/IMG_0001.JPG");
    EXPECT_EQ(saved.Claim("dcim/img_0001.jpg"), "dcim/img_0001_2.jpg");  // the destination may ignore case
    EXPECT_EQ(saved.Claim("DCIM/IMG_0001_3.JPG"), "DCIM/IMG_0001_3.JPG");
    EXPECT_EQ(saved.Claim("DCIM/IMG_0001.JPG"), "DCIM/IMG_0001_4.JPG");  // _3 was the card's own
    EXPECT_EQ(saved.Claim("DCIM/README"), "DCIM/README");
    EXPECT_EQ(saved.Claim("DCIM/README"), "DCIM/README_2");
    EXPECT_EQ(saved.Claim("a.b/c"), "a.b/c");
    EXPECT_EQ(saved.Claim("a.b/c"), "a.b/c_2");  // a dot in the folder is no extension
}
