// Replays the fuzzer's corpus (seed archives and inputs that once broke the reader) through the
// fuzz target in the normal build, so that the sanitizer build checks them too.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

TEST(ArchiveReaderCorpus, EveryInputReadsCleanly) {
    const char* source = std::getenv("TAVISK_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    const std::filesystem::path corpus = std::filesystem::path(source) / "tests/plg/fuzz/corpus";
    int inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        const std::string data = bytes.str();
        SCOPED_TRACE(entry.path().filename().string());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
        ++inputs;
    }
    EXPECT_GE(inputs, 10);
}
