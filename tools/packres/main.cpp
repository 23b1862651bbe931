// packres [--lzma] IN OUT: packs the file IN into the stub's compressed
// resource form; with --lzma its LZMA form where this packer has liblzma
// (the LZ form otherwise).
#include "tools/packres/packresource.hpp"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
    const bool lzma = argc == 4 && std::string(argv[1]) == "--lzma";
    if (lzma) ++argv, --argc;
    if (argc != 3) {
        std::fprintf(stderr, "usage: packres [--lzma] IN OUT\n");
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
    const bool packed_ok = lzma && packres::LzmaPackingSupported() ? packres::PackResourceLzma(data, packed, error)
                                                                    : packres::PackResource(data, packed, error);
    if (!packed_ok) {
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
