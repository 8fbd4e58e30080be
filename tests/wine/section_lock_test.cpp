// The process-wide lock: its named semaphore and section exist, named after the process id,
// while an object lives; a second object shares them and resets the cell; the private fallback;
// and the installer holds them for as long as it runs.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>

#include "harness/test_paths.h"
#include "adapters/section_critique.h"

namespace hotfix::testing {
namespace {

using win32::CSectionCritique;
using win32::SectionCritiqueMappingName;
using win32::SectionCritiqueSemaphoreName;

bool SemaphoreExists(DWORD pid) {
    HANDLE h = ::OpenSemaphoreA(SYNCHRONIZE, FALSE, SectionCritiqueSemaphoreName(pid).c_str());
    if (h) ::CloseHandle(h);
    return h != nullptr;
}

bool MappingExists(DWORD pid) {
    HANDLE h = ::OpenFileMappingA(FILE_MAP_READ, FALSE, SectionCritiqueMappingName(pid).c_str());
    if (h) ::CloseHandle(h);
    return h != nullptr;
}

TEST(SectionLockTest, NamesCarryTheProcessIdInDecimal) {
    EXPECT_EQ(SectionCritiqueSemaphoreName(1234), "CSectionCritiqueWTSetLocaleSem1234");
    EXPECT_EQ(SectionCritiqueMappingName(1234), "SharedMemory_SectionCritiqueWTSetLocale1234");
}

TEST(SectionLockTest, NamedObjectsExistForTheLifeOfTheObject) {
    const DWORD pid = ::GetCurrentProcessId();
    {
        CSectionCritique lock;
        EXPECT_TRUE(lock.IsShared());
        EXPECT_TRUE(lock.HoldsSemaphore());
        EXPECT_EQ(lock.CellValue(), 0);
        EXPECT_TRUE(SemaphoreExists(pid));
        EXPECT_TRUE(MappingExists(pid));

        // The semaphore admits one holder and starts free; nobody took it.
        HANDLE semaphore = ::OpenSemaphoreA(SEMAPHORE_ALL_ACCESS, FALSE, SectionCritiqueSemaphoreName(pid).c_str());
        ASSERT_NE(semaphore, nullptr);
        EXPECT_EQ(::WaitForSingleObject(semaphore, 0), static_cast<DWORD>(WAIT_OBJECT_0));
        EXPECT_EQ(::WaitForSingleObject(semaphore, 0), static_cast<DWORD>(WAIT_TIMEOUT));
        ::ReleaseSemaphore(semaphore, 1, nullptr);
        ::CloseHandle(semaphore);
    }
    EXPECT_FALSE(SemaphoreExists(pid));
    EXPECT_FALSE(MappingExists(pid));
}

TEST(SectionLockTest, SecondObjectSharesTheCellAndSetsItBackToZero) {
    CSectionCritique first;
    HANDLE mapping = ::OpenFileMappingA(FILE_MAP_WRITE, FALSE, SectionCritiqueMappingName(::GetCurrentProcessId()).c_str());
    ASSERT_NE(mapping, nullptr);
    auto* cell = static_cast<volatile LONG*>(::MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 4));
    ASSERT_NE(cell, nullptr);
    *cell = 42;
    EXPECT_EQ(first.CellValue(), 42);
    {
        CSectionCritique second;
        EXPECT_TRUE(second.IsShared());
        EXPECT_EQ(*cell, 0);
        EXPECT_EQ(first.CellValue(), 0);
    }
    // The first object still holds both objects.
    EXPECT_TRUE(SemaphoreExists(::GetCurrentProcessId()));
    ::UnmapViewOfFile(const_cast<LONG*>(cell));
    ::CloseHandle(mapping);
}

TEST(SectionLockTest, SectionThatCannotBeMadeFallsBackToAPrivateCellAndHoldsNothing) {
    const DWORD pid = ::GetCurrentProcessId();
    // An object of another kind under the section's name makes its creation fail.
    HANDLE squatter = ::CreateMutexA(nullptr, FALSE, SectionCritiqueMappingName(pid).c_str());
    ASSERT_NE(squatter, nullptr);
    {
        CSectionCritique lock;
        EXPECT_FALSE(lock.IsShared());
        EXPECT_FALSE(lock.HoldsSemaphore());
        EXPECT_EQ(lock.CellValue(), 0);
        EXPECT_FALSE(SemaphoreExists(pid));
    }
    ::CloseHandle(squatter);
}

TEST(SectionLockTest, InstallerHoldsBothObjectsWhileItRuns) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::string commandLine = "\"" + InstallerPath() + "\"";
    ASSERT_TRUE(::CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &info));
    // The installer waits in its message box; its objects exist from start-up on.
    bool seen = false;
    for (int i = 0; i < 100 && !seen; ++i) {
        seen = SemaphoreExists(info.dwProcessId) && MappingExists(info.dwProcessId);
        if (!seen) ::Sleep(100);
    }
    ::TerminateProcess(info.hProcess, 0);
    ::WaitForSingleObject(info.hProcess, 10000);
    ::CloseHandle(info.hProcess);
    ::CloseHandle(info.hThread);
    EXPECT_TRUE(seen);
    EXPECT_FALSE(SemaphoreExists(info.dwProcessId));
}

} // namespace
} // namespace hotfix::testing
