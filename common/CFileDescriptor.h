// An open file descriptor, closed when it goes out of scope.
#pragma once

#include <unistd.h>

// Header-only and compiled into each shared object that includes it: the library and the component
// are signed and loaded apart, so neither may need the other at run time.
namespace zavCommon {

class CFileDescriptor {
public:
    explicit CFileDescriptor(int iFd) : m_iFd(iFd) {}
    ~CFileDescriptor() {
        if (m_iFd >= 0) {
            close(m_iFd);
        }
    }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;
    int Get() const { return m_iFd; }

private:
    int m_iFd;
};

}  // namespace zavCommon
