// The declarations record a product's stub carries: what the builder writes
// comes back whole, the keys a product may write are its own, and damaged
// or hostile text is refused.
#include "payload/declarations.hpp"

#include <gtest/gtest.h>

using namespace payload;

namespace {

Declarations Sample() {
    Declarations d;
    d.registry = {{RegistryType::String, "Software\\Calderic\\Vantrell", u"Server", {u"lic.example:27000"}, 0, {}, ""},
                  {RegistryType::Expandable, "Software\\Calderic\\Vantrell", u"", {u"{app}\\data;%TEMP%"}, 0, {}, ""},
                  {RegistryType::Dword, "Software\\Calderic\\Vantrell", u"Port", {}, 0xFFFFFFFFu, {}, ""},
                  {RegistryType::Qword, "Software\\Calderic\\Vantrell", u"Big", {}, ~std::uint64_t{0}, {}, ""},
                  {RegistryType::MultiString, "SOFTWARE\\Calderic\\Vantrell\\Paths", u"List", {u"\u00e9", u"b c"}, 0, {}, ""},
                  {RegistryType::Binary, "Software\\Calderic\\Vantrell", u"Key \u4e2d", {}, 0, {0, 0x7f, 0xff}, ""}};
    d.startatsignin = true;
    d.signinarguments = u"/tray \"{app}\"";
    d.signintask = "tray";
    d.registry[1].task = "tray";
    d.tasks = {{"desktopicon", true, u"", {}}, {"tray", false, u"Start with Windows", {{"de", u"Mit Windows starten"}, {"ja", u"\u81ea\u52d5"}}}};
    d.path = {{u"bin", ""}, {u"", "tray"}};
    d.environment = {{u"VANTRELL_HOME", u"{app}", ""}};
    d.filetypes = {{"Calderic.Vantrell.Document.1", u"Vantrell document", {".vtr", ".vtrx"}, u"vantrell.exe", -2,
                    {{"open", u"vantrell.exe", u"\"%1\""}, {"print", u"bin\\vprint.exe", u"/p \"%1\""}}, ""}};
    d.protocols = {{"vantrell", u"Vantrell link", u"vantrell.exe", u"--url \"%1\"", "tray"}};
    return d;
}

bool Parses(const std::string& text, Declarations* out = nullptr) {
    Declarations d;
    std::string error;
    const bool ok = ParseDeclarations(text.data(), text.size(), d, error);
    if (out) *out = d;
    return ok;
}

TEST(Declarations, WhatTheBuilderWritesComesBackWhole) {
    const Declarations d = Sample();
    const std::string text = FormatDeclarations(d);
    ASSERT_FALSE(text.empty());
    Declarations back;
    ASSERT_TRUE(Parses(text, &back));
    ASSERT_EQ(back.registry.size(), d.registry.size());
    for (std::size_t i = 0; i < d.registry.size(); ++i) {
        EXPECT_EQ(back.registry[i].type, d.registry[i].type);
        EXPECT_EQ(back.registry[i].key, d.registry[i].key);
        EXPECT_EQ(back.registry[i].name, d.registry[i].name);
        EXPECT_EQ(back.registry[i].texts, d.registry[i].texts);
        EXPECT_EQ(back.registry[i].number, d.registry[i].number);
        EXPECT_EQ(back.registry[i].bytes, d.registry[i].bytes);
    }
    EXPECT_TRUE(back.startatsignin);
    EXPECT_EQ(back.signinarguments, d.signinarguments);
    EXPECT_EQ(back.signintask, "tray");
    EXPECT_EQ(back.registry[1].task, "tray");
    ASSERT_EQ(back.tasks.size(), 2u);
    EXPECT_EQ(back.tasks[1].texts, d.tasks[1].texts);
    EXPECT_FALSE(back.tasks[1].checked);
    ASSERT_EQ(back.path.size(), 2u);
    EXPECT_EQ(back.path[1].folder, u"");
    EXPECT_EQ(back.environment[0].value, u"{app}");
    ASSERT_EQ(back.filetypes.size(), 1u);
    EXPECT_EQ(back.filetypes[0].extensions, d.filetypes[0].extensions);
    EXPECT_EQ(back.filetypes[0].iconindex, -2);
    ASSERT_EQ(back.filetypes[0].verbs.size(), 2u);
    EXPECT_EQ(back.filetypes[0].verbs[1].program, u"bin\\vprint.exe");
    ASSERT_EQ(back.protocols.size(), 1u);
    EXPECT_EQ(back.protocols[0].arguments, u"--url \"%1\"");
    // An installer made before tasks and the other declarations reads as it was.
    Declarations v1;
    ASSERT_TRUE(Parses("Tallowin declarations 1\nregistry\tdword\tSoftware\\A\tn\t1\nstartatsignin\t/x\nend\n", &v1));
    EXPECT_EQ(v1.registry.size(), 1u);
    EXPECT_EQ(v1.signinarguments, u"/x");
    EXPECT_TRUE(Declarations{}.Empty());
}

TEST(Declarations, OnlyAVendorsOwnKeys) {
    EXPECT_TRUE(IsVendorKey("Software\\Calderic"));
    EXPECT_TRUE(IsVendorKey("software\\Calderic\\Vantrell\\Sub Key"));
    for (const char* key :
         {"Software", "Calderic\\Vantrell", "HKLM\\Software\\Calderic", "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
          "Software\\microsoft\\Vantrell", "Software\\Classes\\.vtr", "Software\\Policies\\Calderic",
          "Software\\WOW6432Node\\Calderic", "Software\\Clients\\Mail", "Software\\RegisteredApplications",
          "Software\\\\Calderic", "Software\\Calderic\\", "Software\\ Calderic", "Software\\Cald\xe9ric",
          "Software\\Cal\tderic"})
        EXPECT_FALSE(IsVendorKey(key)) << key;
    EXPECT_FALSE(IsVendorKey("Software\\" + std::string(256, 'a')));
    std::string why;
    EXPECT_FALSE(IsVendorKey("Software\\Microsoft\\X", &why));
    EXPECT_NE(why.find("every program shares"), std::string::npos) << why;
    EXPECT_FALSE(IsDeclarableValueName(u"a\\b"));
    EXPECT_FALSE(IsDeclarableValueName(u"a\tb"));
    EXPECT_TRUE(IsDeclarableValueName(u""));
}

TEST(Declarations, DamagedOrHostileTextIsRefused) {
    const std::string good = FormatDeclarations(Sample());
    ASSERT_TRUE(Parses(good));
    const std::string head = "Tallowin declarations 1\n";
    for (const std::string& bad : {
             std::string("Tallowin declarations 3\nend\n"),
             std::string("Tallowin declarations 1\npath\t\tbin\nend\n"),   // a line version 1 did not have
             head + "end",                                                   // no final line end
             head + "end\nend\n",                                            // text after the end
             head,                                                           // no end
             head + "registry\tstring\tSoftware\\Microsoft\\X\tn\tv\nend\n",  // a shared key
             head + "registry\tstring\tSoftware\\A\tn\nend\n",               // no value
             head + "registry\tstring\tSoftware\\A\tn\tv\tw\nend\n",         // two texts for one
             head + "registry\tword\tSoftware\\A\tn\t1\nend\n",              // unknown type
             head + "registry\tdword\tSoftware\\A\tn\t4294967296\nend\n",    // past a DWORD
             head + "registry\tqword\tSoftware\\A\tn\t18446744073709551616\nend\n",
             head + "registry\tdword\tSoftware\\A\tn\t-1\nend\n",
             head + "registry\tbinary\tSoftware\\A\tn\tabc\nend\n",          // half a byte
             head + "registry\tbinary\tSoftware\\A\tn\tzz\nend\n",
             head + "registry\tstring\tSoftware\\A\ta\\b\tv\nend\n",         // backslash in a name
             head + "registry\tstring\tSoftware\\A\tn\tv\x01\nend\n",        // control character
             head + "registry\tstring\tSoftware\\A\tn\t\xff\nend\n",         // malformed UTF-8
             head + "registry\tmultistring\tSoftware\\A\tn\ta\t\nend\n",     // an empty item
             head + "startatsignin\t\nstartatsignin\t\nend\n",               // repeated
             head + "startatsignin\nend\n",
             head + "pathentry\tbin\nend\n",                                 // unknown line
         })
        EXPECT_FALSE(Parses(bad)) << bad;
    // The other declarations: each name and path rule, and every task named must be declared.
    const std::string v2 = "Tallowin declarations 2\n";
    for (const std::string& bad : {
             v2 + "path\t\t..\\x\nend\n", v2 + "path\t\tC:\\x\nend\n", v2 + "path\tnone\tbin\nend\n",
             v2 + "environment\t\tPath\tx\nend\n", v2 + "environment\t\t1A\tx\nend\n",
             v2 + "filetype\t\texefile\td\t\t0\t.vtr\nverb\topen\ta.exe\t\nend\n",     // no dot: a shell class
             v2 + "filetype\t\tA.B\td\t\t0\t.exe\nverb\topen\ta.exe\t\nend\n",         // a system extension
             v2 + "filetype\t\tA.B\td\t\t0\t.vtr\nend\n",                                // no verb
             v2 + "filetype\t\tA.B\td\t\t0\t.vtr\nverb\topen\t..\\a.exe\t\nend\n",
             v2 + "verb\topen\ta.exe\t\nend\n",
             v2 + "protocol\t\thttp\td\ta.exe\t%1\nend\n", v2 + "protocol\t\tms-settings\td\ta.exe\t%1\nend\n",
             v2 + "task\tDesk\t1\tx\nend\n", v2 + "task\tx\t1\t\nend\n", v2 + "task\tx\t2\tx\nend\n",
             v2 + "task\tx\t1\tx\ntask\tx\t1\ty\nend\n", v2 + "tasktext\tx\tde\ty\nend\n",
             v2 + "task\tx\t1\tx\ntasktext\tx\tklingon!\ty\nend\n",
         })
        EXPECT_FALSE(Parses(bad)) << bad;
    EXPECT_TRUE(Parses(v2 + "task\tdesktopicon\t0\t\nprotocol\tdesktopicon\tvan+x\td\tbin\\a.exe\t%1\nend\n"));
    std::string many = head;
    for (std::size_t i = 0; i <= kMaxRegistryDeclarations; ++i) many += "registry\tdword\tSoftware\\A\tn\t1\n";
    EXPECT_FALSE(Parses(many + "end\n"));
    // The keys the values need are bounded too: the install record lists those it makes.
    Declarations deep;
    for (std::size_t i = 0; i < kMaxRegistryDeclarations; ++i)
        deep.registry.push_back({RegistryType::Dword, "Software\\A\\K" + std::to_string(i), u"n", {}, 1, {}, ""});
    EXPECT_TRUE(FormatDeclarations(deep).empty());
    deep.registry.pop_back();
    const std::string fits = FormatDeclarations(deep);
    EXPECT_TRUE(Parses(fits));
    EXPECT_FALSE(Parses(fits.substr(0, fits.size() - 4) + "registry\tdword\tSoftware\\A\\X\tn\t1\nend\n"));
    EXPECT_FALSE(Parses(std::string(kMaxDeclarationsBytes + 1, 'a')));
    Declarations tooLong = Sample();
    tooLong.registry[0].texts = {std::u16string(kMaxDeclarationText + 1, u'a')};
    EXPECT_TRUE(FormatDeclarations(tooLong).empty());
    Declarations badKey = Sample();
    badKey.registry[0].key = "Software\\Classes\\.vtr";
    EXPECT_TRUE(FormatDeclarations(badKey).empty());
}

TEST(Declarations, PlaceholdersAreFilledAndOtherBracesStay) {
    EXPECT_EQ(FillPlaceholders(u"{app}\\bin;{version};{lang};{other};{app", u"C:\\P", u"2.1", u"de"),
              u"C:\\P\\bin;2.1;de;{other};{app");
}

}  // namespace

TEST(Declarations, PrerequisitesAndRunsComeBackWholeAndTheirRulesHold) {
    Declarations d = Sample();
    PrerequisiteDeclaration registry{u"cxxruntime-x64.exe", u"C++ runtime", u"/install /quiet", u"", {0, 3010, 1638},
                                     PrerequisiteCheck::Registry, u"HKLM\\SOFTWARE\\Vendor\\Runtime\\x64", u"Version", "14.38"};
    PrerequisiteDeclaration file{u"driver.msi", u"Driver \u00e9", u"", u"/qn", {0}, PrerequisiteCheck::File,
                                 u"{sys}\\drv.dll", u"", "2.1.0.7"};
    PrerequisiteDeclaration always{u"db.exe", u"Database", u"", u"", {0}, PrerequisiteCheck::None, u"", u"", ""};
    d.prerequisites = {registry, file, always};
    RunDeclaration after{RunWhen::AfterInstall, u"bin\\reg.exe", u"--register \"{app}\"", {0, 1}, true, true, true, false};
    RunDeclaration before{RunWhen::BeforeUninstall, u"reg.exe", u"", {0}, true, false, false, false};
    RunDeclaration update{RunWhen::AfterUpdate, u"reg.exe", u"--update {version}", {0}, false, false, false, true};
    d.runs = {after, before, update};
    const std::string text = FormatDeclarations(d);
    ASSERT_FALSE(text.empty());
    Declarations back;
    ASSERT_TRUE(Parses(text, &back));
    ASSERT_EQ(back.prerequisites.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const PrerequisiteDeclaration &a = d.prerequisites[i], &b = back.prerequisites[i];
        EXPECT_EQ(b.file, a.file);
        EXPECT_EQ(b.caption, a.caption);
        EXPECT_EQ(b.arguments, a.arguments);
        EXPECT_EQ(b.unattendedarguments, a.unattendedarguments);
        EXPECT_EQ(b.successcodes, a.successcodes);
        EXPECT_EQ(b.check, a.check);
        EXPECT_EQ(b.where, a.where);
        EXPECT_EQ(b.name, a.name);
        EXPECT_EQ(b.minversion, a.minversion);
    }
    ASSERT_EQ(back.runs.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const RunDeclaration &a = d.runs[i], &b = back.runs[i];
        EXPECT_EQ(b.when, a.when);
        EXPECT_EQ(b.program, a.program);
        EXPECT_EQ(b.arguments, a.arguments);
        EXPECT_EQ(b.successcodes, a.successcodes);
        EXPECT_EQ(RunFlagsText(b), RunFlagsText(a));
    }
    Declarations only;
    only.runs = {before};
    EXPECT_FALSE(only.Empty());

    // What the builder refuses to write, the reader refuses to read.
    const auto refused = [&](auto change) {
        Declarations bad = d;
        change(bad);
        return FormatDeclarations(bad).empty();
    };
    EXPECT_TRUE(refused([](Declarations& x) { x.prerequisites[0].file = u"sub\\a.exe"; }));
    EXPECT_TRUE(refused([](Declarations& x) { x.prerequisites[0].file = u"..\\a.exe"; }));
    EXPECT_TRUE(refused([](Declarations& x) { x.prerequisites[1].file = u"CXXRUNTIME-X64.EXE"; }));  // twice
    EXPECT_TRUE(refused([](Declarations& x) { x.prerequisites[0].caption = u""; }));
    EXPECT_TRUE(refused([](Declarations& x) { x.prerequisites[0].successcodes = {}; }));
    EXPECT_TRUE(refused([](Declarations& x) { x.prerequisites[0].where = u"HKCR\\Vendor"; }));
    EXPECT_TRUE(refused([](Declarations& x) { x.prerequisites[0].where = u"HKLM\\A\\\\B"; }));
    EXPECT_TRUE(refused([](Declarations& x) { x.prerequisites[0].minversion = "14.x"; }));
    EXPECT_TRUE(refused([](Declarations& x) { x.prerequisites[2].where = u"HKLM\\A"; }));  // a check without a kind
    EXPECT_TRUE(refused([](Declarations& x) { x.runs[0].program = u"C:\\Windows\\system32\\cmd.exe"; }));
    EXPECT_TRUE(refused([](Declarations& x) { x.runs[0].wait = false; }));  // must succeed, never waited for
    const std::string v2 = "Tallowin declarations 2\n";
    for (const std::string& bad : {
             v2 + "prerequisite\ta.exe\tA\t\t\t0\tregistry\tHKLM\\X\tv\n" + "end\n",           // one field short
             v2 + "prerequisite\ta.exe\tA\t\t\t\t\t\t\t\nend\n",                                // no exit codes
             v2 + "prerequisite\ta.exe\tA\t\t\t0,x\t\t\t\t\nend\n",
             v2 + "prerequisite\ta.exe\tA\t\t\t0\twmi\t\t\t\nend\n",                            // unknown check
             v2 + "prerequisite\ta.exe\tA\t\t\t0,4294967296\t\t\t\t\nend\n",
             v2 + "run\tatboot\ta.exe\t\t0\tw\nend\n",
             v2 + "run\tafterinstall\ta.exe\t\t0\tfw\nend\n",                                   // another order
             v2 + "run\tafterinstall\ta.exe\t\t0\tww\nend\n",
             v2 + "run\tafterinstall\ta.exe\t\t0\tx\nend\n",
             v2 + "run\tbeforeuninstall\t\\\\server\\a.exe\t\t0\tw\nend\n",
         })
        EXPECT_FALSE(Parses(bad)) << bad;
    EXPECT_TRUE(Parses(v2 + "prerequisite\ta.exe\tA\t\t\t0\t\t\t\t\nrun\tafterinstall\ta.exe\t\t0\t\nend\n"));
}

TEST(Declarations, DottedVersionsCompareByTheirNumbers) {
    EXPECT_EQ(CompareDottedVersions(u"14.38", u"14.38.0.0"), 0);
    EXPECT_GT(CompareDottedVersions(u"v14.40.33810.00", u"14.38"), 0);
    EXPECT_LT(CompareDottedVersions(u"14.9", u"14.38"), 0);
    EXPECT_GT(CompareDottedVersions(u"100000000000000000000001", u"99999999999999999999999"), 0);
    EXPECT_EQ(CompareDottedVersions(u"007.1", u"7.1"), 0);
    EXPECT_EQ(CompareDottedVersions(u"2.1 beta", u"2.1"), 0);
    EXPECT_TRUE(IsVersionText("14.38.33135.0"));
    for (const char* bad : {"", "1.", ".1", "1..2", "1.2.3.4.5", "v1", "1a"}) EXPECT_FALSE(IsVersionText(bad)) << bad;
}
