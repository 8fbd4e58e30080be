// The finished installer end to end: the real executable with its payload, the real patch
// engine it carries and the real patch files, run on installations of the sample product the
// way a user runs it (no switches), with its one message box answered.
//
// What counts afterwards is the application directory: after a patch it must hold exactly the
// files of the target version (names and bytes, nothing more), and after a refused or failed
// patch exactly what it held before.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "harness/installed_application.h"
#include "harness/installer_run.h"
#include "harness/links.h"
#include "harness/sandbox.h"
#include "harness/test_paths.h"
#include "harness/ui_driver.h"
#include "harness/process_planting.h"

namespace hotfix::testing {
namespace {

using namespace std::chrono_literals;

using releases::kFirstBase;
using releases::kSecondBase;
using releases::kTarget;

// True when the installer carries `name` as a resource of type "PATCH".
bool InstallerCarries(const std::string& name) {
    HMODULE module = ::LoadLibraryExA(InstallerPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return false;
    const bool found = ::FindResourceA(module, name.c_str(), "PATCH") != nullptr;
    ::FreeLibrary(module);
    return found;
}

// True when another process holds `path` so that nobody may open it, whatever sharing is asked.
bool HeldWithoutSharing(const std::string& path) { return HeldByAnother(path, GENERIC_READ); }

class HotfixEndToEnd : public InstalledApplication {
protected:
    void SetUp() override {
        // A build without the sample product or without the patch files fails here: it has
        // not been tested end to end.
        ASSERT_TRUE(SampleExists("Tarnovex", kFirstBase)) << "no sample product in this build";
        ASSERT_TRUE(InstallerCarries("HOTFIX_KTV410_722_HOTFIX1.RTP")) << "the installer carries no patch files";
        ASSERT_TRUE(m_install.Valid());
    }

    std::string ExecutablePath(const std::string& product) const { return m_install.Path() + product + ".exe"; }

    // Lays out `product` at `fileVersion` and registers it as the document type's open command.
    void Install(const std::string& product, const std::string& fileVersion, bool shortForm = false) {
        ASSERT_TRUE(m_install.CopyTreeFrom(SampleDirectory(product, fileVersion)));
        std::string registered = ExecutablePath(product);
        if (shortForm) {
            // How older installers registered it: the 8.3 form, in capitals.
            registered = ShortPath(registered);
            ASSERT_FALSE(registered.empty());
            for (char& c : registered) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        }
        ASSERT_TRUE(WriteOpenCommand(registered + " /dde"));
    }

    // Runs the installer once, answering its box with OK; checks that exactly one box came, with
    // the installer's caption, and that the process ended with 0. Returns the box.
    MessageBoxInfo RunOnce() {
        const InstallerRun run = RunInstaller({BoxAnswer::Ok}, Options());
        EXPECT_TRUE(run.started);
        EXPECT_EQ(run.boxes.size(), 1u);
        for (const MessageBoxInfo& box : run.boxes) {
            SCOPED_TRACE(box.text);
            EXPECT_EQ(box.caption, kInstallerCaption);
            EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
        }
        EXPECT_EQ(run.exitCode, std::optional<unsigned long>(0));
        return run.boxes.empty() ? MessageBoxInfo{} : run.boxes.front();
    }

    static InstallerRunOptions Options() {
        InstallerRunOptions options;
        options.timeout = 90s;  // two engine runs on a cold Wine, on a busy CI machine
        return options;
    }
};

// Each product from each of its base versions: one box saying it was patched, the target
// version afterwards, and the directory byte for byte the target version's. A second run then
// finds it up to date and changes nothing.
TEST_F(HotfixEndToEnd, EachProductFromEachBaseEndsAsTheTargetVersionAndThenIsUpToDate) {
    struct Case {
        const char* product;
        const char* displayName;
        const char* base;
        const char* target;
        bool shortForm;  // registered as the 8.3 form in capitals
    };
    const Case cases[] = {
        {"Tarnovex", "Tarnovex", kFirstBase, kTarget, false},
        {"Tarnovex", "Tarnovex", kSecondBase, kTarget, true},
        {"Sellidor", "Sellidor", kFirstBase, kTarget, true},
        {"Sellidor", "Sellidor", kSecondBase, kTarget, false},
        {"TarnovexViewer", "Tarnovex Viewer", kFirstBase, kSecondBase, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.product) + " from " + c.base);
        m_install = Installation::Create();
        ASSERT_TRUE(m_install.Valid());
        Install(c.product, c.base, c.shortForm);
        ASSERT_EQ(VersionLabelOf(ExecutablePath(c.product)), std::optional<std::string>(LabelOf(c.base)));

        const MessageBoxInfo applied = RunOnce();
        EXPECT_EQ(applied.text, AppliedMessage(c.displayName));
        EXPECT_EQ(applied.icon, BoxIcon::Information);
        EXPECT_EQ(VersionLabelOf(ExecutablePath(c.product)), std::optional<std::string>(LabelOf(c.target)));
        const DirectorySnapshot patched = TakeSnapshot(m_install.Path());
        EXPECT_EQ(DescribeDifference(TakeSnapshot(SampleDirectory(c.product, c.target)), patched), "");
        EXPECT_EQ(InstallerFilesIn(patched), "");

        const MessageBoxInfo second = RunOnce();
        EXPECT_EQ(second.text, UpToDateMessage(c.displayName));
        EXPECT_EQ(second.icon, BoxIcon::Hand);
        EXPECT_EQ(DescribeDifference(patched, TakeSnapshot(m_install.Path())), "");
    }
}

// A companion file the user changed matches neither the old nor the new version: the engine
// refuses the patch as a whole, and the user is told so. From the second base the first patch
// file finds everything else already new, which must not make the refusal partial either.
TEST_F(HotfixEndToEnd, ChangedCompanionFileFailsAndLeavesTheInstallationAsItWas) {
    struct Case {
        const char* product;
        const char* base;
        const char* file;
    };
    const Case cases[] = {
        {"Tarnovex", kFirstBase, "TarnovexCore.dll"},
        {"Sellidor", kSecondBase, "templates.dat"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.product) + " " + c.base + ", changed " + c.file);
        m_install = Installation::Create();
        ASSERT_TRUE(m_install.Valid());
        Install(c.product, c.base);
        DirectorySnapshot before = TakeSnapshot(m_install.Path());
        ASSERT_EQ(before.count(c.file), 1u);
        std::string changed = before[c.file];
        changed[changed.size() / 2] = static_cast<char>(changed[changed.size() / 2] ^ 0x5A);
        ASSERT_TRUE(m_install.WriteFile(c.file, changed));
        before = TakeSnapshot(m_install.Path());

        const MessageBoxInfo box = RunOnce();
        EXPECT_EQ(box.text, PatchFailedMessage());
        EXPECT_EQ(box.icon, BoxIcon::Hand);
        EXPECT_EQ(DescribeDifference(before, TakeSnapshot(m_install.Path())), "");
        EXPECT_EQ(VersionLabelOf(ExecutablePath(c.product)), std::optional<std::string>(LabelOf(c.base)));
    }
}

// A companion file another program holds open without sharing cannot be replaced: the hotfix
// fails, and once the file is released the installation is exactly as it was, without any of
// the installer's files. The held file is one the engine reaches early, then one it reaches late
// (after it could already have replaced others).
TEST_F(HotfixEndToEnd, CompanionFileHeldOpenFailsAndLeavesTheInstallationAsItWas) {
    for (const char* file : {"TarnovexCore.dll", "templates.dat"}) {
        SCOPED_TRACE(std::string("held: ") + file);
        m_install = Installation::Create();
        ASSERT_TRUE(m_install.Valid());
        Install("Tarnovex", kFirstBase);
        const DirectorySnapshot before = TakeSnapshot(m_install.Path());
        const std::string heldPath = m_install.Path() + file;

        DrivenProcess holder = DrivenProcess::Start(
            QuoteArgument(TestProgramDirectory() + "hotfix-file-holder.exe") + " " + QuoteArgument(heldPath));
        ASSERT_TRUE(holder.Started()) << "error " << holder.StartError();
        const auto deadline = std::chrono::steady_clock::now() + 15s;
        while (!HeldWithoutSharing(heldPath) && holder.IsRunning() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(50ms);
        ASSERT_TRUE(HeldWithoutSharing(heldPath));

        const MessageBoxInfo box = RunOnce();
        EXPECT_EQ(box.text, PatchFailedMessage());
        EXPECT_EQ(box.icon, BoxIcon::Hand);

        holder.Terminate();
        ASSERT_FALSE(HeldWithoutSharing(heldPath));
        const DirectorySnapshot after = TakeSnapshot(m_install.Path());
        EXPECT_EQ(DescribeDifference(before, after), "");
        EXPECT_EQ(InstallerFilesIn(after), "");
        EXPECT_EQ(VersionLabelOf(ExecutablePath("Tarnovex")), std::optional<std::string>(LabelOf(kFirstBase)));
    }
}

// The engine killed from outside right after its first swap (a task kill, a logoff, a power
// cut): the installer never reports the mixed directory patched, and the next run lets the
// engine settle it, then patches: the directory ends exactly as the target version.
TEST_F(HotfixEndToEnd, EngineKilledAfterItsFirstSwapIsNeverReportedPatchedAndIsSettledNextTime) {
    Install("Tarnovex", kFirstBase);
    DrivenProcess killer = DrivenProcess::Start(QuoteArgument(TestProgramDirectory() + "hotfix-killer.exe") + " " +
        engine::kFrontEndName + " " + QuoteArgument(ExecutablePath("Tarnovex") + engine::kBackupSuffix));
    ASSERT_TRUE(killer.Started());
    std::this_thread::sleep_for(200ms);
    const MessageBoxInfo killed = RunOnce();
    ASSERT_EQ(killer.WaitForExit(30s), std::optional<unsigned long>(0)) << "the engine was not killed";
    EXPECT_EQ(killed.text, PatchFailedMessage());

    const MessageBoxInfo settled = RunOnce();
    EXPECT_EQ(settled.text, AppliedMessage("Tarnovex"));
    const DirectorySnapshot after = TakeSnapshot(m_install.Path());
    EXPECT_EQ(DescribeDifference(TakeSnapshot(SampleDirectory("Tarnovex", kTarget)), after), "");
}

// Links planted under the names the installer needs, pointing outside the directory: nothing
// outside is written, read through or deleted. A symbolic link is refused (message 5); a hard
// link's own name is simply replaced.
TEST_F(HotfixEndToEnd, LinksUnderTheInstallersNamesNeverReachOutside) {
    OutsideArea outside;
    ASSERT_FALSE(outside.Path().empty());
    ASSERT_TRUE(CopyTree(SampleDirectory("Tarnovex", kFirstBase), outside.Path()));
    struct Case {
        const char* name;
        bool symbolic;          // else a hard link
        const char* outsideFile;
        bool readOnly;          // the outside file is marked read-only
        bool patched;
    };
    const Case cases[] = {
        {engine::kFrontEndName, true, "Tarnovex.exe", false, false},
        {engine::kLibraryName, false, "TarnovexCore.dll", false, true},
        {engine::kLibraryName, false, "Tarnovex.ini", true, false},
        {"HOTFIX_KTV410_722_HOTFIX1.RTP", true, "Tarnovex.ini", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.symbolic ? "symbolic" : "hard") + " link at " + c.name);
        m_install = Installation::Create();
        ASSERT_TRUE(m_install.Valid());
        Install("Tarnovex", kFirstBase);
        const DirectorySnapshot outsideBefore = TakeSnapshot(outside.Path());
        const std::string target = outside.Path() + c.outsideFile;
        std::optional<ScopedUnixLink> symbolic;
        if (c.symbolic) {
            symbolic.emplace(m_install.Path() + c.name, UnixPathOf(target));
            ASSERT_TRUE(symbolic->Made());
        } else {
            ASSERT_TRUE(::CreateHardLinkA((m_install.Path() + c.name).c_str(), target.c_str(), nullptr));
        }
        if (c.readOnly) {
            ASSERT_TRUE(::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));
        }
        const MessageBoxInfo box = RunOnce();
        EXPECT_EQ(box.text, c.patched ? AppliedMessage("Tarnovex") : PatchFailedMessage());
        EXPECT_EQ(DescribeDifference(outsideBefore, TakeSnapshot(outside.Path())), "");
        EXPECT_EQ(::GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_READONLY,
                  c.readOnly ? FILE_ATTRIBUTE_READONLY : 0u);
        ::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

// A hostile user racing the installer replaces each placed file the moment it appears: with
// its own library as Patchw32.dll, its own patch file (which would turn the application into
// another program) as the patch file. Its code never runs, its patch is never applied.
TEST_F(HotfixEndToEnd, FilesReplacedTheMomentTheyAppearAreNeverLoadedOrApplied) {
    Install("Tarnovex", kFirstBase);
    const std::string bin = TestProgramDirectory();
    // The forged patch: Tarnovex.exe of the base becomes the test's no-op program.
    Installation forged = Installation::Create();
    ASSERT_TRUE(forged.CopyFileFrom(ExecutablePath("Tarnovex"), "old\\Tarnovex.exe"));
    ASSERT_TRUE(forged.CopyFileFrom(bin + "hotfix-noop.exe", "new\\Tarnovex.exe"));
    DrivenProcess writer = DrivenProcess::Start(QuoteArgument(bin + "hotfix-engine-fixture.exe") + " write-patch " +
                                                QuoteArgument(forged.Path() + "forged.rtp") + " " +
                                                QuoteArgument(forged.Path() + "old") + " " +
                                                QuoteArgument(forged.Path() + "new"));
    ASSERT_EQ(writer.WaitForExit(30s), std::optional<unsigned long>(0));
    Installation markers = Installation::Create();
    ScopedMarkerDirectory planted(markers.Path());
    DrivenProcess racer = DrivenProcess::Start(
        QuoteArgument(bin + "hotfix-racer.exe") + " " + QuoteArgument(m_install.Path()) + " 60 " +
        QuoteArgument(std::string(engine::kLibraryName) + "=" + bin + "hotfix_planted.dll") + " " +
        QuoteArgument("HOTFIX_KTV410_722_HOTFIX1.RTP=" + forged.Path() + "forged.rtp") + " " +
        QuoteArgument("HOTFIX_KTV410_722_HOTFIX2.RTP=" + forged.Path() + "forged.rtp"));
    ASSERT_TRUE(racer.Started());
    std::this_thread::sleep_for(200ms);
    const MessageBoxInfo box = RunOnce();
    racer.Terminate();
    EXPECT_FALSE(planted.Loaded(engine::kLibraryName));
    // What the racer itself put there and kept is its own business; the rest must be one version.
    DirectorySnapshot after = TakeSnapshot(m_install.Path());
    for (auto entry = after.begin(); entry != after.end();) {
        const bool racers = entry->first.find(".racer") != std::string::npos ||
                            entry->second == TakeSnapshot(forged.Path())["forged.rtp"] ||
                            entry->first == engine::kLibraryName;
        entry = racers ? after.erase(entry) : std::next(entry);
    }
    // A patch file the racer kept the installer from placing is not applied and the run ends
    // with message 5; when it is the second, the directory stands at the release between the
    // two patch files, whole.
    const bool patched = DescribeDifference(TakeSnapshot(SampleDirectory("Tarnovex", kTarget)), after).empty();
    const bool between = DescribeDifference(TakeSnapshot(SampleDirectory("Tarnovex", kSecondBase)), after).empty();
    const bool untouched = DescribeDifference(TakeSnapshot(SampleDirectory("Tarnovex", kFirstBase)), after).empty();
    EXPECT_TRUE(patched || between || untouched)
        << DescribeDifference(TakeSnapshot(SampleDirectory("Tarnovex", kTarget)), after);
    EXPECT_EQ(box.text, patched ? AppliedMessage("Tarnovex") : PatchFailedMessage());
}

// A manifest and a library planted beside patch.exe would redirect the library it loads by
// name; patch.exe carries its own manifest, so the planted one changes nothing. (Wine is told
// to prefer a native bcrypt.dll wherever found, so a redirection would show; without the
// embedded manifest the planted library is loaded.)
TEST_F(HotfixEndToEnd, ManifestPlantedBesideTheEngineRedirectsNothing) {
    Install("Tarnovex", kFirstBase);
    ASSERT_TRUE(m_install.WriteFile(engine::kFrontEndName + std::string(".manifest"),
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n"
        "  <assemblyIdentity type=\"win32\" name=\"Planted\" version=\"1.0.0.0\" processorArchitecture=\"" +
        std::string(sizeof(void*) == 8 ? "amd64" : "x86") + "\"/>\n"
        "  <file name=\"bcrypt.dll\"/>\n"
        "</assembly>\n"));
    ASSERT_TRUE(m_install.CopyFileFrom(TestProgramDirectory() + "hotfix_planted.dll", "bcrypt.dll"));
    Installation markers = Installation::Create();
    ScopedMarkerDirectory planted(markers.Path());
    ScopedNativeFirst nativeFirst(engine::kFrontEndName);
    ASSERT_TRUE(nativeFirst.Prefer({"bcrypt"}));
    const MessageBoxInfo box = RunOnce();
    EXPECT_EQ(box.text, AppliedMessage("Tarnovex"));
    EXPECT_FALSE(planted.Loaded("bcrypt.dll"));
}

} // namespace
} // namespace hotfix::testing
