#include "CardFileSystem.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <tsk/libtsk.h>

namespace quorvex {

namespace {

// The Sleuth Kit reads the volume through this: its image header first, as the library expects
// of an external image, then the source it reads.
struct SourceImage {
    TSK_IMG_INFO info;
    VolumeSource* source;
};

ssize_t ReadImage(TSK_IMG_INFO* image, TSK_OFF_T offset, char* buffer, size_t length)
{
    if (offset < 0)
        return -1;
    VolumeSource& source = *reinterpret_cast<SourceImage*>(image)->source;
    const ReadOutcome read = source.ReadAt(static_cast<std::uint64_t>(offset),
                                           {reinterpret_cast<unsigned char*>(buffer), length});
    if (read.bytesRead == 0 && read.error != 0)
        return -1;
    return static_cast<ssize_t>(read.bytesRead);
}

void CloseImage(TSK_IMG_INFO* image) { std::free(image); }

void DescribeImage(TSK_IMG_INFO*, FILE*) {}

struct ImageCloser {
    void operator()(TSK_IMG_INFO* image) const { tsk_img_close(image); }
};
struct FileSystemCloser {
    void operator()(TSK_FS_INFO* fs) const { tsk_fs_close(fs); }
};
struct VolumeSystemCloser {
    void operator()(TSK_VS_INFO* vs) const { tsk_vs_close(vs); }
};

}  // namespace

std::string CleanCardText(const char* raw)
{
    std::string text;
    if (raw == nullptr)
        return text;
    const auto* bytes = reinterpret_cast<const unsigned char*>(raw);
    for (std::size_t i = 0; bytes[i] != 0 && text.size() < 1024;) {
        const unsigned char c = bytes[i];
        const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool valid = length > 0;
        for (std::size_t k = 1; valid && k < length; ++k)
            valid = (bytes[i + k] & 0xC0) == 0x80;
        if (valid && length == 2)
            valid = c >= 0xC2;  // no overlong forms
        if (!valid || c < 0x20 || c == 0x7F) {
            text.push_back('_');
            ++i;
            continue;
        }
        text.append(raw + i, length);
        i += length;
    }
    return text;
}

namespace {

constexpr std::size_t kMaxFolderText = 4096;

struct Walk {
    TSK_FS_INFO* fs;
    const std::atomic<int>* stop;
    const CardReadLimits& limits;
    std::vector<CardFile>& files;
};

// Where the file's default data lies, in bytes on the volume, trimmed to its size; empty when the
// library knows no runs for it (resident or compressed data, a run it could not place).
std::vector<ByteRange> PiecesOf(TSK_FS_FILE* file, TSK_FS_INFO* fs, std::uint64_t size, std::size_t maxPieces)
{
    std::vector<ByteRange> pieces;
    const TSK_FS_ATTR* attribute = tsk_fs_file_attr_get(file);
    if (attribute == nullptr || !(attribute->flags & TSK_FS_ATTR_NONRES) ||
        (attribute->flags & (TSK_FS_ATTR_COMP | TSK_FS_ATTR_ENC | TSK_FS_ATTR_SPARSE)))
        return {};
    const std::uint64_t blockSize = fs->block_size;
    const std::uint64_t fsOffset = static_cast<std::uint64_t>(fs->offset);
    std::uint64_t covered = 0;
    for (const TSK_FS_ATTR_RUN* run = attribute->nrd.run; run != nullptr && covered < size; run = run->next) {
        if (run->len == 0)
            continue;
        if (run->flags & (TSK_FS_ATTR_RUN_FLAG_FILLER | TSK_FS_ATTR_RUN_FLAG_SPARSE | TSK_FS_ATTR_RUN_FLAG_ENCRYPTED))
            return {};
        if (run->addr > UINT64_MAX / blockSize / 2 || run->len > UINT64_MAX / blockSize / 2)
            return {};
        const std::uint64_t offset = fsOffset + run->addr * blockSize;
        const std::uint64_t length = std::min<std::uint64_t>(run->len * blockSize, size - covered);
        if (!pieces.empty() && pieces.back().offset + pieces.back().length == offset)
            pieces.back().length += length;
        else if (pieces.size() >= maxPieces)
            return {};
        else
            pieces.push_back({offset, length});
        covered += length;
    }
    if (covered != size)
        return {};
    return pieces;
}

TSK_WALK_RET_ENUM VisitEntry(TSK_FS_FILE* file, const char* path, void* context)
{
    Walk& walk = *static_cast<Walk*>(context);
    if (walk.stop != nullptr && walk.stop->load() != 0)
        return TSK_WALK_STOP;
    if (walk.files.size() >= walk.limits.maxFiles)
        return TSK_WALK_STOP;
    if (file == nullptr || file->name == nullptr || file->meta == nullptr || file->meta->type != TSK_FS_META_TYPE_REG)
        return TSK_WALK_CONT;
    if (file->meta->size <= 0)
        return TSK_WALK_CONT;
    std::string folder = CleanCardText(path);
    if (static_cast<unsigned>(std::count(folder.begin(), folder.end(), '/')) > walk.limits.maxDepth)
        return TSK_WALK_CONT;
    while (!folder.empty() && folder.back() == '/')
        folder.pop_back();
    while (!folder.empty() && folder.front() == '/')
        folder.erase(folder.begin());

    // The file systems' own files (NTFS's $MFT and the rest of its first records and $Extend,
    // the entries The Sleuth Kit makes for exFAT's bitmap and up-case table) are no one's photos.
    const bool system = (TSK_FS_TYPE_ISNTFS(walk.fs->ftype) && file->meta->addr < 24) ||
                        (file->name->name != nullptr && file->name->name[0] == '$' && (folder.empty() || folder[0] == '$'));
    if (system)
        return TSK_WALK_CONT;
    CardFile entry;
    entry.folder = std::move(folder);
    entry.name = CleanCardText(file->name->name);
    entry.deleted = (file->name->flags & TSK_FS_NAME_FLAG_UNALLOC) != 0 || (file->meta->flags & TSK_FS_META_FLAG_UNALLOC) != 0;
    entry.sizeBytes = static_cast<std::uint64_t>(file->meta->size);
    entry.modified = file->meta->mtime > 0 ? static_cast<std::int64_t>(file->meta->mtime) : 0;
    entry.pieces = PiecesOf(file, walk.fs, entry.sizeBytes, walk.limits.maxPiecesPerFile);
    if (entry.pieces.empty() || entry.name.empty() || entry.folder.size() > kMaxFolderText)
        return TSK_WALK_CONT;
    // A deleted FAT file's clusters are not chained any more: the library assumes they follow on
    // from the first one. Everything else comes from the file system's own map.
    entry.mapped = !(entry.deleted && TSK_FS_TYPE_ISFAT(walk.fs->ftype));
    walk.files.push_back(std::move(entry));
    return TSK_WALK_CONT;
}

std::uint16_t Get16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

// Which file system the bytes at `offset` begin, told from its boot sector or superblock alone, so
// that the library probes only for that one: a volume of photos and random data is not searched
// for every file system there is. TSK_FS_TYPE_UNSUPP when none.
TSK_FS_TYPE_ENUM SniffFileSystem(VolumeSource& source, std::uint64_t offset)
{
    unsigned char head[2048] = {};
    if (source.ReadAt(offset, head).bytesRead < sizeof head)
        return TSK_FS_TYPE_UNSUPP;
    if (std::memcmp(head + 3, "NTFS    ", 8) == 0)
        return TSK_FS_TYPE_NTFS_DETECT;
    if (std::memcmp(head + 3, "EXFAT   ", 8) == 0)
        return TSK_FS_TYPE_EXFAT;
    if (Get16(head + 1024 + 56) == 0xEF53)
        return TSK_FS_TYPE_EXT_DETECT;
    const unsigned bytesPerSector = Get16(head + 11), sectorsPerCluster = head[13];
    const bool fatLayout = head[510] == 0x55 && head[511] == 0xAA && bytesPerSector >= 512 && bytesPerSector <= 4096 &&
                           (bytesPerSector & (bytesPerSector - 1)) == 0 && sectorsPerCluster != 0 &&
                           (sectorsPerCluster & (sectorsPerCluster - 1)) == 0 && Get16(head + 14) != 0 &&
                           (head[16] == 1 || head[16] == 2);
    if (fatLayout && (std::memcmp(head + 54, "FAT", 3) == 0 || std::memcmp(head + 82, "FAT", 3) == 0 || head[21] >= 0xF0))
        return TSK_FS_TYPE_FAT_DETECT;
    return TSK_FS_TYPE_UNSUPP;
}

// Whether the volume begins with a partition table: an MBR with at least one used entry, or a
// GPT's header in its second sector.
bool HasPartitionTable(VolumeSource& source)
{
    unsigned char head[1024] = {};
    if (source.ReadAt(0, head).bytesRead < sizeof head)
        return false;
    if (std::memcmp(head + 512, "EFI PART", 8) == 0)
        return true;
    if (head[510] != 0x55 || head[511] != 0xAA)
        return false;
    for (int entry = 0; entry < 4; ++entry) {
        const unsigned char* e = head + 446 + 16 * entry;
        if ((e[0] == 0 || e[0] == 0x80) && e[4] != 0)
            return true;
    }
    return false;
}

// Opens the file system at `offset` (bytes) and adds its files; false when there is none there.
bool ReadFileSystemAt(TSK_IMG_INFO* image, VolumeSource& source, std::uint64_t offset, const std::atomic<int>* stop,
                      const CardReadLimits& limits, CardFileSystems& result)
{
    const TSK_FS_TYPE_ENUM type = SniffFileSystem(source, offset);
    if (type == TSK_FS_TYPE_UNSUPP)
        return false;
    std::unique_ptr<TSK_FS_INFO, FileSystemCloser> fs(tsk_fs_open_img(image, static_cast<TSK_OFF_T>(offset), type));
    if (!fs) {
        tsk_error_reset();
        return false;
    }
    result.found.push_back(std::string(tsk_fs_type_toname(fs->ftype)) + " at byte " + std::to_string(offset));
    Walk walk{fs.get(), stop, limits, result.files};
    tsk_fs_dir_walk(fs.get(), fs->root_inum,
                    static_cast<TSK_FS_DIR_WALK_FLAG_ENUM>(TSK_FS_DIR_WALK_FLAG_ALLOC | TSK_FS_DIR_WALK_FLAG_UNALLOC |
                                                           TSK_FS_DIR_WALK_FLAG_RECURSE | TSK_FS_DIR_WALK_FLAG_NOORPHAN),
                    VisitEntry, &walk);
    tsk_error_reset();
    return true;
}

}  // namespace

CardFileSystems ReadCardFileSystems(VolumeSource& source, const std::atomic<int>* stop, const CardReadLimits& limits)
{
    CardFileSystems result;
    if (source.SizeBytes() < kSectorSize || source.SizeBytes() > static_cast<std::uint64_t>(INT64_MAX))
        return result;
    auto* external = static_cast<SourceImage*>(std::calloc(1, sizeof(SourceImage)));
    if (external == nullptr)
        return result;
    external->source = &source;
    std::unique_ptr<TSK_IMG_INFO, ImageCloser> image(tsk_img_open_external(
        external, static_cast<TSK_OFF_T>(source.SizeBytes()), kSectorSize, ReadImage, CloseImage, DescribeImage));
    if (!image) {
        std::free(external);
        tsk_error_reset();
        return result;
    }

    // A card formatted without a partition table holds its file system at its first sector;
    // otherwise each partition of the table holds one.
    if (!ReadFileSystemAt(image.get(), source, 0, stop, limits, result) && HasPartitionTable(source)) {
        std::unique_ptr<TSK_VS_INFO, VolumeSystemCloser> vs(tsk_vs_open(image.get(), 0, TSK_VS_TYPE_DETECT));
        tsk_error_reset();
        for (TSK_PNUM_T i = 0; vs && i < vs->part_count; ++i) {
            if (stop != nullptr && stop->load() != 0)
                break;
            const TSK_VS_PART_INFO* part = tsk_vs_part_get(vs.get(), i);
            if (part == nullptr || !(part->flags & TSK_VS_PART_FLAG_ALLOC) || part->len == 0)
                continue;
            const std::uint64_t start = static_cast<std::uint64_t>(part->start) * vs->block_size;
            if (start > 0 && start < source.SizeBytes())
                ReadFileSystemAt(image.get(), source, start, stop, limits, result);
        }
    }
    std::stable_sort(result.files.begin(), result.files.end(),
                     [](const CardFile& a, const CardFile& b) { return a.FirstByte() < b.FirstByte(); });
    return result;
}

}  // namespace quorvex
