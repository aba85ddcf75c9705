#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "IeeeStreamFixture.h"
#include "objlib/ieee695/ieee_stream.h"
#include "objlib/ieee695/ieee_value.h"
#include "FullStream.h"

namespace {

TEST(IeeeFieldCodec, NumbersAreWrittenInTheirShortestForm) {
  struct Case {
    uint64_t value;
    int result;
    Bytes bytes;
  };
  const Case cases[] = {
      {0x00, 1, {0x00}},
      {0x7F, 1, {0x7F}},
      {0x80, 1, {0x81, 0x80}},
      {0xFF, 1, {0x81, 0xFF}},
      {0x100, 1, {0x82, 0x01, 0x00}},
      {0x1234, 1, {0x82, 0x12, 0x34}},
      {0x123456, 1, {0x83, 0x12, 0x34, 0x56}},
      {0xFFFFFFFF, 1, {0x84, 0xFF, 0xFF, 0xFF, 0xFF}},
      // The unset value is written like 0xFFFFFFFF.
      {IEEE_UNSET, 1, {0x84, 0xFF, 0xFF, 0xFF, 0xFF}},
      // Anything else beyond 32 bits has no form the writer can give it.
      {uint64_t{1} << 32, 0, {}},
      {(uint64_t{1} << 32) + 0x80, 0, {}},
      {0x7FFFFFFFFFFFFFFF, 0, {}},
  };
  for (const Case& c : cases) {
    int result = -1;
    Bytes bytes = ieee_written([&](IeeeStream* s) { return ieee_write_number(s, c.value); }, &result);
    EXPECT_EQ(result, c.result) << std::hex << c.value;
    EXPECT_EQ(bytes, c.bytes) << std::hex << c.value;
  }
}

TEST(IeeeFieldCodec, NumbersAreReadUpToEightValueBytes) {
  struct Case {
    Bytes input;
    int result;
    uint64_t value;
    Bytes rest;  // what stays on the stream
  };
  const Case cases[] = {
      {{0x05, 0xE1}, 1, 5, {0xE1}},
      {{0x82, 0x12, 0x34}, 1, 0x1234, {}},
      {{0x88, 1, 2, 3, 4, 5, 6, 7, 8}, 1, 0x0102030405060708, {}},
      {{0x84, 0x12, 0x34, 0x56, 0x78, 0x00}, 1, 0x12345678, {0x00}},
      // A lone count byte 0x80 fails and is consumed.
      {{0x80, 0x05}, 0, 0, {0x05}},
      // Bytes 0x89 and above start no number and stay.
      {{0x89, 0x05}, 0, 0, {0x89, 0x05}},
      {{0xE1}, 0, 0, {0xE1}},
      // The input ends among the value bytes: the bits so far are kept.
      {{0x83, 0x12}, 0, 0x12, {}},
      {{}, 0, 0, {}},
  };
  for (const Case& c : cases) {
    IeeeReader reader(c.input);
    uint64_t value = 99;
    EXPECT_EQ(ieee_read_number(reader.stream, &value), c.result);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(reader.rest(), c.rest);
  }
}

TEST(IeeeFieldCodec, VariablesCarryALetterAndAnIndex) {
  struct Case {
    IeeeVariable variable;
    Bytes bytes;
  };
  const Case cases[] = {
      {{0xC7, 0}, {0xC7}},  // G has no index
      {{0xD7, 3}, {0xD7, 0x03}},
      {{0xC9, 0x80}, {0xC9, 0x81, 0x80}},
      {{0xD2, 0x1234}, {0xD2, 0x82, 0x12, 0x34}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ieee_written([&](IeeeStream* s) { return ieee_write_variable(s, c.variable); }), c.bytes);
    IeeeReader reader(c.bytes);
    IeeeVariable read{0, 99};
    ASSERT_EQ(ieee_read_variable(reader.stream, &read), 1);
    EXPECT_EQ(read.letter, c.variable.letter);
    EXPECT_EQ(read.index, c.variable.index);
  }
  // Not a letter: failure, and the byte stays.
  IeeeReader reader(Bytes{0xE1});
  IeeeVariable read{};
  EXPECT_EQ(ieee_read_variable(reader.stream, &read), 0);
  EXPECT_EQ(reader.rest(), Bytes{0xE1});
}

TEST(IeeeFieldCodec, NameStringsHaveOneOfThreeLengthPrefixes) {
  struct Case {
    size_t length;
    int result;
    Bytes prefix;
  };
  const Case cases[] = {
      {0, 1, {0x00}},
      {127, 1, {0x7F}},
      {128, 1, {0xDE, 0x80}},
      {255, 1, {0xDE, 0xFF}},
      {300, 1, {0xDF, 0x01, 0x2C}},
      {65535, 1, {0xDF, 0xFF, 0xFF}},
      {65536, 0, {}},
  };
  for (const Case& c : cases) {
    StrBuf* text = ieee_test_text(std::string(c.length, 'q'));
    int result = -1;
    Bytes bytes = ieee_written([&](IeeeStream* s) { return ieee_write_string(s, text); }, &result);
    EXPECT_EQ(result, c.result) << c.length;
    if (c.result == 1) {
      ASSERT_EQ(bytes.size(), c.prefix.size() + c.length);
      EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + c.prefix.size()), c.prefix);
      IeeeReader reader(bytes);
      StrBuf* read = nullptr;
      ASSERT_EQ(ieee_read_string(reader.stream, &read), 1);
      EXPECT_EQ(ieee_buf_length(read), c.length);
      ieee_buf_free(read);
    } else {
      EXPECT_TRUE(bytes.empty());
    }
    ieee_buf_free(text);
  }
}

TEST(IeeeFieldCodec, StringReaderLeavesARecordByteWhereAStringWasExpected) {
  struct Case {
    Bytes input;
    Bytes text;
    Bytes rest;
  };
  const Case cases[] = {
      {{0xE1}, {}, {0xE1}},
      {{0x03, 'a', 'b', 'c', 0xE1}, {'a', 'b', 'c'}, {0xE1}},
      {{0x05, 'a', 'b'}, {'a', 'b'}, {}},  // cut short by the end of the input
      {{0xDF, 0x00}, {}, {}},
      {{}, {}, {}},
  };
  for (const Case& c : cases) {
    IeeeReader reader(c.input);
    StrBuf* text = nullptr;
    ASSERT_EQ(ieee_read_string(reader.stream, &text), 1);
    EXPECT_EQ(ieee_buf_to_bytes(text), c.text);
    EXPECT_EQ(reader.rest(), c.rest);
    ieee_buf_free(text);
  }
}

TEST(IeeeFieldCodec, ExpressionRunsEndAtARecordByteOrAClosingBracket) {
  struct Case {
    Bytes input;
    int result;
    Bytes run;
    Bytes rest;
  };
  const Case cases[] = {
      {{0xA5, 0x01, 0x02, 0xE1}, 1, {0xA5, 0x01, 0x02, 0xE1}, {0xE1}},
      {{0xBE, 0x05, 0xBF, 0xE1}, 1, {0xBE, 0x05, 0xBF}, {0xE1}},
      {{0x84, 0xFF, 0xFF, 0xFF, 0xFF, 0xE2}, 1, {0x84, 0xFF, 0xFF, 0xFF, 0xFF, 0xE2}, {0xE2}},
      // A count byte takes its value bytes even when they look like brackets.
      {{0x81, 0xBF, 0x05, 0xBB, 0x07}, 1, {0x81, 0xBF, 0x05, 0xBB}, {0x07}},
      {{0xD2, 0x03}, 1, {0xD2, 0x03}, {}},
      // Bytes that belong in no expression make the run malformed.
      {{0x8A, 0x05, 0xE1}, 0, {0x8A, 0x05, 0xE1}, {0xE1}},
      {{0xDC, 0xBD}, 0, {0xDC, 0xBD}, {}},
      {{}, 1, {}, {}},
  };
  for (const Case& c : cases) {
    IeeeReader reader(c.input);
    IosValue value{};
    EXPECT_EQ(ieee_read_expression(reader.stream, &value), c.result);
    EXPECT_EQ(ieee_buf_to_bytes(value.text), c.run);
    EXPECT_EQ(reader.rest(), c.rest);
    ios_value_clear(&value);
  }
}

TEST(IeeeFieldCodec, ValuesWriteTheirBytesOrTheirNumber) {
  IosValue bytes{};
  ios_value_init(&bytes);
  bytes.text = ieee_buf_new(0);
  ASSERT_EQ(ieee_buf_append_bytes(bytes.text, "\xA5\x01\x02", 3), 0);
  EXPECT_EQ(ieee_written([&](IeeeStream* s) { return ieee_write_value(s, bytes); }),
            (Bytes{0xA5, 0x01, 0x02}));

  IosValue number{};
  ios_value_init(&number);
  ieee_value_set_number(&number, 0x1000);
  EXPECT_EQ(ieee_written([&](IeeeStream* s) { return ieee_write_value(s, number); }),
            (Bytes{0x82, 0x10, 0x00}));

  // A holder with an empty byte run writes nothing and fails.
  IosValue empty{};
  ios_value_init(&empty);
  empty.text = ieee_buf_new(0);
  int result = -1;
  EXPECT_TRUE(ieee_written([&](IeeeStream* s) { return ieee_write_value(s, empty); }, &result).empty());
  EXPECT_EQ(result, 0);
  ios_value_clear(&bytes);
  ios_value_clear(&empty);
}

TEST(IeeeFieldCodec, FullBlocksAreWrittenAndPutBackCrossesBlockBorders) {
  Bytes input(IEEE_STREAM_BLOCK + 10);
  for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(i * 7);

  Bytes written = ieee_written([&](IeeeStream* s) {
    for (uint8_t byte : input) ieee_stream_put_byte(s, byte);
    EXPECT_EQ(s->fill, 10u);
    EXPECT_EQ(s->position, input.size());
    return 1;
  });
  EXPECT_EQ(written, input);

  IeeeReader reader(input);
  uint8_t byte = 0;
  for (size_t i = 0; i <= IEEE_STREAM_BLOCK; ++i) ASSERT_EQ(ieee_stream_get_byte(reader.stream, &byte), 1);
  ieee_stream_unget_byte(reader.stream);
  ieee_stream_unget_byte(reader.stream);
  EXPECT_EQ(reader.stream->position, IEEE_STREAM_BLOCK - 1);
  ASSERT_EQ(ieee_stream_get_byte(reader.stream, &byte), 1);
  EXPECT_EQ(byte, input[IEEE_STREAM_BLOCK - 1]);
  ASSERT_EQ(ieee_stream_get_byte(reader.stream, &byte), 1);
  EXPECT_EQ(byte, input[IEEE_STREAM_BLOCK]);
  EXPECT_EQ(reader.rest().size(), 9u);
}

TEST(IeeeFieldCodec, PutBackAfterTheEndOrBeforeAnyByteHandsOutNothingTwice) {
  Bytes input(IEEE_STREAM_BLOCK, 0x11);
  input.back() = 0x22;
  IeeeReader reader(input);
  ieee_stream_unget_byte(reader.stream);  // nothing taken yet
  EXPECT_EQ(reader.rest(), input);
  uint8_t byte = 0;
  EXPECT_EQ(ieee_stream_get_byte(reader.stream, &byte), 0);
  ieee_stream_unget_byte(reader.stream);
  EXPECT_EQ(ieee_stream_get_byte(reader.stream, &byte), 0);
}

TEST(IeeeFieldCodec, AFailedBlockWriteIsReported) {
  FILE* full = openFullStream();
  ASSERT_NE(full, nullptr);
  IeeeStream* stream = ieee_stream_open_write(full);
  int put = 1;
  for (uint32_t i = 0; i < IEEE_STREAM_BLOCK; ++i) put = ieee_stream_put_byte(stream, 0x55);
  EXPECT_EQ(put, 0);  // the put that filled the block could not write it
  EXPECT_EQ(ieee_stream_close(&stream), 0);
  EXPECT_EQ(stream, nullptr);
  std::fclose(full);

  full = openFullStream();
  stream = ieee_stream_open_write(full);
  EXPECT_EQ(ieee_stream_put_byte(stream, 0xE1), 1);
  EXPECT_EQ(ieee_stream_close(&stream), 0);  // the last short block fails at close
  std::fclose(full);
}

TEST(IeeeFieldCodec, NullStreamsFailWithoutTouchingAnything) {
  uint8_t byte = 7;
  uint64_t number = 7;
  StrBuf* text = nullptr;
  IosValue value{};
  EXPECT_EQ(ieee_stream_open(nullptr, 1), nullptr);
  EXPECT_EQ(ieee_stream_put_byte(nullptr, 1), 0);
  EXPECT_EQ(ieee_stream_get_byte(nullptr, &byte), 0);
  EXPECT_EQ(byte, 0);
  ieee_stream_unget_byte(nullptr);
  EXPECT_EQ(ieee_read_number(nullptr, &number), 0);
  EXPECT_EQ(ieee_write_number(nullptr, 1), 0);
  EXPECT_EQ(ieee_read_string(nullptr, &text), 0);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(ieee_read_expression(nullptr, &value), 0);
  EXPECT_EQ(value.text, nullptr);
  IeeeStream* slot = nullptr;
  EXPECT_EQ(ieee_stream_close(&slot), 1);
}

TEST(IeeeByteBuffer, CapacityStaysAboveTheLength) {
  struct Case {
    int64_t asked;
    size_t appended;
    size_t capacity;
  };
  const Case cases[] = {
      {0, 0, 10}, {-5, 0, 10}, {3, 9, 10}, {10, 10, 20}, {10, 35, 40}, {300, 300, 600},
  };
  for (const Case& c : cases) {
    StrBuf* buffer = ieee_buf_new(c.asked);
    ASSERT_NE(buffer, nullptr);
    for (size_t i = 0; i < c.appended; ++i) ASSERT_EQ(ieee_buf_put_byte(buffer, 'x'), 0);
    EXPECT_EQ(buffer->capacity, c.capacity) << c.asked << " " << c.appended;
    EXPECT_GT(buffer->capacity, ieee_buf_length(buffer));
    ieee_buf_free(buffer);
  }
  EXPECT_EQ(ieee_buf_put_byte(nullptr, 1), -1);
  EXPECT_EQ(ieee_buf_append_buf(nullptr, nullptr), -1);
}

}  // namespace
