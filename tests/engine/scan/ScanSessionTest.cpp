// Scan sessions: a scan's state in a file that survives any interruption, read back with every
// field checked, and a resumed scan that ends with exactly what an uninterrupted one finds.
#include "CameraFiles.h"
#include "FaultyVolumeSource.h"
#include "MemoryVolumeSource.h"
#include "PictureEncoders.h"
#include "RecordingObservers.h"
#include "ScanEngine.h"
#include "ScanSession.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <fstream>

using namespace quorvex;
using namespace quorvex::testing;
namespace fx = quorvex::fixtures;

namespace {

// A card of 4000 sectors with JPEGs and bitmaps spread over it.
std::vector<unsigned char> Card()
{
    auto volume = MakeVolumeBytes(4000, 0x20);
    for (std::uint64_t s = 8; s < 4000; s += 160) {
        PutAtSector(volume, s, fx::EncodeJpegJfif(fx::MakeScene(64, 48, static_cast<int>(s % 7)), 80));
        PutAtSector(volume, s + 96, fx::EncodeBmp(fx::MakeScene(40, 30, static_cast<int>(s % 5))));
    }
    return volume;
}

VolumeOpener Opener(const std::vector<unsigned char>& volume, std::function<void(std::uint64_t)> onRead = {})
{
    return [volume, onRead] {
        auto faulty = std::make_unique<FaultyVolumeSource>(std::make_unique<MemoryVolumeSource>(volume));
        if (onRead)
            faulty->OnRead(onRead);
        VolumeOpenResult result;
        result.source = std::move(faulty);
        return result;
    };
}

struct Found {
    std::string name;
    std::uint64_t sector, length;
    Verdict verdict;
    friend bool operator==(const Found&, const Found&) = default;
};

std::vector<Found> Files(const FoundFileCatalogue& catalogue)
{
    std::vector<Found> files;
    catalogue.ForEachEntry([&](const FoundFileEntry& e) { files.push_back({e.name, e.startSector, e.lengthBytes, e.verdict}); });
    return files;
}

SourceIdentity IdentityOf(const std::vector<unsigned char>& volume)
{
    VolumeReader reader;
    reader.Open(Opener(volume));
    return IdentifySource(reader, "/dev/card");
}

// Keeps the last checkpoint and how many there were.
struct KeepingSink : ScanCheckpointSink {
    FoundFileCatalogue catalogue;
    ScanCheckpoint last;
    int count = 0;
    void SaveCheckpoint(const FoundFileCatalogue& c, const ScanCheckpoint& checkpoint) override
    {
        catalogue = c;
        last = checkpoint;
        ++count;
    }
};

}  // namespace

TEST(ScanSession, AStoppedScanResumesToExactlyWhatAnUninterruptedScanFinds)
{
    const auto volume = Card();
    for (RecoveryMode mode : {RecoveryMode::Described, RecoveryMode::Exact}) {
        // Uninterrupted.
        FoundFileCatalogue whole;
        RecordingScanObserver observer;
        ScanEngine(whole, observer, ScanEngine::Options{64}).Run(Opener(volume), SelectedTypes::AllTypes("F", 32), mode);
        ASSERT_EQ(whole.FoundCount(), 50u);

        // Stopped halfway, with files found and (in exact recovery) checks still running.
        FoundFileCatalogue first;
        struct StopHalfway : RecordingScanObserver {
            ScanEngine* engine = nullptr;
            void OnScanProgress(int percent) override
            {
                if (percent >= 50)
                    engine->RequestStop();
            }
        } stopper;
        ScanEngine engine(first, stopper, ScanEngine::Options{64});
        stopper.engine = &engine;
        KeepingSink sink;
        engine.SetCheckpointSink(&sink);
        EXPECT_EQ(engine.Run(Opener(volume), SelectedTypes::AllTypes("F", 32), mode).outcome, ScanOutcome::Stopped);
        ASSERT_FALSE(sink.last.finished);
        EXPECT_GT(sink.last.nextSector, 0u);
        EXPECT_GT(sink.catalogue.FoundCount(), 0u);
        EXPECT_LT(sink.catalogue.FoundCount(), whole.FoundCount());

        // Through a session file, as after a crash, and resumed.
        TempFolder folder;
        const std::string path = (folder / "scan.qvxs").string();
        ASSERT_EQ(WriteSessionFile(path, IdentityOf(volume), sink.catalogue, sink.last), "");
        ScanSession session;
        ASSERT_TRUE(ReadSessionFile(path, session).ok());
        EXPECT_TRUE(SessionMatches(session, IdentityOf(volume), SelectedTypes::AllTypes("F", 32), mode).ok());
        RecordingScanObserver resumedObserver;
        ScanEngine resumed(session.catalogue, resumedObserver, ScanEngine::Options{64});
        KeepingSink end;
        resumed.SetCheckpointSink(&end);
        EXPECT_EQ(resumed.Resume(Opener(volume), session.checkpoint).outcome, ScanOutcome::Completed);
        EXPECT_EQ(Files(session.catalogue), Files(whole));
        EXPECT_EQ(resumedObserver.typesFound, observer.typesFound);  // the types again, in their order
        EXPECT_TRUE(end.last.finished);
    }
}

TEST(ScanSession, CheckpointsComeAsTheScanGoesAndAtTheEnd)
{
    KeepingSink sink;
    FoundFileCatalogue catalogue;
    RecordingScanObserver observer;
    ScanEngine engine(catalogue, observer, ScanEngine::Options{64});
    engine.SetCheckpointSink(&sink, std::chrono::milliseconds(0));
    engine.Run(Opener(Card()), SelectedTypes::AllTypes("F", 32));
    EXPECT_GT(sink.count, 10);  // one per block with no interval, and the last
    EXPECT_TRUE(sink.last.finished);
    EXPECT_EQ(sink.last.nextSector, 4000u);
}

TEST(ScanSession, WhatIsReadBackIsWhatWasWritten)
{
    const auto volume = Card();
    FoundFileCatalogue catalogue;
    RecordingScanObserver observer;
    ScanEngine(catalogue, observer).Run(Opener(volume), SelectedTypes::AllTypes("Trip-", 64), RecoveryMode::Exact);
    const SourceIdentity source = IdentityOf(volume);
    const ScanCheckpoint checkpoint{4000, 4100, 16, true};
    ScanSession session;
    ASSERT_TRUE(ParseSession(SessionBytes(source, catalogue, checkpoint), session).ok());
    EXPECT_EQ(session.source.path, "/dev/card");
    EXPECT_TRUE(session.source.SameMedium(source));
    EXPECT_EQ(session.checkpoint.resumeAt, 4100u);
    EXPECT_EQ(session.checkpoint.unreadableSectors, 16u);
    EXPECT_TRUE(session.checkpoint.finished);
    EXPECT_EQ(session.catalogue.Mode(), RecoveryMode::Exact);
    EXPECT_EQ(session.catalogue.Selection()[0].prefix, "Trip-JPG");
    EXPECT_EQ(Files(session.catalogue), Files(catalogue));

    // A figure of 0 KiB is a choice the type page allows (files saved empty): it comes back.
    FoundFileCatalogue zero;
    zero.Reset(SelectedTypes({{"BMP", "FoundFileBMP", 0}}));
    ASSERT_TRUE(ParseSession(SessionBytes(source, zero, checkpoint), session).ok());
    EXPECT_EQ(session.catalogue.Selection()[0].maxSizeKb, 0);
}

TEST(ScanSession, SessionsOfAnotherSourceOrOtherOptionsAreRefused)
{
    const auto volume = Card();
    FoundFileCatalogue catalogue;
    catalogue.Reset(SelectedTypes::AllTypes("F", 32));
    ScanSession session;
    ASSERT_TRUE(ParseSession(SessionBytes(IdentityOf(volume), catalogue, {}), session).ok());
    auto other = volume;
    other[2000 * 512 / 9 * 512 / 512] ^= 1;  // a byte that no sample sees: same card
    other[0] ^= 1;                           // the first sector differs: another card
    const SessionCheck card = SessionMatches(session, IdentityOf(other), SelectedTypes::AllTypes("F", 32),
                                             RecoveryMode::Described);
    EXPECT_EQ(card.problem, SessionProblem::OtherSource);
    EXPECT_NE(card.reason.find("another card"), std::string::npos);
    EXPECT_EQ(SessionMatches(session, IdentityOf(volume), SelectedTypes::AllTypes("F", 16), RecoveryMode::Described).problem,
              SessionProblem::OtherOptions);
    EXPECT_EQ(SessionMatches(session, IdentityOf(volume), SelectedTypes::AllTypes("G", 32), RecoveryMode::Described).problem,
              SessionProblem::OtherOptions);
    const SessionCheck mode =
        SessionMatches(session, IdentityOf(volume), SelectedTypes::AllTypes("F", 32), RecoveryMode::Exact);
    EXPECT_EQ(mode.problem, SessionProblem::OtherOptions);
    EXPECT_NE(mode.reason.find("exact recovery"), std::string::npos);
}

namespace {

// The file with its checksum made right again for what it holds now (FNV-1a, 64 bits, of all but
// its last eight bytes, little-endian in them), as a forger would.
std::vector<unsigned char> Resealed(std::vector<unsigned char> bytes)
{
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (std::size_t i = 0; i + 8 < bytes.size(); ++i)
        hash = (hash ^ bytes[i]) * 0x100000001B3ull;
    for (int i = 0; i < 8; ++i)
        bytes[bytes.size() - 8 + static_cast<std::size_t>(i)] = static_cast<unsigned char>(hash >> (8 * i));
    return bytes;
}

}  // namespace

TEST(ScanSession, TheChecksumRefusesAChangeThatWouldParseAndTheListMustAddUp)
{
    FoundFileCatalogue catalogue;
    catalogue.Reset(SelectedTypes::AllTypes("F", 32));
    const SourceIdentity source{"/dev/card", 4000 * 512, 77};
    ScanCheckpoint sixteen;
    sixteen.unreadableSectors = 16;
    ScanCheckpoint seventeen = sixteen;
    seventeen.unreadableSectors = 17;
    const auto original = SessionBytes(source, catalogue, sixteen);
    const auto other = SessionBytes(source, catalogue, seventeen);
    ASSERT_EQ(original.size(), other.size());
    const auto at = std::mismatch(original.begin(), original.end(), other.begin()).first - original.begin();
    auto changed = original;
    changed[static_cast<std::size_t>(at)] = 17;  // a count of unreadable sectors, still well formed
    ScanSession session;
    EXPECT_EQ(ParseSession(changed, session).problem, SessionProblem::Damaged);
    ASSERT_TRUE(ParseSession(Resealed(changed), session).ok());  // only the checksum told
    EXPECT_EQ(session.checkpoint.unreadableSectors, 17u);

    // A list of found files that ends before its own count, even under a right checksum.
    auto noCount = original;
    noCount.erase(noCount.end() - 16, noCount.end() - 8);  // the count of found files (0)
    EXPECT_EQ(ParseSession(Resealed(noCount), session).problem, SessionProblem::Damaged);
}

TEST(ScanSession, DamagedForeignNewerAndHostileFilesAreRefused)
{
    FoundFileCatalogue catalogue;
    catalogue.Reset(SelectedTypes::AllTypes("F", 32));
    for (std::uint64_t s = 0; s < 100; ++s)
        catalogue.AppendFoundFile(s % 3, s * 8);
    const SourceIdentity source{"/dev/card", 4000 * 512, 77};
    const auto bytes = SessionBytes(source, catalogue, {});
    ScanSession session;
    auto flipped = bytes;
    flipped[bytes.size() / 2] ^= 0x40;
    EXPECT_EQ(ParseSession(flipped, session).problem, SessionProblem::Damaged);
    EXPECT_EQ(ParseSession(std::span(bytes).first(bytes.size() - 13), session).problem, SessionProblem::Damaged);
    EXPECT_EQ(ParseSession(std::span(bytes).first(5), session).problem, SessionProblem::NotASession);
    const std::string png = "\x89PNG\r\n\x1a\n and more";
    EXPECT_EQ(ParseSession({reinterpret_cast<const unsigned char*>(png.data()), png.size()}, session).problem,
              SessionProblem::NotASession);
    auto newer = bytes;
    newer[8] = ScanSession::kVersion + 1;
    EXPECT_EQ(ParseSession(newer, session).problem, SessionProblem::NewerVersion);

    // Well-formed files whose fields would be dangerous are refused too: a prefix that leads out
    // of the destination, a found file beyond its source.
    FoundFileCatalogue hostile;
    hostile.Reset(SelectedTypes({{"JPG", "../../etc/x", 4}}));
    EXPECT_EQ(ParseSession(SessionBytes(source, hostile, {}), session).problem, SessionProblem::Damaged);
    FoundFileCatalogue outside;
    outside.Reset(SelectedTypes::AllTypes("F", 32));
    outside.AppendFoundFile(0, 4000);
    EXPECT_EQ(ParseSession(SessionBytes(source, outside, {}), session).problem, SessionProblem::Damaged);
    // A type listed twice, or a negative size, is nothing Quorvex writes.
    FoundFileCatalogue twice;
    twice.Reset(SelectedTypes({{"JPG", "a", 4}, {"JPG", "b", 4}}));
    EXPECT_EQ(ParseSession(SessionBytes(source, twice, {}), session).problem, SessionProblem::Damaged);
    FoundFileCatalogue negative;
    negative.Reset(SelectedTypes({{"JPG", "a", -1}}));
    EXPECT_EQ(ParseSession(SessionBytes(source, negative, {}), session).problem, SessionProblem::Damaged);
    ScanCheckpoint pastTheEnd;
    pastTheEnd.nextSector = 4000 + 4096;
    EXPECT_EQ(ParseSession(SessionBytes(source, catalogue, pastTheEnd), session).problem, SessionProblem::Damaged);

    TempFolder folder;
    EXPECT_EQ(ReadSessionFile((folder / "missing").string(), session).problem, SessionProblem::Unreadable);
}

TEST(ScanSession, AFolderThatCannotTakeTheSessionLetsTheScanGoOnAndSaysSoOnce)
{
    TempFolder folder;
    std::ofstream(folder / "in-the-way") << "a file, not a folder";
    std::vector<std::string> failures;
    ScanSessionWriter writer((folder / "in-the-way/scan.qvxs").string(), SourceIdentity{},
                             [&](const std::string& why) { failures.push_back(why); });
    FoundFileCatalogue catalogue;
    RecordingScanObserver observer;
    ScanEngine engine(catalogue, observer, ScanEngine::Options{64});
    engine.SetCheckpointSink(&writer, std::chrono::milliseconds(0));
    EXPECT_EQ(engine.Run(Opener(Card()), SelectedTypes::AllTypes("F", 32)).outcome, ScanOutcome::Completed);
    EXPECT_EQ(failures.size(), 1u);
    EXPECT_FALSE(writer.Failure().empty());
}

TEST(ScanSession, TheCardsNamesAndMappedPiecesSurviveASessionAndHostileOnesAreRefused)
{
    FoundFileCatalogue catalogue;
    catalogue.Reset(SelectedTypes::AllTypes("Found", 20480), RecoveryMode::Exact);
    const std::size_t jpg = *catalogue.Selection().IndexOf("JPG");
    catalogue.AppendFoundFile(jpg, 8, 3000, Verdict::Complete);
    catalogue.AppendFoundFile(jpg, 40, 2000, Verdict::Damaged);
    catalogue.AppendFoundFile(jpg, 80, 5000, Verdict::Complete);
    ASSERT_TRUE(catalogue.SetCardName(0, CardName{"DCIM/100CANON", "IMG_0001.JPG", true, 1718000000}));
    ASSERT_TRUE(catalogue.SetMappedPieces(2, {{80 * 512, 4096}, {120 * 512, 904}}));
    ASSERT_TRUE(catalogue.SetCardName(2, CardName{"", "Beach day.jpg", false, 0}));
    SourceIdentity source;
    source.path = "card.img";
    source.sizeBytes = 1 << 20;
    const std::vector<unsigned char> bytes = SessionBytes(source, catalogue, {});
    ScanSession session;
    ASSERT_TRUE(ParseSession(bytes, session).ok()) << ParseSession(bytes, session).reason;
    ASSERT_NE(session.catalogue.CardNameAt(0), nullptr);
    EXPECT_EQ(*session.catalogue.CardNameAt(0), *catalogue.CardNameAt(0));
    EXPECT_EQ(session.catalogue.CardNameAt(1), nullptr);
    EXPECT_EQ(session.catalogue.CardNameAt(2)->Path(), "Beach day.jpg");
    EXPECT_EQ(session.catalogue.PiecesAt(2), catalogue.PiecesAt(2));
    EXPECT_EQ(session.catalogue.VerdictAt(2), Verdict::Complete);
    EXPECT_EQ(session.catalogue.ReassembledCount(), 0u);

    // The names come last, before the checksum: index, folder, name, deleted flag, time.
    const std::size_t last = bytes.size() - 8 - (8 + 2 + 0 + 2 + 13 + 1 + 8);
    auto forged = [&](std::size_t at, unsigned char value) {
        std::vector<unsigned char> changed = bytes;
        changed[at] = value;
        return Resealed(changed);
    };
    EXPECT_TRUE(ParseSession(Resealed(bytes), session).ok());
    EXPECT_EQ(ParseSession(forged(last, 7), session).problem, SessionProblem::Damaged);                 // no such entry
    EXPECT_EQ(ParseSession(forged(bytes.size() - 8 - 9, 2), session).problem, SessionProblem::Damaged);  // deleted is 0 or 1
    EXPECT_EQ(ParseSession(forged(last, 0), session).problem, SessionProblem::Damaged);                 // out of order
}
