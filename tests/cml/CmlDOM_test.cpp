

#include "cml/CmlDOM.h"
#include "cml/CmlTestSupport.h"
#include "zavToolsLib/zavStatus.h"

namespace zav::cml {
namespace {

using test::ExpectCmlError;

xercesc::DOMDocument* NewDocument() { return test::NewDocument(u"urn:test", u"root"); }

TEST(CmlDOMTest, NullNodesWrongTypesAndArgumentChecks) {
    const std::wstring node = L"The node is NULL";
    ExpectCmlError([] { CCmlDOM_Element().getAttribute(L"a"); }, L"CCmlDOM_Element::getAttribute()",
                   node, 0xC7380027u);
    ExpectCmlError([] { CCmlDOM_Text().splitText(1); }, L"CCmlDOM_Text::splitText()", node,
                   CML_E_NULL_NODE);
    ExpectCmlError([] { CCmlDOM_Document().createElement(L"x"); },
                   L"CCmlDOM_Document::createElement()", L"The document is NULL", CML_E_NULL_NODE);

    CCmlDOM_Document doc(NewDocument(), true);
    CCmlDOM_Element root = doc.getDocumentElement();
    CCmlDOM_Text text = doc.createTextNode(L"t");

    CCmlDOM_Element el(root);
    ExpectCmlError([&] { el.SetDOMElement(text.GetDOMNode()); },
                   L"CCmlDOM_Element::SetDOMElement()", L"Wrong source node type", 0xC7380014u);
    EXPECT_EQ(el.GetDOMNode(), root.GetDOMNode());  // unchanged after the failure
    ExpectCmlError([&] { CCmlDOM_CharacterData().SetDOMNode(root.GetDOMNode()); },
                   L"CCmlDOM_CharacterData::SetDOMNode()", L"Wrong source node type",
                   CML_E_WRONG_NODE_TYPE);
    CCmlDOM_Text other;
    other.SetDOMText(text.GetDOMNode());
    EXPECT_STREQ(other.getData(), L"t");

    root.setAttribute(L"a", L"1");
    ExpectCmlError([&] { root.getAttributes().getNamedItem(nullptr); },
                   L"CCmlDOM_NamedNodeMap::getNamedItem()", L"Received value is NULL",
                   zavToolsLib::ZAV_E_INVALID_ARG);
}

TEST(CmlDOMTest, StringResults) {
    CCmlDOM_Document doc(NewDocument(), true);
    CCmlDOM_Element root = doc.getDocumentElement();
    root.setAttribute(L"first", L"first-value");
    root.setAttribute(L"second", L"other-value");
    root.setAttribute(L"wide", L"\u00e9\U0001F600");

    // An absent attribute is an empty text; characters outside 16 bits survive.
    EXPECT_STREQ(root.getAttribute(L"absent"), L"");
    EXPECT_STREQ(root.getAttribute(L"wide"), L"\u00e9\U0001F600");

    // One result text per wrapper, not one for all of them.
    CCmlDOM_Element again(root.GetDOMElement());
    const wchar_t* c = root.getAttribute(L"first");
    const wchar_t* d = again.getAttribute(L"second");
    EXPECT_STREQ(c, L"first-value");
    EXPECT_STREQ(d, L"other-value");
}

TEST(CmlDOMTest, OwnershipMovesWithCopies) {
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
    { CCmlDOM_Document view(assigned.GetDOMDocument()); }  // a non-owning view lets go freely
    EXPECT_FALSE(assigned.getDocumentElement().IsNull());

    // Moving an owner to a node of its own document keeps the document; moving it to another
    // document releases the first.
    xercesc::DOMDocument* raw = NewDocument();
    CCmlDOM_Node owner(raw, true);
    owner.SetDOMNode(raw->getDocumentElement());
    EXPECT_TRUE(owner.GetOwner());
    xercesc::DOMDocument* other = NewDocument();
    owner.SetDOMNode(other);
    EXPECT_FALSE(owner.GetOwner());
    other->release();
}

}  // namespace
}  // namespace zav::cml
