// Cross-implementation check against Debian's StormLib, through its public compression calls:
// its imploded streams must decode with our decoder, and ours with its decoder, in every mode
// each side offers. StormLib's implode is binary-only and picks the dictionary by input size.
#include <StormLib.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "implode/implode.h"
#include "implode/implode_encoder.h"
#include "tests/support/test_files.h"
#include "tests/unit/implode_test_support.h"

using implode_testing::Bytes;
using implode_testing::Decode;
using implode_testing::DecodeResult;

namespace {

Bytes TextOf(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"alpha ", "beta ", "gamma ", "delta\n", "the ",
                                       "of ",    "and ",  "file ",  "Setup ",  "42 "};
  Bytes text;
  uint32_t state = seed;
  while (text.size() < size) {
    state = state * 1664525 + 1013904223;
    const char* word = kWords[(state >> 24) % 10];
    text.insert(text.end(), word, word + strlen(word));
  }
  text.resize(size);
  return text;
}

// Compressible binary: random bytes, each repeated a random number of times.
Bytes BinaryOf(size_t size, uint32_t seed) {
  const Bytes random = testing_support::RandomBytes(size, seed);
  Bytes data;
  for (size_t i = 0; data.size() < size; ++i)
    data.insert(data.end(), 1 + random[i] % 5, random[i]);
  data.resize(size);
  return data;
}

struct Sample {
  std::string name;
  Bytes data;
};

std::vector<Sample> Samples() {
  std::vector<Sample> samples;
  // StormLib chooses 1, 2 and 4 KiB dictionaries below 1,536, below 3,072 and above.
  for (size_t size : {200u, 1535u, 1536u, 3071u, 3072u, 10000u, 300000u}) {
    samples.push_back({"text " + std::to_string(size), TextOf(size, static_cast<uint32_t>(size))});
    samples.push_back(
        {"binary " + std::to_string(size), BinaryOf(size, static_cast<uint32_t>(size))});
  }
  return samples;
}

TEST(ImplodeStormLib, ItsStreamsDecodeWithOurs) {
  for (const Sample& sample : Samples()) {
    SCOPED_TRACE(sample.name);
    Bytes data = sample.data;
    Bytes stream(data.size() * 2 + 64);
    int stream_size = static_cast<int>(stream.size());
    ASSERT_TRUE(
        SCompImplode(stream.data(), &stream_size, data.data(), static_cast<int>(data.size())));
    stream.resize(stream_size);
    const DecodeResult decoded = Decode(stream);
    EXPECT_EQ(decoded.result, IMPLODE_OK);
    EXPECT_EQ(decoded.output, sample.data);
  }
}

TEST(ImplodeStormLib, OurStreamsDecodeWithItsDecoder) {
  for (uint32_t type : {kImplodeBinary, kImplodeAscii}) {
    for (uint32_t k : {4u, 5u, 6u}) {
      for (const Sample& sample : Samples()) {
        SCOPED_TRACE(testing::Message() << "type " << type << " k " << k << " " << sample.name);
        Bytes stream = ImplodeBytes(sample.data.data(), sample.data.size(), type, k);
        Bytes output(sample.data.size());
        int output_size = static_cast<int>(output.size());
        ASSERT_TRUE(SCompExplode(output.data(), &output_size, stream.data(),
                                 static_cast<int>(stream.size())));
        ASSERT_EQ(static_cast<size_t>(output_size), sample.data.size());
        EXPECT_EQ(output, sample.data);
      }
    }
  }
}

}  // namespace
