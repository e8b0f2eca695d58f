// quorvex-cli and photos: capture dates, cameras and copies in the JSON lines of an exact
// recovery, photos saved under their capture time, copies left out, and both refused without
// exact recovery.
#include "CliRunner.h"
#include "ExifWriter.h"
#include "PictureEncoders.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

using namespace quorvex::testing;
namespace fx = quorvex::fixtures;

namespace {

fx::Bytes Photo(int seed, const char* taken)
{
    return fx::WithExif(fx::EncodeJpegJfif(fx::MakeScene(96, 64, seed), 85), {taken, "NIKON CORPORATION", "NIKON Z 6", 1});
}

// A card image with, in order: a photo, a second photo of the same second, a picture without
// Exif, and a copy of the first photo.
class PhotoCard {
public:
    PhotoCard()
    {
        std::vector<unsigned char> card(4 << 20, 0);
        std::uint64_t sector = 64;
        for (const fx::Bytes& file : {first_, Photo(2, "2022:12:24 18:30:00"), fx::EncodeJpegJfif(fx::MakeScene(96, 64, 3), 85),
                                      first_}) {
            std::copy(file.begin(), file.end(), card.begin() + static_cast<std::ptrdiff_t>(sector * 512));
            sector += file.size() / 512 + 40;
        }
        std::ofstream(Image(), std::ios::binary).write(reinterpret_cast<const char*>(card.data()),
                                                       static_cast<std::streamsize>(card.size()));
    }
    fs::path Image() const { return dir_.Path() / "card.img"; }
    const fx::Bytes& First() const { return first_; }
    fs::path Dir() const { return dir_.Path(); }

private:
    TempDir dir_;
    fx::Bytes first_ = Photo(1, "2022:12:24 18:30:00");
};

std::map<std::string, nlohmann::json> LinesByName(const std::string& out)
{
    std::map<std::string, nlohmann::json> lines;
    for (const std::string& text : Lines(out)) {
        const nlohmann::json line = nlohmann::json::parse(text, nullptr, false);
        if (line.contains("name"))
            lines[line["name"]] = line;
    }
    return lines;
}

}  // namespace

TEST(CliPhotos, JsonLinesOfAnExactScanSayWhenWhichCameraAndWhatACopyIsOf)
{
    const PhotoCard card;
    const Result result = RunCli("scan " + card.Image().string() + " --exact --types JPG --json");
    ASSERT_EQ(result.status, 0);
    const auto lines = LinesByName(result.out);
    ASSERT_EQ(lines.size(), 4u);
    const nlohmann::json& first = lines.at("FoundFileJPG1.JPG");
    EXPECT_EQ(first["captured"], "2022-12-24T18:30:00");
    EXPECT_EQ(first["camera"], "NIKON Z 6");
    EXPECT_FALSE(first.contains("duplicate_of"));
    EXPECT_FALSE(lines.at("FoundFileJPG3.JPG").contains("captured"));  // no Exif
    EXPECT_FALSE(lines.at("FoundFileJPG3.JPG").contains("camera"));
    EXPECT_FALSE(lines.at("FoundFileJPG2.JPG").contains("duplicate_of"));  // same second, other bytes
    EXPECT_EQ(lines.at("FoundFileJPG4.JPG")["duplicate_of"], "FoundFileJPG1.JPG");

    // The described mode's lines stay as they were.
    const Result described = RunCli("scan " + card.Image().string() + " --types JPG --json");
    EXPECT_EQ(described.out.find("captured"), std::string::npos);
    EXPECT_EQ(described.out.find("duplicate_of"), std::string::npos);
}

TEST(CliPhotos, SavingByDateWithoutCopiesNamesAndDatesEachPhotoOnce)
{
    const PhotoCard card;
    const fs::path out = card.Dir() / "out";
    const Result result = RunCli("scan " + card.Image().string() +
                                 " --exact --types JPG --json --name-by-date --skip-duplicates --out " + out.string());
    ASSERT_EQ(result.status, 0);
    const fs::path folder = out / "recoverd/JPG";
    EXPECT_EQ(NamesIn(folder), (std::vector<std::string>{"2022-12-24_18-30-00.JPG", "2022-12-24_18-30-00_2.JPG",
                                                         "FoundFileJPG3.JPG"}));
    EXPECT_EQ(ReadBytes(folder / "2022-12-24_18-30-00.JPG", 0, card.First().size() + 1), card.First());
    struct stat info {};
    ASSERT_EQ(::stat((folder / "2022-12-24_18-30-00_2.JPG").c_str(), &info), 0);
    std::tm taken{};
    taken.tm_year = 122, taken.tm_mon = 11, taken.tm_mday = 24, taken.tm_hour = 18, taken.tm_min = 30;
    taken.tm_isdst = -1;
    EXPECT_EQ(info.st_mtim.tv_sec, std::mktime(&taken));
    const nlohmann::json summary = nlohmann::json::parse(Lines(result.out).back())["summary"];
    EXPECT_EQ(summary["saved"], 3);
    EXPECT_EQ(summary["skipped_duplicates"], 1);

    // Without the options every file is saved under its found name.
    const fs::path plain = card.Dir() / "plain";
    ASSERT_EQ(RunCli("scan " + card.Image().string() + " --exact --types JPG --out " + plain.string()).status, 0);
    EXPECT_EQ(NamesIn(plain / "recoverd/JPG").size(), 4u);
    EXPECT_EQ(NamesIn(plain / "recoverd/JPG").front(), "FoundFileJPG1.JPG");
}

TEST(CliPhotos, TheOptionsNeedExactRecoveryAndWorkOnAKeptSession)
{
    const PhotoCard card;
    const fs::path out = card.Dir() / "out";
    const fs::path errors = card.Dir() / "errors";
    for (const char* option : {"--name-by-date", "--skip-duplicates"}) {
        const Result refused = RunCli("scan " + card.Image().string() + " " + option + " --out " + out.string(), errors);
        EXPECT_EQ(refused.status, 1) << option;
        EXPECT_NE(ReadText(errors).find("exact recovery only"), std::string::npos);
        EXPECT_FALSE(fs::exists(out));  // refused before the scan
    }
    const fs::path described = card.Dir() / "described.qvxscan";
    ASSERT_EQ(RunCli("scan " + card.Image().string() + " --types JPG --session " + described.string()).status, 0);
    EXPECT_EQ(RunCli("results " + described.string() + " --skip-duplicates").status, 1);

    const fs::path exact = card.Dir() / "exact.qvxscan";
    ASSERT_EQ(RunCli("scan " + card.Image().string() + " --exact --types JPG --session " + exact.string()).status, 0);
    const Result later = RunCli("results " + exact.string() + " --json --name-by-date --skip-duplicates --out " + out.string());
    ASSERT_EQ(later.status, 0);
    EXPECT_EQ(LinesByName(later.out).at("FoundFileJPG4.JPG")["duplicate_of"], "FoundFileJPG1.JPG");
    EXPECT_EQ(NamesIn(out / "recoverd/JPG").size(), 3u);
}

TEST(CliPhoto, AnExactScanPutsAPhotoStoredInPiecesBackTogetherUnlessToldNotTo)
{
    // A PNG in two pieces, 12 KiB of random bytes between them.
    const fx::Bytes png = fx::EncodePng(fx::MakeScene(320, 240, 6));
    std::vector<unsigned char> card(2 << 20);
    std::uint32_t x = 12345;
    for (unsigned char& b : card) {
        x = x * 1103515245 + 12345;
        b = static_cast<unsigned char>((x >> 16) % 0x40 + 0x20);
    }
    const std::size_t start = 128 * 1024, cut = png.size() / 2 / 4096 * 4096, gap = 3 * 4096;
    std::copy(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(cut), card.begin() + start);
    std::copy(png.begin() + static_cast<std::ptrdiff_t>(cut), png.end(), card.begin() + start + cut + gap);
    TempDir dir;
    const fs::path image = dir.Path() / "card.img";
    std::ofstream(image, std::ios::binary).write(reinterpret_cast<const char*>(card.data()), static_cast<std::streamsize>(card.size()));

    const Result json = RunCli("scan " + image.string() + " --exact --json --types PNG --out " + dir.Path().string());
    ASSERT_EQ(json.status, 0);
    const auto lines = LinesByName(json.out);
    ASSERT_EQ(lines.size(), 1u);
    const nlohmann::json& line = lines.begin()->second;
    EXPECT_EQ(line["verdict"], "reassembled");
    EXPECT_EQ(line["length"], png.size());
    EXPECT_EQ(line["fragments"], nlohmann::json::parse("[[" + std::to_string(start) + "," + std::to_string(cut) + "],[" +
                                                       std::to_string(start + cut + gap) + "," +
                                                       std::to_string(png.size() - cut) + "]]"));
    EXPECT_EQ(ReadBytes(dir.Path() / "recoverd" / "PNG" / "FoundFilePNG1.PNG", 0, png.size() + 1), png);
    EXPECT_NE(json.out.find("\"reassembled\":1"), std::string::npos);

    const Result left = RunCli("scan " + image.string() + " --exact --no-reassembly --json --types PNG");
    ASSERT_EQ(left.status, 0);
    EXPECT_EQ(LinesByName(left.out).begin()->second["verdict"], "damaged");
    EXPECT_FALSE(LinesByName(left.out).begin()->second.contains("fragments"));
}

TEST(CliPhotos, TheCardsNamesComeInTheJsonAndTheSaveUnlessFoundNamesAreAsked)
{
    PhotoCard photos;
    const fs::path image = photos.Dir() / "fat.img", photo = photos.Dir() / "p.jpg";
    std::ofstream(photo, std::ios::binary).write(reinterpret_cast<const char*>(photos.First().data()),
                                                 static_cast<std::streamsize>(photos.First().size()));
    const std::string img = "'" + image.string() + "'";
    if (std::system(("MTOOLS_SKIP_CHECK=1 sh -c \"truncate -s 40M " + img + " && mkfs.vfat -F 32 -s 1 " + img +
                     " && mmd -i " + img + " ::/DCIM && touch -d @1718000000 '" + photo.string() + "' && mcopy -m -i " +
                     img + " '" + photo.string() + "' '::/DCIM/Café day.jpg' && mcopy -m -i " + img + " '" + photo.string() +
                     "' ::/DCIM/GONE.JPG && mdel -i " + img + " ::/DCIM/GONE.JPG\" >/dev/null 2>&1")
                        .c_str()) != 0)
        GTEST_SKIP() << "mkfs.vfat or mtools is not installed";
    const Result scan = RunCli("scan --exact --json " + img);
    ASSERT_EQ(scan.status, 0);
    std::vector<nlohmann::json> named;
    for (const std::string& text : Lines(scan.out)) {
        const nlohmann::json line = nlohmann::json::parse(text);
        if (line.contains("card_path"))
            named.push_back(line);
    }
    ASSERT_EQ(named.size(), 2u);
    EXPECT_EQ(named[0]["card_path"], "DCIM/Café day.jpg");
    EXPECT_EQ(named[0]["card_state"], "live");
    EXPECT_EQ(named[0]["card_modified"], "2024-06-10T06:13:20");
    EXPECT_EQ(named[1]["card_path"], "DCIM/_ONE.JPG");  // deleted: no name beside it gives its first letter back
    EXPECT_EQ(named[1]["card_state"], "deleted");

    const fs::path kept = photos.Dir() / "kept", found = photos.Dir() / "found";
    ASSERT_EQ(RunCli("scan --exact --out '" + kept.string() + "' " + img).status, 0);
    EXPECT_TRUE(fs::exists(kept / "recoverd/DCIM/Café day.jpg"));
    EXPECT_TRUE(fs::exists(kept / "recoverd/DCIM/_ONE.JPG"));
    ASSERT_EQ(RunCli("scan --exact --found-names --out '" + found.string() + "' " + img).status, 0);
    EXPECT_FALSE(fs::exists(found / "recoverd/DCIM"));
    EXPECT_TRUE(fs::exists(found / "recoverd/JPG"));
    // The described mode knows nothing of the card's names, and says so.
    EXPECT_EQ(RunCli("scan --keep-names " + img).status, 1);
    EXPECT_EQ(Lines(RunCli("scan --json " + img).out).front().find("card_path"), std::string::npos);
}
