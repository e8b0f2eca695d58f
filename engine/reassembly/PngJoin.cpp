#include "FragmentJoin.h"

#include <algorithm>
#include <array>
#include <zlib.h>

namespace quorvex {

namespace {

std::uint32_t BigEndian32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

bool IsChunkType(const unsigned char* type)
{
    for (int i = 0; i < 4; ++i) {
        const unsigned char c = type[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
            return false;
    }
    return true;
}

// A chunk header: a length a PNG allows and a type made of letters.
bool PlausibleHeader(const unsigned char* header)
{
    return BigEndian32(header) <= 0x7FFFFFFFu && IsChunkType(header + 4);
}

// CRC-32 of `length` bytes of `source` from `offset` on, continuing `crc`; nullopt when they
// are not all there.
std::optional<uLong> CrcOf(ByteSource& source, std::uint64_t offset, std::uint64_t length, uLong crc)
{
    std::array<unsigned char, 16384> buffer;
    while (length > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(length, buffer.size()));
        if (source.ReadAt(offset, std::span(buffer).first(want)) != want)
            return std::nullopt;
        crc = crc32(crc, buffer.data(), static_cast<uInt>(want));
        offset += want;
        length -= want;
    }
    return crc;
}

enum class ChunkState { Good, End, Broken, OutOfBytes };

// Checks the chunk at `at` of the file: its header, its length against the bound and its CRC.
ChunkState CheckChunk(ByteSource& file, std::uint64_t at, std::uint64_t& next)
{
    std::array<unsigned char, 8> header;
    if (!ReadExactly(file, at, header))
        return ChunkState::OutOfBytes;
    if (!PlausibleHeader(header.data()))
        return ChunkState::Broken;
    const std::uint64_t length = BigEndian32(header.data());
    if (at + 12 + length > file.Size())
        return ChunkState::Broken;  // a length beyond the bound: this is not the file's chunk
    const auto crc = CrcOf(file, at + 4, 4 + length, crc32(0, nullptr, 0));
    const auto stored = ReadU32(file, at + 8 + length, ByteOrder::Big);
    if (!crc || !stored)
        return ChunkState::OutOfBytes;
    if (*crc != *stored)
        return ChunkState::Broken;
    next = at + 12 + length;
    return std::equal(header.begin() + 4, header.end(), "IEND") ? ChunkState::End : ChunkState::Good;
}

struct Joint {
    std::uint64_t pieceEnd;      // where the open piece ends on the volume
    std::uint64_t continuation;  // where the next piece starts
};

// The one place where the open piece ends inside the chunk at `chunk` and the one continuation
// that makes the chunk's CRC right and is followed by a chunk header; nullopt when there is
// none or more than one.
std::optional<Joint> FindJoint(const JoinSearch& search, PiecesByteSource& file, std::uint64_t chunk)
{
    const std::uint64_t openFileStart = file.OpenPieceFileStart();
    const std::uint64_t openStart = file.OpenPieceStart();
    const auto volumeOf = [&](std::uint64_t fileOffset) { return openStart + (fileOffset - openFileStart); };
    if (chunk < openFileStart)
        return std::nullopt;
    std::array<unsigned char, 8> header{};
    const bool headerRead = ReadExactly(file, chunk, header);
    // Where the piece can end: inside the header, or within the chunk its header describes.
    std::uint64_t reach = 8;
    if (headerRead && PlausibleHeader(header.data()))
        reach = std::min<std::uint64_t>(12 + BigEndian32(header.data()), search.searchBytes);
    const std::vector<std::uint64_t> ends =
        search.BoundariesIn(openStart, volumeOf(chunk), volumeOf(chunk) + reach);

    std::optional<Joint> found;
    for (const std::uint64_t end : ends) {
        const std::uint64_t joint = chunk + (end - volumeOf(chunk));  // the file offset of the joint
        const std::uint64_t before = joint - chunk;                    // the chunk's bytes before it
        // The CRC of the type and data bytes before the joint, as far as the header (when known)
        // says the data goes.
        std::uint64_t crcBefore = before;
        if (before >= 8) {
            if (!headerRead || !PlausibleHeader(header.data()) || before >= 12 + BigEndian32(header.data()))
                continue;
            crcBefore = std::min<std::uint64_t>(before, 8 + BigEndian32(header.data()));
        }
        uLong prefixCrc = crc32(0, nullptr, 0);
        if (crcBefore > 4) {
            const auto crc = CrcOf(file, chunk + 4, crcBefore - 4, prefixCrc);
            if (!crc)
                continue;
            prefixCrc = *crc;
        }
        for (const std::uint64_t next : search.Continuations(end, file.PiecesFor(joint))) {
            if (search.GiveUp())
                return std::nullopt;
            // The file's bytes with this continuation: before the joint from the file as laid,
            // after it from the volume at `next`.
            const auto joinedRead = [&](std::uint64_t offset, std::span<unsigned char> into) {
                for (std::size_t i = 0; i < into.size(); ++i) {
                    const std::uint64_t x = offset + i;
                    const auto span = std::span(into).subspan(i, 1);
                    if ((x < joint ? file.ReadAt(x, span) : search.volume.ReadAt(next + (x - joint), span)) != 1)
                        return false;
                }
                return true;
            };
            std::array<unsigned char, 8> joined;
            if (!joinedRead(chunk, joined) || !PlausibleHeader(joined.data()))
                continue;
            const std::uint64_t length = BigEndian32(joined.data());
            if (12 + length <= before || chunk + 12 + length > search.maxFileBytes)
                continue;
            const std::uint64_t chunkEnd = chunk + 12 + length;
            // A chunk header must follow (unless this is the last chunk): a cheap test before the CRC.
            std::array<unsigned char, 8> following;
            if (!std::equal(joined.begin() + 4, joined.end(), "IEND") &&
                (!ReadExactly(search.volume, next + (chunkEnd - joint), following) || !PlausibleHeader(following.data())))
                continue;
            // The CRC over the type and data bytes after the joint, then the stored CRC.
            const std::uint64_t from = std::max(chunk + 4, joint);
            const std::uint64_t dataEnd = chunkEnd - 4;
            std::optional<uLong> crc = prefixCrc;
            if (dataEnd > from)
                crc = CrcOf(search.volume, next + (from - joint), dataEnd - from, prefixCrc);
            std::array<unsigned char, 4> stored;
            if (!crc || !joinedRead(dataEnd, stored) || *crc != BigEndian32(stored.data()))
                continue;
            if (found)
                return std::nullopt;  // two continuations fit: no way to tell which is right
            found = Joint{end, next};
        }
    }
    return found;
}

struct TwoJoints {
    Joint first;
    std::uint64_t middleBytes;  // of the piece between the joints, which starts at first.continuation
    std::uint64_t continuation;  // where the piece after it starts
};

// Both breaks inside the chunk at `chunk`, whose header lies before the first: a middle piece of
// one or two clusters between. The one place for the open piece's end, the middle piece and the
// piece after it that makes the chunk's CRC right, with a chunk header after it; nullopt when there
// is none or more than one.
std::optional<TwoJoints> FindTwoJoints(const JoinSearch& search, PiecesByteSource& file, std::uint64_t chunk)
{
    const std::uint64_t openFileStart = file.OpenPieceFileStart(), openStart = file.OpenPieceStart();
    std::array<unsigned char, 8> header{};
    if (chunk < openFileStart || !ReadExactly(file, chunk, header) || !PlausibleHeader(header.data()))
        return std::nullopt;
    const std::uint64_t chunkEnd = chunk + 12 + BigEndian32(header.data());
    const std::uint64_t step = search.grid.clusterBytes;
    if (chunkEnd - chunk > search.searchBytes)
        return std::nullopt;
    const auto volumeOf = [&](std::uint64_t fileOffset) { return openStart + (fileOffset - openFileStart); };
    std::optional<TwoJoints> found;
    for (const std::uint64_t end : search.BoundariesIn(openStart, volumeOf(chunk + 8), volumeOf(chunkEnd - 4))) {
        const std::uint64_t joint = chunk + (end - volumeOf(chunk));
        const auto prefix = CrcOf(file, chunk + 4, joint - (chunk + 4), crc32(0, nullptr, 0));
        if (!prefix)
            continue;
        const std::vector<ByteRange> pieces = file.PiecesFor(joint);
        const std::vector<std::uint64_t> starts = search.Continuations(end, pieces);
        for (std::uint64_t middleBytes = step; middleBytes <= 2 * step; middleBytes += step) {
            const std::uint64_t second = joint + middleBytes;  // the file offset of the second joint
            if (second + 4 > chunkEnd)
                break;
            const std::uint64_t restBytes = chunkEnd - 4 - second;  // data bytes after the second joint
            // Where the piece after the middle one may start: a chunk header after the chunk's end.
            std::vector<std::pair<std::uint64_t, uLong>> lasts;  // its start, its bytes' CRC
            for (const std::uint64_t last : starts) {
                if (search.GiveUp())
                    return std::nullopt;
                std::array<unsigned char, 8> following;
                if (!ReadExactly(search.volume, last + restBytes + 4, following) || !PlausibleHeader(following.data()))
                    continue;
                if (const auto crc = CrcOf(search.volume, last, restBytes, crc32(0, nullptr, 0)))
                    lasts.push_back({last, *crc});
            }
            if (lasts.empty())
                continue;
            for (const std::uint64_t middle : starts) {
                if (search.GiveUp())
                    return std::nullopt;
                const auto throughMiddle = CrcOf(search.volume, middle, middleBytes, *prefix);
                if (!throughMiddle)
                    continue;
                for (const auto& [last, restCrc] : lasts) {
                    if (last < middle + middleBytes && middle < last + restBytes + 4)
                        continue;  // the two pieces would overlap
                    const auto stored = ReadU32(search.volume, last + restBytes, ByteOrder::Big);
                    if (!stored || crc32_combine(*throughMiddle, restCrc, static_cast<z_off_t>(restBytes)) != *stored)
                        continue;
                    if (found)
                        return std::nullopt;  // two ways fit: no way to tell which is right
                    found = TwoJoints{{end, middle}, middleBytes, last};
                }
            }
        }
    }
    return found;
}

}  // namespace

std::optional<std::vector<ByteRange>> JoinPngPieces(const JoinSearch& search)
{
    std::vector<ByteRange> closed;
    std::uint64_t openStart = search.fileStart;
    std::uint64_t at = 8;  // the signature was checked when the file was found
    for (;;) {
        if (search.GiveUp())
            return std::nullopt;
        PiecesByteSource file(search.volume, closed, openStart, search.maxFileBytes);
        std::uint64_t next = 0;
        switch (CheckChunk(file, at, next)) {
        case ChunkState::Good:
            at = next;
            continue;
        case ChunkState::End:
            if (closed.empty())
                return std::nullopt;  // it was whole after all
            return file.PiecesFor(next);
        case ChunkState::OutOfBytes:
            return std::nullopt;
        case ChunkState::Broken:
            break;
        }
        if (closed.size() + 1 >= search.maxPieces)
            return std::nullopt;
        if (const auto joint = FindJoint(search, file, at)) {
            closed.push_back({openStart, joint->pieceEnd - openStart});
            openStart = joint->continuation;
            continue;
        }
        if (closed.size() + 2 >= search.maxPieces)
            return std::nullopt;
        const auto joints = FindTwoJoints(search, file, at);
        if (!joints)
            return std::nullopt;
        closed.push_back({openStart, joints->first.pieceEnd - openStart});
        closed.push_back({joints->first.continuation, joints->middleBytes});
        openStart = joints->continuation;
    }
}

}  // namespace quorvex
