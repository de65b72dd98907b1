#include "cml/XmlUtils.h"

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMException.hpp>
#include <xercesc/dom/DOMImplementation.hpp>

#include <string>

#include "cml/CmlDOM.h"
#include "cml/CmlWriter.h"
#include "zavToolsLib/CZavCodecvt.h"
#include "zavToolsLib/ConvertUTF.h"
#include "zavToolsLib/zavStatus.h"

namespace zav::cml::XmlUtils {

namespace {

using xercesc::DOMNode;

std::wstring Str(const wchar_t* s) { return s != nullptr ? s : L""; }

const wchar_t* Context(bool formatted) {
    return formatted ? L"Serializing formatted content" : L"Serializing unformatted content";
}

// Text worth writing: not ignorable and holding more than blanks and line feeds.
bool HasContent(const CCmlDOM_Text& text, const std::wstring& data) {
    return !text.isIgnorableWhitespace() && data.find_first_not_of(L" \n") != std::wstring::npos;
}

bool IsCharacterData(short type) {
    return type == DOMNode::TEXT_NODE || type == DOMNode::CDATA_SECTION_NODE;
}

template <class Stream>
class CNodeWriter {
public:
    explicit CNodeWriter(Stream& os) : m_os(os) {}

    void Write(const CCmlDOM_Node& node, uint32_t level, bool ownLine) {
        switch (node.getNodeType()) {
            case DOMNode::ELEMENT_NODE:
                WriteElement(node, level, ownLine);
                break;
            case DOMNode::TEXT_NODE:
            case DOMNode::CDATA_SECTION_NODE:
                WriteCharacterData(node, level, ownLine);
                break;
            case DOMNode::COMMENT_NODE: {
                CCmlDOM_Comment comment;
                comment.SetDOMComment(node.GetDOMNode());
                Begin(level, ownLine);
                WriteText(m_os, L"<!--");
                WriteText(m_os, Str(comment.getData()));
                WriteText(m_os, L"-->");
                End(ownLine);
                break;
            }
            default:
                WriteLineEnd(m_os);
                WriteText(m_os, L"Unrecognized node type:  " + std::to_wstring(node.getNodeType()));
                End(ownLine);
                break;
        }
    }

private:
    void Begin(uint32_t level, bool ownLine) {
        if (ownLine) {
            WriteIndent(m_os, level);
        }
    }
    void End(bool ownLine) {
        if (ownLine) {
            WriteLineEnd(m_os);
        }
    }

    void WriteCharacterData(const CCmlDOM_Node& node, uint32_t level, bool ownLine) {
        const bool cdata = node.getNodeType() == DOMNode::CDATA_SECTION_NODE;
        CCmlDOM_Text plain;
        CCmlDOM_CDATASection section;
        CCmlDOM_Text& text = cdata ? static_cast<CCmlDOM_Text&>(section) : plain;
        if (cdata) {
            section.SetDOMCDATASection(node.GetDOMNode());
        } else {
            plain.SetDOMText(node.GetDOMNode());
        }
        const std::wstring data = Str(text.getData());
        if (!HasContent(text, data)) {
            return;
        }
        Begin(level, ownLine);
        if (cdata) {
            WriteText(m_os, L"<![CDATA[");
            WriteText(m_os, data);
            WriteText(m_os, L"]]>");
        } else {
            WriteText(m_os, TranslateContent(data));
        }
        End(ownLine);
    }

    void WriteElement(const CCmlDOM_Node& node, uint32_t level, bool ownLine) {
        CCmlDOM_Element element;
        element.SetDOMElement(node.GetDOMNode());
        const std::wstring tag = Str(element.getTagName());
        Begin(level, ownLine);
        WriteText(m_os, L"<");
        WriteText(m_os, tag);
        WriteNamespaceDeclaration(element);
        WriteAttributes(element);
        if (!element.hasChildNodes()) {
            WriteText(m_os, L"/>");
            End(ownLine);
            return;
        }
        WriteText(m_os, L">");
        const CCmlDOM_NodeList children = element.getChildNodes();
        const std::size_t count = children.getLength();
        // Children on lines of their own only when there is more than character data.
        bool childLines = false;
        if (ownLine) {
            for (std::size_t i = 0; i < count && !childLines; ++i) {
                childLines = !IsCharacterData(children.item(i).getNodeType());
            }
        }
        if (childLines) {
            WriteLineEnd(m_os);
        }
        for (std::size_t i = 0; i < count; ++i) {
            Write(children.item(i), level + 1, childLines);
        }
        if (childLines) {
            WriteIndent(m_os, level);
        }
        WriteText(m_os, L"</");
        WriteText(m_os, tag);
        WriteText(m_os, L">");
        End(ownLine);
    }

    // A declaration for the element's namespace where it differs from the parent's and the
    // element does not declare it itself.
    void WriteNamespaceDeclaration(const CCmlDOM_Element& element) {
        const std::wstring ns = Str(element.getNamespaceURI());
        if (ns.empty()) {
            return;
        }
        const CCmlDOM_Node parent = element.getParentNode();
        if (!parent.IsNull() && parent.getNodeType() == DOMNode::ELEMENT_NODE &&
            Str(parent.getNamespaceURI()) == ns) {
            return;
        }
        const std::wstring prefix = Str(element.getPrefix());
        const std::wstring name = prefix.empty() ? L"xmlns" : L"xmlns:" + prefix;
        if (element.hasAttribute(name.c_str())) {
            return;
        }
        WriteAttribute(m_os, name, TranslateAttributeValue(ns));
    }

    void WriteAttributes(const CCmlDOM_Element& element) {
        const CCmlDOM_NamedNodeMap attributes = element.getAttributes();
        const std::size_t count = attributes.getLength();
        for (std::size_t i = 0; i < count; ++i) {
            CCmlDOM_Attr attribute;
            attribute.SetDOMAttr(attributes.item(i).GetDOMNode());
            if (!attribute.getSpecified() && !GetSerializeDefaults()) {
                continue;
            }
            const std::wstring name = Str(attribute.getName());
            WriteAttribute(m_os, name, TranslateAttributeValue(Str(attribute.getValue())));
        }
    }

    Stream& m_os;
};

template <class Stream>
void Serialize(const CCmlDOM_Node& node, Stream& os, bool formatted, uint32_t level) {
    try {
        CNodeWriter<Stream>(os).Write(node, level, formatted);
    } catch (const xercesc::DOMException& e) {
        throw CCmlDOM_Exception(e).ToCmlException(Context(formatted));
    }
}

}  // namespace

void SerializeNode(const CCmlDOM_Node& node, std::wostream& os, bool formatted, uint32_t level) {
    Serialize(node, os, formatted, level);
}

void SerializeNode(const CCmlDOM_Node& node, std::ostream& os, bool formatted, uint32_t level) {
    zavToolsLib::CZavLocaleScope utf8(os);
    Serialize(node, os, formatted, level);
}

void SerializeNode(const CCmlDOM_Node& node, const char* path, bool formatted) {
    WriteToFile(path, Context(formatted),
                [&](std::ostream& os) { Serialize(node, os, formatted, 0); });
}

void SerializeNode(const CCmlDOM_Node& node, const wchar_t* path, bool formatted) {
    if (path == nullptr) {
        SerializeNode(node, static_cast<const char*>(nullptr), formatted);
        return;
    }
    SerializeNode(node, zavToolsLib::ToUtf8(path).c_str(), formatted);
}

CCmlDOM_Element CopyDOMNode(const CCmlDOM_Node& node) {
    if (node.IsNull()) {
        return CCmlDOM_Element();
    }
    constexpr wchar_t kContext[] = L"XmlUtils::CopyDOMNode";
    try {
        xercesc::DOMImplementation* implementation = node.getOwnerDocument().getImplementation();
        if (implementation == nullptr) {
            throw CCmlException(kContext, L"DOMDocument::getImplementation() returned NULL",
                                zavToolsLib::ZAV_E_EXCEPTION);
        }
        // Owned until the copy is in place, so a failed import does not leak the document.
        CCmlDOM_Document copy(implementation->createDocument(nullptr, u"dummy", nullptr), true);
        const CCmlDOM_Node imported = copy.importNode(node, true);
        copy.replaceChild(imported, copy.getDocumentElement());
        CCmlDOM_Element result = copy.getDocumentElement();
        copy.SetOwner(false);
        return result;
    } catch (const xercesc::DOMException& e) {
        throw CCmlDOM_Exception(e).ToCmlException(kContext);
    }
}

}  // namespace zav::cml::XmlUtils
