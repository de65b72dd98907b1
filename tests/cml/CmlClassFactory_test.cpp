#include "cml/CmlClassFactory.h"
#include "cml/CmlDOM.h"
#include "cml/CmlTestSupport.h"

namespace zav::cml {
namespace {

const std::wstring kTestNamespace = std::wstring(NAMESPACE_BASE) + L"/cml/FactoryTest";

// A registrable document that reads one attribute.
class CTestDocument : public CCmlDocumentBase {
public:
    CTestDocument() : CCmlDocumentBase(L"test-doc", kTestNamespace, L"1.0.0") {}

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

    EXPECT_THROW(factory.GetDocumentClassFactory(ns, nullptr, CML_LOOKUP_MATCH), CCmlException);
}

TEST(CmlClassFactoryTest, DeserializeThroughGlobalFactory) {
    CTestDocument prototype;
    // The factory keeps a copy of the prototype, the latest registered; reading copies that.
    RegisterDocument(GetGlobalClassFactory(), kTestNamespace.c_str(), L"1.0.1", L"test-doc",
                     &prototype);
    prototype.m_strDoc = L"latest";
    EXPECT_NE(&prototype, RegisterDocument(GetGlobalClassFactory(), kTestNamespace.c_str(),
                                           L"1.0.1", L"test-doc", &prototype));
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
    EXPECT_EQ(test->GetDocumentSchemaVersion(), L"latest");
    EXPECT_EQ(prototype.m_strValue, L"");

    EXPECT_EQ(Deserialize(element(L"test-doc", L"1.1.0"), CML_LOOKUP_MATCH), nullptr);
    EXPECT_EQ(Deserialize(element(L"test-doc", L"1.0.9"), CML_LOOKUP_EXACT), nullptr);
    EXPECT_EQ(Deserialize(element(L"test-doc", nullptr), CML_LOOKUP_MATCH), nullptr);
    EXPECT_EQ(Deserialize(element(L"p:test-doc", L"1.0.1"), CML_LOOKUP_MATCH), nullptr);
    EXPECT_EQ(Deserialize(element(L"test-doc", L"1.0.1", L"urn:elsewhere"), CML_LOOKUP_MATCH),
              nullptr);
}

}  // namespace
}  // namespace zav::cml
