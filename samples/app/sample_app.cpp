// The sample product's program. It opens one window titled "<name> <version>", lists what this
// build offers, and runs until the window is closed (WM_CLOSE or the close box); then it exits 0.
//
// At start it loads <key>Core.dll by full path from its own directory. Without that core, or
// with a core of another build, the installation is broken: the program exits at once with
// kExitCoreMissing or kExitCoreMismatch and shows nothing, so a test, a script or the hotfix
// can tell a broken installation from a working one without a dialog in the way.
#include <windows.h>

#include <cstring>

#include "sample_core.h"
#include "sample_identity.h"
#include "template_format.h"

namespace {

constexpr int kExitWindowFailed = 1;
constexpr int kExitCoreMissing = 2;
constexpr int kExitCoreMismatch = 3;

constexpr char kWindowClass[] = "VeltrixSampleMainWindow";
constexpr char kWindowTitle[] = SAMPLE_DISPLAY_NAME " " SAMPLE_VERSION_STRING;
constexpr char kCoreFileName[] = SAMPLE_PRODUCT_KEY "Core.dll";

// What the window shows, one line per entry of the text, built once at start.
char g_text[4096];
int g_textLength = 0;

void AppendText(const char* text) {
    while (*text && g_textLength < static_cast<int>(sizeof g_text) - 1) g_text[g_textLength++] = *text++;
    g_text[g_textLength] = '\0';
}

void AppendLine(const char* text) {
    AppendText(text);
    AppendText("\r\n");
}

void AppendNumber(unsigned value) {
    char digits[16];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value);
    char text[16];
    for (int i = 0; i < count; ++i) text[i] = digits[count - 1 - i];
    text[count] = '\0';
    AppendText(text);
}

// The features of this build and the build that brought each of them.
struct Feature {
    const char* name;
    const char* since;
};

const Feature kFeatures[] = {
    {"Open and save documents", "7.22.24188.12"},
#if SAMPLE_PRODUCT_ID == 2
    {"Read-only display with page thumbnails", "7.22.24188.12"},
#else
    {"Templates library", "7.22.24188.12"},
    {"Batch export", "7.22.24188.12"},
#endif
#if SAMPLE_PRODUCT_ID == 3
    {"Catalogue with price lists", "7.22.24188.12"},
#endif
#if SAMPLE_VERSION_BUILD >= 24209
    {"Index cache for large documents", "7.22.24209.13"},
    {"Faster start with many fonts", "7.22.24209.13"},
#endif
#if SAMPLE_VERSION_BUILD >= 24245
    {"Repair of damaged documents", "7.22.24245.10"},
    {"Print preview", "7.22.24245.10"},
#endif
};

// Minutes between automatic saves; shortened when the index cache made saving cheap.
unsigned AutosaveMinutes() {
#if SAMPLE_VERSION_BUILD >= 24209
    return 5;
#else
    return 10;
#endif
}

// How many documents the "recent files" list keeps.
unsigned RecentFileLimit() {
#if SAMPLE_VERSION_BUILD >= 24245
    return 8;
#else
    return 4;
#endif
}

// The zoom levels the view offers, in percent, lowest first.
void AppendZoomLevels() {
    static const unsigned kLevels[] = {
#if SAMPLE_VERSION_BUILD >= 24245
        25,
#endif
        50, 75, 100, 150, 200,
#if SAMPLE_VERSION_BUILD >= 24209
        300,
#endif
#if SAMPLE_VERSION_BUILD >= 24245
        400,
#endif
    };
    AppendText("Zoom levels:");
    for (unsigned level : kLevels) {
        AppendText(" ");
        AppendNumber(level);
        AppendText("%");
    }
    AppendLine("");
}

// The directory of this program with its trailing backslash, or false when the path does not
// fit. Steps through the path by characters, so a double-byte character whose trail byte is
// 0x5C is never taken for a separator.
bool OwnDirectory(char (&directory)[MAX_PATH]) {
    const DWORD length = ::GetModuleFileNameA(nullptr, directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    char* afterSeparator = nullptr;
    for (char* p = directory; *p; p = ::CharNextA(p))
        if (*p == '\\') afterSeparator = p + 1;
    if (!afterSeparator) return false;
    *afterSeparator = '\0';
    return true;
}

bool JoinPath(const char* directory, const char* name, char (&path)[MAX_PATH]) {
    const std::size_t directoryLength = std::strlen(directory);
    const std::size_t nameLength = std::strlen(name);
    if (directoryLength + nameLength >= MAX_PATH) return false;
    std::memcpy(path, directory, directoryLength);
    std::memcpy(path + directoryLength, name, nameLength + 1);
    return true;
}

#if SAMPLE_HAS_TEMPLATES
// Reads templates.dat beside the program and checks it with the core's checksum. Describes
// the result in one line: missing, damaged (any check fails), or the number of templates.
void AppendTemplatesStatus(const char* directory, SampleCoreChecksumFn checksum) {
    AppendText("templates.dat: ");
    char path[MAX_PATH];
    if (!JoinPath(directory, "templates.dat", path)) {
        AppendLine("missing");
        return;
    }
    const HANDLE file = ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        AppendLine("missing");
        return;
    }
    // One byte more than the file of this build has, so a longer file is told apart.
    static unsigned char bytes[sample::kFileSize + 1];
    DWORD read = 0;
    const BOOL ok = ::ReadFile(file, bytes, sizeof bytes, &read, nullptr);
    ::CloseHandle(file);

    const unsigned char* header = bytes;
    bool valid = ok && read == sample::kFileSize && std::memcmp(header, "VTPL", 4) == 0 &&
                 sample::ReadU16(header + 4) == sample::kFormat &&
                 sample::ReadU16(header + 6) == sample::kRecordCount &&
                 sample::ReadU32(header + 8) == SAMPLE_PRODUCT_ID &&
                 sample::ReadU32(header + 12) == SAMPLE_VERSION_BUILD;
    if (valid) {
        const unsigned char* records = header + sample::kHeaderSize;
        valid = checksum(records, sample::kRecordCount * sample::kRecordSize) ==
                sample::ReadU32(header + 16);
        for (unsigned i = 0; valid && i < sample::kRecordCount; ++i) {
            const unsigned char* record = records + i * sample::kRecordSize;
            valid = checksum(record + sample::kPayloadOffset, sample::kPayloadSize) ==
                    sample::ReadU32(record + sample::kNameSize + 4);
        }
    }
    if (!valid) {
        AppendLine("damaged");
        return;
    }
    AppendNumber(sample::kRecordCount);
    AppendLine(" templates, verified");
}
#endif

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        const HDC dc = ::BeginPaint(window, &paint);
        RECT area;
        ::GetClientRect(window, &area);
        area.left += 12;
        area.top += 12;
        ::DrawTextA(dc, g_text, g_textLength, &area, DT_LEFT | DT_TOP | DT_NOPREFIX);
        ::EndPaint(window, &paint);
        return 0;
    }
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcA(window, message, wParam, lParam);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    char directory[MAX_PATH];
    char corePath[MAX_PATH];
    if (!OwnDirectory(directory) || !JoinPath(directory, kCoreFileName, corePath))
        return kExitCoreMissing;

    const HMODULE core = ::LoadLibraryA(corePath);
    if (!core) return kExitCoreMissing;
    const auto coreVersion = reinterpret_cast<SampleCoreVersionFn>(
        reinterpret_cast<void*>(::GetProcAddress(core, SAMPLE_CORE_VERSION_EXPORT)));
    const auto describe = reinterpret_cast<SampleCoreDescribeFn>(
        reinterpret_cast<void*>(::GetProcAddress(core, SAMPLE_CORE_DESCRIBE_EXPORT)));
    const auto checksum = reinterpret_cast<SampleCoreChecksumFn>(
        reinterpret_cast<void*>(::GetProcAddress(core, SAMPLE_CORE_CHECKSUM_EXPORT)));
    if (!coreVersion || !describe || !checksum ||
        std::strcmp(coreVersion(), SAMPLE_VERSION_STRING) != 0) {
        ::FreeLibrary(core);
        return kExitCoreMismatch;
    }

    AppendLine(kWindowTitle);
    AppendLine(SAMPLE_DESCRIPTION);
    AppendLine("");
    AppendLine("Features of this build:");
    for (const Feature& feature : kFeatures) {
        AppendText("  ");
        AppendText(feature.name);
        AppendText(" (since ");
        AppendText(feature.since);
        AppendLine(")");
    }
    AppendText("Autosave every ");
    AppendNumber(AutosaveMinutes());
    AppendText(" minutes; recent files kept: ");
    AppendNumber(RecentFileLimit());
    AppendLine("");
    AppendZoomLevels();
    char coreText[512];
    describe(coreText, sizeof coreText);
    AppendLine(coreText);
#if SAMPLE_HAS_TEMPLATES
    AppendTemplatesStatus(directory, checksum);
#endif

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kWindowClass;
    if (!::RegisterClassA(&windowClass)) return kExitWindowFailed;

    const HWND window = ::CreateWindowExA(0, kWindowClass, kWindowTitle, WS_OVERLAPPEDWINDOW,
                                          CW_USEDEFAULT, CW_USEDEFAULT, 520, 400, nullptr, nullptr,
                                          instance, nullptr);
    if (!window) return kExitWindowFailed;
    ::ShowWindow(window, showCommand);
    ::UpdateWindow(window);

    MSG message;
    BOOL status;
    while ((status = ::GetMessageA(&message, nullptr, 0, 0)) != 0) {
        if (status == -1) break;
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
    ::FreeLibrary(core);
    return status == -1 ? kExitWindowFailed : static_cast<int>(message.wParam);
}
