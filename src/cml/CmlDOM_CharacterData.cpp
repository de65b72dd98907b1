#include "cml/CmlDOM_CharacterData.h"

#include "cml/CmlDOM_Support.h"

namespace zav::cml {

using dom_detail::XStr;
using xercesc::DOMCharacterData;
using xercesc::DOMNode;
using xercesc::DOMText;

bool CCmlDOM_CharacterData::Accepts(const DOMNode* node) const {
    const auto type = node->getNodeType();
    return type == DOMNode::TEXT_NODE || type == DOMNode::CDATA_SECTION_NODE ||
           type == DOMNode::COMMENT_NODE;
}
void CCmlDOM_CharacterData::appendData(const wchar_t* arg) {
    Held<DOMCharacterData>(__func__)->appendData(XStr(arg));
}
void CCmlDOM_CharacterData::deleteData(std::size_t offset, std::size_t count) {
    Held<DOMCharacterData>(__func__)->deleteData(offset, count);
}
const wchar_t* CCmlDOM_CharacterData::getData() const {
    return Result(Held<DOMCharacterData>(__func__)->getData());
}
std::size_t CCmlDOM_CharacterData::getLength() const {
    return Held<DOMCharacterData>(__func__)->getLength();
}
void CCmlDOM_CharacterData::insertData(std::size_t offset, const wchar_t* arg) {
    Held<DOMCharacterData>(__func__)->insertData(offset, XStr(arg));
}
void CCmlDOM_CharacterData::replaceData(std::size_t offset, std::size_t count, const wchar_t* arg) {
    Held<DOMCharacterData>(__func__)->replaceData(offset, count, XStr(arg));
}
void CCmlDOM_CharacterData::setData(const wchar_t* data) {
    Held<DOMCharacterData>(__func__)->setData(XStr(data));
}
const wchar_t* CCmlDOM_CharacterData::substringData(std::size_t offset, std::size_t count) const {
    return Result(Held<DOMCharacterData>(__func__)->substringData(offset, count));
}
ZAV_CML_DOM_NARROW(CCmlDOM_CharacterData, getData)

bool CCmlDOM_Text::Accepts(const DOMNode* node) const {
    return node->getNodeType() == DOMNode::TEXT_NODE;
}
bool CCmlDOM_Text::getIsWhitespaceInElementContent() const {
    return Held<DOMText>(__func__)->getIsElementContentWhitespace();
}
const wchar_t* CCmlDOM_Text::getWholeText() const {
    return Result(Held<DOMText>(__func__)->getWholeText());
}
bool CCmlDOM_Text::isIgnorableWhitespace() const {
    return Held<DOMText>(__func__)->isIgnorableWhitespace();
}
CCmlDOM_Text CCmlDOM_Text::replaceWholeText(const wchar_t* content) {
    return CCmlDOM_Text(Held<DOMText>(__func__)->replaceWholeText(XStr(content)));
}
CCmlDOM_Text CCmlDOM_Text::splitText(std::size_t offset) {
    return CCmlDOM_Text(Held<DOMText>(__func__)->splitText(offset));
}
ZAV_CML_DOM_NARROW(CCmlDOM_Text, getWholeText)

bool CCmlDOM_CDATASection::Accepts(const DOMNode* node) const {
    return node->getNodeType() == DOMNode::CDATA_SECTION_NODE;
}

bool CCmlDOM_Comment::Accepts(const DOMNode* node) const {
    return node->getNodeType() == DOMNode::COMMENT_NODE;
}

}  // namespace zav::cml
