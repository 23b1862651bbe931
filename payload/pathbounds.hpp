// How long the paths an installation records may grow, and how long the
// builder lets the names they are made of be.
//
// The install record (installengine/installrecord.hpp) holds each path in at
// most kMaxRecordPathUnits UTF-16 units; a record that would exceed it cannot
// be written, and the install would fail after its files are in place.  So
// the builder bounds every name a recorded path is built from, and the sum
// is pinned below the record's bound here:
//
//   a shortcut     <Programs folder>\<startmenufolder>\<caption>.lnk
//   the desktop    <Desktop folder>\<product name>.lnk
//   the group      <Programs folder>\<startmenufolder>
//
// The system folders come from the shell in a MAX_PATH buffer; the
// startmenufolder is a trailer's wide field; each name -- a link file's name
// with its ".lnk", a folder's name -- is one name component, which Windows
// limits to 255 units.  The files and folders the record lists are relative
// paths from an archive entry (a subfolder and a name, each a wide field).
#pragma once

#include "payload/setuptrailer.hpp"

#include <cstddef>

namespace payload {

// One recorded path, in UTF-16 units.
inline constexpr std::size_t kMaxRecordPathUnits = 2048;
// One name component: a file or folder name, a link file's name with ".lnk".
inline constexpr std::size_t kMaxNameUnits = 255;
// A folder the shell names (Programs, Desktop): it comes in a MAX_PATH buffer.
inline constexpr std::size_t kMaxSystemFolderUnits = 260;

// The startmenufolder field begins with its backslash, and so does an
// entry's subfolder, which the record leaves out.
static_assert(kMaxSystemFolderUnits + kWideFieldUnits + 1 + kMaxNameUnits <= kMaxRecordPathUnits,
              "a Start-menu shortcut's path must fit the install record");
static_assert((kWideFieldUnits - 1) + 1 + kWideFieldUnits <= kMaxRecordPathUnits,
              "an archive entry's relative path must fit the install record");

}  // namespace payload
