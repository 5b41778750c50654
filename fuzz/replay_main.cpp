// Feeds saved inputs (the seed corpus and past crashers) to a fuzz target, so that the same
// source runs as an ordinary test without libFuzzer. Arguments: files or directories; a
// directory is walked recursively. A missing path fails: a mistyped one would hide the inputs.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

namespace {

bool replay(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return false;
    }
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::fprintf(stderr, "%s (%zu bytes)\n", file.c_str(), bytes.size());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE|DIR...\n", argv[0]);
        return 2;
    }
    int count = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg = argv[i];
        std::error_code ec;
        if (fs::is_directory(arg, ec)) {
            std::vector<fs::path> files;
            for (const auto& e : fs::recursive_directory_iterator(arg))
                if (e.is_regular_file()) files.push_back(e.path());
            std::sort(files.begin(), files.end()); // a stable order makes failures repeatable
            for (const fs::path& f : files) ok &= replay(f), ++count;
        } else if (fs::is_regular_file(arg, ec)) {
            ok &= replay(arg), ++count;
        } else {
            std::fprintf(stderr, "no such file or directory: %s\n", argv[i]);
            ok = false;
        }
    }
    std::fprintf(stderr, "%d inputs replayed\n", count);
    return ok ? 0 : 1;
}
