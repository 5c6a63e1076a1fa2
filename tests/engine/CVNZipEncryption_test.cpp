// The traditional cipher: key schedule, keystream, and the encryption header
// shared between the encryptor and the decryptor.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/CVNZipDecryptor.h"
#include "engine/CVNZipEncryptor.h"
#include "engine/io/RVCRC32.h"

namespace {

std::vector<uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

std::span<const uint8_t, 12> header12(const std::vector<uint8_t>& header) {
  EXPECT_EQ(header.size(), 12u);
  return std::span<const uint8_t, 12>(header.data(), 12);
}

// The reference values come from an independent computation on zlib's CRC-32.
struct KeysCase {
  std::string password;
  uint32_t key0, key1, key2;
};

class KeysTest : public testing::TestWithParam<KeysCase> {};

TEST_P(KeysTest, KeysAfterPassword) {
  const KeysCase& c = GetParam();
  std::vector<uint8_t> password = bytesOf(c.password);
  CVNZipEncryptor encryptor(password);
  EXPECT_EQ(encryptor.keys().key0, c.key0);
  EXPECT_EQ(encryptor.keys().key1, c.key1);
  EXPECT_EQ(encryptor.keys().key2, c.key2);

  // The decryptor starts from the same keys; the header then moves both alike.
  CVNZipEncryptor twin(password);
  std::vector<uint8_t> header = twin.encryptionHeaderWithCRC32(0);
  CVNZipDecryptor decryptor(password, header12(header));
  EXPECT_EQ(decryptor.keys(), twin.keys());
}

INSTANTIATE_TEST_SUITE_P(
    Passwords, KeysTest,
    testing::Values(KeysCase{"", 0x12345678, 0x23456789, 0x34567890},
                    KeysCase{"password", 0xea9b4e4d, 0xba789085, 0x5ff8707d},
                    // Shift_JIS bytes of a katakana word: high bytes in the password.
                    KeysCase{"\x83p\x83X", 0x502a3b05, 0xf6e370fb, 0x0eaefda1}));

TEST(ZipEncryptionTest, InlineStepMatchesTheCRCStep) {
  for (uint32_t value : {0u, 0xFFFFFFFFu, 0x12345678u, 0x80000001u, 0xDEADBEEFu}) {
    for (int b = 0; b < 256; ++b) {
      ASSERT_EQ(cvn_zip_detail::crc32Step(value, uint8_t(b)), RVCRC32UpdateByte(value, uint8_t(b)))
          << value << " " << b;
    }
  }
}

TEST(ZipEncryptionTest, EncryptsKnownPlaintext) {
  std::vector<uint8_t> password = bytesOf("password");
  std::vector<uint8_t> text = bytesOf("The quick brown fox");
  CVNZipEncryptor encryptor(password);
  // Split calls give the same stream as one call.
  encryptor.encryptBytes(text.data(), 7);
  encryptor.encryptBytes(text.data() + 7, int64_t(text.size()) - 7);
  const std::vector<uint8_t> expected = {0xba, 0x7c, 0xab, 0x2b, 0x5d, 0x10, 0x5f, 0x43, 0x59, 0x91,
                                         0x28, 0xc7, 0xc2, 0x72, 0x5e, 0xcb, 0x77, 0x83, 0xbc};
  EXPECT_EQ(text, expected);
  EXPECT_EQ(encryptor.keys().key0, 0x3d963f9fu);
  EXPECT_EQ(encryptor.keys().key1, 0x652b2d2bu);
  EXPECT_EQ(encryptor.keys().key2, 0x66206609u);
}

TEST(ZipEncryptionTest, NonPositiveLengthsDoNothing) {
  std::vector<uint8_t> password = bytesOf("pw");
  CVNZipEncryptor encryptor(password);
  const CVNZipEncryptionKeys before = encryptor.keys();
  uint8_t byte = 0x5A;
  encryptor.encryptBytes(&byte, 0);
  encryptor.encryptBytes(&byte, -1);
  EXPECT_EQ(byte, 0x5A);
  EXPECT_EQ(encryptor.keys(), before);

  std::vector<uint8_t> header(12, 0);
  CVNZipDecryptor decryptor(password, header12(header));
  const CVNZipEncryptionKeys after = decryptor.keys();
  decryptor.decryptBytes(&byte, -5);
  EXPECT_EQ(byte, 0x5A);
  EXPECT_EQ(decryptor.keys(), after);
}

TEST(ZipEncryptionTest, HeaderAndDataRoundTrip) {
  std::vector<uint8_t> password = bytesOf("s3cret");
  const uint32_t crc = 0xA1B2C3D4;
  CVNZipEncryptor encryptor(password);
  std::vector<uint8_t> header = encryptor.encryptionHeaderWithCRC32(crc);
  ASSERT_EQ(header.size(), 12u);

  std::vector<uint8_t> plain(100000);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = uint8_t(i * 7 + (i >> 9));
  std::vector<uint8_t> data = plain;
  encryptor.encryptBytes(data.data(), int64_t(data.size()));
  EXPECT_NE(data, plain);

  CVNZipDecryptor decryptor(password, header12(header));
  EXPECT_EQ(decryptor.decryptedEncryptionHeader().size(), 12u);
  EXPECT_EQ(decryptor.decryptedEncryptionHeader()[11], 0xA1);
  EXPECT_TRUE(decryptor.verifyCRC32(crc));
  EXPECT_FALSE(decryptor.verifyCRC32(0x00B2C3D4));

  // Decrypting in uneven pieces follows the same stream.
  decryptor.decryptBytes(data.data(), 1);
  decryptor.decryptBytes(data.data() + 1, 4095);
  decryptor.decryptBytes(data.data() + 4096, int64_t(data.size()) - 4096);
  EXPECT_EQ(data, plain);
  EXPECT_EQ(decryptor.keys(), encryptor.keys());
}

TEST(ZipEncryptionTest, WrongPasswordFailsTheCheckByte) {
  std::vector<uint8_t> password = bytesOf("right");
  // Over many fresh headers a wrong password must miss the check byte at least
  // once; it matches by chance 1 time in 256.
  int misses = 0;
  for (int i = 0; i < 16; ++i) {
    CVNZipEncryptor encryptor(password);
    std::vector<uint8_t> header = encryptor.encryptionHeaderWithCRC32(0x7F000000);
    CVNZipDecryptor right(password, header12(header));
    EXPECT_TRUE(right.verifyCRC32(0x7F000000));
    CVNZipDecryptor wrong(bytesOf("wrong"), header12(header));
    if (!wrong.verifyCRC32(0x7F000000)) ++misses;
  }
  EXPECT_GT(misses, 0);
}

TEST(ZipEncryptionTest, FolderHeaderEndsInZero) {
  std::vector<uint8_t> password = bytesOf("pw");
  CVNZipEncryptor encryptor(password);
  std::vector<uint8_t> header = encryptor.encryptionHeaderWithCRC32(0);
  CVNZipDecryptor decryptor(password, header12(header));
  EXPECT_EQ(decryptor.decryptedEncryptionHeader()[11], 0);
  EXPECT_TRUE(decryptor.verifyCRC32(0));
}

TEST(ZipEncryptionTest, EveryHeaderIsFresh) {
  std::vector<uint8_t> password = bytesOf("pw");
  std::array<std::vector<uint8_t>, 3> randomParts;
  for (auto& part : randomParts) {
    CVNZipEncryptor encryptor(password);
    std::vector<uint8_t> header = encryptor.encryptionHeaderWithCRC32(0x12000000);
    CVNZipDecryptor decryptor(password, header12(header));
    const std::vector<uint8_t>& plain = decryptor.decryptedEncryptionHeader();
    EXPECT_EQ(plain[11], 0x12);
    part.assign(plain.begin(), plain.begin() + 11);
  }
  // 88 random bits: a repeat means the random source is not used per call.
  EXPECT_NE(randomParts[0], randomParts[1]);
  EXPECT_NE(randomParts[1], randomParts[2]);
  EXPECT_NE(randomParts[0], randomParts[2]);
}

}  // namespace
