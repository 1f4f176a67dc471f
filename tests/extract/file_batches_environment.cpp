// The suite runs twice (see CMakeLists.txt): with small entries written in batches where the system can, and,
// with PARLIVEX_TEST_FILE_BATCHES=refused, one by one as where it cannot. Both must pass alike.
#include <cstdlib>
#include <string_view>

#include <gtest/gtest.h>

#include "platform/file_batch.h"

namespace {

class FileBatchesEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        const char* setting = std::getenv("PARLIVEX_TEST_FILE_BATCHES");
        platform::SetFileBatchesRefusedForTesting(setting != nullptr &&
                                                  std::string_view(setting) == "refused");
    }
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new FileBatchesEnvironment);

} // namespace
