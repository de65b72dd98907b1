// Gives the nodes of a tree taken out of a parsed document back to the document, whose parser
// then builds the nodes that follow from them. The XML library's own release of an element
// keeps its attributes and their values (most of a tree of short elements) and costs more than
// building the nodes did; this one recycles every element, attribute and text node of the tree
// for a few instructions each. Nodes of other kinds stay where they are until the document goes.
#pragma once

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMNode.hpp>

namespace zav::cml {

// root must be out of its document's tree already, built by a parser with namespaces on, and
// never be used again, nor anything below it.
void RecycleTree(xercesc::DOMDocument* document, xercesc::DOMNode* root);

}  // namespace zav::cml
