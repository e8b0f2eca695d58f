// photo-bench: capture dates and cameras of 10,000 found JPEGs on a card image, and saving them
// by capture date against saving them under their found names, in the same run.
//   metadata_files_per_s        found JPEGs whose metadata is read per second (from the card image)
//   save_by_date_vs_found_names time of a Save All under found names / time of the same save by
//                               capture date (1.0: naming by date costs nothing)
// The card and the saves are in /dev/shm when there is one (else the temporary folder).
#include "ExifWriter.h"
#include "FileVolumeSource.h"
#include "FoundFileSaver.h"
#include "PhotoMetadata.h"
#include "PictureEncoders.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace quorvex;
namespace fx = quorvex::fixtures;
namespace fs = std::filesystem;

namespace {

class QuietObserver final : public SaveObserver {
public:
    void OnSaveProgress(int) override {}
    void OnFileStarted(const std::string&) override {}
    void OnFileFailed(const std::string& path, const std::string& reason) override
    {
        std::fprintf(stderr, "photo-bench: %s: %s\n", path.c_str(), reason.c_str());
    }
};

double Seconds(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main()
{
    constexpr int kPhotos = 10000;
    // In memory when the machine has it: the saves are compared for their own work, not for the
    // moods of a disk's writeback.
    const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    const fs::path work = base / ("photo-bench-" + std::to_string(::getpid()));
    fs::create_directories(work);
    const fs::path image = work / "card.img";

    // Forty different photos with Exif (camera-sized metadata blocks), each planted 250 times
    // with its own capture second, one after the other on sector boundaries.
    FoundFileCatalogue catalogue;
    catalogue.Reset(SelectedTypes({{"JPG", "FoundFileJPG", 20480}}), RecoveryMode::Exact);
    {
        std::vector<fx::Bytes> scenes;
        for (int s = 0; s < 40; ++s)
            scenes.push_back(fx::EncodeJpegJfif(fx::MakeScene(320, 240, s), 85));
        std::ofstream out(image, std::ios::binary);
        std::uint64_t sector = 0;
        for (int n = 0; n < kPhotos; ++n) {
            char taken[32];
            std::snprintf(taken, sizeof taken, "20%02d:%02d:%02d %02d:%02d:%02d", 10 + n % 14, 1 + n % 12, 1 + n % 28,
                          n % 24, n % 60, (n / 60) % 60);
            const fx::Bytes photo = fx::WithExif(scenes[static_cast<std::size_t>(n % 40)], {taken, "Canon", "Canon EOS R6", 1});
            fx::Bytes padded = photo;
            padded.resize((photo.size() + 511) / 512 * 512, 0);
            out.write(reinterpret_cast<const char*>(padded.data()), static_cast<std::streamsize>(padded.size()));
            catalogue.AppendFoundFile(0, sector, photo.size(), Verdict::Complete);
            sector += padded.size() / 512;
        }
    }
    const VolumeOpener opener = OpenerForPath(image.string());

    int dated = 0;
    VolumeReader reader;
    if (!reader.Open(opener).ok())
        return 1;
    const double metadataSeconds = Seconds([&] {
        for (std::uint64_t i = 0; i < catalogue.FoundCount(); ++i)
            dated += ReadFoundFileMetadata(reader, catalogue, i).facts.captured ? 1 : 0;
    });
    reader.Close();
    if (dated != kPhotos) {
        std::fprintf(stderr, "photo-bench: only %d of %d photos gave their date\n", dated, kPhotos);
        return 1;
    }

    QuietObserver observer;
    auto save = [&](bool byDate, const fs::path& folder) {
        FoundFileSaver saver(catalogue, observer);
        saver.SetNameByCaptureDate(byDate);
        return Seconds([&] {
            if (saver.SaveAll(opener, folder.string()).saved != kPhotos)
                std::fprintf(stderr, "photo-bench: not every file was saved\n");
        });
    };
    // Best of five each, in alternating order, each into a fresh folder, the disk's writeback of
    // the previous save finished first (else the second of each pair pays for the first).
    double byName = 1e9, byDate = 1e9;
    for (int run = 0; run < 5; ++run) {
        for (const bool byDateFirst : {run % 2 == 0, run % 2 != 0}) {
            const fs::path folder = work / (byDateFirst ? "dates" : "names");
            fs::remove_all(folder);
            ::sync();
            double& best = byDateFirst ? byDate : byName;
            best = std::min(best, save(byDateFirst, folder));
        }
    }
    fs::remove_all(work);
    std::printf("metadata_files_per_s=%.0f\n", kPhotos / metadataSeconds);
    std::printf("save_by_date_vs_found_names=%.2f\n", byName / byDate);
    std::fprintf(stderr, "photo-bench: save %.3f s by name, %.3f s by date\n", byName, byDate);
    return 0;
}
