#pragma once

// Runs quorvex-cli as a user would and reads what it leaves: its output, its exit status, the
// sample card's manifest and the files it writes.
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

namespace quorvex::testing {

namespace fs = std::filesystem;


struct Result {
    int status = -1;
    std::string out;
};

// Runs quorvex-cli with `arguments` (already quoted for the shell); stderr goes to `errFile`.
inline Result RunCli(const std::string& arguments, const fs::path& errFile = "/dev/null", const std::string& environment = "")
{
    const std::string command = environment + " " + std::string(QUORVEX_CLI_PATH) + " " + arguments + " 2>" + errFile.string();
    Result result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return result;
    std::array<char, 4096> chunk{};
    std::size_t n = 0;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        result.out.append(chunk.data(), n);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// Runs quorvex-cli with the fault-injection library preloaded; `faults` are its environment
// settings (see tests/support/FaultInjection.cpp), e.g. "QUORVEX_FAULT_BAD_SECTORS=2074".
inline Result RunCliWithFaults(const std::string& faults, const std::string& arguments, const fs::path& errFile = "/dev/null")
{
    // An ASan build's runtime must not insist on coming first, nor count our plain malloc-based
    // operator new against its operator delete.
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string asanOptions = std::string(asan ? asan : "") + ":verify_asan_link_order=0:alloc_dealloc_mismatch=0";
    return RunCli(arguments, errFile,
                  "ASAN_OPTIONS='" + asanOptions + "' LD_PRELOAD=" + QUORVEX_FAULT_LIBRARY + " " + faults);
}

// Starts quorvex-cli with `arguments` and `environment` (NAME=value) without waiting for it;
// its output goes to /dev/null. Returns its process id, or -1.
inline pid_t SpawnCli(const std::vector<std::string>& arguments, const std::vector<std::string>& environment)
{
    std::vector<std::string> args{QUORVEX_CLI_PATH};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv, envp;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const std::string& e : environment)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The environment that makes every read of `image` of at least `minBytes` take `slowMs`, and
// logs each read to `log`.
inline std::vector<std::string> SlowReadsOf(const std::string& image, int slowMs, const std::string& log,
                                            std::size_t minBytes = 0)
{
    return {std::string("LD_PRELOAD=") + QUORVEX_FAULT_LIBRARY, "QUORVEX_FAULT_PATH=" + image,
            "QUORVEX_FAULT_SLOW_SECTORS=0-100000000", "QUORVEX_FAULT_SLOW_MS=" + std::to_string(slowMs),
            "QUORVEX_FAULT_SLOW_MIN_BYTES=" + std::to_string(minBytes),
            "QUORVEX_FAULT_LOG=" + log, "ASAN_OPTIONS=verify_asan_link_order=0:alloc_dealloc_mismatch=0:detect_leaks=0"};
}

inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

inline std::string ReadText(const fs::path& file)
{
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::vector<unsigned char> ReadBytes(const fs::path& file, std::uint64_t offset, std::size_t length)
{
    std::ifstream in(file, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<unsigned char> bytes(length);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

struct PlantedFile {
    std::string token;
    std::uint64_t startSector;
    std::size_t length;
};

inline std::vector<PlantedFile> Manifest()
{
    std::vector<PlantedFile> planted;
    for (const std::string& line : Lines(ReadText(QUORVEX_SAMPLE_MANIFEST))) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        PlantedFile file;
        fields >> file.token >> file.startSector >> file.length;
        planted.push_back(file);
    }
    return planted;
}

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "quorvex-cli-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() { fs::remove_all(path_); }
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

}  // namespace quorvex::testing
