#include "ScanSession.h"

#include "FileTypeInfo.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace quorvex {

namespace {

constexpr unsigned char kMagic[8] = {'Q', 'V', 'X', 'S', 'C', 'A', 'N', 0};
constexpr std::size_t kMaxPath = 4096, kMaxToken = 16, kMaxPrefix = 1024;
constexpr std::uint64_t kMaxLength = (1ull << 56) - 1;
constexpr std::uint32_t kMaxPieces = 65536;  // as many as the card's map of a file is read with
constexpr std::size_t kMaxCardText = 4096;   // a folder or a name of a file on the card

std::uint64_t Fnv1a(std::span<const unsigned char> bytes, std::uint64_t hash = 0xCBF29CE484222325ull)
{
    for (const unsigned char b : bytes) {
        hash ^= b;
        hash *= 0x100000001B3ull;
    }
    return hash;
}

class Writer {
public:
    std::vector<unsigned char> bytes;
    void Raw(const void* data, std::size_t size)
    {
        const auto* p = static_cast<const unsigned char*>(data);
        bytes.insert(bytes.end(), p, p + size);
    }
    template <typename T>
    void Number(T value)
    {
        for (std::size_t i = 0; i < sizeof(T); ++i)
            bytes.push_back(static_cast<unsigned char>(static_cast<std::uint64_t>(value) >> (8 * i)));
    }
    void Text16(const std::string& text)
    {
        Number<std::uint16_t>(static_cast<std::uint16_t>(text.size()));
        Raw(text.data(), text.size());
    }
};

// Reads fields front to back; every read checks that the field lies in the bytes.
class Reader {
public:
    explicit Reader(std::span<const unsigned char> bytes) : bytes_(bytes) {}
    bool ok = true;

    template <typename T>
    T Number()
    {
        if (!Has(sizeof(T)))
            return T{};
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i)
            value |= static_cast<std::uint64_t>(bytes_[at_ + i]) << (8 * i);
        at_ += sizeof(T);
        return static_cast<T>(value);
    }
    std::string Text(std::size_t length, std::size_t limit)
    {
        if (length > limit || !Has(length)) {
            ok = false;
            return {};
        }
        std::string text(reinterpret_cast<const char*>(bytes_.data() + at_), length);
        at_ += length;
        return text;
    }
    std::size_t Left() const { return bytes_.size() - at_; }

private:
    bool Has(std::size_t n)
    {
        if (!ok || n > bytes_.size() - at_) {
            ok = false;
            return false;
        }
        return true;
    }
    std::span<const unsigned char> bytes_;
    std::size_t at_ = 0;
};

SessionCheck Problem(SessionProblem problem, std::string reason)
{
    return {problem, std::move(reason)};
}

std::string Describe(const SelectedTypes& selection, RecoveryMode mode)
{
    std::string text;
    for (const TypeSelection& type : selection.Entries())
        text += (text.empty() ? "" : ", ") + type.token + " (" + type.prefix + ", " + std::to_string(type.maxSizeKb) +
                " KB)";
    return text + (mode == RecoveryMode::Exact ? ", exact recovery" : "");
}

}  // namespace

SourceIdentity IdentifySource(VolumeReader& reader, const std::string& path)
{
    SourceIdentity identity;
    identity.path = path;
    const std::uint64_t sectors = reader.TotalSectors();
    identity.sizeBytes = sectors * kSectorSize;
    std::vector<std::uint64_t> samples;
    for (std::uint64_t s = 0; s < 16 && s < sectors; ++s)
        samples.push_back(s);
    for (std::uint64_t k = 1; k < 9 && sectors > 16; ++k)
        samples.push_back(sectors / 9 * k);
    if (sectors > 16)
        samples.push_back(sectors - 1);
    SectorBuffer one(1);
    std::uint64_t hash = Fnv1a({reinterpret_cast<const unsigned char*>(&sectors), sizeof sectors});
    for (const std::uint64_t sector : samples) {
        const SectorReadResult read = reader.ReadSectors(sector, 1, one);
        const unsigned char marker = read.sectorsRead == 1 ? 1 : 0;
        hash = Fnv1a({&marker, 1}, hash);
        if (marker != 0)
            hash = Fnv1a({one.Data(), kSectorSize}, hash);
    }
    identity.fingerprint = hash;
    return identity;
}

std::vector<unsigned char> SessionBytes(const SourceIdentity& source, const FoundFileCatalogue& catalogue,
                                        const ScanCheckpoint& checkpoint)
{
    Writer out;
    out.Raw(kMagic, sizeof kMagic);
    out.Number<std::uint32_t>(ScanSession::kVersion);
    out.Number<std::uint32_t>(checkpoint.finished ? 1 : 0);
    out.Number<std::uint32_t>(static_cast<std::uint32_t>(source.path.size()));
    out.Raw(source.path.data(), source.path.size());
    out.Number(source.sizeBytes);
    out.Number(source.fingerprint);
    out.Number(checkpoint.nextSector);
    out.Number(checkpoint.resumeAt);
    out.Number(checkpoint.unreadableSectors);
    const bool exact = catalogue.Mode() == RecoveryMode::Exact;
    out.Number<std::uint8_t>(exact ? 1 : 0);
    out.Number<std::uint32_t>(static_cast<std::uint32_t>(catalogue.Selection().Count()));
    for (const TypeSelection& type : catalogue.Selection().Entries()) {
        out.Text16(type.token);
        out.Text16(type.prefix);
        out.Number(type.maxSizeKb);
    }
    const std::uint64_t count = catalogue.FoundCount();
    out.Number(count);
    out.bytes.reserve(out.bytes.size() + count * (exact ? 20 : 12) + 8);
    for (std::uint64_t i = 0; i < count; ++i) {
        out.Number(catalogue.StartSectorAt(i));
        out.Number<std::uint32_t>(static_cast<std::uint32_t>(catalogue.TypeIndexAt(i)));
        if (exact)
            out.Number(catalogue.LengthAt(i) | static_cast<std::uint64_t>(catalogue.VerdictAt(i)) << 56);
    }
    // The pieces of the files in more than one (reassembled, or mapped by the card), in catalogue
    // order.
    std::vector<std::uint64_t> inPieces;
    for (std::uint64_t i = 0; i < count && exact; ++i)
        if (catalogue.EntryAt(i).fragments.size() > 1)
            inPieces.push_back(i);
    out.Number<std::uint64_t>(inPieces.size());
    for (const std::uint64_t i : inPieces) {
        const std::vector<ByteRange> pieces = catalogue.PiecesAt(i);
        out.Number(i);
        out.Number<std::uint32_t>(static_cast<std::uint32_t>(pieces.size()));
        for (const ByteRange& piece : pieces) {
            out.Number(piece.offset);
            out.Number(piece.length);
        }
    }
    // The card's names, in catalogue order.
    std::vector<std::uint64_t> named;
    for (std::uint64_t i = 0; i < count && exact && catalogue.NamedCount() > 0; ++i)
        if (catalogue.CardNameAt(i) != nullptr)
            named.push_back(i);
    out.Number<std::uint64_t>(named.size());
    for (const std::uint64_t i : named) {
        const CardName& name = *catalogue.CardNameAt(i);
        out.Number(i);
        out.Text16(name.folder);
        out.Text16(name.name);
        out.Number<std::uint8_t>(name.deleted ? 1 : 0);
        out.Number<std::int64_t>(name.modified);
    }
    out.Number(Fnv1a(out.bytes));
    return out.bytes;
}

SessionCheck ParseSession(std::span<const unsigned char> bytes, ScanSession& session)
{
    if (bytes.size() < sizeof kMagic + 4 || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
        return Problem(SessionProblem::NotASession, "it is not a file of Quorvex's scan results");
    Reader head(bytes.subspan(sizeof kMagic));
    const auto version = head.Number<std::uint32_t>();
    if (version > ScanSession::kVersion)
        return Problem(SessionProblem::NewerVersion, "it was written by a newer version of Quorvex (format " +
                                                         std::to_string(version) + ")");
    if (version == 0 || bytes.size() < sizeof kMagic + 4 + 8)
        return Problem(SessionProblem::Damaged, "it is damaged");
    const std::span<const unsigned char> body = bytes.first(bytes.size() - 8);
    Reader tail(bytes.last(8));
    if (tail.Number<std::uint64_t>() != Fnv1a(body))
        return Problem(SessionProblem::Damaged, "it is damaged: cut short, or changed since it was written");

    Reader in(body.subspan(sizeof kMagic + 4));
    const auto flags = in.Number<std::uint32_t>();
    if (flags > 1)
        return Problem(SessionProblem::Damaged, "it is damaged: its flags cannot be read");
    session.checkpoint.finished = (flags & 1) != 0;
    session.source.path = in.Text(in.Number<std::uint32_t>(), kMaxPath);
    session.source.sizeBytes = in.Number<std::uint64_t>();
    session.source.fingerprint = in.Number<std::uint64_t>();
    session.checkpoint.nextSector = in.Number<std::uint64_t>();
    session.checkpoint.resumeAt = in.Number<std::uint64_t>();
    session.checkpoint.unreadableSectors = in.Number<std::uint64_t>();
    const auto modeByte = in.Number<std::uint8_t>();
    const auto typeCount = in.Number<std::uint32_t>();
    if (!in.ok || modeByte > 1 || typeCount == 0 || typeCount > SelectedTypes::kMaxEntries)
        return Problem(SessionProblem::Damaged, "it is damaged: its options cannot be read");
    const RecoveryMode mode = modeByte == 1 ? RecoveryMode::Exact : RecoveryMode::Described;
    std::vector<TypeSelection> types;
    for (std::uint32_t t = 0; t < typeCount; ++t) {
        TypeSelection type;
        type.token = in.Text(in.Number<std::uint16_t>(), kMaxToken);
        type.prefix = in.Text(in.Number<std::uint16_t>(), kMaxPrefix);
        type.maxSizeKb = in.Number<std::int64_t>();
        // A prefix names files in the destination: one that could reach outside it is refused.
        const bool repeated = std::any_of(types.begin(), types.end(), [&](const TypeSelection& other) { return other.token == type.token; });
        if (!in.ok || FindFileType(type.token, mode) == nullptr || repeated || type.maxSizeKb < 0 || type.prefix.empty() ||
            PrefixHasIllegalCharacter(type.prefix) || type.prefix == "." || type.prefix == "..")
            return Problem(SessionProblem::Damaged, "it is damaged: it names a type or a prefix Quorvex does not know");
        types.push_back(std::move(type));
    }
    const std::uint64_t count = in.Number<std::uint64_t>();
    const std::size_t entryBytes = mode == RecoveryMode::Exact ? 20 : 12;
    // Version 1 ends with the list; version 2 has the pieces of reassembled files after it.
    const bool listEnds = version == 1 ? count == in.Left() / entryBytes && in.Left() % entryBytes == 0
                                       : count <= (in.Left() - std::min<std::size_t>(in.Left(), 8)) / entryBytes;
    if (!in.ok || !listEnds)
        return Problem(SessionProblem::Damaged, "it is damaged: its list of found files does not add up");
    const std::uint64_t sectors = session.source.sizeBytes / kSectorSize;
    if (session.checkpoint.nextSector > sectors + SectorBuffer::kDefaultSectorCount)
        return Problem(SessionProblem::Damaged, "it is damaged: it reached past the end of its source");
    session.catalogue.Reset(SelectedTypes(std::move(types)), mode);
    for (std::uint64_t i = 0; i < count; ++i) {
        const auto start = in.Number<std::uint64_t>();
        const auto typeIndex = in.Number<std::uint32_t>();
        if (typeIndex >= typeCount || start >= sectors)
            return Problem(SessionProblem::Damaged, "it is damaged: a found file lies outside its source");
        if (mode == RecoveryMode::Exact) {
            const auto packed = in.Number<std::uint64_t>();
            const auto verdict = static_cast<Verdict>(packed >> 56);
            if (verdict != Verdict::Complete && verdict != Verdict::Damaged && verdict != Verdict::Truncated &&
                (verdict != Verdict::Reassembled || version < 2))
                return Problem(SessionProblem::Damaged, "it is damaged: a found file has no verdict");
            session.catalogue.AppendFoundFile(typeIndex, start, packed & kMaxLength, verdict);
        } else {
            session.catalogue.AppendFoundFile(typeIndex, start);
        }
    }
    if (version == 1)
        return {};
    // Each file in pieces once, in order, with pieces inside the source that add up to its length:
    // every reassembled file, and (from version 3) complete files the card maps in pieces.
    const std::uint64_t inPieces = in.Number<std::uint64_t>();
    const bool exact = session.catalogue.Mode() == RecoveryMode::Exact;
    const std::uint64_t reassembled = exact ? session.catalogue.CountOfVerdict(Verdict::Reassembled) : 0;
    const auto piecesProblem = Problem(SessionProblem::Damaged, "it is damaged: the pieces of a file do not add up");
    if (!in.ok || (version == 2 ? inPieces != reassembled : inPieces < reassembled || (!exact && inPieces > 0)))
        return piecesProblem;
    std::uint64_t previous = 0;
    for (std::uint64_t r = 0; r < inPieces; ++r) {
        const auto index = in.Number<std::uint64_t>();
        const auto pieceCount = in.Number<std::uint32_t>();
        const Verdict verdict = index < count ? session.catalogue.VerdictAt(index) : Verdict::None;
        if (!in.ok || index >= count || (r > 0 && index <= previous) || pieceCount < 2 || pieceCount > kMaxPieces ||
            (verdict != Verdict::Reassembled && (version < 3 || verdict != Verdict::Complete)))
            return piecesProblem;
        previous = index;
        std::vector<ByteRange> pieces;
        std::uint64_t total = 0;
        for (std::uint32_t p = 0; p < pieceCount; ++p) {
            const ByteRange piece{in.Number<std::uint64_t>(), in.Number<std::uint64_t>()};
            if (!in.ok || piece.offset % kSectorSize != 0 || piece.offset > session.source.sizeBytes ||
                piece.length > session.source.sizeBytes - piece.offset)
                return piecesProblem;
            total += piece.length;
            pieces.push_back(piece);
        }
        const bool set = verdict == Verdict::Reassembled ? session.catalogue.SetReassembled(index, std::move(pieces))
                                                         : session.catalogue.SetMappedPieces(index, std::move(pieces));
        if (total != session.catalogue.LengthAt(index) || !set)
            return piecesProblem;
    }
    if (session.catalogue.ReassembledCount() != reassembled)
        return piecesProblem;
    if (version >= 3) {
        // The card's names: each entry once, in order, names that name something.
        const auto namesProblem = Problem(SessionProblem::Damaged, "it is damaged: the card's names of its files cannot be read");
        const std::uint64_t named = in.Number<std::uint64_t>();
        if (!in.ok || named > count || (!exact && named > 0))
            return namesProblem;
        previous = 0;
        for (std::uint64_t r = 0; r < named; ++r) {
            const auto index = in.Number<std::uint64_t>();
            CardName name;
            name.folder = in.Text(in.Number<std::uint16_t>(), kMaxCardText);
            name.name = in.Text(in.Number<std::uint16_t>(), kMaxCardText);
            const auto deleted = in.Number<std::uint8_t>();
            name.modified = in.Number<std::int64_t>();
            name.deleted = deleted == 1;
            if (!in.ok || index >= count || (r > 0 && index <= previous) || deleted > 1 || name.name.empty() ||
                !session.catalogue.SetCardName(index, std::move(name)))
                return namesProblem;
            previous = index;
        }
    }
    if (in.Left() != 0)
        return piecesProblem;
    return {};
}

std::string WriteSessionFile(const std::string& path, const SourceIdentity& source,
                             const FoundFileCatalogue& catalogue, const ScanCheckpoint& checkpoint)
{
    const std::vector<unsigned char> bytes = SessionBytes(source, catalogue, checkpoint);
    const std::string temporary = path + ".new";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return path + ": " + std::strerror(errno);
    std::size_t done = 0;
    int error = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        return path + ": " + std::strerror(error);
    }
    // The rename itself lasts only once the folder that holds it is on the disk.
    const std::string::size_type slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}

SessionCheck ReadSessionFile(const std::string& path, ScanSession& session)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return Problem(SessionProblem::Unreadable, path + " cannot be read: " + std::strerror(errno));
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
    SessionCheck check = ParseSession(bytes, session);
    if (!check.ok())
        check.reason = path + " cannot be used: " + check.reason;
    return check;
}

SessionCheck SessionMatches(const ScanSession& session, const SourceIdentity& source, const SelectedTypes& selection,
                            RecoveryMode mode)
{
    if (!session.source.SameMedium(source))
        return Problem(SessionProblem::OtherSource,
                       "the saved scan is of another card or image (" + session.source.path +
                           "), or the source has changed since");
    const SelectedTypes& saved = session.catalogue.Selection();
    bool same = saved.Count() == selection.Count() && session.catalogue.Mode() == mode;
    for (std::size_t i = 0; same && i < saved.Count(); ++i)
        same = saved[i].token == selection[i].token && saved[i].prefix == selection[i].prefix &&
               saved[i].maxSizeKb == selection[i].maxSizeKb;
    if (!same)
        return Problem(SessionProblem::OtherOptions, "the saved scan looked for " + Describe(saved, session.catalogue.Mode()) +
                                                          "; this one looks for " + Describe(selection, mode));
    return {};
}

ScanSessionWriter::ScanSessionWriter(std::string path, SourceIdentity source,
                                     std::function<void(const std::string&)> onFailure)
    : path_(std::move(path)), source_(std::move(source)), onFailure_(std::move(onFailure))
{
}

void ScanSessionWriter::SaveCheckpoint(const FoundFileCatalogue& catalogue, const ScanCheckpoint& checkpoint)
{
    const std::string failure = WriteSessionFile(path_, source_, catalogue, checkpoint);
    if (failure.empty() || !failure_.empty())
        return;
    failure_ = failure;
    if (onFailure_)
        onFailure_(failure_);
}

}  // namespace quorvex
