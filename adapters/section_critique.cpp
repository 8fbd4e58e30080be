#include "adapters/section_critique.h"

#include <cstdio>

namespace hotfix::win32 {

namespace {

std::string FormatWithProcessId(const char* format, DWORD processId) {
    char name[96];
    std::snprintf(name, sizeof(name), format, static_cast<int>(processId));
    return name;
}

} // namespace

std::string SectionCritiqueSemaphoreName(DWORD processId) {
    return FormatWithProcessId("CSectionCritiqueWTSetLocaleSem%d", processId);
}

std::string SectionCritiqueMappingName(DWORD processId) {
    return FormatWithProcessId("SharedMemory_SectionCritiqueWTSetLocale%d", processId);
}

CSectionCritique::CSectionCritique() {
    m_semaphore.reset(::CreateSemaphoreA(nullptr, 1, 1,
                                         SectionCritiqueSemaphoreName(::GetCurrentProcessId()).c_str()));
    m_mapping.reset(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4,
                                         SectionCritiqueMappingName(::GetCurrentProcessId()).c_str()));
    if (m_mapping) {
        m_view.reset(::MapViewOfFile(m_mapping.get(), FILE_MAP_WRITE, 0, 0, 0));
        m_cell = static_cast<std::int32_t*>(m_view.get());
    }
    // A section that cannot be created, or mapped, leaves no cell to share: both end in the
    // private fallback, which holds no kernel object at all.
    if (!m_cell) FallBackToPrivateCell();
    // Also when another object of this process made the section: the shared cell goes back to 0.
    *m_cell = 0;
}

void CSectionCritique::FallBackToPrivateCell() {
    m_view.reset();
    m_mapping.reset();
    m_semaphore.reset();
    m_privateCell = std::make_unique<std::int32_t>(0);
    m_cell = m_privateCell.get();
}

} // namespace hotfix::win32
