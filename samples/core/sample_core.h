#pragma once
// The interface of <Product>Core.dll as the sample executable loads it at run time. Every
// function is exported undecorated (cdecl), so GetProcAddress finds it by its plain name.

extern "C" {

// The core's own file version as text, e.g. "7.22.24188.12". An executable refuses a core
// whose version is not exactly its own.
typedef const char* (*SampleCoreVersionFn)();

// Writes a one-line description of the core's modules into `buffer`, NUL-terminated and
// truncated to `size` bytes. Returns the number of characters written without the NUL;
// 0 when `buffer` is null or `size` is not positive.
typedef int (*SampleCoreDescribeFn)(char* buffer, int size);

// The checksum of `size` bytes at `data` as this build computes it for its data files
// (see sample_checksum.h). A null `data` with `size` 0 is the empty input.
typedef unsigned (*SampleCoreChecksumFn)(const void* data, unsigned size);

}

#define SAMPLE_CORE_VERSION_EXPORT "SampleCoreVersion"
#define SAMPLE_CORE_DESCRIBE_EXPORT "SampleCoreDescribe"
#define SAMPLE_CORE_CHECKSUM_EXPORT "SampleCoreChecksum"
