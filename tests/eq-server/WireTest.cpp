// Documents posted straight to eq-server: cursor paging, refusals, a full worker pool and
// authentication. Requests are written and answers read with the project's CML classes.
#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <memory>
#include <set>

#include "CmlDocuments.h"
#include "HttpServer.h"
#include "Processes.h"
#include "SqliteStore.h"
#include "cml/CmlClassFactory.h"
#include "cml/CmlMessage.h"
#include "cml/CmlParser.h"
#include "cml/CmlResponse.h"
#include "cml/EventQueryMessages/EventQueryMessages.h"
#include "cml/EventQueryMessages/EventQueryResponse.h"
#include "cml/EventQueryMessages/GetObservancesByAddressRequest.h"
#include "zavToolsLib/ConvertUTF.h"

namespace eqtest {
namespace {

using namespace zav::cml;
using zavToolsLib::FromUtf8;
using zavToolsLib::ToUtf8;

struct Answer {
    int status = 0;
    uint32_t code = 0;  // of the response in the document
    std::string text, startCursor, endCursor, retryAfter;
    std::vector<std::string> ids;
};

Answer Post(const std::string& url, const std::string& body) {
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterCmlMessage(GetGlobalClassFactory());
        RegisterEventQueryMessages(GetGlobalClassFactory());
    });
    httplib::Client client(url);
    Answer answer;
    const auto result = client.Post(eqsrv::kQueryPath, body, eqsrv::kContentType);
    if (!result) return answer;
    answer.status = result->status;
    answer.retryAfter = result->get_header_value("Retry-After");
    // Every answer, refusals included, is a compound message holding one response.
    auto document = DeserializeBuffer(reinterpret_cast<const unsigned char*>(result->body.data()),
                                      result->body.size());
    const auto* message = dynamic_cast<const CCmlMessage*>(document.get());
    if (message == nullptr || message->GetResponses().size() != 1) return answer;
    const CCmlResponse& response = *message->GetResponses()[0];
    answer.code = response.GetCode();
    answer.text = ToUtf8(response.GetText());
    if (const auto* r = dynamic_cast<const CEventQueryResponse*>(&response)) {
        for (const auto& item : r->GetResultItems())
            answer.ids.push_back(ToUtf8(item.GetResultId()));
        answer.startCursor = ToUtf8(r->GetStartCursor());
        answer.endCursor = ToUtf8(r->GetEndCursor());
    }
    return answer;
}

std::string ObservanceQuery(uint32_t count, const std::string& startCursor) {
    auto request = std::make_unique<CGetObservancesByAddressRequest>(L"r-1");
    request->SetStartTime(FromUtf8("2025-12-01T00:00:00Z"));
    request->SetEndTime(FromUtf8("2025-12-06T05:46:40Z"));
    request->SetStartAddress(L"10.0.2.1");
    request->SetEndAddress(L"10.0.2.8");
    request->SetAddressType(L"ipv4");
    request->SetCount(count);
    if (!startCursor.empty()) request->SetStartCursor(FromUtf8(startCursor));
    return CmlDocument(std::move(request));
}

class Wire : public ::testing::Test {
protected:
    CTempDir m_dir;
    std::string m_db = DemoDb(m_dir.Path() + "/wire.db");
};

// Following the cursors page by page gives every row of the whole answer exactly once, in
// order, also while another process adds rows between the pages (new rows may or may not be
// seen, old ones never twice and never missed).
TEST_F(Wire, CursorsReturnEveryRowExactlyOnce) {
    // Rows that share one time (target 10.0.2.5): page edges fall between them, where only the
    // id tells them apart.
    std::string tied = "INSERT INTO observances (time, source, target, type_id, name) VALUES ";
    for (int i = 0; i < 15; ++i) {
        tied += (i > 0 ? ", (" : "(") + std::to_string(kEnd - 3600) + ", 1, 167772677, 4, 't')";
    }
    eqsrv::CSqliteDb writer(m_db, false);
    writer.Exec(tied);
    CServerProcess server({"--db", m_db});
    const Answer whole = Post(server.Url(), ObservanceQuery(0, ""));
    ASSERT_EQ(whole.status, 200) << whole.text;
    ASSERT_GT(whole.ids.size(), 10u);

    // This process adds an observance after each page, up to 60 (so that paging that follows the
    // new rows comes to an end), inside the queried range and window, behind and ahead of cursors.
    int added = 0;
    for (uint32_t page : {1u, 7u, 1000u}) {
        std::vector<std::string> seen;
        std::string cursor;
        // Every page moves on: the rows there are and those the writer adds bound the pages.
        for (size_t pages = 0;; ++pages) {
            ASSERT_LE(pages, whole.ids.size() + 61) << "page size " << page << ": no end";
            const Answer a = Post(server.Url(), ObservanceQuery(page, cursor));
            ASSERT_EQ(a.status, 200) << a.text;
            ASSERT_LE(a.ids.size(), page);
            if (added < 60) {
                writer.Exec(
                    "INSERT INTO observances (time, source, target, type_id, name) VALUES (" +
                    std::to_string(kEnd - 86400 * (added % 5) - 60 * added) +
                    ", 1, 167772677, 4, 'added')");
                ++added;
            }
            if (a.ids.empty()) {
                EXPECT_EQ(a.endCursor, cursor);  // sending it again stays put
                break;
            }
            ASSERT_NE(a.startCursor, cursor);
            seen.insert(seen.end(), a.ids.begin(), a.ids.end());
            cursor = a.endCursor;
        }
        const std::set<std::string> unique(seen.begin(), seen.end());
        EXPECT_EQ(unique.size(), seen.size()) << "page size " << page << ": a row came twice";
        for (const std::string& id : whole.ids) {
            ASSERT_EQ(unique.count(id), 1u) << "page size " << page << ": row " << id << " missed";
        }
    }
    // The pages really ran while rows were being added.
    EXPECT_EQ(added, 60);
}

TEST_F(Wire, RefusalsAreCmlErrorsAndTheServerKeepsServing) {
    CServerProcess server({"--db", m_db, "--max-body", "65536", "--max-items", "5"});
    const std::string valid = ObservanceQuery(3, "");
    auto replace = [&](const std::string& from, const std::string& to) {
        std::string text = valid;
        for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
            text.replace(at, from.size(), to);
            at += to.size();
        }
        return text;
    };
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"not XML", "hello"},
        {"not CML", "<?xml version='1.0'?><a/>"},
        {"DOCTYPE", "<?xml version='1.0'?><!DOCTYPE zav [<!ENTITY e 'x'>]><zav/>"},
        {"wrong namespace", replace("/EventQueryMessages'", "/OtherMessages'")},
        {"wrong version", replace("schema-version='1.0.0' request-id='r-1'",
                                  "schema-version='9.0.0' request-id='r-1'")},
        {"unknown element", replace("get-observances-by-address-request", "get-secrets-request")},
        {"bad address range", replace("10.0.2.8", "10.0.2.400")},
        {"reversed address range", replace("10.0.2.1'", "10.0.2.99'")},
        {"bad cursor", ObservanceQuery(3, "c12;DROP")},
        {"two requests",
         [&] {
             std::string text = valid;
             const size_t start = text.find("<get-observances-by-address-request");
             const size_t end = text.find("</get-observances-by-address-request>") +
                                std::string("</get-observances-by-address-request>").size();
             return text.insert(end, text.substr(start, end - start));
         }()},
    };
    for (const auto& [what, body] : bad) {
        const Answer a = Post(server.Url(), body);
        EXPECT_EQ(a.status, 400) << what << ": " << a.text;
        EXPECT_EQ(a.code, 400u) << what << ": " << a.text;
        EXPECT_FALSE(a.text.empty()) << what;
    }
    // Over the body limit: 413, before any parsing, with a CML body too.
    const Answer large = Post(server.Url(), valid + std::string(70000, ' '));
    EXPECT_EQ(large.status, 413);
    EXPECT_EQ(large.code, 413u) << large.text;

    // --max-items caps what a client asks for; 0 asks for the server's maximum.
    const std::pair<uint32_t, size_t> caps[] = {{3, 3}, {5, 5}, {6, 5}, {0, 5}};
    for (const auto& [count, rows] : caps) {
        const Answer good = Post(server.Url(), ObservanceQuery(count, ""));
        EXPECT_EQ(good.status, 200) << good.text;
        EXPECT_EQ(good.ids.size(), rows) << "count " << count;
    }
    EXPECT_TRUE(server.Running());
}

TEST_F(Wire, AFullWorkerPoolAnswers503) {
    CServerProcess server({"--db", m_db, "--workers", "1", "--queue", "0"});
    // An answer holds its worker until the client has taken it all: a client that asks for a
    // large one (every observance) through a small window and stops reading keeps the only one.
    const CFileDescriptor holder(ConnectLoopback(server.Port(), 4096));
    ASSERT_GE(holder.Get(), 0);
    std::string body = ObservanceQuery(0, "");
    body.replace(body.find("10.0.2.1'"), 9, "10.0.1.1'");
    body.replace(body.find("2025-12-01T"), 11, "2025-11-01T");
    const std::string request = HttpPost(body, "Connection: close\r\n");
    ASSERT_EQ(write(holder.Get(), request.data(), request.size()),
              static_cast<ssize_t>(request.size()));
    char buffer[4096];
    ASSERT_GT(read(holder.Get(), buffer, 1), 0);  // the answer has started: the worker is taken

    const Answer busy = Post(server.Url(), ObservanceQuery(1, ""));
    EXPECT_EQ(busy.status, 503);
    EXPECT_EQ(busy.code, 503u);

    // Taking the rest of the answer frees the worker; a client that gets 503 comes back, as the
    // library does, and the worker takes it once the finished answer has let it go.
    while (read(holder.Get(), buffer, sizeof(buffer)) > 0) {
    }
    Answer served;
    for (int attempt = 0; attempt < 100 && served.status != 200; ++attempt) {
        served = Post(server.Url(), ObservanceQuery(1, ""));
    }
    EXPECT_EQ(served.status, 200) << served.text;
}

TEST_F(Wire, RequireAuthChecksUsersBothOnTheWireAndThroughEqQuery) {
    ASSERT_EQ(RunProcess({EQ_TEST_SERVER, "user", "add", "alice", "--db", m_db},
                         {"EQ_SERVER_PASSWORD=open sesame"})
                  .exitCode,
              0);
    CServerProcess server(
        {"--db", m_db, "--require-auth", "--allow-insecure-auth", "--auth-burst", "4"});
    EXPECT_EQ(Post(server.Url(), GroupQuery(L"", L"")).status, 401);
    // eq-query says why a query failed: no credentials, refused ones (the first refusal of four),
    // and below, the wait once the refusals have run out.
    auto eqQuery = [&](const char* password, int exitCode, const std::string& says) {
        std::vector<std::string> args = {EQ_TEST_QUERY, "vulns", "--group",  "1",
                                         "--from",      "60d",   "--server", server.Url()};
        if (password != nullptr) args.insert(args.end(), {"--user", "alice"});
        const Result r =
            RunProcess(args, {std::string("EQ_QUERY_PASSWORD=") + (password ? password : "")});
        EXPECT_EQ(r.exitCode, exitCode) << r.err;
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
    };
    eqQuery(nullptr, 1, "the server requires credentials");
    eqQuery("wrong", 1, "refused the credentials for user alice");
    const Answer good = Post(server.Url(), GroupQuery(L"alice", L"open sesame"));
    EXPECT_EQ(good.status, 200) << good.text;
    EXPECT_EQ(good.ids.size(), 2u);
    // A wrong password and an unknown user read alike; the fifth refusal in a row waits.
    for (int i = 1; i <= 4; ++i) {
        const Answer a =
            Post(server.Url(), GroupQuery(i % 2 ? L"alice" : L"mallory", L"open sesame!"));
        EXPECT_EQ(a.code, i <= 3 ? 401u : 429u) << i;
        EXPECT_EQ(a.text, i <= 3 ? "bad credentials" : "too many refused attempts") << i;
        EXPECT_EQ(std::atoi(a.retryAfter.c_str()) > 0, i > 3) << i << ": " << a.retryAfter;
    }
    EXPECT_EQ(Post(server.Url(), GroupQuery(L"alice", L"open sesame")).status, 200);

    // The password is stored salted and hashed, never as given.
    eqsrv::CSqliteDb db(m_db, false);
    eqsrv::CStatement stored(db.Handle(), "SELECT salt, hash FROM users WHERE name = 'alice'");
    ASSERT_TRUE(stored.Step());
    EXPECT_EQ(stored.Blob(1).find("open sesame"), std::string::npos);
    EXPECT_EQ(stored.Blob(0).size(), 16u);

    eqQuery("wrong", 1, "; retry after ");
    eqQuery("open sesame", 0, "");
}

}  // namespace
}  // namespace eqtest
