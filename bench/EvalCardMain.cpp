// quorvex-make-eval-card: writes the evaluation cards of the recovery benchmark, deterministically.
//   quorvex-make-eval-card PHOTO_FOLDER OUTPUT_FOLDER [SIZE_MIB]
//   quorvex-make-eval-card PHOTO_FOLDER OUTPUT_FOLDER SIZE_MIB photo-card
// The second is a card as a camera fills it: camera JPEGs of several sizes one after the other on
// a 4 KiB grid, nothing else (the speed of exact recovery on what cards mostly hold).
// PHOTO_FOLDER holds real photographs (JPEG); the card is a FAT32 card with a history: files
// written, some deleted, more written into the gaps (fragmenting those that do not fit), a quick
// format, new files over the old ones, more deletions, and old random data around everything.
// Writes OUTPUT_FOLDER/card.img, OUTPUT_FOLDER/manifest.tsv (one line per file ever written: id,
// token, what it is, session, whether it is still on the card, its length, its pieces, whether
// all its bytes are still its own) and OUTPUT_FOLDER/originals/<id>.<token> (each file's bytes).
#include "CameraFiles.h"
#include "PictureEncoders.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <jpeglib.h>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace quorvex::fixtures;

namespace {

constexpr std::uint64_t kSector = 512;
constexpr std::uint64_t kClusterSectors = 32;  // 16 KiB clusters, as on SD cards of this size
constexpr std::uint64_t kClusterBytes = kClusterSectors * kSector;

// ---- the files

struct CardFile {
    int id = 0;
    std::string token;
    std::string what;
    Bytes bytes;
    int session = 0;
    bool deleted = false;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> clusters;  // runs: first cluster, count
};

class FileMaker {
public:
    FileMaker(std::vector<RgbImage> photos, std::uint32_t seed) : photos_(std::move(photos)), random_(seed) {}

    CardFile Next(int id)
    {
        CardFile file;
        file.id = id;
        const int kind = static_cast<int>(random_() % 100);
        const RgbImage& photo = photos_[random_() % photos_.size()];
        const double zoom = 0.55 + 0.45 * Unit();
        const double x0 = (1 - zoom) * Unit(), y0 = (1 - zoom) * Unit();
        auto crop = [&](int w, int h) { return ShotOf(photo, x0, y0, x0 + zoom, y0 + zoom, w, h); };
        if (kind < 38) {  // a camera or phone JPEG: Exif with a thumbnail
            static const int sizes[][2] = {{2048, 1536}, {1600, 1200}, {2592, 1944}, {1920, 1080}, {1536, 2048}};
            const auto* size = sizes[random_() % 5];
            JpegOptions options;
            options.quality = 88 + static_cast<int>(random_() % 8);
            options.exif = ExifFields{};
            options.exif->make = random_() % 2 ? "Canon" : "SONY";
            options.exif->model = options.exif->make == "Canon" ? "Canon EOS 450D" : "DSC-RX100";
            options.exif->orientation = size[0] < size[1] ? 6 : 1;
            options.restartInterval = random_() % 4 == 0 ? static_cast<int>(size[0] / 16) : 0;
            file.token = "JPG";
            file.what = "camera JPEG " + std::to_string(size[0]) + "x" + std::to_string(size[1]) +
                        (options.restartInterval ? " with restart markers" : "");
            file.bytes = EncodeJpeg(crop(size[0], size[1]), options);
        } else if (kind < 46) {  // edited and saved progressive
            JpegOptions options;
            options.progressive = true;
            options.quality = 80;
            if (random_() % 2)
                options.exif = ExifFields{};
            file.token = "JPG";
            file.what = "progressive JPEG 1280x853";
            file.bytes = EncodeJpeg(crop(1280, 853), options);
        } else if (kind < 50) {
            file.token = "JPG";
            file.what = "multi-picture JPEG 1600x1200 + 640x480";
            file.bytes = EncodeMultiPictureJpeg(crop(1600, 1200), crop(640, 480));
        } else if (kind < 60) {
            const bool large = random_() % 2;
            file.token = "PNG";
            file.what = large ? "PNG 1200x800" : "PNG 320x240";
            file.bytes = random_() % 4 == 0 ? EncodePngInterlaced(large ? crop(1200, 800) : crop(320, 240))
                                            : EncodePng(large ? crop(1200, 800) : crop(320, 240));
        } else if (kind < 66) {
            std::vector<RgbImage> frames;
            const int count = 3 + static_cast<int>(random_() % 4);
            for (int f = 0; f < count; ++f)
                frames.push_back(ShotOf(photo, x0 + 0.02 * f, y0, x0 + zoom * 0.6 + 0.02 * f, y0 + zoom * 0.4, 240, 160));
            file.token = "GIF";
            file.what = "animated GIF 240x160, " + std::to_string(count) + " frames";
            file.bytes = EncodeAnimatedGif(frames);
        } else if (kind < 74) {
            static const BmpHeader headers[] = {BmpHeader::Core12, BmpHeader::Info40, BmpHeader::V4_108,
                                                BmpHeader::V5_124};
            const BmpHeader header = headers[random_() % 4];
            const bool rle = header == BmpHeader::Info40 && random_() % 2;
            file.token = "BMP";
            file.what = std::string(rle ? "RLE8 " : "") + "BMP 640x480";
            file.bytes = EncodeBmpWith(crop(640, 480), header, rle);
        } else if (kind < 80) {
            file.token = "TIF";
            file.what = "multi-page TIFF";
            file.bytes = EncodeMultiPageTiff({crop(800, 600), crop(640, 480), crop(400, 300)}, random_() % 2);
        } else if (kind < 86) {
            file.token = "RIFF";
            if (random_() % 2) {
                file.what = "WAVE 22 kHz, 4 s";
                file.bytes = EncodeWav(22050, 4000, 300 + static_cast<int>(random_() % 500));
            } else {
                std::vector<RgbImage> frames;
                for (int f = 0; f < 12; ++f)
                    frames.push_back(ShotOf(photo, x0 + 0.01 * f, y0, x0 + zoom * 0.8 + 0.01 * f, y0 + zoom * 0.8, 320, 240));
                file.what = "MJPEG AVI 320x240, 12 frames";
                file.bytes = EncodeMjpegAvi(frames, 80);
            }
        } else {
            const bool nikon = random_() % 3 != 0;
            file.token = nikon ? "NEF" : "DCR";
            file.what = nikon ? "NEF-like raw (TIFF, NIKON)" : "DCR-like raw (TIFF, Kodak)";
            file.bytes = EncodeRawLikeTiff(crop(1600, 1064), nikon ? "NIKON CORPORATION" : "EASTMAN KODAK COMPANY",
                                           nikon ? "NIKON D90" : "KODAK EASYSHARE", 3000000 + random_() % 1000000,
                                           nikon ? false : random_() % 2 == 0);
        }
        return file;
    }

    // A file that a card stores in pieces below: a camera JPEG (all of the same quality, so every
    // one's data decodes with another's tables: the wrong join a decoder cannot see by errors
    // alone) or a large PNG.
    CardFile Fragmentable(int id, bool png)
    {
        CardFile file;
        file.id = id;
        const RgbImage& photo = photos_[random_() % photos_.size()];
        const double zoom = 0.5 + 0.5 * Unit();
        const double x0 = (1 - zoom) * Unit(), y0 = (1 - zoom) * Unit();
        if (png) {
            file.token = "PNG";
            file.what = "PNG 1200x800";
            file.bytes = EncodePng(ShotOf(photo, x0, y0, x0 + zoom, y0 + zoom, 1200, 800));
            return file;
        }
        JpegOptions options;
        options.quality = 90;
        options.exif = ExifFields{};
        options.exif->make = "Canon";
        options.exif->model = "Canon EOS 450D";
        options.restartInterval = random_() % 4 == 0 ? 128 : 0;
        file.token = "JPG";
        file.what = std::string("camera JPEG 2048x1536") + (options.restartInterval ? " with restart markers" : "");
        file.bytes = EncodeJpeg(ShotOf(photo, x0, y0, x0 + zoom, y0 + zoom, 2048, 1536), options);
        return file;
    }

    std::mt19937& Random() { return random_; }

private:
    double Unit() { return static_cast<double>(random_() % 10000) / 10000.0; }

    std::vector<RgbImage> photos_;
    std::mt19937 random_;
};

// ---- the card: clusters, allocation, the FAT32 structures

class Card {
public:
    explicit Card(std::uint64_t sizeBytes) : bytes_(sizeBytes)
    {
        // Old data everywhere: what earlier owners of the card left.
        std::uint64_t x = 0x9E3779B97F4A7C15ull;
        auto* words = reinterpret_cast<std::uint64_t*>(bytes_.data());
        for (std::size_t i = 0; i < bytes_.size() / 8; ++i) {
            x ^= x << 13, x ^= x >> 7, x ^= x << 17;
            words[i] = x;
        }
        // Keep the old data from beginning a file by chance at a sector start: real old data is
        // what earlier files left, and those are planted on purpose below.
        for (std::uint64_t s = 0; s < bytes_.size() / kSector; ++s)
            bytes_[s * kSector] = static_cast<unsigned char>(bytes_[s * kSector] % 0x40 + 0x20);
        const std::uint64_t sectors = sizeBytes / kSector;
        fatSectors_ = (sectors / kClusterSectors * 4 + kSector - 1) / kSector;
        dataStart_ = (kReserved + 2 * fatSectors_ + kClusterSectors - 1) / kClusterSectors * kClusterSectors;
        clusterCount_ = (sectors - dataStart_) / kClusterSectors;
        used_.assign(clusterCount_ + 2, false);
        used_[0] = used_[1] = used_[2] = true;
    }

    std::uint64_t ClusterSector(std::uint64_t cluster) const { return dataStart_ + (cluster - 2) * kClusterSectors; }

    // Allocates and writes `file`: next fit from the last allocation (what FAT drivers do by
    // default), or first fit from the start (what they do when the card is nearly full, and what
    // fills the gaps deleted files left). A file that meets a used cluster goes on in the next
    // free one: a fragmented file.
    bool Write(CardFile& file, bool firstFit)
    {
        const std::uint64_t need = (file.bytes.size() + kClusterBytes - 1) / kClusterBytes;
        std::uint64_t cluster = firstFit ? 2 : nextFree_;
        std::uint64_t got = 0;
        file.clusters.clear();
        while (got < need) {
            while (cluster < used_.size() && used_[cluster])
                ++cluster;
            if (cluster >= used_.size())
                return false;
            if (!file.clusters.empty() && file.clusters.back().first + file.clusters.back().second == cluster)
                ++file.clusters.back().second;
            else
                file.clusters.emplace_back(cluster, 1);
            used_[cluster] = true;
            ++got;
            ++cluster;
        }
        nextFree_ = cluster;
        std::uint64_t at = 0;
        for (const auto& [first, count] : file.clusters) {
            const std::uint64_t n = std::min<std::uint64_t>(count * kClusterBytes, file.bytes.size() - at);
            std::memcpy(&bytes_[ClusterSector(first) * kSector], file.bytes.data() + at, n);
            at += n;
        }
        return true;
    }

    // What lies between two pieces of a file: clusters left as they were (zeros, random bytes or
    // another photo's data were there), or another whole file.
    struct Gap {
        Bytes fill;              // whole clusters
        CardFile* file = nullptr;  // written into the gap instead of `fill`
    };

    // Writes `file` in pieces cut at cluster boundaries (`cuts`: the clusters in each piece but
    // the last), with the gaps between them, into the next free run that holds it all.
    bool WriteInPieces(CardFile& file, const std::vector<std::uint64_t>& cuts, std::vector<Gap>& gaps)
    {
        const std::uint64_t need = (file.bytes.size() + kClusterBytes - 1) / kClusterBytes;
        std::uint64_t total = need;
        for (Gap& gap : gaps)
            total += gap.file ? (gap.file->bytes.size() + kClusterBytes - 1) / kClusterBytes : gap.fill.size() / kClusterBytes;
        std::uint64_t first = nextFree_;
        for (std::uint64_t run = 0; run < total; ++first) {
            if (first + total >= used_.size())
                return false;
            for (run = 0; run < total && !used_[first + run]; ++run) {
            }
            if (run == total)
                break;
            first += run;
        }
        std::uint64_t cluster = first, at = 0;
        file.clusters.clear();
        for (std::size_t p = 0; p <= cuts.size(); ++p) {
            const std::uint64_t count = p < cuts.size() ? cuts[p] : need - at / kClusterBytes;
            file.clusters.emplace_back(cluster, count);
            const std::uint64_t n = std::min<std::uint64_t>(count * kClusterBytes, file.bytes.size() - at);
            std::memcpy(&bytes_[ClusterSector(cluster) * kSector], file.bytes.data() + at, n);
            at += n;
            cluster += count;
            if (p == cuts.size())
                break;
            Gap& gap = gaps[p];
            if (gap.file != nullptr) {
                const std::uint64_t c = (gap.file->bytes.size() + kClusterBytes - 1) / kClusterBytes;
                gap.file->clusters = {{cluster, c}};
                std::memcpy(&bytes_[ClusterSector(cluster) * kSector], gap.file->bytes.data(), gap.file->bytes.size());
                cluster += c;
            } else {
                std::memcpy(&bytes_[ClusterSector(cluster) * kSector], gap.fill.data(), gap.fill.size());
                cluster += gap.fill.size() / kClusterBytes;
            }
        }
        std::fill(used_.begin() + static_cast<std::ptrdiff_t>(first), used_.begin() + static_cast<std::ptrdiff_t>(cluster), true);
        nextFree_ = cluster;
        return true;
    }

    void Delete(const CardFile& file)
    {
        for (const auto& [first, count] : file.clusters)
            for (std::uint64_t c = first; c < first + count; ++c)
                used_[c] = false;
    }

    void QuickFormat()
    {
        std::fill(used_.begin() + 3, used_.end(), false);  // cluster 2 holds the new root directory
        nextFree_ = 3;
    }

    // Whether every byte of the file on the card is still its own.
    bool Intact(const CardFile& file) const
    {
        std::uint64_t at = 0;
        for (const auto& [first, count] : file.clusters) {
            const std::uint64_t n = std::min<std::uint64_t>(count * kClusterBytes, file.bytes.size() - at);
            if (std::memcmp(&bytes_[ClusterSector(first) * kSector], file.bytes.data() + at, n) != 0)
                return false;
            at += n;
        }
        return true;
    }

    // The boot sector, FSInfo, both FATs (chains of the files still on the card) and a root
    // directory with their entries.
    void WriteFileSystem(const std::vector<CardFile*>& live)
    {
        std::fill(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(dataStart_ * kSector), 0);
        unsigned char* boot = bytes_.data();
        const unsigned char jump[] = {0xEB, 0x58, 0x90};
        std::memcpy(boot, jump, 3);
        std::memcpy(boot + 3, "MSDOS5.0", 8);
        Put16(boot + 11, kSector);
        boot[13] = static_cast<unsigned char>(kClusterSectors);
        Put16(boot + 14, static_cast<unsigned>(kReserved));
        boot[16] = 2;
        boot[21] = 0xF8;
        Put16(boot + 24, 63);
        Put16(boot + 26, 255);
        Put32(boot + 32, static_cast<std::uint32_t>(bytes_.size() / kSector));
        Put32(boot + 36, static_cast<std::uint32_t>(fatSectors_));
        Put32(boot + 44, 2);  // the root directory's cluster
        Put16(boot + 48, 1);
        Put16(boot + 50, 6);
        boot[64] = 0x80;
        boot[66] = 0x29;
        Put32(boot + 67, 0x51A7C0DE);
        std::memcpy(boot + 71, "NO NAME    FAT32   ", 19);
        boot[510] = 0x55;
        boot[511] = 0xAA;
        unsigned char* info = bytes_.data() + kSector;
        Put32(info, 0x41615252);
        Put32(info + 484, 0x61417272);
        Put32(info + 488, 0xFFFFFFFF);
        Put32(info + 492, 0xFFFFFFFF);
        info[510] = 0x55;
        info[511] = 0xAA;
        std::memcpy(bytes_.data() + 6 * kSector, boot, kSector);  // the backup boot sector

        std::vector<std::uint32_t> fat(clusterCount_ + 2, 0);
        fat[0] = 0x0FFFFFF8, fat[1] = 0x0FFFFFFF, fat[2] = 0x0FFFFFFF;  // cluster 2: the root
        unsigned char* root = &bytes_[ClusterSector(2) * kSector];
        std::memset(root, 0, kClusterBytes);
        std::memcpy(root, "EVALCARD   ", 11);
        root[11] = 0x08;  // volume label
        int entry = 1;
        for (CardFile* file : live) {
            std::vector<std::uint64_t> chain;
            for (const auto& [first, count] : file->clusters)
                for (std::uint64_t c = first; c < first + count; ++c)
                    chain.push_back(c);
            for (std::size_t i = 0; i < chain.size(); ++i)
                fat[chain[i]] = i + 1 < chain.size() ? static_cast<std::uint32_t>(chain[i + 1]) : 0x0FFFFFFF;
            if (entry * 32 >= static_cast<int>(kClusterBytes))
                continue;
            unsigned char* e = root + 32 * entry++;
            char name[12];
            std::snprintf(name, sizeof name, "IMG%05d%-3.3s", file->id, file->token.c_str());
            std::memcpy(e, name, 11);
            e[11] = 0x20;
            Put16(e + 20, static_cast<unsigned>(chain.front() >> 16));
            Put16(e + 26, static_cast<unsigned>(chain.front() & 0xFFFF));
            Put32(e + 28, static_cast<std::uint32_t>(file->bytes.size()));
        }
        for (int copy = 0; copy < 2; ++copy)
            std::memcpy(&bytes_[(kReserved + copy * fatSectors_) * kSector], fat.data(), fat.size() * 4);
    }

    void Save(const fs::path& path) const
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes_.data()), static_cast<std::streamsize>(bytes_.size()));
    }

private:
    static constexpr std::uint64_t kReserved = 32;

    static void Put16(unsigned char* p, unsigned v)
    {
        p[0] = static_cast<unsigned char>(v);
        p[1] = static_cast<unsigned char>(v >> 8);
    }
    static void Put32(unsigned char* p, std::uint32_t v)
    {
        Put16(p, v & 0xFFFF);
        Put16(p + 2, v >> 16);
    }

    Bytes bytes_;
    std::uint64_t fatSectors_ = 0, dataStart_ = 0, clusterCount_ = 0;
    std::vector<bool> used_;
    std::uint64_t nextFree_ = 3;  // cluster 2 holds the root directory
};

// Sensor noise, so that a resampled photograph codes as densely as a camera's own.
void AddNoise(RgbImage& image, std::mt19937& random)
{
    for (unsigned char& value : image.pixels)
        value = static_cast<unsigned char>(std::clamp(static_cast<int>(value) + static_cast<int>(random() % 13) - 6, 0, 255));
}

void WriteManifestLine(std::ofstream& manifest, int id, const std::string& token, const std::string& what,
                       std::uint64_t sector, std::uint64_t length)
{
    manifest << id << '\t' << token << '\t' << what << "\t1\tlive\t" << length << '\t' << sector << ':' << length
             << "\tyes\tyes\n";
}

// A card a camera filled: JPEGs of its sizes, back to back on 4 KiB boundaries, after 1 MiB of
// what a file system keeps at the start.
int MakePhotoCard(std::vector<RgbImage> photos, const fs::path& out, std::uint64_t sizeMib)
{
    constexpr std::uint64_t kGrid = 4096;
    Bytes card(sizeMib << 20);
    std::mt19937 random(20261210);
    for (unsigned char& b : card)
        b = static_cast<unsigned char>(random() % 0x40 + 0x20);
    std::ofstream manifest(out / "manifest.tsv");
    manifest << "# id\ttoken\twhat\tsession\ton_card\tlength\tpieces\tcontiguous\tintact\n";
    static const int sizes[][2] = {{4000, 3000}, {3264, 2448}, {2592, 1944}, {1920, 1080}, {1600, 1200}};
    std::uint64_t at = 1 << 20;
    int id = 0;
    for (;;) {
        const RgbImage& photo = photos[random() % photos.size()];
        const auto* size = sizes[random() % 5];
        auto unit = [&random] { return static_cast<double>(random() % 1000) / 1000.0; };
        const double zoom = 0.6 + 0.4 * unit();
        const double x0 = (1 - zoom) * unit(), y0 = (1 - zoom) * unit();
        RgbImage shot = ShotOf(photo, x0, y0, x0 + zoom, y0 + zoom, size[0], size[1]);
        AddNoise(shot, random);
        JpegOptions options;
        options.quality = 90 + static_cast<int>(random() % 6);
        options.exif = ExifFields{};
        options.exif->make = random() % 2 ? "Canon" : "NIKON CORPORATION";
        options.exif->model = options.exif->make == "Canon" ? "Canon EOS 80D" : "NIKON D7500";
        options.restartInterval = random() % 4 == 0 ? size[0] / 16 : 0;
        const Bytes jpeg = EncodeJpeg(shot, options);
        if (at + jpeg.size() > card.size())
            break;
        std::memcpy(&card[at], jpeg.data(), jpeg.size());
        ++id;
        const std::string what = "camera JPEG " + std::to_string(size[0]) + "x" + std::to_string(size[1]);
        WriteManifestLine(manifest, id, "JPG", what, at / kSector, jpeg.size());
        std::ofstream(out / "originals" / (std::to_string(id) + ".JPG"), std::ios::binary)
            .write(reinterpret_cast<const char*>(jpeg.data()), static_cast<std::streamsize>(jpeg.size()));
        at = (at + jpeg.size() + kGrid - 1) / kGrid * kGrid;
    }
    std::ofstream(out / "card.img", std::ios::binary)
        .write(reinterpret_cast<const char*>(card.data()), static_cast<std::streamsize>(card.size()));
    std::cout << id << " photos written to " << (out / "card.img").string() << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 5 || (argc == 5 && std::string(argv[4]) != "photo-card")) {
        std::cerr << "usage: quorvex-make-eval-card PHOTO_FOLDER OUTPUT_FOLDER [SIZE_MIB [photo-card]]\n";
        return 1;
    }
    std::vector<fs::path> photoPaths;
    for (const auto& entry : fs::directory_iterator(argv[1]))
        if (entry.path().extension() == ".jpg")
            photoPaths.push_back(entry.path());
    std::sort(photoPaths.begin(), photoPaths.end());
    if (photoPaths.empty()) {
        std::cerr << "quorvex-make-eval-card: no photographs (*.jpg) in " << argv[1] << "\n";
        return 1;
    }
    std::vector<RgbImage> photos;
    for (const fs::path& path : photoPaths)
        photos.push_back(DecodeJpegFile(path.string()));
    const fs::path out(argv[2]);
    const std::uint64_t sizeMib = argc >= 4 ? std::stoull(argv[3]) : 1024;
    fs::create_directories(out / "originals");
    if (argc == 5)
        return MakePhotoCard(std::move(photos), out, sizeMib);

    Card card(sizeMib << 20);
    FileMaker maker(std::move(photos), 20261209);
    std::vector<CardFile> files;
    auto write = [&](int session, bool firstFit) {
        CardFile file = maker.Next(static_cast<int>(files.size()) + 1);
        file.session = session;
        if (card.Write(file, firstFit))
            files.push_back(std::move(file));
    };
    auto deleteSome = [&](int session, int everyNth, int offset) {
        for (CardFile& file : files)
            if (file.session == session && !file.deleted && (file.id + offset) % everyNth == 0) {
                card.Delete(file);
                file.deleted = true;
            }
    };
    // Before the format: two sessions of pictures; the second fills the gaps the deletions left.
    for (int i = 0; i < 34; ++i)
        write(1, false);
    deleteSome(1, 3, 0);
    for (int i = 0; i < 16; ++i)
        write(2, true);
    deleteSome(2, 4, 1);
    // The quick format frees everything; new pictures land over the old ones from the start.
    card.QuickFormat();
    for (CardFile& file : files)
        file.deleted = true;
    for (int i = 0; i < 22; ++i)
        write(3, false);
    deleteSome(3, 3, 1);
    for (int i = 0; i < 10; ++i)
        write(4, true);

    // Last, pictures the card stored in pieces, with gaps of one cluster to 2 MiB between them:
    // zeros, random bytes, another photo's data (the same tables), or another whole photo.
    std::mt19937& random = maker.Random();
    for (int i = 0; i < 24; ++i) {
        CardFile file = maker.Fragmentable(static_cast<int>(files.size()) + 1, i % 4 == 3);
        file.session = 5;
        const std::uint64_t need = (file.bytes.size() + kClusterBytes - 1) / kClusterBytes;
        const std::size_t pieces = i % 3 == 2 ? 3 : 2;
        if (need < pieces + 1)
            continue;
        std::vector<std::uint64_t> cuts;
        std::uint64_t left = need;
        for (std::size_t p = 1; p < pieces; ++p) {
            const std::uint64_t cut = 1 + random() % (left - (pieces - p));
            cuts.push_back(cut);
            left -= cut;
        }
        std::vector<Card::Gap> gaps(pieces - 1);
        std::vector<CardFile> inGaps;
        inGaps.reserve(pieces);
        for (std::size_t g = 0; g < gaps.size(); ++g) {
            // From one cluster to 2 MiB, spread evenly over the powers of two between.
            const std::uint64_t clusters =
                std::min<std::uint64_t>((1ull << (random() % 8)) + random() % 2, (2ull << 20) / kClusterBytes);
            const int kind = static_cast<int>((i + g) % 4);
            if (kind == 3) {
                inGaps.push_back(maker.Fragmentable(static_cast<int>(files.size() + inGaps.size()) + 2, false));
                inGaps.back().session = 5;
                inGaps.back().what += ", lies between the pieces of another";
                gaps[g].file = &inGaps.back();
                continue;
            }
            gaps[g].fill.assign(clusters * kClusterBytes, 0);
            if (kind == 1)
                for (unsigned char& b : gaps[g].fill)
                    b = static_cast<unsigned char>(random());
            if (kind == 2) {
                const Bytes other = maker.Fragmentable(0, false).bytes;
                for (std::size_t b = 0; b < gaps[g].fill.size(); ++b)
                    gaps[g].fill[b] = other[other.size() / 3 + b % (other.size() / 2)];
            }
        }
        file.what += " in " + std::to_string(pieces) + " pieces";
        if (!card.WriteInPieces(file, cuts, gaps))
            continue;
        files.push_back(std::move(file));
        for (CardFile& other : inGaps) {
            other.id = static_cast<int>(files.size()) + 1;
            files.push_back(std::move(other));
        }
    }

    std::vector<CardFile*> live;
    for (CardFile& file : files)
        if (!file.deleted)
            live.push_back(&file);
    card.WriteFileSystem(live);
    card.Save(out / "card.img");

    std::ofstream manifest(out / "manifest.tsv");
    manifest << "# id\ttoken\twhat\tsession\ton_card\tlength\tpieces\tcontiguous\tintact\n";
    for (const CardFile& file : files) {
        std::string pieces;
        std::uint64_t left = file.bytes.size();
        for (const auto& [first, count] : file.clusters) {
            const std::uint64_t n = std::min<std::uint64_t>(count * kClusterBytes, left);
            pieces += (pieces.empty() ? "" : ",") + std::to_string(card.ClusterSector(first)) + ":" + std::to_string(n);
            left -= n;
        }
        manifest << file.id << '\t' << file.token << '\t' << file.what << '\t' << file.session << '\t'
                 << (file.deleted ? "deleted" : "live") << '\t' << file.bytes.size() << '\t' << pieces << '\t'
                 << (file.clusters.size() == 1 ? "yes" : "no") << '\t' << (card.Intact(file) ? "yes" : "no") << '\n';
        std::ofstream(out / "originals" / (std::to_string(file.id) + "." + file.token), std::ios::binary)
            .write(reinterpret_cast<const char*>(file.bytes.data()), static_cast<std::streamsize>(file.bytes.size()));
    }
    std::cout << files.size() << " files written to " << (out / "card.img").string() << "\n";
    return 0;
}
