// Time-based identifiers for messages and requests: 36 lower-case characters laid out as
// "%08x-%04x-%04x-%04x-%04x%02x%02x%02x%02x" - time low, time mid, time high with version 1,
// the generating object's counter, the low 16 bits of the calling thread's POSIX id and four
// bytes of the process's node.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zavToolsLib {

// An identifier generator. Generate fills the text buffer that GetText returns.
class CZAVGuid {
public:
    // Generate's result when the text did not come out 36 characters long.
    static constexpr uint32_t GUID_E_BAD_LENGTH = 0xFFFFFFFBu;

    CZAVGuid() = default;
    CZAVGuid(const CZAVGuid&) = delete;
    CZAVGuid& operator=(const CZAVGuid&) = delete;
    virtual ~CZAVGuid() = default;

    virtual uint32_t Generate() = 0;

    // The last identifier, NUL-terminated; empty before the first Generate.
    const char* GetText() const { return m_szText; }

protected:
    char m_szText[40] = {};
};

// The generator of this platform. Timestamps come from the time of day plus a process-wide
// adjustment that grows with every generation and starts again after 1000; they never repeat
// within the process. The clock sequence and the node are drawn from the random device once per
// process. Objects are not shared between threads; generation is safe from any number of threads.
class CZAVUXGuid : public CZAVGuid {
public:
    CZAVUXGuid() = default;
    ~CZAVUXGuid() override;

    uint32_t Generate() override;

    // Test access to the process-wide adjustment.
    static uint32_t GetAdjustmentForTest();
    // Replaces the time of day (null restores it) and forgets the process-wide timestamp state,
    // so a test can script equal, earlier and wrapping timestamps from a known start.
    using TimeOfDayFn = void (*)(long& sec, long& usec);
    static void SetClockForTest(TimeOfDayFn clock);
    // Test access to the random devices (defaults "/dev/urandom" and "/dev/random"); affects
    // objects that have not opened a device yet.
    static void SetRandomDevicesForTest(const char* primary, const char* fallback);

protected:
    // n random bytes from the object's random device; what the device does not deliver comes
    // from rand_r seeded with the current time.
    void GetRandomBytes(unsigned char* buffer, std::size_t n);

private:
    uint64_t GetTimestamp();

    int m_iRandomFd = 0;  // 0 while no device is open
    uint16_t m_uCount = 0;
};

}  // namespace zavToolsLib
