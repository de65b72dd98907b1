#include "cml/CmlEarlyRead.h"

#include <atomic>

namespace zav::cml {

namespace {
std::atomic<EarlyElementReader> g_earlyReader{nullptr};
}  // namespace

void SetEarlyElementReader(EarlyElementReader reader) {
    g_earlyReader.store(reader, std::memory_order_release);
}

EarlyElementReader GetEarlyElementReader() {
    return g_earlyReader.load(std::memory_order_acquire);
}

}  // namespace zav::cml
