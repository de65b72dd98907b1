// The memory manager of one parser: every allocation the parser library makes for a document
// (scanner buffers, attribute lists, the tree itself) is counted, and a parse that would go over
// its budget fails with the library's out-of-memory exception before the memory is taken. The
// parser library does not free everything it holds when an allocation fails, so the manager
// keeps a list of its blocks and frees what is left when it goes. It must outlive the parser and
// every document it built.
#pragma once

#include <xercesc/framework/MemoryManager.hpp>

#include <cstddef>

namespace zav::cml {

class CCmlMemoryBudget : public xercesc::MemoryManager {
public:
    CCmlMemoryBudget() = default;
    ~CCmlMemoryBudget() override;
    CCmlMemoryBudget(const CCmlMemoryBudget&) = delete;
    CCmlMemoryBudget& operator=(const CCmlMemoryBudget&) = delete;

    // From now on at most bytes more may be held (0: no bound).
    void StartBudget(std::size_t bytes);
    // The total that first went over the budget, or 0.
    std::size_t GetRefusedTotal() const { return m_uRefusedTotal; }
    bool IsOverBudget() const { return m_uRefusedTotal != 0; }

    struct SBlock;  // the header in front of each block
    // Allows bytes more (when there is a budget at all).
    void ExtendBudget(std::size_t bytes) {
        if (m_uBudget != 0) m_uBudget += bytes;
    }
    // Counts bytes held outside the parser (what is read from its tree) against the same budget;
    // false once the total is over it. Charges are never given back.
    bool Charge(std::size_t bytes) {
        m_uHeld += bytes;
        return m_uBudget == 0 || m_uHeld - m_uBase <= m_uBudget;
    }
    // Counts bytes only when they fit: for room that is merely useful.
    bool TryCharge(std::size_t bytes) {
        if (m_uBudget != 0 && m_uHeld - m_uBase + bytes > m_uBudget) return false;
        m_uHeld += bytes;
        return true;
    }
    // Bytes counted since the budget started.
    std::size_t GetUsed() const { return m_uHeld - m_uBase; }

    xercesc::MemoryManager* getExceptionMemoryManager() override;
    void* allocate(XMLSize_t size) override;
    void deallocate(void* p) override;

private:
    SBlock* m_pBlocks = nullptr;  // every block not yet given back, newest first
    std::size_t m_uHeld = 0;
    std::size_t m_uBase = 0;
    std::size_t m_uBudget = 0;
    std::size_t m_uRefusedTotal = 0;
};

}  // namespace zav::cml
