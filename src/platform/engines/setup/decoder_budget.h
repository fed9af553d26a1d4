#ifndef VORN_PLATFORM_ENGINES_SETUP_DECODER_BUDGET_H_
#define VORN_PLATFORM_ENGINES_SETUP_DECODER_BUDGET_H_

// How many decoders (each a thread with its own loaded model) the memory at
// hand holds. A decoder per core is the fastest, but a model takes tens of
// megabytes: on a many-core machine, or under an address-space limit
// (ulimit -v), one per core would take far more than a sidecar should, or
// more than it may.

#include <cstdint>
#include <optional>

namespace vorn {

// What one more decoder takes, model and decoding buffers together.
struct DecoderCost {
  std::uint64_t residentBytes = 0;  // memory actually touched
  std::uint64_t addressBytes = 0;   // address space reserved, its thread's stack included
};

// The process's memory now and its limits, as read from the system.
struct MemoryRoom {
  std::uint64_t residentBytes = 0;            // resident now (VmRSS)
  std::optional<std::uint64_t> availableBytes;  // more the machine can give (MemAvailable)
  std::uint64_t addressBytes = 0;             // address space in use now (VmSize)
  std::optional<std::uint64_t> addressLimit;  // RLIMIT_AS, when set
};

// The whole process, models included, keeps its resident memory under this,
// however many cores the machine has.
inline constexpr std::uint64_t kResidentCeiling = 400ull << 20;

// Reads the room from /proc and getrlimit. Fields that cannot be read are
// left empty (or zero), which leaves that bound out.
MemoryRoom measureMemoryRoom();

// The number of decoders to run: `wanted` at most, at least 1 (a transcription
// needs one; should its model not fit, it fails cleanly instead), and no more
// than fit both in `residentCeiling` (and in what the machine has available)
// and in the address-space limit, after `reserveBytes` are set aside for
// everything else the transcription allocates as it goes (audio in flight,
// the reader's buffers).
int decodersThatFit(int wanted, const DecoderCost& cost, const MemoryRoom& room,
                    std::uint64_t residentCeiling = kResidentCeiling,
                    std::uint64_t reserveBytes = 16ull << 20);

}  // namespace vorn

#endif  // VORN_PLATFORM_ENGINES_SETUP_DECODER_BUDGET_H_
