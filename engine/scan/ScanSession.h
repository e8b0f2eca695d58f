#pragma once

#include "FoundFileCatalogue.h"
#include "VolumeReader.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace quorvex {

// What tells one source from another: its path, its size, and a fingerprint of a few sectors
// sampled over it (so that another card in the same reader is told apart).
struct SourceIdentity {
    std::string path;
    std::uint64_t sizeBytes = 0;
    std::uint64_t fingerprint = 0;

    // The same card: same size and fingerprint (the path may differ: another reader, another name).
    bool SameMedium(const SourceIdentity& other) const
    {
        return sizeBytes == other.sizeBytes && fingerprint == other.fingerprint;
    }
};

// Reads the sampled sectors (the first 16, one in every ninth of the volume, the last) through
// `reader`; a sector that cannot be read counts as such.
SourceIdentity IdentifySource(VolumeReader& reader, const std::string& path);

// Where a scan got to: every sector before nextSector was tested (or lies inside a file found
// whole, up to resumeAt); what was found is in the catalogue.
struct ScanCheckpoint {
    std::uint64_t nextSector = 0;
    std::uint64_t resumeAt = 0;
    std::uint64_t unreadableSectors = 0;
    bool finished = false;  // the scan reached the end of the volume
};

// Where a scan's checkpoints go; called from the scan thread, every few seconds and at the end.
class ScanCheckpointSink {
public:
    virtual ~ScanCheckpointSink() = default;
    virtual void SaveCheckpoint(const FoundFileCatalogue& catalogue, const ScanCheckpoint& checkpoint) = 0;
};

enum class SessionProblem {
    None,
    Unreadable,    // the file cannot be opened or read
    NotASession,   // it is some other kind of file
    NewerVersion,  // written by a newer Quorvex
    Damaged,       // its checksum or its fields are wrong: cut short, or changed by hand
    OtherSource,   // it belongs to another card or image, or the source changed since
    OtherOptions,  // it was made with other types, names, sizes or mode
};

struct SessionCheck {
    SessionProblem problem = SessionProblem::None;
    std::string reason;  // a sentence for the user when there is a problem

    bool ok() const { return problem == SessionProblem::None; }
};

// A scan session as it is kept in a file: the source, where the scan got to, and the catalogue
// (its types, names, sizes, mode and every found file).
struct ScanSession {
    // 2: the pieces of reassembled files; 3: also of files the card maps in pieces, and the card's
    // names of the files.
    static constexpr std::uint32_t kVersion = 3;

    SourceIdentity source;
    ScanCheckpoint checkpoint;
    FoundFileCatalogue catalogue;
};

// The session file's bytes. Versioned, with a checksum over everything before it.
std::vector<unsigned char> SessionBytes(const SourceIdentity& source, const FoundFileCatalogue& catalogue,
                                        const ScanCheckpoint& checkpoint);
// Reads a session from its bytes; never trusts a length or a count it has not checked.
SessionCheck ParseSession(std::span<const unsigned char> bytes, ScanSession& session);

// Writes the session atomically: a new file, synced, then renamed over the old one. Returns
// an empty string, or why it could not be written.
std::string WriteSessionFile(const std::string& path, const SourceIdentity& source,
                             const FoundFileCatalogue& catalogue, const ScanCheckpoint& checkpoint);
SessionCheck ReadSessionFile(const std::string& path, ScanSession& session);

// Whether `session` may be continued by a scan of `source` with these types and mode.
SessionCheck SessionMatches(const ScanSession& session, const SourceIdentity& source, const SelectedTypes& selection,
                            RecoveryMode mode);

// Keeps a scan's session file up to date as the scan goes. A file that cannot be written does
// not stop the scan: the first failure is told once (onFailure) and kept.
class ScanSessionWriter final : public ScanCheckpointSink {
public:
    ScanSessionWriter(std::string path, SourceIdentity source, std::function<void(const std::string&)> onFailure = {});

    void SaveCheckpoint(const FoundFileCatalogue& catalogue, const ScanCheckpoint& checkpoint) override;
    const std::string& Failure() const { return failure_; }

private:
    std::string path_;
    SourceIdentity source_;
    std::function<void(const std::string&)> onFailure_;
    std::string failure_;
};

}  // namespace quorvex
