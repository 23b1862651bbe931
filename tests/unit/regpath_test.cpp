#include "setuputil/regpath.hpp"
#include "setuputil/services.hpp"

#include <gtest/gtest.h>

using namespace setuputil;

TEST(CanonicalRegPath, DropsOuterAndDoubledBackslashes) {
    EXPECT_EQ(CanonicalRegPath("software\\Calderic\\Vantrell"), "software\\Calderic\\Vantrell");
    EXPECT_EQ(CanonicalRegPath("\\software\\Calderic\\"), "software\\Calderic");
    EXPECT_EQ(CanonicalRegPath("\\\\software\\\\\\Calderic\\\\"), "software\\Calderic");
    EXPECT_EQ(CanonicalRegPath("\\\\\\"), "");
    EXPECT_EQ(CanonicalRegPath(""), "");
    EXPECT_EQ(CanonicalRegPath("a b\\ c "), "a b\\ c ");  // blanks belong to names
}

TEST(IsProtectedRegPath, RefusesRootsFixedParentsAndSharedKeys) {
    const char* protectedPaths[] = {
        "",
        "\\",
        "software",
        "SOFTWARE",
        "Software\\",
        "\\software\\",
        "software\\microsoft",
        "Software\\Microsoft\\Windows",
        "software\\microsoft\\windows\\currentversion",
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths",
        "software\\microsoft\\windows\\currentversion\\app paths\\",
        "software\\microsoft\\windows\\currentversion\\uninstall\\",
        "software\\microsoft\\windows\\currentversion\\Uninstall",
        "software\\microsoft\\windows\\currentversion\\run\\",
        "\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN",
        "software\\classes",
        "Software\\Classes\\",
        "software\\policies",
        "software\\wow6432node",
        "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
        "software\\wow6432node\\microsoft\\windows\\currentversion\\app paths",
        "software\\\\microsoft",  // a doubled separator names the same key
    };
    for (const char* path : protectedPaths) EXPECT_TRUE(IsProtectedRegPath(path)) << '"' << path << '"';
}

TEST(IsProtectedRegPath, AllowsKeysProductsOwn) {
    const char* ownPaths[] = {
        "software\\Calderic\\Vantrell",
        "software\\Calderic",  // a vendor key, named by a one-level Start-menu folder
        "software\\microsoft\\windows\\currentversion\\uninstall\\Vantrell 2",
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\vantrell.exe",
        "software\\microsoft\\windows\\currentversion\\run\\vantrell.exe",
        "software\\microsoft\\windows\\currentversion\\runonce",
        "software\\microsoftx",
        "softwares",
        ".vtl",
        "Vantrell.Document",
        "software\\Microsoft ",  // a trailing blank is part of another key's name
    };
    for (const char* path : ownPaths) EXPECT_FALSE(IsProtectedRegPath(path)) << '"' << path << '"';
}

TEST(ServiceCommandLine, QuotesPathsWithBlanksOnly) {
    EXPECT_EQ(ServiceCommandLine(u"C:\\Program Files\\Vantrell\\svc.exe"),
              u"\"C:\\Program Files\\Vantrell\\svc.exe\"");
    EXPECT_EQ(ServiceCommandLine(u"C:\\Vantrell\\svc.exe"), u"C:\\Vantrell\\svc.exe");
    EXPECT_EQ(ServiceCommandLine(u"C:\\a\tb\\svc.exe"), u"\"C:\\a\tb\\svc.exe\"");
    // Already quoted: not quoted twice.
    EXPECT_EQ(ServiceCommandLine(u"\"C:\\Program Files\\svc.exe\""), u"\"C:\\Program Files\\svc.exe\"");
    EXPECT_EQ(ServiceCommandLine(u""), u"");
}
