#include "StoreAdmin.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sys/stat.h>

#include <random>
#include <stdexcept>
#include <vector>

namespace eqsrv {

namespace {

constexpr int kIterations = 100000;
constexpr size_t kHashSize = 32;

std::vector<unsigned char> Pbkdf2(const std::string& password, const std::string& salt,
                                  int iterations) {
    std::vector<unsigned char> hash(kHashSize);
    if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                          reinterpret_cast<const unsigned char*>(salt.data()),
                          static_cast<int>(salt.size()), iterations, EVP_sha256(),
                          static_cast<int>(hash.size()), hash.data()) != 1) {
        throw std::runtime_error("PBKDF2 failed");
    }
    return hash;
}

// A small, fixed generator: the same seed gives the same data on every platform.
class CDemoRandom {
public:
    uint32_t Next(uint32_t bound) { return static_cast<uint32_t>(m_engine() % bound); }

private:
    std::mt19937 m_engine{20261206u};
};

struct Finding {
    const char* identifier;
    const char* name;
    int severity;
    int port;
    const char* protocol;
};

const Finding kFindings[] = {
    {"CVE-2023-38408", "OpenSSH agent remote code execution", 9, 22, "tcp"},
    {"CVE-2023-44487", "HTTP/2 rapid reset", 7, 443, "tcp"},
    {"CVE-2021-44228", "Log4j JNDI lookup", 10, 8080, "tcp"},
    {"CVE-2022-0778", "OpenSSL certificate parsing loop", 7, 443, "tcp"},
    {"CVE-2023-4863", "WebP heap buffer overflow", 8, 0, ""},
    {"CVE-2020-1472", "Netlogon elevation of privilege", 10, 445, "tcp"},
    {"CVE-2019-0708", "Remote desktop pre-authentication", 9, 3389, "tcp"},
    {"CVE-2022-22965", "Spring data binding", 9, 8080, "tcp"},
    {"CVE-2023-23397", "Mail client elevation of privilege", 9, 0, ""},
    {"CVE-2021-3156", "sudo heap overflow", 7, 0, ""},
    {"CVE-2014-0160", "TLS heartbeat read overrun", 7, 443, "tcp"},
    {"CVE-2018-0171", "Smart install remote code execution", 9, 4786, "tcp"},
    {"CVE-2022-26134", "Wiki OGNL injection", 10, 8090, "tcp"},
    {"CVE-2023-34362", "File transfer SQL injection", 9, 443, "tcp"},
    {"CVE-2021-34527", "Print spooler remote code execution", 8, 445, "tcp"},
    {"CVE-2017-0144", "SMBv1 remote code execution", 8, 445, "tcp"},
    {"CVE-2023-20198", "Router web UI privilege escalation", 10, 443, "tcp"},
    {"CVE-2022-1388", "Load balancer authentication bypass", 9, 443, "tcp"},
    {"CVE-2021-26855", "Mail server request forgery", 9, 443, "tcp"},
    {"CVE-2024-3094", "Compression library backdoor", 10, 22, "tcp"},
};

struct ObservanceType {
    int id;
    const char* name;
    int severity;
};

const ObservanceType kTypes[] = {
    {1, "Port scan", 3},
    {2, "Heartbeat", 0},
    {3, "Brute-force login", 6},
    {4, "Malware download", 8},
    {5, "SQL injection attempt", 7},
    {6, "Policy violation", 2},
    {7, "Suspicious DNS query", 4},
    {8, "Sensor status", 0},
    {9, "Exploit attempt", 9},
};

}  // namespace

DemoCounts WriteDemoData(const std::string& path, int64_t endTime) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) throw std::runtime_error(path + " exists already");
    CSqliteDb db(path, true);
    CreateSchema(db);
    db.Exec("BEGIN");
    CDemoRandom random;
    DemoCounts counts;
    const int64_t start = endTime - 30 * 86400;

    // Two /24 networks: servers in 10.0.1.0/24, workstations in 10.0.2.0/24.
    std::vector<uint32_t> addresses;
    {
        CStatement insert(db.Handle(), "INSERT INTO hosts (id, address, name) VALUES (?, ?, ?)");
        for (int net = 1; net <= 2; ++net) {
            const int hosts = net == 1 ? 120 : 180;
            for (int i = 1; i <= hosts; ++i) {
                const uint32_t address =
                    (10u << 24) | (static_cast<uint32_t>(net) << 8) | static_cast<uint32_t>(i);
                addresses.push_back(address);
                insert.Bind(1, static_cast<int64_t>(addresses.size()));
                insert.Bind(2, static_cast<int64_t>(address));
                insert.Bind(3, (net == 1 ? "srv" : "ws") + std::to_string(i) + ".demo.example");
                insert.Step();
                insert.Reset();
            }
        }
        counts.hosts = static_cast<int>(addresses.size());
    }
    {
        const char* const names[] = {"web servers", "database servers", "workstations",
                                     "domain controllers", "lab"};
        CStatement group(db.Handle(), "INSERT INTO host_groups (id, name) VALUES (?, ?)");
        CStatement member(db.Handle(), "INSERT INTO memberships (group_id, host_id) VALUES (?, ?)");
        for (int g = 1; g <= 5; ++g) {
            group.Bind(1, std::to_string(g));
            group.Bind(2, std::string(names[g - 1]));
            group.Step();
            group.Reset();
            for (size_t h = 1; h <= addresses.size(); ++h) {
                const bool in = g == 1   ? h <= 40
                                : g == 2 ? h > 40 && h <= 70
                                : g == 3 ? h > 120
                                : g == 4 ? h > 70 && h <= 80
                                         : h % 17 == 0;
                if (!in) continue;
                member.Bind(1, std::to_string(g));
                member.Bind(2, static_cast<int64_t>(h));
                member.Step();
                member.Reset();
            }
        }
        counts.groups = 5;
    }
    {
        CStatement insert(db.Handle(),
                          "INSERT INTO vulnerabilities (host_id, identifier, name, severity, port, "
                          "protocol, first_seen, last_seen, fixed, fixed_time) "
                          "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        for (size_t h = 1; h <= addresses.size(); ++h) {
            const uint32_t findings = 5 + random.Next(12);
            for (uint32_t i = 0; i < findings; ++i) {
                const Finding& f = kFindings[random.Next(std::size(kFindings))];
                const int64_t first = start + random.Next(25 * 86400);
                const int64_t last = first + random.Next(static_cast<uint32_t>(endTime - first));
                const bool fixed = random.Next(4) == 0;
                insert.Bind(1, static_cast<int64_t>(h));
                insert.Bind(2, std::string(f.identifier));
                insert.Bind(3, std::string(f.name));
                insert.Bind(4, static_cast<int64_t>(f.severity));
                if (f.port != 0) insert.Bind(5, static_cast<int64_t>(f.port));
                insert.Bind(6, std::string(f.protocol));
                insert.Bind(7, first);
                insert.Bind(8, last);
                insert.Bind(9, static_cast<int64_t>(fixed ? 1 : 0));
                if (fixed) insert.Bind(10, last);
                insert.Step();
                insert.Reset();
                ++counts.vulnerabilities;
            }
        }
    }
    {
        CStatement insert(db.Handle(),
                          "INSERT INTO observances (time, source, target, sensor, type_id, name, "
                          "count, severity) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
        const uint32_t outside = (192u << 24) | (0u << 16) | (2u << 8);  // 192.0.2.0/24
        const uint32_t sensors[] = {(10u << 24) | (1u << 8) | 250u, (10u << 24) | (2u << 8) | 250u};
        for (int i = 0; i < 30000; ++i) {
            const ObservanceType& t = kTypes[random.Next(std::size(kTypes))];
            const uint32_t target = addresses[random.Next(static_cast<uint32_t>(addresses.size()))];
            const uint32_t source =
                random.Next(3) == 0
                    ? addresses[random.Next(static_cast<uint32_t>(addresses.size()))]
                    : outside + 1 + random.Next(254);
            insert.Bind(1, start + random.Next(30 * 86400));
            insert.Bind(2, static_cast<int64_t>(source));
            insert.Bind(3, static_cast<int64_t>(target));
            insert.Bind(4, static_cast<int64_t>(sensors[(target >> 8) & 1 ? 0 : 1]));
            insert.Bind(5, static_cast<int64_t>(t.id));
            insert.Bind(6, std::string(t.name));
            insert.Bind(7, static_cast<int64_t>(1 + random.Next(20)));
            insert.Bind(8, static_cast<int64_t>(t.severity));
            insert.Step();
            insert.Reset();
            ++counts.observances;
        }
    }
    db.Exec("COMMIT");
    db.Exec("ANALYZE");
    return counts;
}

void SetUserPassword(const std::string& path, const std::string& name,
                     const std::string& password) {
    CSqliteDb db(path, false);
    CreateSchema(db);
    std::string salt(16, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(salt.data()), static_cast<int>(salt.size())) !=
        1) {
        throw std::runtime_error("no random bytes for the salt");
    }
    const std::vector<unsigned char> hash = Pbkdf2(password, salt, kIterations);
    CStatement insert(db.Handle(),
                      "INSERT OR REPLACE INTO users (name, salt, iterations, hash) "
                      "VALUES (?, ?, ?, ?)");
    insert.Bind(1, name);
    insert.BindBlob(2, salt);
    insert.Bind(3, static_cast<int64_t>(kIterations));
    insert.BindBlob(4, std::string(hash.begin(), hash.end()));
    insert.Step();
}

CUserCheck::CUserCheck(const std::string& path) : m_db(path, false) {}

bool CUserCheck::operator()(const std::string& name, const std::string& password) {
    std::string salt;
    std::string stored;
    int64_t iterations = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        CStatement select(m_db.Handle(), "SELECT salt, iterations, hash FROM users WHERE name = ?");
        select.Bind(1, name);
        if (!select.Step()) return false;
        salt = select.Blob(0);
        iterations = select.Int(1);
        stored = select.Blob(2);
    }
    const std::vector<unsigned char> hash = Pbkdf2(password, salt, static_cast<int>(iterations));
    return stored.size() == hash.size() &&
           CRYPTO_memcmp(stored.data(), hash.data(), hash.size()) == 0;
}

}  // namespace eqsrv
