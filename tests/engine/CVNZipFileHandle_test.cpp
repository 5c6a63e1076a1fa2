// The split-archive part handle: part names, reads across parts, split writing.
#include "engine/CVNZipFileHandle.h"

#include <gtest/gtest.h>

#include "engine/io/RVException.h"
#include "support/TestSupport.h"

namespace {

using corvana_test::raised;
using corvana_test::readFile;
using corvana_test::TempDir;
using corvana_test::writeFile;
using Bytes = std::vector<uint8_t>;

Bytes pattern(size_t n, uint8_t seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i);
  return b;
}

TEST(CVNZipFileHandleTest, PartNames) {
  auto part = CVNZipFileHandle::pathOfPart;
  EXPECT_EQ((std::vector{part("/a/x.zip", 0, 2), part("/a/x.zip", 1, 2), part("/a/x.zip", 2, 2),
                         part("/a/x.zip", 0, 0), part("/a/x.zip", 99, 120), part("/a/x", 0, 1)}),
            (std::vector<std::string>{"/a/x.z01", "/a/x.z02", "/a/x.zip", "/a/x.zip", "/a/x.z100",
                                      "/a/x.z01"}));
}

TEST(CVNZipFileHandleTest, ReadsNeverSpanTwoParts) {
  TempDir dir;
  Bytes p0 = pattern(100, 0), p1 = pattern(50, 100), p2 = pattern(30, 150);
  writeFile(dir / "a.z01", p0), writeFile(dir / "a.z02", p1), writeFile(dir / "a.zip", p2);
  auto h = CVNZipFileHandle::forReadingAtPathMaxDiskIndex(dir / "a.zip", 0, 2);
  h->seekToOffset(60);
  Bytes buffer(100);
  EXPECT_EQ(h->readBytesMaxLength(buffer.data(), 100), 40u);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 40), Bytes(p0.begin() + 60, p0.end()));
  EXPECT_EQ(h->readBytesMaxLength(buffer.data(), 100), 50u);
  EXPECT_EQ(std::tuple(h->currentDiskIndex(), buffer[0]), std::tuple(1u, p1[0]));
  // Exact reads cross part boundaries through repeated reads.
  h->seekToOffset(45);
  Bytes tail = h->readDataOfLength(35);
  EXPECT_EQ((std::pair{tail.front(), tail.back()}), (std::pair{p1[45], p2.back()}));
  EXPECT_EQ(h->readBytesMaxLength(buffer.data(), 1), 0u);
  EXPECT_EQ(raised([&] { h->readInt8(); }), "RVIOHandleEndOfBytesException");

  auto counted = CVNZipFileHandle::forReadingAtPathDiskCount(dir / "a.zip", 1, 3);
  EXPECT_EQ(std::tuple(counted->maxDiskIndex(), counted->readInt8()), std::tuple(2u, p1[0]));
}

TEST(CVNZipFileHandleTest, AMissingPartRaises) {
  TempDir dir;
  writeFile(dir / "a.z01", pattern(10, 0)), writeFile(dir / "a.zip", pattern(10, 0));
  auto h = CVNZipFileHandle::forReadingAtPathMaxDiskIndex(dir / "a.zip", 0, 2);
  Bytes buffer(20);
  EXPECT_EQ(h->readBytesMaxLength(buffer.data(), 20), 10u);
  const std::string missing = "RVFileSystemException errno = 2";
  EXPECT_EQ(raised([&] { h->readBytesMaxLength(buffer.data(), 20); }), missing);
  EXPECT_EQ(raised([&] { CVNZipFileHandle::forReadingAtPathMaxDiskIndex(dir / "a.zip", 1, 2); }),
            missing);
  EXPECT_NE(raised([&] { CVNZipFileHandle::forReadingAtPathMaxDiskIndex(dir / "a.zip", 3, 2); }),
            "");
}

TEST(CVNZipFileHandleTest, UnsplitWritingMakesOneFileUnderAFreeName) {
  TempDir dir;
  writeFile(dir / "out.zip", "existing");
  auto h = CVNZipFileHandle::forUniqueFileAtPath(dir / "out.zip");
  EXPECT_EQ(h->path(), dir / "out 2.zip");
  Bytes data = pattern(300000, 3);
  h->writeData(data);
  h.reset();
  EXPECT_EQ(std::tuple(readFile(dir / "out 2.zip"), readFile(dir / "out.zip")),
            std::tuple(data, corvana_test::bytes("existing")));
  EXPECT_EQ(corvana_test::listFolder(dir.path()).size(), 2u);
}

TEST(CVNZipFileHandleTest, SplitWritingNumbersFullParts) {
  TempDir dir;
  auto h = CVNZipFileHandle::forUniqueFileAtPath(dir / "s.zip", 1000);
  Bytes data = pattern(2500, 9);
  h->writeData(data);
  EXPECT_EQ(std::tuple(h->currentDiskIndex(), h->maxDiskIndex()), std::tuple(2u, 2u));
  h.reset();
  EXPECT_EQ(readFile(dir / "s.z01"), Bytes(data.begin(), data.begin() + 1000));
  EXPECT_EQ(readFile(dir / "s.z02"), Bytes(data.begin() + 1000, data.begin() + 2000));
  EXPECT_EQ(readFile(dir / "s.zip"), Bytes(data.begin() + 2000, data.end()));

  // A write that begins on a full part starts the next part first; the result reads back.
  auto exact = CVNZipFileHandle::forUniqueFileAtPath(dir / "e.zip", 1000);
  exact->writeData(pattern(1000, 1));
  EXPECT_EQ(exact->currentDiskIndex(), 0u);
  exact->writeInt8(7);
  EXPECT_EQ(std::tuple(exact->currentDiskIndex(), exact->offset()), std::tuple(1u, 1u));
  exact.reset();
  auto back = CVNZipFileHandle::forReadingAtPathMaxDiskIndex(dir / "e.zip", 0, 1);
  EXPECT_EQ(back->readDataOfLength(1001).back(), 7);

  // A full part never replaces an existing file.
  writeFile(dir / "p.z01", "precious");
  auto p = CVNZipFileHandle::forUniqueFileAtPath(dir / "p.zip", 4);
  p->writeData(pattern(4, 0));
  EXPECT_EQ(raised([&] { p->writeInt8(1); }),
            "RVFileSystemException errno = " + std::to_string(EEXIST));
  EXPECT_EQ(readFile(dir / "p.z01"), corvana_test::bytes("precious"));
}

}  // namespace
