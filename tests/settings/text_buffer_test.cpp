#include "settings/text_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

struct OwnedBuffer {
  TextBuffer b{};
  ~OwnedBuffer() { ReleaseTextBuffer(&b); }
  int Append(const std::string& s) { return AppendToTextBuffer(&b, s.data(), uint32_t(s.size())); }
  void ExpectSize(uint32_t capacity, uint32_t length) const {
    EXPECT_EQ(b.capacity, capacity);
    EXPECT_EQ(b.length, length);
    EXPECT_EQ(b.freeSpace, capacity - length);
  }
  bool ZeroFrom(uint32_t from) const {
    return std::all_of(b.data + from, b.data + b.capacity, [](char c) { return c == 0; });
  }
};

TEST(TextBuffer, InitAndPrepareAllocateWholeZeroedSteps) {
  OwnedBuffer o;
  ASSERT_EQ(InitTextBuffer(&o.b), 0);
  o.ExpectSize(32768, 0);
  EXPECT_EQ(o.b.growthStep, 32768u);
  EXPECT_TRUE(o.ZeroFrom(0));

  // Storage that already fits is kept as it is, only emptied.
  o.b.data[5] = 'x';
  ASSERT_EQ(o.Append("abc"), 0);
  char* before = o.b.data;
  ASSERT_EQ(PrepareTextBuffer(&o.b, 32767), 0);
  EXPECT_EQ(o.b.data, before);
  EXPECT_EQ(o.b.data[5], 'x');
  o.ExpectSize(32768, 0);

  const struct { uint32_t request, capacity; } rows[] = {
      {32768, 32768}, {40000, 65536}, {1048576, 1081344}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.request);
    OwnedBuffer p;
    ASSERT_EQ(InitTextBuffer(&p.b), 0);
    ASSERT_EQ(PrepareTextBuffer(&p.b, row.request), 0);
    p.ExpectSize(row.capacity, 0);
    EXPECT_TRUE(p.ZeroFrom(0));
  }
  EXPECT_EQ(InitTextBuffer(nullptr), -1);
  EXPECT_EQ(PrepareTextBuffer(nullptr, 1), -1);
}

TEST(TextBuffer, AppendGrowsByWholeStepsAndKeepsContent) {
  OwnedBuffer o;
  ASSERT_EQ(InitTextBuffer(&o.b), 0);
  const std::string fill(32768 - 50, 'a');
  ASSERT_EQ(o.Append(fill), 0);
  ASSERT_EQ(o.Append(std::string(100, 'b')), 0);
  o.ExpectSize(65536, 32818);
  EXPECT_EQ(std::string(o.b.data, fill.size()), fill);
  EXPECT_EQ(o.b.data[32817], 'b');
  EXPECT_TRUE(o.ZeroFrom(o.b.length));
  ASSERT_EQ(o.Append(std::string(o.b.freeSpace, 'c')), 0);
  o.ExpectSize(65536, 65536);  // exactly the free space needs no growth

  EXPECT_EQ(AppendToTextBuffer(&o.b, nullptr, 0), 0);
  EXPECT_EQ(AppendToTextBuffer(&o.b, nullptr, 1), -1);
  EXPECT_EQ(AppendToTextBuffer(nullptr, "a", 1), -1);
  EmptyTextBuffer(&o.b);
  o.ExpectSize(65536, 0);

  // A released buffer starts its storage again on the next append.
  ReleaseTextBuffer(&o.b);
  EXPECT_EQ(o.b.data, nullptr);
  ASSERT_EQ(o.Append("xy"), 0);
  o.ExpectSize(32768, 2);
  EXPECT_EQ(std::string(o.b.data, 2), "xy");
}

TEST(TextBuffer, NeverInitialisedBufferGrowsInDefaultSteps) {
  OwnedBuffer o;  // all zero: growthStep 0 must not mean "grow by nothing"
  ASSERT_EQ(o.Append("abc"), 0);
  o.ExpectSize(32768, 3);
  EXPECT_EQ(std::string(o.b.data, 3), "abc");
  OwnedBuffer p;
  ASSERT_EQ(PrepareTextBuffer(&p.b, 40000), 0);
  EXPECT_EQ(p.b.capacity, 65536u);
}

}  // namespace
