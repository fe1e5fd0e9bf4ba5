// The URL splitter and the manifest's text rules. Portable: also built and run natively.
#include "common/UrlSplitter.h"
#include "Wisp/update/ManifestRules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

UrlParts Split(const std::string& url)
{
    UrlParts parts;
    EXPECT_TRUE(SplitUrl(url, parts)) << url;
    return parts;
}

bool Refused(const std::string& url)
{
    UrlParts parts;
    parts.host = "left over";
    const bool split = SplitUrl(url, parts);
    return !split && parts.host.empty() && parts.path.empty();
}

TEST(UrlSplitter, DefaultsAreHttpAndPort80HttpsIsSecureOn443)
{
    UrlParts plain = Split("http://www.example.com/news/today.xml?x=1&y=2#top");
    EXPECT_EQ("http", plain.scheme);
    EXPECT_EQ("www.example.com", plain.host);
    EXPECT_EQ(80, plain.port);
    EXPECT_FALSE(plain.secure);
    EXPECT_EQ("/news/today.xml", plain.path);
    EXPECT_EQ("?x=1&y=2", plain.query);
    EXPECT_EQ("/news/today.xml?x=1&y=2", plain.RequestTarget());

    UrlParts bare = Split("www.example.com");
    EXPECT_EQ("http", bare.scheme);
    EXPECT_EQ(80, bare.port);
    EXPECT_EQ("/", bare.RequestTarget());

    UrlParts secure = Split("HTTPS://Secure.Example.com/login");
    EXPECT_EQ("https", secure.scheme);
    EXPECT_EQ("Secure.Example.com", secure.host);
    EXPECT_EQ(443, secure.port);
    EXPECT_TRUE(secure.secure);

    UrlParts ported = Split("https://127.0.0.1:8443?q");
    EXPECT_EQ(8443, ported.port);
    EXPECT_TRUE(ported.secure);
    EXPECT_EQ("/?q", ported.RequestTarget());
    EXPECT_EQ(80, Split("http://host:/x").port);
    EXPECT_EQ(65535, Split("http://host:65535/").port);
    EXPECT_EQ("/a", Split("  http://host/a \t\r\n").path);
}

TEST(UrlSplitter, TheHostIsWhatFollowsTheLastAt)
{
    UrlParts parts = Split("http://allowed.example@evil.test/setup.msi");
    EXPECT_EQ("evil.test", parts.host);
    EXPECT_EQ("allowed.example", parts.userInfo);
    EXPECT_EQ("evil.test", Split("allowed.example@evil.test").host);
    EXPECT_EQ("evil.test", Split("http://user:pw@allowed.example@evil.test:81/").host);
    EXPECT_EQ(81, Split("http://user:pw@allowed.example@evil.test:81/").port);
    // A "@" after the authority belongs to the path.
    EXPECT_EQ("allowed.example", Split("http://allowed.example/x@evil.test").host);
    EXPECT_EQ("allowed.example", Split("http://allowed.example?@evil.test").host);
    EXPECT_EQ("::1", Split("http://[::1]:8080/x").host);
    EXPECT_EQ(8080, Split("http://[::1]:8080/x").port);
}

TEST(UrlSplitter, RefusesWhatNoHttpRequestCouldGoTo)
{
    EXPECT_TRUE(Refused(""));
    EXPECT_TRUE(Refused("http://"));
    EXPECT_TRUE(Refused("http:///path"));
    EXPECT_TRUE(Refused("//host/path"));
    EXPECT_TRUE(Refused("ftp://host/file"));
    EXPECT_TRUE(Refused("file://C:/x"));
    EXPECT_TRUE(Refused("http://host:0/"));
    EXPECT_TRUE(Refused("http://host:65536/"));
    EXPECT_TRUE(Refused("http://host:80a/"));
    EXPECT_TRUE(Refused("http://host:123456/"));
    EXPECT_TRUE(Refused("http://user@/x"));
    EXPECT_TRUE(Refused("http://evil.test\\@allowed.example/"));
    EXPECT_TRUE(Refused("http://ho st/"));
    EXPECT_TRUE(Refused("http://host/a\r\nHost: other"));
    EXPECT_TRUE(Refused(std::string("http://host/\0x", 14)));
    EXPECT_TRUE(Refused("http://[::1/x"));
    EXPECT_TRUE(Refused("http://[::1]x/"));
    EXPECT_TRUE(Refused("http://a:b:c/"));
    EXPECT_TRUE(Refused("http://ho%73t/"));
}

TEST(ManifestRules, IntegersReadAsAtoiDoes)
{
    using manifest_rules::ParseInteger;
    EXPECT_EQ(42, ParseInteger("42"));
    EXPECT_EQ(12, ParseInteger(" \t+12abc"));
    EXPECT_EQ(-5, ParseInteger("-5"));
    EXPECT_EQ(0, ParseInteger("abc"));
    EXPECT_EQ(0, ParseInteger(""));
    EXPECT_EQ(0, ParseInteger("- 5"));
    EXPECT_EQ(7, ParseInteger("7.9"));
    EXPECT_EQ(2147483647, ParseInteger("99999999999999999999"));
    EXPECT_EQ(-2147483647 - 1, ParseInteger("-2147483648"));
    EXPECT_EQ(-2147483647 - 1, ParseInteger("-99999999999"));
}

TEST(ManifestRules, ComponentPathsStayBelowTheUpdateFolder)
{
    using manifest_rules::IsSafeComponentPath;
    for (const char* safe : {"", "skins", "skins\\blue", "a/b", "a\\\\b", "sub\\", "v1.2\\x..y", "..data"})
        EXPECT_TRUE(IsSafeComponentPath(safe)) << safe;
    for (const char* unsafe : {"\\Windows", "/etc", "\\\\server\\share", "C:\\Windows", "C:rel", "..",
                               "..\\..\\Startup", "a\\..\\..\\b", "a/../b", "a\\..", "...", ". .", ".. ",
                               ".", "a\\.\\b", "file.txt:stream", "a*b", "a?b", "a|b", "a<b", "a\"b",
                               "a\tb"})
        EXPECT_FALSE(IsSafeComponentPath(unsafe)) << unsafe;
}

TEST(ManifestRules, TheFileNameIsTheLastSegmentWithoutQueryOrFragment)
{
    using manifest_rules::FileNameFromUrl;
    std::string name;
    EXPECT_TRUE(FileNameFromUrl("http://dl.example.com/files/setup.msi", name));
    EXPECT_EQ("setup.msi", name);
    EXPECT_TRUE(FileNameFromUrl("http://dl.example.com/files/setup.msi?session=1&x=/y#frag", name));
    EXPECT_EQ("setup.msi", name);
    EXPECT_TRUE(FileNameFromUrl("dl.example.com/readme", name));
    EXPECT_EQ("readme", name);
    for (const char* nameless : {"http://dl.example.com/", "http://dl.example.com", "http://dl.example.com/dir/",
                                 "http://dl.example.com/dir/?file=setup.msi", "http://dl.example.com/..",
                                 "http://dl.example.com/a/...", "http://dl.example.com/a\\..\\..\\x.exe",
                                 "http://dl.example.com/C:x.exe", "http://dl.example.com/a*.exe",
                                 "ftp://dl.example.com/setup.msi", "not a url at all"}) {
        name = "stale";
        EXPECT_FALSE(FileNameFromUrl(nameless, name)) << nameless;
        EXPECT_EQ("", name) << nameless;
    }
}

TEST(ManifestRules, KeysTimestampedNamesAndCacheNames)
{
    using namespace manifest_rules;
    EXPECT_EQ("\\setup.msi", ComponentKey("", "setup.msi"));
    EXPECT_EQ("skins\\blue.css", ComponentKey("skins", "blue.css"));
    EXPECT_EQ("42_setup.msi", TimestampedName(42, "setup.msi"));
    EXPECT_EQ("-3_a.txt", TimestampedName(-3, "a.txt"));
    EXPECT_EQ("42_setup.msi", CacheName(42, "\\setup.msi"));
    EXPECT_EQ("42_setup.msi", CacheName(42, "\\\\setup.msi"));
    EXPECT_EQ("7_skins\\blue.css", CacheName(7, "skins\\blue.css"));
}

}  // namespace
