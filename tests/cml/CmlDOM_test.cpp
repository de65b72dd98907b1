#include <gtest/gtest.h>
#include <xercesc/dom/DOMException.hpp>

#include <string>

#include "cml/CmlDOM.h"
#include "cml/CmlTestSupport.h"
#include "zavToolsLib/zavStatus.h"

namespace zav::cml {
namespace {

using test::ExpectCmlError;

class CmlDOMTest : public ::testing::Test {
protected:
    static xercesc::DOMDocument* NewDocument() { return test::NewDocument(u"urn:test", u"root"); }
};

TEST(CmlExceptionTest, DescriptionAndWhat) {
    const CCmlException e(L"Parsing \u00e9l\u00e9ment", L"Missing", 0xC7210005u);
    EXPECT_EQ(e.GetDescription(), L"Parsing \u00e9l\u00e9ment:  Missing; error = 0xc7210005");
    EXPECT_STREQ(e.what(), "Parsing \xc3\xa9l\xc3\xa9ment:  Missing; error = 0xc7210005");
    CCmlException small(L"c", L"m", 0x5u);
    EXPECT_EQ(small.GetDescription(), L"c:  m; error = 0x5");
    small.SetMessage(L"other");
    EXPECT_STREQ(small.what(), "c:  other; error = 0x5");
}

TEST_F(CmlDOMTest, NullWrappersRaiseFromEveryOperationKind) {
    const std::wstring node = L"The node is NULL";
    CCmlDOM_Element el;
    EXPECT_TRUE(el.IsNull());
    ExpectCmlError([&] { el.getAttribute(L"a"); }, L"CCmlDOM_Element::getAttribute()", node,
                   CML_E_NULL_NODE);
    ExpectCmlError([&] { el.setAttribute(L"a", L"b"); }, L"CCmlDOM_Element::setAttribute()", node,
                   CML_E_NULL_NODE);
    ExpectCmlError([&] { el.hasAttributes(); }, L"CCmlDOM_Element::hasAttributes()", node,
                   CML_E_NULL_NODE);
    ExpectCmlError([&] { el.getFirstChild(); }, L"CCmlDOM_Element::getFirstChild()", node,
                   CML_E_NULL_NODE);
    ExpectCmlError(
        [&] {
            std::string s;
            el.getNodeName(s);
        },
        L"CCmlDOM_Element::getNodeName()", node, CML_E_NULL_NODE);
    ExpectCmlError([&] { CCmlDOM_Text().splitText(1); }, L"CCmlDOM_Text::splitText()", node,
                   CML_E_NULL_NODE);
    ExpectCmlError([&] { CCmlDOM_Document().createElement(L"x"); },
                   L"CCmlDOM_Document::createElement()", L"The document is NULL", CML_E_NULL_NODE);
    ExpectCmlError([&] { CCmlDOM_Document().getNodeType(); }, L"CCmlDOM_Document::getNodeType()",
                   L"The document is NULL", CML_E_NULL_NODE);
    ExpectCmlError([&] { CCmlDOM_NodeList().item(0); }, L"CCmlDOM_NodeList::item()",
                   L"The node list is NULL", CML_E_NULL_NODE);
    ExpectCmlError([&] { CCmlDOM_NamedNodeMap().getLength(); },
                   L"CCmlDOM_NamedNodeMap::getLength()", L"The node map is NULL", CML_E_NULL_NODE);
    ExpectCmlError([&] { CCmlDOM_TypeInfo().getName(); }, L"CCmlDOM_TypeInfo::getName()", node,
                   CML_E_NULL_NODE);
}

TEST_F(CmlDOMTest, TypedSettersAndArgumentChecks) {
    CCmlDOM_Document doc(NewDocument(), true);
    CCmlDOM_Element root = doc.getDocumentElement();
    CCmlDOM_Text text = doc.createTextNode(L"t");

    CCmlDOM_Element el(root);
    ExpectCmlError([&] { el.SetDOMElement(text.GetDOMNode()); },
                   L"CCmlDOM_Element::SetDOMElement()", L"Wrong source node type",
                   CML_E_WRONG_NODE_TYPE);
    EXPECT_EQ(el.GetDOMNode(), root.GetDOMNode());  // unchanged after the failure
    ExpectCmlError([&] { CCmlDOM_CDATASection().SetDOMCDATASection(text.GetDOMNode()); },
                   L"CCmlDOM_CDATASection::SetDOMCDATASection()", L"Wrong source node type",
                   CML_E_WRONG_NODE_TYPE);
    ExpectCmlError([&] { CCmlDOM_CharacterData().SetDOMNode(root.GetDOMNode()); },
                   L"CCmlDOM_CharacterData::SetDOMNode()", L"Wrong source node type",
                   CML_E_WRONG_NODE_TYPE);
    CCmlDOM_Text other;
    other.SetDOMText(text.GetDOMNode());
    EXPECT_STREQ(other.getData(), L"t");
    el.SetDOMElement(nullptr);
    EXPECT_TRUE(el.IsNull());

    root.setAttribute(L"a", L"1");
    CCmlDOM_NamedNodeMap attrs = root.getAttributes();
    EXPECT_EQ(attrs.getLength(), 1u);
    EXPECT_STREQ(attrs.getNamedItem(L"a").getNodeValue(), L"1");
    ExpectCmlError([&] { attrs.getNamedItem(nullptr); }, L"CCmlDOM_NamedNodeMap::getNamedItem()",
                   L"Received value is NULL", zavToolsLib::ZAV_E_INVALID_ARG);
    ExpectCmlError([&] { attrs.removeNamedItemNS(L"urn:x", nullptr); },
                   L"CCmlDOM_NamedNodeMap::removeNamedItemNS()", L"Received value is NULL",
                   zavToolsLib::ZAV_E_INVALID_ARG);
    ExpectCmlError([&] { doc.setEncoding(L"UTF-8"); }, L"CCmlDOM_Document::setEncoding()",
                   L"Operation not supported by the XML parser library",
                   zavToolsLib::ZAV_E_NOT_SUPPORTED);

    // DOM errors of the parser pass through and convert with their own code.
    CCmlDOM_Element child = doc.createElement(L"child");
    root.appendChild(child);
    try {
        child.appendChild(root);
        ADD_FAILURE() << "no DOM exception";
    } catch (const xercesc::DOMException& e) {
        const CCmlException converted = CCmlDOM_Exception(e).ToCmlException(L"Parsing");
        EXPECT_EQ(converted.GetCode(), uint32_t(xercesc::DOMException::HIERARCHY_REQUEST_ERR));
        EXPECT_FALSE(converted.GetMessage().empty());
    }
}

TEST_F(CmlDOMTest, StringResults) {
    CCmlDOM_Document doc(NewDocument(), true);
    CCmlDOM_Element root = doc.getDocumentElement();
    CCmlDOM_Element child = doc.createElement(L"child");
    root.appendChild(child);
    root.setAttribute(L"first", L"first-value");
    root.setAttribute(L"second", L"other-value");
    root.setAttribute(L"wide", L"\u00e9\U0001F600");

    // An absent attribute is an empty text; a missing namespace is null (narrow: empty).
    ASSERT_NE(root.getAttribute(L"absent"), nullptr);
    EXPECT_STREQ(root.getAttribute(L"absent"), L"");
    EXPECT_EQ(child.getNamespaceURI(), nullptr);
    std::string narrow = "stale";
    child.getNamespaceURI(narrow);
    EXPECT_EQ(narrow, "");

    // Characters outside the 16-bit range survive both directions.
    EXPECT_STREQ(root.getAttribute(L"wide"), L"\u00e9\U0001F600");
    root.getAttribute(L"wide", narrow);
    EXPECT_EQ(narrow, "\xc3\xa9\xf0\x9f\x98\x80");

    // One result text per wrapper: the second result replaces the first.
    const wchar_t* a = root.getAttribute(L"first");
    const wchar_t* b = root.getAttribute(L"second");
    EXPECT_EQ(a, b);
    EXPECT_STREQ(a, L"other-value");
    CCmlDOM_Element again(root.GetDOMElement());
    const wchar_t* c = root.getAttribute(L"first");
    const wchar_t* d = again.getAttribute(L"second");
    EXPECT_STREQ(c, L"first-value");
    EXPECT_STREQ(d, L"other-value");
}

TEST_F(CmlDOMTest, OwnershipMovesWithCopies) {
    // Each owning wrapper below must release its document exactly once: ASan reports a double
    // release or a use after release, LeakSanitizer a document nobody released.
    CCmlDOM_Document* first = new CCmlDOM_Document(NewDocument(), true);
    CCmlDOM_Document copy(*first);
    EXPECT_TRUE(copy.GetOwner());
    EXPECT_FALSE(first->GetOwner());
    delete first;
    EXPECT_STREQ(copy.createElement(L"still-alive").getTagName(), L"still-alive");

    CCmlDOM_Document assigned;
    assigned = copy;
    EXPECT_TRUE(assigned.GetOwner());
    EXPECT_FALSE(copy.GetOwner());

    // A non-owning wrapper lets go without releasing.
    { CCmlDOM_Document view(assigned.GetDOMDocument()); }
    EXPECT_FALSE(assigned.getDocumentElement().IsNull());

    // Moving an owner to a node of its own document keeps the document; moving it to another
    // document releases the first.
    xercesc::DOMDocument* raw = NewDocument();
    CCmlDOM_Node owner(raw, true);
    owner.SetDOMNode(raw->getDocumentElement());
    EXPECT_TRUE(owner.GetOwner());
    EXPECT_STREQ(owner.getNodeName(), L"root");
    xercesc::DOMDocument* other = NewDocument();
    owner.SetDOMNode(other);
    EXPECT_FALSE(owner.GetOwner());
    other->release();
}

}  // namespace
}  // namespace zav::cml
