// The sample product as the build lays it out: every installation directory holds exactly the
// files of its version; every program and core carries its own file version beside the
// release's product version; code and data, not only the version block, change between
// versions; each program shows its window and exits 0 when it is closed, and notices a missing
// or foreign core. Also the installer's icon, as the installer carries it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "harness/helpers.h"
#include "harness/sandbox.h"
#include "harness/test_paths.h"
#include "support/win32/system_library.h"
#include "support/win32/unique_handle.h"

namespace {

using hotfix::testing::Installation;
using hotfix::testing::SampleDirectory;
using hotfix::testing::TestProgramDirectory;
using hotfix::win32::UniqueHandle;
using hotfix::win32::UniqueModule;
using hotfix::win32::UniqueProcessInformation;

struct Product {
    const char* key;  // the executable's name without .exe
    const char* displayName;
    bool hasTemplates;
};

const Product kProducts[] = {
    {"Tarnovex", "Tarnovex", true},
    {"Sellidor", "Sellidor", true},
    {"TarnovexViewer", "Tarnovex Viewer", false},
};

struct Version {
    const char* text;
    WORD parts[4];
};

const Version kVersions[] = {
    {"7.22.24188.12", {7, 22, 24188, 12}},
    {"7.22.24209.13", {7, 22, 24209, 13}},
    {"7.22.24245.10", {7, 22, 24245, 10}},
};

// The files an installation of `product` at `version` holds, and nothing else.
std::set<std::string> ExpectedFiles(const Product& product, const Version& version) {
    const std::string key = product.key;
    std::set<std::string> files = {key + ".exe", key + "Core.dll", key + ".ini", "readme.txt"};
    if (product.hasTemplates) files.insert("templates.dat");
    if (version.parts[2] >= 24209) files.insert("whatsnew.txt");
    if (version.parts[2] < 24245) files.insert("filters.lst");
    return files;
}

std::set<std::string> FilesIn(const std::string& directory) {
    std::set<std::string> names;
    WIN32_FIND_DATAA data;
    hotfix::win32::UniqueFind find(::FindFirstFileA((directory + "*").c_str(), &data));
    if (!find) return names;
    do {
        const std::string name = data.cFileName;
        if (name != "." && name != "..") names.insert(name);
    } while (::FindNextFileA(find.get(), &data));
    return names;
}

// What a version resource says, as far as these tests look.
struct VersionInfo {
    DWORD fileMS = 0, fileLS = 0, productMS = 0, productLS = 0;
    std::string companyName, productName, fileVersion, productVersion;
};

// Reads the version resource through version.dll, loaded from the system directory.
std::optional<VersionInfo> ReadVersionInfo(const std::string& path) {
    using SizeFn = DWORD(WINAPI*)(LPCSTR, LPDWORD);
    using InfoFn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
    using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);
    static const UniqueModule library = hotfix::win32::LoadSystemLibrary("version.dll");
    const auto getSize = reinterpret_cast<SizeFn>(
        reinterpret_cast<void*>(::GetProcAddress(library.get(), "GetFileVersionInfoSizeA")));
    const auto getInfo = reinterpret_cast<InfoFn>(
        reinterpret_cast<void*>(::GetProcAddress(library.get(), "GetFileVersionInfoA")));
    const auto query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void*>(::GetProcAddress(library.get(), "VerQueryValueA")));
    if (!getSize || !getInfo || !query) return std::nullopt;

    DWORD ignored = 0;
    const DWORD size = getSize(path.c_str(), &ignored);
    if (size == 0) return std::nullopt;
    std::vector<unsigned char> block(size);
    if (!getInfo(path.c_str(), 0, size, block.data())) return std::nullopt;

    void* value = nullptr;
    UINT length = 0;
    if (!query(block.data(), "\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO))
        return std::nullopt;
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    VersionInfo info;
    info.fileMS = fixed->dwFileVersionMS;
    info.fileLS = fixed->dwFileVersionLS;
    info.productMS = fixed->dwProductVersionMS;
    info.productLS = fixed->dwProductVersionLS;
    const auto text = [&](const char* name) {
        const std::string sub = std::string("\\StringFileInfo\\040904b0\\") + name;
        if (!query(block.data(), sub.c_str(), &value, &length) || !value) return std::string();
        return std::string(static_cast<const char*>(value));
    };
    info.companyName = text("CompanyName");
    info.productName = text("ProductName");
    info.fileVersion = text("FileVersion");
    info.productVersion = text("ProductVersion");
    return info;
}

// The raw bytes of the PE section `name` of an image file; empty when there is none.
std::string SectionBytes(const std::string& image, const char* name) {
    if (image.size() < sizeof(IMAGE_DOS_HEADER)) return {};
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
    const std::size_t ntOffset = static_cast<std::size_t>(dos->e_lfanew);
    if (ntOffset + sizeof(IMAGE_NT_HEADERS32) > image.size()) return {};
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(image.data() + ntOffset);
    std::size_t sectionOffset = ntOffset + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) +
                                nt->FileHeader.SizeOfOptionalHeader;
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
        if (sectionOffset + sizeof(IMAGE_SECTION_HEADER) > image.size()) return {};
        const auto* section = reinterpret_cast<const IMAGE_SECTION_HEADER*>(image.data() + sectionOffset);
        sectionOffset += sizeof(IMAGE_SECTION_HEADER);
        if (std::strncmp(reinterpret_cast<const char*>(section->Name), name, IMAGE_SIZEOF_SHORT_NAME) != 0)
            continue;
        const std::size_t begin = section->PointerToRawData;
        const std::size_t end = begin + section->SizeOfRawData;
        if (end > image.size()) return {};
        return image.substr(begin, end - begin);
    }
    return {};
}

constexpr char kWindowClass[] = "VeltrixSampleMainWindow";

struct WindowSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindProcessWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    char className[64] = {};
    ::GetClassNameA(window, className, sizeof className);
    if (processId == search->processId && ::IsWindowVisible(window) &&
        std::strcmp(className, kWindowClass) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// What happened to one run of a sample program.
struct RunResult {
    bool started = false;
    std::string windowTitle;  // empty when no window appeared
    bool exited = false;      // false when it had to be terminated
    DWORD exitCode = STILL_ACTIVE;
};

// Starts `program`, waits for its visible main window, reads its title and closes it with
// WM_CLOSE. A program that shows no window is waited for until it exits on its own.
RunResult RunAndClose(const std::string& program) {
    constexpr DWORD kWindowTimeoutMs = 15000;
    constexpr DWORD kExitTimeoutMs = 10000;
    RunResult result;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    UniqueProcessInformation process;
    std::string commandLine = "\"" + program + "\"";
    if (!::CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, process.put()))
        return result;
    result.started = true;
    const HANDLE handle = process.get().hProcess;

    WindowSearch search = {process.get().dwProcessId, nullptr};
    const DWORD start = ::GetTickCount();
    while (!search.found && ::GetTickCount() - start < kWindowTimeoutMs) {
        ::EnumWindows(FindProcessWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found || ::WaitForSingleObject(handle, 50) == WAIT_OBJECT_0) break;
    }
    if (search.found) {
        char title[256] = {};
        ::GetWindowTextA(search.found, title, sizeof title);
        result.windowTitle = title;
        ::PostMessageA(search.found, WM_CLOSE, 0, 0);
    }
    if (::WaitForSingleObject(handle, kExitTimeoutMs) == WAIT_OBJECT_0) {
        result.exited = true;
        ::GetExitCodeProcess(handle, &result.exitCode);
    } else {
        ::TerminateProcess(handle, 99);
        ::WaitForSingleObject(handle, kExitTimeoutMs);
    }
    return result;
}

TEST(SampleProduct, EachInstallationHoldsExactlyTheFilesOfItsVersion) {
    for (const Product& product : kProducts) {
        for (const Version& version : kVersions) {
            SCOPED_TRACE(std::string(product.key) + " " + version.text);
            EXPECT_EQ(FilesIn(SampleDirectory(product.key, version.text)),
                      ExpectedFiles(product, version));
        }
    }
}

TEST(SampleProduct, ProgramsAndCoresCarryTheirFileVersionAndTheReleaseProductVersion) {
    for (const Product& product : kProducts) {
        for (const Version& version : kVersions) {
            const std::string directory = SampleDirectory(product.key, version.text);
            for (const std::string& file :
                 {std::string(product.key) + ".exe", std::string(product.key) + "Core.dll"}) {
                SCOPED_TRACE(directory + file);
                const std::optional<VersionInfo> info = ReadVersionInfo(directory + file);
                ASSERT_TRUE(info.has_value());
                EXPECT_EQ(info->fileMS, static_cast<DWORD>(MAKELONG(version.parts[1], version.parts[0])));
                EXPECT_EQ(info->fileLS, static_cast<DWORD>(MAKELONG(version.parts[3], version.parts[2])));
                EXPECT_EQ(info->productMS, static_cast<DWORD>(MAKELONG(22, 7)));
                EXPECT_EQ(info->productLS, 0u);
                EXPECT_EQ(info->fileVersion, version.text);
                EXPECT_EQ(info->productVersion, "7.22");
                EXPECT_EQ(info->companyName, "Veltrix Software");
                EXPECT_EQ(info->productName, product.displayName);
            }
        }
    }
}

// A patch from one version to the next must change code and data, not only the version block.
TEST(SampleProduct, CodeAndDataChangeBetweenConsecutiveVersions) {
    for (const Product& product : kProducts) {
        for (std::size_t i = 0; i + 1 < std::size(kVersions); ++i) {
            const std::string older = SampleDirectory(product.key, kVersions[i].text);
            const std::string newer = SampleDirectory(product.key, kVersions[i + 1].text);
            for (const std::string& file : FilesIn(older)) {
                if (!FilesIn(newer).count(file)) continue;
                SCOPED_TRACE(product.key + std::string(" ") + kVersions[i].text + " -> " +
                             kVersions[i + 1].text + ": " + file);
                const std::string before = hotfix::testing::ReadWholeFile(older + file);
                const std::string after = hotfix::testing::ReadWholeFile(newer + file);
                ASSERT_FALSE(before.empty());
                EXPECT_TRUE(before != after) << "unchanged";
                const bool image = file.size() > 4 && (file.substr(file.size() - 4) == ".exe" ||
                                                       file.substr(file.size() - 4) == ".dll");
                if (!image) continue;
                for (const char* section : {".text", ".rdata"}) {
                    SCOPED_TRACE(section);
                    const std::string oldSection = SectionBytes(before, section);
                    ASSERT_FALSE(oldSection.empty());
                    EXPECT_TRUE(oldSection != SectionBytes(after, section)) << "unchanged";
                }
            }
        }
    }
}

TEST(SampleProduct, EachProgramShowsItsWindowAndExitsZeroWhenClosed) {
    for (const Product& product : kProducts) {
        for (const Version& version : kVersions) {
            const std::string program = SampleDirectory(product.key, version.text) + product.key + ".exe";
            SCOPED_TRACE(program);
            const RunResult run = RunAndClose(program);
            ASSERT_TRUE(run.started);
            EXPECT_EQ(run.windowTitle, std::string(product.displayName) + " " + version.text);
            EXPECT_TRUE(run.exited);
            EXPECT_EQ(run.exitCode, 0u);
        }
    }
}

// A broken installation is noticed at start: no window, a distinct exit code.
TEST(SampleProduct, ProgramWithoutItsCoreOrWithAnotherBuildsCoreEndsWithoutWindow) {
    const std::string older = SampleDirectory("Tarnovex", "7.22.24188.12");
    const std::string newer = SampleDirectory("Tarnovex", "7.22.24209.13");
    struct Case {
        const char* name;
        const char* core;  // the core to put beside the program; nullptr for none
        DWORD exitCode;
    };
    const std::string newerCore = newer + "TarnovexCore.dll";
    const std::string olderCore = older + "TarnovexCore.dll";
    const Case cases[] = {
        {"own core", olderCore.c_str(), 0},
        {"no core", nullptr, 2},
        {"core of the next build", newerCore.c_str(), 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Installation install = Installation::Create(TestProgramDirectory(), "samples-");
        ASSERT_TRUE(install.Valid());
        ASSERT_TRUE(install.CopyFileFrom(older + "Tarnovex.exe", "Tarnovex.exe"));
        if (c.core) {
            ASSERT_TRUE(install.CopyFileFrom(c.core, "TarnovexCore.dll"));
        }
        const RunResult run = RunAndClose(install.Path() + "Tarnovex.exe");
        ASSERT_TRUE(run.started);
        EXPECT_EQ(run.windowTitle.empty(), c.exitCode != 0);
        EXPECT_TRUE(run.exited);
        EXPECT_EQ(run.exitCode, c.exitCode);
    }
}

#pragma pack(push, 2)
struct GroupIconHeader {
    WORD reserved, type, count;
};
struct GroupIconEntry {
    BYTE width, height, colorCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)

// The installer's icon group 128: a 32x32 and a 16x16 image, 16 colours each, with a mask
// that leaves the corners transparent and the motif opaque.
TEST(InstallerIcon, GroupHasA32And16PixelImageOf16ColoursWithMask) {
    const std::string carrier = TestProgramDirectory() + "hotfix_icon_carrier.dll";
    const UniqueModule module(::LoadLibraryExA(carrier.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(module) << carrier;
    const HRSRC groupResource = ::FindResourceA(module.get(), MAKEINTRESOURCEA(128), RT_GROUP_ICON);
    ASSERT_NE(groupResource, nullptr);
    const auto* group = static_cast<const BYTE*>(::LockResource(::LoadResource(module.get(), groupResource)));
    ASSERT_NE(group, nullptr);
    const auto* header = reinterpret_cast<const GroupIconHeader*>(group);
    ASSERT_EQ(header->type, 1);
    ASSERT_EQ(header->count, 2);
    const auto* entries = reinterpret_cast<const GroupIconEntry*>(group + sizeof(GroupIconHeader));

    for (int size : {32, 16}) {
        SCOPED_TRACE(size);
        const GroupIconEntry* entry = nullptr;
        for (int i = 0; i < header->count; ++i)
            if (entries[i].width == size && entries[i].height == size) entry = &entries[i];
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->colorCount, 16);
        EXPECT_EQ(entry->planes, 1);
        EXPECT_EQ(entry->bitCount, 4);

        const HRSRC imageResource = ::FindResourceA(module.get(), MAKEINTRESOURCEA(entry->id), RT_ICON);
        ASSERT_NE(imageResource, nullptr);
        auto* image = static_cast<BYTE*>(::LockResource(::LoadResource(module.get(), imageResource)));
        const DWORD imageSize = ::SizeofResource(module.get(), imageResource);
        ASSERT_GE(imageSize, sizeof(BITMAPINFOHEADER));
        const auto* info = reinterpret_cast<const BITMAPINFOHEADER*>(image);
        EXPECT_EQ(info->biWidth, size);
        EXPECT_EQ(info->biHeight, 2 * size);  // colour image and mask
        EXPECT_EQ(info->biPlanes, 1);
        EXPECT_EQ(info->biBitCount, 4);
        const DWORD xorBytes = 4 * ((size * 4 + 31) / 32) * size;
        const DWORD andStride = 4 * ((size + 31) / 32);
        ASSERT_EQ(imageSize, info->biSize + 16 * sizeof(RGBQUAD) + xorBytes + andStride * size);

        // Rows are stored bottom-up: the mask's first row is the image's bottom row.
        const BYTE* mask = image + info->biSize + 16 * sizeof(RGBQUAD) + xorBytes;
        const auto transparent = [&](int x, int y) {
            return (mask[(size - 1 - y) * andStride + x / 8] & (0x80 >> (x % 8))) != 0;
        };
        EXPECT_TRUE(transparent(0, 0));
        EXPECT_TRUE(transparent(size - 1, size - 1));
        EXPECT_FALSE(transparent(size / 2, size / 2));

        // Windows itself makes an icon of it, at its size.
        const HICON icon = ::CreateIconFromResourceEx(image, imageSize, TRUE, 0x00030000, size, size,
                                                      LR_DEFAULTCOLOR);
        ASSERT_NE(icon, nullptr);
        ICONINFO iconInfo = {};
        ASSERT_TRUE(::GetIconInfo(icon, &iconInfo));
        BITMAP colour = {};
        ASSERT_TRUE(::GetObjectA(iconInfo.hbmColor, sizeof colour, &colour));
        EXPECT_EQ(colour.bmWidth, size);
        EXPECT_EQ(colour.bmHeight, size);
        ::DeleteObject(iconInfo.hbmColor);
        ::DeleteObject(iconInfo.hbmMask);
        ::DestroyIcon(icon);
    }
}

} // namespace
