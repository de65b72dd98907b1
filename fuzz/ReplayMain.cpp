// Runs a fuzz target once over every file named on the command line, or inside a folder named
// there, in name order. Builds without libFuzzer use it to replay the committed corpora as
// tests; a broken property aborts, so the test fails with the file name on stderr.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "FuzzSupport.h"

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (!std::filesystem::is_directory(argv[i])) {
            inputs.emplace_back(argv[i]);
            continue;
        }
        for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
            if (entry.is_regular_file()) inputs.push_back(entry.path());
        }
    }
    std::sort(inputs.begin(), inputs.end());
    // An empty or missing corpus must not pass as a clean replay.
    if (inputs.empty()) {
        std::fprintf(stderr, "usage: %s file-or-folder...: no input files found\n", argv[0]);
        return 2;
    }
    for (const auto& path : inputs) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cannot read %s\n", path.c_str());
            return 2;
        }
        std::fprintf(stderr, "running %s\n", path.c_str());
        // Exactly the file's size, so that reads past the end are caught under ASan.
        const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), {});
        static const uint8_t kNoBytes = 0;  // libFuzzer never passes a null pointer either
        LLVMFuzzerTestOneInput(data.empty() ? &kNoBytes : data.data(), data.size());
    }
    std::fprintf(stderr, "%zu inputs replayed\n", inputs.size());
    return 0;
}
