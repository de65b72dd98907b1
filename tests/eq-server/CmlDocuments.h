// Requests posted straight to eq-server, written with the project's CML classes.
#pragma once

#include <memory>
#include <sstream>
#include <string>

#include "cml/CmlMessage.h"
#include "cml/EventQueryMessages/GetVulnerabilitiesByGroupRequest.h"
#include "zavToolsLib/ConvertUTF.h"

namespace eqtest {

inline std::string CmlDocument(std::unique_ptr<zav::cml::CCmlRequest> request,
                               const std::wstring& user = L"", const std::wstring& password = L"",
                               const std::wstring& agent = L"agent-7") {
    zav::cml::CCmlMessage message(
        zav::cml::CAgentInfo(L"urn:test", L"eq-test", L"127.0.0.1", L"", agent, user, password),
        L"m-1");
    message.AddRequest(std::move(request));
    std::ostringstream text;
    message.Serialize(text);
    return text.str();
}

// body as an HTTP request to the query path, with more header lines.
inline std::string HttpPost(const std::string& body, const std::string& more = "") {
    return "POST /zav/event_query_services HTTP/1.1\r\nHost: 127.0.0.1\r\n" + more +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// Two vulnerabilities of demo group 1, asked for with these credentials.
inline std::string GroupQuery(const std::wstring& user, const std::wstring& password) {
    auto request = std::make_unique<zav::cml::CGetVulnerabilitiesByGroupRequest>(L"r-2");
    request->SetStartTime(zavToolsLib::FromUtf8("2025-11-01T00:00:00Z"));
    request->SetEndTime(zavToolsLib::FromUtf8("2025-12-07T00:00:00Z"));
    request->SetGroupId(L"1");
    request->SetCount(2);
    return CmlDocument(std::move(request), user, password);
}

}  // namespace eqtest
