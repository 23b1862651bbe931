// packres IN OUT: packs the file IN into the stub's compressed resource form.
#include "tools/packres/packresource.hpp"

#include <cstdio>
#include <fstream>
#include <iterator>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: packres IN OUT\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "packres: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::uint8_t> packed;
    std::string error;
    if (!packres::PackResource(data, packed, error)) {
        std::fprintf(stderr, "packres: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(packed.data()), static_cast<std::streamsize>(packed.size()));
    if (!out.flush()) {
        std::fprintf(stderr, "packres: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
