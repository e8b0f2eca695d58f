// The quick check of a JPEG's coded data: every kind of baseline photo reads clean without a
// decode, and whatever it calls clean libjpeg decodes without a warning, over thousands of
// damaged variants; what it is not certain of goes to libjpeg.
#include "JpegDataCheck.h"
#include "JpegFormat.h"
#include "PictureEncoders.h"

#include <gtest/gtest.h>

#include <random>

using namespace quorvex;
namespace fx = quorvex::fixtures;

namespace {

struct Kind {
    const char* name;
    fx::JpegOptions options;
};

std::vector<Kind> BaselineKinds()
{
    std::vector<Kind> kinds;
    const std::pair<const char*, std::array<int, 2>> samplings[] = {
        {"4:2:0", {2, 2}}, {"4:2:2", {2, 1}}, {"4:4:4", {1, 1}}, {"4:1:1", {4, 1}}, {"4:4:0", {1, 2}}};
    for (const auto& [name, sampling] : samplings)
        for (int restart : {0, 5})
            for (bool optimize : {false, true}) {
                fx::JpegOptions options;
                options.quality = 90;
                options.lumaSampling = sampling;
                options.restartInterval = restart;
                options.optimizeCoding = optimize;
                kinds.push_back({name, options});
            }
    fx::JpegOptions grey;
    grey.grayscale = true;
    grey.restartInterval = 3;
    kinds.push_back({"grey", grey});
    fx::JpegOptions camera;
    camera.exif = fx::ExifFields{};
    kinds.push_back({"camera with Exif", camera});
    return kinds;
}

bool LibjpegSaysClean(const fx::Bytes& file)
{
    return DecodeJpegWithLibjpeg(file) == DecodeResult::Clean;
}

}  // namespace

TEST(JpegDataCheck, EveryKindOfBaselinePhotoReadsCleanWithoutADecode)
{
    for (const Kind& kind : BaselineKinds()) {
        SCOPED_TRACE(kind.name);
        // An odd size, so that partial MCUs at the right and bottom edges are coded too.
        const fx::Bytes jpeg = fx::EncodeJpeg(fx::MakeScene(203, 117, 4), kind.options);
        ASSERT_TRUE(LibjpegSaysClean(jpeg));
        EXPECT_TRUE(JpegDataCertainlyClean(jpeg));
        EXPECT_EQ(DecodeJpeg(jpeg), DecodeResult::Clean);
    }
    // Not certain, yet clean: a progressive picture goes to libjpeg.
    fx::JpegOptions progressive;
    progressive.progressive = true;
    const fx::Bytes jpeg = fx::EncodeJpeg(fx::MakeScene(120, 80, 1), progressive);
    EXPECT_FALSE(JpegDataCertainlyClean(jpeg));
    EXPECT_EQ(DecodeJpeg(jpeg), DecodeResult::Clean);
}

TEST(JpegDataCheck, DamageLibjpegWarnsOfIsNeverCalledClean)
{
    fx::JpegOptions options;
    options.restartInterval = 4;
    const fx::Bytes jpeg = fx::EncodeJpeg(fx::MakeScene(96, 64, 2), options);
    const std::size_t eoi = jpeg.size() - 2;
    auto expectDamaged = [](const fx::Bytes& file, const char* what) {
        SCOPED_TRACE(what);
        EXPECT_FALSE(JpegDataCertainlyClean(file));
        EXPECT_EQ(DecodeJpeg(file), DecodeResult::Faulty);
    };
    // (A byte or two libjpeg's bit buffer has read ahead it drops without a word; the quick check
    // leaves those to it.)
    fx::Bytes extra = jpeg;
    extra.insert(extra.begin() + static_cast<std::ptrdiff_t>(eoi), 40, 0x12);
    expectDamaged(extra, "whole bytes left before the end marker");
    fx::Bytes two = jpeg;
    two.insert(two.begin() + static_cast<std::ptrdiff_t>(eoi), {0x12, 0x34});
    EXPECT_FALSE(JpegDataCertainlyClean(two));

    fx::Bytes restart = jpeg;
    for (std::size_t i = 0; i + 1 < restart.size(); ++i)
        if (restart[i] == 0xFF && restart[i + 1] == 0xD1) {
            restart[i + 1] = 0xD3;
            break;
        }
    expectDamaged(restart, "a restart marker out of turn");

    fx::Bytes cut(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() * 3 / 4));
    cut.push_back(0xFF);
    cut.push_back(0xD9);
    expectDamaged(cut, "the coded data ending early");

    // A marker libjpeg refuses in the headers, though the data is whole.
    fx::Bytes refused = jpeg;
    const unsigned char jpgSegment[] = {0xFF, 0xC8, 0x00, 0x04, 0x00, 0x00};
    refused.insert(refused.begin() + 2, std::begin(jpgSegment), std::end(jpgSegment));
    EXPECT_FALSE(JpegDataCertainlyClean(refused));
    EXPECT_EQ(DecodeJpeg(refused), DecodeResult::Faulty);
}

TEST(JpegDataCheck, WhatItCallsCleanLibjpegDecodesWithoutAWord)
{
    // Thousands of variants of a few photos: bytes changed anywhere, runs of zeros or random
    // bytes written over them, bytes taken out or put in. A variant may still be clean (a flip in
    // a value's bits); what the quick check calls clean must be clean to libjpeg too.
    std::mt19937 random(2024);
    int certain = 0, passedOn = 0;
    for (const Kind& kind : BaselineKinds()) {
        const fx::Bytes jpeg = fx::EncodeJpeg(fx::MakeScene(64, 48, 3), kind.options);
        for (int variant = 0; variant < 150; ++variant) {
            fx::Bytes file = jpeg;
            const std::size_t at = random() % file.size();
            switch (variant % 5) {
            case 0:
                file[at] = static_cast<unsigned char>(random());
                break;
            case 1:
                file[at] ^= static_cast<unsigned char>(1u << (random() % 8));
                break;
            case 2:
                for (std::size_t i = at; i < std::min(file.size(), at + 1 + random() % 64); ++i)
                    file[i] = variant % 2 ? 0 : static_cast<unsigned char>(random());
                break;
            case 3:
                file.erase(file.begin() + static_cast<std::ptrdiff_t>(at));
                break;
            default:
                file.insert(file.begin() + static_cast<std::ptrdiff_t>(at), static_cast<unsigned char>(random()));
                break;
            }
            if (JpegDataCertainlyClean(file)) {
                ++certain;
                ASSERT_TRUE(LibjpegSaysClean(file)) << kind.name << ", variant " << variant << " at " << at;
            } else if (LibjpegSaysClean(file)) {
                ++passedOn;
            }
        }
    }
    EXPECT_GT(certain, 100);  // the check did say clean often: the property was tried
    EXPECT_GT(passedOn, 0);   // and passed some clean files on to libjpeg
}
