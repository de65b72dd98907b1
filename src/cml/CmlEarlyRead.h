// Early reading of a bounded read: the registered reader sees the start tag of every element of
// an untrusted document below an element it knows, before the element is built, and may take
// what it needs from the start tag alone (the element then never enters the tree) or say that
// nothing in the element is of use to any reader. The tree of a long answer then holds its
// frame (envelope, blocks, responses) and none of its result items.
//
// A reader may only take elements that nothing else reads from the tree, and must keep what it
// read in the read scope, filed under the element in the tree that held them, for the object
// that reads that element later.
#pragma once

#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/framework/XMLAttr.hpp>
#include <xercesc/util/RefVectorOf.hpp>

#include "cml/CmlReadLimits.h"

namespace zav::cml {

// What the start tag reader makes of an element (besides the sort of a taken element, > 0).
constexpr int kStartTagBuilt = 0;     // it goes into the tree
constexpr int kStartTagLeftOut = -1;  // extension content, or read in full from its start tag

// Decides at its start tag whether an element is left out of the tree: when nothing in it is of
// use to any reader (extension content), or when the reader takes it from the start tag (scope
// is null outside a bounded read). A taken element (Read returns its sort, > 0) is not built
// either, but its children are offered to Read with that sort as their parent's. The parser
// builds nothing below an element left out or taken but the blocks of a compound message
// (looked for at any depth below its body), which go to the nearest element built. It asks
// SortNamespace once per namespace of a document, SortParent once per run of children of an
// element in the tree, and Read only about children of a parent sorted other than 0; parent is
// the nearest element built. Process-wide, set when the vocabulary is registered.
struct CStartTagReader {
    int (*SortNamespace)(const XMLCh* namespaceURI);
    int (*SortParent)(const xercesc::DOMNode* parent);
    int (*Read)(int parentSort, const xercesc::DOMNode* parent, int namespaceSort,
                const XMLCh* qualifiedName,
                const xercesc::RefVectorOf<xercesc::XMLAttr>& attributes, XMLSize_t count,
                CCmlReadScope* scope);
};
void SetStartTagReader(const CStartTagReader* reader);
const CStartTagReader* GetStartTagReader();

// The namespaces of the compound message: base + /cml and base + /cml/Message.
bool IsMessageNamespace(const XMLCh* namespaceURI);
// A request or response block of a compound message (namespace already found to be one).
bool IsBlockName(const XMLCh* localName);
// The message body: its reader looks for blocks below it and for nothing else.
bool IsMessageBody(const xercesc::DOMNode* node);
// A block without an element in it: reading it finds nothing.
bool IsEmptyBlock(const xercesc::DOMNode* node);

// The envelope's frame, of which the message reads only some children: below the envelope its
// source, destinations and body; below a source or destination its groups; below a group nothing.
constexpr int kFrameNone = 0;
constexpr int kFrameEnvelope = -2;
constexpr int kFrameAgent = -3;
constexpr int kFrameGroup = -4;
int FrameSort(const xercesc::DOMNode* parent);
// Whether a child of a frame element of that sort is read (so built).
bool IsReadInFrame(int frameSort, const XMLCh* namespaceURI, const XMLCh* localName,
                   const XMLCh* qualifiedName);

}  // namespace zav::cml
