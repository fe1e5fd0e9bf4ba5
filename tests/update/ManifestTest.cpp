// The update manifest read with the platform's MSXML from real files: the fixtures beside this
// file (copied to bin/fixtures/update) and manifests written by the tests.
#include <windows.h>
#include <msxml2.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/MSXMLDOMNode.h"
#include "common/PersistentSettings.h"
#include "common/QDUtilities.h"
#include "common/SettingsIds.h"
#include "common/com/Bstr.h"
#include "common/com/ComPtr.h"
#include "tests/support/ScratchState.h"
#include "tests/support/TraceCapture.h"
#include "tests/update/UpdateTestSupport.h"
#include "Wisp/update/ClientManifest.h"
#include "Wisp/update/ManifestFiles.h"

using testing_support::TraceCapture;
using update_testing::Binary;
using update_testing::ManifestText;
using update_testing::Plain;

namespace {

std::string Fixture(const char* name)
{
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string path = exe;
    return path.substr(0, path.find_last_of("\\/") + 1) + "fixtures\\update\\" + name;
}

std::vector<std::string> Keys(const Update& update)
{
    std::vector<std::string> keys;
    for (const auto& entry : update.Items())
        keys.push_back(entry.first);
    return keys;
}

const UpdateComponent& Component(const Update& update, const std::string& key)
{
    static UpdateComponent none;
    auto found = update.Items().find(key);
    return found == update.Items().end() ? none : *found->second;
}

class Manifest : public ::testing::Test {
protected:
    void SetUp() override { m_mark = TraceCapture::Mark(); }
    std::string Traced() const { return TraceCapture::Since(m_mark); }

    std::size_t m_mark = 0;
};

TEST_F(Manifest, TheFirstManifestElementAnywhereGivesThePubdateAndEveryUpdateIsTaken)
{
    ClientManifest manifest;
    ASSERT_TRUE(manifest.Load(Fixture("nested.xml").c_str()));
    EXPECT_EQ(7, manifest.PubDate());
    EXPECT_EQ(Fixture("nested.xml"), manifest.Path());

    // Priorities 5, 1, none and 0 (the last outside the manifest element): ascending, and the
    // two zeros in document order.
    const auto& updates = manifest.List().Updates();
    ASSERT_EQ(4u, updates.size());
    EXPECT_EQ(0, updates[0].Priority());
    EXPECT_EQ(std::vector<std::string>{"\\c.txt"}, Keys(updates[0]));
    EXPECT_EQ(std::vector<std::string>{"\\d.txt"}, Keys(updates[1]));
    EXPECT_EQ(1, updates[2].Priority());
    EXPECT_EQ(std::vector<std::string>{"\\b.txt"}, Keys(updates[2]));
    EXPECT_EQ(5, updates[3].Priority());
    EXPECT_EQ(std::vector<std::string>{"five\\a.txt"}, Keys(updates[3]));

    const std::string traced = Traced();
    EXPECT_NE(std::string::npos, traced.find("Update::FromNode - WARNING: Unrecognized component tag '#comment'\n"));
    EXPECT_NE(std::string::npos, traced.find("Update::FromNode - WARNING: Unrecognized component tag 'unknown'\n"));
}

TEST_F(Manifest, ComponentsKeepTheirPlaceEvenWhenTheirOwnReadingFails)
{
    ClientManifest manifest;
    ASSERT_TRUE(manifest.Load(Fixture("components.xml").c_str()));
    EXPECT_EQ(20261209, manifest.PubDate());
    ASSERT_EQ(1u, manifest.List().Updates().size());
    const Update& update = manifest.List().Updates()[0];
    EXPECT_EQ(2, update.Priority());
    // The second "\setup.msi" (timestamp 43) is not added: the first keeps the key.
    EXPECT_EQ((std::vector<std::string>{"\\notext.exe", "\\setup.msi", "skins\\notime.css", "tools\\helper.exe"}),
              Keys(update));

    const auto& setup = dynamic_cast<const BinaryUpdateComponent&>(Component(update, "\\setup.msi"));
    EXPECT_EQ(42, setup.Timestamp());
    EXPECT_EQ("force", setup.UpdateType());
    EXPECT_EQ("A new version", setup.DisplayText());
    std::string text;
    ASSERT_TRUE(setup.GetComponentType(&text));
    EXPECT_EQ("binarycomponent", text);
    ASSERT_TRUE(setup.GetPath(&text));
    EXPECT_EQ("\\setup.msi", text);
    ASSERT_TRUE(setup.GetPath(&text, true));
    EXPECT_EQ("", text);
    ASSERT_TRUE(setup.GetFileName(text, true));
    EXPECT_EQ("42_setup.msi", text);
    ASSERT_TRUE(setup.GetCacheName(text));
    EXPECT_EQ("42_setup.msi", text);

    const auto& helper = dynamic_cast<const BinaryUpdateComponent&>(Component(update, "tools\\helper.exe"));
    EXPECT_EQ("passive", helper.UpdateType());
    EXPECT_EQ(9, helper.Timestamp());
    ASSERT_TRUE(helper.GetCacheName(text));
    EXPECT_EQ("9_tools\\helper.exe", text);
    EXPECT_EQ(1, TraceCapture::Count(Traced(), "BinaryUpdateComponent::FromNode - UpdateType 'silent' not "
                                               "recognized as a valid type, using 'passive'\n"));

    // No display text: its parse fails, yet it holds its key with what it had.
    const auto& notext = dynamic_cast<const BinaryUpdateComponent&>(Component(update, "\\notext.exe"));
    EXPECT_EQ(3, notext.Timestamp());
    EXPECT_EQ("", notext.DisplayText());
    EXPECT_NE(std::string::npos,
              Traced().find("BinaryUpdateComponent::FromNode - Failed getting attribute 'displaytext'\n"));

    // No timestamp: the same.
    const UpdateComponent& notime = Component(update, "skins\\notime.css");
    EXPECT_EQ(0, notime.Timestamp());
    ASSERT_TRUE(notime.GetComponentType(&text));
    EXPECT_EQ("component", text);
    EXPECT_NE(std::string::npos, Traced().find("UpdateComponent::FromNode - Failed getting attribute 'timestamp'\n"));
}

TEST_F(Manifest, ComponentsThatWouldLandOutsideTheUpdateFolderAreRefused)
{
    ClientManifest manifest;
    ASSERT_TRUE(manifest.Load(Fixture("traversal.xml").c_str()));
    ASSERT_EQ(1u, manifest.List().Updates().size());
    const Update& update = manifest.List().Updates()[0];
    // Only the two components with a relative folder and a file name remain; the query and
    // fragment are not part of the name.
    EXPECT_EQ((std::vector<std::string>{"data\\signed.dat", "data\\sub\\good.dat"}), Keys(update));
    EXPECT_EQ(8, TraceCapture::Count(Traced(), "Update::FromNode - refusing component"));
    EXPECT_NE(std::string::npos, Traced().find("path='..\\..\\Start Menu\\Programs\\Startup': no safe target.\n"));
    std::string name;
    ASSERT_TRUE(Component(update, "data\\signed.dat").GetFileName(name, true));
    EXPECT_EQ("2_signed.dat", name);
}

TEST_F(Manifest, BrokenDocumentsFailWithTheirTraces)
{
    ClientManifest manifest;
    EXPECT_FALSE(manifest.Load(nullptr));
    EXPECT_NE(std::string::npos, Traced().find("ClientManifest::Load - strPath is NULL.\n"));

    const std::string malformed = Fixture("malformed.xml");
    EXPECT_FALSE(ClientManifest().Load(malformed.c_str()));
    EXPECT_NE(std::string::npos, Traced().find("ClientManifest::Load - Failed loading XML '" + malformed + "' hr=0x"));

    const std::string missing = Fixture("no-such-manifest.xml");
    EXPECT_FALSE(ClientManifest().Load(missing.c_str()));
    EXPECT_NE(std::string::npos, Traced().find("ClientManifest::Load - Failed loading XML '" + missing + "' hr=0x"));

    EXPECT_FALSE(ClientManifest().Load(Fixture("nomanifest.xml").c_str()));
    EXPECT_NE(std::string::npos, Traced().find("ClientManifest::Load - Failed getting 'manifest' node. hr=0x1\n"));

    ClientManifest undated;
    EXPECT_FALSE(undated.Load(Fixture("nopubdate.xml").c_str()));
    EXPECT_EQ(0, undated.PubDate());
    EXPECT_NE(std::string::npos, Traced().find("ClientManifest::FromNode - failed getting pubdate.\n"));
    EXPECT_NE(std::string::npos, Traced().find("ClientManifest::Load - failed parsing 'manifest' node."));

    // A document type definition is refused: its entities could expand without end (and hold
    // the page thread) or read local files.
    for (const char* name : {"entitybomb.xml", "externalentity.xml"}) {
        ClientManifest declared;
        EXPECT_FALSE(declared.Load(Fixture(name).c_str())) << name;
        EXPECT_EQ(0, declared.PubDate()) << name;
        EXPECT_NE(std::string::npos, Traced().find("'" + Fixture(name) + "'")) << Traced();
    }

    EXPECT_FALSE(ClientManifest().FromNode(nullptr));
    EXPECT_FALSE(UpdateList().FromNode(nullptr));
    EXPECT_FALSE(Update().FromNode(nullptr));
    EXPECT_FALSE(UpdateComponent().FromNode(nullptr));
    EXPECT_FALSE(BinaryUpdateComponent().FromNode(nullptr));
    for (const char* line : {"ClientManifest::FromNode - pNode is NULL.\n", "UpdateList::FromNode - pNode is NULL.\n",
                             "Update::FromNode - pNode is NULL.\n", "UpdateComponent::FromNode - pNode is NULL.\n",
                             "BinaryUpdateComponent::FromNode - pNode is NULL.\n"})
        EXPECT_NE(std::string::npos, Traced().find(line)) << line;
}

TEST_F(Manifest, GetComponentFindsTheFirstInListOrder)
{
    ClientManifest manifest;
    ASSERT_TRUE(manifest.Load(Fixture("nested.xml").c_str()));
    const UpdateComponent* found = nullptr;
    ASSERT_TRUE(manifest.List().GetComponent("five\\a.txt", &found));
    ASSERT_NE(nullptr, found);
    EXPECT_EQ(50, found->Timestamp());
    EXPECT_FALSE(manifest.List().GetComponent("\\a.txt", &found));
    EXPECT_EQ(nullptr, found);
    EXPECT_FALSE(manifest.List().GetComponent(nullptr, &found));
    EXPECT_FALSE(manifest.List().GetComponent("five\\a.txt", nullptr));
    EXPECT_NE(std::string::npos, Traced().find("UpdateList::GetComponent - strFilePath is NULL.\n"));
    EXPECT_NE(std::string::npos, Traced().find("UpdateList::GetComponent - ppUpdateComponent is NULL.\n"));

    UpdateComponent component;
    EXPECT_FALSE(component.GetPath(nullptr));
    EXPECT_FALSE(component.GetComponentType(nullptr));
    EXPECT_FALSE(component.SetComponentType(nullptr));
    EXPECT_NE(std::string::npos, Traced().find("UpdateComponent::GetPath - strFilePath is NULL.\n"));
    EXPECT_NE(std::string::npos, Traced().find("UpdateComponent::GetComponentType - output parameter is NULL.\n"));
    EXPECT_NE(std::string::npos, Traced().find("UpdateComponent::SetComponentType - input parameter is NULL.\n"));
}

// --- the XML node helper --------------------------------------------------------------------

ComPtr<IXMLDOMDocument> Document(const wchar_t* xml)
{
    const IID iid = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
    CLSID clsid;
    ComPtr<IXMLDOMDocument> document;
    if (SUCCEEDED(CLSIDFromProgID(L"Microsoft.XMLDOM", &clsid)))
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, document.PutVoid());
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (document)
        document->loadXML(Bstr(xml).Get(), &loaded);
    return loaded == VARIANT_TRUE ? document : ComPtr<IXMLDOMDocument>();
}

TEST_F(Manifest, TheNodeHelperAnswersNamesAndAttributesAsNarrowText)
{
    ComPtr<IXMLDOMDocument> document = Document(L"<component url='http://x/\u00e9t\u00e9.txt' empty=''/>");
    ASSERT_TRUE(document);
    ComPtr<IXMLDOMElement> root;
    ASSERT_EQ(S_OK, document->get_documentElement(root.Put()));
    const IID iidNode = {0x2933BF80, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
    ComPtr<IXMLDOMNode> node;
    ASSERT_EQ(S_OK, root->QueryInterface(iidNode, node.PutVoid()));

    MSXMLDOMNode wrapped(node.Get());
    std::string text;
    ASSERT_TRUE(wrapped.GetTagName(&text));
    EXPECT_EQ("component", text);
    ASSERT_TRUE(wrapped.GetAttributeValue("url", &text));
    char ansi[64] = {};
    WideCharToMultiByte(CP_ACP, 0, L"http://x/\u00e9t\u00e9.txt", -1, ansi, sizeof ansi, nullptr, nullptr);
    EXPECT_EQ(ansi, text);
    ASSERT_TRUE(wrapped.GetAttributeValue("empty", &text));
    EXPECT_EQ("", text);

    // A missing attribute: false, an empty output and one line naming S_FALSE.
    text = "stale";
    EXPECT_FALSE(wrapped.GetAttributeValue("timestamp", &text));
    EXPECT_EQ("", text);
    EXPECT_EQ(1, TraceCapture::Count(Traced(),
                                     "MSXMLDOMNode::GetAttributeValue - Failed getting attribute 'timestamp', hr=0x1\n"));

    EXPECT_FALSE(wrapped.GetAttributeValue(nullptr, &text));
    EXPECT_FALSE(wrapped.GetAttributeValue("url", nullptr));
    EXPECT_FALSE(wrapped.GetTagName(nullptr));
    EXPECT_NE(std::string::npos, Traced().find("MSXMLDOMNode::GetAttributeValue - strAttributeName is NULL.\n"));
    EXPECT_NE(std::string::npos, Traced().find("MSXMLDOMNode::GetAttributeValue - pcstrValue is NULL.\n"));
    EXPECT_NE(std::string::npos, Traced().find("MSXMLDOMNode::GetTagName - pcstrValue is NULL.\n"));

    // A node wrapped from null answers every attribute query with false and no trace.
    const std::size_t before = TraceCapture::Mark();
    MSXMLDOMNode empty(nullptr);
    text = "stale";
    EXPECT_FALSE(empty.GetAttributeValue("url", &text));
    EXPECT_EQ("", text);
    EXPECT_EQ("", TraceCapture::Since(before));
}

// --- manifests on disk: taking a new one in and comparing it with the installed one ---------

class ManifestFiles : public Manifest {
protected:
    void SetUp() override
    {
        Manifest::SetUp();
        ASSERT_TRUE(GetUpdateFolder(m_updateFolder));
        m_hadUpdateFolder = testing_support::FileExists(m_updateFolder);
        PersistentSettings settings;
        ASSERT_TRUE(settings.SetProperty(SettingsId::content_directory, m_content.Path()));
    }
    void TearDown() override
    {
        if (!m_hadUpdateFolder)
            testing_support::RemoveTree(m_updateFolder);
    }

    static std::string SettingsPath()
    {
        std::string path;
        QDUtilities::GetSettingsFilePath(path);
        return path;
    }
    testing_support::FileBackup m_settings{SettingsPath()};
    testing_support::ScratchFolder m_content{"wisp-manifest-content"};
    testing_support::ScratchFolder m_scratch{"wisp-manifest-files"};
    std::string m_updateFolder;
    bool m_hadUpdateFolder = false;
};

TEST_F(ManifestFiles, PathsFollowTheSettingsAndTheApplicationDataFolder)
{
    std::string appData;
    ASSERT_EQ(0, QDUtilities::GetSpecialFolder(nullptr, CSIDL_APPDATA, nullptr, 0, appData));
    EXPECT_EQ(appData + "\\Quill\\Tidewire\\Update", m_updateFolder);
    std::string path;
    ASSERT_TRUE(GetUpdateManifestPath(path));
    EXPECT_EQ(appData + "\\Quill\\Tidewire\\Update\\manifest.xml", path);
    ASSERT_TRUE(GetInstalledManifestPath(path));
    EXPECT_EQ(m_content.Path() + "\\manifest.xml", path);
    ASSERT_TRUE(GetFetchedManifestPath(path));
    EXPECT_EQ(m_content.Path() + "\\cache\\manifest.xml", path);
}

TEST_F(ManifestFiles, InstallingCopiesTheFetchedManifestIntoANewUpdateFolder)
{
    testing_support::RemoveTree(m_updateFolder);
    EXPECT_FALSE(InstallNewManifest());   // nothing fetched yet

    std::string fetched;
    ASSERT_TRUE(GetFetchedManifestPath(fetched));
    const std::string first = ManifestText(11, Plain("http://dl.example.com/a.txt", 1));
    ASSERT_TRUE(testing_support::WriteWholeFile(fetched, first));
    ASSERT_TRUE(InstallNewManifest());
    std::string installed;
    std::string target;
    ASSERT_TRUE(GetUpdateManifestPath(target));
    ASSERT_TRUE(testing_support::ReadWholeFile(target, installed));
    EXPECT_EQ(first, installed);

    const std::string second = ManifestText(12, Plain("http://dl.example.com/b.txt", 2));
    ASSERT_TRUE(testing_support::WriteWholeFile(fetched, second));
    ASSERT_TRUE(InstallNewManifest());
    ASSERT_TRUE(testing_support::ReadWholeFile(target, installed));
    EXPECT_EQ(second, installed);
}

TEST_F(ManifestFiles, OnlyNewOrNewerBinaryComponentsNotYetDownloadedAreTaken)
{
    const std::string folder = m_scratch.Path();
    const std::string installedPath = folder + "\\installed.xml";
    const std::string newPath = folder + "\\new.xml";
    ASSERT_TRUE(testing_support::WriteWholeFile(
        installedPath, ManifestText(1, Binary("http://dl.example.com/same.msi", 10) +
                                           Binary("http://dl.example.com/older.exe", 10) +
                                           Binary("http://dl.example.com/newer.exe", 20))));
    ASSERT_TRUE(testing_support::WriteWholeFile(
        newPath, ManifestText(2, Binary("http://dl.example.com/same.msi", 10) +
                                     Binary("http://dl.example.com/older.exe", 10) +
                                     Binary("http://dl.example.com/newer.exe", 21) +
                                     Binary("http://dl.example.com/fresh.msi", 5) +
                                     Binary("http://dl.example.com/fetched.msi", 6) +
                                     Binary("http://dl.example.com/tools/tool.exe", 7, "tools") +
                                     Binary("http://dl.example.com/tools/again.exe", 8, "tools") +
                                     Plain("http://dl.example.com/content.css", 99))));
    // Already downloaded: the top-level one and one inside its folder.
    ASSERT_TRUE(testing_support::WriteWholeFile(folder + "\\6_fetched.msi", "x"));
    ASSERT_TRUE(CreateDirectoryA((folder + "\\tools").c_str(), nullptr));
    ASSERT_TRUE(testing_support::WriteWholeFile(folder + "\\tools\\8_again.exe", "x"));

    Update difference;
    ASSERT_TRUE(CompareManifests(newPath.c_str(), installedPath.c_str(), folder.c_str(), &difference));
    EXPECT_EQ((std::vector<std::string>{"\\fresh.msi", "\\newer.exe", "tools\\tool.exe"}), Keys(difference));
    // The copies keep their kind.
    const auto& newer = dynamic_cast<const BinaryUpdateComponent&>(Component(difference, "\\newer.exe"));
    EXPECT_EQ(21, newer.Timestamp());
    EXPECT_EQ("text 21", newer.DisplayText());

    Update none;
    EXPECT_FALSE(CompareManifests(newPath.c_str(), (folder + "\\missing.xml").c_str(), folder.c_str(), &none));
    EXPECT_FALSE(CompareManifests(nullptr, installedPath.c_str(), folder.c_str(), &none));
    EXPECT_FALSE(CompareManifests(newPath.c_str(), installedPath.c_str(), folder.c_str(), nullptr));
    EXPECT_TRUE(none.Items().empty());
}

}  // namespace
