// The names record as the builder writes it; the stub only reads it
// (productnames.cpp), so this stays out of its link.
#include "payload/productnames.hpp"

#include <cstring>

namespace payload {

namespace {

void PutUnits(std::vector<std::uint8_t>& out, const std::u16string& text) {
    for (char16_t c : text) {
        out.push_back(static_cast<std::uint8_t>(c & 0xff));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
}

}  // namespace

std::vector<std::uint8_t> MakeProductNames(const ProductNames& names) {
    tproductnamesheader header{};
    std::memcpy(header.mark, kProductNamesMark, sizeof header.mark);
    header.namelength = static_cast<std::uint16_t>(names.productname.size());
    header.publisherlength = static_cast<std::uint16_t>(names.publisher.size());
    header.eightbitlength = static_cast<std::uint16_t>(names.eightbit.size());
    if (names.productname.size() > kMaxProductNameUnits || names.publisher.size() > kMaxProductNameUnits ||
        names.eightbit.size() > kMaxProductNameUnits)
        return {};
    std::vector<std::uint8_t> out(sizeof header);
    std::memcpy(out.data(), &header, sizeof header);
    PutUnits(out, names.productname);
    PutUnits(out, names.publisher);
    out.insert(out.end(), names.eightbit.begin(), names.eightbit.end());
    ProductNames check;
    if (!ParseProductNames(out.data(), out.size(), check)) return {};
    return out;
}

}  // namespace payload
