// quorvex-cli's scan sessions: a scan stopped or killed goes on where it stopped and ends with the
// list an uninterrupted scan prints; a session of another card, other options, a newer version or
// damaged is refused and left as it is; `results` lists and saves a session's files later.
#include "CliRunner.h"
#include "SmallFileSystem.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <csignal>
#include <nlohmann/json.hpp>
#include <thread>

using namespace quorvex::testing;
namespace fs = std::filesystem;

namespace {

// The found-file lines of a scan's output (everything but the JSON summary).
std::vector<std::string> FoundLines(const std::string& out)
{
    std::vector<std::string> lines;
    for (const std::string& line : Lines(out))
        if (line.find("\"summary\"") == std::string::npos)
            lines.push_back(line);
    return lines;
}

nlohmann::json Summary(const std::string& out)
{
    const std::vector<std::string> lines = Lines(out);
    return lines.empty() ? nlohmann::json{} : nlohmann::json::parse(lines.back(), nullptr, false)["summary"];
}

std::uint64_t ResumedAt(const std::string& errors)
{
    const std::string marker = "resumed at sector ";
    const std::size_t at = errors.find(marker);
    return at == std::string::npos ? 0 : std::stoull(errors.substr(at + marker.size()));
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::seconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// How many reads of at least `minBytes` the fault library logged.
std::size_t ReadsLogged(const fs::path& log, std::uint64_t minBytes = 0)
{
    std::size_t count = 0;
    if (fs::exists(log))
        for (const std::string& line : Lines(ReadText(log)))
            count += std::stoull(line.substr(line.find(' ') + 1)) >= minBytes;
    return count;
}

int WaitForExit(pid_t pid)
{
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid)
        return -2;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

std::map<std::string, std::vector<unsigned char>> FilesUnder(const fs::path& folder)
{
    std::map<std::string, std::vector<unsigned char>> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), folder).string()] =
                ReadBytes(entry.path(), 0, static_cast<std::size_t>(entry.file_size()));
    return files;
}

fs::path CopyOfTheSample(const TempDir& dir)
{
    const fs::path copy = dir.Path() / "card.img";
    fs::copy_file(QUORVEX_SAMPLE_IMAGE, copy);
    return copy;
}

void OverwriteFirstSector(const fs::path& image)
{
    std::fstream file(image, std::ios::in | std::ios::out | std::ios::binary);
    const std::string other(512, 'x');
    file.write(other.data(), static_cast<std::streamsize>(other.size()));
}

}  // namespace

TEST(CliSession, AScanStoppedWithCtrlCGoesOnToTheListOfAnUninterruptedScan)
{
    const Result whole = RunCli(std::string("scan --exact --json ") + QUORVEX_SAMPLE_IMAGE);
    ASSERT_EQ(whole.status, 0);

    TempDir dir;
    const fs::path session = dir.Path() / "card.qvx", log = dir.Path() / "reads.log";
    const pid_t pid = SpawnCli({"scan", "--exact", "--json", "--session", session.string(), QUORVEX_SAMPLE_IMAGE},
                               SlowReadsOf(QUORVEX_SAMPLE_IMAGE, 200, log.string(), 65536));
    ASSERT_GT(pid, 0);
    // Ctrl-C once the scan is a few (slow) blocks in: past the reads that tell the card and read
    // its file system.
    ASSERT_TRUE(WaitFor([&] { return ReadsLogged(log, 1 << 20) >= 3; }, std::chrono::seconds(60)));
    ::kill(pid, SIGINT);
    ASSERT_EQ(WaitForExit(pid), 130);
    ASSERT_TRUE(fs::exists(session));

    const fs::path errors = dir.Path() / "errors.txt";
    const Result resumed = RunCli("scan --exact --json --session " + session.string() + " " + QUORVEX_SAMPLE_IMAGE, errors);
    ASSERT_EQ(resumed.status, 0) << ReadText(errors);
    const std::uint64_t at = ResumedAt(ReadText(errors));
    EXPECT_GT(at, 0u) << ReadText(errors);
    EXPECT_LT(at, fs::file_size(QUORVEX_SAMPLE_IMAGE) / 512);
    EXPECT_EQ(FoundLines(resumed.out), FoundLines(whole.out));
    EXPECT_EQ(Summary(resumed.out)["resumed_from_sector"], at);
    EXPECT_EQ(Summary(resumed.out)["found"], Summary(whole.out)["found"]);
    // An uninterrupted scan's summary carries no such field; a fresh session's says 0.
    EXPECT_FALSE(Summary(whole.out).contains("resumed_from_sector"));
    const Result fresh = RunCli("scan --exact --json --session " + (dir.Path() / "fresh.qvx").string() + " " + QUORVEX_SAMPLE_IMAGE);
    EXPECT_EQ(Summary(fresh.out)["resumed_from_sector"], 0);
}

TEST(CliSession, AScanKilledOutrightGoesOnFromItsLastCheckpoint)
{
    // SIGKILL leaves no chance to write anything: what the scan wrote as it went must do. Each
    // block read takes a second, so the first checkpoint comes five seconds in, mid-card.
    const Result whole = RunCli(std::string("scan ") + QUORVEX_SAMPLE_IMAGE);
    ASSERT_EQ(whole.status, 0);

    TempDir dir;
    const fs::path session = dir.Path() / "card.qvx", log = dir.Path() / "reads.log";
    const pid_t pid = SpawnCli({"scan", "--session", session.string(), QUORVEX_SAMPLE_IMAGE},
                               SlowReadsOf(QUORVEX_SAMPLE_IMAGE, 1000, log.string(), 65536));
    ASSERT_GT(pid, 0);
    const bool checkpointed = WaitFor([&] { return fs::exists(session); }, std::chrono::seconds(60));
    ::kill(pid, SIGKILL);
    EXPECT_EQ(WaitForExit(pid), -SIGKILL);
    ASSERT_TRUE(checkpointed);

    const fs::path errors = dir.Path() / "errors.txt";
    const Result resumed = RunCli("scan --session " + session.string() + " " + QUORVEX_SAMPLE_IMAGE, errors);
    ASSERT_EQ(resumed.status, 0) << ReadText(errors);
    EXPECT_GT(ResumedAt(ReadText(errors)), 0u) << ReadText(errors);
    EXPECT_LT(ResumedAt(ReadText(errors)), fs::file_size(QUORVEX_SAMPLE_IMAGE) / 512);
    EXPECT_EQ(resumed.out, whole.out);
    EXPECT_FALSE(fs::exists(session.string() + ".new"));
}

TEST(CliSession, ASessionOfAnotherCardOtherOptionsANewerVersionOrDamagedIsRefusedAndLeftAsItIs)
{
    TempDir dir;
    const fs::path card = CopyOfTheSample(dir);
    const fs::path session = dir.Path() / "card.qvx";
    ASSERT_EQ(RunCli("scan --types JPG,BMP --session " + session.string() + " " + card.string()).status, 0);
    const std::vector<unsigned char> saved = ReadBytes(session, 0, 1 << 20);

    const auto refused = [&](const std::string& arguments, const fs::path& source, const std::string& why) {
        const fs::path errors = dir.Path() / "errors.txt";
        const Result result = RunCli("scan " + arguments + " --session " + session.string() + " " + source.string(), errors);
        EXPECT_EQ(result.status, 2) << arguments;
        EXPECT_NE(ReadText(errors).find(why), std::string::npos) << ReadText(errors);
        EXPECT_EQ(result.out, "");
    };
    refused("--types JPG", card, "the saved scan looked for JPG");
    refused("--types JPG,BMP --prefix Trip-", card, "this one looks for");
    refused("--types JPG,BMP --exact", card, "exact recovery");
    EXPECT_EQ(ReadBytes(session, 0, 1 << 20), saved);

    OverwriteFirstSector(card);
    refused("--types JPG,BMP", card, "another card or image");
    EXPECT_EQ(ReadBytes(session, 0, 1 << 20), saved);

    std::vector<unsigned char> newer = saved;
    newer[8] = 0x7F;  // a format version far beyond this one
    std::ofstream(session, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(newer.data()),
                                                                     static_cast<std::streamsize>(newer.size()));
    refused("--types JPG,BMP", QUORVEX_SAMPLE_IMAGE, "newer version");
    EXPECT_EQ(ReadBytes(session, 0, 1 << 20), newer);

    std::ofstream(session, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(saved.data()),
                                                                     static_cast<std::streamsize>(saved.size() - 3));
    refused("--types JPG,BMP", QUORVEX_SAMPLE_IMAGE, "damaged");
    std::ofstream(session, std::ios::trunc) << "a shopping list\n";
    refused("--types JPG,BMP", QUORVEX_SAMPLE_IMAGE, "not a file of Quorvex's scan results");
    EXPECT_EQ(ReadText(session), "a shopping list\n");
}

TEST(CliSession, SameCardUnderAnotherNameIsContinued)
{
    TempDir dir;
    const fs::path card = CopyOfTheSample(dir);
    const fs::path session = dir.Path() / "card.qvx";
    ASSERT_EQ(RunCli("scan --session " + session.string() + " " + card.string()).status, 0);
    const fs::path errors = dir.Path() / "errors.txt";
    EXPECT_EQ(RunCli(std::string("scan --session ") + session.string() + " " + QUORVEX_SAMPLE_IMAGE, errors).status, 0)
        << ReadText(errors);
}

TEST(CliSession, ResultsListsASessionsFilesAndSavesTheBytesAFreshScanSaves)
{
    TempDir dir;
    const fs::path session = dir.Path() / "card.qvx", fresh = dir.Path() / "fresh", later = dir.Path() / "later";
    const Result scan =
        RunCli("scan --exact --json --out " + fresh.string() + " --session " + session.string() + " " + QUORVEX_SAMPLE_IMAGE);
    ASSERT_EQ(scan.status, 0);

    const Result listed = RunCli("results --json " + session.string());
    ASSERT_EQ(listed.status, 0);
    EXPECT_EQ(FoundLines(listed.out), FoundLines(scan.out));
    EXPECT_EQ(Summary(listed.out)["by_verdict"], Summary(scan.out)["by_verdict"]);

    const Result saved = RunCli("results --out " + later.string() + " " + session.string());
    ASSERT_EQ(saved.status, 0);
    const auto freshFiles = FilesUnder(fresh), laterFiles = FilesUnder(later);
    EXPECT_FALSE(freshFiles.empty());
    EXPECT_EQ(laterFiles, freshFiles);

    // Only some types: the lines and the files of those types.
    const Result jpegs = RunCli("results --types JPG --out " + (dir.Path() / "jpegs").string() + " " + session.string());
    ASSERT_EQ(jpegs.status, 0);
    for (const std::string& line : Lines(jpegs.out))
        EXPECT_NE(line.find("\tJPG\t"), std::string::npos) << line;
    for (const auto& [name, bytes] : FilesUnder(dir.Path() / "jpegs"))
        EXPECT_EQ(bytes, freshFiles.at(name));
    EXPECT_EQ(RunCli("results --types ZZZ " + session.string()).status, 1);
    EXPECT_EQ(RunCli("results " + (dir.Path() / "none.qvx").string()).status, 2);
}

TEST(CliSession, ResultsOfACardThatChangedSinceAreNotSaved)
{
    TempDir dir;
    const fs::path card = CopyOfTheSample(dir);
    const fs::path session = dir.Path() / "card.qvx", out = dir.Path() / "out";
    ASSERT_EQ(RunCli("scan --session " + session.string() + " " + card.string()).status, 0);
    OverwriteFirstSector(card);
    const fs::path errors = dir.Path() / "errors.txt";
    EXPECT_EQ(RunCli("results --out " + out.string() + " " + session.string(), errors).status, 2);
    EXPECT_NE(ReadText(errors).find("not the card the scan saw"), std::string::npos) << ReadText(errors);
    EXPECT_TRUE(!fs::exists(out) || FilesUnder(out).empty());
    EXPECT_EQ(RunCli("results " + session.string()).status, 0);  // listing needs no card
}

TEST(CliSession, ASessionThatCannotBeWrittenLetsTheScanFinishAndSaysSoOnce)
{
    TempDir dir;
    const Result whole = RunCli(std::string("scan ") + QUORVEX_SAMPLE_IMAGE);
    const fs::path errors = dir.Path() / "errors.txt";
    const Result result =
        RunCli("scan --session " + (dir.Path() / "no-such-folder" / "card.qvx").string() + " " + QUORVEX_SAMPLE_IMAGE, errors);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, whole.out);
    const std::string text = ReadText(errors);
    const std::string warning = "cannot be continued after an interruption";
    ASSERT_NE(text.find(warning), std::string::npos) << text;
    EXPECT_EQ(text.find(warning, text.find(warning) + 1), std::string::npos) << text;

    SmallFileSystem full(4);
    if (!full.Mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here";
    std::ofstream(full.Path() / "filler") << std::string(4096, 'f');
    const Result onFullDisk =
        RunCli("scan --session " + (full.Path() / "card.qvx").string() + " " + QUORVEX_SAMPLE_IMAGE, errors);
    EXPECT_EQ(onFullDisk.status, 0);
    EXPECT_EQ(onFullDisk.out, whole.out);
    EXPECT_NE(ReadText(errors).find("No space left"), std::string::npos) << ReadText(errors);
    EXPECT_FALSE(fs::exists(full.Path() / "card.qvx.new"));
}
