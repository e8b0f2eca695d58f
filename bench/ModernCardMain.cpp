// quorvex-make-modern-card: writes the evaluation card of today's phones and cameras,
// deterministically, for the recovery benchmark.
//   quorvex-make-modern-card PHOTO_FOLDER OUTPUT_FOLDER [SIZE_MIB]
// PHOTO_FOLDER holds real photographs (JPEG). The card holds phone JPEGs with Exif, HEIC and AVIF
// photos made by heif-enc, WebP pictures and MP4, MOV, 3GP and AVCHD clips made by ffmpeg (H.264,
// HEVC, MJPEG, MPEG-4; AAC, PCM, AC-3; the index first and last; one clip over 100 MB), camera
// raws of each family built by our own fixtures around the photographs, a WAVE and an AVI; each on
// a 32 KiB cluster grid with old random data between, two of them stored in two pieces. Writes
// OUTPUT_FOLDER/card.img, manifest.tsv (as quorvex-make-eval-card's) and originals/.
#include "CameraFiles.h"
#include "ModernFiles.h"
#include "PictureEncoders.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace quorvex::fixtures;

namespace {

constexpr std::uint64_t kSector = 512;
constexpr std::uint64_t kCluster = 32 * 1024;

struct CardFile {
    std::string token;
    std::string what;
    Bytes bytes;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> pieces;  // offset, length
};

Bytes ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}

void WriteFile(const fs::path& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Runs a tool that writes `output`, and reads it back; throws when it made nothing.
Bytes Made(const std::string& command, const fs::path& output)
{
    fs::remove(output);
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0 || !fs::exists(output))
        throw std::runtime_error("failed: " + command);
    return ReadFile(output);
}

std::string Ffmpeg(const std::string& arguments, const fs::path& output)
{
    return "ffmpeg -nostdin -hide_banner -y -threads 1 " + arguments + " -fflags +bitexact -flags:v +bitexact -flags:a "
           "+bitexact '" + output.string() + "'";
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 4) {
        std::cerr << "usage: quorvex-make-modern-card PHOTO_FOLDER OUTPUT_FOLDER [SIZE_MIB]\n";
        return 1;
    }
    std::vector<fs::path> photoPaths;
    for (const auto& entry : fs::directory_iterator(argv[1]))
        if (entry.path().extension() == ".jpg")
            photoPaths.push_back(entry.path());
    std::sort(photoPaths.begin(), photoPaths.end());
    if (photoPaths.empty()) {
        std::cerr << "quorvex-make-modern-card: no photographs (*.jpg) in " << argv[1] << "\n";
        return 1;
    }
    const fs::path out(argv[2]);
    const std::uint64_t sizeMib = argc == 4 ? std::stoull(argv[3]) : 1024;
    const fs::path work = out / "work";
    fs::create_directories(out / "originals");
    fs::create_directories(work);
    std::mt19937 random(20261211);
    std::vector<RgbImage> photos;
    for (const fs::path& path : photoPaths)
        photos.push_back(DecodeJpegFile(path.string()));
    auto shot = [&](int width, int height) {
        const RgbImage& photo = photos[random() % photos.size()];
        const double zoom = 0.6 + 0.4 * static_cast<double>(random() % 1000) / 1000.0;
        const double x0 = (1 - zoom) * static_cast<double>(random() % 1000) / 1000.0;
        const double y0 = (1 - zoom) * static_cast<double>(random() % 1000) / 1000.0;
        return ShotOf(photo, x0, y0, x0 + zoom, y0 + zoom, width, height);
    };
    auto phoneJpeg = [&](int width, int height, const std::string& make, const std::string& model) {
        JpegOptions options;
        options.quality = 92;
        options.exif = ExifFields{};
        options.exif->make = make;
        options.exif->model = model;
        options.exif->captured = "2025:0" + std::to_string(1 + random() % 9) + ":1" + std::to_string(random() % 9) + " 1" +
                                 std::to_string(random() % 9) + ":2" + std::to_string(random() % 9) + ":00";
        return EncodeJpeg(shot(width, height), options);
    };

    std::vector<CardFile> files;
    auto add = [&](std::string token, std::string what, Bytes bytes) {
        files.push_back({std::move(token), std::move(what), std::move(bytes), {}});
    };
    for (int i = 0; i < 6; ++i)
        add("JPG", "phone JPEG 4032x3024 with Exif", phoneJpeg(4032, 3024, i % 2 ? "Apple" : "samsung", i % 2 ? "iPhone 15" : "SM-S918B"));
    // HEIC and AVIF from phone JPEGs (their Exif carried over), by heif-enc.
    for (int i = 0; i < 6; ++i) {
        WriteFile(work / "source.jpg", phoneJpeg(i < 4 ? 4032 : 2048, i < 4 ? 3024 : 1536, "Apple", "iPhone 15 Pro"));
        const bool avif = i >= 4;
        const fs::path made = work / (avif ? "photo.avif" : "photo.heic");
        add(avif ? "AVIF" : "HEIC", avif ? "AVIF photo 2048x1536" : "HEIC photo 4032x3024",
            Made("heif-enc " + std::string(avif ? "-A " : "") + "-q 70 '" + (work / "source.jpg").string() + "' -o '" +
                     made.string() + "'",
                 made));
    }
    for (int i = 0; i < 3; ++i) {
        WriteFile(work / "source.jpg", phoneJpeg(1920, 1080, "Google", "Pixel 8"));
        add("WEBP", "WebP picture 1920x1080",
            Made(Ffmpeg("-i '" + (work / "source.jpg").string() + "' -c:v libwebp -quality 80", work / "picture.webp"),
                 work / "picture.webp"));
    }
    struct Clip {
        std::string token, what, extension, arguments;
    };
    const std::string scene = "-f lavfi -i testsrc2=size=1280x720:rate=30 -f lavfi -i sine=frequency=523:sample_rate=48000 -t 6 ";
    const std::vector<Clip> clips = {
        {"MP4", "MP4 H.264 + AAC, index first", "mp4", scene + "-c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -movflags +faststart"},
        {"MP4", "MP4 H.264 + AAC, index last", "mp4", scene + "-c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac"},
        {"MP4", "MP4 HEVC + AAC", "mp4", scene + "-c:v libx265 -preset fast -x265-params log-level=none -tag:v hvc1 -pix_fmt yuv420p -c:a aac"},
        {"MOV", "MOV MJPEG + PCM", "mov", scene + "-c:v mjpeg -q:v 4 -c:a pcm_s16le"},
        {"MOV", "MOV H.264 + AAC", "mov", scene + "-c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac"},
        {"3GP", "3GP MPEG-4 + AAC", "3gp", "-f lavfi -i testsrc2=size=352x288:rate=15 -f lavfi -i sine=sample_rate=16000 -t 8 -c:v mpeg4 -c:a aac -ar 16000 -ac 1"},
        {"MTS", "AVCHD H.264 + AC-3", "mts", scene + "-c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a ac3 -f mpegts -mpegts_m2ts_mode 1"},
        {"MTS", "AVCHD H.264 + AC-3, longer", "mts", "-f lavfi -i testsrc2=size=1920x1080:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 -t 10 -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a ac3 -f mpegts -mpegts_m2ts_mode 1"},
        {"MP4", "MP4 H.264 + AAC, 1080p, over 100 MB", "mp4",
         "-f lavfi -i testsrc2=size=1920x1080:rate=30 -f lavfi -i sine=frequency=330:sample_rate=48000 -t 40 -vf noise=alls=60:allf=t "
         "-c:v libx264 -preset ultrafast -b:v 24M -maxrate 24M -bufsize 24M -pix_fmt yuv420p -c:a aac"},
    };
    for (const Clip& clip : clips) {
        const fs::path made = work / ("clip." + clip.extension);
        Bytes bytes = Made(Ffmpeg(clip.arguments, made), made);
        if (clip.token == "MTS")  // AVCHD clips are whole aligned units of 6144 bytes
            bytes.resize(bytes.size() / 6144 * 6144);
        add(clip.token, clip.what, std::move(bytes));
    }
    const std::pair<CameraRaw, const char*> raws[] = {{CameraRaw::Cr2, "CR2"}, {CameraRaw::Arw, "ARW"},
                                                      {CameraRaw::Dng, "DNG"}, {CameraRaw::Orf, "ORF"},
                                                      {CameraRaw::Rw2, "RW2"}, {CameraRaw::Pef, "PEF"}};
    for (const auto& [kind, token] : raws)
        add(token, std::string(token) + " raw around a 3000x2000 photograph",
            EncodeCameraRaw(kind, shot(3000, 2000), kind == CameraRaw::Arw ? 41u << 20 : 18u << 20));
    add("CR3", "CR3 raw around a 3000x2000 photograph", EncodeCr3(shot(3000, 2000), 20u << 20));
    add("WAV", "WAVE 44.1 kHz, 3 s", EncodeWav(44100, 3000, 660));
    add("AVI", "MJPEG AVI 640x480, 20 frames", [&] {
        std::vector<RgbImage> frames;
        for (int f = 0; f < 20; ++f)
            frames.push_back(shot(640, 480));
        return EncodeMjpegAvi(frames, 80);
    }());
    // Two files the card stores in two pieces, other data between.
    add("HEIC", "HEIC photo 1920x1080 in 2 pieces",
        Made("heif-enc -q 70 '" + (work / "source.jpg").string() + "' -o '" + (work / "frag.heic").string() + "'",
             work / "frag.heic"));
    add("MP4", "MP4 H.264 + AAC in 2 pieces",
        Made(Ffmpeg(scene + "-c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -movflags +faststart", work / "frag.mp4"),
             work / "frag.mp4"));

    // The card: old random data, then each file from a cluster on, with a gap of a few clusters.
    Bytes card(sizeMib << 20);
    std::uint64_t x = 0x2545F4914F6CDD1Dull;
    auto* words = reinterpret_cast<std::uint64_t*>(card.data());
    for (std::size_t i = 0; i < card.size() / 8; ++i) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        words[i] = x;
    }
    for (std::uint64_t s = 0; s < card.size() / kSector; ++s)
        card[s * kSector] = static_cast<unsigned char>(card[s * kSector] % 0x40 + 0x40);  // no file starts by chance
    std::uint64_t at = 4 << 20;
    std::shuffle(files.begin(), files.end() - 2, random);
    for (CardFile& file : files) {
        const bool split = file.what.find("in 2 pieces") != std::string::npos;
        const std::uint64_t need = (file.bytes.size() + kCluster - 1) / kCluster * kCluster;
        if (at + need + 64 * kCluster > card.size()) {
            std::cerr << "quorvex-make-modern-card: the card is too small for " << file.what << "\n";
            return 1;
        }
        if (!split) {
            std::memcpy(&card[at], file.bytes.data(), file.bytes.size());
            file.pieces = {{at, file.bytes.size()}};
        } else {
            const std::uint64_t cut = file.bytes.size() / 2 / kCluster * kCluster;
            const std::uint64_t gap = 8 * kCluster;  // old data between the pieces
            std::memcpy(&card[at], file.bytes.data(), cut);
            std::memcpy(&card[at + cut + gap], file.bytes.data() + cut, file.bytes.size() - cut);
            file.pieces = {{at, cut}, {at + cut + gap, file.bytes.size() - cut}};
            at += gap;
        }
        at += need + (1 + random() % 4) * kCluster;
    }
    WriteFile(out / "card.img", card);
    std::ofstream manifest(out / "manifest.tsv");
    manifest << "# id\ttoken\twhat\tsession\ton_card\tlength\tpieces\tcontiguous\tintact\n";
    for (std::size_t i = 0; i < files.size(); ++i) {
        const CardFile& file = files[i];
        std::string pieces;
        for (const auto& [offset, length] : file.pieces)
            pieces += (pieces.empty() ? "" : ",") + std::to_string(offset / kSector) + ":" + std::to_string(length);
        manifest << i + 1 << '\t' << file.token << '\t' << file.what << "\t1\tlive\t" << file.bytes.size() << '\t' << pieces
                 << '\t' << (file.pieces.size() == 1 ? "yes" : "no") << "\tyes\n";
        WriteFile(out / "originals" / (std::to_string(i + 1) + "." + file.token), file.bytes);
    }
    fs::remove_all(work);
    std::cout << files.size() << " files written to " << (out / "card.img").string() << "\n";
    return 0;
}
