// The traditional cipher: key schedule, keystream, and the encryption header
// shared between the encryptor and the decryptor.
#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "engine/CVNZipDecryptor.h"
#include "engine/CVNZipEncryptor.h"
#include "support/TestSupport.h"

namespace {

using corvana_test::bytes;
using Bytes = std::vector<uint8_t>;

std::tuple<uint32_t, uint32_t, uint32_t> keysOf(const CVNZipEncryptionKeys& keys) {
  return {keys.key0, keys.key1, keys.key2};
}

std::span<const uint8_t, 12> header12(const Bytes& header) {
  EXPECT_EQ(header.size(), 12u);
  return std::span<const uint8_t, 12>(header.data(), 12);
}

// The reference values come from an independent computation on zlib's CRC-32.
TEST(ZipEncryptionTest, KeysAfterPassword) {
  const struct {
    std::string password;
    uint32_t key0, key1, key2;
  } cases[] = {{"", 0x12345678, 0x23456789, 0x34567890},
               {"password", 0xea9b4e4d, 0xba789085, 0x5ff8707d},
               {"\x83p\x83X", 0x502a3b05, 0xf6e370fb, 0x0eaefda1}};  // Shift_JIS: high bytes
  for (const auto& c : cases) {
    CVNZipEncryptor encryptor(bytes(c.password));
    EXPECT_EQ(keysOf(encryptor.keys()), std::tuple(c.key0, c.key1, c.key2)) << c.password;
  }
}

TEST(ZipEncryptionTest, EncryptsKnownPlaintextInPieces) {
  Bytes text = bytes("The quick brown fox");
  CVNZipEncryptor encryptor(bytes("password"));
  encryptor.encryptBytes(text.data(), 7);
  encryptor.encryptBytes(text.data() + 7, int64_t(text.size()) - 7);
  EXPECT_EQ(text, (Bytes{0xba, 0x7c, 0xab, 0x2b, 0x5d, 0x10, 0x5f, 0x43, 0x59, 0x91, 0x28, 0xc7,
                         0xc2, 0x72, 0x5e, 0xcb, 0x77, 0x83, 0xbc}));
  // Lengths of zero and below change neither the bytes nor the keys.
  uint8_t byte = 0x5A;
  encryptor.encryptBytes(&byte, 0);
  encryptor.encryptBytes(&byte, -1);
  CVNZipDecryptor(bytes("pw"), header12(Bytes(12, 0))).decryptBytes(&byte, -5);
  EXPECT_EQ(byte, 0x5A);
  EXPECT_EQ(keysOf(encryptor.keys()), std::tuple(0x3d963f9fu, 0x652b2d2bu, 0x66206609u));
}

// The header carries the CRC's high byte (0 for a folder); after it both sides
// hold the same keys, so the data decrypts byte for byte, in any pieces.
TEST(ZipEncryptionTest, HeaderAndDataRoundTrip) {
  const Bytes password = bytes("s3cret");
  Bytes plain(100000);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = uint8_t(i * 7 + (i >> 9));
  for (uint32_t crc : {0xA1B2C3D4u, 0u}) {
    CVNZipEncryptor encryptor(password);
    const Bytes header = encryptor.encryptionHeaderWithCRC32(crc);
    Bytes data = plain;
    encryptor.encryptBytes(data.data(), int64_t(data.size()));
    EXPECT_NE(data, plain);
    CVNZipDecryptor decryptor(password, header12(header));
    ASSERT_EQ(decryptor.decryptedEncryptionHeader().size(), 12u);
    EXPECT_EQ(decryptor.decryptedEncryptionHeader()[11], crc >> 24);
    EXPECT_TRUE(decryptor.verifyCRC32(crc));
    EXPECT_FALSE(decryptor.verifyCRC32(crc ^ 0x80000000));
    decryptor.decryptBytes(data.data(), 1);
    decryptor.decryptBytes(data.data() + 1, 4095);
    decryptor.decryptBytes(data.data() + 4096, int64_t(data.size()) - 4096);
    EXPECT_EQ(data, plain);
    EXPECT_EQ(keysOf(decryptor.keys()), keysOf(encryptor.keys()));
  }
}

TEST(ZipEncryptionTest, FreshHeadersAndWrongPasswords) {
  const Bytes password = bytes("right");
  std::set<Bytes> randomParts;
  int misses = 0;
  for (int i = 0; i < 16; ++i) {
    const Bytes header = CVNZipEncryptor(password).encryptionHeaderWithCRC32(0x7F000000);
    CVNZipDecryptor right(password, header12(header));
    EXPECT_TRUE(right.verifyCRC32(0x7F000000));
    const Bytes& plain = right.decryptedEncryptionHeader();
    randomParts.emplace(plain.begin(), plain.begin() + 11);
    // A wrong password matches the check byte by chance 1 time in 256.
    misses += !CVNZipDecryptor(bytes("wrong"), header12(header)).verifyCRC32(0x7F000000);
  }
  // 88 random bits each: a repeat means the random source is not used per call.
  EXPECT_EQ(randomParts.size(), 16u);
  EXPECT_GT(misses, 0);
}

}  // namespace
