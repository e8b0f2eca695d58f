// Exact recovery's checks on workers beside the scan: the catalogue is what a scan that decodes
// every file before moving on finds, in that order, however the checks finish and however many
// run; a full queue makes the scan wait and never loses a file; a stop ends promptly and a scan
// resumed from any checkpoint, checks pending or not, ends with the same files; a check that
// throws keeps its file, one that runs out of memory ends the scan as before.
#include "CheckingPipeline.h"
#include "MemoryVolumeSource.h"
#include "PictureEncoders.h"
#include "RecordingObservers.h"
#include "ScanEngine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <random>
#include <thread>

using namespace quorvex;
using namespace quorvex::testing;
namespace fx = quorvex::fixtures;

namespace {

ReassemblyLimits NoReassembly()
{
    ReassemblyLimits limits;
    limits.enabled = false;
    return limits;
}

struct Found {
    std::string token;
    std::uint64_t sector;
    std::uint64_t length;
    Verdict verdict;
    friend bool operator==(const Found&, const Found&) = default;
};

std::vector<Found> Files(const FoundFileCatalogue& catalogue)
{
    std::vector<Found> files;
    catalogue.ForEachEntry([&](const FoundFileEntry& e) { files.push_back({e.token, e.startSector, e.lengthBytes, e.verdict}); });
    return files;
}

std::uint64_t Sectors(const fx::Bytes& bytes)
{
    return (bytes.size() + kSectorSize - 1) / kSectorSize;
}

// A JPEG with a comment segment after its SOI holding `inside` at a sector boundary of the
// card (the JPEG starting at a sector), and its coded data zeroed in the middle: its structure
// closes at its EOI, its data does not decode.
fx::Bytes DamagedJpegHolding(const fx::Bytes& inside, std::size_t& insideAt)
{
    const fx::Bytes picture = fx::EncodeJpegJfif(fx::MakeScene(160, 120, 9), 85);
    insideAt = 2 * kSectorSize;
    const std::size_t commentLength = insideAt - 4 + inside.size() + 16;  // SOI, FF FE, the length
    fx::Bytes file = {0xFF, 0xD8, 0xFF, 0xFE, static_cast<unsigned char>(commentLength >> 8),
                      static_cast<unsigned char>(commentLength & 0xFF)};
    file.resize(insideAt, 0x20);
    file.insert(file.end(), inside.begin(), inside.end());
    file.resize(4 + commentLength, 0x20);
    file.insert(file.end(), picture.begin() + 2, picture.end());
    std::fill(file.end() - static_cast<std::ptrdiff_t>(picture.size() / 2), file.end() - 400, 0);
    return file;
}

// A card of photos whose expected finds are known: whole JPEGs and PNGs of many sizes; a damaged
// JPEG holding a bitmap (found only because the JPEG is not whole: the scan tests its inside and
// then goes on with what it had found after it); and a damaged JPEG holding a multi-picture JPEG
// whose second picture lies beyond the damaged one's end, so that the files between are inside it
// (what the scan had found after the damaged one is then not found).
struct PipelineCard {
    std::vector<unsigned char> bytes;
    std::vector<Found> expected;
};

PipelineCard MakeCard()
{
    PipelineCard card;
    card.bytes = MakeVolumeBytes(16384, 0x33);
    std::uint64_t at = 64;
    auto put = [&](const std::string& token, const fx::Bytes& file, Verdict verdict, bool expected = true) {
        const std::uint64_t sector = at;
        PutAtSector(card.bytes, sector, file);
        if (expected)
            card.expected.push_back({token, sector, file.size(), verdict});
        at += Sectors(file) + 3;
        return sector;
    };
    for (int i = 0; i < 10; ++i) {
        fx::JpegOptions options;
        options.restartInterval = i % 3 == 0 ? 4 : 0;
        put("JPG", fx::EncodeJpeg(fx::MakeScene(64 + 37 * i, 48 + 11 * i, i), options), Verdict::Complete);
        if (i % 2 == 0)
            put("PNG", fx::EncodePng(fx::MakeScene(40 + 9 * i, 30, i)), Verdict::Complete);
    }

    // The damaged JPEG with a flat bitmap inside (no 0xFF byte that would end its walk).
    fx::RgbImage flat{32, 16, fx::Bytes(32 * 16 * 3, 0x80)};
    const fx::Bytes bitmap = fx::EncodeBmp(flat);
    std::size_t bitmapAt = 0;
    const fx::Bytes holdingBitmap = DamagedJpegHolding(bitmap, bitmapAt);
    const std::uint64_t first = put("JPG", holdingBitmap, Verdict::Damaged);
    card.expected.push_back({"BMP", first + bitmapAt / kSectorSize, bitmap.size(), Verdict::Complete});
    put("PNG", fx::EncodePng(fx::MakeScene(50, 50, 30)), Verdict::Complete);
    put("JPG", fx::EncodeJpegJfif(fx::MakeScene(90, 70, 31), 80), Verdict::Complete);

    // The damaged JPEG with a multi-picture JPEG inside whose second picture lies beyond it.
    fx::Bytes multi = fx::EncodeMultiPictureJpeg(fx::MakeScene(48, 32, 40), fx::MakeScene(16, 16, 41));
    std::size_t multiAt = 0;
    const fx::Bytes holdingMulti = DamagedJpegHolding(multi, multiAt);
    const std::uint64_t second = put("JPG", holdingMulti, Verdict::Damaged);
    const std::uint64_t multiSector = second + multiAt / kSectorSize;
    put("PNG", fx::EncodePng(fx::MakeScene(60, 40, 42)), Verdict::Complete, false);  // inside the multi-picture file
    const fx::Bytes appended = fx::EncodeJpegJfif(fx::MakeScene(70, 50, 43), 80);
    const std::uint64_t appendedSector = put("JPG", appended, Verdict::Complete, false);
    // Point its second picture's entry at the JPEG planted after the damaged one.
    const std::size_t mpf = static_cast<std::size_t>(
        std::search(multi.begin(), multi.end(), std::begin("MPF"), std::end("MPF")) - multi.begin());
    const std::size_t header = mpf + 4, entries = header + 8 + 2 + 36 + 4;
    const std::uint64_t offset = appendedSector * kSectorSize - (multiSector * kSectorSize + header);
    for (int b = 0; b < 4; ++b) {
        multi[entries + 16 + 4 + b] = static_cast<unsigned char>(appended.size() >> (8 * b));
        multi[entries + 16 + 8 + b] = static_cast<unsigned char>(offset >> (8 * b));
    }
    PutAtSector(card.bytes, multiSector, multi);
    card.expected.push_back({"JPG", multiSector, (appendedSector - multiSector) * kSectorSize + appended.size(),
                             Verdict::Complete});
    for (int i = 0; i < 6; ++i)
        put(i % 2 ? "PNG" : "JPG", i % 2 ? fx::EncodePng(fx::MakeScene(33, 21, 50 + i)) : fx::EncodeJpegJfif(fx::MakeScene(77, 55, 50 + i), 70),
            Verdict::Complete);
    EXPECT_LT(at, 16384u);
    return card;
}

VolumeOpener Opener(const std::vector<unsigned char>& bytes)
{
    return [&bytes] {
        VolumeOpenResult result;
        result.source = std::make_unique<MemoryVolumeSource>(bytes);
        return result;
    };
}

ScanEngine::Options Checks(unsigned workers, std::size_t pendingBytes, std::function<void(std::size_t)> before = {})
{
    ScanEngine::Options options;
    options.blockSectors = 64;
    options.checkWorkers = workers;
    options.pendingCheckBytes = pendingBytes;
    options.beforeCheck = std::move(before);
    return options;
}

ScanSummary ScanExactly(const std::vector<unsigned char>& card, FoundFileCatalogue& catalogue, ScanEngine::Options options,
                        ScanCheckpointSink* sink = nullptr)
{
    RecordingScanObserver observer;
    ScanEngine engine(catalogue, observer, std::move(options));
    engine.SetReassemblyLimits(NoReassembly());
    engine.SetCheckpointSink(sink, std::chrono::milliseconds(0));
    return engine.Run(Opener(card), SelectedTypes::AllTypes("F", 64), RecoveryMode::Exact);
}

// Checks that take a little while, different for each file: they end out of order.
std::function<void(std::size_t)> UnevenChecks()
{
    return [](std::size_t size) { std::this_thread::sleep_for(std::chrono::microseconds(size % 7 * 300)); };
}

}  // namespace

TEST(CheckingPipeline, FilesComeInFoundOrderAsAScanThatDecodesEachInTurnFindsThem)
{
    const PipelineCard card = MakeCard();
    for (unsigned workers : {1u, 2u, 4u})
        for (std::size_t pending : {std::size_t{1}, std::size_t{32} << 20}) {
            SCOPED_TRACE(::testing::Message() << workers << " workers, " << pending << " bytes queued");
            FoundFileCatalogue catalogue;
            const ScanSummary summary = ScanExactly(card.bytes, catalogue, Checks(workers, pending, UnevenChecks()));
            EXPECT_EQ(summary.outcome, ScanOutcome::Completed);
            EXPECT_EQ(Files(catalogue), card.expected);
        }
}

TEST(CheckingPipeline, AFullQueueMakesTheSubmitterWaitAndLosesNothing)
{
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    CheckingPipeline::Options options;
    options.workers = 1;
    options.pendingBytes = 100;
    options.beforeCheck = [released](std::size_t) { released.wait(); };
    CheckingPipeline pipeline(options, nullptr);
    auto make = [&pipeline] {
        FileBytes bytes = pipeline.TakeBuffer();
        bytes.Resize(60);
        return std::make_shared<FileCheck>([](std::span<const unsigned char>) { return DecodeResult::Clean; },
                                           std::move(bytes));
    };
    const auto first = make(), second = make();
    ASSERT_TRUE(pipeline.Submit(first));
    auto submitting = std::async(std::launch::async, [&] { return pipeline.Submit(second); });
    EXPECT_EQ(submitting.wait_for(std::chrono::milliseconds(150)), std::future_status::timeout);  // 120 > 100 bytes
    release.set_value();
    EXPECT_TRUE(submitting.get());
    EXPECT_TRUE(pipeline.Wait(*first));
    EXPECT_TRUE(pipeline.Wait(*second));
    EXPECT_EQ(first->Result(), DecodeResult::Clean);
    EXPECT_EQ(second->Result(), DecodeResult::Clean);
    EXPECT_GE(pipeline.TakeBuffer().Capacity(), 60u);  // the buffers came back for later files
}

TEST(CheckingPipeline, AStopEndsPromptlyAndAScanResumedFromAnyCheckpointFindsTheSameFiles)
{
    const PipelineCard card = MakeCard();
    // Every checkpoint, with the catalogue as it was: some come while checks are still pending.
    struct EveryCheckpoint : ScanCheckpointSink {
        std::vector<std::pair<FoundFileCatalogue, ScanCheckpoint>> kept;
        void SaveCheckpoint(const FoundFileCatalogue& catalogue, const ScanCheckpoint& checkpoint) override
        {
            kept.emplace_back(catalogue, checkpoint);
        }
    } sink;
    FoundFileCatalogue whole;
    const auto slow = [](std::size_t) { std::this_thread::sleep_for(std::chrono::milliseconds(2)); };
    ScanExactly(card.bytes, whole, Checks(2, 64 << 10, slow), &sink);
    ASSERT_EQ(Files(whole), card.expected);
    ASSERT_GT(sink.kept.size(), 20u);
    int resumed = 0;
    for (auto& [catalogue, checkpoint] : sink.kept) {
        if (checkpoint.finished)
            continue;
        RecordingScanObserver observer;
        ScanEngine engine(catalogue, observer, Checks(2, 64 << 10));
        engine.SetReassemblyLimits(NoReassembly());
        EXPECT_EQ(engine.Resume(Opener(card.bytes), checkpoint).outcome, ScanOutcome::Completed);
        EXPECT_EQ(Files(catalogue), card.expected) << "resumed at sector " << checkpoint.nextSector;
        ++resumed;
    }
    EXPECT_GT(resumed, 10);

    // Stopped while checks are slow: the scan ends soon, with the files settled before the stop.
    FoundFileCatalogue stopped;
    RecordingScanObserver observer;
    ScanEngine engine(stopped, observer, Checks(1, 32 << 20, [](std::size_t) { std::this_thread::sleep_for(std::chrono::milliseconds(20)); }));
    engine.SetReassemblyLimits(NoReassembly());
    engine.Start(Opener(card.bytes), SelectedTypes::AllTypes("F", 64), RecoveryMode::Exact);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    const auto stopAt = std::chrono::steady_clock::now();
    engine.RequestStop();
    engine.Wait();
    EXPECT_LT(std::chrono::steady_clock::now() - stopAt, std::chrono::seconds(2));
    ASSERT_EQ(observer.finished.size(), 1u);
    EXPECT_EQ(observer.finished[0].outcome, ScanOutcome::Stopped);
    const std::vector<Found> found = Files(stopped);
    ASSERT_LT(found.size(), card.expected.size());
    EXPECT_TRUE(std::equal(found.begin(), found.end(), card.expected.begin()));  // a beginning of the list
}

TEST(CheckingPipeline, ACheckThatThrowsKeepsItsFileAndOneOutOfMemoryEndsTheScanAsBefore)
{
    const PipelineCard card = MakeCard();
    const std::uint64_t failing = card.expected[2].length;  // the second JPEG's check fails
    FoundFileCatalogue catalogue;
    const ScanSummary summary = ScanExactly(card.bytes, catalogue, Checks(2, 32 << 20, [failing](std::size_t size) {
                                                if (size == failing)
                                                    throw std::runtime_error("a decoder gave up");
                                            }));
    EXPECT_EQ(summary.outcome, ScanOutcome::Completed);
    EXPECT_EQ(Files(catalogue), card.expected);  // unchecked, its walk decides: complete

    FoundFileCatalogue short_;
    const ScanSummary out = ScanExactly(card.bytes, short_, Checks(2, 32 << 20, [failing](std::size_t size) {
                                            if (size == failing)
                                                throw std::bad_alloc();
                                        }));
    EXPECT_EQ(out.outcome, ScanOutcome::OutOfMemory);
    EXPECT_EQ(out.message, "There is not enough memory to go on scanning.");
    const std::vector<Found> found = Files(short_);
    EXPECT_EQ(found, std::vector<Found>(card.expected.begin(), card.expected.begin() + 2));
}
