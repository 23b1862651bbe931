// ExtractAll against ExtractEntry called entry by entry: on good and
// damaged installers the two must leave the same texts, progress calls,
// termination requests and files on disk, for extraction (stopping at the
// first failing entry) and for verification (going on after failures).
#include "tests/unit/archive/archivefixture.hpp"

#include "tools/sacwriter/sacwriter.hpp"
#include "tools/tallowin/parallelextract.hpp"

#include <filesystem>
#include <map>
#include <sstream>

using namespace archive_testing;
namespace fs = std::filesystem;

namespace {

Bytes SampleInstaller() {
    sacwriter::InstallerInput input;
    input.stub = Bytes(2000, 0x4D);
    input.fields.productname = "Parallel product";
    input.fields.exename = "a.txt";
    const struct {
        const char16_t* name;
        const char16_t* folder;
        Bytes data;
    } files[] = {
        {u"a.txt", u"", TextBytes(200000, 1)},        // four chunks
        {u"empty", u"", {}},
        {u"b.bin", u"\\bin", RandomBytes(140000, 2)},  // plain chunks
        {u"c.txt", u"\\docs\\deep", TextBytes(65536, 3)},
        {u"d.txt", u"\\docs", TextBytes(300000, 4)},
    };
    for (const auto& f : files) {
        sacwriter::ArchiveItem item;
        item.filename = f.name;
        item.subfolder = f.folder;
        item.data = f.data;
        item.attributes = f.name[0] == u'c' ? 0x21 : 0x20;
        input.items.push_back(item);
    }
    std::ostringstream out;
    std::string error;
    if (!sacwriter::WriteInstaller(input, out, error)) throw std::runtime_error(error);
    const std::string s = out.str();
    return Bytes(s.begin(), s.end());
}

// Everything a run leaves behind that a caller could see.
struct Outcome {
    std::vector<std::pair<bool, std::u16string>> entries;  // in the order settled
    std::vector<int> progress;
    int terminations = 0;
    std::map<std::string, std::string> tree;  // relative path -> contents, or "dir"
    bool operator==(const Outcome&) const = default;
};

std::map<std::string, std::string> Tree(const fs::path& root) {
    std::map<std::string, std::string> tree;
    if (!fs::exists(root)) return tree;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string rel = fs::relative(e.path(), root).generic_string();
        if (e.is_directory()) {
            tree[rel] = "dir";
        } else {
            const Bytes b = ReadBytes(e.path().string());
            const bool writable = (fs::status(e.path()).permissions() & fs::perms::owner_write) != fs::perms::none;
            tree[rel] = std::string(b.begin(), b.end()) + (writable ? "" : "<read-only>");
        }
    }
    return tree;
}

class ParallelExtract : public ArchiveFixture {
protected:
    void Clear() {
        std::error_code ec;
        // Read-only files first become writable: Windows refuses to delete them.
        if (fs::exists(DestPath()))
            for (const auto& e : fs::recursive_directory_iterator(DestPath()))
                fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add, ec);
        fs::remove_all(DestPath(), ec);
    }

    Outcome OneByOne(payload::ExtractTarget target) {
        Clear();
        Outcome o;
        Recorder recorder;
        for (std::size_t i = 0; i < archive.entrylist().size(); ++i) {
            const bool ok = archive.ExtractEntry(i, &recorder, target);
            o.entries.emplace_back(ok, archive.errortext());
            if (!ok && target == payload::ExtractTarget::Write) break;
        }
        o.progress = recorder.progress;
        o.terminations = recorder.terminations;
        o.tree = Tree(DestPath());
        return o;
    }

    Outcome Parallel(payload::ExtractTarget target, unsigned workers) {
        Clear();
        Outcome o;
        Recorder recorder;
        std::size_t expected = 0;
        tallowin::ExtractAll(archive, target, workers, &recorder, [&](std::size_t i, bool ok, const std::u16string& text) {
            EXPECT_EQ(i, expected++) << "entries settled out of order";
            o.entries.emplace_back(ok, text);
            return ok || target == payload::ExtractTarget::Verify;
        });
        o.progress = recorder.progress;
        o.terminations = recorder.terminations;
        o.tree = Tree(DestPath());
        return o;
    }

    void ExpectSame(const std::string& what) {
        for (auto target : {payload::ExtractTarget::Write, payload::ExtractTarget::Verify}) {
            const Outcome want = OneByOne(target);
            for (unsigned workers : {1u, 4u}) {
                const Outcome got = Parallel(target, workers);
                EXPECT_EQ(got.entries, want.entries) << what << ", " << workers << " workers";
                EXPECT_EQ(got.progress, want.progress) << what << ", " << workers << " workers";
                EXPECT_EQ(got.terminations, want.terminations) << what << ", " << workers << " workers";
                EXPECT_EQ(got.tree, want.tree) << what << ", " << workers << " workers";
            }
        }
    }
};

TEST_F(ParallelExtract, GoodInstallerGivesTheSameFilesAndProgress) {
    ASSERT_TRUE(OpenImage(SampleInstaller()));
    const Outcome got = Parallel(payload::ExtractTarget::Write, 4);
    ASSERT_EQ(got.entries.size(), 5u);
    for (const auto& [ok, text] : got.entries) EXPECT_TRUE(ok) << std::string(text.begin(), text.end());
    EXPECT_FALSE(got.progress.empty());
    EXPECT_EQ(got.tree.at("docs/deep/c.txt").size(), 65536u + std::string("<read-only>").size());
    ExpectSame("good installer");
}

TEST_F(ParallelExtract, DamagedInstallersEndAsOneByOne) {
    const Bytes good = SampleInstaller();
    ASSERT_TRUE(OpenImage(good));
    const std::int64_t from = trailer.archiveoffset, to = trailer.licenseoffset;
    int opened = 0, failing = 0;
    // Bytes overwritten across chunk headers, payloads and the directory.
    for (std::int64_t at = from; at < to; at += (to - from) / 31 + 1) {
        Bytes bad = good;
        bad[static_cast<std::size_t>(at)] ^= static_cast<std::uint8_t>(0x5A + at % 7);
        if (!OpenImage(bad)) continue;
        ++opened;
        const Outcome want = OneByOne(payload::ExtractTarget::Write);
        if (!want.entries.empty() && !want.entries.back().first) ++failing;
        ExpectSame("byte " + std::to_string(at));
    }
    EXPECT_GT(opened, 20);
    EXPECT_GT(failing, 3) << "the damage should make some entries fail";
}

// A hostile archive's second entry that would land on the first one's
// file ("a.txt." is "a.txt" to Windows): refused, as one by one.
TEST_F(ParallelExtract, AnEntryNamedOntoAnotherIsRefused) {
    RawInstaller raw;
    for (const char16_t* name : {u"a.txt", u"a.txt.", u"b*.txt"}) {
        RawEntry e(name, u"", 1);
        AppendPlainChunk(e.chunks, Bytes{'x'}, true);
        raw.entries.push_back(e);
    }
    ASSERT_TRUE(Open(raw));
    const Outcome got = Parallel(payload::ExtractTarget::Write, 4);
    ASSERT_EQ(got.entries.size(), 2u);
    EXPECT_TRUE(got.entries[0].first);
    EXPECT_FALSE(got.entries[1].first);
    EXPECT_EQ(got.entries[1].second.rfind(u"Refused archive entry \"a.txt.\"", 0), 0u);
    ExpectSame("aliased names");
}

TEST_F(ParallelExtract, FileThatCannotBeCreatedStopsTheRunThere) {
    ASSERT_TRUE(OpenImage(SampleInstaller()));
    // A folder where entry 1's file, bin\b.bin, should go.
    const auto prepare = [&] {
        fs::create_directories(DestPath() / "bin" / "b.bin");
    };
    Clear();
    prepare();
    Recorder r1;
    std::vector<std::u16string> want;
    for (std::size_t i = 0; i < archive.entrylist().size(); ++i) {
        const bool ok = archive.ExtractEntry(i, &r1);
        want.push_back(archive.errortext());
        if (!ok) break;
    }
    const auto wantTree = Tree(DestPath());
    Clear();
    prepare();
    Recorder r2;
    std::vector<std::u16string> got;
    tallowin::ExtractAll(archive, payload::ExtractTarget::Write, 4, &r2, [&](std::size_t, bool ok, const std::u16string& text) {
        got.push_back(text);
        return ok;
    });
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got.back().rfind(payload::kTextCannotCreatePrefix, 0), 0u);
    EXPECT_EQ(got, want);
    EXPECT_EQ(Tree(DestPath()), wantTree);
    EXPECT_FALSE(fs::exists(DestPath() / "docs") || fs::exists(DestPath() / "empty"))
        << "entries after the failing one were written";
}

}  // namespace
