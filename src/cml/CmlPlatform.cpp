#include "cml/CmlPlatform.h"

#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>

#include "cml/CmlException.h"
#include "zavToolsLib/ConvertUTF.h"
#include "zavToolsLib/zavStatus.h"

namespace zav::cml {

namespace {

// One reference on the platform for the life of the process. Built on first use, so a parser used
// from another file's load-time object still finds the platform ready; never terminated, because
// a dispatch thread abandoned at shutdown may still be parsing while the process exits.
class CXmlPlatform {
public:
    CXmlPlatform() {
        try {
            xercesc::XMLPlatformUtils::Initialize();
        } catch (const xercesc::XMLException& e) {
            throw CCmlException(L"Initializing XML platform",
                                zavToolsLib::FromUtf16(e.getMessage()),
                                zavToolsLib::ZAV_E_EXCEPTION);
        }
    }
    CXmlPlatform(const CXmlPlatform&) = delete;
    CXmlPlatform& operator=(const CXmlPlatform&) = delete;
};

// Load time: nothing may escape a static initialiser; a failure here is raised again by the
// first parser that needs the platform.
struct CLoadTimeInit {
    CLoadTimeInit() noexcept {
        try {
            EnsureXmlPlatform();
        } catch (...) {
        }
    }
};
const CLoadTimeInit g_loadTimeInit;

}  // namespace

// No destructor: nothing is torn down at exit.
void EnsureXmlPlatform() { static const CXmlPlatform platform; }

xercesc::MemoryManager* GetXmlMemoryManager() {
    EnsureXmlPlatform();
    return xercesc::XMLPlatformUtils::fgMemoryManager;
}

}  // namespace zav::cml
