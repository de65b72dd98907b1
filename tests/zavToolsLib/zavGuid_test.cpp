#include "zavToolsLib/zavGuid.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <future>
#include <regex>
#include <set>
#include <string>
#include <vector>

using zavToolsLib::CZAVUXGuid;

namespace {

std::string NewId() {
    CZAVUXGuid guid;
    EXPECT_EQ(0u, guid.Generate());
    return guid.GetText();
}

// The 60-bit time of an id, from its first three groups.
uint64_t Stamp(const std::string& id) {
    return std::stoull(id.substr(16, 2) + id.substr(9, 4) + id.substr(0, 8), nullptr, 16);
}

}  // namespace

TEST(zavGuid, IdsFromManyThreadsAreUniqueAndWellFormed) {
    constexpr int kThreads = 8, kPerThread = 1250;
    std::vector<std::future<std::pair<std::string, std::vector<std::string>>>> results;
    for (int t = 0; t < kThreads; ++t) {
        results.push_back(std::async(std::launch::async, [] {
            char group[8];  // the low 16 bits of the thread's id
            snprintf(group, sizeof group, "%04lx", pthread_self() & 0xFFFF);
            std::vector<std::string> ids;
            for (int i = 0; i < kPerThread; ++i) ids.push_back(NewId());
            return std::make_pair(std::string(group), ids);
        }));
    }
    std::set<std::string> unique, nodes;
    for (auto& r : results) {
        const auto [group, ids] = r.get();
        const std::regex shape("[0-9a-f]{8}-[0-9a-f]{4}-10[0-9a-f]{2}-0001-" + group + "(.{8})");
        for (const auto& id : ids) {
            std::smatch m;
            ASSERT_TRUE(std::regex_match(id, m, shape)) << id;
            nodes.insert(m[1]);
            unique.insert(id);
        }
    }
    EXPECT_EQ(size_t(kThreads * kPerThread), unique.size());
    EXPECT_EQ(1u, nodes.size()) << "the node is drawn once per process";

    // The fourth group counts the generations of one object.
    CZAVUXGuid guid;
    for (const char* count : {"-0001-", "-0002-", "-0003-"}) {
        ASSERT_EQ(0u, guid.Generate());
        EXPECT_EQ(count, std::string(guid.GetText()).substr(18, 6));
    }
}

// The first three groups hold the low 56 bits of the 100-nanosecond count since 1582.
TEST(zavGuid, TimeGroupsFollowTheClock) {
    auto count = [](const timeval& t) {
        return (uint64_t(t.tv_sec) * 10000000 + t.tv_usec * 10 + 0x01B21DD213814000) &
               0xFFFFFFFFFFFFFF;
    };
    timeval before{}, after{};
    gettimeofday(&before, nullptr);
    const std::string id = NewId();
    gettimeofday(&after, nullptr);
    EXPECT_GE(Stamp(id), count(before)) << id;
    EXPECT_LE(Stamp(id), count(after) + 2000) << id;  // plus at most the adjustment
}

// One thread, a scripted clock (microseconds of a fixed second): one tick at T, ten a microsecond
// earlier (each bumped one past the last), then T + 1, whose sum lands exactly on the last bump,
// and more at T + 1 while the adjustment wraps. Every id must still come later than the one before.
TEST(zavGuid, ScriptedClockNeverRepeatsATimestamp) {
    static std::vector<long> script;
    static size_t next = 0;
    constexpr long kT = 500000;
    script.assign(1, kT);
    script.insert(script.end(), 10, kT - 1);
    script.insert(script.end(), 1200, kT + 1);
    next = 0;
    struct RealClockAfterwards {
        ~RealClockAfterwards() { CZAVUXGuid::SetClockForTest(nullptr); }
    } restore;
    CZAVUXGuid::SetClockForTest([](long& sec, long& usec) {
        sec = 1000000000;
        usec = script[std::min(next++, script.size() - 1)];
    });
    uint64_t previous = 0;
    uint32_t adjustment = 0, wraps = 0;
    for (size_t i = 0; i < script.size(); ++i) {
        const std::string id = NewId();
        ASSERT_GT(Stamp(id), previous) << "call " << i << ": " << id;
        previous = Stamp(id);
        // At T + 1 the adjustment counts up and starts again after a thousand.
        const uint32_t now = CZAVUXGuid::GetAdjustmentForTest();
        if (i > 11) {
            ASSERT_EQ((adjustment + 1) % 1000, now) << i;
            wraps += now == 0;
        }
        adjustment = now;
    }
    EXPECT_EQ(1u, wraps);
}

// What the device does not deliver comes from rand_r seeded with the time: a missing device, an
// empty one (every read fails), one that runs dry after three bytes.
TEST(zavGuid, RandomBytesFallBackToTimeSeededGenerator) {
    struct Probe : CZAVUXGuid {
        using CZAVUXGuid::GetRandomBytes;
    };
    const std::string three = testing::TempDir() + "zav_guid_three";
    std::ofstream(three) << "abc";
    const char* missing = "/no/such/device";
    auto fromTime = [](time_t t, std::string s) {
        for (auto seed = static_cast<unsigned>(t); s.size() < 8;) s += char(rand_r(&seed) & 0xFF);
        return s;
    };
    for (const auto& [primary, fallback, prefix] : {std::tuple(missing, missing, ""),
                                                    {"/dev/null", missing, ""},
                                                    {missing, three.c_str(), "abc"}}) {
        CZAVUXGuid::SetRandomDevicesForTest(primary, fallback);
        char bytes[8];
        const time_t before = time(nullptr);
        Probe().GetRandomBytes(reinterpret_cast<unsigned char*>(bytes), sizeof bytes);
        const std::string got(bytes, sizeof bytes);
        EXPECT_TRUE(got == fromTime(before, prefix) || got == fromTime(time(nullptr), prefix))
            << primary;
    }
    CZAVUXGuid::SetRandomDevicesForTest("/dev/urandom", "/dev/random");
    std::remove(three.c_str());
}
