// A fresh folder under the system's temporary folder, removed with its
// contents at the end of the test.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <stdexcept>
#include <system_error>

namespace testing_support {

class TempDir {
public:
    TempDir() {
        std::random_device seed;
        const auto base = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 100; ++attempt) {
            path_ = base / ("tallowin-test-" + std::to_string(seed()));
            if (std::filesystem::create_directory(path_)) return;
        }
        throw std::runtime_error("cannot create a temporary folder");
    }
    ~TempDir() {
        std::error_code ignored;
        // Read-only files made by tests must not keep the folder alive.
        for (auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored))
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The folder as the installer's wide path, with the host's separators.
    std::u16string wide() const { return path_.u16string(); }
    std::u16string wide(const std::u16string& child) const { return path_.u16string() + u"\\" + child; }

private:
    std::filesystem::path path_;
};

}  // namespace testing_support
