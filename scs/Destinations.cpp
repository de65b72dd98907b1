#include "Destinations.h"

namespace zavscs {

std::string CDestination::Language() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_strLanguage;
}

void CDestination::SetLanguage(std::string strLanguage) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_strLanguage.swap(strLanguage);
}

}  // namespace zavscs
