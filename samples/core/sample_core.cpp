// <Product>Core.dll: the part of the sample product that the executable loads from its own
// directory at start. Its modules, its description and its checksum differ between builds.
#include <windows.h>

#include "sample_checksum.h"
#include "sample_core.h"
#include "sample_identity.h"

namespace {

// The modules of this core, in the order the description names them.
const char* const kModules[] = {
    "layout",
    "render",
#if SAMPLE_PRODUCT_ID == 3
    "catalogue",
    "pricing",
#endif
#if SAMPLE_PRODUCT_ID != 2
    "templates",
#endif
#if SAMPLE_VERSION_BUILD >= 24209
    "index-cache",
#endif
#if SAMPLE_VERSION_BUILD >= 24245
    "repair",
    "print-preview",
#endif
};

// Appends `text` at `*length` within `size`, always leaving room for the NUL.
void Append(char* buffer, int size, int* length, const char* text) {
    while (*text && *length < size - 1) buffer[(*length)++] = *text++;
    buffer[*length] = '\0';
}

} // namespace

extern "C" __declspec(dllexport) const char* SampleCoreVersion() {
    return SAMPLE_VERSION_STRING;
}

extern "C" __declspec(dllexport) int SampleCoreDescribe(char* buffer, int size) {
    if (!buffer || size <= 0) return 0;
    int length = 0;
    buffer[0] = '\0';
    Append(buffer, size, &length, SAMPLE_DISPLAY_NAME " core " SAMPLE_VERSION_STRING ":");
    for (const char* module : kModules) {
        Append(buffer, size, &length, " ");
        Append(buffer, size, &length, module);
    }
    return length;
}

extern "C" __declspec(dllexport) unsigned SampleCoreChecksum(const void* data, unsigned size) {
    if (!data) size = 0;
    return sample::Checksum(static_cast<const unsigned char*>(data), size);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
