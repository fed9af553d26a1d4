#include "platform/engines/setup/decoder_budget.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "support/test_support.h"

namespace vorn {
namespace {

constexpr std::uint64_t kMb = 1ull << 20;

MemoryRoom room(std::uint64_t residentMb, std::optional<std::uint64_t> availableMb = std::nullopt,
                std::uint64_t addressMb = 0,
                std::optional<std::uint64_t> addressLimitMb = std::nullopt) {
  MemoryRoom result;
  result.residentBytes = residentMb * kMb;
  if (availableMb) result.availableBytes = *availableMb * kMb;
  result.addressBytes = addressMb * kMb;
  if (addressLimitMb) result.addressLimit = *addressLimitMb * kMb;
  return result;
}

struct BudgetCase {
  std::string name;
  int wanted;
  MemoryRoom room;
  int expected;
};

// A decoder taking 80 MB resident and 100 MB of address space; 16 MB kept
// in reserve; a 400 MB resident ceiling.
class DecodersThatFitTest : public ::testing::TestWithParam<BudgetCase> {};

TEST_P(DecodersThatFitTest, CountsWhatFits) {
  const BudgetCase& c = GetParam();
  const DecoderCost cost{.residentBytes = 80 * kMb, .addressBytes = 100 * kMb};
  EXPECT_EQ(decodersThatFit(c.wanted, cost, c.room, 400 * kMb, 16 * kMb), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rooms, DecodersThatFitTest,
    ::testing::Values(
        // (400 - 24 - 16) / 80 = 4.5: a 16-core machine runs 4.
        BudgetCase{"CeilingBoundsManyCores", 16, room(24), 4},
        BudgetCase{"FewCoresBoundBelowCeiling", 2, room(24), 2},
        // The machine has 200 MB left: (24 + 200 - 24 - 16) / 80 = 2.3.
        BudgetCase{"AvailableMemoryBounds", 16,
                   room(24, 200), 2},
        // ulimit -v 400 with 190 MB mapped: (400 - 190 - 16) / 100 = 1.94.
        BudgetCase{"AddressLimitBounds", 16,
                   room(24, std::nullopt, 190, 400), 1},
        // No room at all still runs one decoder: it fails cleanly if it must.
        BudgetCase{"NoRoomStillOne", 16,
                   room(500, std::nullopt, 600, 400), 1},
        BudgetCase{"NoneWantedIsOne", 0, room(0), 1}),
    testing::CaseName());

TEST(MeasureMemoryRoomTest, ReadsThisProcess) {
  const MemoryRoom room = measureMemoryRoom();
  EXPECT_GT(room.residentBytes, 1 * kMb);
  EXPECT_GT(room.addressBytes, room.residentBytes);
  ASSERT_TRUE(room.availableBytes.has_value());
}

}  // namespace
}  // namespace vorn
