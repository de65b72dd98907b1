#include "security/zavTrustedKeys.h"

#include <algorithm>
#include <mutex>

#include "zavToolsLib/zavStatus.h"

namespace zavSecurity {

namespace {

std::mutex g_keysMutex;

std::vector<CPublicKey>& AddedKeys() {
    static std::vector<CPublicKey> keys;
    return keys;
}

}  // namespace

std::vector<CPublicKey> GetTrustedKeys() {
    std::vector<CPublicKey> keys;
    keys.reserve(g_zavBuiltInKeyCount);
    for (size_t i = 0; i < g_zavBuiltInKeyCount; ++i) {
        CPublicKey key;
        std::copy(g_zavBuiltInKeys[i], g_zavBuiltInKeys[i] + ZAV_PUBLIC_KEY_SIZE, key.begin());
        keys.push_back(key);
    }
    std::lock_guard<std::mutex> guard(g_keysMutex);
    keys.insert(keys.end(), AddedKeys().begin(), AddedKeys().end());
    return keys;
}

uint32_t AddTrustedKey(const uint8_t* key, size_t size) {
    if (key == nullptr || size != ZAV_PUBLIC_KEY_SIZE) {
        return zavToolsLib::ZAV_E_INVALID_ARG;
    }
    CPublicKey copy;
    std::copy(key, key + size, copy.begin());
    std::lock_guard<std::mutex> guard(g_keysMutex);
    AddedKeys().push_back(copy);
    return 0;
}

void ClearAddedTrustedKeys() {
    std::lock_guard<std::mutex> guard(g_keysMutex);
    AddedKeys().clear();
}

}  // namespace zavSecurity
