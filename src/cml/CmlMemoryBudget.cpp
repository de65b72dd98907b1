#include "cml/CmlMemoryBudget.h"

#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include <new>

namespace zav::cml {

// Links the block into the list and keeps its size.
struct CCmlMemoryBudget::SBlock {
    SBlock* pPrevious;
    SBlock* pNext;
    std::size_t uSize;
};

namespace {

// The header, padded so that the caller's part is aligned for any type.
constexpr std::size_t kAlign = alignof(std::max_align_t);
constexpr std::size_t kHeader = (sizeof(CCmlMemoryBudget::SBlock) + kAlign - 1) / kAlign * kAlign;
// What a block really takes: the request, the header and the allocator's own bookkeeping. The
// parser makes many small blocks (names, attributes), where the overhead is most of the cost.
constexpr std::size_t Cost(std::size_t size) { return size + kHeader + 16; }

}  // namespace

CCmlMemoryBudget::~CCmlMemoryBudget() {
    while (m_pBlocks != nullptr) {
        SBlock* const next = m_pBlocks->pNext;
        ::operator delete(m_pBlocks);
        m_pBlocks = next;
    }
}

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
    auto* block = static_cast<SBlock*>(::operator new(size + kHeader, std::nothrow));
    if (block == nullptr) throw xercesc::OutOfMemoryException();
    block->pPrevious = nullptr;
    block->pNext = m_pBlocks;
    block->uSize = size;
    if (m_pBlocks != nullptr) m_pBlocks->pPrevious = block;
    m_pBlocks = block;
    m_uHeld += Cost(size);
    return reinterpret_cast<char*>(block) + kHeader;
}

void CCmlMemoryBudget::deallocate(void* p) {
    if (p == nullptr) return;
    auto* block = reinterpret_cast<SBlock*>(static_cast<char*>(p) - kHeader);
    if (block->pPrevious != nullptr) {
        block->pPrevious->pNext = block->pNext;
    } else {
        m_pBlocks = block->pNext;
    }
    if (block->pNext != nullptr) block->pNext->pPrevious = block->pPrevious;
    m_uHeld -= Cost(block->uSize);
    // A parser used again frees what it held before the budget started: the budget then counts
    // from what is left, never below nothing.
    if (m_uHeld < m_uBase) m_uBase = m_uHeld;
    ::operator delete(block);
}

}  // namespace zav::cml
