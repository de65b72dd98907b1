// The non-abstract parts of CCmlDocumentBase: namespace collection, reading the standard
// attributes, and the default element and document writers.
#include "cml/CmlDocumentBase.h"

#include "cml/CmlDOM_Element.h"
#include "cml/CmlException.h"
#include "cml/CmlNamespaceSet.h"
#include "cml/CmlTagNames.h"
#include "cml/CmlWriter.h"

namespace zav::cml {

namespace {

std::wstring Text(const wchar_t* s) { return s != nullptr ? std::wstring(s) : std::wstring(); }

template <class Stream>
void WriteDocumentElement(const CCmlDocumentBase& doc, Stream& os, uint32_t level) {
    WriteElement(
        os, level, doc.GetTagName(), doc.GetChildElementCount() != 0,
        [&doc](Stream& out) { doc.SerializeAttributes(out); },
        [&doc](Stream& out, uint32_t inner) { doc.SerializeContent(out, inner); });
}

template <class Stream>
void WriteStandardAttributes(const CCmlDocumentBase& doc, Stream& os) {
    WriteAttribute(os, CML_TAG_XMLNS, doc.GetNamespace());
    WriteAttribute(os, CML_TAG_SCHEMA_VERSION, doc.GetDocumentSchemaVersion());
}

}  // namespace

void CCmlDocumentBase::GetNamespaces(NamespaceSet& namespaces) const {
    AddToNamespaceSet(namespaces, GetNamespace(), GetDocumentSchemaVersion(),
                      L"Constructing document namespace object");
}

void CCmlDocumentBase::Deserialize(const CCmlDOM_Element& element) {
    const std::wstring namespaceURI = Text(element.getNamespaceURI());
    if (namespaceURI != GetNamespace()) {
        throw CCmlException(L"Processing standard document attributes",
                            L"Unrecognized namespace " + namespaceURI,
                            CML_E_UNRECOGNIZED_NAMESPACE);
    }
    SetNamespace(namespaceURI);
    SetTagName(Text(element.getNodeName()));
    SetSchemaVersion(Text(element.getAttribute(CML_TAG_SCHEMA_VERSION)));
}

void CCmlDocumentBase::SerializeElement(std::wostream& os, uint32_t level) const {
    WriteDocumentElement(*this, os, level);
}
void CCmlDocumentBase::SerializeElement(std::ostream& os, uint32_t level) const {
    WriteDocumentElement(*this, os, level);
}

void CCmlDocumentBase::Serialize(std::wostream& os) const { SerializeDocument(*this, os); }
void CCmlDocumentBase::Serialize(std::ostream& os) const { SerializeDocument(*this, os); }

void CCmlDocumentBase::SerializeToFile(const wchar_t* path) const {
    SerializeDocumentToFile(*this, path);
}
void CCmlDocumentBase::SerializeToFile(const char* path) const {
    SerializeDocumentToFile(*this, path);
}

void CCmlDocumentBase::SerializeAttributes(std::wostream& os) const {
    WriteStandardAttributes(*this, os);
}
void CCmlDocumentBase::SerializeAttributes(std::ostream& os) const {
    WriteStandardAttributes(*this, os);
}

}  // namespace zav::cml
