// What the platform learns from the installer file before any of its code runs: its version
// properties, its resource table (every resource in the definition's language, French for
// HotFix 2, nothing that names a title), its manifest, its icon, and the PE facts (the
// architecture built, windowed, system DLLs only, an engine of the same architecture). Read
// from the built file, as Explorer and the loader read it, never run: so the x64 build's
// program also checks the x86 build's files (HOTFIX_IMAGE_BIN names that build's bin folder,
// HOTFIX_IMAGE_ARCH its architecture), where Wine starts no 32-bit program.
// The version block and the payload are checked against the hotfix's definition file, whose
// facts reach this program through the generated hotfix_definition.h.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "harness/helpers.h"
#include "harness/test_paths.h"
#include "hotfix_definition.h"
#include "support/win32/unique_handle.h"

namespace hotfix::testing {
namespace {

using win32::UniqueModule;

std::string Environment(const char* name) {
    char value[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableA(name, value, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(value, length) : std::string();
}

// The build whose files are checked: this program's own, or the one HOTFIX_IMAGE_BIN names.
std::string ImageBin() {
    std::string bin = Environment("HOTFIX_IMAGE_BIN");
    if (bin.empty()) return TestProgramDirectory();
    if (bin.back() != '\\') bin += '\\';
    return bin;
}

std::string ImageInstaller() { return ImageBin() + definition::kInstallerFileName; }

// What an image of the architecture checked says of itself.
struct Architecture {
    WORD machine;
    WORD magic;
    const char* manifestName;
};

Architecture ExpectedArchitecture() {
    const Architecture x86{IMAGE_FILE_MACHINE_I386, IMAGE_NT_OPTIONAL_HDR32_MAGIC, "x86"};
    const Architecture x64{IMAGE_FILE_MACHINE_AMD64, IMAGE_NT_OPTIONAL_HDR64_MAGIC, "amd64"};
    const std::string named = Environment("HOTFIX_IMAGE_ARCH");
    if (named == "x86") return x86;
    if (named == "x64") return x64;
    return sizeof(void*) == 8 ? x64 : x86;
}

// The payload: the engine pair, then the definition's patch files.
std::vector<std::string> PayloadNames() {
    std::vector<std::string> names = {Upper(engine::kFrontEndName), Upper(engine::kLibraryName)};
    names.insert(names.end(), std::begin(definition::kPatchFiles), std::end(definition::kPatchFiles));
    return names;
}

// The string table's name: language and code page in hexadecimal, "040c04b0" for 1036 / 1200.
std::string StringTableName() {
    char name[9];
    std::snprintf(name, sizeof name, "%04x%04x", definition::kLanguage, definition::kCodePage);
    return name;
}

// A resource type or name as text: "#24" for an integer identifier, else the name itself.
std::string ResourceId(LPCSTR id) {
    if (IS_INTRESOURCE(id)) return "#" + std::to_string(reinterpret_cast<std::uintptr_t>(id));
    return id;
}

// type -> name -> languages, as the platform's enumeration reports them.
using ResourceTable = std::map<std::string, std::map<std::string, std::set<WORD>>>;

struct Enumeration {
    ResourceTable table;
    std::string currentType;
    std::string currentName;
};

BOOL CALLBACK OnLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR param) {
    auto* e = reinterpret_cast<Enumeration*>(param);
    e->table[e->currentType][e->currentName].insert(language);
    return TRUE;
}

BOOL CALLBACK OnName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR param) {
    auto* e = reinterpret_cast<Enumeration*>(param);
    e->currentName = ResourceId(name);
    e->table[e->currentType][e->currentName];
    ::EnumResourceLanguagesA(module, type, name, &OnLanguage, param);
    return TRUE;
}

BOOL CALLBACK OnType(HMODULE module, LPSTR type, LONG_PTR param) {
    auto* e = reinterpret_cast<Enumeration*>(param);
    e->currentType = ResourceId(type);
    e->table[e->currentType];
    ::EnumResourceNamesA(module, type, &OnName, param);
    return TRUE;
}

std::string ResourceBytes(HMODULE module, LPCSTR name, LPCSTR type) {
    const HRSRC resource = ::FindResourceA(module, name, type);
    if (!resource) return std::string();
    const void* data = ::LockResource(::LoadResource(module, resource));
    if (!data) return std::string();
    return std::string(static_cast<const char*>(data), ::SizeofResource(module, resource));
}

class InstallerResources : public ::testing::Test {
protected:
    void SetUp() override {
        m_module.reset(::LoadLibraryExA(ImageInstaller().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(m_module) << ImageInstaller() << ": error " << ::GetLastError();
    }
    UniqueModule m_module;
};

// ---- Version block ------------------------------------------------------------------------

template <class Function>
Function Procedure(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

class VersionProperties : public ::testing::Test {
protected:
    void SetUp() override {
        m_library.reset(::LoadLibraryA("version.dll"));
        ASSERT_TRUE(m_library);
        m_getSize = Procedure<GetSizeFn>(m_library.get(), "GetFileVersionInfoSizeA");
        m_getInfo = Procedure<GetInfoFn>(m_library.get(), "GetFileVersionInfoA");
        m_query = Procedure<QueryFn>(m_library.get(), "VerQueryValueA");
        ASSERT_TRUE(m_getSize && m_getInfo && m_query);
        DWORD handle = 0;
        const DWORD size = m_getSize(ImageInstaller().c_str(), &handle);
        ASSERT_GT(size, 0u);
        m_block.resize(size);
        ASSERT_TRUE(m_getInfo(ImageInstaller().c_str(), 0, size, m_block.data()));
    }

    bool QueryRaw(const char* path, void** value, UINT* length) {
        return m_query(m_block.data(), path, value, length) != FALSE;
    }

    std::optional<std::string> Query(const std::string& path) {
        void* value = nullptr;
        UINT length = 0;
        if (!QueryRaw(path.c_str(), &value, &length)) return std::nullopt;
        // For strings the length counts characters, with or without the terminating zero.
        return std::string(static_cast<const char*>(value), strnlen(static_cast<const char*>(value), length));
    }

    // The test program, like the installer, takes the version functions from the system at run
    // time instead of importing them.
    using GetSizeFn = DWORD(WINAPI*)(LPCSTR, LPDWORD);
    using GetInfoFn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
    using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);
    UniqueModule m_library;
    GetSizeFn m_getSize = nullptr;
    GetInfoFn m_getInfo = nullptr;
    QueryFn m_query = nullptr;
    std::vector<char> m_block;
};

TEST_F(VersionProperties, FixedPartNamesTheTargetVersionOfAWindowsApplication) {
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(QueryRaw("\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    const unsigned* file = definition::kFileVersion;
    const unsigned* product = definition::kProductVersion;
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(file[1], file[0]));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(file[3], file[2]));
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(product[1], product[0]));
    EXPECT_EQ(fixed->dwProductVersionLS, MAKELONG(product[3], product[2]));
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed->dwFileSubtype, 0u);
    EXPECT_EQ(fixed->dwFileDateMS, 0u);
    EXPECT_EQ(fixed->dwFileDateLS, 0u);
}

TEST_F(VersionProperties, OneTranslationInTheDefinitionsLanguageAndCodePage) {
    WORD* translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(QueryRaw("\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 2 * sizeof(WORD));
    EXPECT_EQ(translation[0], definition::kLanguage);
    EXPECT_EQ(translation[1], definition::kCodePage);
}

TEST_F(VersionProperties, StringTableHoldsTheDefinitionsTexts) {
    for (const definition::VersionString& entry : definition::kVersionStrings) {
        SCOPED_TRACE(entry.name);
        EXPECT_EQ(Query("\\StringFileInfo\\" + StringTableName() + "\\" + entry.name),
                  std::optional<std::string>(entry.value));
    }
}

// The raw block holds exactly one string table (HotFix 2: "040c04b0") with exactly the
// definition's keys (HotFix 2: twelve) in their order: a second table (say, English) would
// show other texts in other languages.
TEST_F(InstallerResources, VersionBlockHasOneStringTableWithExactlyTheDefinitionsKeys) {
    const std::string block = ResourceBytes(m_module.get(), MAKEINTRESOURCEA(1), RT_VERSION);
    ASSERT_GE(block.size(), 6u);

    // Each node: WORD length, WORD value length, WORD type, UTF-16 key, padding to 4, value,
    // padding to 4, children. Keys here are ASCII.
    struct Node {
        std::size_t begin, end, childrenBegin;
        std::string key;
    };
    const auto word = [&](std::size_t at) {
        return static_cast<std::size_t>(static_cast<unsigned char>(block[at]) |
                                        (static_cast<unsigned char>(block[at + 1]) << 8));
    };
    const auto align = [](std::size_t at) { return (at + 3) & ~std::size_t{3}; };
    const auto readNode = [&](std::size_t at) -> std::optional<Node> {
        if (at + 6 > block.size()) return std::nullopt;
        Node node{at, at + word(at), 0, {}};
        if (node.end > block.size() || node.end <= at + 6) return std::nullopt;
        const std::size_t valueLength = word(at + 2);
        const bool text = word(at + 4) == 1;
        std::size_t p = at + 6;
        while (p + 1 < node.end && word(p) != 0) {
            node.key += static_cast<char>(word(p));
            p += 2;
        }
        p = align(p + 2);
        node.childrenBegin = align(p + (text ? 2 * valueLength : valueLength));
        return node;
    };
    const auto children = [&](const Node& parent) {
        std::vector<Node> list;
        for (std::size_t at = parent.childrenBegin; at < parent.end;) {
            const std::optional<Node> child = readNode(at);
            if (!child) break;
            list.push_back(*child);
            at = align(child->end);
        }
        return list;
    };

    const std::optional<Node> root = readNode(0);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->key, "VS_VERSION_INFO");
    std::vector<std::string> tables;
    std::vector<std::string> keys;
    for (const Node& section : children(*root)) {
        if (section.key != "StringFileInfo") continue;
        for (const Node& table : children(section)) {
            tables.push_back(table.key);
            for (const Node& entry : children(table)) keys.push_back(entry.key);
        }
    }
    EXPECT_EQ(tables, std::vector<std::string>{StringTableName()});
    std::vector<std::string> expected;
    for (const definition::VersionString& entry : definition::kVersionStrings) expected.push_back(entry.name);
    EXPECT_EQ(keys, expected);
}

// ---- Resource table -----------------------------------------------------------------------

TEST_F(InstallerResources, TableHoldsExactlyManifestVersionIconAndPayloadAllInTheDefinitionsLanguage) {
    Enumeration e;
    ASSERT_TRUE(::EnumResourceTypesA(m_module.get(), &OnType, reinterpret_cast<LONG_PTR>(&e)));
    const ResourceTable& table = e.table;

    std::set<std::string> types;
    for (const auto& type : table) types.insert(type.first);
    const std::set<std::string> expectedTypes = {"#3" /* icon */, "#14" /* icon group */, "#16" /* version */,
                                                 "#24" /* manifest */, "PATCH"};
    EXPECT_EQ(types, expectedTypes);
    EXPECT_EQ(table.count("#6"), 0u) << "a string table would give the program a title";

    const auto namesOf = [&](const std::string& type) {
        std::set<std::string> names;
        if (table.count(type))
            for (const auto& name : table.at(type)) names.insert(name.first);
        return names;
    };
    EXPECT_EQ(namesOf("#24"), std::set<std::string>{"#1"});
    EXPECT_EQ(namesOf("#16"), std::set<std::string>{"#1"});
    EXPECT_EQ(namesOf("#14"), std::set<std::string>{"#128"});
    EXPECT_EQ(namesOf("#3").size(), 2u);
    const std::vector<std::string> payload = PayloadNames();
    EXPECT_EQ(namesOf("PATCH"), std::set<std::string>(payload.begin(), payload.end()));

    for (const auto& type : table) {
        for (const auto& name : type.second) {
            SCOPED_TRACE(type.first + "/" + name.first);
            EXPECT_EQ(name.second, std::set<WORD>{definition::kLanguage});
        }
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

TEST_F(InstallerResources, IconGroupHasA32And16PixelImageOf16Colours) {
    const std::string group = ResourceBytes(m_module.get(), MAKEINTRESOURCEA(128), RT_GROUP_ICON);
    ASSERT_GE(group.size(), sizeof(GroupIconHeader));
    const auto* header = reinterpret_cast<const GroupIconHeader*>(group.data());
    EXPECT_EQ(header->type, 1);
    ASSERT_EQ(header->count, 2);
    ASSERT_EQ(group.size(), sizeof(GroupIconHeader) + 2 * sizeof(GroupIconEntry));
    const auto* entries = reinterpret_cast<const GroupIconEntry*>(group.data() + sizeof(GroupIconHeader));
    std::set<int> sizes;
    for (int i = 0; i < 2; ++i) {
        const GroupIconEntry& entry = entries[i];
        SCOPED_TRACE(static_cast<int>(entry.width));
        EXPECT_EQ(entry.width, entry.height);
        sizes.insert(entry.width);
        EXPECT_EQ(entry.colorCount, 16);
        EXPECT_EQ(entry.planes, 1);
        EXPECT_EQ(entry.bitCount, 4);
        // The directory's figures agree with the image it points at.
        const std::string image = ResourceBytes(m_module.get(), MAKEINTRESOURCEA(entry.id), RT_ICON);
        ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
        EXPECT_EQ(image.size(), entry.bytesInRes);
        const auto* info = reinterpret_cast<const BITMAPINFOHEADER*>(image.data());
        EXPECT_EQ(info->biWidth, entry.width);
        EXPECT_EQ(info->biHeight, 2 * entry.width);
        EXPECT_EQ(info->biPlanes, 1);
        EXPECT_EQ(info->biBitCount, 4);
    }
    EXPECT_EQ(sizes, (std::set<int>{16, 32}));
}

// ---- Manifest ------------------------------------------------------------------------------

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates, at most U+10FFFF).
bool IsUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t extra;
        std::uint32_t code;
        if (c < 0x80) { ++i; continue; }
        if (c >= 0xC2 && c <= 0xDF) { extra = 1; code = c & 0x1F; }
        else if (c >= 0xE0 && c <= 0xEF) { extra = 2; code = c & 0x0F; }
        else if (c >= 0xF0 && c <= 0xF4) { extra = 3; code = c & 0x07; }
        else return false;
        if (i + extra >= text.size()) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        if ((extra == 2 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
            (extra == 3 && (code < 0x10000 || code > 0x10FFFF)))
            return false;
        i += extra + 1;
    }
    return true;
}

// The start tag of the first element `name` at or after `from`, e.g. "<assemblyIdentity .../>".
std::string StartTag(const std::string& xml, const std::string& name, std::size_t from = 0) {
    const std::size_t at = xml.find("<" + name, from);
    if (at == std::string::npos) return std::string();
    const std::size_t end = xml.find('>', at);
    return end == std::string::npos ? std::string() : xml.substr(at, end - at + 1);
}

std::optional<std::string> Attribute(const std::string& tag, const std::string& name) {
    std::smatch match;
    if (!std::regex_search(tag, match, std::regex("\\s" + name + "\\s*=\\s*\"([^\"]*)\""))) return std::nullopt;
    return match[1].str();
}

TEST(ManifestText, Utf8CheckerTellsWellFormedFromBrokenText) {
    struct Case {
        const char* bytes;
        bool utf8;
    };
    const Case cases[] = {
        {"plain <xml/>", true},       {"caf\xC3\xA9", true},  {"\xE2\x82\xAC", true},   {"\xF0\x9F\x98\x80", true},
        {"caf\xE9", false},           {"\xC3", false},        {"\xC0\xAF", false},      {"\xED\xA0\x80", false},
        {"\xE2\x82", false},          {"\xF4\x90\x80\x80", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsUtf8(c.bytes), c.utf8) << c.bytes;
}

TEST_F(InstallerResources, ManifestAsksForCommonControls6AdministratorAndDpiAwarenessInThatOrder) {
    const std::string xml = ResourceBytes(m_module.get(), MAKEINTRESOURCEA(1), RT_MANIFEST);
    ASSERT_FALSE(xml.empty());
    EXPECT_TRUE(IsUtf8(xml));
    EXPECT_NE(xml.compare(0, 3, "\xEF\xBB\xBF"), 0) << "no byte-order mark before the declaration";
    const std::string declaration = StartTag(xml, "?xml");
    EXPECT_EQ(xml.find("<?xml"), 0u);
    EXPECT_EQ(Attribute(declaration, "version"), std::optional<std::string>("1.0"));
    EXPECT_EQ(Attribute(declaration, "encoding"), std::optional<std::string>("UTF-8"));
    EXPECT_EQ(Attribute(declaration, "standalone"), std::optional<std::string>("yes"));

    const std::string assembly = StartTag(xml, "assembly");
    EXPECT_EQ(Attribute(assembly, "xmlns"), std::optional<std::string>("urn:schemas-microsoft-com:asm.v1"));
    EXPECT_EQ(Attribute(assembly, "manifestVersion"), std::optional<std::string>("1.0"));

    const std::size_t dependency = xml.find("<dependency");
    const std::size_t trust = xml.find("<trustInfo");
    const std::size_t application = xml.find("<application");
    ASSERT_NE(dependency, std::string::npos);
    ASSERT_NE(trust, std::string::npos);
    ASSERT_NE(application, std::string::npos);
    EXPECT_LT(dependency, trust);
    EXPECT_LT(trust, application);

    const std::string identity = StartTag(xml, "assemblyIdentity", dependency);
    ASSERT_LT(xml.find("<assemblyIdentity", dependency), trust);
    EXPECT_EQ(Attribute(identity, "type"), std::optional<std::string>("win32"));
    EXPECT_EQ(Attribute(identity, "name"), std::optional<std::string>("Microsoft.Windows.Common-Controls"));
    EXPECT_EQ(Attribute(identity, "version"), std::optional<std::string>("6.0.0.0"));
    EXPECT_EQ(Attribute(identity, "processorArchitecture"),
              std::optional<std::string>(ExpectedArchitecture().manifestName));
    EXPECT_EQ(Attribute(identity, "publicKeyToken"), std::optional<std::string>("6595b64144ccf1df"));
    EXPECT_EQ(Attribute(identity, "language"), std::optional<std::string>("*"));

    EXPECT_EQ(Attribute(StartTag(xml, "trustInfo"), "xmlns"), std::optional<std::string>("urn:schemas-microsoft-com:asm.v3"));
    const std::string level = StartTag(xml, "requestedExecutionLevel", trust);
    EXPECT_EQ(Attribute(level, "level"), std::optional<std::string>("requireAdministrator"));
    EXPECT_EQ(Attribute(level, "uiAccess"), std::optional<std::string>("false"));

    EXPECT_EQ(Attribute(StartTag(xml, "application", trust), "xmlns"),
              std::optional<std::string>("urn:schemas-microsoft-com:asm.v3"));
    const std::string dpiAware = StartTag(xml, "dpiAware", application);
    EXPECT_EQ(Attribute(dpiAware, "xmlns"), std::optional<std::string>("http://schemas.microsoft.com/SMI/2005/WindowsSettings"));
    const std::size_t value = xml.find(dpiAware, application) + dpiAware.size();
    EXPECT_EQ(xml.substr(value, xml.find('<', value) - value), "true");
}

// ---- Payload -------------------------------------------------------------------------------

// The engine carried is the engine built, and each patch file is the one made at build time.
TEST_F(InstallerResources, PayloadIsTheBuiltEngineAndTheBuiltPatchFiles) {
    const std::string bin = ImageBin();
    struct Carried {
        std::string resource;
        std::string file;
    };
    std::vector<Carried> carried = {{Upper(engine::kFrontEndName), bin + engine::kFrontEndName},
                                    {Upper(engine::kLibraryName), bin + engine::kLibraryName}};
    for (const char* name : definition::kPatchFiles) carried.push_back({name, bin + "..\\payload\\" + name});
    for (const Carried& c : carried) {
        SCOPED_TRACE(c.resource);
        const std::string file = ReadWholeFile(c.file);
        ASSERT_FALSE(file.empty()) << c.file;
        const std::string resource = ResourceBytes(m_module.get(), c.resource.c_str(), "PATCH");
        EXPECT_EQ(resource.size(), file.size());
        EXPECT_TRUE(resource == file);
    }
}

// ---- PE image -------------------------------------------------------------------------------

struct PeFacts {
    WORD machine = 0;
    WORD magic = 0;
    WORD subsystem = 0;
    std::vector<std::string> imports;  // lower case
};

// Reads the headers and the import directory from the file's bytes, a PE32 or a PE32+ image;
// empty optional when the file is no PE image or its import directory lies outside the file.
std::optional<PeFacts> ReadPe(const std::string& image) {
    const auto at = [&](std::size_t offset, std::size_t size) { return offset + size <= image.size(); };
    if (!at(0, sizeof(IMAGE_DOS_HEADER))) return std::nullopt;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || !at(dos->e_lfanew, sizeof(IMAGE_NT_HEADERS64))) return std::nullopt;
    // The signature, the file header, and the optional header's magic and subsystem stand at
    // the same offsets in both forms; the data directories do not.
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(image.data() + dos->e_lfanew);
    const auto* nt64 = reinterpret_cast<const IMAGE_NT_HEADERS64*>(image.data() + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE) return std::nullopt;
    PeFacts facts;
    facts.machine = nt->FileHeader.Machine;
    facts.magic = nt->OptionalHeader.Magic;
    facts.subsystem = nt->OptionalHeader.Subsystem;
    const bool plus = facts.magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;

    const std::size_t sectionsAt =
        dos->e_lfanew + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) + nt->FileHeader.SizeOfOptionalHeader;
    if (!at(sectionsAt, nt->FileHeader.NumberOfSections * sizeof(IMAGE_SECTION_HEADER))) return std::nullopt;
    const auto* sections = reinterpret_cast<const IMAGE_SECTION_HEADER*>(image.data() + sectionsAt);
    const auto fileOffset = [&](DWORD rva) -> std::optional<std::size_t> {
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
            const IMAGE_SECTION_HEADER& s = sections[i];
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + std::max(s.Misc.VirtualSize, s.SizeOfRawData))
                return rva - s.VirtualAddress + s.PointerToRawData;
        }
        return std::nullopt;
    };

    const IMAGE_DATA_DIRECTORY& directory = plus ? nt64->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT]
                                                 : nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) return facts;
    std::optional<std::size_t> descriptorAt = fileOffset(directory.VirtualAddress);
    if (!descriptorAt) return std::nullopt;
    for (std::size_t p = *descriptorAt;; p += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        if (!at(p, sizeof(IMAGE_IMPORT_DESCRIPTOR))) return std::nullopt;
        const auto* descriptor = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(image.data() + p);
        if (descriptor->Name == 0) break;
        const std::optional<std::size_t> nameAt = fileOffset(descriptor->Name);
        if (!nameAt || *nameAt >= image.size()) return std::nullopt;
        std::string name(image.c_str() + *nameAt, strnlen(image.c_str() + *nameAt, image.size() - *nameAt));
        for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        facts.imports.push_back(name);
    }
    return facts;
}

// The installer is started from wherever it was downloaded to. A DLL that is not one of the
// platform's known system DLLs would be looked for in that folder first, so anything placed
// beside the installer could run with its administrator rights. version.dll and psapi.dll are
// such DLLs on some systems; zlib and the compiler's runtime must not be needed at all.
TEST(InstallerImage, IsOfItsArchitectureWindowedAndImportsKnownSystemDllsOnly) {
    const std::optional<PeFacts> pe = ReadPe(ReadWholeFile(ImageInstaller()));
    ASSERT_TRUE(pe);
    const Architecture expected = ExpectedArchitecture();
    EXPECT_EQ(pe->machine, expected.machine);
    EXPECT_EQ(pe->magic, expected.magic);
    EXPECT_EQ(pe->subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    EXPECT_FALSE(pe->imports.empty());
    const std::set<std::string> known = {"kernel32.dll", "user32.dll", "advapi32.dll", "gdi32.dll",
                                         "msvcrt.dll",   "shell32.dll", "ole32.dll",   "shlwapi.dll"};
    for (const std::string& name : pe->imports) EXPECT_EQ(known.count(name), 1u) << name;
}

// The engine runs in the application's folder as a process of its own: an engine of another
// architecture would not start where the installer does, or would see what it does otherwise.
TEST_F(InstallerResources, CarriedEngineIsOfTheInstallersArchitecture) {
    for (const char* name : {engine::kFrontEndName, engine::kLibraryName}) {
        SCOPED_TRACE(name);
        const std::optional<PeFacts> pe = ReadPe(ResourceBytes(m_module.get(), name, "PATCH"));
        ASSERT_TRUE(pe);
        EXPECT_EQ(pe->machine, ExpectedArchitecture().machine);
        EXPECT_EQ(pe->magic, ExpectedArchitecture().magic);
    }
}

} // namespace
} // namespace hotfix::testing
