#pragma once
// The process-wide lock object: a named semaphore admitting one holder and a named 4-byte
// shared section holding one 32-bit cell, both named after the current process id, so any
// object of this class in the same process reaches the same two kernel objects and other
// processes never meet them. The installer makes one, as its last static object, so the named
// objects exist for the life of the process; nothing waits on it or uses the cell.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "support/win32/unique_handle.h"

namespace hotfix::win32 {

// "CSectionCritiqueWTSetLocaleSem<pid>" and "SharedMemory_SectionCritiqueWTSetLocale<pid>".
std::string SectionCritiqueSemaphoreName(DWORD processId);
std::string SectionCritiqueMappingName(DWORD processId);

class CSectionCritique {
public:
    // Creates (or opens) the semaphore (count 1 of 1) and the 4-byte section backed by the
    // paging file, maps it and sets the cell to 0. When the section cannot be created or mapped,
    // the object holds no kernel object at all and its cell is a private heap block, also 0.
    CSectionCritique();
    // Frees the heap cell, or unmaps the view and closes the section; closes the semaphore.
    ~CSectionCritique() = default;

    CSectionCritique(const CSectionCritique&) = delete;
    CSectionCritique& operator=(const CSectionCritique&) = delete;

    // True when the cell lies in the shared section; false in the private fallback.
    bool IsShared() const { return m_mapping.valid(); }
    bool HoldsSemaphore() const { return m_semaphore.valid(); }
    std::int32_t CellValue() const { return *m_cell; }

private:
    void FallBackToPrivateCell();

    UniqueHandle m_semaphore;
    UniqueHandle m_mapping;
    UniqueView m_view;                            // unmapped before the section closes
    std::unique_ptr<std::int32_t> m_privateCell;  // the fallback's cell
    std::int32_t* m_cell = nullptr;               // in m_view or m_privateCell
};

} // namespace hotfix::win32
