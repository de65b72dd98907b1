// Early reading of a bounded read: the registered reader sees every element of an untrusted
// document as soon as the parser has finished it, while the rest of the document is still being
// parsed. When the reader has taken all it needs from the element it says so, and the parser
// takes the element out of the tree and recycles its nodes for the elements that follow. The
// tree of a long answer then holds a few of its result items at a time instead of all of them.
//
// A reader may only take elements that nothing else reads from the tree, and must keep what it
// read in the read scope, filed under the element that held them, for the object that reads that
// element later.
#pragma once

#include "cml/CmlDOM_Element.h"
#include "cml/CmlReadLimits.h"

namespace zav::cml {

// True when the reader read the element, which then leaves the tree. parent is the element's
// parent node in the tree.
using EarlyElementReader = bool (*)(const CCmlDOM_Element& element, const CCmlDOM_Node& parent,
                                    CCmlReadScope& scope);

// Process-wide; set once, when the classes whose elements it reads are registered.
void SetEarlyElementReader(EarlyElementReader reader);
EarlyElementReader GetEarlyElementReader();

}  // namespace zav::cml
