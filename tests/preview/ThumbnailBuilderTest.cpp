// The thumbnail worker: which entries get tiles, how it reports progress, and how a new pass
// stops the one still running.
#include "FaultyVolumeSource.h"
#include "MemoryVolumeSource.h"
#include "PictureEncoders.h"
#include "ThumbnailBuilder.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace quorvex;
using namespace quorvex::preview;
using namespace quorvex::testing;
namespace fx = quorvex::fixtures;

namespace {

// What one pass reported, collected on the worker thread (direct connections).
struct PassRecord {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int> percents;
    std::vector<QString> names;
    std::vector<bool> finished;  // the stopped flag of each Finished

    // Names come from `catalogue`: the entries of tokens[0] in the first pass, tokens[1] in the
    // next one, and so on.
    void Connect(ThumbnailBuilder& builder, const FoundFileCatalogue& catalogue, std::vector<std::string> tokens)
    {
        QObject::connect(&builder, &ThumbnailBuilder::Progress, [this](int percent) {
            std::lock_guard lock(mutex);
            percents.push_back(percent);
        });
        QObject::connect(&builder, &ThumbnailBuilder::TileReady, [this, &catalogue, tokens](qulonglong position, const QImage&) {
            std::lock_guard lock(mutex);
            const std::string& token = tokens.at(finished.size());
            names.push_back(QString::fromStdString(catalogue.EntryAt(catalogue.IndexOfTypeEntry(token, position)).name));
            changed.notify_all();
        });
        QObject::connect(&builder, &ThumbnailBuilder::Finished, [this](bool stopped) {
            std::lock_guard lock(mutex);
            finished.push_back(stopped);
            changed.notify_all();
        });
    }
    template <typename Predicate>
    bool WaitFor(Predicate predicate)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(20), [&] { return predicate(*this); });
    }
};

// A card with a small JPEG at every 16th sector from 16 on, `count` of them, and its catalogue
// (JPG and BMP alternate in the catalogue; the BMP entries point at the same pictures).
struct JpegCard {
    std::vector<unsigned char> bytes;
    FoundFileCatalogue catalogue;

    explicit JpegCard(int count)
    {
        const fx::Bytes jpeg = fx::EncodeJpegJfif(fx::MakeScene(32, 24, 1), 80);
        bytes = MakeVolumeBytes(static_cast<std::size_t>(16 * (count + 2)));
        catalogue.Reset(SelectedTypes({{"JPG", "J", 4}, {"BMP", "B", 4}}));
        for (int i = 0; i < count; ++i) {
            PutAtSector(bytes, static_cast<std::uint64_t>(16 * (i + 1)), jpeg);
            catalogue.AppendFoundFile(static_cast<std::size_t>(i % 2), static_cast<std::uint64_t>(16 * (i + 1)));
        }
    }
    VolumeOpener Opener(std::chrono::milliseconds perRead = std::chrono::milliseconds(0)) const
    {
        return [volume = bytes, perRead] {
            auto faulty = std::make_unique<FaultyVolumeSource>(std::make_unique<MemoryVolumeSource>(volume));
            if (perRead.count() > 0)
                faulty->OnRead([perRead](std::uint64_t) { std::this_thread::sleep_for(perRead); });
            VolumeOpenResult result;
            result.source = std::move(faulty);
            return result;
        };
    }
};

}  // namespace

TEST(ThumbnailBuilder, TilesOneTypeInCatalogueOrderWithRisingProgress)
{
    const JpegCard card(300);
    ThumbnailBuilder builder;
    PassRecord record;
    record.Connect(builder, card.catalogue, {"JPG"});
    builder.Start(card.catalogue, quorvex::preview::FoundFileGroup::OfType("JPG"), card.Opener(), QString());
    builder.Wait();
    ASSERT_EQ(record.finished, std::vector<bool>{false});
    ASSERT_EQ(record.names.size(), 150u);
    EXPECT_EQ(record.names.front(), "J1.JPG");
    EXPECT_EQ(record.names.back(), "J299.JPG");
    // Progress runs over the type's entries, each value once, from 0 up to 99.
    ASSERT_FALSE(record.percents.empty());
    EXPECT_EQ(record.percents.front(), 0);
    EXPECT_EQ(record.percents.back(), 99);
    for (std::size_t i = 1; i < record.percents.size(); ++i)
        EXPECT_GT(record.percents[i], record.percents[i - 1]);
    EXPECT_EQ(record.percents.size(), 100u);
}

TEST(ThumbnailBuilder, StartingAnotherPassStopsTheOneStillRunning)
{
    const JpegCard card(40);
    ThumbnailBuilder builder;
    PassRecord record;
    record.Connect(builder, card.catalogue, {"JPG", "BMP"});
    builder.Start(card.catalogue, quorvex::preview::FoundFileGroup::OfType("JPG"), card.Opener(std::chrono::milliseconds(50)), QString());
    ASSERT_TRUE(record.WaitFor([](PassRecord& r) { return !r.names.empty(); }));
    builder.Start(card.catalogue, quorvex::preview::FoundFileGroup::OfType("BMP"), card.Opener(), QString());
    builder.Wait();
    ASSERT_EQ(record.finished.size(), 2u);
    EXPECT_TRUE(record.finished[0]);  // the JPG pass was stopped, not waited out
    EXPECT_FALSE(record.finished[1]);
    EXPECT_LT(std::count_if(record.names.begin(), record.names.end(), [](const QString& n) { return n.startsWith('J'); }),
              20);
    EXPECT_EQ(record.names.back(), "B40.BMP");
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
