#include "cml/AgentInfo.h"

#include "cml/CmlDOM.h"
#include "cml/CmlTestSupport.h"
#include "zavToolsLib/CZavCodecvt.h"
#include "zavToolsLib/ConvertUTF.h"

namespace zav::cml {
namespace {

const std::wstring kAgents = std::wstring(NAMESPACE_BASE) + L"/agents";

CAgentInfo Agent(const std::wstring& name, const std::wstring& ip, const std::wstring& host,
                 const std::wstring& id, const std::wstring& ns = kAgents) {
    return CAgentInfo(ns, name, ip, host, id, L"token", L"hash");
}

// The element as written to a narrow UTF-8 stream; the wide form must write the same.
std::string Written(const CAgentInfo& agent, uint32_t level = 0) {
    std::ostringstream narrow;
    zavToolsLib::CZavLocaleScope utf8(narrow);
    agent.SerializeElement(narrow, level);
    std::wostringstream wide;
    agent.SerializeElement(wide, level);
    EXPECT_EQ(zavToolsLib::ToUtf8(wide.str()), narrow.str());
    return narrow.str();
}

TEST(AgentInfoTest, MatchesAndOrdering) {
    const CAgentInfo agent = Agent(L"probe", L"10.0.0.1", L"h1", L"id-1");
    EXPECT_TRUE(agent.Matches(Agent(L"", L"", L"", L"")));  // namespace only
    EXPECT_TRUE(agent.Matches(Agent(L"probe", L"", L"h1", L"")));
    EXPECT_FALSE(agent.Matches(Agent(L"", L"", L"", L"id-2")));
    EXPECT_FALSE(agent.Matches(Agent(L"probe", L"", L"", L"", kAgents + L"/other")));
    // The pattern is the argument: a full agent does not match an agent with empty fields.
    EXPECT_FALSE(Agent(L"", L"", L"", L"").Matches(agent));

    // Token, hash and groups take no part in the ordering.
    CAgentInfo same = Agent(L"probe", L"10.0.0.1", L"h1", L"id-1");
    same.SetAuthToken(L"other");
    same.AddAgentGroup(L"g");
    EXPECT_FALSE(agent.IsLess(same));
    EXPECT_FALSE(same.IsLess(agent));
    // Fields compare in order, and a prefix is smaller.
    EXPECT_TRUE(Agent(L"z", L"", L"", L"", L"a").IsLess(Agent(L"a", L"", L"", L"", L"b")));
    EXPECT_TRUE(Agent(L"probe", L"10", L"", L"").IsLess(Agent(L"probe", L"10.0", L"", L"")));
    EXPECT_TRUE(Agent(L"p", L"1", L"h", L"a").IsLess(Agent(L"p", L"1", L"h", L"b")));
}

TEST(AgentInfoTest, GroupsAndWriting) {
    CAgentInfo agent;
    agent.SetElementName(L"source");
    agent.SetNamespace(L"urn:a&b");
    EXPECT_EQ("<source namespace='urn:a&b'/>\n", Written(agent));

    agent.SetIPAddress(L"fe80::1%eth0&x");
    agent.SetHostName(L"o'brien");
    agent.SetName(L"caf\u00e9 <\U0001F600>");
    for (const wchar_t* group : {L"ba", L"b", L"a", L"b"}) agent.AddAgentGroup(group);
    EXPECT_TRUE(agent.IsMemberOfGroup(L"a"));
    EXPECT_FALSE(agent.HasAgentGroup(L"c"));
    EXPECT_EQ(
        "    <source name='caf\xC3\xA9 &lt;\xF0\x9F\x98\x80&gt;' namespace='urn:a&b' "
        "ip-address='fe80::1%eth0&x' host-name='o&apos;brien'>\n"
        "        <agent-group name='a'/>\n"
        "        <agent-group name='b'/>\n"
        "        <agent-group name='ba'/>\n"
        "    </source>\n",
        Written(agent, 1));
}

// Writes the agent inside a wrapper whose default namespace is wrapperNs and reads it back.
CAgentInfo RoundTrip(const CAgentInfo& agent, const std::wstring& wrapperNs, CAgentInfo read) {
    std::ostringstream os;
    {
        zavToolsLib::CZavLocaleScope utf8(os);
        os << "<wrap xmlns='" << zavToolsLib::ToUtf8(wrapperNs) << "'>\n";
        agent.SerializeElement(os, 1);
        os << "</wrap>\n";
    }
    const std::string xml = os.str();
    CCmlParser parser;
    test::Parse(parser, xml, CML_DONT_VALIDATE);
    const CCmlDOM_NodeList agents = parser.GetDocumentElement().getElementsByTagName(L"peer");
    CCmlDOM_Element element;
    element.SetDOMElement(agents.item(0).GetDOMNode());
    read.Deserialize(element);
    return read;
}

TEST(AgentInfoTest, ReadsWhatItWrites) {
    CAgentInfo agent(kAgents, L"\u4e2d 'n' \"q\"\n", L"10.0.0.1", L"h&1", L"id<1>", L"t", L"h");
    agent.SetElementName(L"peer");
    agent.AddAgentGroup(L"g2");
    agent.AddAgentGroup(L"g1");
    CAgentInfo stale;
    stale.AddAgentGroup(L"stale");
    stale.SetAuthHash(L"stale");

    // Groups count only in the Property namespace; reading always drops the earlier ones.
    EXPECT_EQ(Written(agent), Written(RoundTrip(agent, CML_NS_DOC_PROPERTY, stale)));
    const CAgentInfo elsewhere = RoundTrip(agent, CML_NS_MESSAGE, stale);
    EXPECT_EQ(0u, elsewhere.GetAgentGroupCount());
    EXPECT_EQ(agent.GetName(), elsewhere.GetName());

    // Absent attributes read as empty texts.
    CAgentInfo bare;
    bare.SetElementName(L"peer");
    EXPECT_EQ(L"", RoundTrip(bare, CML_NS_MESSAGE, stale).GetAuthHash());
}

}  // namespace
}  // namespace zav::cml
