#include "payload/productnames.hpp"

#include "setuputil/codepage.hpp"

#include <cstring>

namespace payload {

bool IsShowableName(const std::u16string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < 0x20 || (c >= 0x7f && c <= 0x9f)) return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

namespace {

std::u16string Units(const unsigned char* at, std::size_t count) {
    std::u16string text(count, u'\0');
    for (std::size_t i = 0; i < count; ++i)
        text[i] = static_cast<char16_t>(at[2 * i] | (at[2 * i + 1] << 8));
    return text;
}

}  // namespace

std::u16string ShownName(const ProductNames& names, const std::string& eightbit) {
    return names.productname.empty() ? setuputil::AnsiToWide(eightbit) : names.productname;
}

bool ParseProductNames(const void* data, std::size_t size, ProductNames& names) {
    tproductnamesheader header;
    if (data == nullptr || size < sizeof header) return false;
    std::memcpy(&header, data, sizeof header);
    if (std::memcmp(header.mark, kProductNamesMark, sizeof header.mark) != 0 || header.reserved != 0) return false;
    const std::size_t n = header.namelength, p = header.publisherlength, e = header.eightbitlength;
    if (n == 0 || n > kMaxProductNameUnits || p > kMaxProductNameUnits || e == 0 || e > kMaxProductNameUnits ||
        size != sizeof header + 2 * (n + p) + e)
        return false;
    const auto* bytes = static_cast<const unsigned char*>(data) + sizeof header;
    ProductNames read;
    read.productname = Units(bytes, n);
    read.publisher = Units(bytes + 2 * n, p);
    read.eightbit.assign(reinterpret_cast<const char*>(bytes + 2 * (n + p)), e);
    if (!IsShowableName(read.productname) || !IsShowableName(read.publisher) ||
        read.eightbit.find('\0') != std::string::npos)
        return false;
    names = std::move(read);
    return true;
}

}  // namespace payload
