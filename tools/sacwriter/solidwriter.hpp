// The solid payload (payload/solidformat.hpp) written: the archive between
// the stub and the license text when the vendor asks for `compression =
// "solid"`.
//
// Files are laid out in two groups, each in one or more blocks: programs
// for x86 and x64 (a PE or ELF image of either machine, found by its
// headers, not its name) with the x86 filter, and everything else without
// it, because the filter costs size on data it does not fit.  Within a
// group files go by extension, then by path, so that alike files sit side
// by side within the coder's reach.  A group is cut into blocks of at most
// kSolidBlockBytes (a larger file is a block of its own); the dictionary of
// a block is the smaller of kSolidDictionary and the block's size, which is
// also what the install needs for it.  Each block is coded with liblzma's
// raw LZMA encoder at its strongest preset, on `jobs` threads a block each,
// written in order, so the bytes do not depend on the number of threads,
// and is decoded again by the installer's own decoder before it is
// written, so an encoder fault fails the build.
//
// Without liblzma (the Windows and 32-bit builds of the tool),
// SolidSupported is false and building a solid installer is refused with
// the reason: use the Linux tool.
#pragma once

#include "tools/sacwriter/sacwriter.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace sacwriter {

// A block holds at most this many bytes unless one file is larger.  Smaller
// cuts cost size for little speed on two cores (8 MiB: 1.2 % and 8.7 % more
// bytes on the bench's two trees; docs/product-file.md has the figures).
inline constexpr std::uint64_t kSolidBlockBytes = 64ull << 20;
// The largest dictionary a block gets (payload::kMaxSolidDictionary at most).
inline constexpr std::uint32_t kSolidDictionary = 64u << 20;

// True when this build of the tool can write solid payloads; else
// kSolidUnsupported says why.
bool SolidSupported();
inline constexpr char kSolidUnsupported[] =
    "this build of tallowin cannot write solid installers: it was built without liblzma, whose LZMA encoder they "
    "need; build them with the Linux tool (the Debian package), or use compression = \"per-file\"";

// The archive of `items` (checked and sorted by the caller) as a solid
// payload, appended to `out`.  False with `error` naming the problem.
bool AppendSolidArchive(const std::vector<const ArchiveItem*>& items, unsigned jobs,
                        const std::function<void(std::uint64_t, std::uint64_t)>& progress,
                        std::vector<std::uint8_t>& out, std::string& error);

}  // namespace sacwriter
