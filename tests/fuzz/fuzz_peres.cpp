// Fuzz target: a stub program as the builder and `tallowin info` read it --
// the PE headers, the resource tree, the builder's stamp -- and the vendor's
// icon file.  Besides the sanitizers' findings it stops when reading keeps
// more resource bytes than the file holds, when a stub the builder accepts
// does not read back with its check record in place, or when an icon's
// images add up to more than the file.
#include "payload/payloadcheck.hpp"
#include "tools/peres/icongroup.hpp"
#include "tools/peres/peimage.hpp"
#include "tools/peres/resourcetree.hpp"
#include "tools/tallowin/stubstamp.hpp"

#include <cstdio>
#include <cstdlib>

namespace {

void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_peres: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);

    std::vector<peres::IconImage> images;
    std::string error;
    if (peres::ParseIcoFile(bytes, images, error)) {
        std::size_t total = 0;
        for (const peres::IconImage& image : images) total += image.data.size();
        if (total > size) Fail("an icon's images outgrow the file");
    }

    // What `tallowin info` reads of a stub first: its headers alone.
    static_cast<void>(peres::ImageFileSize(bytes));
    peres::PeImage image;
    std::vector<peres::Resource> resources;
    if (!peres::ParsePe(bytes, image, error) || !peres::ReadResources(image, resources, error)) return 0;
    std::size_t total = 0;
    for (const peres::Resource& r : resources) total += r.data.size();
    if (total > size) Fail("the resources read outgrow the file");

    tallowin::StubIdentity identity;
    identity.productname = u"Vantrell";
    identity.productversion = u"2.1";
    tallowin::StampedStub stamped;
    if (!tallowin::StampStub(bytes, identity, stamped, error)) return 0;
    peres::PeImage again;
    std::vector<peres::Resource> back;
    if (!peres::ParsePe(stamped.bytes, again, error) || !peres::ReadResources(again, back, error))
        Fail("a stub the builder accepted does not read back");
    payload::tpayloadcheck check{};
    if (stamped.checkoffset > stamped.bytes.size() || stamped.bytes.size() - stamped.checkoffset < sizeof check ||
        !payload::ParsePayloadCheck(stamped.bytes.data() + stamped.checkoffset, sizeof check, check))
        Fail("the stamped stub's check record is not at its offset");
    return 0;
}
