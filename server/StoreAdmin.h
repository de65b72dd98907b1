// What eq-server writes into its SQLite file besides answering queries: the demo data set and
// the users of --require-auth.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "SqliteStore.h"

namespace eqsrv {

struct DemoCounts {
    int hosts = 0;
    int groups = 0;
    int vulnerabilities = 0;
    int observances = 0;
};

// A fresh file (an existing one is refused) with the same rows for the same end time: two /24
// networks, five groups, vulnerabilities and observances over the 30 days before endTime.
DemoCounts WriteDemoData(const std::string& path, int64_t endTime);

// Sets the password of a user (created when missing): salted PBKDF2-HMAC-SHA256.
void SetUserPassword(const std::string& path, const std::string& name, const std::string& password);

class CUserCheck {
public:
    explicit CUserCheck(const std::string& path);
    bool operator()(const std::string& name, const std::string& password);

private:
    std::mutex m_mutex;
    CSqliteDb m_db;
};

}  // namespace eqsrv
