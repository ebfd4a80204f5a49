#pragma once
// Helpers shared by the engine tests: databases from signature source, files in a
// temporary folder that is removed afterwards. Names are UTF-8 on every system (WTF-8 on
// Windows, as the program holds them).

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "database/read_records.h"
#include "language/signature_source.h"

namespace korvax::test {

using Bytes = std::vector<std::uint8_t>;

inline VirusDatabase BaseFromSource(std::string_view source) {
    VirusDatabase base;
    ReadRecords(AssembleSource(source), base);
    return base;
}

inline Bytes BytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

// A stand-in program of `size` bytes. None of them is an ASCII letter, so the markers the
// tests append (letters) are found only where they were put.
// A name of the program's (UTF-8) as the standard library's paths take it, and back: a
// narrow string would go through the code page on Windows.
inline std::filesystem::path PathOf(std::string_view name) {
    return std::filesystem::path(std::u8string(name.begin(), name.end()));
}
inline std::string TextOf(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

inline Bytes SampleProgram(std::size_t size = 300) {
    Bytes program(size);
    for (std::size_t i = 0; i < size; ++i) program[i] = static_cast<std::uint8_t>((i * 7) % 61);
    return program;
}

// `program` with `markers` appended, as the test "infections" make them.
inline Bytes WithMarkers(const Bytes& program, std::string_view markers) {
    Bytes file = program;
    file.insert(file.end(), markers.begin(), markers.end());
    return file;
}

class TempFolder {
public:
    // A new folder of the system's temporary folder, for the owner only (as mkdtemp makes
    // it on Linux; on Windows the permission bits are only the read-only attribute).
    TempFolder() {
        const auto base = std::filesystem::temp_directory_path();
        std::random_device seed;
        std::mt19937_64 random(seed());
        for (int attempt = 0; attempt < 100; ++attempt) {
            const auto candidate = base / ("korvax-test-" + std::to_string(random() % 1000000000000ULL));
            std::error_code error;
            if (std::filesystem::create_directory(candidate, error)) {
                std::filesystem::permissions(candidate, std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::replace);
                path_ = candidate;
                return;
            }
            if (error) throw std::runtime_error("cannot make a temporary folder: " + error.message());
        }
        throw std::runtime_error("cannot make a temporary folder: every name taken");
    }
    ~TempFolder() {
        std::error_code ignored;
        // Give back write permission first, so read-only fixtures can be removed.
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
            if (!it->is_symlink()) {
                std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ignored);
            }
        }
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // `name` in the folder ('/' separating its folders on every system), as the system
    // spells it: with backslashes on Windows.
    std::string file(std::string_view name) const { return TextOf((path_ / PathOf(name)).make_preferred()); }

    std::string write(std::string_view name, const Bytes& bytes) const {
        const auto full = (path_ / PathOf(name)).make_preferred();
        std::filesystem::create_directories(full.parent_path());
        std::ofstream out(full, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return TextOf(full);
    }

private:
    std::filesystem::path path_;
};

inline Bytes ReadBytes(const std::string& path) {
    std::ifstream in(PathOf(path), std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace korvax::test
