#include "cml/CmlInputSource.h"

#include "cml/CmlPlatform.h"
#include "zavToolsLib/ConvertUTF.h"

namespace zav::cml {

CCmlMemBufInputSource::CCmlMemBufInputSource(const unsigned char* bytes, std::size_t length)
    : xercesc::MemBufInputSource(bytes, length, CML_STREAM_SYSTEM_ID, false,
                                 GetXmlMemoryManager()) {
    // The caller keeps the bytes for the parse: a copy would hold the document twice.
    setCopyBufToStream(false);
}

CCmlMemBufInputSource::~CCmlMemBufInputSource() = default;

CCmlLocalFileInputSource::CCmlLocalFileInputSource(const std::wstring& path)
    : xercesc::LocalFileInputSource(zavToolsLib::ToUtf16(path).c_str(), GetXmlMemoryManager()) {}

CCmlLocalFileInputSource::~CCmlLocalFileInputSource() = default;

}  // namespace zav::cml
