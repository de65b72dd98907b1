// Answers a hostile or broken Event Query Server may send, one generator per attack class, each
// built to about the size asked for. Shared by the hostile-server tests and the benchmark of
// reading rates.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zavHostile {

struct CAnswerClass {
    const char* name;
    // The answer, about size bytes long (some classes have a fixed size).
    std::string (*make)(std::size_t size);
    // True when a reader must refuse it; false when it is an answer to be read in full.
    bool refused;
};

// Valid answer with exactly count items of eight realistic name/value pairs each, its count
// attribute saying so; dense: no whitespace between the elements of the items.
std::string ValidAnswerWithItems(std::size_t count, bool dense = false);

// Every attack class, the valid answer first.
const std::vector<CAnswerClass>& AnswerClasses();
const CAnswerClass* FindAnswerClass(const std::string& name);

}  // namespace zavHostile
