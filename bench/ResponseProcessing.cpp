// Response processing (CEventQueryServices::ProcessResponse, callbacks included) beside its
// floor: the same bytes parsed into a DOM by the XML parser, walked, and every result id, name
// and value turned into UTF-8, which is the least any reader of this design has to do.
// Answers come indented (as eq-server writes them) and dense (no whitespace between elements).
// The plain parser of the floor keeps the indentation as text nodes, the library's reader drops
// it, so only the dense answers compare parse with parse.
//   bench_response_processing [benchmark flags]
//   bench_response_processing --once library|floor N [dense]   one warm run inside
//                                              zav_bench_measured, for callgrind --toggle-collect
#include <benchmark/benchmark.h>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "HostileAnswers.h"
#include "event_query/EventQueryServices.h"

namespace {

using xercesc::DOMElement;
using xercesc::DOMNode;

// What the callbacks receive, summed so that nothing is optimised away.
std::size_t g_uDelivered = 0;

int32_t OnBeginSet(uint32_t) { return 0; }
int32_t OnBegin(uint32_t, const char* id) {
    g_uDelivered += std::strlen(id);
    return 0;
}
int32_t OnData(uint32_t, const char*, const char* name, const char* value) {
    g_uDelivered += std::strlen(name) + std::strlen(value);
    return 0;
}
int32_t OnEnd(uint32_t, const char*) { return 0; }
int32_t OnEndSet(uint32_t) { return 0; }

// The service without its dispatch thread: not stopping, so that reading is not cancelled.
class CBenchServices : public CEventQueryServices {
public:
    CBenchServices() { m_bStop = false; }
};

class CLibraryReader {
public:
    CLibraryReader() {
        m_services.RegisterResultSetCallbacks(&OnBeginSet, &OnBegin, &OnData, &OnEnd, &OnEndSet);
    }
    void Read(const std::string& body) {
        if (m_services.ProcessResponse(body.data(), static_cast<uint32_t>(body.size())) != 0) {
            std::fprintf(stderr, "the answer was not read\n");
            std::exit(1);
        }
    }

private:
    CBenchServices m_services;
};

// UTF-16 to UTF-8 into a reused buffer: one pass, no checks beyond pairing.
void ToUtf8(const XMLCh* text, std::string& out) {
    out.clear();
    for (const XMLCh* p = text; *p != 0; ++p) {
        uint32_t c = *p;
        if (c >= 0xD800 && c <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (*++p - 0xDC00);
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
}

class CFloorReader {
public:
    CFloorReader() {
        xercesc::XMLPlatformUtils::Initialize();
        const std::u16string names[] = {u"result-id", u"name", u"value", u"result-data"};
        for (int i = 0; i < 4; ++i) m_names[i] = names[i];
    }
    // A parser of its own per answer, as the library makes one per answer too.
    void Read(const std::string& body) {
        xercesc::XercesDOMParser parser;
        parser.setDoNamespaces(true);
        parser.setValidationScheme(xercesc::XercesDOMParser::Val_Never);
        parser.setLoadExternalDTD(false);
        const xercesc::MemBufInputSource input(reinterpret_cast<const XMLByte*>(body.data()),
                                               body.size(), "answer", false);
        parser.parse(input);
        Walk(parser.getDocument()->getDocumentElement());
    }

private:
    const XMLCh* Name(int i) const { return m_names[i].c_str(); }

    void Walk(const DOMNode* node) {
        for (; node != nullptr; node = node->getNextSibling()) {
            if (node->getNodeType() != DOMNode::ELEMENT_NODE) continue;
            const auto* element = static_cast<const DOMElement*>(node);
            if (xercesc::XMLString::equals(element->getLocalName(), Name(3))) {
                Deliver(element->getAttribute(Name(1)));
                Deliver(element->getAttribute(Name(2)));
                continue;
            }
            const XMLCh* id = element->getAttribute(Name(0));
            if (id != nullptr && *id != 0) Deliver(id);
            Walk(node->getFirstChild());
        }
    }
    void Deliver(const XMLCh* text) {
        ToUtf8(text, m_buffer);
        g_uDelivered += std::strlen(m_buffer.c_str());
    }

    std::u16string m_names[4];
    std::string m_buffer;
};

const std::string& Answer(std::size_t items, bool dense) {
    static std::map<std::pair<std::size_t, bool>, std::string> bodies;
    std::string& body = bodies[{items, dense}];
    if (body.empty()) body = zavHostile::ValidAnswerWithItems(items, dense);
    return body;
}

template <class Reader>
void Run(benchmark::State& state) {
    const std::string& body = Answer(static_cast<std::size_t>(state.range(0)), state.range(1) != 0);
    Reader reader;
    for (auto _ : state) reader.Read(body);
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(body.size()));
}

void BM_ProcessResponse(benchmark::State& state) { Run<CLibraryReader>(state); }
void BM_Floor(benchmark::State& state) { Run<CFloorReader>(state); }

BENCHMARK(BM_ProcessResponse)
    ->ArgsProduct({{100, 1000, 10000}, {0, 1}})
    ->ArgNames({"items", "dense"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Floor)
    ->ArgsProduct({{100, 1000, 10000}, {0, 1}})
    ->ArgNames({"items", "dense"})
    ->Unit(benchmark::kMillisecond);

}  // namespace

// The one call that callgrind counts.
extern "C" __attribute__((noinline)) void zav_bench_measured(void (*run)(void*), void* reader) {
    run(reader);
}

namespace {

template <class Reader>
int Once(std::size_t items, bool dense) {
    const std::string body = zavHostile::ValidAnswerWithItems(items, dense);
    Reader reader;
    reader.Read(body);  // warm: first-use set-up of the parser library and the class factory
    static const std::string* s_body = &body;
    zav_bench_measured([](void* r) { static_cast<Reader*>(r)->Read(*s_body); }, &reader);
    std::printf("bytes %zu items %zu delivered %zu\n", body.size(), items, g_uDelivered);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "--once") == 0) {
        const std::size_t items = std::strtoul(argv[3], nullptr, 10);
        const bool dense = argc == 5 && std::strcmp(argv[4], "dense") == 0;
        if (std::strcmp(argv[2], "library") == 0) return Once<CLibraryReader>(items, dense);
        if (std::strcmp(argv[2], "floor") == 0) return Once<CFloorReader>(items, dense);
        return 2;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
