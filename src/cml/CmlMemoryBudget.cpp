#include "cml/CmlMemoryBudget.h"

#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include <new>

namespace zav::cml {

namespace {

// Each block starts with its size, padded to keep the caller's part aligned for any type.
constexpr std::size_t kHeader = alignof(std::max_align_t);
// What a block really takes: the request, the header and the allocator's own bookkeeping. The
// parser makes many small blocks (names, attributes), where the overhead is most of the cost.
constexpr std::size_t Cost(std::size_t size) { return size + kHeader + 16; }

}  // namespace

void CCmlMemoryBudget::StartBudget(std::size_t bytes) {
    m_uBase = m_uHeld;
    m_uBudget = bytes;
    m_uRefusedTotal = 0;
}

xercesc::MemoryManager* CCmlMemoryBudget::getExceptionMemoryManager() {
    return xercesc::XMLPlatformUtils::fgMemoryManager;
}

void* CCmlMemoryBudget::allocate(XMLSize_t size) {
    // Refused once: the parse unwinds from here, and its clean-up may still need memory.
    if (m_uBudget != 0 && m_uRefusedTotal == 0 && m_uHeld - m_uBase + Cost(size) > m_uBudget) {
        m_uRefusedTotal = m_uHeld - m_uBase + Cost(size);
        throw xercesc::OutOfMemoryException();
    }
    void* block = ::operator new(size + kHeader, std::nothrow);
    if (block == nullptr) throw xercesc::OutOfMemoryException();
    *static_cast<std::size_t*>(block) = size;
    m_uHeld += Cost(size);
    return static_cast<char*>(block) + kHeader;
}

void CCmlMemoryBudget::deallocate(void* p) {
    if (p == nullptr) return;
    char* block = static_cast<char*>(p) - kHeader;
    m_uHeld -= Cost(*reinterpret_cast<std::size_t*>(block));
    ::operator delete(block);
}

}  // namespace zav::cml
