#include "text/capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

// A stream of `total` bytes that delivers at most `chunk` bytes per call
// underneath, read with fread's contract (full requests until the end).
struct FakeStream {
  std::size_t total;
  std::size_t served = 0;
  std::size_t calls = 0;

  std::size_t read(char* buffer, std::size_t n) {
    ++calls;
    const std::size_t got = std::min(n, total - served);
    for (std::size_t i = 0; i < got; ++i) buffer[i] = static_cast<char>('a' + (served + i) % 26);
    served += got;
    return got;
  }
};

text::Capture capture(FakeStream& stream) {
  return text::read_pipe_all([&](char* b, std::size_t n) { return stream.read(b, n); });
}

TEST(ReadPipeAll, LengthsAroundTheBlockSizes) {
  const std::size_t kMax = text::kCaptureCeiling - 1;
  const struct {
    std::size_t total;
    std::size_t expected;
  } cases[] = {
      {0, 0},
      {1, 1},
      {16383, 16383},
      {16384, 16384},
      {4u << 20, 4u << 20},
      {kMax - 1, kMax - 1},
      {kMax, kMax},
      {text::kCaptureCeiling, kMax},
      {text::kCaptureCeiling + 12345, kMax},
  };
  for (const auto& c : cases) {
    FakeStream stream{c.total};
    const text::Capture result = capture(stream);
    ASSERT_NE(result.data, nullptr);
    EXPECT_EQ(result.size, c.expected) << c.total;
    EXPECT_EQ(result.data.get()[result.size], '\0') << c.total;
    if (c.expected > 0) {
      EXPECT_EQ(result.data.get()[c.expected - 1], static_cast<char>('a' + (c.expected - 1) % 26));
    }
  }
}

TEST(ReadPipeAll, KeepsEmbeddedNulBytes) {
  const std::string bytes("a\0b", 3);
  std::size_t pos = 0;
  const text::Capture result = text::read_pipe_all([&](char* b, std::size_t n) {
    const std::size_t got = std::min(n, bytes.size() - pos);
    bytes.copy(b, got, pos);
    pos += got;
    return got;
  });
  EXPECT_EQ(result.view(), bytes);
}

}  // namespace
