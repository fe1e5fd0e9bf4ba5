// The rule for which pages may use the native bridge. Portable: also built natively by scripts/test.
#include <gtest/gtest.h>

#include <string>

#include "Wisp/control/PageTrust.h"

using page_trust::CanonicalFilePath;
using page_trust::IsTrustedPage;

namespace {

const char kModule[] = "C:\\Program Files\\Tidewire\\Wisp.dll";

int g_folderReads = 0;

void Folders(std::string& content, std::string& application)
{
    ++g_folderReads;
    content = "C:\\content";
    application = "C:\\Program Files\\Tidewire\\";
}

bool Trusted(const std::string& url, const std::string& anchor = "")
{
    return IsTrustedPage(url, kModule, anchor, Folders);
}

TEST(PageTrust, LocalPagesInTheContentAndApplicationFoldersInTheirSpellings)
{
    EXPECT_TRUE(Trusted("file:///C:/content/page.htm"));
    EXPECT_TRUE(Trusted("file://C:\\content\\page.htm"));
    EXPECT_TRUE(Trusted("file:///c:/CONTENT/Sub%20Folder/page.htm?x=1#top"));
    EXPECT_TRUE(Trusted("file:///C:/content%5Csub/page.htm"));
    EXPECT_TRUE(Trusted("file:///C:\\content/sub\\page.htm"));
    EXPECT_TRUE(Trusted("file://localhost/C:/content/page.htm"));
    EXPECT_TRUE(Trusted("file:///C|/content/page.htm"));
    EXPECT_TRUE(Trusted("C:\\content\\sub\\..\\page.htm"));
    EXPECT_TRUE(Trusted("file:///C:/content/./a/../b/page.htm"));
    EXPECT_TRUE(Trusted("file:///C:/Program%20Files/Tidewire/options.htm"));

    EXPECT_FALSE(Trusted("file:///C:/content/../secrets.htm"));
    EXPECT_FALSE(Trusted("file:///C:/content/%2e%2e/secrets.htm"));
    EXPECT_FALSE(Trusted("C:\\content\\sub\\..\\..\\page.htm"));
    EXPECT_FALSE(Trusted("file:///C:/content2/page.htm"));
    EXPECT_FALSE(Trusted("file:///D:/content/page.htm"));
    EXPECT_FALSE(Trusted("file://server/share/content/page.htm"));
    EXPECT_FALSE(Trusted("\\\\server\\share\\content\\page.htm"));
    EXPECT_FALSE(Trusted("file:////server/share/page.htm"));
    EXPECT_FALSE(Trusted("\\\\?\\C:\\content\\page.htm"));
    EXPECT_FALSE(Trusted("file:///C:/content./page.htm"));
    EXPECT_FALSE(Trusted("file:///C:/content/.. /page.htm"));
    EXPECT_FALSE(Trusted("file:///C:/content/page.htm%00.txt"));
    EXPECT_FALSE(Trusted("file:///C:/content/%zz.htm"));
    EXPECT_FALSE(Trusted("content\\page.htm"));
    EXPECT_FALSE(Trusted("C:content\\page.htm"));
    EXPECT_FALSE(Trusted(""));
}

TEST(PageTrust, BlankResourcesOfTheModuleAndAllowedHttpsSites)
{
    g_folderReads = 0;
    EXPECT_TRUE(Trusted("about:blank"));
    EXPECT_TRUE(Trusted("res://C:\\Program Files\\Tidewire\\Wisp.dll/page.htm"));
    EXPECT_TRUE(Trusted("res://c:/program%20files/tidewire/wisp.dll/23/101"));
    EXPECT_TRUE(Trusted("https://tidewire.com/start"));
    EXPECT_TRUE(Trusted("https://www.Tidewire.com:8443/x"));
    EXPECT_TRUE(Trusted("https://dl.quilldesktop.com./"));
    // Neither of these needs the folders (reading them costs a settings read).
    EXPECT_EQ(0, g_folderReads);

    EXPECT_FALSE(Trusted("about:blank2"));
    EXPECT_FALSE(Trusted("res://C:\\Windows\\shdoclc.dll/page.htm"));
    EXPECT_FALSE(Trusted("res://Wisp.dll/page.htm"));
    EXPECT_FALSE(Trusted("res://C:/Program Files/Tidewire/x/../Wisp.dll/page.htm"));
    EXPECT_FALSE(Trusted("https://tidewire.com.evil.test/"));
    EXPECT_FALSE(Trusted("https://eviltidewire.com/"));
    EXPECT_FALSE(Trusted("http://tidewire.com/"));
    EXPECT_FALSE(Trusted("https://tidewire.com@evil.test/"));
    EXPECT_FALSE(Trusted("https://evil.test@tidewire.com/"));
    EXPECT_FALSE(Trusted("javascript:window.external.CallApplicationMethod('Exit')"));
    EXPECT_FALSE(Trusted("data:text/html,<script>x</script>"));
    EXPECT_FALSE(Trusted("mk:@MSITStore:C:\\content\\help.chm::/page.htm"));
    EXPECT_FALSE(Trusted("vbscript:msgbox"));
}

TEST(PageTrust, TheAnchorTrustsItsOriginOrItsFolder)
{
    const std::string web = "http://127.0.0.1:8080/app/start.htm";
    EXPECT_TRUE(Trusted("http://127.0.0.1:8080/other/page.htm", web));
    EXPECT_FALSE(Trusted("http://127.0.0.1:8081/app/start.htm", web));
    EXPECT_FALSE(Trusted("https://127.0.0.1:8080/app/start.htm", web));
    EXPECT_FALSE(Trusted("http://127.0.0.2:8080/app/start.htm", web));
    EXPECT_FALSE(Trusted("http://user@127.0.0.1:8080/app/start.htm", web));
    EXPECT_FALSE(Trusted("http://127.0.0.1:8080/app/start.htm", ""));
    EXPECT_TRUE(Trusted("http://HOST.example/a", "http://host.example:80/b"));

    const std::string local = "file:///D:/host/pages/start.htm";
    EXPECT_TRUE(Trusted("file:///D:/host/pages/other.htm", local));
    EXPECT_TRUE(Trusted("D:\\Host\\pages\\sub\\deep.htm", local));
    EXPECT_FALSE(Trusted("file:///D:/host/secret.htm", local));
    EXPECT_FALSE(Trusted("file:///D:/host/pages2/x.htm", local));
    EXPECT_FALSE(Trusted("http://127.0.0.1/x.htm", local));
    // Never every file URL: an anchor in a drive's root vouches for itself only.
    EXPECT_TRUE(Trusted("file:///D:/start.htm", "D:\\start.htm"));
    EXPECT_FALSE(Trusted("file:///D:/other.htm", "D:\\start.htm"));
    EXPECT_FALSE(Trusted("file:///D:/other.htm", "javascript:void(0)"));
}

TEST(PageTrust, CanonicalPathsAreLowerCaseWithBackslashesAndNoDotSegments)
{
    std::string path;
    ASSERT_TRUE(CanonicalFilePath("file:///C:/Content//A/./b/../Page.HTM", path));
    EXPECT_EQ("c:\\content\\a\\page.htm", path);
    ASSERT_TRUE(CanonicalFilePath("C:/..", path));
    EXPECT_EQ("c:", path);
    EXPECT_FALSE(CanonicalFilePath("file:///C:/a:b", path));
    EXPECT_TRUE(path.empty());
    EXPECT_TRUE(page_trust::IsInsideFolder("file:///C:/content/x.htm", "C:\\content\\"));
    EXPECT_FALSE(page_trust::IsInsideFolder("file:///C:/content/x.htm", ""));
}

}  // namespace
