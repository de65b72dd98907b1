#include "HostileAnswers.h"

#include <iconv.h>

#include <stdexcept>

namespace zavHostile {

namespace {

const std::string kBase = "http://schemas.zav.example.org";
const std::string kEqNamespace = kBase + "/cml/Message/EventQueryMessages";

std::string MessageStart(
    const std::string& declaration = "<?xml version='1.0' encoding='UTF-8'?>\n") {
    return declaration + "<zav xmlns='" + kBase + "' schema-version='1.0.1'>\n <cml xmlns='" +
           kBase +
           "/cml/Message' schema-version='1.0.0'>\n  <message-envelope broadcast='false' "
           "message-id='m-1'>\n   <message-body>\n";
}
const char kMessageEnd[] = "   </message-body>\n  </message-envelope>\n </cml>\n</zav>\n";

std::string ResponseStart() {
    return "    <response>\n     <get-vulnerabilities-response xmlns='" + kEqNamespace +
           "' schema-version='1.0.0' request-id='r-1' count='0'>\n";
}
const char kResponseEnd[] = "     </get-vulnerabilities-response>\n    </response>\n";

// A message whose one response holds one item wrapping content.
std::string InOneItem(const std::string& content) {
    return MessageStart() + ResponseStart() + "      <vulnerability-item result-id='1'>\n" +
           content + "      </vulnerability-item>\n" + kResponseEnd + kMessageEnd;
}

std::string Repeat(const std::string& unit, std::size_t size) {
    std::string text;
    text.reserve(size + unit.size());
    while (text.size() < size) text += unit;
    return text;
}

std::string Convert(const std::string& utf8, const char* encoding) {
    iconv_t cd = iconv_open(encoding, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no iconv for encoding");
    std::string out(utf8.size() * 4 + 16, '\0');
    char *in = const_cast<char*>(utf8.data()), *dst = out.data();
    std::size_t inLeft = utf8.size(), outLeft = out.size();
    const std::size_t done = iconv(cd, &in, &inLeft, &dst, &outLeft);
    iconv_close(cd);
    if (done == static_cast<std::size_t>(-1)) throw std::runtime_error("iconv failed");
    out.resize(out.size() - outLeft);
    return out;
}

// A message declaring its encoding and a document type dtd, whose one pair's value is value;
// written in encoding ("": as UTF-8; UTF-16LE and UTF-16BE carry no byte order mark, UTF-16 does).
std::string WithDoctype(const std::string& declared, const std::string& dtd, const char* value,
                        const char* encoding) {
    const std::string text = MessageStart("<?xml version='1.0' encoding='" + declared +
                                          "'?>\n<!DOCTYPE zav [" + dtd + "]>\n") +
                             ResponseStart() +
                             "<vulnerability-item result-id='1'><result-data name='a' value='" +
                             value + "'/></vulnerability-item>\n" + kResponseEnd + kMessageEnd;
    return *encoding != '\0' ? Convert(text, encoding) : text;
}

// An internal entity, a default attribute and a reference to the entity.
std::string Doctype(const std::string& declared, const char* encoding = "") {
    return WithDoctype(declared,
                       "<!ENTITY e 'injected'><!ATTLIST result-data extra CDATA 'injected'>", "&e;",
                       encoding);
}

std::string EntityBomb(std::size_t) {
    std::string dtd = "<!ENTITY l0 'lollollollollollollollollollol'>";
    for (int i = 1; i <= 9; ++i) {
        dtd += "<!ENTITY l" + std::to_string(i) + " '";
        for (int j = 0; j < 10; ++j) dtd += "&l" + std::to_string(i - 1) + ";";
        dtd += "'>";
    }
    return WithDoctype("UTF-16", dtd, "&l9;", "UTF-16");
}

// Indented (as a server that pretty-prints writes it) or dense: no whitespace between elements,
// the most tree per byte that a valid answer holds.
std::string Pair(bool dense, const char* name, const std::string& value) {
    return std::string(dense ? "" : "        ") + "<result-data name='" + name + "' value='" +
           value + "'/>" + (dense ? "" : "\n");
}

std::string Item(std::size_t i, bool dense = false) {
    const std::string id = std::to_string(i);
    const bool d = dense;
    return (d ? "" : "      ") + std::string("<vulnerability-item result-id='") + id + "'>" +
           (d ? "" : "\n") + Pair(d, "vuln-id", "CVE-2024-" + std::to_string(10000 + i % 90000)) +
           Pair(d, "name", "Remote code execution in example service " + id) +
           Pair(d, "severity", std::to_string(i % 10)) + Pair(d, "port", "443/tcp") +
           Pair(d, "host", "10.0." + std::to_string(i % 256) + "." + std::to_string(i % 200)) +
           Pair(d, "first-seen", "2026-11-01T10:15:00Z") +
           Pair(d, "last-seen", "2026-12-01T08:00:00Z") + Pair(d, "fixed", "false") +
           (d ? "</vulnerability-item>" : "      </vulnerability-item>\n");
}

std::string NestedMessages(std::size_t size) {
    const std::string level = "<response>" + MessageStart("");
    const std::string close = std::string(kMessageEnd) + "</response>";
    std::string open, shut;
    while (open.size() + shut.size() < size) {
        open += level;
        shut += close;
    }
    return MessageStart() + open + shut + kMessageEnd;
}

std::string DeepNesting(std::size_t size) {
    const std::size_t levels = size / 7;
    return InOneItem(Repeat("<a>", levels * 3) + Repeat("</a>", levels * 4));
}

std::string ManyAttributes(std::size_t size) {
    std::string attributes;
    for (std::size_t i = 0; attributes.size() < size; ++i) {
        attributes += " a" + std::to_string(i) + "=''";
    }
    return InOneItem("<result-data name='a' value='1'" + attributes + "/>\n");
}

// Empty blocks, then one empty response, so that a complete read shows.
std::string ManyBlocks(std::size_t size) {
    return MessageStart() + Repeat("<response/>", size) + ResponseStart() + kResponseEnd +
           kMessageEnd;
}

std::string TinyElements(std::size_t size) { return InOneItem(Repeat("<a/>", size)); }

// The most pairs per byte: each an empty pair.
std::string TinyPairs(std::size_t size) { return InOneItem(Repeat("<result-data/>", size)); }

// Items of one pair and one element of a vendor's own (extension content, to be skipped).
std::string UnknownChildItems(std::size_t size) {
    std::string items;
    for (std::size_t i = 1; items.size() < size; ++i) {
        const std::string id = std::to_string(i);
        items += "      <vulnerability-item result-id='" + id +
                 "'><result-data name='severity' value='" + id +
                 "'/><vendor-note xmlns='urn:example:vendor'>checked</vendor-note>"
                 "</vulnerability-item>\n";
    }
    return MessageStart() + ResponseStart() + items + kResponseEnd + kMessageEnd;
}

std::string HugeValue(std::size_t size) {
    return InOneItem("<result-data name='a' value='" + std::string(size, 'v') + "'/>\n");
}

std::string ManyItems(std::size_t size) {
    return MessageStart() + ResponseStart() + Repeat("<vulnerability-item result-id='1'/>", size) +
           kResponseEnd + kMessageEnd;
}

// Items of eight pairs until size; dense: no whitespace between elements.
std::string Items(std::size_t size, bool dense) {
    std::string items;
    items.reserve(size + 1024);
    for (std::size_t i = 1; items.size() < size; ++i) items += Item(i, dense);
    return MessageStart() + ResponseStart() + items + kResponseEnd + kMessageEnd;
}

}  // namespace

std::string ValidAnswerWithItems(std::size_t count, bool dense) {
    std::string items;
    for (std::size_t i = 1; i <= count; ++i) items += Item(i, dense);
    std::string start = ResponseStart();
    start.replace(start.find("count='0'"), 9, "count='" + std::to_string(count) + "'");
    return MessageStart() + start + items + kResponseEnd + kMessageEnd;
}

const std::vector<CAnswerClass>& AnswerClasses() {
    static const std::vector<CAnswerClass> classes = {
        {"valid", [](std::size_t size) { return Items(size, false); }, false},
        {"dense-valid", [](std::size_t size) { return Items(size, true); }, false},
        {"nested-messages", &NestedMessages, true},
        {"doctype-utf8", [](std::size_t) { return Doctype("UTF-8"); }, true},
        {"doctype-utf16le", [](std::size_t) { return Doctype("UTF-16", "UTF-16LE"); }, true},
        {"doctype-utf16be", [](std::size_t) { return Doctype("UTF-16", "UTF-16BE"); }, true},
        {"doctype-utf16-bom", [](std::size_t) { return Doctype("UTF-16", "UTF-16"); }, true},
        {"doctype-ucs4", [](std::size_t) { return Doctype("ISO-10646-UCS-4", "UCS-4"); }, true},
        {"doctype-ebcdic", [](std::size_t) { return Doctype("ebcdic-cp-us", "IBM037"); }, true},
        {"entity-bomb-utf16", &EntityBomb, true},
        {"deep-nesting", &DeepNesting, true},
        {"many-attributes", &ManyAttributes, true},
        {"many-blocks", &ManyBlocks, false},
        {"tiny-elements", &TinyElements, false},
        {"tiny-pairs", &TinyPairs, false},
        {"unknown-child-items", &UnknownChildItems, false},
        {"huge-value", &HugeValue, true},
        {"many-items", &ManyItems, true},
    };
    return classes;
}

const CAnswerClass* FindAnswerClass(const std::string& name) {
    for (const CAnswerClass& entry : AnswerClasses())
        if (name == entry.name) return &entry;
    return nullptr;
}

}  // namespace zavHostile
