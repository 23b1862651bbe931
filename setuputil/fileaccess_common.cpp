#include "setuputil/fileaccess.hpp"

namespace setuputil {

std::int64_t BlockBytes(std::int64_t count, std::int64_t width) {
    if (width <= 0) return 0;
    const std::int64_t q = count / width;
    const std::int64_t r = count % width;
    // The block count is kept to 32 bits, as the format's sizes are.
    std::int32_t blocks = static_cast<std::int32_t>(static_cast<std::uint32_t>(q));
    if (static_cast<std::int32_t>(static_cast<std::uint32_t>(r)) > 0) ++blocks;
    return static_cast<std::int64_t>(blocks) * (width / 8);
}

}  // namespace setuputil
