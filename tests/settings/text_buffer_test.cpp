#include "settings/text_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>

namespace {

struct OwnedBuffer {
  TextBuffer b{};
  ~OwnedBuffer() { ReleaseTextBuffer(&b); }
  int Append(const std::string& s) { return AppendToTextBuffer(&b, s.data(), uint32_t(s.size())); }
  // Capacity, length and free space agree, and everything from `zeroFrom` on is zero.
  void Expect(uint32_t capacity, uint32_t length, uint32_t zeroFrom) const {
    EXPECT_EQ(std::make_tuple(b.capacity, b.length, b.freeSpace, std::all_of(b.data + zeroFrom, b.data + b.capacity, [](char c) { return c == 0; })),
              std::make_tuple(capacity, length, capacity - length, true)) << "capacity, length, free space, zero from " << zeroFrom;
  }
};

TEST(TextBuffer, PrepareAllocatesWholeZeroedStepsOrKeepsWhatFits) {
  const struct { uint32_t request, capacity; } rows[] = {{32767, 32768}, {32768, 32768}, {40000, 65536}, {1048576, 1081344}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.request);
    OwnedBuffer p;
    ASSERT_EQ(InitTextBuffer(&p.b), 0);
    p.Expect(32768, 0, 0);
    ASSERT_EQ(p.Append("abc"), 0);
    ASSERT_EQ(PrepareTextBuffer(&p.b, row.request), 0);
    p.Expect(row.capacity, 0, row.capacity == 32768 ? 3 : 0);  // what fits is kept, not cleared
  }
  EXPECT_EQ(std::make_pair(InitTextBuffer(nullptr), PrepareTextBuffer(nullptr, 1)), std::make_pair(-1, -1));
}

TEST(TextBuffer, AppendGrowsByWholeStepsAndKeepsContent) {
  OwnedBuffer o;  // never initialised: growthStep 0 must not mean "grow by nothing"
  ASSERT_EQ(o.Append("abc"), 0);
  o.Expect(32768, 3, 3);
  const std::string fill(32768 - 50 - 3, 'a');
  ASSERT_EQ(o.Append(fill), 0);
  ASSERT_EQ(o.Append(std::string(100, 'b')), 0);  // 50 bytes free: one whole step more
  o.Expect(65536, 32818, 32818);
  EXPECT_EQ(std::string(o.b.data, 3 + fill.size() + 1), "abc" + fill + "b");
  ASSERT_EQ(o.Append(std::string(o.b.freeSpace, 'c')), 0);
  o.Expect(65536, 65536, 65536);  // exactly the free space needs no growth
  EXPECT_EQ(std::make_tuple(AppendToTextBuffer(&o.b, nullptr, 0), AppendToTextBuffer(&o.b, nullptr, 1), AppendToTextBuffer(nullptr, "a", 1)),
            std::make_tuple(0, -1, -1));
  EmptyTextBuffer(&o.b);
  o.Expect(65536, 0, 65536);
  ReleaseTextBuffer(&o.b);  // a released buffer starts its storage again on the next append
  EXPECT_EQ(o.b.data, nullptr);
  ASSERT_EQ(o.Append("xy"), 0);
  o.Expect(32768, 2, 2);
}

}  // namespace
