// Writing and copying arbitrary DOM subtrees held in the DOM wrappers.
#pragma once

#include <cstdint>
#include <ostream>

#include "cml/CmlDOM_Element.h"
#include "cml/CmlDOM_Node.h"

namespace zav::cml::XmlUtils {

// Writes node and its subtree: elements with their attributes (escaped, schema defaults only when
// the default-values switch is on) and a namespace declaration where the namespace changes,
// text (escaped; white-space-only text is dropped), CDATA sections and comments. Formatted output
// puts each node on a line of its own at the indentation of its level; an element holding only
// text keeps it on the line of its tags. Unformatted output writes everything back to back.
// The narrow form writes UTF-8. DOM errors raise CCmlException ("Serializing formatted content"
// or "Serializing unformatted content").
void SerializeNode(const CCmlDOM_Node& node, std::wostream& os, bool formatted = true,
                   uint32_t level = 0);
void SerializeNode(const CCmlDOM_Node& node, std::ostream& os, bool formatted = true,
                   uint32_t level = 0);
// The same into a file, whose folder is created first (see WriteToFile).
void SerializeNode(const CCmlDOM_Node& node, const char* path, bool formatted = true);
void SerializeNode(const CCmlDOM_Node& node, const wchar_t* path, bool formatted = true);

// A deep copy of node as the document element of a new document of its own; a null node gives a
// null element. The new document is not released here: the caller releases it through the
// returned element's getOwnerDocument(). DOM errors raise CCmlException
// ("XmlUtils::CopyDOMNode").
CCmlDOM_Element CopyDOMNode(const CCmlDOM_Node& node);

}  // namespace zav::cml::XmlUtils
