// The tree builder under a bounded read: limits checked as the document arrives, extension
// content and result items left out of the tree, blocks built where they are found.
#include <xercesc/framework/XMLAttr.hpp>
#include <xercesc/internal/XMLScanner.hpp>

#include "cml/CmlEarlyRead.h"
#include "cml/CmlException.h"
#include "cml/CmlNodeRecycler.h"
#include "cml/CmlParser.h"
#include "cml/CmlPlatform.h"
#include "cml/CmlTagNames.h"
#include "zavToolsLib/zavStatus.h"

namespace zav::cml {

namespace {

// The parser library must be up before a parser is built.
xercesc::XMLValidator* NoValidatorOncePlatformReady() {
    EnsureXmlPlatform();
    return nullptr;
}

std::size_t Length(const XMLCh* text) {
    return text != nullptr ? xercesc::XMLString::stringLen(text) : 0;
}

}  // namespace

CCmlDOMParser::CCmlDOMParser(CCmlMemoryBudget& memory)
    : xercesc::XercesDOMParser(NoValidatorOncePlatformReady(), &memory),
      m_memory(memory),
      m_blockAttributes(4, true, &memory) {
    // CML documents never carry one. The scanner refuses a document type declaration in any
    // encoding, so no entity is ever expanded and no default attribute ever injected.
    getScanner()->setDisallowDTD(true);
}

CCmlDOMParser::~CCmlDOMParser() = default;

void CCmlDOMParser::SetReadLimits(const CCmlReadLimits* limits, std::size_t inputSize) {
    m_pLimits = limits;
    std::size_t budget = 0;
    if (limits != nullptr && inputSize != 0) {
        // The received body and the objects read from the tree take the rest of the allowance.
        budget = std::size_t{limits->uMemoryFactor} * inputSize + CML_MEMORY_ALLOWANCE * 3 / 4;
    }
    m_memory.StartBudget(budget);
}

void CCmlDOMParser::CheckMemoryBudget() const {
    if (m_memory.IsOverBudget()) {
        ThrowLimitExceeded("parser memory", m_memory.GetRefusedTotal(), "memoryFactor",
                           m_pLimits != nullptr ? m_pLimits->uMemoryFactor : 0);
    }
}

void CCmlDOMParser::CheckValueLength(std::size_t length) const {
    if (length > m_pLimits->uMaxValueLength) {
        ThrowLimitExceeded("value length", length, "maxValueLength", m_pLimits->uMaxValueLength);
    }
}

namespace {
bool IsXmlSpace(const XMLCh* chars, XMLSize_t length) {
    for (XMLSize_t i = 0; i < length; ++i) {
        const XMLCh c = chars[i];
        if (c != 0x20 && c != 0x0A && c != 0x09 && c != 0x0D) return false;
    }
    return true;
}
}  // namespace

void CCmlDOMParser::FlushPendingSpace() {
    if (!m_pendingSpace.empty()) {
        xercesc::XercesDOMParser::docCharacters(m_pendingSpace.data(), m_pendingSpace.size(),
                                                false);
        m_pendingSpace.clear();
    }
}

// Before a comment or processing instruction, whitespace keeps its place unless a child element
// has already shown it to be indentation.
void CCmlDOMParser::KeepOrDropPendingSpace() {
    if (!m_open.empty() && (m_open.back().flags & kChildSeen) == 0) {
        FlushPendingSpace();
    }
    m_pendingSpace.clear();
}

void CCmlDOMParser::startDocument() {
    m_uTextRun = 0;
    m_uLastUrlId = ~0u;
    m_pSortedParent = nullptr;
    m_pendingSpace.clear();
    m_open.clear();
    xercesc::XercesDOMParser::startDocument();
}

int CCmlDOMParser::StartTagFate(const xercesc::XMLElementDecl& elemDecl, unsigned int urlId,
                                const xercesc::RefVectorOf<xercesc::XMLAttr>& attributes,
                                XMLSize_t count) {
    const CStartTagReader* const reader = GetStartTagReader();
    if (urlId != m_uLastUrlId) {
        const XMLCh* const namespaceURI = getScanner()->getURIText(urlId);
        m_uLastUrlId = urlId;
        m_bLastUrlOfMessage = IsMessageNamespace(namespaceURI);
        m_iLastUrlSort = reader != nullptr ? reader->SortNamespace(namespaceURI) : 0;
    }
    const XMLCh* const localName = elemDecl.getBaseName();
    // Blocks are always built (see DeferBlock).
    if (m_bLastUrlOfMessage && IsBlockName(localName)) return kStartTagBuilt;
    int parentSort = 0;
    if (InSkippedContent()) {
        parentSort = m_open.back().sort;
        if (parentSort == 0) return kStartTagLeftOut;  // extension content
    } else {
        if (!HasParentElement()) return kStartTagBuilt;
        if (m_pSortedParent != fCurrentParent) {
            m_pSortedParent = fCurrentParent;
            const int frame = FrameSort(fCurrentParent);
            m_iParentSort = IsMessageBody(fCurrentParent) ? -1
                            : frame != kFrameNone         ? frame
                            : reader != nullptr           ? reader->SortParent(fCurrentParent)
                                                          : 0;
        }
        parentSort = m_iParentSort;
        if (parentSort == 0) return kStartTagBuilt;
        if (parentSort <= kFrameEnvelope) {
            // What the envelope's reader does not read is extension content: never built.
            return IsReadInFrame(parentSort, getScanner()->getURIText(urlId), localName,
                                 elemDecl.getFullName())
                       ? kStartTagBuilt
                       : kStartTagLeftOut;
        }
        if (parentSort < 0) return kStartTagLeftOut;  // the body's reader looks for blocks only
    }
    const int fate =
        reader->Read(parentSort, fCurrentParent, m_iLastUrlSort, elemDecl.getFullName(), attributes,
                     count, CCmlReadScope::Current());
    // Nothing is built below an element not in the tree.
    return fate == kStartTagBuilt && InSkippedContent() ? kStartTagLeftOut : fate;
}

bool CCmlDOMParser::HasParentElement() const {
    return fCurrentParent != nullptr &&
           fCurrentParent->getNodeType() == xercesc::DOMNode::ELEMENT_NODE;
}

void CCmlDOMParser::DeferBlock(const xercesc::XMLElementDecl& elemDecl, unsigned int urlId,
                               const XMLCh* prefix,
                               const xercesc::RefVectorOf<xercesc::XMLAttr>& attributes,
                               XMLSize_t count) {
    m_pBlockDecl = &elemDecl;
    m_uBlockUrlId = urlId;
    m_blockPrefix = prefix != nullptr ? prefix : u"";
    // The scanner's list serves the next start tag: the attributes are copied.
    m_blockAttributes.removeAllElements();
    for (XMLSize_t i = 0; i < count; ++i) {
        const xercesc::XMLAttr* const attribute = attributes.elementAt(i);
        m_blockAttributes.addElement(new (&m_memory) xercesc::XMLAttr(
            attribute->getURIId(), attribute->getName(), attribute->getPrefix(),
            attribute->getValue(), attribute->getType(), attribute->getSpecified(), &m_memory));
    }
    m_open.push_back({kDeferred, 0});
}

void CCmlDOMParser::BuildDeferredBlock() {
    m_open.back().flags = 0;
    xercesc::XercesDOMParser::startElement(*m_pBlockDecl, m_uBlockUrlId, m_blockPrefix.c_str(),
                                           m_blockAttributes, m_blockAttributes.size(), false,
                                           false);
}

void CCmlDOMParser::startElement(const xercesc::XMLElementDecl& elemDecl, const unsigned int urlId,
                                 const XMLCh* const elemPrefix,
                                 const xercesc::RefVectorOf<xercesc::XMLAttr>& attrList,
                                 const XMLSize_t attrCount, const bool isEmpty, const bool isRoot) {
    CheckMemoryBudget();
    if (m_pLimits != nullptr) {
        CheckReadCancelled(*m_pLimits);
        m_uTextRun = 0;
        // Empty elements count too: the parser library ends them through endElement.
        if (m_open.size() + 1 > m_pLimits->uMaxElementDepth) {
            ThrowLimitExceeded("element depth", m_open.size() + 1, "maxElementDepth",
                               m_pLimits->uMaxElementDepth);
        }
        if (attrCount > m_pLimits->uMaxAttributes) {
            ThrowLimitExceeded("attribute count", attrCount, "maxAttributes",
                               m_pLimits->uMaxAttributes);
        }
        for (XMLSize_t i = 0; i < attrCount; ++i) {
            CheckValueLength(Length(attrList.elementAt(i)->getValue()));
        }
        m_pendingSpace.clear();  // whitespace before a child element is not text
        if (!m_open.empty() && (m_open.back().flags & kDeferred) != 0) BuildDeferredBlock();
        const int fate = StartTagFate(elemDecl, urlId, attrList, attrCount);
        if (!m_open.empty()) m_open.back().flags |= kChildSeen;
        if (fate != kStartTagBuilt) {
            // Counted for the depth, never built: no endElement of the library follows.
            if (!isEmpty) m_open.push_back({kSkipped, fate > 0 ? fate : 0});
            return;
        }
        if (!isEmpty && m_bLastUrlOfMessage && HasParentElement() &&
            IsBlockName(elemDecl.getBaseName())) {
            DeferBlock(elemDecl, urlId, elemPrefix, attrList, attrCount);
            return;
        }
        m_open.push_back({0, 0});
    }
    xercesc::XercesDOMParser::startElement(elemDecl, urlId, elemPrefix, attrList, attrCount,
                                           isEmpty, isRoot);
}

void CCmlDOMParser::endElement(const xercesc::XMLElementDecl& elemDecl, const unsigned int urlId,
                               const bool isRoot, const XMLCh* const elemPrefix) {
    CheckMemoryBudget();
    m_uTextRun = 0;
    if (m_pLimits != nullptr && !m_open.empty()) {
        const uint8_t open = m_open.back().flags;
        m_open.pop_back();
        if ((open & kSkipped) == 0 && (open & kChildSeen) == 0) {
            FlushPendingSpace();  // the element's whole text
        }
        m_pendingSpace.clear();
        if ((open & (kSkipped | kDeferred)) != 0) return;  // an empty block is read as nothing
        m_pSortedParent = nullptr;  // the element may be recycled, its place taken by another
    }
    m_pendingSpace.clear();
    xercesc::XercesDOMParser::endElement(elemDecl, urlId, isRoot, elemPrefix);
    if (m_pLimits != nullptr) DropEmptyBlock();
}

void CCmlDOMParser::DropEmptyBlock() {
    xercesc::DOMNode* const node = getCurrentNode();
    // The node the tree goes on below: asking the element for its parent costs more.
    xercesc::DOMNode* const parent = fCurrentParent;
    if (node == nullptr || parent == nullptr ||
        node->getNodeType() != xercesc::DOMNode::ELEMENT_NODE ||
        parent->getNodeType() != xercesc::DOMNode::ELEMENT_NODE || !IsEmptyBlock(node)) {
        return;
    }
    parent->removeChild(node);
    setCurrentNode(parent);            // text that follows starts a node of its own
    RecycleTree(getDocument(), node);  // its nodes serve the elements that follow
}

void CCmlDOMParser::docCharacters(const XMLCh* const chars, const XMLSize_t length,
                                  const bool cdataSection) {
    CheckMemoryBudget();
    if (m_pLimits != nullptr) {
        if (InSkippedContent()) return;
        // The parser library may deliver one text in pieces; they make one node.
        m_uTextRun += length;
        CheckValueLength(m_uTextRun);
        if (!cdataSection && IsXmlSpace(chars, length)) {
            m_pendingSpace.append(chars, length);
            return;
        }
        FlushPendingSpace();
    }
    xercesc::XercesDOMParser::docCharacters(chars, length, cdataSection);
}

void CCmlDOMParser::docComment(const XMLCh* const comment) {
    CheckMemoryBudget();
    if (m_pLimits != nullptr) {
        if (InSkippedContent()) return;
        m_uTextRun = 0;
        CheckValueLength(Length(comment));
        KeepOrDropPendingSpace();
    }
    xercesc::XercesDOMParser::docComment(comment);
}

void CCmlDOMParser::docPI(const XMLCh* const target, const XMLCh* const data) {
    CheckMemoryBudget();
    if (m_pLimits != nullptr) {
        if (InSkippedContent()) return;
        m_uTextRun = 0;
        CheckValueLength(Length(target) + Length(data));
        KeepOrDropPendingSpace();
    }
    xercesc::XercesDOMParser::docPI(target, data);
}

}  // namespace zav::cml
