// The settings files of a query given on the command line: written into a private folder that
// goes with the object.
#pragma once

#include <string>

#include "Options.h"

namespace eqquery {

class CPrivateSettings {
public:
    CPrivateSettings() = default;
    ~CPrivateSettings();
    CPrivateSettings(const CPrivateSettings&) = delete;
    CPrivateSettings& operator=(const CPrivateSettings&) = delete;

    bool Create(const Options& o, std::string& error);
    const std::string& Local() const { return m_local; }
    const std::string& Comm() const { return m_comm; }

private:
    static std::string AgentId();
    static bool Write(const std::string& path, const std::string& text, std::string& kept,
                      std::string& error);

    std::string m_dir, m_local, m_comm;
};

}  // namespace eqquery
