// quorvex-cli end to end: the sample card image, the output formats and the exit statuses.
#include "CliRunner.h"

#include <gtest/gtest.h>

#include <array>
#include <fcntl.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <chrono>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>


using namespace quorvex::testing;
namespace fs = std::filesystem;

TEST(Cli, ScanOfTheSampleCardListsEveryPlantedFileInOrder)
{
    const auto planted = Manifest();
    ASSERT_EQ(planted.size(), 9u);
    const Result result = RunCli(std::string("scan ") + QUORVEX_SAMPLE_IMAGE);
    ASSERT_EQ(result.status, 0);
    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), planted.size());
    std::map<std::string, int> seen;
    for (std::size_t i = 0; i < planted.size(); ++i) {
        const std::string expected = "FoundFile" + planted[i].token + std::to_string(i + 1) + "." +
                                     planted[i].token + "\t" + planted[i].token + "\t" +
                                     std::to_string(planted[i].startSector);
        EXPECT_EQ(lines[i], expected);
    }
}

TEST(Cli, SaveWritesFilesThatStartWithThePlantedBytes)
{
    TempDir out;
    const auto planted = Manifest();
    const Result result = RunCli(std::string("scan ") + QUORVEX_SAMPLE_IMAGE + " --max-kb 256 --out " +
                                 out.Path().string() + " --json");
    ASSERT_EQ(result.status, 0);
    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), planted.size() + 1);
    EXPECT_EQ(lines.back(),
              "{\"summary\":{\"found\":9,\"by_type\":{\"JPG\":2,\"BMP\":1,\"TIF\":2,\"PNG\":1,\"GIF\":1,\"RIFF\":1,"
              "\"RAF\":0,\"NEF\":0,\"MRW\":0,\"DCR\":0,\"CRW\":1},\"saved\":9,\"failed\":0,\"unreadable_sectors\":0}}");
    for (std::size_t i = 0; i < planted.size(); ++i) {
        const std::string name = "FoundFile" + planted[i].token + std::to_string(i + 1) + "." + planted[i].token;
        EXPECT_EQ(lines[i], "{\"name\":\"" + name + "\",\"token\":\"" + planted[i].token +
                                "\",\"start_sector\":" + std::to_string(planted[i].startSector) + "}");
        const fs::path saved = out.Path() / "recoverd" / planted[i].token / name;
        ASSERT_TRUE(fs::exists(saved)) << saved;
        EXPECT_EQ(fs::file_size(saved), 256u * 1024);
        EXPECT_EQ(ReadBytes(saved, 0, planted[i].length),
                  ReadBytes(QUORVEX_SAMPLE_IMAGE, planted[i].startSector * 512, planted[i].length))
            << name;
    }
}

TEST(Cli, NoProgressLineOrTerminalCodesWhenStderrIsNotATerminal)
{
    TempDir out;
    const fs::path err = out.Path() / "err.txt";
    ASSERT_EQ(RunCli(std::string("scan ") + QUORVEX_SAMPLE_IMAGE + " --max-kb 8 --out " + out.Path().string(), err)
                  .status,
              0);
    const std::string text = ReadText(err);
    EXPECT_EQ(text.find('\033'), std::string::npos);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_EQ(text.rfind("Found 9 files", 0), 0u) << text;
}

TEST(Cli, ExactRecoveryPrintsEachFilesLengthAndVerdictAndSavesExactlyItsBytes)
{
    // Every planted file is whole.
    const auto planted = Manifest();
    TempDir out;
    const Result text = RunCli(std::string("scan ") + QUORVEX_SAMPLE_IMAGE + " --exact --out " + out.Path().string());
    ASSERT_EQ(text.status, 0);
    const auto lines = Lines(text.out);
    ASSERT_EQ(lines.size(), planted.size());
    for (std::size_t i = 0; i < planted.size(); ++i) {
        const std::uint64_t length = planted[i].length;
        // Exact recovery knows the RIFF file for a WAVE and reports it under its own type.
        const std::string token = planted[i].token == "RIFF" ? "WAV" : planted[i].token;
        const std::string name = "FoundFile" + token + std::to_string(i + 1) + "." + token;
        EXPECT_EQ(lines[i], name + "\t" + token + "\t" + std::to_string(planted[i].startSector) + "\t" +
                                std::to_string(length) + "\tcomplete");
        const fs::path saved = out.Path() / "recoverd" / token / name;
        ASSERT_EQ(fs::file_size(saved), length) << name;
        EXPECT_EQ(ReadBytes(saved, 0, length), ReadBytes(QUORVEX_SAMPLE_IMAGE, planted[i].startSector * 512, length))
            << name;
    }

    const Result json = RunCli(std::string("scan ") + QUORVEX_SAMPLE_IMAGE + " --exact --json --types JPG,CRW");
    ASSERT_EQ(json.status, 0);
    const auto jsonLines = Lines(json.out);
    ASSERT_EQ(jsonLines.size(), 4u);
    EXPECT_EQ(jsonLines[0], "{\"name\":\"FoundFileJPG1.JPG\",\"token\":\"JPG\",\"start_sector\":2064,"
                            "\"length\":6371,\"verdict\":\"complete\"}");
    EXPECT_EQ(jsonLines[3], "{\"summary\":{\"found\":3,\"by_type\":{\"JPG\":2,\"CRW\":1},\"saved\":0,"
                            "\"failed\":0,\"unreadable_sectors\":0,\"by_verdict\":{\"complete\":3,\"reassembled\":0,\"damaged\":0,"
                            "\"truncated\":0},\"mode\":\"exact\"}}");
}

TEST(Cli, TypesPrefixAndPerTypeFiguresShapeNamesAndSizes)
{
    TempDir out;
    const Result result = RunCli(std::string("scan ") + QUORVEX_SAMPLE_IMAGE +
                                 " --types GIF,PNG --prefix Trip- --max-kb 2 --max-kb GIF=1 --out " + out.Path().string());
    ASSERT_EQ(result.status, 0);
    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 2u);
    // Table order, whatever the order on the command line: PNG before GIF.
    EXPECT_EQ(lines[0].substr(0, lines[0].find('\t')), "Trip-PNG1.PNG");
    EXPECT_EQ(lines[1].substr(0, lines[1].find('\t')), "Trip-GIF2.GIF");
    EXPECT_EQ(fs::file_size(out.Path() / "recoverd/PNG/Trip-PNG1.PNG"), 2048u);
    EXPECT_EQ(fs::file_size(out.Path() / "recoverd/GIF/Trip-GIF2.GIF"), 1024u);
}

TEST(Cli, BadUsageExitsWithOne)
{
    TempDir dir;
    const fs::path err = dir.Path() / "err.txt";
    EXPECT_EQ(RunCli("", err).status, 1);
    EXPECT_EQ(RunCli("scan", err).status, 1);
    EXPECT_EQ(RunCli(std::string("scan ") + QUORVEX_SAMPLE_IMAGE + " --types JPG,XYZ", err).status, 1);
    EXPECT_NE(ReadText(err).find("XYZ"), std::string::npos);
    EXPECT_EQ(RunCli(std::string("scan ") + QUORVEX_SAMPLE_IMAGE + " --max-kb -4", err).status, 1);
    EXPECT_EQ(RunCli(std::string("scan ") + QUORVEX_SAMPLE_IMAGE + " --max-kb 12abc", err).status, 1);
    EXPECT_EQ(RunCli(std::string("scan ") + QUORVEX_SAMPLE_IMAGE + " --prefix 'a:b'", err).status, 1);
    EXPECT_NE(ReadText(err).find("Illegal character found in file prefix."), std::string::npos);
    EXPECT_EQ(RunCli("--version").status, 0);
    EXPECT_NE(RunCli("--version").out.find("19.7"), std::string::npos);
}

TEST(Cli, ASourceThatCannotBeOpenedExitsWithTwoAndTheReason)
{
    TempDir dir;
    const fs::path err = dir.Path() / "err.txt";
    const Result result = RunCli("scan /nonexistent/card.img", err);
    EXPECT_EQ(result.status, 2);
    EXPECT_TRUE(result.out.empty());
    EXPECT_NE(ReadText(err).find("/nonexistent/card.img: no such file or device"), std::string::npos);
    EXPECT_EQ(RunCli("scan " + dir.Path().string(), err).status, 2);
}

TEST(Cli, FilesThatCannotBeWrittenExitWithThreeAndTheOthersAreSaved)
{
    TempDir out;
    fs::create_directories(out.Path() / "recoverd");
    std::ofstream(out.Path() / "recoverd/JPG") << "a file where the JPG folder must go";
    const fs::path err = out.Path() / "err.txt";
    const Result result =
        RunCli(std::string("scan ") + QUORVEX_SAMPLE_IMAGE + " --max-kb 64 --json --out " + out.Path().string(), err);
    EXPECT_EQ(result.status, 3);
    EXPECT_NE(result.out.find("\"saved\":7,\"failed\":2"), std::string::npos);
    EXPECT_NE(ReadText(err).find("FoundFileJPG1.JPG"), std::string::npos);
    EXPECT_TRUE(fs::exists(out.Path() / "recoverd/PNG/FoundFilePNG2.PNG"));
}

TEST(Cli, JsonUnreadableSectorsCountsTheScanAndTheSave)
{
    // One bad sector inside the first JPEG: the scan skips its 8-sector chunk, and every saved
    // file whose extent covers it (20 MiB each: every file that starts before it) gets one
    // sector of zeros. The summary counts both.
    const auto planted = Manifest();
    const std::uint64_t bad = planted[0].startSector + 10;
    std::uint64_t covering = 0;
    for (const PlantedFile& file : planted)
        covering += file.startSector <= bad;
    TempDir out;
    const Result result = RunCliWithFaults(
        std::string("QUORVEX_FAULT_PATH=") + QUORVEX_SAMPLE_IMAGE + " QUORVEX_FAULT_BAD_SECTORS=" + std::to_string(bad),
        std::string("scan ") + QUORVEX_SAMPLE_IMAGE + " --json --out " + out.Path().string());
    ASSERT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("\"unreadable_sectors\":" + std::to_string(8 + covering) + "}"), std::string::npos)
        << result.out.substr(result.out.rfind('{'));
}

TEST(Cli, RunningOutOfMemoryExitsWithFourAfterPrintingWhatWasFound)
{
    // Every sector of a 16 MiB image begins with "BM": 32768 found files. The allocation that
    // takes the program past 256 KiB fails, in the middle of the scan.
    TempDir dir;
    const fs::path image = dir.Path() / "bitmaps.img";
    {
        std::vector<char> sector(512, 'x');
        sector[0] = 'B';
        sector[1] = 'M';
        std::ofstream out(image, std::ios::binary);
        for (int i = 0; i < 32768; ++i)
            out.write(sector.data(), static_cast<std::streamsize>(sector.size()));
    }
    const fs::path err = dir.Path() / "err.txt";
    const Result result = RunCliWithFaults("QUORVEX_FAULT_ALLOCATION_AFTER_BYTES=262144",
                                           "scan " + image.string() + " --types BMP", err);
    EXPECT_EQ(result.status, 4);
    const auto lines = Lines(result.out);
    ASSERT_GT(lines.size(), 0u);
    EXPECT_LT(lines.size(), 32768u);
    EXPECT_EQ(lines[0], "FoundFileBMP1.BMP\tBMP\t0");
    EXPECT_EQ(lines.back(), "FoundFileBMP" + std::to_string(lines.size()) + ".BMP\tBMP\t" +
                                std::to_string(lines.size() - 1));
    EXPECT_NE(ReadText(err).find("not enough memory"), std::string::npos) << ReadText(err);
}

TEST(Cli, ReadsInterruptedBySignalsAreRetriedNotCountedAsUnreadable)
{
    const Result result = RunCliWithFaults(
        std::string("QUORVEX_FAULT_PATH=") + QUORVEX_SAMPLE_IMAGE + " QUORVEX_FAULT_EINTR_EVERY=2",
        std::string("scan ") + QUORVEX_SAMPLE_IMAGE + " --json");
    ASSERT_EQ(result.status, 0);
    EXPECT_EQ(Lines(result.out).size(), 10u);
    EXPECT_NE(result.out.find("\"found\":9,"), std::string::npos);
    EXPECT_NE(result.out.find("\"unreadable_sectors\":0}"), std::string::npos);
}

TEST(Cli, CtrlCDuringTheScanStopsItAtOnce)
{
    // Every read of the card takes half a second; Ctrl-C comes during the first one. The scan
    // must end there, not read the remaining seven blocks first.
    TempDir dir;
    const fs::path log = dir.Path() / "reads.log";
    const pid_t pid = SpawnCli({"scan", QUORVEX_SAMPLE_IMAGE}, SlowReadsOf(QUORVEX_SAMPLE_IMAGE, 500, log.string()));
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 2000 && !(fs::exists(log) && fs::file_size(log) > 0); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ::kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_LE(Lines(ReadText(log)).size(), 2u) << ReadText(log);
}

TEST(Cli, ListPrintsOneLinePerVolume)
{
    const Result text = RunCli("list");
    EXPECT_EQ(text.status, 0);
    const Result json = RunCli("list --json");
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(Lines(text.out).size(), Lines(json.out).size());
    for (const std::string& line : Lines(json.out))
        EXPECT_NE(line.find("\"kind\":"), std::string::npos) << line;
}

TEST(Cli, CtrlCStopsTheSaveKeepsWhatWasWrittenAndExitsWith130)
{
    // 4 GB per file: the first file is still being written when Ctrl-C arrives.
    TempDir out;
    const std::string outArg = out.Path().string();
    const std::vector<std::string> args = {QUORVEX_CLI_PATH, "scan", QUORVEX_SAMPLE_IMAGE, "--max-kb", "4000000",
                                           "--out", outArg};
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);

    const fs::path first = out.Path() / "recoverd/JPG/FoundFileJPG1.JPG";
    for (int i = 0; i < 2000 && !(fs::exists(first) && fs::file_size(first) > 0); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(fs::exists(first));
    ::kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_TRUE(fs::exists(first));  // the partial file stays
    EXPECT_LT(fs::file_size(first), 4000000ull * 1024);
    EXPECT_FALSE(fs::exists(out.Path() / "recoverd/PNG"));  // nothing after it was written
}
