// The real installer, end to end, for everything it decides before patching: which product is
// installed where (the registry value, canonicalised) and whether its version can be patched.
// Every run must show exactly one box, captioned with the installer's own name, and end with
// exit code 0; runs on bad registry values must change nothing on disk.
#include <gtest/gtest.h>

#include <functional>

#include "discovery/application_locator.h"
#include "harness/helpers.h"
#include "harness/installed_application.h"
#include "harness/installer_run.h"
#include "harness/sandbox.h"
#include "harness/test_paths.h"
#include "harness/ui_driver.h"
#include "adapters/code_page_win32.h"
#include "adapters/file_lookup_win32.h"
#include "adapters/registry_win32.h"

namespace hotfix::testing {
namespace {

using namespace std::chrono_literals;

constexpr char kBase1[] = "7.22.24188.12";
constexpr char kBase2[] = "7.22.24209.13";
constexpr char kTarget[] = "7.22.24245.10";
constexpr char kNewer[] = "7.22.24300.1";
constexpr char kOlder[] = "7.21.24100.5";
constexpr char kNoVersion[] = "";

// Lays out `product` ("Tarnovex", "Sellidor", "TarnovexViewer") at file version `version` in
// `install`, its executable stored as `exeName` (default <product>.exe). The build's sample
// installation is used when it exists for that version; otherwise (and for versions the
// samples do not have) a stand-in program with that file version. Returns the executable path.
std::string LayOut(Installation& install, const std::string& product, const std::string& version,
                   std::string exeName = std::string()) {
    if (exeName.empty()) exeName = product + ".exe";
    if (!version.empty() && SampleExists(product, version)) {
        if (!install.CopyTreeFrom(SampleDirectory(product, version))) return std::string();
        if (exeName != product + ".exe" &&
            !::MoveFileA((install.Path() + product + ".exe").c_str(),
                         (install.Path() + exeName).c_str()))
            return std::string();
    } else if (!install.CopyFileFrom(VersionedTestProgram(version), exeName)) {
        return std::string();
    }
    return install.Path() + exeName;
}

// The one box a run must show: this text, the hand icon, OK only, the installer's caption;
// then exit code 0.
void ExpectOneBox(const InstallerRun& run, const std::string& text,
                  const std::string& caption = kInstallerCaption) {
    ASSERT_TRUE(run.started);
    ASSERT_EQ(run.boxes.size(), 1u) << (run.boxes.empty() ? "no box" : "a second box: " + run.boxes[1].text);
    const MessageBoxInfo& box = run.boxes.front();
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.caption, caption);
    EXPECT_EQ(box.icon, BoxIcon::Hand) << BoxIconName(box.icon);
    EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
    EXPECT_EQ(run.exitCode, std::optional<unsigned long>(0));
}

class InstallerDiscovery : public InstalledApplication {
protected:
    void SetUp() override { ASSERT_TRUE(m_install.Valid()); }
};

TEST_F(InstallerDiscovery, NoRegistryKeyMeansNothingInstalled) {
    ExpectOneBox(RunInstaller(), NotFoundMessage());
}

TEST_F(InstallerDiscovery, KeyWithoutValueMeansNothingInstalled) {
    ASSERT_TRUE(CreateOpenCommandKeyWithoutValue());
    ExpectOneBox(RunInstaller(), NotFoundMessage());
}

// Which message a registered executable leads to, by its stored file name and file version.
struct ProductCase {
    const char* name;        // test name
    const char* product;     // sample product laid out
    const char* version;     // its file version ("" : no version resource)
    const char* storedName;  // the executable's name on disk and in the registry
    std::string expected;    // the box's text
};

class RegisteredProduct : public InstallerDiscovery,
                          public ::testing::WithParamInterface<ProductCase> {};

TEST_P(RegisteredProduct, ShowsItsMessage) {
    const ProductCase& c = GetParam();
    const std::string exe = LayOut(m_install, c.product, c.version, c.storedName);
    ASSERT_FALSE(exe.empty());
    ASSERT_TRUE(WriteOpenCommand(exe + " /dde"));
    const DirectorySnapshot before = TakeSnapshot(m_install.Path());

    ExpectOneBox(RunInstaller(), c.expected);
    EXPECT_EQ(DescribeDifference(before, TakeSnapshot(m_install.Path())), "");
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, RegisteredProduct,
    ::testing::Values(
        ProductCase{"UpToDateTarnovex", "Tarnovex", kTarget, "Tarnovex.exe", UpToDateMessage("Tarnovex")},
        ProductCase{"UpToDateSellidor", "Sellidor", kTarget, "Sellidor.exe", UpToDateMessage("Sellidor")},
        ProductCase{"ViewerAtItsTarget", "TarnovexViewer", kBase2, "TarnovexViewer.exe",
                    UpToDateMessage("Tarnovex Viewer")},
        ProductCase{"NameInCapitals", "Tarnovex", kTarget, "TARNOVEX.EXE", UpToDateMessage("Tarnovex")},
        ProductCase{"NameInSmallLetters", "Sellidor", kTarget, "sellidor.exe", UpToDateMessage("Sellidor")},
        ProductCase{"NewerThanTarget", "Tarnovex", kNewer, "Tarnovex.exe", WrongVersionMessage("Tarnovex")},
        ProductCase{"OlderRelease", "Sellidor", kOlder, "Sellidor.exe", WrongVersionMessage("Sellidor")},
        ProductCase{"ViewerPastItsTarget", "TarnovexViewer", kTarget, "TarnovexViewer.exe",
                    WrongVersionMessage("Tarnovex Viewer")},
        ProductCase{"NoVersionResource", "Tarnovex", kNoVersion, "Tarnovex.exe",
                    WrongVersionMessage("Tarnovex")},
        ProductCase{"NameOfNoProduct", "Tarnovex", kTarget, "Tarnovex2.exe", NotFoundMessage()},
        ProductCase{"NameWithoutExtension", "Tarnovex", kTarget, "Tarnovex", NotFoundMessage()}),
    [](const ::testing::TestParamInfo<ProductCase>& info) { return std::string(info.param.name); });

// A version outside the row, or the target, is reported even while the application runs:
// the running test is only made for a patchable version.
TEST_F(InstallerDiscovery, RunningApplicationOfAWrongOrCurrentVersionIsNotAskedToQuit) {
    const struct {
        const char* version;
        std::string expected;
    } cases[] = {{kNewer, WrongVersionMessage("Tarnovex")}, {kTarget, UpToDateMessage("Tarnovex")}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        Installation install = Installation::Create();
        // Always the stand-in here: it stays running with "wait" until it is terminated.
        ASSERT_TRUE(install.CopyFileFrom(VersionedTestProgram(c.version), "Tarnovex.exe"));
        ASSERT_TRUE(WriteOpenCommand(install.Path() + "Tarnovex.exe"));
        DrivenProcess application =
            DrivenProcess::Start(QuoteArgument(install.Path() + "Tarnovex.exe") + " wait");
        ASSERT_TRUE(application.Started());
        ExpectOneBox(RunInstaller(), c.expected);
        EXPECT_TRUE(application.IsRunning());
        application.Terminate();
    }
}

// The registry may name the executable with 8.3 short names, in any letter case, followed by
// " /dde": the installer rebuilds the stored long names, so the file-name match sees the
// stored "TarnovexViewer.exe" (whose short name matches no product).
TEST_F(InstallerDiscovery, ShortNamesInOtherCaseResolveToTheStoredLongNames) {
    const std::string exe = LayOut(m_install, "TarnovexViewer", kBase2);
    ASSERT_FALSE(exe.empty());
    const std::string shortPath = ShortPath(exe);
    ASSERT_FALSE(shortPath.empty());
    ASSERT_NE(Upper(FileNameOf(shortPath, win32::Win32CodePage())), "TARNOVEXVIEWER.EXE")
        << "the file system gave no distinct short name: " << shortPath;

    for (const std::string& written : {Lower(shortPath), Upper(shortPath)}) {
        SCOPED_TRACE(written);
        ASSERT_TRUE(WriteOpenCommand(written + " /dde"));
        ExpectOneBox(RunInstaller(), UpToDateMessage("Tarnovex Viewer"));
    }
}

// Registry values the installer must survive: each ends in message 1 or 3, in one box, with
// exit code 0, and nothing on disk changes, although a patchable installation sits in the
// sandbox (a value wrongly resolved to it would start the patch sequence).
struct BadValueCase {
    const char* name;
    std::function<bool(const std::string& exe)> write;
    std::string expected;
};

std::vector<std::uint8_t> Bytes(const std::string& text, bool withZero) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    if (withZero) bytes.push_back(0);
    return bytes;
}

// A path of exactly `length` characters that exists nowhere but ends in a product's name.
std::string MissingPathOfLength(std::size_t length) {
    const std::string tail = "\\Tarnovex.exe";
    return "C:\\" + std::string(length - 3 - tail.size(), 'n') + tail;
}

class BadRegistryValue : public InstallerDiscovery,
                         public ::testing::WithParamInterface<BadValueCase> {};

TEST_P(BadRegistryValue, EndsInOneMessageAndChangesNothing) {
    const BadValueCase& c = GetParam();
    const std::string exe = LayOut(m_install, "Tarnovex", kBase1);
    ASSERT_FALSE(exe.empty());
    ASSERT_TRUE(c.write(exe));
    const DirectorySnapshot before = TakeSnapshot(m_install.Path());

    ExpectOneBox(RunInstaller(), c.expected);
    EXPECT_EQ(DescribeDifference(before, TakeSnapshot(m_install.Path())), "");
}

INSTANTIATE_TEST_SUITE_P(
    Values, BadRegistryValue,
    ::testing::Values(
        BadValueCase{"Empty", [](const std::string&) { return WriteOpenCommand(""); },
                     NotFoundMessage()},
        BadValueCase{"OnlyTheDdeSwitch", [](const std::string&) { return WriteOpenCommand(" /dde"); },
                     NotFoundMessage()},
        BadValueCase{"DdeSwitchInCapitalsStays",
                     [](const std::string& exe) { return WriteOpenCommand(exe + " /DDE"); },
                     NotFoundMessage()},
        BadValueCase{"OtherArgumentsStay",
                     [](const std::string& exe) { return WriteOpenCommand(exe + " %1"); },
                     NotFoundMessage()},
        BadValueCase{"Quoted",
                     [](const std::string& exe) { return WriteOpenCommand("\"" + exe + "\" /dde"); },
                     NotFoundMessage()},
        BadValueCase{"Dword",
                     [](const std::string&) {
                         return WriteOpenCommandRaw(REG_DWORD, {0x41, 0x42, 0x43, 0x00});
                     },
                     NotFoundMessage()},
        BadValueCase{"Binary",
                     [](const std::string&) {
                         return WriteOpenCommandRaw(REG_BINARY, {0xFF, 0xFE, 0x5C, 0x00, 0x41});
                     },
                     NotFoundMessage()},
        BadValueCase{"UnexpandedVariable",
                     [](const std::string&) {
                         return WriteOpenCommandRaw(
                             REG_EXPAND_SZ, Bytes("%ProgramFiles%\\Veltrix\\Tarnovex.exe", true));
                     },
                     WrongVersionMessage("Tarnovex")},
        BadValueCase{"NamesNothing",
                     [](const std::string&) {
                         return WriteOpenCommand("C:\\Nowhere At All\\Tarnovex.exe /dde");
                     },
                     WrongVersionMessage("Tarnovex")},
        BadValueCase{"LongestValueTheBufferHolds",
                     [](const std::string&) { return WriteOpenCommand(MissingPathOfLength(259)); },
                     WrongVersionMessage("Tarnovex")},
        BadValueCase{"OneByteTooLong",
                     [](const std::string&) { return WriteOpenCommand(MissingPathOfLength(260)); },
                     NotFoundMessage()},
        BadValueCase{"FarTooLong",
                     [](const std::string&) { return WriteOpenCommand(MissingPathOfLength(4000)); },
                     NotFoundMessage()}),
    [](const ::testing::TestParamInfo<BadValueCase>& info) { return std::string(info.param.name); });

// Values of other types are read as their bytes, up to the first zero.
TEST_F(InstallerDiscovery, StringsStoredWithOtherTypesAreReadAsTheyAre) {
    const std::string exe = LayOut(m_install, "Tarnovex", kTarget);
    ASSERT_FALSE(exe.empty());
    const struct {
        DWORD type;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {REG_EXPAND_SZ, Bytes(exe + " /dde", true)},
        {REG_BINARY, Bytes(exe, false)},   // no terminating zero: nothing may follow the path
        {REG_SZ, Bytes(exe, false)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        ASSERT_TRUE(WriteOpenCommandRaw(c.type, c.bytes));
        ExpectOneBox(RunInstaller(), UpToDateMessage("Tarnovex"));
    }
}

// A renamed copy of the installer captions its boxes with its new name, extension removed.
TEST_F(InstallerDiscovery, RenamedCopyShowsItsNewNameAsCaption) {
    for (const std::string name : {"Renamed Setup", "setup.v2"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(m_install.CopyFileFrom(InstallerPath(), name + ".exe"));
        InstallerRunOptions options;
        options.installerPath = m_install.Path() + name + ".exe";
        ExpectOneBox(RunInstaller({BoxAnswer::Ok}, options), NotFoundMessage(), name);
    }
}

// The locator's Win32 adapters on the real registry and file system.
TEST_F(InstallerDiscovery, LocatorRebuildsStoredNamesOnTheRealFileSystem) {
    const std::string exe = LayOut(m_install, "TarnovexViewer", kBase2);
    ASSERT_FALSE(exe.empty());
    win32::Win32Registry registry;
    win32::Win32FileLookup files;
    const win32::Win32CodePage codePage;

    ASSERT_TRUE(WriteOpenCommand(Lower(ShortPath(exe)) + " /dde"));
    // The drive prefix is never looked up: it keeps the letter case it was written in.
    EXPECT_EQ(FindInstalledExecutable(registry, files, codePage), "c" + exe.substr(1));

    // A missing component stays as written, and so does everything after it.
    const std::string missing = Upper(m_install.Path()) + "MISSING\\" + Upper("TarnovexViewer.exe");
    EXPECT_EQ(CanonicalPath(missing, files, codePage),
              m_install.Path() + "MISSING\\TARNOVEXVIEWER.EXE");
    // Doubled and trailing backslashes are kept.
    EXPECT_EQ(CanonicalPath(Upper(m_install.Path()) + "\\", files, codePage), m_install.Path() + "\\");

    ASSERT_TRUE(WriteOpenCommand(MissingPathOfLength(260)));
    EXPECT_EQ(FindInstalledExecutable(registry, files, codePage), "");
    ASSERT_TRUE(DeleteDocumentType());
    EXPECT_EQ(FindInstalledExecutable(registry, files, codePage), "");
}

} // namespace
} // namespace hotfix::testing
