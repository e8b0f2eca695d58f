// The search for a damaged photo's or movie's pieces over a volume that is all fuzzer bytes: a
// JPEG, PNG, HEIC or MP4 at its start (its tables and item locations pointing anywhere), anything
// after it. Whatever the bytes, the search ends within its bounds, reads
// nothing outside the volume, and what it returns are two or more pieces that start at the file,
// lie on the volume and on the grid, and add up to no more than the file's bound. The strict
// decoder is run over the bytes too, a progressive JPEG's scans one after another: it never reads
// past them, decodes no more MCUs than a scan has, and ends where it says.
#include "FuzzVolume.h"
#include "FragmentReassembler.h"
#include "VolumeByteCache.h"
#include "ByteSource.h"
#include "JpegEntropy.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace {

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace quorvex;
    if (size < 16)
        return 0;
    // Whole sectors, as a volume has; the fuzzer's bytes from the first on.
    std::vector<unsigned char> bytes((size + kSectorSize - 1) / kSectorSize * kSectorSize, 0);
    std::memcpy(bytes.data(), data, size);

    {
        MemoryByteSource file({data, size});
        if (const auto layout = ReadJpegScanLayout(file)) {
            JpegEntropyDecoder decoder(*layout, file);
            JpegEntropyDecoder::LumaEdges edges;
            JpegEntropyDecoder::Step step;
            std::uint64_t mcus = 0;
            while ((step = decoder.Next(&edges)) == JpegEntropyDecoder::Step::Decoded)
                if (++mcus > layout->McuCount() || decoder.Current().position > size)
                    __builtin_trap();
            if (step == JpegEntropyDecoder::Step::End && (decoder.EndOffset() > size || mcus != layout->McuCount()))
                __builtin_trap();
        }
        std::optional<JpegScanLayout> scan = ReadFirstJpegScan(file);
        JpegCoefficients coefficients;
        if (scan && scan->progressive && coefficients.Reset(*scan, 1u << 16)) {
            for (int scans = 0; scan && scan->imageEnd == 0 && scans < 64; ++scans) {
                JpegEntropyDecoder decoder(*scan, file);
                decoder.SetCoefficients(&coefficients, scans % 2 == 0, scans % 3 == 0 ? 8 : 0);
                JpegEntropyDecoder::Step step;
                std::uint64_t mcus = 0;
                for (;;) {
                    const JpegEntropyDecoder::State before = decoder.Current();
                    step = decoder.Next();
                    if (step == JpegEntropyDecoder::Step::Decoded) {
                        if (++mcus > decoder.McuCount() || decoder.Current().position > size)
                            __builtin_trap();
                        continue;
                    }
                    if (step == JpegEntropyDecoder::Step::Error && decoder.StoppedAtZeros()) {
                        decoder.TakeBack(before.mcu);
                        decoder.ResumeThroughZeros(before);
                        continue;
                    }
                    break;
                }
                if (step != JpegEntropyDecoder::Step::End)
                    break;
                if (decoder.EndOffset() >= size || mcus != decoder.McuCount())
                    __builtin_trap();
                scan = ReadNextJpegScan(file, decoder.EndOffset(), *scan);
            }
        }
    }

    VolumeReader reader;
    const std::vector<unsigned char> volumeBytes = bytes;
    if (!reader.Open([volumeBytes] {
            VolumeOpenResult result;
            result.source = std::make_unique<FuzzVolume>(volumeBytes);
            return result;
        }).ok())
        return 0;
    VolumeByteCache volume(reader, 64);
    ClusterGeometry grid;
    grid.clusterBytes = 1024;  // small clusters: more joints to try in a small input
    grid.learned = true;       // (a grid not learned is 4 KiB steps)
    FileToMend file;
    file.start = 0;
    const bool isoMedia = std::memcmp(data + 4, "ftyp", 4) == 0;
    file.token = data[0] == 0x89             ? "PNG"
                 : !isoMedia                 ? "JPG"
                 : std::memcmp(data + 8, "heic", 4) == 0 ? "HEIC"
                                                           : "MP4";
    file.maxFileBytes = bytes.size() - (data[1] % 4) * kSectorSize;
    ReassemblyLimits limits;
    limits.searchBytes = 16 * 1024;
    limits.maxPieces = 4;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    const auto pieces = MendFile(
        volume, grid, file, limits, [](std::uint64_t offset) { return offset % 8192 == 4096; },
        [end] { return std::chrono::steady_clock::now() >= end; });
    if (!pieces)
        return 0;
    std::uint64_t total = 0;
    if (pieces->size() < 2 || pieces->front().offset != 0)
        __builtin_trap();
    for (const ByteRange& piece : *pieces) {
        if (piece.length == 0 || piece.offset + piece.length > bytes.size() || piece.offset % 1024 != 0)
            __builtin_trap();
        total += piece.length;
    }
    if (total > file.maxFileBytes)
        __builtin_trap();
    return 0;
}
