// Fuzz target: reading the date and time values. The input (UTF-8) is read as a dateTime, date,
// time and duration text, each from an attribute node as documents are read (the dateTime also
// through SetFromText). Reading never fails; what was read is written, and reading the written
// form must give the same form again, on the narrow and the wide stream alike.
#include <xercesc/dom/DOMImplementation.hpp>
#include <xercesc/dom/DOMImplementationRegistry.hpp>

#include <cstdio>
#include <sstream>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "cml/CmlDOM.h"
#include "cml/CmlPlatform.h"
#include "cml/XmlDate.h"
#include "cml/XmlDateTime.h"
#include "cml/XmlDuration.h"
#include "cml/XmlTime.h"
#include "zavToolsLib/ConvertUTF.h"

namespace {

using namespace zav::cml;
using namespace zav::cml::XmlUtils;

xercesc::DOMDocument* NewDocument() {
    EnsureXmlPlatform();
    return xercesc::DOMImplementationRegistry::getDOMImplementation(u"Core")->createDocument(
        nullptr, u"value", nullptr);
}

// One element for the whole run; every read sets its attribute and reads the attribute node.
class CValueNode {
public:
    CValueNode() : m_document(NewDocument(), true), m_element(m_document.getDocumentElement()) {}

    template <class Value>
    void Read(Value& value, const std::wstring& text) {
        m_element.setAttribute(L"v", text.c_str());
        value.Deserialize(m_element.getAttributeNode(L"v"));
    }

private:
    CCmlDOM_Document m_document;
    CCmlDOM_Element m_element;
};

// The written form; the wide stream must write the same characters as the narrow one.
template <class Value>
std::string Written(const Value& value) {
    std::ostringstream narrow;
    std::wostringstream wide;
    value.Write(narrow);
    value.Write(wide);
    const std::string text = narrow.str();
    ZAV_FUZZ_CHECK(zavToolsLib::FromUtf8(text) == wide.str());
    return text;
}

// Reads text, writes it, reads the written form and writes again: both writes must agree, and a
// copy made with Assign writes the same.
template <class Value>
void CheckStable(CValueNode& node, const std::wstring& text) {
    Value first, copy, second;
    node.Read(first, text);
    const std::string written = Written(first);
    copy.Assign(first);
    ZAV_FUZZ_CHECK(Written(copy) == written);
    node.Read(second, std::wstring(written.begin(), written.end()));
    const std::string rewritten = Written(second);
    if (rewritten != written) {
        std::fprintf(stderr, "written '%s', read back and written '%s'\n", written.c_str(),
                     rewritten.c_str());
    }
    ZAV_FUZZ_CHECK(rewritten == written);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CValueNode node;
    std::wstring text =
        zavToolsLib::FromUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
    // Attribute values and the text readers both end at the first NUL.
    text = text.substr(0, text.find(L'\0'));

    CDateTime direct, fromNode;
    direct.SetFromText(text);
    node.Read(fromNode, text);
    ZAV_FUZZ_CHECK(Written(direct) == Written(fromNode));

    CheckStable<CDateTime>(node, text);
    CheckStable<CDate>(node, text);
    CheckStable<CTime>(node, text);
    CheckStable<CDuration>(node, text);
    return 0;
}
