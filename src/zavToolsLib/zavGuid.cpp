#include "zavToolsLib/zavGuid.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

namespace zavToolsLib {
namespace {

// 100-nanosecond intervals from 15 October 1582 to 1 January 1970.
constexpr uint64_t kGregorianOffset = 0x01B21DD213814000ull;
constexpr uint32_t kAdjustmentWrap = 1000;
constexpr int kMaxFailedReads = 18;

const char* g_pszPrimaryDevice = "/dev/urandom";
const char* g_pszFallbackDevice = "/dev/random";

// Process-wide state; the lock guards everything but the node, which is set once.
std::mutex g_lock;
long g_lLastSec = 0;
long g_lLastUsec = 0;
uint16_t g_uClockSeq = 0;  // 13 bits
uint32_t g_uAdjustment = 0;
uint64_t g_uLastTimestamp = 0;
CZAVUXGuid::TimeOfDayFn g_pfnClock = nullptr;  // null: gettimeofday
std::once_flag g_nodeOnce;
unsigned char g_node[6];

int OpenRandomDevice() {
    int fd = open(g_pszPrimaryDevice, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        fd = open(g_pszFallbackDevice, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    }
    if (fd == 0) {
        // 0 means "no device" in the object; move a device that landed on a closed stdin.
        const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 1);
        close(fd);
        fd = moved;
    }
    return fd < 0 ? 0 : fd;
}

}  // namespace

CZAVUXGuid::~CZAVUXGuid() {
    if (m_iRandomFd != 0) {
        close(m_iRandomFd);
    }
}

void CZAVUXGuid::GetRandomBytes(unsigned char* buffer, std::size_t n) {
    if (m_iRandomFd == 0) {
        m_iRandomFd = OpenRandomDevice();
    }
    std::size_t got = 0;
    if (m_iRandomFd != 0) {
        int failures = 0;
        while (got < n && failures < kMaxFailedReads) {
            const ssize_t r = read(m_iRandomFd, buffer + got, n - got);
            if (r <= 0) {
                ++failures;
            } else {
                failures = 0;
                got += static_cast<std::size_t>(r);
            }
        }
    }
    unsigned int seed = static_cast<unsigned int>(time(nullptr));
    for (; got < n; ++got) {
        buffer[got] = static_cast<unsigned char>(rand_r(&seed) & 0xFF);
    }
}

uint64_t CZAVUXGuid::GetTimestamp() {
    std::lock_guard<std::mutex> guard(g_lock);
    ++g_uAdjustment;
    timeval now{};
    if (g_pfnClock != nullptr) {
        long sec = 0, usec = 0;
        g_pfnClock(sec, usec);
        now.tv_sec = sec;
        now.tv_usec = usec;
    } else {
        gettimeofday(&now, nullptr);
    }
    if (g_lLastSec == 0 && g_lLastUsec == 0) {
        unsigned char seq[2];
        GetRandomBytes(seq, sizeof seq);
        g_uClockSeq = static_cast<uint16_t>(((seq[0] << 8) | seq[1]) & 0x1FFF);
        g_lLastSec = now.tv_sec - 1;
        g_lLastUsec = now.tv_usec;
    }
    if (now.tv_sec < g_lLastSec || (now.tv_sec == g_lLastSec && now.tv_usec < g_lLastUsec)) {
        // The clock went back: as in a version 1 UUID, a new clock sequence marks the break.
        g_uAdjustment = 0;
        g_uClockSeq = static_cast<uint16_t>((g_uClockSeq + 1) % 0x2000);
    } else if (now.tv_sec == g_lLastSec && now.tv_usec == g_lLastUsec) {
        g_uClockSeq = static_cast<uint16_t>((g_uClockSeq + 1) % 0x2000);
    } else {
        g_lLastSec = now.tv_sec;
        g_lLastUsec = now.tv_usec;
    }
    uint64_t timestamp = static_cast<uint64_t>(now.tv_sec) * 10000000u +
                         static_cast<uint64_t>(now.tv_usec) * 10u + g_uAdjustment +
                         kGregorianOffset;
    if (g_uAdjustment >= kAdjustmentWrap) {
        g_uAdjustment = 0;
    }
    // The sum repeats an earlier value when the adjustment starts again less than 100
    // microseconds after a timestamp it already produced, or when the clock steps back. The text
    // holds no clock sequence to tell such twins apart, so a timestamp never goes back.
    if (timestamp <= g_uLastTimestamp) {
        timestamp = g_uLastTimestamp + 1;
    }
    g_uLastTimestamp = timestamp;
    return timestamp;
}

uint32_t CZAVUXGuid::Generate() {
    std::memset(m_szText, 0, sizeof m_szText);
    ++m_uCount;
    // Exactly one thread fills the node, the first to get here.
    std::call_once(g_nodeOnce, [this] {
        GetRandomBytes(g_node, sizeof g_node);
        g_node[0] |= 0x80;
    });
    const uint64_t timestamp = GetTimestamp();
    const auto timeLow = static_cast<unsigned>(timestamp & 0xFFFFFFFFu);
    const auto timeMid = static_cast<unsigned>((timestamp >> 32) & 0xFFFFu);
    // Only 8 bits of the high part are kept, under the version 1 mark. The clock sequence does
    // not reach the text: the counter and thread id take its place.
    const auto timeHighAndVersion = static_cast<unsigned>(((timestamp >> 48) & 0xFFu) + 0x1000u);
    const auto threadId =
        static_cast<unsigned>(static_cast<unsigned long>(pthread_self()) & 0xFFFFu);
    const int length =
        std::snprintf(m_szText, sizeof m_szText, "%08x-%04x-%04x-%04x-%04x%02x%02x%02x%02x",
                      timeLow, timeMid, timeHighAndVersion, static_cast<unsigned>(m_uCount),
                      threadId, g_node[2], g_node[3], g_node[4], g_node[5]);
    return length == 36 ? 0 : GUID_E_BAD_LENGTH;
}

uint32_t CZAVUXGuid::GetAdjustmentForTest() {
    std::lock_guard<std::mutex> guard(g_lock);
    return g_uAdjustment;
}

void CZAVUXGuid::SetClockForTest(TimeOfDayFn clock) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_pfnClock = clock;
    g_lLastSec = g_lLastUsec = 0;
    g_uAdjustment = 0;
    g_uLastTimestamp = 0;
}

void CZAVUXGuid::SetRandomDevicesForTest(const char* primary, const char* fallback) {
    g_pszPrimaryDevice = primary;
    g_pszFallbackDevice = fallback;
}

}  // namespace zavToolsLib
