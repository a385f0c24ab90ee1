// Seeded mutation fuzzing of the two decoders of bytes that arrive from other programs, the
// record of copied items and item-ID lists, with their memory bounded: whatever a record's
// offsets point at, what it decodes to is never bigger than the record, and the memory a decoded
// input holds stays below 256 MiB (the heap in use; without AddressSanitizer, whose quarantine
// keeps freed blocks resident, also the peak resident size). DASHTUNE_FUZZ_ITERATIONS and DASHTUNE_FUZZ_SEED
// lengthen or vary the run (scripts/fuzz).
#include "platform/com/com_init.h"
#include "platform/shell/cida.h"
#include "platform/shell/shell.h"

#include <gtest/gtest.h>

#include <malloc.h>
#include <sys/resource.h>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's count of the heap in use (its header is not always installed).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

#include "fuzz_mutations.h"

namespace win {
namespace {

namespace fs = std::filesystem;
namespace fuzz = dashtune::fuzz;
using fuzz::Bytes;

constexpr std::uint64_t kDefaultIterations = 30000;
constexpr std::uint64_t kDefaultSeed = 20261208;
constexpr std::size_t kMemoryBound = std::size_t{256} << 20;

std::size_t PeakResidentBytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<std::size_t>(usage.ru_maxrss) * 1024;
}

std::size_t HeapInUse() {
#if defined(__SANITIZE_ADDRESS__)
  return __sanitizer_get_current_allocated_bytes();
#else
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
#endif
}

// The most the heap grew by over a baseline, sampled while decoded inputs are alive.
class MemoryWatch {
 public:
  MemoryWatch() : heap_(HeapInUse()), resident_(PeakResidentBytes()) {}
  void Sample() { most_ = std::max(most_, HeapInUse() > heap_ ? HeapInUse() - heap_ : 0); }
  void ExpectBounded() const {
    EXPECT_LT(most_, kMemoryBound);
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(PeakResidentBytes() - resident_, kMemoryBound);
#endif
  }

 private:
  std::size_t heap_;
  std::size_t resident_;
  std::size_t most_ = 0;
};

struct OwnedList {
  explicit OwnedList(LPITEMIDLIST value) : list(value) {}
  OwnedList(const OwnedList&) = delete;
  ~OwnedList() { CoTaskMemFree(list); }
  LPITEMIDLIST list;
};

Bytes BytesOf(LPCITEMIDLIST list) {
  const auto* at = reinterpret_cast<const BYTE*>(list);
  return Bytes(at, at + item_ids::ListSize(list));
}

void WriteWord(Bytes& record, std::size_t at, UINT value) {
  for (std::size_t i = 0; i < 4; ++i) record[at + i] = static_cast<BYTE>(value >> (8 * i));
}

// A record whose `members` offsets all point at one list of nearly 64 KiB: small, but copying
// every member would take members times that.
Bytes AmplifyingRecord(UINT members) {
  item_ids::ItemId folder;
  folder.kind = item_ids::ItemKind::Folder;
  folder.name = std::string(200, 'n');
  const OwnedList big(item_ids::MakeList(std::vector<item_ids::ItemId>(250, folder)));
  const Bytes list = BytesOf(big.list);
  const std::size_t table_end = 4 * (static_cast<std::size_t>(members) + 2);
  Bytes record(table_end);
  WriteWord(record, 0, members);
  for (UINT i = 0; i <= members; ++i) WriteWord(record, 4 * (i + 1), static_cast<UINT>(table_end));
  record.insert(record.end(), list.begin(), list.end());
  return record;
}

// Points several offsets of a record's table at the same place, as a hostile record does.
void RepointOffsets(Bytes& record, fuzz::Random& rng) {
  if (record.size() < 12) return;
  const std::size_t words = record.size() / 4;
  const std::size_t from = 1 + fuzz::Pick(rng, words - 1);
  const std::size_t to = 1 + fuzz::Pick(rng, words - 1);
  std::copy_n(record.begin() + static_cast<std::ptrdiff_t>(4 * from), 4, record.begin() + static_cast<std::ptrdiff_t>(4 * to));
}

void Mutate(Bytes& bytes, fuzz::Random& rng) {
  static constexpr std::uint8_t kInteresting[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 0x2C, 0x2F, 0x7F, 0x80, 0xFF};
  const int edits = 1 + static_cast<int>(fuzz::Pick(rng, 4));
  for (int e = 0; e < edits; ++e) {
    if (bytes.empty()) bytes.push_back(0);
    switch (fuzz::Pick(rng, 8)) {
      case 0: fuzz::FlipBit(bytes, rng); break;
      case 1: fuzz::SetInterestingByte(bytes, rng, kInteresting); break;
      case 2: fuzz::SetRandomByte(bytes, rng); break;
      case 3: fuzz::Truncate(bytes, rng); break;
      case 4: fuzz::InsertByte(bytes, rng); break;
      case 5: fuzz::EraseByte(bytes, rng); break;
      case 6: fuzz::CopyRun(bytes, rng, 64); break;
      default: RepointOffsets(bytes, rng); break;
    }
  }
}

class ItemIdsAndCidaFuzzTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::path(getenv("HOME")) / "decoder-fuzz";
    fs::create_directories(root_ / "a/sub");
    std::ofstream(root_ / "a/x") << "x";
  }
  void TearDown() override { fs::remove_all(root_); }
  fs::path root_;
};

TEST_F(ItemIdsAndCidaFuzzTest, ARecordPointingAllItsMembersAtOneListIsRefusedWithoutCopyingThem) {
  MemoryWatch memory;
  // 8192 copies of a 60 KiB list would be 480 MiB.
  const Bytes record = AmplifyingRecord(8192);
  cida::Error error = cida::Error::None;
  const std::optional<cida::Record> decoded = cida::Decode(record.data(), record.size(), &error);
  memory.Sample();
  EXPECT_FALSE(decoded);
  EXPECT_EQ(error, cida::Error::OverlappingLists);
  memory.ExpectBounded();
  // One member, side by side with its parent, is a record.
  const Bytes single = AmplifyingRecord(1);
  EXPECT_FALSE(cida::Decode(single.data(), single.size(), &error));
  EXPECT_EQ(error, cida::Error::OverlappingLists);
}

TEST_F(ItemIdsAndCidaFuzzTest, FuzzedRecordsAndListsDecodeWithinTheirOwnSize) {
  const OwnedList folder(shell_model::PathToList((root_ / "a").string()));
  const OwnedList file(shell_model::PathToList((root_ / "a/x").string()));
  const OwnedList child(item_ids::MakeList({*shell_model::FileIdAt((root_ / "a/sub").string())}));
  const LPCITEMIDLIST relatives[] = {child.list, child.list, child.list};
  const LPCITEMIDLIST absolutes[] = {file.list, folder.list};
  const std::vector<Bytes> records = {*cida::Encode(folder.list, relatives), *cida::Encode(nullptr, absolutes),
                                      AmplifyingRecord(64)};
  const std::vector<Bytes> lists = {BytesOf(folder.list), BytesOf(file.list), BytesOf(child.list)};
  const std::uint64_t iterations = fuzz::EnvNumber("DASHTUNE_FUZZ_ITERATIONS", kDefaultIterations);
  fuzz::Random rng(fuzz::EnvNumber("DASHTUNE_FUZZ_SEED", kDefaultSeed));
  MemoryWatch memory;
  int records_decoded = 0, lists_valid = 0;
  for (std::uint64_t i = 0; i < iterations; ++i) {
    const bool record_round = i % 2 == 0;
    const std::vector<Bytes>& seeds = record_round ? records : lists;
    Bytes bytes = seeds[fuzz::Pick(rng, seeds.size())];
    Mutate(bytes, rng);
    // Exactly the bytes that are there, so that AddressSanitizer sees any read past them.
    const std::unique_ptr<BYTE[]> block(new BYTE[bytes.size() + 1]);
    std::copy(bytes.begin(), bytes.end(), block.get());
    if (record_round) {
      const std::optional<cida::Record> record = cida::Decode(block.get(), bytes.size());
      memory.Sample();
      if (!record) continue;
      ++records_decoded;
      std::size_t decoded = record->parent.size();
      for (const std::vector<BYTE>& member : record->members) decoded += member.size();
      ASSERT_LE(decoded, bytes.size()) << "iteration " << i;
      if (record->members.size() <= 4) cida::ResolveMembers(*record);
      continue;
    }
    std::size_t size = 0;
    if (item_ids::ValidateList(block.get(), bytes.size(), &size) != item_ids::ListError::None) continue;
    ++lists_valid;
    const auto* list = reinterpret_cast<LPCITEMIDLIST>(block.get());
    ASSERT_EQ(item_ids::ListSize(list), size) << "iteration " << i;
    ASSERT_LE(item_ids::ListCount(list) * item_ids::kHeaderSize, size);
    const OwnedList copy(item_ids::CopyList(list));
    ASSERT_NE(copy.list, nullptr);
    EXPECT_EQ(BytesOf(copy.list), Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size)));
    shell_model::Resolve(list);
  }
  EXPECT_GT(records_decoded, 100);
  EXPECT_GT(lists_valid, 100);
  memory.ExpectBounded();
}

}  // namespace
}  // namespace win
