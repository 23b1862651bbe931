#include "setuputil/platform.hpp"

#include "setuputil/codepage.hpp"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace setuputil {

bool IsWin2000OrLater() { return true; }

std::u16string GetParamW(std::int32_t index) {
    if (index <= 0) {
        std::vector<char> path(4096);
        const ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
        if (n <= 0) return {};
        return AnsiToWide(std::string(path.data(), static_cast<std::size_t>(n)));
    }
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t start = 0;
    for (std::int32_t i = 0; start < all.size(); ++i) {
        std::size_t end = all.find('\0', start);
        if (end == std::string::npos) end = all.size();
        if (i == index) return AnsiToWide(all.substr(start, end - start));
        start = end + 1;
    }
    return {};
}

std::int32_t ParamCount() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::int32_t count = 0;
    for (char c : all)
        if (c == '\0') ++count;
    return count < 1 ? 1 : count;
}

}  // namespace setuputil
