#include "tools/tallowin/productfile.hpp"
#include "payload/reservednames.hpp"

#include "tests/unit/tempdir.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const char* const kGood = R"toml(productname = "Vantrell"
productversion = "2.1"
exename = "vantrell.exe"
startmenufolder = "Calderic/Vantrell"
defaultsubfolder = '\Vantrell'
appdatafolder = "Calderic\\Vantrell"
license = "license.txt"
files = "files"

[[services]]
program = "bin/svc.exe"
name = "VantrellService"

[[shortcuts]]
target = "bin/vantrell.exe"
arguments = "-safe"
caption = "Vantrell (safe mode)"
)toml";

class ProductFile : public ::testing::Test {
protected:
    testing_support::TempDir dir;
    sacwriter::InstallerInput input;
    std::vector<std::string> warnings;

    void SetUp() override {
        fs::create_directories(dir.path() / "files" / "bin");
        std::ofstream(dir.path() / "files" / "bin" / "vantrell.exe") << "program";
        // Windows finds the program the product file names in other letters.
        std::ofstream(dir.path() / "files" / "Vantrell.EXE") << "program";
        std::ofstream(dir.path() / "files" / "bin" / "svc.exe") << "service";
        std::ofstream(dir.path() / "files" / "readme.txt") << "read me";
        std::ofstream(dir.path() / "license.txt", std::ios::binary) << "Line one\nLine two\r\nD\xC3\xA9j\xC3\xA0\n";
    }
    bool Load(const std::string& text, std::string& error, std::optional<std::int64_t> epoch = std::nullopt) {
        std::ofstream(dir.path() / "product.toml", std::ios::binary) << text;
        warnings.clear();
        return tallowin::LoadProductFile(dir.path() / "product.toml", epoch, input, warnings, error);
    }
    // The good file with one line replaced (or appended when `from` is empty).
    std::string Error(const std::string& from, const std::string& to) {
        std::string text = kGood;
        if (from.empty()) text += to;
        else text.replace(text.find(from), from.size(), to);
        std::string error;
        EXPECT_FALSE(Load(text, error)) << to;
        return error;
    }
};

TEST_F(ProductFile, ReadsEveryField) {
    std::string error;
    ASSERT_TRUE(Load(kGood, error, 1700000000)) << error;
    const payload::TrailerFields& f = input.fields;
    EXPECT_EQ(f.productname, "Vantrell");
    EXPECT_EQ(f.productversion, "2.1");
    EXPECT_EQ(f.exename, "vantrell.exe");
    EXPECT_EQ(f.startmenufolder, u"\\Calderic\\Vantrell");
    EXPECT_EQ(f.defaultsubfolder, u"\\Vantrell");
    EXPECT_EQ(f.appdatafolder, "Calderic\\Vantrell");
    ASSERT_EQ(f.services.size(), 1u);
    EXPECT_EQ(f.services[0].program, "bin\\svc.exe");
    ASSERT_EQ(f.shortcuts.size(), 1u);
    EXPECT_EQ(f.shortcuts[0].target, "bin\\vantrell.exe-safe");
    EXPECT_EQ(f.shortcuts[0].caption, "Vantrell (safe mode)");
    // Line feeds become CR LF; UTF-8 becomes Windows-1252.
    EXPECT_EQ(input.licensetext, "Line one\r\nLine two\r\nD\xE9j\xE0\r\n");
    ASSERT_EQ(input.items.size(), 4u);
    bool sawProgram = false;
    for (const auto& item : input.items)
        if (item.filename == u"vantrell.exe") {
            sawProgram = true;
            EXPECT_EQ(item.subfolder, u"\\bin");
        }
    EXPECT_TRUE(sawProgram);
    EXPECT_DOUBLE_EQ(input.created, 25569.0 + 1700000000.0 / 86400.0);
    for (const auto& item : input.items) EXPECT_LE(item.filetime, input.created);
}

TEST_F(ProductFile, EveryLimitNamesItsField) {
    EXPECT_NE(Error("productname = \"Vantrell\"\n", "").find("productname is missing"), std::string::npos);
    EXPECT_NE(Error("", "colour = \"red\"\n").find("colour is not a known setting"), std::string::npos);
    EXPECT_NE(Error("productname = \"Vantrell\"", "productname = \"" + std::string(256, 'x') + "\"")
                  .find("productname is 256 bytes long"),
              std::string::npos);
    EXPECT_NE(Error("productversion = \"2.1\"", "productversion = 2").find("productversion must be a text"),
              std::string::npos);
    EXPECT_EQ(Error("productname = \"Vantrell\"", "productname = \"Van\\ttrell\""),
              "productname holds a control character");
    const std::string name = "productname = \"Vantrell\"\n";
    EXPECT_EQ(Error(name, name + "publisher = \"Cal\\u0085deric\"\n"), "publisher holds a control character");
    EXPECT_EQ(Error(name, name + "publisher = \"" + std::string(256, 'p') + "\"\n"), "publisher is longer than 255 characters");
    // A name the code page lacks grows by its checksum in the 8-bit form.
    EXPECT_NE(Error("productname = \"Vantrell\"", "productname = \"" + std::string(250, 'x') + "\xE6\x97\xA5\"")
                  .find("in its 8-bit form"),
              std::string::npos);
    EXPECT_NE(Error("startmenufolder = \"Calderic/Vantrell\"", "startmenufolder = \"Calderic/../..\"")
                  .find("startmenufolder"),
              std::string::npos);
    EXPECT_NE(Error("defaultsubfolder = '\\Vantrell'", "defaultsubfolder = 'C:\\Vantrell'").find("defaultsubfolder"),
              std::string::npos);
    EXPECT_NE(Error("defaultsubfolder = '\\Vantrell'", "defaultsubfolder = ''").find("defaultsubfolder is empty"),
              std::string::npos);
    EXPECT_NE(Error("appdatafolder = \"Calderic\\\\Vantrell\"", "appdatafolder = \"..\"").find("appdatafolder"),
              std::string::npos);
    EXPECT_NE(Error("exename = \"vantrell.exe\"", "exename = \"bin/vantrell.exe\"").find("exename"), std::string::npos);
    for (const char* bad : {"exename = \"van trell.exe\"", "exename = \"van\\ttrell.exe\"", "exename = 'van\"trell.exe'"}) {
        const std::string error = Error("exename = \"vantrell.exe\"", bad);
        EXPECT_NE(error.find("exename"), std::string::npos) << bad;
        EXPECT_NE(error.find("uninstall command line"), std::string::npos) << bad << ": " << error;
    }
    EXPECT_NE(Error("program = \"bin/svc.exe\"", "program = \"../svc.exe\"").find("services[0].program"),
              std::string::npos);
    EXPECT_NE(Error("target = \"bin/vantrell.exe\"", "target = \"my-app.exe\"").find("shortcuts[0].target"),
              std::string::npos);
    EXPECT_NE(Error("arguments = \"-safe\"", "arguments = \"safe\"").find("shortcuts[0].arguments"),
              std::string::npos);
    EXPECT_NE(Error("caption = \"Vantrell (safe mode)\"", "caption = \"a/b\"").find("shortcuts[0].caption"),
              std::string::npos);
    std::string six, seven;
    for (int i = 0; i < 6; ++i) six += "[[services]]\nprogram = \"s.exe\"\nname = \"s\"\n";
    EXPECT_NE(Error("", six).find("services: 7 given"), std::string::npos);
    for (int i = 0; i < 6; ++i) seven += "[[shortcuts]]\ntarget = \"t.exe\"\ncaption = \"c\"\n";
    EXPECT_NE(Error("", seven).find("shortcuts: 7 given"), std::string::npos);
    EXPECT_NE(Error("files = \"files\"", "files = \"nowhere\"").find("files:"), std::string::npos);
    EXPECT_NE(Error("license = \"license.txt\"", "license = \"nowhere.txt\"").find("license:"), std::string::npos);
    EXPECT_NE(Error("", "[[services]]\nprogram = \"x.exe\"\n").find("services[1].name is missing"), std::string::npos);
    EXPECT_NE(Error("productname", "productname = = ").find("not a valid product file"), std::string::npos);
    // Folder texts the platform would read as patterns or cannot create:
    // the uninstall deletes what these name.
    for (const char* bad : {"startmenufolder = \"*\"", "startmenufolder = '\\Ven?or\\*'",
                            "startmenufolder = \"Calderic/Vantrell.\"", "startmenufolder = \"Cal|deric\""}) {
        const std::string error = Error("startmenufolder = \"Calderic/Vantrell\"", bad);
        EXPECT_NE(error.find("startmenufolder"), std::string::npos) << bad;
        EXPECT_NE(error.find("* ? \" < > |"), std::string::npos) << bad << ": " << error;
    }
    for (const char* bad : {"appdatafolder = \"*\"", "appdatafolder = \"Calderic/<x>\"", "appdatafolder = \"x \""})
        EXPECT_NE(Error("appdatafolder = \"Calderic\\\\Vantrell\"", bad).find("appdatafolder"), std::string::npos)
            << bad;
    EXPECT_NE(Error("defaultsubfolder = '\\Vantrell'", "defaultsubfolder = 'Van\"trell'").find("defaultsubfolder"),
              std::string::npos);
    EXPECT_NE(Error("exename = \"vantrell.exe\"", "exename = \"vantrell.exe.\"").find("exename"), std::string::npos);
    EXPECT_NE(Error("program = \"bin/svc.exe\"", "program = \"bin/s?c.exe\"").find("services[0].program"),
              std::string::npos);
}

// Names that become one name on the disk -- a link file's with ".lnk", a
// folder's -- fit the 255 units Windows allows, so every path the install
// records fits its record; at the bound they are taken.
TEST_F(ProductFile, NamesThatBecomeFileNamesFitOneName) {
    const std::string caption = "caption = \"Vantrell (safe mode)\"";
    EXPECT_EQ(Error(caption, "caption = \"" + std::string(252, 'c') + "\""),
              "shortcuts[0].caption is 252 characters long; as a link file's name with \".lnk\" it may be at most 251 "
              "(Windows takes 255 in one name)");
    EXPECT_EQ(Error("productname = \"Vantrell\"", "productname = \"" + std::string(252, 'p') + "\"")
                  .rfind("productname is 252 characters long", 0),
              0u);
    EXPECT_NE(Error("startmenufolder = \"Calderic/Vantrell\"", "startmenufolder = \"Calderic/" + std::string(256, 's') + "\"")
                  .find("holds a folder name of 256 characters; Windows takes at most 255 in one name"),
              std::string::npos);
    std::string text = kGood;
    text.replace(text.find(caption), caption.size(), "caption = \"" + std::string(251, 'c') + "\"");
    text.replace(text.find("Calderic/Vantrell"), 17, "Calderic/" + std::string(255, 's'));
    std::string error;
    EXPECT_TRUE(Load(text, error)) << error;
}

// A program the installer would start must be packed where the product
// file puts it; a shortcut to nothing (the program may make its target
// later) is a warning.
TEST_F(ProductFile, RefusesMissingProgramsAndWarnsOfMissingShortcutTargets) {
    std::string error;
    ASSERT_TRUE(Load(std::string(kGood) + "[[shortcuts]]\ntarget = \"BIN\"\ncaption = \"Programs\"\n", error)) << error;
    EXPECT_TRUE(warnings.empty()) << warnings.front();
    ASSERT_TRUE(Load(std::string(kGood) + "[[shortcuts]]\ntarget = \"docs/guide.txt\"\ncaption = \"Guide\"\n", error))
        << error;
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("shortcuts[1].target \"docs/guide.txt\" is not among the files"), std::string::npos)
        << warnings[0];
    EXPECT_NE(Error("exename = \"vantrell.exe\"", "exename = \"vantrelld.exe\"")
                  .find("exename \"vantrelld.exe\" is not among the files"),
              std::string::npos);
    EXPECT_NE(Error("program = \"bin/svc.exe\"", "program = \"svc.exe\"")
                  .find("services[0].program \"svc.exe\" is not among the files"),
              std::string::npos);
}

// The build ends with the writer's checks, which name the file.
TEST_F(ProductFile, FilesTheInstallerCouldNotCreateAreRefusedByName) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows cannot make these names (the writer's test refuses them from memory)";
#endif
    for (const char* name : {"readme.txt.", "a*b.txt"}) {
        std::ofstream(dir.path() / "files" / "bin" / name) << "x";
        std::string error;
        ASSERT_TRUE(Load(kGood, error)) << error;
        std::ostringstream out;
        EXPECT_FALSE(sacwriter::WriteInstaller(input, out, error)) << name;
        EXPECT_NE(error.find(std::string("bin\\") + name), std::string::npos) << error;
        fs::remove(dir.path() / "files" / "bin" / name);
    }
}

TEST_F(ProductFile, FollowsLinkedFoldersAndRefusesLoops) {
    fs::create_directories(dir.path() / "shared" / "deep");
    std::ofstream(dir.path() / "shared" / "deep" / "data.bin") << "data";
    std::error_code ec;
    fs::create_directory_symlink(dir.path() / "shared", dir.path() / "files" / "linked", ec);
    if (ec) GTEST_SKIP() << "no folder links here: " << ec.message();
    std::string error;
    ASSERT_TRUE(Load(kGood, error)) << error;
    bool linked = false;
    for (const auto& item : input.items)
        if (item.filename == u"data.bin") linked = item.subfolder == u"\\linked\\deep";
    EXPECT_TRUE(linked) << "the linked folder was left out";

    fs::create_directory_symlink(dir.path() / "files" / "bin", dir.path() / "files" / "bin" / "again");
    EXPECT_FALSE(Load(kGood, error));
    EXPECT_NE(error.find("again"), std::string::npos) << error;
    EXPECT_NE(error.find("loop"), std::string::npos) << error;
    fs::remove(dir.path() / "files" / "bin" / "again");

    fs::create_directory_symlink(dir.path() / "nowhere", dir.path() / "files" / "dangling");
    EXPECT_FALSE(Load(kGood, error));
    EXPECT_NE(error.find("dangling"), std::string::npos) << error;
}

}  // namespace

namespace {

TEST_F(ProductFile, VendorTextsKeepTheirInsertsAndNameTheirLanguage) {
    // Keys go first (after a table header they would be the table's), tables last.
    const auto refused = [&](const std::string& added) {
        return added[0] == '[' ? Error("", added) : Error("productname = \"Vantrell\"\n", "productname = \"Vantrell\"\n" + added);
    };
    EXPECT_EQ(refused("languages = [\"de\", \"d e\"]\n"), "languages: \"d e\" is not a language code (\"de\", \"pt-BR\")");
    EXPECT_EQ(refused("[texts.de]\nInstallPathLabel = \"Nach {folder}:\"\n"),
              "texts.de: InstallPathLabel must use the inserts {product} as its English text does, not {folder}");
    EXPECT_EQ(refused("[texts.de]\nFinishLabel = \"Fertig.\"\n"),
              "texts.de: FinishLabel must use the inserts {product} as its English text does, not none");
    EXPECT_EQ(refused("[texts.de]\nFinishLabel = 3\n"), "texts.de.FinishLabel must be a text");
    EXPECT_EQ(refused("[texts.de]\nNoSuchText = \"x\"\n"), "texts.de: no text is named NoSuchText");
    EXPECT_NE(refused("[texts.ar]\nNextButton = \"x\"\n").find("right to left"), std::string::npos);
    std::ofstream(dir.path() / "de.txt", std::ios::binary) << "InstallPathLabel = {product} nach {version}\n";
    EXPECT_EQ(refused("languagefiles = [\"de.txt\"]\n"),
              "languagefiles: " + (dir.path() / "de.txt").string() +
                  ": InstallPathLabel must use the inserts {product} as its English text does, not {product}, {version}");

    // A language file named by its language, a table in the product file.
    std::ofstream(dir.path() / "sv.txt", std::ios::binary) << "# Swedish\nNextButton = &N\xC3\xA4sta  >\n";
    std::ofstream(dir.path() / "product.toml", std::ios::binary)
        << "languages = [\"EN\", \"pt-br\", \"sv\"]\nlanguagefiles = [\"sv.txt\"]\n" << kGood
        << "[texts.pt-BR]\nFinishLabel = \"{product} est\xC3\xA1 instalado.\"\n";
    tallowin::StubIdentity identity;
    std::string error;
    ASSERT_TRUE(tallowin::LoadProductFile(dir.path() / "product.toml", std::nullopt, input, identity, warnings, error))
        << error;
    EXPECT_EQ(identity.texts.languages, (std::vector<std::string>{"en", "pt-BR", "sv"}));
    ASSERT_EQ(identity.texts.tables.size(), 2u);
    EXPECT_EQ(identity.texts.tables[0].code, "pt-BR");
    EXPECT_EQ(identity.texts.tables[1].code, "sv");
    EXPECT_EQ(identity.texts.tables[1].texts[0].second, "&N\xC3\xA4sta  >");
}

// A name in any script: the trailer gets the 8-bit form, the stub the
// names record; names the code page holds get no record, so their
// installer is the one built before.
TEST_F(ProductFile, NamesInAnyScriptGetAnEightBitFormAndARecord) {
    const std::u16string japanese = u"\u30f4\u30a1\u30f3\u30c8\u30ec\u30eb";
    const std::string form = tallowin::EightBitProductName(japanese);
    ASSERT_EQ(form.size(), 6u + 9u);
    EXPECT_EQ(form.substr(0, 7), "______~");
    EXPECT_EQ(form.find_first_not_of("0123456789abcdef", 7), std::string::npos);
    EXPECT_EQ(tallowin::EightBitProductName(japanese), form);
    // One character more, another checksum: two names, two keys.
    EXPECT_NE(tallowin::EightBitProductName(japanese + u"\u30eb").substr(7), form.substr(7));
    EXPECT_NE(tallowin::EightBitProductName(u"\u30a2\u30a1\u30f3\u30c8\u30ec\u30eb"), form);
    // Printable ASCII stays; a pair of surrogates is one character; the
    // separators of keys and of the checksum never appear before it.
    EXPECT_EQ(tallowin::EightBitProductName(u"V\u0430n/t\\r~\U0001F600 1").substr(0, 11), "V_n_t_r__ 1");
    EXPECT_EQ(tallowin::EightBitProductName(u"Caf\u00e9 \u2122"), "Caf\xE9 \x99");

    const auto load = [&](const std::string& name, const std::string& publisher, tallowin::StubIdentity& identity) {
        std::string text = kGood;
        text.replace(text.find("productname = \"Vantrell\""), 24, "productname = \"" + name + "\"\npublisher = \"" + publisher + "\"");
        std::ofstream(dir.path() / "product.toml", std::ios::binary) << text;
        std::string error;
        EXPECT_TRUE(tallowin::LoadProductFile(dir.path() / "product.toml", std::nullopt, input, identity, warnings, error))
            << error;
    };
    tallowin::StubIdentity identity;
    load("\xE3\x83\xB4\xE3\x82\xA1\xE3\x83\xB3\xE3\x83\x88\xE3\x83\xAC\xE3\x83\xAB",
         "\xD0\x9A\xD0\xB0\xD0\xBB\xD0\xB5\xD0\xB4\xD1\x80\xD0\xB8\xD0\xBA", identity);
    EXPECT_EQ(input.fields.productname, form);
    EXPECT_EQ(identity.names.productname, japanese);
    EXPECT_EQ(identity.names.publisher, u"\u041a\u0430\u043b\u0435\u0434\u0440\u0438\u043a");
    EXPECT_EQ(identity.names.eightbit, form);
    EXPECT_EQ(identity.productname, japanese);  // the version resource's

    // Only the publisher outside the code page: a record, the name unchanged.
    load("Vantrell", "\xD0\x9A\xD0\xB0\xD0\xBB", identity);
    EXPECT_EQ(input.fields.productname, "Vantrell");
    EXPECT_EQ(identity.names.eightbit, "Vantrell");
    EXPECT_EQ(identity.names.publisher, u"\u041a\u0430\u043b");
    // Both in the code page: no record.
    load("Caf\xC3\xA9", "Calderic", identity);
    EXPECT_EQ(input.fields.productname, "Caf\xE9");
    EXPECT_TRUE(identity.names.productname.empty());
}

}  // namespace

namespace {

// The good file with declarations: start at sign-in among the top keys,
// `registry` tables at the end.
std::string Declaring(const std::string& signin, const std::string& registry) {
    std::string text = kGood;
    const std::string anchor = "productversion = \"2.1\"\n";
    text.replace(text.find(anchor), anchor.size(), anchor + signin);
    return text + registry;
}

}  // namespace

TEST_F(ProductFile, DeclarationsAreReadAndWhatTheyMayNotWriteIsNamed) {
    std::string error;
    tallowin::StubIdentity identity;
    const auto load = [&](const std::string& text) {
        std::ofstream(dir.path() / "product.toml", std::ios::binary) << text;
        return tallowin::LoadProductFile(dir.path() / "product.toml", std::nullopt, input, identity, warnings, error);
    };
    ASSERT_TRUE(load(kGood)) << error;
    EXPECT_TRUE(identity.declarations.Empty());
    ASSERT_TRUE(load(Declaring("startatsignin = \"/tray\"\n",
                               "[[registry]]\nkey = 'Software\\Calderic\\Vantrell'\nname = \"Server\"\ntype = \"string\"\n"
                               "value = \"{app}\\\\lic\"\n"
                               "[[registry]]\nkey = 'Software\\Calderic\\Vantrell'\ntype = \"dword\"\nvalue = 27000\n"
                               "[[registry]]\nkey = 'Software\\Calderic'\nname = \"L\"\ntype = \"multistring\"\n"
                               "value = [\"a\", \"b\"]\n"
                               "[[registry]]\nkey = 'Software\\Calderic'\nname = \"B\"\ntype = \"binary\"\n"
                               "value = \"00 ff 10\"\n")))
        << error;
    const payload::Declarations& d = identity.declarations;
    ASSERT_EQ(d.registry.size(), 4u);
    EXPECT_EQ(d.registry[0].texts, std::vector<std::u16string>{u"{app}\\lic"});
    EXPECT_EQ(d.registry[1].name, u"");
    EXPECT_EQ(d.registry[1].number, 27000u);
    EXPECT_EQ(d.registry[2].texts, (std::vector<std::u16string>{u"a", u"b"}));
    EXPECT_EQ(d.registry[3].bytes, (std::vector<std::uint8_t>{0, 0xff, 0x10}));
    EXPECT_TRUE(d.startatsignin);
    EXPECT_EQ(d.signinarguments, u"/tray");
    ASSERT_TRUE(load(Declaring("startatsignin = false\n", ""))) << error;
    EXPECT_TRUE(identity.declarations.Empty());

    const auto refused = [&](const std::string& signin, const std::string& registry, const std::string& expected) {
        EXPECT_FALSE(load(Declaring(signin, registry))) << registry;
        EXPECT_NE(error.find(expected), std::string::npos) << error;
    };
    const auto value = [](const std::string& key, const std::string& type, const std::string& v) {
        return "[[registry]]\nkey = '" + key + "'\ntype = \"" + type + "\"\nvalue = " + v + "\n";
    };
    refused("", value("HKEY_LOCAL_MACHINE\\Software\\Calderic", "string", "\"x\""),
            "registry[0].key \"HKEY_LOCAL_MACHINE\\Software\\Calderic\" must lie below Software\\");
    refused("", value("Software\\Microsoft\\Windows\\CurrentVersion\\Run", "string", "\"x\""),
            "registry[0].key \"Software\\Microsoft\\Windows\\CurrentVersion\\Run\" lies in Software\\Microsoft");
    refused("", value("Software\\Classes\\.vtr", "string", "\"x\""), "which every program shares");
    refused("", value("Software\\Wow6432Node\\Calderic", "string", "\"x\""), "which every program shares");
    refused("", value("Software\\Calderic", "word", "1"), "registry[0].type must be one of");
    refused("", value("Software\\Calderic", "dword", "4294967296"), "registry[0].value must be a whole number");
    refused("", value("Software\\Calderic", "dword", "\"1\""), "registry[0].value must be a whole number");
    refused("", value("Software\\Calderic", "binary", "\"abc\""), "registry[0].value must be whole bytes");
    refused("", value("Software\\Calderic", "multistring", "[\"a\", \"\"]"), "registry[0].value[1] is empty");
    refused("", value("Software\\Calderic", "string", "\"x\"") + "colour = 1\n", "registry[0].colour is not a known setting");
    refused("", "[[registry]]\nkey = 'Software\\Calderic'\nname = 'a\\b'\ntype = \"string\"\nvalue = \"x\"\n",
            "registry[0].name must not hold a backslash");
    refused("startatsignin = 1\n", "", "startatsignin must be true, false, the program's arguments");

    // The shell and environment declarations and the tasks that make them optional.
    const std::string top = "path = [\"bin\", { folder = \".\", task = \"path\" }]\n"
                            "startatsignin = { arguments = \"/tray\", task = \"tray\" }\n";
    const std::string shell =
        "[environment]\nVANTRELL_HOME = \"{app}\"\n"
        "[[tasks]]\nname = \"desktopicon\"\ndefault = false\n"
        "[[tasks]]\nname = \"path\"\ntext = \"Add Vantrell to PATH\"\n"
        "[[tasks]]\nname = \"tray\"\ntext = \"Start with Windows\"\n"
        "[texts.de.tasks]\ntray = \"Mit Windows starten\"\n"
        "[[filetypes]]\nprogid = \"Calderic.Vantrell.Document.1\"\ndescription = \"Vantrell document\"\n"
        "extensions = [\".VTR\", \".vtrx\"]\nicon = \"bin/vantrell.exe\"\nprogram = \"bin/vantrell.exe\"\n"
        "[[filetypes.verbs]]\nverb = \"print\"\nprogram = \"bin/vantrell.exe\"\narguments = '/p \"%1\"'\n"
        "[[protocols]]\nscheme = \"vantrell\"\ndescription = \"Vantrell link\"\nprogram = \"bin/vantrell.exe\"\n";
    ASSERT_TRUE(load(Declaring(top, shell))) << error;
    ASSERT_EQ(d.path.size(), 2u);
    EXPECT_EQ(d.path[0].folder, u"bin");
    EXPECT_EQ(d.path[1].folder, u"");
    EXPECT_EQ(d.path[1].task, "path");
    EXPECT_EQ(d.signintask, "tray");
    ASSERT_EQ(d.tasks.size(), 3u);
    EXPECT_FALSE(d.tasks[0].checked);
    EXPECT_EQ(d.tasks[2].texts, (std::vector<std::pair<std::string, std::u16string>>{{"de", u"Mit Windows starten"}}));
    ASSERT_EQ(d.filetypes.size(), 1u);
    EXPECT_EQ(d.filetypes[0].extensions, (std::vector<std::string>{".vtr", ".vtrx"}));
    ASSERT_EQ(d.filetypes[0].verbs.size(), 2u);
    EXPECT_EQ(d.filetypes[0].verbs[0].arguments, u"\"%1\"");
    EXPECT_EQ(d.filetypes[0].verbs[1].program, u"bin\\vantrell.exe");
    EXPECT_EQ(d.protocols.at(0).scheme, "vantrell");
    const auto swapped = [&](const std::string& from, const std::string& to) {
        std::string text = top + "\n" + shell;
        text.replace(text.find(from), from.size(), to);
        return text.substr(text.find("\n\n") + 2);
    };
    const auto swappedTop = [&](const std::string& from, const std::string& to) {
        std::string text = top;
        return text.replace(text.find(from), from.size(), to);
    };
    refused(top, swapped("icon = \"bin/vantrell.exe\"", "icon = \"bin/missing.ico\""),
            "filetypes[0].icon \"bin\\missing.ico\" is not among the files");
    refused(swappedTop("\"bin\", {", "\"docs\", {"), shell, "path[0] \"docs\" is not among the folders");
    refused(swappedTop("\"bin\", {", "\"../x\", {"), shell, "path[0] \"..\\x\" is not a folder of the product");
    refused(swappedTop("task = \"tray\"", "task = \"traj\""), shell, "startatsignin names the task \"traj\"");
    refused(top, swapped("Calderic.Vantrell.Document.1", "txtfile"), "filetypes[0].progid \"txtfile\" is not a ProgID");
    refused(top, swapped("\".vtrx\"", "\".exe\""), "\".exe\" is not an extension a product may take");
    refused(top, swapped("scheme = \"vantrell\"", "scheme = \"https\""), "protocols[0].scheme \"https\"");
    refused(top, swapped("VANTRELL_HOME", "Path"), "environment.Path: a variable's name");
    refused(top, swapped("tray = \"Mit", "trey = \"Mit"), "texts.de.tasks.trey names no task");
}

TEST_F(ProductFile, PrerequisitesRideAlongAsTheirOwnEntriesAndRunsNameTheProductsPrograms) {
    std::string error;
    tallowin::StubIdentity identity;
    const auto load = [&](const std::string& text) {
        std::ofstream(dir.path() / "product.toml", std::ios::binary) << text;
        return tallowin::LoadProductFile(dir.path() / "product.toml", std::nullopt, input, identity, warnings, error);
    };
    fs::create_directories(dir.path() / "redist");
    std::ofstream(dir.path() / "redist" / "cxxruntime-x64.exe") << "runtime";
    const std::string prerequisite =
        "[[prerequisites]]\nfile = \"redist/cxxruntime-x64.exe\"\ncaption = \"C++ runtime\"\n"
        "arguments = \"/install /quiet\"\nsuccesscodes = [0, 5]\n"
        "check = { registry = 'HKLM\\SOFTWARE\\Vendor\\Runtime', value = \"Version\", minversion = \"14.38\" }\n"
        "[[prerequisites]]\nfile = \"redist/cxxruntime-x64.exe\"\ncaption = \"Again\"\nstrictcodes = true\n"
        "check = { file = '{sys}\\cxxrt.dll' }\n";
    const std::string run = "[[run]]\nwhen = \"afterinstall\"\nprogram = \"bin/svc.exe\"\narguments = \"--register\"\n"
                            "failonerror = true\nelevated = true\n"
                            "[[run]]\nwhen = \"beforeuninstall\"\nprogram = \"bin/svc.exe\"\nhidden = true\nwait = false\n";
    // One file twice: the entry names collide.
    EXPECT_FALSE(load(std::string(kGood) + prerequisite + run));
    EXPECT_NE(error.find("a prerequisite's file is given twice"), std::string::npos) << error;
    std::ofstream(dir.path() / "redist" / "other.exe") << "other";
    std::string twice = prerequisite;
    const std::string name = "cxxruntime-x64.exe";
    twice.replace(twice.rfind(name), name.size(), "other.exe");
    ASSERT_TRUE(load(std::string(kGood) + twice + run)) << error;
    const payload::Declarations& d = identity.declarations;
    ASSERT_EQ(d.prerequisites.size(), 2u);
    EXPECT_EQ(d.prerequisites[0].file, u"cxxruntime-x64.exe");
    EXPECT_EQ(d.prerequisites[0].successcodes, (std::vector<std::uint32_t>{0, 5, 3010, 1638}));
    EXPECT_EQ(d.prerequisites[0].check, payload::PrerequisiteCheck::Registry);
    EXPECT_EQ(d.prerequisites[0].where, u"HKLM\\SOFTWARE\\Vendor\\Runtime");
    EXPECT_EQ(d.prerequisites[1].successcodes, std::vector<std::uint32_t>{0});
    EXPECT_EQ(d.prerequisites[1].where, u"{sys}\\cxxrt.dll");
    ASSERT_EQ(d.runs.size(), 2u);
    EXPECT_TRUE(d.runs[0].failonerror && d.runs[0].elevated && d.runs[0].wait);
    EXPECT_EQ(d.runs[1].when, payload::RunWhen::BeforeUninstall);
    EXPECT_EQ(d.runs[1].program, u"bin\\svc.exe");
    EXPECT_FALSE(d.runs[1].wait);
    int carried = 0;
    for (const sacwriter::ArchiveItem& item : input.items)
        if (item.role == payload::kEntryRolePrerequisite) {
            ++carried;
            EXPECT_EQ(item.subfolder, u"\\~tallowin-prerequisites");
        }
    EXPECT_EQ(carried, 2);

    const auto refused = [&](const std::string& text, const std::string& expected) {
        EXPECT_FALSE(load(std::string(kGood) + text)) << text;
        EXPECT_NE(error.find(expected), std::string::npos) << error;
    };
    refused("[[prerequisites]]\nfile = \"redist/missing.exe\"\ncaption = \"X\"\n", "prerequisites[0].file: ");
    refused("[[prerequisites]]\nfile = \"redist/other.exe\"\n", "prerequisites[0].caption is missing");
    refused("[[prerequisites]]\nfile = \"redist/other.exe\"\ncaption = \"X\"\nsuccesscodes = [-1]\n",
            "prerequisites[0].successcodes[0] must be a whole number");
    refused("[[prerequisites]]\nfile = \"redist/other.exe\"\ncaption = \"X\"\ncheck = { registry = 'HKCR\\x' }\n",
            "prerequisites[0].check.registry must begin with HKLM");
    refused("[[prerequisites]]\nfile = \"redist/other.exe\"\ncaption = \"X\"\ncheck = { file = 'a', registry = 'HKLM\\x' }\n",
            "names either a registry key or a file");
    refused("[[prerequisites]]\nfile = \"redist/other.exe\"\ncaption = \"X\"\ncheck = { file = 'a', minversion = '1.x' }\n",
            "prerequisites[0].check.minversion \"1.x\"");
    refused("[[run]]\nwhen = \"atboot\"\nprogram = \"bin/svc.exe\"\n", "run[0].when must be");
    refused("[[run]]\nwhen = \"afterinstall\"\nprogram = \"bin/missing.exe\"\n",
            "run[0].program \"bin\\missing.exe\" is not among the files");
    refused("[[run]]\nwhen = \"afterinstall\"\nprogram = \"bin/svc.exe\"\nwait = false\nfailonerror = true\n",
            "run[0].failonerror needs wait = true");
    // The builder keeps the product's own files out of the prerequisites' folder.
    EXPECT_TRUE(payload::IsReservedTopName(u"~Tallowin-Prerequisites"));
}
