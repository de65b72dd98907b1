// Bounds on reading one untrusted document (a server's answer): element depth, compound messages
// inside one another, attributes per element, length of one value, result items, the document's
// size and the memory its parsed form may take. Every bound is checked while the document is
// read, before any step whose cost could grow faster than the document, and crossing one raises
// CCmlException CML_E_LIMIT_EXCEEDED naming the limit and the value found. A reader may also be
// asked to stop: it then raises CML_E_READ_CANCELLED at its next check.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>

namespace zav::cml {

class CCmlMemoryBudget;

constexpr uint32_t CML_E_LIMIT_EXCEEDED = 0xC7380030u;
constexpr uint32_t CML_E_READ_CANCELLED = 0xC7380031u;

struct CCmlReadLimits {
    uint32_t uMaxResponseSize = 64u * 1024u * 1024u;  // bytes
    // Far above any nesting a reader looks into. Extension content is skipped, never built, but
    // its depth counts too.
    uint32_t uMaxElementDepth = 256;
    uint32_t uMaxMessageNesting =
        2;                           // compound messages inside one another, the outer one included
    uint32_t uMaxAttributes = 1024;  // per element
    uint32_t uMaxValueLength = 1024u * 1024u;  // characters of one attribute value or text
    uint32_t uMaxResultItems = 100000;         // result items of all responses of one document
    // A read of a document of N bytes may hold at most uMemoryFactor * N + 32 MiB: the parser's
    // tree (every allocation it makes counted, at most 24 MiB of the allowance) and the objects
    // read, each counted as it is made. Result items and pairs never enter the tree (see
    // CmlEarlyRead.h); the answer that costs most, one item of empty pairs, takes about 7.5 N.
    uint32_t uMemoryFactor = 14;
    // When set and true, reading stops at the next check.
    const std::atomic<bool>* pCancel = nullptr;
};

// Fixed allowance of the memory budget, beside the part proportional to the document: three
// quarters for the parser, the rest for what the reader makes of the tree.
constexpr std::size_t CML_MEMORY_ALLOWANCE = std::size_t{32} * 1024 * 1024;

// Raises CML_E_LIMIT_EXCEEDED: "<what> <found> exceeds the limit <setting> = <limit>".
[[noreturn]] void ThrowLimitExceeded(const char* what, uint64_t found, const char* setting,
                                     uint64_t limit);
// Raises CML_E_READ_CANCELLED when the limits' stop flag is set.
void CheckReadCancelled(const CCmlReadLimits& limits);

// The limits of a read, active on the calling thread for the life of the object, so that the
// readers of nested documents find them. Scopes nest; the innermost one counts.
class CCmlReadScope {
public:
    explicit CCmlReadScope(const CCmlReadLimits& limits);
    ~CCmlReadScope();
    CCmlReadScope(const CCmlReadScope&) = delete;
    CCmlReadScope& operator=(const CCmlReadScope&) = delete;

    // The scope of the calling thread, or null when no bounded read is in progress.
    static CCmlReadScope* Current();

    const CCmlReadLimits& GetLimits() const { return m_limits; }
    // Counts result items read so far in this scope; raises when the total crosses the limit.
    void AddResultItems(std::size_t count);
    // From now on the objects read while the tree is parsed (see CmlEarlyRead.h) are counted
    // against the parser's memory budget.
    void StartParsing(CCmlMemoryBudget& memory) { m_pMemory = &memory; }
    // From now on the objects read from the tree are counted against the parser's memory budget,
    // which gets the rest of the allowance for them.
    void StartReadingTree(CCmlMemoryBudget& memory);
    // Counts bytes held by objects read from the tree; raises when the budget is exceeded.
    void AddReadMemory(std::size_t bytes);
    // Counts them only when they fit the budget, and says whether they did.
    bool TryAddReadMemory(std::size_t bytes);
    // Raises when asked to stop.
    void CheckCancel() const;

    // What an early reader made of elements it took out of the tree, filed under the element
    // that held them; empty until the reader files something there.
    std::shared_ptr<void>& EarlyResults(const void* parent) { return m_earlyResults[parent]; }
    // Hands over (and forgets) what is filed under parent; null when nothing is.
    std::shared_ptr<void> TakeEarlyResults(const void* parent);

    // Marks one compound message being read inside the scope; raises when too deeply nested.
    class CMessageLevel {
    public:
        CMessageLevel();
        ~CMessageLevel();
        CMessageLevel(const CMessageLevel&) = delete;
        CMessageLevel& operator=(const CMessageLevel&) = delete;

    private:
        CCmlReadScope* m_pScope;
    };

private:
    CCmlReadLimits m_limits;
    CCmlReadScope* m_pOuter;
    std::size_t m_uResultItems = 0;
    CCmlMemoryBudget* m_pMemory = nullptr;
    uint32_t m_uMessageLevel = 0;
    std::unordered_map<const void*, std::shared_ptr<void>> m_earlyResults;
};

}  // namespace zav::cml
