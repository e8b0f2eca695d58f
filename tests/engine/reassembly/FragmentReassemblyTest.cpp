// Putting a photo back together from the pieces a card stored it in: where the cluster grid lies,
// where a file breaks and where it goes on, what must never be joined, and the bounds on the work.
#include "BmffFormat.h"
#include "ClusterGeometry.h"
#include "FoundFileReader.h"
#include "FragmentReassembler.h"
#include "MemoryVolumeSource.h"
#include "ModernFiles.h"
#include "PictureEncoders.h"
#include "RecordingObservers.h"
#include "SampleDecoding.h"
#include "ScanEngine.h"
#include "ScanSession.h"
#include "JpegEntropy.h"

#include <gtest/gtest.h>
#include <zlib.h>
#include <cstring>
#include <fstream>
#include <algorithm>
#include <map>
#include <random>
#include <tuple>

using namespace quorvex;
using namespace quorvex::testing;
namespace fx = quorvex::fixtures;

namespace {

constexpr std::uint64_t kCluster = 4096;  // no file system on these volumes: the 4 KiB grid
constexpr std::uint64_t kFileStart = 64 * 1024;

fx::Bytes Filled(std::size_t bytes, int kind, std::uint32_t seed = 7)
{
    fx::Bytes fill(bytes, 0);
    std::mt19937 random(seed);
    if (kind == 1)
        for (unsigned char& b : fill)
            b = static_cast<unsigned char>(random());
    return fill;
}

// A volume of random bytes with `file` laid from kFileStart in pieces: `cuts` are the bytes in
// each piece but the last (cluster multiples), `gaps` what lies between them. Returns the pieces.
std::vector<ByteRange> LayInPieces(fx::Bytes& volume, const fx::Bytes& file, const std::vector<std::uint64_t>& cuts,
                                   const std::vector<fx::Bytes>& gaps)
{
    std::vector<ByteRange> pieces;
    std::uint64_t at = kFileStart, done = 0;
    for (std::size_t p = 0; p <= cuts.size(); ++p) {
        const std::uint64_t length = p < cuts.size() ? cuts[p] : file.size() - done;
        std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(done), length, volume.begin() + static_cast<std::ptrdiff_t>(at));
        pieces.push_back({at, length});
        done += length;
        at += length;
        if (p < cuts.size()) {
            std::copy(gaps[p].begin(), gaps[p].end(), volume.begin() + static_cast<std::ptrdiff_t>(at));
            at += gaps[p].size();
        }
    }
    return pieces;
}

fx::Bytes NoiseVolume(std::size_t bytes)
{
    fx::Bytes volume = Filled(bytes, 1, 99);
    // Old data that begins no file at a sector start.
    for (std::size_t s = 0; s < bytes; s += kSectorSize)
        volume[s] = static_cast<unsigned char>(volume[s] % 0x40 + 0x20);
    return volume;
}

VolumeOpener OpenerOf(const fx::Bytes& volume)
{
    auto bytes = std::make_shared<const fx::Bytes>(volume);
    return [bytes] {
        VolumeOpenResult result;
        result.source = std::make_unique<MemoryVolumeSource>(*bytes);
        return result;
    };
}

struct ExactScan {
    FoundFileCatalogue catalogue;
    RecordingScanObserver observer;
    ScanSummary summary;

    // The entry that starts at `offset`, which must exist.
    std::uint64_t IndexAt(std::uint64_t offset) const
    {
        for (std::uint64_t i = 0; i < catalogue.FoundCount(); ++i)
            if (catalogue.StartSectorAt(i) * kSectorSize == offset)
                return i;
        ADD_FAILURE() << "nothing found at " << offset;
        return 0;
    }
};

void Scan(ExactScan& run, const fx::Bytes& volume, const ReassemblyLimits& limits = {})
{
    ScanEngine engine(run.catalogue, run.observer);
    engine.SetReassemblyLimits(limits);
    run.summary = engine.Run(OpenerOf(volume), SelectedTypes::AllTypes("Found", 20480, RecoveryMode::Exact),
                             RecoveryMode::Exact);
}

// The volume scanned: the file at the first piece's place comes back reassembled from `pieces`.
void ExpectReassembledFrom(const fx::Bytes& volume, const std::vector<ByteRange>& pieces)
{
    ExactScan run;
    Scan(run, volume);
    const std::uint64_t index = run.IndexAt(pieces.front().offset);
    EXPECT_EQ(run.catalogue.VerdictAt(index), Verdict::Reassembled);
    EXPECT_EQ(run.catalogue.PiecesAt(index), pieces);
}

// The bytes the catalogue's entry reads as, through its pieces.
fx::Bytes BytesOf(const fx::Bytes& volume, const FoundFileCatalogue& catalogue, std::uint64_t index)
{
    VolumeReader reader;
    EXPECT_TRUE(reader.Open(OpenerOf(volume)).ok());
    FoundFileReader file(reader, catalogue.PiecesAt(index));
    fx::Bytes bytes;
    EXPECT_TRUE(ReadPrefix(file, file.Size(), bytes));
    return bytes;
}

const fx::Bytes& Photo(int variant = 1, int restartInterval = 0)
{
    static std::map<std::pair<int, int>, fx::Bytes> photos;
    fx::Bytes& photo = photos[{variant, restartInterval}];
    if (photo.empty()) {
        fx::JpegOptions options;
        options.quality = 92;
        options.exif = fx::ExifFields{};
        options.restartInterval = restartInterval;
        photo = fx::EncodeJpeg(fx::MakeScene(1024, 768, variant), options);
    }
    return photo;
}

const fx::Bytes& Picture()
{
    static const fx::Bytes png = fx::EncodePng(fx::MakeScene(400, 300, 4));
    return png;
}

std::uint64_t ClusterCut(double fraction, std::size_t size)
{
    return std::max<std::uint64_t>(1, static_cast<std::uint64_t>(static_cast<double>(size) * fraction) / kCluster) * kCluster;
}

}  // namespace

// ---- where the clusters lie

namespace {

using Sector = std::array<unsigned char, 512>;

void Put16(unsigned char* p, unsigned v)
{
    p[0] = static_cast<unsigned char>(v), p[1] = static_cast<unsigned char>(v >> 8);
}

void Put32(unsigned char* p, std::uint32_t v)
{
    Put16(p, v & 0xFFFF), Put16(p + 2, v >> 16);
}

Sector FatBoot(unsigned perCluster, unsigned reserved, unsigned rootEntries, std::uint32_t totalSectors,
               std::uint32_t fatSectors, bool fat32)
{
    Sector s{};
    s[0] = 0xEB, s[1] = 0x3C, s[2] = 0x90;
    Put16(&s[11], 512);
    s[13] = static_cast<unsigned char>(perCluster);
    Put16(&s[14], reserved);
    s[16] = 2;
    Put16(&s[17], rootEntries);
    if (totalSectors < 65536 && !fat32)
        Put16(&s[19], totalSectors);
    else
        Put32(&s[32], totalSectors);
    if (fat32)
        Put32(&s[36], fatSectors);
    else
        Put16(&s[22], fatSectors);
    s[510] = 0x55, s[511] = 0xAA;
    return s;
}

ClusterGeometry LearnFrom(const std::vector<std::pair<std::uint64_t, Sector>>& sectors, std::size_t volumeBytes = 1 << 20)
{
    fx::Bytes volume(volumeBytes, 0);
    for (const auto& [offset, sector] : sectors)
        std::copy(sector.begin(), sector.end(), volume.begin() + static_cast<std::ptrdiff_t>(offset));
    MemoryByteSource source(volume);
    return LearnClusterGeometry(source);
}

}  // namespace

TEST(ClusterGeometry, EachFileSystemsBootSectorGivesItsClustersAndWhereTheyStart)
{
    // A 1.44 MB floppy: FAT12, one sector per cluster, 224 root entries (14 sectors).
    ClusterGeometry g = LearnFrom({{0, FatBoot(1, 1, 224, 2880, 9, false)}});
    ASSERT_TRUE(g.learned);
    EXPECT_TRUE(g.learned);
    EXPECT_EQ(g.fileSystem, "FAT12");
    EXPECT_EQ(g.clusterBytes, 512u);
    EXPECT_EQ(g.dataStartByte, (1 + 2 * 9 + 14) * 512u);

    // FAT16: 4 sectors per cluster, 512 root entries (32 sectors).
    g = LearnFrom({{0, FatBoot(4, 4, 512, 200000, 200, false)}});
    EXPECT_EQ(g.fileSystem, "FAT16");
    EXPECT_EQ(g.clusterBytes, 2048u);
    EXPECT_EQ(g.dataStartByte, (4 + 2 * 200 + 32) * 512u);

    // FAT32 behind an MBR whose first partition starts at sector 8192.
    Sector mbr{};
    mbr[446] = 0x80;  // the active partition
    mbr[446 + 4] = 0x0C;
    Put32(&mbr[446 + 8], 8192);
    mbr[510] = 0x55, mbr[511] = 0xAA;
    g = LearnFrom({{0, mbr}, {8192 * 512, FatBoot(32, 32, 0, 2000000, 1950, true)}}, 8 << 20);
    EXPECT_TRUE(g.learned);
    EXPECT_EQ(g.fileSystem, "FAT32");
    EXPECT_EQ(g.clusterBytes, 16384u);
    EXPECT_EQ(g.dataStartByte, (8192 + 32 + 2 * 1950) * 512u);
    mbr[446] = 0x12;  // no partition entry has such a flag
    EXPECT_FALSE(LearnFrom({{0, mbr}, {8192 * 512, FatBoot(32, 32, 0, 2000000, 1950, true)}}, 8 << 20).learned);

    // exFAT: 2^9-byte sectors, 2^6 sectors per cluster, the cluster heap at sector 2048.
    Sector exfat{};
    std::memcpy(&exfat[3], "EXFAT   ", 8);
    Put32(&exfat[88], 2048);
    exfat[108] = 9, exfat[109] = 6;
    exfat[510] = 0x55, exfat[511] = 0xAA;
    g = LearnFrom({{0, exfat}});
    EXPECT_TRUE(g.learned);
    EXPECT_EQ(g.fileSystem, "exFAT");
    EXPECT_EQ(g.clusterBytes, 32768u);
    EXPECT_EQ(g.dataStartByte, 2048 * 512u);

    // NTFS behind a GPT: clusters from the partition's first sector; 8 sectors per cluster.
    Sector protective{};
    protective[446 + 4] = 0xEE;
    Put32(&protective[446 + 8], 1);
    protective[510] = 0x55, protective[511] = 0xAA;
    Sector header{};
    std::memcpy(header.data(), "EFI PART", 8);
    Put32(&header[72], 2);  // the partition entries at sector 2
    Put32(&header[84], 128);
    Sector entries{};
    entries[0] = 0xA2;  // a type GUID
    Put32(&entries[32], 2048);
    Sector ntfs{};
    std::memcpy(&ntfs[3], "NTFS    ", 8);
    Put16(&ntfs[11], 512);
    ntfs[13] = 8;
    ntfs[510] = 0x55, ntfs[511] = 0xAA;
    g = LearnFrom({{0, protective}, {512, header}, {1024, entries}, {2048 * 512, ntfs}}, 2 << 20);
    EXPECT_TRUE(g.learned);
    EXPECT_EQ(g.fileSystem, "NTFS");
    EXPECT_EQ(g.clusterBytes, 4096u);
    EXPECT_EQ(g.dataStartByte, 2048 * 512u);
    ntfs[13] = 0xF0;  // 2^16-byte clusters, written as a negative power of two
    g = LearnFrom({{0, ntfs}});
    EXPECT_EQ(g.clusterBytes, 65536u);

    // A volume shorter than a sector, and what it does not understand, teach nothing: the 4 KiB
    // default.
    fx::Bytes tiny(100, 0xEB);
    MemoryByteSource tinySource(tiny);
    EXPECT_FALSE(LearnClusterGeometry(tinySource).learned);
    for (const Sector& odd : {Sector{}, FatBoot(3, 1, 224, 2880, 9, false), FatBoot(8, 0, 0, 100000, 100, true),
                              FatBoot(8, 32, 0, 10, 100, true)}) {
        g = LearnFrom({{0, odd}});
        EXPECT_FALSE(g.learned);
        EXPECT_EQ(g.clusterBytes, 4096u);
    }
}

TEST(ClusterGeometry, AFileOffTheLearnedGridIsSearchedOnItsOwn)
{
    ClusterGeometry fat;
    fat.learned = true;
    fat.clusterBytes = 16384;
    fat.dataStartByte = 3 * 512;
    EXPECT_EQ(fat.GridFor(3 * 512 + 5 * 16384).clusterBytes, 16384u);
    EXPECT_EQ(fat.BoundaryAtOrAfter(3 * 512 + 1), 3 * 512 + 16384u);
    EXPECT_EQ(fat.BoundaryAtOrAfter(3 * 512 + 16384), 3 * 512 + 16384u);
    // A file left by an earlier file system: 4 KiB steps from its own start.
    const ClusterGeometry own = fat.GridFor(7 * 512);
    EXPECT_FALSE(own.learned);
    EXPECT_EQ(own.clusterBytes, 4096u);
    EXPECT_EQ(own.BoundaryAtOrAfter(7 * 512 + 1), 7 * 512 + 4096u);
}

// ---- the decoder that tests the joints

TEST(JpegEntropy, DecodesAWholeBaselineJpegToItsEndAndStopsAtDamage)
{
    for (const int restart : {0, 16}) {
        const fx::Bytes& photo = Photo(2, restart);
        MemoryByteSource file(photo);
        const auto layout = ReadJpegScanLayout(file);
        ASSERT_TRUE(layout);
        EXPECT_EQ(layout->McuCount(), 64u * 48u);  // 4:2:0, 16 × 16 pixels an MCU
        EXPECT_EQ(layout->restartInterval, static_cast<std::uint32_t>(restart));
        JpegEntropyDecoder decoder(*layout, file);
        JpegEntropyDecoder::Step step;
        std::uint64_t mcus = 0;
        while ((step = decoder.Next()) == JpegEntropyDecoder::Step::Decoded)
            ++mcus;
        EXPECT_EQ(step, JpegEntropyDecoder::Step::End);
        EXPECT_EQ(mcus, layout->McuCount());
        EXPECT_EQ(decoder.EndOffset(), photo.size());

        // Random bytes from the middle on: an error soon after, never the end.
        fx::Bytes broken = photo;
        const fx::Bytes noise = Filled(broken.size() / 2, 1);
        std::copy(noise.begin(), noise.end(), broken.begin() + static_cast<std::ptrdiff_t>(broken.size() / 2));
        MemoryByteSource brokenFile(broken);
        JpegEntropyDecoder stops(*layout, brokenFile);
        while ((step = stops.Next()) == JpegEntropyDecoder::Step::Decoded) {
        }
        EXPECT_EQ(step, JpegEntropyDecoder::Step::Error);
        EXPECT_LT(stops.Current().position, broken.size() / 2 + 4096);
        // A run of zero bytes is no coded data either, though common tables decode zero bits.
        std::fill(broken.begin() + static_cast<std::ptrdiff_t>(broken.size() / 2), broken.end(), 0);
        MemoryByteSource emptyFile(broken);
        JpegEntropyDecoder empty(*layout, emptyFile);
        while ((step = empty.Next()) == JpegEntropyDecoder::Step::Decoded) {
        }
        EXPECT_EQ(step, JpegEntropyDecoder::Step::Error);
        EXPECT_LT(empty.Current().position, broken.size() / 2 + 64);
    }
    // The edges it gives of each MCU are the picture's own pixels, as libjpeg decodes them.
    {
        fx::JpegOptions grey;
        grey.quality = 80;
        grey.grayscale = true;
        grey.lumaSampling = {1, 1};
        const fx::RgbImage scene = fx::MakeScene(96, 64, 3);
        const fx::Bytes photo = fx::EncodeJpeg(scene, grey);
        const std::string path = ::testing::TempDir() + "edges.jpg";
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(photo.data()),
                                                     static_cast<std::streamsize>(photo.size()));
        const fx::RgbImage decoded = fx::DecodeJpegFile(path);
        const auto pixel = [&](int x, int y) { return static_cast<int>(decoded.pixels[static_cast<std::size_t>(y * 96 + x) * 3]); };
        MemoryByteSource file(photo);
        const auto layout = ReadJpegScanLayout(file);
        ASSERT_TRUE(layout);
        JpegEntropyDecoder decoder(*layout, file);
        JpegEntropyDecoder::LumaEdges edges;
        int worst = 0;
        for (int m = 0; decoder.Next(&edges) == JpegEntropyDecoder::Step::Decoded; ++m) {
            const int x0 = m % 12 * 8, y0 = m / 12 * 8;
            for (int i = 0; i < 8; ++i) {
                worst = std::max({worst, std::abs(edges.top[i] - pixel(x0 + i, y0)), std::abs(edges.bottom[i] - pixel(x0 + i, y0 + 7)),
                                  std::abs(edges.left[i] - pixel(x0, y0 + i)), std::abs(edges.right[i] - pixel(x0 + 7, y0 + i))});
            }
        }
        EXPECT_LE(worst, 2);  // libjpeg's integer transform rounds otherwise
    }
    // Fill bytes before a marker are no segment: the headers read on past them.
    {
        fx::Bytes padded = Photo(2);
        MemoryByteSource plain(padded);
        const std::uint64_t sos = ReadJpegScanLayout(plain)->scanDataStart - 14;  // 4:2:0: a 14-byte SOS segment
        ASSERT_EQ(padded[sos], 0xFF);
        ASSERT_EQ(padded[sos + 1], 0xDA);
        padded.insert(padded.begin() + static_cast<std::ptrdiff_t>(sos), {0xFF, 0xFF, 0xFF});
        MemoryByteSource file(padded);
        const auto layout = ReadJpegScanLayout(file);
        ASSERT_TRUE(layout);
        EXPECT_EQ(layout->scanDataStart, sos + 3 + 14);
    }
    // Data left over after the last MCU, before the end marker, is no end.
    {
        fx::Bytes extra = Photo(2);
        extra.insert(extra.end() - 2, {0x12, 0x34, 0x56});
        MemoryByteSource file(extra);
        const auto layout = ReadJpegScanLayout(file);
        JpegEntropyDecoder decoder(*layout, file);
        JpegEntropyDecoder::Step step;
        while ((step = decoder.Next()) == JpegEntropyDecoder::Step::Decoded) {
        }
        EXPECT_EQ(step, JpegEntropyDecoder::Step::Error);
    }
    // Sharp black and white edges at full quality: the largest coefficients a picture has.
    {
        fx::RgbImage edges{64, 64, std::vector<unsigned char>(64 * 64 * 3)};
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                std::fill_n(edges.pixels.begin() + (y * 64 + x) * 3, 3, ((x ^ y) & 1) ? 255 : 0);
        fx::JpegOptions full;
        full.quality = 100;
        const fx::Bytes sharp = fx::EncodeJpeg(edges, full);
        MemoryByteSource file(sharp);
        const auto layout = ReadJpegScanLayout(file);
        ASSERT_TRUE(layout);
        JpegEntropyDecoder decoder(*layout, file);
        JpegEntropyDecoder::Step step;
        while ((step = decoder.Next()) == JpegEntropyDecoder::Step::Decoded) {
        }
        EXPECT_EQ(step, JpegEntropyDecoder::Step::End);
        EXPECT_EQ(decoder.EndOffset(), sharp.size());
    }
    // A scan header that names a table a JPEG cannot have, counts its components wrong or covers
    // only part of the coefficients is refused, not followed.
    const auto refusedWith = [](std::size_t at, unsigned char value, unsigned char segment = 0xDA) {
        fx::Bytes odd = Photo(2);
        const unsigned char marker[] = {0xFF, segment};
        const auto sos = std::find_end(odd.begin(), odd.end(), std::begin(marker), std::end(marker));  // past the thumbnail
        *(sos + static_cast<std::ptrdiff_t>(at)) = value;
        MemoryByteSource oddFile(odd);
        return !ReadJpegScanLayout(oddFile).has_value();
    };
    EXPECT_TRUE(refusedWith(6, 0x05));   // the first component's AC table
    EXPECT_TRUE(refusedWith(6, 0x50));   // its DC table
    EXPECT_TRUE(refusedWith(4, 2));      // two components of three
    EXPECT_TRUE(refusedWith(12, 0x05));  // the scan ends at the 6th coefficient
    EXPECT_FALSE(refusedWith(6, 0x00));  // the tables it names anyway
    // The same for a frame whose sampling factors no JPEG has, and a quantisation table of a
    // precision or number there is none of.
    EXPECT_TRUE(refusedWith(11, 0x51, 0xC0));
    EXPECT_TRUE(refusedWith(11, 0x15, 0xC0));
    EXPECT_TRUE(refusedWith(4, 0x20, 0xDB));
    EXPECT_TRUE(refusedWith(4, 0x07, 0xDB));
    // What it does not decode: progressive coding.
    fx::JpegOptions progressive;
    progressive.progressive = true;
    const fx::Bytes steps = fx::EncodeJpeg(fx::MakeScene(64, 48, 1), progressive);
    MemoryByteSource progressiveFile(steps);
    EXPECT_FALSE(ReadJpegScanLayout(progressiveFile));
}

// ---- putting files back together

TEST(FragmentReassembly, ATwoPieceJpegComesBackWholeAcrossZerosRandomBytesOrAnotherPhotosData)
{
    const fx::Bytes& photo = Photo();
    const fx::Bytes other = Photo(5);  // the same tables: its data decodes with the photo's
    MemoryByteSource otherFile(other);
    const auto otherData = other.begin() + static_cast<std::ptrdiff_t>(ReadJpegScanLayout(otherFile)->scanDataStart);
    // `clusters` clusters of the other photo's entropy-coded data from `from` bytes into it (as
    // much as it has; random bytes after that).
    const auto otherPhotos = [&](std::size_t from, std::uint64_t clusters) {
        fx::Bytes gap = Filled(clusters * kCluster, 1);
        const auto begin = otherData + static_cast<std::ptrdiff_t>(from);
        std::copy(begin, begin + std::min<std::ptrdiff_t>(other.end() - begin, static_cast<std::ptrdiff_t>(gap.size())),
                  gap.begin());
        return gap;
    };
    const std::vector<fx::Bytes> gaps = {
        Filled(kCluster, 1), Filled(16 * kCluster, 0), Filled(2 << 20, 1), otherPhotos(8000, 8),
        // Another photo's data from its start on, so it decodes cleanly for many rows and the
        // error comes rows after the break.
        otherPhotos(0, 6)};
    for (std::size_t g = 0; g < gaps.size(); ++g) {
        SCOPED_TRACE(g);
        fx::Bytes volume = NoiseVolume(6 << 20);
        const auto pieces = LayInPieces(volume, photo, {ClusterCut(0.45, photo.size())}, {gaps[g]});
        ExactScan run;
        Scan(run, volume);
        ASSERT_EQ(run.summary.outcome, ScanOutcome::Completed);
        const std::uint64_t index = run.IndexAt(kFileStart);
        EXPECT_EQ(run.catalogue.VerdictAt(index), Verdict::Reassembled);
        EXPECT_EQ(run.catalogue.PiecesAt(index), pieces);
        EXPECT_EQ(BytesOf(volume, run.catalogue, index), photo);
        EXPECT_EQ(run.summary.reassembled, 1u);
        EXPECT_EQ(run.observer.reassemblyProgress.back(), (std::pair<std::uint64_t, std::uint64_t>{1, 1}));
    }
}

TEST(FragmentReassembly, JpegsBrokenAtAnyClusterOfTheirDataComeBackWholeOrStayDamaged)
{
    for (const int restart : {0, 64}) {
        const fx::Bytes& photo = Photo(3, restart);
        MemoryByteSource whole(photo);
        const std::uint64_t dataStart = ReadJpegScanLayout(whole)->scanDataStart;
        int reassembled = 0, cuts = 0;
        for (std::uint64_t cut = (dataStart / kCluster + 1) * kCluster; cut < photo.size(); cut += kCluster) {
            SCOPED_TRACE(cut);
            fx::Bytes volume = NoiseVolume(3 << 20);
            const auto pieces = LayInPieces(volume, photo, {cut}, {Filled(5 * kCluster, 1, static_cast<std::uint32_t>(cut))});
            ExactScan run;
            Scan(run, volume);
            const std::uint64_t index = run.IndexAt(kFileStart);
            ++cuts;
            if (run.catalogue.VerdictAt(index) == Verdict::Reassembled) {
                ++reassembled;
                EXPECT_EQ(run.catalogue.PiecesAt(index), pieces);  // never a wrong join
            } else {
                EXPECT_EQ(run.catalogue.VerdictAt(index), Verdict::Damaged);
            }
        }
        EXPECT_GE(reassembled * 10, cuts * 9) << reassembled << " of " << cuts;
    }
}

TEST(FragmentReassembly, APngBrokenAnywhereInAChunkComesBackWholeFromItsCrcs)
{
    // Breaks in chunk headers, data and CRCs, and a third piece after an empty gap.
    const fx::Bytes& png = Picture();
    for (std::uint64_t cut = kCluster; cut + kCluster < png.size(); cut += kCluster) {
        SCOPED_TRACE(cut);
        fx::Bytes volume = NoiseVolume(2 << 20);
        const std::uint64_t second = std::min<std::uint64_t>(2 * kCluster, (png.size() - cut) / kCluster * kCluster);
        std::vector<std::uint64_t> cuts = {cut};
        std::vector<fx::Bytes> gaps = {Filled(3 * kCluster, 1, static_cast<std::uint32_t>(cut))};
        if (second > 0 && cut + second < png.size()) {
            cuts.push_back(second);
            gaps.push_back(Filled(kCluster, 0));
        }
        const auto pieces = LayInPieces(volume, png, cuts, gaps);
        ExpectReassembledFrom(volume, pieces);
    }
}

namespace {

// `png` with all its image data in one chunk, as some encoders write it: a piece of one cluster
// may then lie with both its ends inside that chunk.
fx::Bytes WithOneDataChunk(const fx::Bytes& png)
{
    const auto be32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(png[at]) << 24 | static_cast<std::uint32_t>(png[at + 1]) << 16 |
               static_cast<std::uint32_t>(png[at + 2]) << 8 | png[at + 3];
    };
    const auto put32 = [](fx::Bytes& out, std::uint32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<unsigned char>(value >> shift));
    };
    fx::Bytes out(png.begin(), png.begin() + 8), data;
    std::size_t dataChunkAt = 0;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::uint32_t length = be32(at);
        const bool isData = std::memcmp(&png[at + 4], "IDAT", 4) == 0;
        if (isData) {
            dataChunkAt = dataChunkAt ? dataChunkAt : out.size();
            data.insert(data.end(), png.begin() + static_cast<std::ptrdiff_t>(at + 8),
                        png.begin() + static_cast<std::ptrdiff_t>(at + 8 + length));
        } else {
            out.insert(out.end(), png.begin() + static_cast<std::ptrdiff_t>(at),
                       png.begin() + static_cast<std::ptrdiff_t>(at + 12 + length));
        }
        at += 12 + length;
    }
    fx::Bytes chunk;
    put32(chunk, static_cast<std::uint32_t>(data.size()));
    chunk.insert(chunk.end(), {'I', 'D', 'A', 'T'});
    chunk.insert(chunk.end(), data.begin(), data.end());
    put32(chunk, static_cast<std::uint32_t>(crc32(0, chunk.data() + 4, static_cast<uInt>(chunk.size() - 4))));
    out.insert(out.begin() + static_cast<std::ptrdiff_t>(dataChunkAt), chunk.begin(), chunk.end());
    return out;
}

}  // namespace

TEST(FragmentReassembly, APngWhoseDataIsOneChunkComesBackFromAMiddlePieceInsideIt)
{
    // Both breaks inside the one data chunk: its CRC is checked over the three pieces, the middle
    // one of one cluster or two, with random bytes or another PNG's data around it.
    const fx::Bytes png = WithOneDataChunk(fx::EncodePng(fx::MakeScene(640, 480, 2)));
    const fx::Bytes other = WithOneDataChunk(Picture());
    for (const std::uint64_t middle : {kCluster, 2 * kCluster}) {
        for (const bool otherBetween : {false, true}) {
            SCOPED_TRACE(std::to_string(middle) + (otherBetween ? ", another PNG's data between" : ", random between"));
            const std::uint64_t cut = ClusterCut(0.3, png.size());
            fx::Bytes gap = Filled(5 * kCluster, 1, 21);
            if (otherBetween)
                std::copy_n(other.begin() + 4000, std::min<std::size_t>(gap.size(), other.size() - 4000), gap.begin());
            fx::Bytes volume = NoiseVolume(3 << 20);
            const auto pieces = LayInPieces(volume, png, {cut, middle}, {gap, Filled(3 * kCluster, 1, 22)});
            ExpectReassembledFrom(volume, pieces);
        }
    }
}

namespace {

// The longest run of zero bytes in `bytes`.
std::size_t LongestZeroRun(const fx::Bytes& bytes)
{
    std::size_t longest = 0, run = 0;
    for (const unsigned char b : bytes) {
        run = b == 0 ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

}  // namespace

TEST(FragmentReassembly, JpegsOfEveryKindComeBackWholeWhereverTheyBreak)
{
    // A picture whose top two thirds are one flat colour: coded with tables made for it, a flat area's
    // shortest codes are zeros, and its data holds long runs of zero bytes that are no gap.
    fx::RgbImage flatSky = fx::MakeScene(1024, 768, 6);
    std::fill(flatSky.pixels.begin(), flatSky.pixels.begin() + 1024 * 512 * 3, static_cast<unsigned char>(128));
    struct Case {
        const char* what;
        std::array<int, 2> sampling;
        bool grey, optimised;
        int restart;
        double cut;  // where it breaks, as a share of the file
        int gapKind;
    };
    const Case cases[] = {
        {"4:4:4 optimised, flat area, zeros between", {1, 1}, false, true, 0, 0.6, 0},
        {"4:4:4 optimised, flat area, random between", {1, 1}, false, true, 0, 0.5, 1},
        {"4:1:1 with restarts, broken in the first row", {4, 1}, false, false, 5, 0.0, 1},
        {"4:2:2 broken in the first row, zeros between", {2, 1}, false, false, 0, 0.0, 0},
        {"grey optimised with restarts, broken near the end", {1, 1}, true, true, 40, 0.93, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fx::JpegOptions options;
        options.quality = 95;
        options.lumaSampling = c.sampling;
        options.grayscale = c.grey;
        options.optimizeCoding = c.optimised;
        options.restartInterval = c.restart;
        const fx::Bytes photo = fx::EncodeJpeg(flatSky, options);
        if (c.optimised && !c.grey) {
            ASSERT_GE(LongestZeroRun(photo), 64u);  // the flat area's zeros are there to read through
        }
        MemoryByteSource whole(photo);
        const std::uint64_t firstDataCluster = (ReadJpegScanLayout(whole)->scanDataStart / kCluster + 1) * kCluster;
        const std::uint64_t cut = std::max(firstDataCluster, ClusterCut(c.cut, photo.size()));
        fx::Bytes volume = NoiseVolume(4 << 20);
        const auto pieces = LayInPieces(volume, photo, {cut}, {Filled(9 * kCluster, c.gapKind, 3)});
        ExactScan run;
        Scan(run, volume);
        const std::uint64_t index = run.IndexAt(kFileStart);
        EXPECT_EQ(run.catalogue.VerdictAt(index), Verdict::Reassembled);
        EXPECT_EQ(run.catalogue.PiecesAt(index), pieces);
        EXPECT_EQ(BytesOf(volume, run.catalogue, index), photo);
    }
}

TEST(FragmentReassembly, AJointWhereThePictureItselfChangesIsProvenByTheFilesEndOrItsRestartMarkers)
{
    // White above, a scene below, and the break in the scene's first row: the right continuation
    // stands as far apart from the white rows above as another photo's data does. Random bytes
    // and another photo's data (the same tables) lie between.
    const fx::Bytes& other = Photo(5);
    for (const int restart : {0, 32}) {
        SCOPED_TRACE(restart == 0 ? "two pieces, no restart markers" : "three pieces, restart markers every half row");
        fx::JpegOptions options;
        options.quality = 92;
        options.restartInterval = restart;
        // The white rows' height that puts the scene's first row of MCUs just before a cluster
        // boundary.
        fx::Bytes photo;
        std::uint64_t cut = 0;
        for (int whiteRows = 8; whiteRows < 40 && cut == 0; ++whiteRows) {
            fx::RgbImage halves = fx::MakeScene(1024, 768, 2);
            std::fill_n(halves.pixels.begin(), 1024 * 16 * whiteRows * 3, static_cast<unsigned char>(255));
            photo = fx::EncodeJpeg(halves, options);
            MemoryByteSource file(photo);
            const auto layout = ReadJpegScanLayout(file);
            ASSERT_TRUE(layout);
            JpegEntropyDecoder decoder(*layout, file);
            while (decoder.Current().mcu < static_cast<std::uint64_t>(whiteRows) * layout->mcusPerLine)
                ASSERT_EQ(decoder.Next(), JpegEntropyDecoder::Step::Decoded);
            if (kCluster - decoder.Current().position % kCluster < 256)
                cut = (decoder.Current().position / kCluster + 1) * kCluster;
        }
        ASSERT_NE(cut, 0u);
        fx::Bytes gap = Filled(12 * kCluster, 1, 31);
        std::copy_n(other.begin() + 20000, std::min<std::size_t>(8 * kCluster, other.size() - 20000), gap.begin() + 4 * kCluster);
        std::vector<std::uint64_t> cuts = {cut};
        std::vector<fx::Bytes> gaps = {gap};
        if (restart != 0) {
            // A middle piece of one cluster: no continuation of it runs to the file's end.
            cuts.push_back(kCluster);
            gaps.push_back(Filled(5 * kCluster, 1, 32));
        }
        fx::Bytes volume = NoiseVolume(4 << 20);
        const auto pieces = LayInPieces(volume, photo, cuts, gaps);
        ExpectReassembledFrom(volume, pieces);
    }
}

TEST(FragmentReassembly, AProgressiveJpegComesBackWholeWhicheverScanItBreaksIn)
{
    fx::JpegOptions options;
    options.quality = 90;
    options.progressive = true;
    for (const std::array<int, 2> sampling : {std::array<int, 2>{2, 2}, std::array<int, 2>{1, 1}}) {
        options.lumaSampling = sampling;
        const fx::Bytes photo = fx::EncodeJpeg(fx::MakeScene(1024, 768, 7), options);
        // Breaks in the first scans (the DC values, the first AC bands) and in the refinements
        // at the end of the file.
        for (const double share : {0.05, 0.3, 0.6, 0.9}) {
            SCOPED_TRACE(std::to_string(sampling[0]) + "x" + std::to_string(sampling[1]) + " cut at " + std::to_string(share));
            fx::Bytes volume = NoiseVolume(4 << 20);
            const auto pieces = LayInPieces(volume, photo, {ClusterCut(share, photo.size())}, {Filled(7 * kCluster, 1, 11)});
            ExpectReassembledFrom(volume, pieces);
        }
    }
}

TEST(FragmentReassembly, AProgressiveJpegsMiddlePieceIsTakenWhenItAloneDecodesItsClustersWhole)
{
    // Three pieces near the file's end, the middle one of a cluster or two and the last shorter
    // than a cluster: no continuation makes the scan decode to its end, the middle piece alone
    // decodes its clusters whole and breaks off after them, and the break after it is searched
    // the same way.
    // A grainy picture: the last scan (the luminance's refinement) runs over several clusters.
    fx::RgbImage grainy = fx::MakeScene(800, 600, 7);
    std::mt19937 random(9);
    for (unsigned char& p : grainy.pixels)
        p = static_cast<unsigned char>(std::clamp<int>(p + static_cast<int>(random() % 32) - 16, 0, 255));
    fx::JpegOptions options;
    options.quality = 95;
    options.progressive = true;
    options.lumaSampling = {1, 1};
    const fx::Bytes photo = fx::EncodeJpeg(grainy, options);
    for (const std::uint64_t middle : {kCluster, 2 * kCluster}) {
        SCOPED_TRACE("middle piece of " + std::to_string(middle));
        const std::uint64_t first = photo.size() / kCluster * kCluster - middle;
        fx::Bytes volume = NoiseVolume(4 << 20);
        const auto pieces = LayInPieces(volume, photo, {first, middle}, {Filled(7 * kCluster, 1, 12), Filled(3 * kCluster, 0)});
        ExpectReassembledFrom(volume, pieces);
    }
}

TEST(FragmentReassembly, APieceStoredBeforeTheFilesStartIsFoundThere)
{
    // The file system put the second piece into an earlier hole: second piece, a gap, the first.
    // A gap of text repeats one cluster over and over: clusters alike are never a continuation.
    const fx::Bytes text = [] {
        const std::string line = "Notes left on the card by an earlier owner. ";
        fx::Bytes bytes;
        while (bytes.size() < 6 * kCluster)
            bytes.insert(bytes.end(), line.begin(), line.end());
        bytes.resize(6 * kCluster);
        for (std::uint64_t c = 1; c < 6; ++c)
            std::copy_n(bytes.begin(), kCluster, bytes.begin() + static_cast<std::ptrdiff_t>(c * kCluster));
        return bytes;
    }();
    for (const bool png : {false, true}) {
        for (const bool textBetween : {false, true}) {
            SCOPED_TRACE(std::string(png ? "PNG" : "JPEG") + (textBetween ? ", text between" : ", random between"));
            const fx::Bytes& file = png ? Picture() : Photo(4);
            const std::uint64_t cut = ClusterCut(0.4, file.size());
            const std::uint64_t secondLength = file.size() - cut;
            const std::uint64_t secondAt = kFileStart;
            const fx::Bytes gap = textBetween ? text : Filled(6 * kCluster, 1, 5);
            const std::uint64_t firstAt = secondAt + (secondLength + kCluster - 1) / kCluster * kCluster + gap.size();
            fx::Bytes volume = NoiseVolume(3 << 20);
            std::copy(file.begin() + static_cast<std::ptrdiff_t>(cut), file.end(),
                      volume.begin() + static_cast<std::ptrdiff_t>(secondAt));
            std::copy(gap.begin(), gap.end(), volume.begin() + static_cast<std::ptrdiff_t>(firstAt - gap.size()));
            std::copy_n(file.begin(), cut, volume.begin() + static_cast<std::ptrdiff_t>(firstAt));
            ExactScan run;
            Scan(run, volume);
            const std::uint64_t index = run.IndexAt(firstAt);
            EXPECT_EQ(run.catalogue.VerdictAt(index), Verdict::Reassembled);
            EXPECT_EQ(run.catalogue.PiecesAt(index), (std::vector<ByteRange>{{firstAt, cut}, {secondAt, secondLength}}));
            EXPECT_EQ(BytesOf(volume, run.catalogue, index), file);
        }
    }
}

TEST(FragmentReassembly, AnotherWholePhotoBetweenThePiecesIsNeverTakenForTheContinuation)
{
    // The classic wrong join: right after the break lies another photo, whole, with the same
    // tables; the photo's own second piece comes after it.
    const fx::Bytes& photo = Photo();
    const fx::Bytes& between = Photo(6);
    const std::uint64_t betweenBytes = (between.size() + kCluster - 1) / kCluster * kCluster;
    fx::Bytes gap = Filled(betweenBytes, 1);
    std::copy(between.begin(), between.end(), gap.begin());
    fx::Bytes volume = NoiseVolume(4 << 20);
    const auto pieces = LayInPieces(volume, photo, {ClusterCut(0.5, photo.size())}, {gap});
    ExactScan run;
    Scan(run, volume);
    const std::uint64_t index = run.IndexAt(kFileStart);
    EXPECT_EQ(run.catalogue.VerdictAt(index), Verdict::Reassembled);
    EXPECT_EQ(run.catalogue.PiecesAt(index), pieces);
    EXPECT_EQ(run.catalogue.VerdictAt(run.IndexAt(pieces[0].offset + pieces[0].length)), Verdict::Complete);

    // Without its own continuation, the photo stays damaged: another photo's data (the same
    // tables, from the middle of its scan) where the rest should be is not taken for it.
    fx::Bytes lost = NoiseVolume(4 << 20);
    const fx::Bytes& stranger = Photo(7);
    fx::Bytes strangerData(stranger.begin() + 30000, stranger.end());
    LayInPieces(lost, photo, {ClusterCut(0.5, photo.size())}, {strangerData});
    ExactScan alone;
    Scan(alone, lost);
    EXPECT_EQ(alone.catalogue.VerdictAt(alone.IndexAt(kFileStart)), Verdict::Damaged);

    // A PNG whose continuation lies twice on the card: two joins fit, neither is taken.
    const fx::Bytes& png = Picture();
    const std::uint64_t cut = ClusterCut(0.5, png.size());
    fx::Bytes twice = NoiseVolume(2 << 20);
    const fx::Bytes rest(png.begin() + static_cast<std::ptrdiff_t>(cut), png.end());
    fx::Bytes gap2 = Filled((rest.size() / kCluster + 2) * kCluster, 1);
    std::copy(rest.begin(), rest.end(), gap2.begin() + kCluster);
    LayInPieces(twice, png, {cut}, {gap2});
    ExactScan ambiguous;
    Scan(ambiguous, twice);
    EXPECT_EQ(ambiguous.catalogue.VerdictAt(ambiguous.IndexAt(kFileStart)), Verdict::Damaged);
}

TEST(FragmentReassembly, TheSearchKeepsToItsTimeAndStopsWhenAsked)
{
    const fx::Bytes& photo = Photo();
    fx::Bytes volume = NoiseVolume(16 << 20);
    LayInPieces(volume, photo, {ClusterCut(0.5, photo.size())}, {Filled(64 * kCluster, 1)});
    ReassemblyLimits off;
    off.enabled = false;
    ExactScan found;
    Scan(found, volume, off);
    const std::uint64_t index = found.IndexAt(kFileStart);
    ASSERT_EQ(found.catalogue.VerdictAt(index), Verdict::Damaged);
    EXPECT_TRUE(found.observer.reassemblyProgress.empty());

    // The reads go to a source the test keeps, to see what the search read.
    auto source = std::make_shared<MemoryVolumeSource>(volume);
    struct Kept : VolumeSource {
        std::shared_ptr<MemoryVolumeSource> inner;
        std::uint64_t SizeBytes() const override { return inner->SizeBytes(); }
        ReadOutcome ReadAt(std::uint64_t offset, std::span<unsigned char> into) override { return inner->ReadAt(offset, into); }
    };
    VolumeReader reader;
    ASSERT_TRUE(reader
                    .Open([source] {
                        VolumeOpenResult result;
                        auto kept = std::make_unique<Kept>();
                        kept->inner = source;
                        result.source = std::move(kept);
                        return result;
                    })
                    .ok());
    const auto run = [&](const ReassemblyLimits& limits, const std::atomic<int>* stop) {
        FoundFileCatalogue catalogue = found.catalogue;
        std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
        const ReassemblyReport report = ReassembleFragments(reader, catalogue, limits, stop,
                                                            [&](std::uint64_t a, std::uint64_t b) { progress.emplace_back(a, b); });
        return std::tuple(report, catalogue.VerdictAt(index), progress);
    };
    ReassemblyLimits noTime;
    noTime.perFile = std::chrono::milliseconds(0);
    auto [report, verdict, progress] = run(noTime, nullptr);
    EXPECT_EQ(report.tried, 1u);
    EXPECT_EQ(report.timedOut, 1u);
    EXPECT_EQ(verdict, Verdict::Damaged);

    ReassemblyLimits noTotal;
    noTotal.total = std::chrono::milliseconds(0);
    std::tie(report, verdict, progress) = run(noTotal, nullptr);
    EXPECT_TRUE(report.outOfTime);
    EXPECT_EQ(report.tried, 0u);

    std::atomic<int> stop{1};
    std::tie(report, verdict, progress) = run({}, &stop);
    EXPECT_TRUE(report.stopped);
    EXPECT_EQ(verdict, Verdict::Damaged);
    EXPECT_EQ(progress, (std::vector<std::pair<std::uint64_t, std::uint64_t>>{{0, 1}}));

    const std::size_t readsBefore = source->Reads().size();
    std::tie(report, verdict, progress) = run({}, nullptr);
    EXPECT_EQ(report.reassembled, 1u);
    // Only the photo and the area searched after its break are read, not the whole volume.
    std::uint64_t bytesRead = 0;
    for (std::size_t r = readsBefore; r < source->Reads().size(); ++r) {
        const auto& read = source->Reads()[r];
        EXPECT_LT(read.offset, kFileStart + photo.size() + 64 * kCluster + ReassemblyLimits{}.searchBytes + 65536);
        bytesRead += read.length;
    }
    EXPECT_LT(bytesRead, photo.size() + ReassemblyLimits{}.searchBytes + (1u << 20));
    EXPECT_EQ(verdict, Verdict::Reassembled);
    EXPECT_EQ(progress, (std::vector<std::pair<std::uint64_t, std::uint64_t>>{{0, 1}, {1, 1}}));

    // A stop asked for during the scan leaves the search out: the scan ends as stopped.
    ExactScan stopped;
    ScanEngine engine(stopped.catalogue, stopped.observer);
    engine.RequestStop();
    engine.Run(OpenerOf(volume), SelectedTypes::AllTypes("Found", 20480, RecoveryMode::Exact),
                             RecoveryMode::Exact);
    EXPECT_EQ(stopped.catalogue.CountOfVerdict(Verdict::Reassembled), 0u);
}

TEST(FragmentReassembly, AReassembledFilesPiecesSurviveASessionAndAreCheckedWhenRead)
{
    const fx::Bytes& photo = Photo();
    fx::Bytes volume = NoiseVolume(4 << 20);
    const auto pieces = LayInPieces(volume, photo, {ClusterCut(0.3, photo.size())}, {Filled(9 * kCluster, 1)});
    ExactScan run;
    Scan(run, volume);
    const std::uint64_t index = run.IndexAt(kFileStart);
    ASSERT_EQ(run.catalogue.VerdictAt(index), Verdict::Reassembled);
    EXPECT_EQ(run.catalogue.EntryAt(index).fragments, pieces);
    EXPECT_EQ(run.catalogue.LengthAt(index), photo.size());

    SourceIdentity source;
    source.path = "card.img";
    source.sizeBytes = volume.size();
    ScanCheckpoint checkpoint;
    checkpoint.finished = true;
    checkpoint.nextSector = volume.size() / kSectorSize;
    const std::vector<unsigned char> bytes = SessionBytes(source, run.catalogue, checkpoint);
    ScanSession session;
    ASSERT_EQ(ParseSession(bytes, session).problem, SessionProblem::None) << ParseSession(bytes, session).reason;
    EXPECT_EQ(session.catalogue.VerdictAt(index), Verdict::Reassembled);
    EXPECT_EQ(session.catalogue.PiecesAt(index), pieces);

    // Pieces that do not start at the file, or are too few, are refused as they are set.
    FoundFileCatalogue catalogue = run.catalogue;
    EXPECT_FALSE(catalogue.SetReassembled(0 == index ? 1 : 0, pieces));
    EXPECT_FALSE(catalogue.SetReassembled(index, {pieces[0]}));
    EXPECT_FALSE(catalogue.SetReassembled(index, {{pieces[0].offset + 512, 10}, pieces[1]}));
}

namespace {

// A short clip coded by x264, with its index first or last: two noisy scenes in turn, one key
// frame and then predicted frames of a few clusters each; or with `bFrames`, a camera's slow pan
// over one scene, bidirectional frames between the predicted ones.
const fx::Bytes& Clip(bool indexFirst, int bFrames = 0, int frames = 6)
{
    static std::map<std::tuple<bool, int, int>, fx::Bytes> clips;
    fx::Bytes& clip = clips[{indexFirst, bFrames, frames}];
    if (clip.empty()) {
        fx::MovieOptions options;
        options.codec = "h264";
        options.sound = false;
        options.moovFirst = indexFirst;
        options.bFrames = bFrames;
        std::mt19937 random(3);
        const fx::RgbImage panned = fx::MakeScene(640 + 2 * frames, 480, 4);
        for (int f = 0; f < frames; ++f) {
            fx::RgbImage frame = fx::MakeScene(640, 480, 2 + f % 2);
            if (bFrames > 0)
                for (int y = 0; y < 480; ++y)
                    std::copy_n(panned.pixels.begin() + (static_cast<std::ptrdiff_t>(y) * panned.width + 2 * f) * 3, 640 * 3,
                                frame.pixels.begin() + static_cast<std::ptrdiff_t>(y) * 640 * 3);
            const int noise = bFrames > 0 ? 12 : 32;
            for (unsigned char& p : frame.pixels)
                p = static_cast<unsigned char>(std::clamp<int>(p + static_cast<int>(random() % (2 * noise)) - noise, 0, 255));
            options.frames.push_back(std::move(frame));
        }
        clip = fx::EncodeMovie(options);
    }
    return clip;
}

// A movie of made-up NAL units a few hundred bytes each, its index last.
fx::Bytes SmallSampleMovie(int samples)
{
    fx::MovieOptions options;
    options.codec = "avc1";
    options.samples = samples;
    options.sound = false;
    options.moovFirst = false;
    return fx::EncodeMovie(options);
}

MovieTables TablesOf(const fx::Bytes& movie)
{
    MemoryByteSource source(movie);
    const std::size_t moov = std::search(movie.begin(), movie.end(), std::begin("moov"), std::end("moov") - 1) - movie.begin();
    auto tables = ReadMovieTables(source, moov - 4);
    EXPECT_TRUE(tables.has_value());
    return tables.value_or(MovieTables{});
}

// The file laid in pieces on a noise volume is searched; `whole` says whether it must come back
// byte-exact (else it must stay damaged).
void ExpectMended(const fx::Bytes& volume, std::uint64_t fileAt, const fx::Bytes& file, bool whole)
{
    ExactScan run;
    Scan(run, volume);
    const std::uint64_t index = run.IndexAt(fileAt);
    if (!whole) {
        EXPECT_EQ(run.catalogue.VerdictAt(index), Verdict::Damaged);
        return;
    }
    ASSERT_EQ(run.catalogue.VerdictAt(index), Verdict::Reassembled);
    EXPECT_EQ(BytesOf(volume, run.catalogue, index), file);
}

}  // namespace

TEST(MovieReassembly, AMovieComesBackByItsTablesAfterItsBreakBeforeItOrAcrossItsIndex)
{
    // Samples of a few hundred bytes: between the last unit in place and the first out of place
    // there is one piece end, and the index last is found on the grid where the data's end puts it.
    const fx::Bytes movie = SmallSampleMovie(90);
    const std::uint64_t cut = ClusterCut(0.5, movie.size());
    {
        SCOPED_TRACE("random bytes between");
        fx::Bytes volume = NoiseVolume(2 << 20);
        LayInPieces(volume, movie, {cut}, {Filled(5 * kCluster, 1, 8)});
        ExpectMended(volume, kFileStart, movie, true);
    }
    {
        SCOPED_TRACE("the second piece stored before the first");
        fx::Bytes volume = NoiseVolume(2 << 20);
        const std::uint64_t secondAt = kFileStart, firstAt = secondAt + (movie.size() - cut + kCluster - 1) / kCluster * kCluster + 3 * kCluster;
        std::copy(movie.begin() + static_cast<std::ptrdiff_t>(cut), movie.end(), volume.begin() + static_cast<std::ptrdiff_t>(secondAt));
        std::fill_n(volume.begin() + static_cast<std::ptrdiff_t>(firstAt - 3 * kCluster), 3 * kCluster, 0);
        std::copy_n(movie.begin(), cut, volume.begin() + static_cast<std::ptrdiff_t>(firstAt));
        ExpectMended(volume, firstAt, movie, true);
    }
    {
        SCOPED_TRACE("the index broken off");
        const fx::Bytes many = SmallSampleMovie(1500);
        const std::size_t moov = std::search(many.begin(), many.end(), std::begin("moov"), std::end("moov") - 1) - many.begin();
        // Broken at its second cluster: the break is where the index read whole, and nowhere before.
        const std::uint64_t inIndex = (moov / kCluster + 2) * kCluster;
        ASSERT_LT(inIndex + 64, many.size());
        fx::Bytes volume = NoiseVolume(4 << 20);
        LayInPieces(volume, many, {inIndex}, {Filled(2 * kCluster, 1, 9)});
        ExpectMended(volume, kFileStart, many, true);
    }
}

TEST(MovieReassembly, ABreakInsideAFrameIsPlacedByDecodingAndMapsThatLieAreRefused)
{
    const fx::Bytes& clip = Clip(true);
    const MovieTables tables = TablesOf(clip);
    ASSERT_EQ(tables.samples.size(), 6u);
    // Inside a predicted frame of several clusters: the piece end is told by the frame's decode.
    const MovieSample& frame = tables.samples[3];
    ASSERT_GT(frame.size, 3 * kCluster);
    const std::uint64_t cut = (frame.offset / kCluster + 2) * kCluster;
    {
        SCOPED_TRACE("random bytes between");
        fx::Bytes volume = NoiseVolume(2 << 20);
        LayInPieces(volume, clip, {cut}, {Filled(7 * kCluster, 1, 4)});
        ExpectMended(volume, kFileStart, clip, true);
    }
    {
        SCOPED_TRACE("a middle piece of one cluster after text, random bytes after it");
        fx::Bytes text(kCluster);
        for (std::size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<unsigned char>("Holiday notes, day two. "[i % 24]);
        fx::Bytes volume = NoiseVolume(2 << 20);
        LayInPieces(volume, clip, {cut, kCluster}, {text, Filled(3 * kCluster, 1, 6)});
        ExpectMended(volume, kFileStart, clip, true);
    }
    {
        SCOPED_TRACE("its continuation lost");
        fx::Bytes volume = NoiseVolume(2 << 20);
        const fx::Bytes head(clip.begin(), clip.begin() + static_cast<std::ptrdiff_t>(cut));
        LayInPieces(volume, head, {}, {});
        ExpectMended(volume, kFileStart, clip, false);
    }
    // A map that lies: a sample size one byte off, so the units of that frame do not chain.
    {
        SCOPED_TRACE("a sample size that lies");
        fx::Bytes lying = clip;
        const std::size_t stsz = std::search(lying.begin(), lying.end(), std::begin("stsz"), std::end("stsz") - 1) - lying.begin();
        const std::size_t entry = stsz + 16 + 4 * 4;  // the fifth sample's size
        ++lying[entry + 3];
        fx::Bytes volume = NoiseVolume(2 << 20);
        LayInPieces(volume, lying, {cut}, {Filled(7 * kCluster, 1, 4)});
        ExpectMended(volume, kFileStart, lying, false);
    }
    // A map that points outside the volume: the last chunk's offset past the volume's end.
    {
        SCOPED_TRACE("a chunk past the volume's end");
        fx::Bytes outside = clip;
        const std::size_t stco = std::search(outside.begin(), outside.end(), std::begin("stco"), std::end("stco") - 1) - outside.begin();
        const std::size_t last = stco + 8 + 4 * tables.samples.size();
        for (int i = 0; i < 4; ++i)
            outside[last + static_cast<std::size_t>(i)] = 0x7F;
        fx::Bytes volume = NoiseVolume(2 << 20);
        LayInPieces(volume, outside, {cut}, {Filled(7 * kCluster, 1, 4)});
        ExpectMended(volume, kFileStart, outside, false);
    }
}

TEST(MovieReassembly, AMiddlePieceThatHoldsOneUnitIsToldFromACopyOfItsStartByWhatFollowsIt)
{
    // The middle piece, one cluster, holds the start of a frame; the next frame begins in the
    // third piece. Between the first piece and the middle one lies a cluster that begins as the
    // middle piece does (the frame's head in the same place) and goes on otherwise: there the
    // frame holds as well, and only what follows tells the two apart.
    const fx::Bytes& clip = Clip(true);
    const MovieTables tables = TablesOf(clip);
    const auto frame = std::find_if(tables.samples.begin() + 2, tables.samples.end(), [](const MovieSample& sample) {
        return sample.offset % kCluster + 64 < kCluster && sample.offset % kCluster > 64;
    });
    ASSERT_NE(frame, tables.samples.end());
    const std::uint64_t cut = frame->offset / kCluster * kCluster;
    ASSERT_GT(frame->offset + frame->size, cut + kCluster);  // the next frame lies in the third piece
    fx::Bytes gap = Filled(6 * kCluster, 1, 41);
    const std::uint64_t head = frame->offset - cut + 32;  // the middle piece's bytes the copy begins with
    std::copy_n(clip.begin() + static_cast<std::ptrdiff_t>(cut), head, gap.begin() + 2 * kCluster);
    fx::Bytes volume = NoiseVolume(2 << 20);
    LayInPieces(volume, clip, {cut, kCluster}, {gap, Filled(4 * kCluster, 1, 42)});
    ExpectMended(volume, kFileStart, clip, true);
}

TEST(MovieReassembly, ASampleDecodedIsCleanBrokenOrUnprovenWhenItGivesNoPicture)
{
    const fx::Bytes& clip = Clip(false, 3, 20);
    const MovieTables tables = TablesOf(clip);
    ASSERT_GE(tables.samples.size(), 8u);
    const auto bytesOf = [&](std::size_t i) {
        const MovieSample& sample = tables.samples[i];
        return fx::Bytes(clip.begin() + static_cast<std::ptrdiff_t>(sample.offset),
                         clip.begin() + static_cast<std::ptrdiff_t>(sample.offset + sample.size));
    };
    const SampleDecoding decoding(tables.tracks[0]);
    ASSERT_TRUE(decoding.CanDecode());
    using Check = SampleDecoding::Check;
    EXPECT_EQ(decoding.Decode({bytesOf(0), bytesOf(1), bytesOf(2)}), Check::Clean);
    // A predicted frame without the frames it is predicted from gives no picture: it proves nothing.
    EXPECT_EQ(decoding.Decode({bytesOf(5)}), Check::Unproven);
    // The key frame and a later frame, those between left out, decode (the eleventh frame is one
    // whose references the ones left out would have set); with other bytes inside the later one
    // they do not.
    EXPECT_EQ(decoding.Decode({bytesOf(0), bytesOf(5)}, true), Check::Clean);
    EXPECT_EQ(decoding.Decode({bytesOf(0), bytesOf(10)}, true), Check::Clean);
    fx::Bytes broken = bytesOf(5);
    const fx::Bytes noise = Filled(broken.size() / 3, 1, 17);
    std::copy(noise.begin(), noise.end(), broken.begin() + static_cast<std::ptrdiff_t>(broken.size() / 3));
    EXPECT_EQ(decoding.Decode({bytesOf(0), broken}, true), Check::Broken);
}

TEST(MovieReassembly, ABreakFarFromTheKeyFrameIsPlacedByDecodingWhateverLiesBeforeTheContinuation)
{
    // Bidirectional frames, as cameras code them: the frames between the key frame and those
    // across the break are left out of the decode, and what they would have given is missing,
    // which is no error; the bytes across the break are.
    const fx::Bytes& clip = Clip(false, 3, 20);
    const MovieTables tables = TablesOf(clip);
    // A frame far from the key frame that holds two grid points: the break at the second.
    const auto secondGridPoint = [](const MovieSample& sample) { return (sample.offset / kCluster + 2) * kCluster; };
    const auto frame = std::find_if(tables.samples.begin() + 6, tables.samples.end(), [&](const MovieSample& sample) {
        return secondGridPoint(sample) + 16 < sample.offset + sample.size;
    });
    ASSERT_NE(frame, tables.samples.end());
    const std::uint64_t cut = secondGridPoint(*frame);
    {
        SCOPED_TRACE("random bytes between");
        fx::Bytes volume = NoiseVolume(2 << 20);
        LayInPieces(volume, clip, {cut}, {Filled(7 * kCluster, 1, 4)});
        ExpectMended(volume, kFileStart, clip, true);
    }
    {
        // Where the continuation would begin for a break a cluster earlier lies a photo
        // recovered whole: the piece end is still found among those after it.
        SCOPED_TRACE("a whole photo right before the continuation");
        fx::JpegOptions small;
        small.quality = 60;
        const fx::Bytes photo = fx::EncodeJpeg(fx::MakeScene(64, 48, 1), small);
        ASSERT_LE(photo.size(), kCluster);
        fx::Bytes gap = Filled(7 * kCluster, 1, 4);
        std::copy(photo.begin(), photo.end(), gap.end() - static_cast<std::ptrdiff_t>(kCluster));
        fx::Bytes volume = NoiseVolume(2 << 20);
        LayInPieces(volume, clip, {cut}, {gap});
        ExpectMended(volume, kFileStart, clip, true);
    }
}

TEST(HeifReassembly, AHeicComesBackAcrossClustersForeignToItsDataAndStaysDamagedAcrossRandomBytes)
{
    // As a phone writes it: the picture and an Exif item (a TIFF block), which is no coded data.
    const fx::Bytes exif = {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const fx::Bytes heic = fx::EncodeHeic(fx::MakeScene(640, 480, 6), 85, exif);
    ASSERT_GT(heic.size(), 5 * kCluster);
    const std::uint64_t cut = ClusterCut(0.5, heic.size());
    fx::Bytes text(3 * kCluster);
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<unsigned char>("Shopping list: bread, milk. "[i % 28]);
    const std::vector<std::pair<std::string, fx::Bytes>> gaps = {
        {"zeros", fx::Bytes(4 * kCluster, 0)}, {"text", text}, {"random bytes", Filled(4 * kCluster, 1, 12)}};
    for (const auto& [what, gap] : gaps) {
        SCOPED_TRACE(what);
        fx::Bytes volume = NoiseVolume(1 << 20);
        LayInPieces(volume, heic, {cut}, {gap});
        ExpectMended(volume, kFileStart, heic, what != "random bytes");
    }
    {
        SCOPED_TRACE("three pieces, the middle one of one cluster between text and zeros");
        fx::Bytes volume = NoiseVolume(1 << 20);
        LayInPieces(volume, heic, {ClusterCut(0.3, heic.size()), kCluster}, {gaps[1].second, gaps[0].second});
        ExpectMended(volume, kFileStart, heic, true);
    }
}

TEST(FragmentReassembly, TwoPhotosInPiecesIntertwinedBothComeBack)
{
    // Right after the first photo's first piece lies the second photo's first piece, coded with the
    // same tables; the first photo's own second piece comes after it, the second's further on.
    // Neither is taken for the other's continuation.
    const fx::Bytes& first = Photo(1);
    const fx::Bytes& second = Photo(6);
    const std::uint64_t firstCut = ClusterCut(0.5, first.size()), secondCut = ClusterCut(0.6, second.size());
    fx::Bytes volume = NoiseVolume(4 << 20);
    const std::uint64_t secondAt = kFileStart + firstCut;
    const std::uint64_t firstRestAt = secondAt + secondCut;
    const std::uint64_t secondRestAt = firstRestAt + (first.size() - firstCut + kCluster - 1) / kCluster * kCluster + 8 * kCluster;
    std::copy_n(first.begin(), firstCut, volume.begin() + static_cast<std::ptrdiff_t>(kFileStart));
    std::copy_n(second.begin(), secondCut, volume.begin() + static_cast<std::ptrdiff_t>(secondAt));
    std::copy(first.begin() + static_cast<std::ptrdiff_t>(firstCut), first.end(), volume.begin() + static_cast<std::ptrdiff_t>(firstRestAt));
    std::copy(second.begin() + static_cast<std::ptrdiff_t>(secondCut), second.end(),
              volume.begin() + static_cast<std::ptrdiff_t>(secondRestAt));
    ExactScan run;
    Scan(run, volume);
    for (const auto& [at, photo] : {std::pair{kFileStart, &first}, std::pair{secondAt, &second}}) {
        const std::uint64_t index = run.IndexAt(at);
        EXPECT_EQ(run.catalogue.VerdictAt(index), Verdict::Reassembled) << at;
        EXPECT_EQ(BytesOf(volume, run.catalogue, index), *photo) << at;
    }
}
