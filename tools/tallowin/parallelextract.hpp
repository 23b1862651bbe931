// Extracting or verifying every entry of an open archive with the decoding
// spread over several threads.
//
// The outcome is that of calling tsacarchive::ExtractEntry for entry 0, 1,
// 2, ... in turn: the same texts, the same progress calls, the same files
// on disk, a failed file left as far as it was written, since both run the
// steps of payload/extractsteps.hpp.  Only the work is laid out
// differently: the calling thread reads the chunks ahead of the writing,
// `workers` threads expand the LZ chunks, and the calling thread creates
// the folders and files and writes the bytes in entry and chunk order.
// Reading ahead has no effect that a caller could see; whatever it finds
// past an entry that has failed is dropped.
//
// A solid payload is extracted entry by entry with ExtractEntry itself.
//
// After each entry `settled(index, ok, text)` is called with the entry's
// outcome and text ("Extracted", or the reason); when it answers false,
// nothing after that entry is created or written and ExtractAll returns.
#pragma once

#include "payload/sacarchive.hpp"

#include <cstddef>
#include <functional>
#include <string>

namespace tallowin {

using Settled = std::function<bool(std::size_t index, bool ok, const std::u16string& text)>;

void ExtractAll(payload::tsacarchive& archive, payload::ExtractTarget target, unsigned workers,
                payload::ExtractionObserver* observer, const Settled& settled);

}  // namespace tallowin
