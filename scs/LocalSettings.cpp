#include "LocalSettings.h"

namespace zavscs {

uint32_t CLocalSettings::LoadFile(const std::string& strFile, std::string& strError) {
    m_strFile = strFile;
    return m_ini.ParseFile(strFile, strError);
}

}  // namespace zavscs
