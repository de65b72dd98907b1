// Shared pieces of the event query vocabulary tests: compound messages around one request or
// response, writing them, reading them back through the parser and the class factory.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cml/CmlClassFactory.h"
#include "cml/CmlException.h"
#include "cml/CmlMessage.h"
#include "cml/CmlParser.h"
#include "cml/EventQueryMessages/GetObservancesByAddressRequest.h"
#include "cml/EventQueryMessages/GetObservancesByGroupRequest.h"
#include "cml/EventQueryMessages/GetObservancesResponse.h"
#include "cml/EventQueryMessages/GetVulnerabilitiesByAddressRequest.h"
#include "cml/EventQueryMessages/GetVulnerabilitiesByGroupRequest.h"
#include "cml/EventQueryMessages/GetVulnerabilitiesResponse.h"
#include "zavToolsLib/ConvertUTF.h"

namespace zav::cml::test {

inline const std::wstring NS = CML_NS_EVENT_QUERY_MESSAGES;
inline const char NS8[] = "http://schemas.zav.example.org/cml/Message/EventQueryMessages";
inline const wchar_t MESSAGE_ID[] = L"0f8fad5b-d9cb-469f-a165-70867728950e";
inline const wchar_t REQUEST_ID[] = L"7c9e6679-7425-40de-944b-e07fc1f90ae7";
// Everything a writer must escape or carry through unchanged: quote, ampersand, angle brackets,
// a line feed and characters outside ASCII (two bytes, three bytes and four bytes in UTF-8).
inline const std::wstring TRICKY = L"it's <a> & \"b\"\ncaf\u00e9 \u4e2d\U0001F600";

class EventQueryTest : public ::testing::Test {
protected:
    // The client registers the compound message itself; the vocabulary registers at load time.
    static void SetUpTestSuite() { RegisterCmlMessage(GetGlobalClassFactory()); }

    static CCmlMessage Message() {
        CAgentInfo source(std::wstring(NAMESPACE_BASE) + L"/agents", L"probe", L"10.1.2.3",
                          L"host-1", L"6ba7b810-9dad-11d1-80b4-00c04fd430c8", L"", L"");
        return CCmlMessage(source, MESSAGE_ID);
    }

    static CCmlMessage WithRequest(const CCmlRequest& request) {
        CCmlMessage message = Message();
        message.AddRequestCopy(request);
        return message;
    }
    static CCmlMessage WithResponse(const CCmlResponse& response) {
        CCmlMessage message = Message();
        message.AddResponseCopy(response);
        return message;
    }

    static std::string Narrow(const CCmlDocumentBase& doc) {
        std::ostringstream os;
        doc.Serialize(os);
        return os.str();
    }

    static std::unique_ptr<CCmlMessage> Read(const std::string& xml,
                                             uint32_t mode = CML_DONT_VALIDATE,
                                             const NamespaceSet* namespaces = nullptr,
                                             const std::wstring& folder = std::wstring()) {
        std::unique_ptr<CCmlDocumentBase> doc =
            DeserializeBuffer(reinterpret_cast<const unsigned char*>(xml.data()), xml.size(), mode,
                              namespaces, folder);
        auto* message = dynamic_cast<CCmlMessage*>(doc.get());
        if (message != nullptr) doc.release();
        return std::unique_ptr<CCmlMessage>(message);
    }

    // The only request (or response) of a message read from xml, as class T.
    template <class T>
    static std::unique_ptr<T> ReadRequest(const std::string& xml) {
        std::unique_ptr<CCmlMessage> message = Read(xml);
        if (!message || message->GetRequests().size() != 1) return nullptr;
        return std::unique_ptr<T>(dynamic_cast<T*>(message->GetRequests()[0]->Clone()));
    }
    template <class T>
    static std::unique_ptr<T> ReadResponse(const std::string& xml) {
        std::unique_ptr<CCmlMessage> message = Read(xml);
        if (!message || message->GetResponses().size() != 1) return nullptr;
        return std::unique_ptr<T>(dynamic_cast<T*>(message->GetResponses()[0]->Clone()));
    }

    // A compound document whose message body holds body (request or response blocks), for
    // documents written by hand.
    static std::string Document(const std::string& body) {
        return "<zav xmlns='http://schemas.zav.example.org' schema-version='1.0.1'>"
               "<cml xmlns='http://schemas.zav.example.org/cml/Message' schema-version='1.0.0'>"
               "<message-envelope broadcast='false' message-id='m'><source name='s'/>"
               "<message-body>" +
               body + "</message-body></message-envelope></cml></zav>";
    }
    // One element of the vocabulary with the given attributes and children, in a request block.
    static std::string RequestDocument(const std::string& tag, const std::string& attributes,
                                       const std::string& children) {
        return Document("<request><" + tag + " xmlns='" + NS8 +
                        "' schema-version='1.0.0' request-id='r' " + attributes + ">" + children +
                        "</" + tag + "></request>");
    }
    static std::string ResponseDocument(const std::string& tag, const std::string& children) {
        return Document("<response><" + tag + " xmlns='" + NS8 +
                        "' schema-version='1.0.0' request-id='r'>" + children + "</" + tag +
                        "></response>");
    }

    // The element as the wide writer writes it, for comparing whole objects.
    static std::wstring Element(const CCmlDocumentBase& doc) {
        std::wostringstream os;
        doc.SerializeElement(os, 0);
        return os.str();
    }
};

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

template <class F>
void ExpectCmlError(F&& f, const std::wstring& context, const std::wstring& message,
                    uint32_t code) {
    try {
        f();
        ADD_FAILURE() << "no exception";
    } catch (const CCmlException& e) {
        EXPECT_EQ(context, e.GetContext());
        EXPECT_EQ(message, e.GetMessage());
        EXPECT_EQ(code, e.GetCode());
    }
}

}  // namespace zav::cml::test
