// Replays inputs through a fuzz target's entry function without libFuzzer, so that the committed
// reproducers and the seed corpus run as ordinary tests in every build.
//
//   replay_fuzz_<target> PATH...   each PATH a file, or a folder whose files are all replayed (recursively,
//                                  hidden files left out)
//
// A fault shows as a crash or an abort inside the entry function. The exit code is 1 when a path cannot be
// read or when no input was found at all, so that a mistyped path cannot pass as an empty success.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

bool ReadWhole(const fs::path& file, std::vector<uint8_t>& bytes) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// The files named, those below folders in path order, so that runs are repeatable.
bool CollectInputs(const fs::path& path, std::vector<fs::path>& inputs) {
    std::error_code error;
    if (fs::is_regular_file(path, error)) {
        inputs.push_back(path);
        return true;
    }
    if (!fs::is_directory(path, error)) {
        std::fprintf(stderr, "replay: no such file or folder: %s\n", path.string().c_str());
        return false;
    }
    std::vector<fs::path> found;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(path, error)) {
        // Hidden files (.keep, editor leftovers) are no inputs.
        if (entry.is_regular_file() && entry.path().filename().string().rfind('.', 0) != 0) {
            found.push_back(entry.path());
        }
    }
    if (error) {
        std::fprintf(stderr, "replay: cannot list %s: %s\n", path.string().c_str(), error.message().c_str());
        return false;
    }
    std::sort(found.begin(), found.end());
    inputs.insert(inputs.end(), found.begin(), found.end());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<fs::path> inputs;
    bool allFound = true;
    for (int i = 1; i < argc; ++i) {
        allFound = CollectInputs(argv[i], inputs) && allFound;
    }
    if (!allFound || inputs.empty()) {
        std::fprintf(stderr, "replay: %s\n", inputs.empty() ? "no inputs" : "some inputs are missing");
        return 1;
    }
    std::vector<uint8_t> bytes;
    for (const fs::path& input : inputs) {
        if (!ReadWhole(input, bytes)) {
            std::fprintf(stderr, "replay: cannot read %s\n", input.string().c_str());
            return 1;
        }
        // Printed before the run, so that the last line names the input of a crash.
        std::fprintf(stderr, "replay: %s (%zu bytes)\n", input.string().c_str(), bytes.size());
        // An exact-size copy, as libFuzzer hands its inputs: a read past the end is a sanitizer report.
        const std::vector<uint8_t> exact(bytes);
        LLVMFuzzerTestOneInput(exact.data(), exact.size());
    }
    std::fprintf(stderr, "replay: %zu inputs replayed\n", inputs.size());
    return 0;
}
