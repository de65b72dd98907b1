// The whole-document writers of CmlWriter.h: root start tag with schema locations, documents
// rooted in one CML object, and documents holding several compound messages.
#include <string>
#include <utility>

#include "cml/CmlDocumentBase.h"
#include "cml/CmlException.h"
#include "cml/CmlNamespace.h"
#include "cml/CmlParser.h"
#include "cml/CmlWriter.h"
#include "zavToolsLib/CZavCodecvt.h"
#include "zavToolsLib/ConvertUTF.h"
#include "zavToolsLib/zavStatus.h"

namespace zav::cml {

namespace {

template <class Stream>
void RootStart(Stream& os, std::wstring_view rootTag, const NamespaceSet& namespaces) {
    // Every location is built first: an invalid namespace must fail before anything is written.
    std::vector<std::pair<std::wstring, std::wstring>> locations;
    for (const CNamespace& entry : namespaces) {
        std::wstring path = BuildSchemaFileName(entry.GetNamespace(), entry.GetSchemaVersion());
        for (auto pos = path.find(L' '); pos != std::wstring::npos; pos = path.find(L' ', pos)) {
            path.replace(pos, 1, L"%20");
        }
        locations.emplace_back(entry.GetNamespace(), std::move(path));
    }
    WriteXmlDeclaration(os, false);
    WriteText(os, L"<");
    WriteText(os, rootTag);
    WriteText(os, L" xmlns:xsi='");
    WriteText(os, XSI_NAMESPACE_URI);
    WriteText(os, L"'");
    WriteLineEnd(os);
    if (locations.empty()) {
        return;
    }
    WriteText(os, L"    xsi:schemaLocation='");
    for (std::size_t i = 0; i < locations.size(); ++i) {
        if (i != 0) {
            WriteLineEnd(os);
            WriteText(os, L"    ");
        }
        WriteText(os, locations[i].first);
        WriteText(os, L" ");
        WriteText(os, locations[i].second);
    }
    WriteText(os, L"'");
}

template <class Stream>
void Document(const CCmlDocumentBase& doc, Stream& os) {
    NamespaceSet namespaces;
    doc.GetNamespaces(namespaces);
    const std::wstring& tag = doc.GetTagName();
    RootStart(os, tag, namespaces);
    doc.SerializeAttributes(os);
    if (doc.GetChildElementCount() != 0) {
        WriteText(os, L">");
        WriteLineEnd(os);
        doc.SerializeContent(os, 1);
        WriteEndTag(os, 0, tag);
        return;
    }
    WriteText(os, L"/>");
    WriteLineEnd(os);
}

template <class Stream>
void Generate(const std::vector<const CCmlDocumentBase*>& messages, Stream& os) {
    if (messages.empty()) {
        throw CCmlException(L"Generating CML document", L"Empty message vector",
                            zavToolsLib::ZAV_E_INVALID_ARG);
    }
    // The first message decides between the legacy cml form and the current one.
    std::wstring cmlNamespace = std::wstring(NAMESPACE_BASE) + CML_PATH;
    std::wstring cmlVersion = CML_LEGACY_SCHEMA_VERSION;
    if (messages.front()->GetNamespace() != cmlNamespace) {
        cmlNamespace = std::wstring(NAMESPACE_BASE) + CML_MESSAGE_PATH;
        cmlVersion = CML_MESSAGE_SCHEMA_VERSION;
    }
    NamespaceSet namespaces;
    for (const CCmlDocumentBase* message : messages) {
        message->GetNamespaces(namespaces);
    }
    RootStart(os, L"zav", namespaces);
    WriteLineEnd(os);
    WriteRootAttributes(os, NAMESPACE_BASE, GetProcessMessageVersion());
    WriteStartTagOpen(os, 1, L"cml");
    WriteAttribute(os, L"xmlns", cmlNamespace);
    WriteAttribute(os, L"schema-version", cmlVersion);
    WriteText(os, L">");
    WriteLineEnd(os);
    for (const CCmlDocumentBase* message : messages) {
        message->SerializeElement(os, 2);
    }
    WriteEndTag(os, 1, L"cml");
    WriteEndTag(os, 0, L"zav");
}

}  // namespace

void WriteRootStart(std::wostream& os, std::wstring_view rootTag, const NamespaceSet& namespaces) {
    RootStart(os, rootTag, namespaces);
}
void WriteRootStart(std::ostream& os, std::wstring_view rootTag, const NamespaceSet& namespaces) {
    RootStart(os, rootTag, namespaces);
}

void SerializeDocument(const CCmlDocumentBase& doc, std::wostream& os) { Document(doc, os); }

void SerializeDocument(const CCmlDocumentBase& doc, std::ostream& os) {
    zavToolsLib::CZavLocaleScope utf8(os);
    Document(doc, os);
}

void SerializeDocumentToFile(const CCmlDocumentBase& doc, const char* path) {
    WriteToFile(path, L"Serializing to file", [&doc](std::ostream& os) { doc.Serialize(os); });
}

void SerializeDocumentToFile(const CCmlDocumentBase& doc, const wchar_t* path) {
    SerializeDocumentToFile(doc, path != nullptr ? zavToolsLib::ToUtf8(path).c_str() : nullptr);
}

void GenerateDocument(const std::vector<const CCmlDocumentBase*>& messages, std::wostream& os) {
    Generate(messages, os);
}

void GenerateDocument(const std::vector<const CCmlDocumentBase*>& messages, std::ostream& os) {
    zavToolsLib::CZavLocaleScope utf8(os);
    Generate(messages, os);
}

}  // namespace zav::cml
