// Reads what Wine's own reg tool wrote into a real prefix; real_wine_test.sh sets
// the values up and names the prefix in VELMOTH_REAL_WINE_PREFIX.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "config/local_path.h"
#include "config/queue_locations.h"

namespace velmoth {
namespace {

TEST(RealWine, ReadsThe32BitViewFirstThenThe64BitOne) {
  const char* prefix = ::getenv("VELMOTH_REAL_WINE_PREFIX");
  ASSERT_NE(prefix, nullptr) << "run by real_wine_test.sh";
  ::setenv("WINEPREFIX", prefix, 1);
  EXPECT_EQ(GetBadMailDirectory(), "C:\\Mail\\Bad M\u00e4il 32");
  EXPECT_EQ(GetOutboundQueueDirectory(), "%SystemDrive%\\Mail\\Outbound");
  EXPECT_TRUE(std::filesystem::is_directory(LocalDirectoryPath("C:\\windows\\system32")));
}

}  // namespace
}  // namespace velmoth
