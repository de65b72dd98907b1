#include <gtest/gtest.h>

#include <string>

#include "cml/CmlClassFactory.h"
#include "cml/CmlDOM.h"
#include "cml/CmlTestSupport.h"
#include "zavToolsLib/zavStatus.h"

namespace zav::cml {
namespace {

const std::wstring kTestNamespace = std::wstring(NAMESPACE_BASE) + L"/cml/FactoryTest";

// A registrable document that reads one attribute and counts its live instances.
class CTestDocument : public CCmlDocumentBase {
public:
    static int s_iLive;

    CTestDocument() : CCmlDocumentBase(L"test-doc", kTestNamespace, L"1.0.0") { ++s_iLive; }
    CTestDocument(const CTestDocument& other)
        : CCmlDocumentBase(other), m_strValue(other.m_strValue), m_strDoc(other.m_strDoc) {
        ++s_iLive;
    }
    ~CTestDocument() override { --s_iLive; }

    CCmlDocumentBase* Clone() const override { return new CTestDocument(*this); }
    const std::wstring& GetDocumentSchemaVersion() const override { return m_strDoc; }
    void SetDocumentSchemaVersion(const std::wstring& v) override { m_strDoc = v; }
    void Deserialize(const CCmlDOM_Element& element) override {
        SetSchemaVersion(element.getAttribute(L"schema-version"));
        m_strValue = element.getAttribute(L"value");
    }

    std::wstring m_strValue;
    std::wstring m_strDoc = L"1.0.0";
};
int CTestDocument::s_iLive = 0;

TEST(CmlSchemaVersionTest, Compare) {
    const struct {
        const wchar_t* first;
        const wchar_t* second;
        int result;
    } cases[] = {
        {L"1.0.1", L"1.0.2", 1},      {L"1.0.2", L"1.0.1", 2},
        {L"1.0.9", L"1.0.10", 1},      // numbers, not text
        {L"1.0.0x1F", L"1.0.037", 0},  // automatic base
        {L"1.0.31", L"1.0.037.9", 0},  // fourth part ignored
        {L"1.0.junk", L"1.0.0", 0},    // unreadable is 0
        {L"1.1.0", L"1.0.0", 3},      {L"2.0.0", L"1.0.0", 4},
        {L"1.0.0", L"", 4},
    };
    for (const auto& c : cases) EXPECT_EQ(c.result, CompareSchemaVersions(c.first, c.second));
}

TEST(CmlNamespaceTest, TableAndSets) {
    EXPECT_TRUE(IsKnownNamespace(std::wstring(NAMESPACE_BASE) + L"/cml/Message"));
    EXPECT_FALSE(IsKnownNamespace(CML_NS_EVENT_QUERY_MESSAGES));
    NamespaceSet set{CNamespace(L"urn:b", L"1.0.0"), CNamespace(L"urn:a", L"1.0.0"),
                     CNamespace(L"urn:b", L"2.0.0")};  // same namespace: the first entry stays
    ASSERT_EQ(set.size(), 2u);
    EXPECT_EQ(set.begin()->GetNamespace(), L"urn:a");
    EXPECT_EQ(set.rbegin()->GetSchemaVersion(), L"1.0.0");
}

TEST(CmlClassFactoryTest, VersionMatching) {
    CCmlClassFactory factory;
    const wchar_t* ns = L"urn:versions";
    CCmlDocumentClassFactory* v100 = factory.RegisterNamespace(ns, L"1.0.0");
    CCmlDocumentClassFactory* v102 = factory.RegisterNamespace(ns, L"1.0.2");
    EXPECT_EQ(factory.RegisterNamespace(ns, L"1.0.0"), v100);
    EXPECT_EQ(factory.GetDocumentClassFactory(ns, L"1.0.1", CML_LOOKUP_MATCH), v102);
    EXPECT_EQ(factory.GetDocumentClassFactory(ns, L"1.0.0", CML_LOOKUP_EXACT), v100);
    EXPECT_EQ(factory.GetDocumentClassFactory(ns, L"1.0.1", CML_LOOKUP_EXACT), nullptr);
    EXPECT_EQ(factory.GetDocumentClassFactory(ns, L"1.1.0", CML_LOOKUP_MATCH), nullptr);
    EXPECT_EQ(factory.GetDocumentClassFactory(L"urn:other", L"1.0.0", CML_LOOKUP_MATCH), nullptr);

    // Text order puts 1.0.10 before 1.0.9; the patch numbers decide.
    CCmlDocumentClassFactory* v1010 = factory.RegisterNamespace(ns, L"1.0.10");
    factory.RegisterNamespace(ns, L"1.0.9");
    EXPECT_EQ(factory.GetDocumentClassFactory(ns, L"1.0.9", CML_LOOKUP_MATCH), v1010);
    factory.DeregisterNamespace(ns, L"1.0.10", CML_LOOKUP_EXACT);
    EXPECT_NE(factory.GetDocumentClassFactory(ns, L"1.0.10", CML_LOOKUP_MATCH), v1010);

    try {
        factory.GetDocumentClassFactory(ns, nullptr, CML_LOOKUP_MATCH);
        ADD_FAILURE() << "no exception";
    } catch (const CCmlException& e) {
        EXPECT_EQ(e.GetCode(), zavToolsLib::ZAV_E_INVALID_ARG);
    }
}

TEST(CmlClassFactoryTest, RegistrationOwnsCopies) {
    const int before = CTestDocument::s_iLive;
    {
        CCmlClassFactory factory;
        CTestDocument prototype;
        EXPECT_NE(&prototype,
                  RegisterDocument(&factory, L"urn:own", L"1.0.0", L"test-doc", &prototype));
        // Registering the tag again replaces (and deletes) the first copy.
        RegisterDocument(&factory, L"urn:own", L"1.0.0", L"test-doc", &prototype);
        EXPECT_EQ(CTestDocument::s_iLive, before + 2);
    }
    EXPECT_EQ(CTestDocument::s_iLive, before);
}

TEST(CmlClassFactoryTest, DeserializeThroughGlobalFactory) {
    CTestDocument prototype;
    RegisterDocument(GetGlobalClassFactory(), kTestNamespace.c_str(), L"1.0.1", L"test-doc",
                     &prototype);
    CCmlDOM_Document doc(test::NewDocument(u"urn:unused", u"root"), true);
    const auto element = [&](const wchar_t* name, const wchar_t* version,
                             const std::wstring& ns = kTestNamespace) {
        CCmlDOM_Element el = doc.createElementNS(ns.c_str(), name);
        if (version != nullptr) el.setAttribute(L"schema-version", version);
        el.setAttribute(L"value", L"read");
        return el;
    };

    std::unique_ptr<CCmlDocumentBase> read =
        Deserialize(element(L"test-doc", L"1.0.9"), CML_LOOKUP_MATCH);
    auto* test = dynamic_cast<CTestDocument*>(read.get());
    ASSERT_NE(test, nullptr);
    EXPECT_EQ(test->m_strValue, L"read");
    EXPECT_EQ(test->GetSchemaVersion(), L"1.0.9");
    EXPECT_EQ(prototype.m_strValue, L"");  // a fresh copy, not the prototype

    EXPECT_EQ(Deserialize(element(L"test-doc", L"1.1.0"), CML_LOOKUP_MATCH), nullptr);
    EXPECT_EQ(Deserialize(element(L"test-doc", L"1.0.9"), CML_LOOKUP_EXACT), nullptr);
    EXPECT_EQ(Deserialize(element(L"test-doc", nullptr), CML_LOOKUP_MATCH), nullptr);
    EXPECT_EQ(Deserialize(element(L"p:test-doc", L"1.0.1"), CML_LOOKUP_MATCH), nullptr);
    EXPECT_EQ(Deserialize(element(L"test-doc", L"1.0.1", L"urn:elsewhere"), CML_LOOKUP_MATCH),
              nullptr);
}

}  // namespace
}  // namespace zav::cml
