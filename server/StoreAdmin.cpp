#include "StoreAdmin.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sys/stat.h>

#include <random>
#include <stdexcept>
#include <vector>

#include "StoreSql.h"

namespace eqsrv {

namespace {

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
    if (!IsPostgresUrl(path)) {
        struct stat info {};
        if (stat(path.c_str(), &info) == 0) throw std::runtime_error(path + " exists already");
    }
    auto db = CAdminDb::Open(path, true);
    db->Migrate();
    db->Begin();
    if (db->Number("SELECT count(*) FROM hosts") != 0) {
        throw std::runtime_error("the database holds hosts already");
    }
    CDemoRandom random;
    DemoCounts counts;
    const int64_t start = endTime - int64_t{30} * 86400;
    auto number = [](int64_t n) { return Value::Of(n); };
    auto text = [](std::string t) { return Value::Of(std::move(t)); };

    // Two /24 networks: servers in 10.0.1.0/24, workstations in 10.0.2.0/24.
    std::vector<uint32_t> addresses;
    {
        auto insert = db->Bulk("hosts", {"id", "address", "name"});
        for (int net = 1; net <= 2; ++net) {
            const int hosts = net == 1 ? 120 : 180;
            for (int i = 1; i <= hosts; ++i) {
                const uint32_t address =
                    (10u << 24) | (static_cast<uint32_t>(net) << 8) | static_cast<uint32_t>(i);
                addresses.push_back(address);
                insert->Add(
                    {number(static_cast<int64_t>(addresses.size())), number(address),
                     text((net == 1 ? "srv" : "ws") + std::to_string(i) + ".demo.example")});
            }
        }
        insert->Finish();
        counts.hosts = static_cast<int>(addresses.size());
    }
    {
        const char* const names[] = {"web servers", "database servers", "workstations",
                                     "domain controllers", "lab"};
        auto group = db->Bulk("host_groups", {"id", "name"});
        for (int g = 1; g <= 5; ++g) group->Add({text(std::to_string(g)), text(names[g - 1])});
        group->Finish();
        auto member = db->Bulk("memberships", {"group_id", "host_id"});
        for (int g = 1; g <= 5; ++g) {
            for (size_t h = 1; h <= addresses.size(); ++h) {
                const bool in = g == 1   ? h <= 40
                                : g == 2 ? h > 40 && h <= 70
                                : g == 3 ? h > 120
                                : g == 4 ? h > 70 && h <= 80
                                         : h % 17 == 0;
                if (in) member->Add({text(std::to_string(g)), number(static_cast<int64_t>(h))});
            }
        }
        member->Finish();
        counts.groups = 5;
    }
    {
        auto insert = db->Bulk("vulnerabilities",
                               {"id", "host_id", "identifier", "name", "severity", "port",
                                "protocol", "first_seen", "last_seen", "fixed", "fixed_time"});
        for (size_t h = 1; h <= addresses.size(); ++h) {
            const uint32_t findings = 5 + random.Next(12);
            for (uint32_t i = 0; i < findings; ++i) {
                const Finding& f = kFindings[random.Next(std::size(kFindings))];
                const int64_t first = start + random.Next(25 * 86400);
                const int64_t last = first + random.Next(static_cast<uint32_t>(endTime - first));
                const bool fixed = random.Next(4) == 0;
                ++counts.vulnerabilities;
                insert->Add({number(counts.vulnerabilities), number(static_cast<int64_t>(h)),
                             text(f.identifier), text(f.name), number(f.severity),
                             f.port != 0 ? number(f.port) : Value{}, text(f.protocol),
                             number(first), number(last), number(fixed ? 1 : 0),
                             fixed ? number(last) : Value{}});
            }
        }
        insert->Finish();
    }
    {
        auto insert = db->Bulk("observances", {"id", "time", "source", "target", "sensor",
                                               "type_id", "name", "count", "severity"});
        const uint32_t outside = (192u << 24) | (0u << 16) | (2u << 8);  // 192.0.2.0/24
        const uint32_t sensors[] = {(10u << 24) | (1u << 8) | 250u, (10u << 24) | (2u << 8) | 250u};
        for (int i = 0; i < 30000; ++i) {
            const ObservanceType& t = kTypes[random.Next(std::size(kTypes))];
            const uint32_t target = addresses[random.Next(static_cast<uint32_t>(addresses.size()))];
            const uint32_t source =
                random.Next(3) == 0
                    ? addresses[random.Next(static_cast<uint32_t>(addresses.size()))]
                    : outside + 1 + random.Next(254);
            // Arguments are evaluated in any order: draw the random values first.
            const int64_t time = start + random.Next(30 * 86400);
            const int64_t count = 1 + random.Next(20);
            ++counts.observances;
            insert->Add({number(counts.observances), number(time), number(source), number(target),
                         number(sensors[(target >> 8) & 1 ? 0 : 1]), number(t.id), text(t.name),
                         number(count), number(t.severity)});
        }
        insert->Finish();
    }
    if (db->Postgres()) {
        // The ids were given: later imports continue after them.
        for (const char* table : {"hosts", "vulnerabilities", "observances"}) {
            db->Exec(std::string("SELECT setval(pg_get_serial_sequence('") + table +
                     "', 'id'), (SELECT max(id) FROM " + table + "))");
        }
    }
    db->Exec("COMMIT");
    db->Exec("ANALYZE");
    return counts;
}

void SetUserPassword(const std::string& path, const std::string& name,
                     const std::string& password) {
    auto db = CAdminDb::Open(path, false);
    db->Migrate();
    std::string salt(16, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(salt.data()), static_cast<int>(salt.size())) !=
        1) {
        throw std::runtime_error("no random bytes for the salt");
    }
    db->SetUser(name, salt, kPasswordIterations, PasswordHash(password, salt, kPasswordIterations));
}

std::string PasswordHash(const std::string& password, const std::string& salt, int iterations) {
    std::string hash(32, '\0');
    if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                          reinterpret_cast<const unsigned char*>(salt.data()),
                          static_cast<int>(salt.size()), iterations, EVP_sha256(),
                          static_cast<int>(hash.size()),
                          reinterpret_cast<unsigned char*>(hash.data())) != 1) {
        throw std::runtime_error("PBKDF2 failed");
    }
    return hash;
}

}  // namespace eqsrv
