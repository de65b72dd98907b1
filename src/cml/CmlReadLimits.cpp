#include "cml/CmlReadLimits.h"

#include <string>

#include "cml/CmlException.h"
#include "cml/CmlMemoryBudget.h"
#include "zavToolsLib/ConvertUTF.h"

namespace zav::cml {

namespace {

thread_local CCmlReadScope* t_pScope = nullptr;

constexpr wchar_t kContext[] = L"Reading document";

}  // namespace

void ThrowLimitExceeded(const char* what, uint64_t found, const char* setting, uint64_t limit) {
    const std::string message = std::string(what) + " " + std::to_string(found) +
                                " exceeds the limit " + setting + " = " + std::to_string(limit);
    throw CCmlException(kContext, zavToolsLib::FromUtf8(message), CML_E_LIMIT_EXCEEDED);
}

void CheckReadCancelled(const CCmlReadLimits& limits) {
    if (limits.pCancel != nullptr && limits.pCancel->load(std::memory_order_relaxed)) {
        throw CCmlException(kContext, L"Reading stopped: the service is shutting down",
                            CML_E_READ_CANCELLED);
    }
}

CCmlReadScope::CCmlReadScope(const CCmlReadLimits& limits) : m_limits(limits), m_pOuter(t_pScope) {
    t_pScope = this;
}

CCmlReadScope::~CCmlReadScope() { t_pScope = m_pOuter; }

CCmlReadScope* CCmlReadScope::Current() { return t_pScope; }

void CCmlReadScope::AddResultItems(std::size_t count) {
    m_uResultItems += count;
    if (m_uResultItems > m_limits.uMaxResultItems) {
        ThrowLimitExceeded("result item count", m_uResultItems, "maxResultItems",
                           m_limits.uMaxResultItems);
    }
}

void CCmlReadScope::StartReadingTree(CCmlMemoryBudget& memory) {
    memory.ExtendBudget(CML_MEMORY_ALLOWANCE - CML_MEMORY_ALLOWANCE * 3 / 4);
    m_pMemory = &memory;
}

void CCmlReadScope::AddReadMemory(std::size_t bytes) {
    if (m_pMemory != nullptr && !m_pMemory->Charge(bytes)) {
        ThrowLimitExceeded("memory", m_pMemory->GetUsed(), "memoryFactor", m_limits.uMemoryFactor);
    }
}

bool CCmlReadScope::TryAddReadMemory(std::size_t bytes) {
    return m_pMemory == nullptr || m_pMemory->TryCharge(bytes);
}

void CCmlReadScope::CheckCancel() const { CheckReadCancelled(m_limits); }

std::shared_ptr<void> CCmlReadScope::TakeEarlyResults(const void* parent) {
    if (m_earlyResults.empty()) return nullptr;
    const auto it = m_earlyResults.find(parent);
    if (it == m_earlyResults.end()) return nullptr;
    std::shared_ptr<void> results = std::move(it->second);
    m_earlyResults.erase(it);
    return results;
}

CCmlReadScope::CMessageLevel::CMessageLevel() : m_pScope(Current()) {
    if (m_pScope == nullptr) return;
    const uint32_t level = ++m_pScope->m_uMessageLevel;
    if (level > m_pScope->m_limits.uMaxMessageNesting) {
        --m_pScope->m_uMessageLevel;
        ThrowLimitExceeded("compound message nesting", level, "maxMessageNesting",
                           m_pScope->m_limits.uMaxMessageNesting);
    }
    m_pScope->CheckCancel();
}

CCmlReadScope::CMessageLevel::~CMessageLevel() {
    if (m_pScope != nullptr) --m_pScope->m_uMessageLevel;
}

}  // namespace zav::cml
