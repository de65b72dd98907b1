// Input sources of the CML parser: a memory buffer (not copied; it must outlive the parse) and a
// local file named by a wide path.
#pragma once

#include <xercesc/framework/LocalFileInputSource.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>

#include <cstddef>
#include <string>

namespace zav::cml {

// The system id of every memory-buffer source, as error messages name it.
inline constexpr char CML_STREAM_SYSTEM_ID[] = "ZAV CML Stream";

class CCmlMemBufInputSource : public xercesc::MemBufInputSource {
public:
    CCmlMemBufInputSource(const unsigned char* bytes, std::size_t length);
    ~CCmlMemBufInputSource() override;
};

class CCmlLocalFileInputSource : public xercesc::LocalFileInputSource {
public:
    // A relative path is completed against the current folder.
    explicit CCmlLocalFileInputSource(const std::wstring& path);
    ~CCmlLocalFileInputSource() override;
};

}  // namespace zav::cml
