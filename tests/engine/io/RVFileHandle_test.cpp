// RVFileHandle on real files: positions, truncation, locks and errno mapping.
#include "engine/io/RVFileHandle.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/io/RVException.h"
#include "engine/io/RVFileSystem.h"
#include "support/TestSupport.h"

namespace {

using corvana_test::raised;
using corvana_test::TempDir;
using Bytes = std::vector<uint8_t>;
const std::string kErrno = "RVFileSystemException errno = ";

int openDescriptors() { return static_cast<int>(corvana_test::listFolder("/proc/self/fd").size()); }

TEST(RVFileHandleTest, PositionsAndTruncation) {
  TempDir dir;
  std::string path = dir / "f";
  corvana_test::writeFile(path, "hello");
  auto h = RVFileHandle::forWritingAtPath(path);
  EXPECT_TRUE(h->hasBytesAvailable());
  EXPECT_EQ(h->seekToEnd(), 5u);
  EXPECT_FALSE(h->hasBytesAvailable());

  // Truncated below the position, the next write leaves a zero-filled gap.
  h->truncateAtOffset(2);
  EXPECT_EQ(h->offset(), 5u);
  h->writeData(Bytes{'!'});
  h->close();
  EXPECT_EQ(corvana_test::readFile(path), (Bytes{'h', 'e', 0, 0, 0, '!'}));
}

TEST(RVFileHandleTest, OpenFailuresReportTheirErrno) {
  TempDir dir;
  EXPECT_EQ(raised([&] { RVFileHandle::forReadingAtPath(dir / "missing"); }), kErrno + "2");
  corvana_test::writeFile(dir / "target", "x");
  ASSERT_EQ(::symlink((dir / "target").c_str(), (dir / "link").c_str()), 0);
  EXPECT_EQ(raised([&] { RVFileHandle::forWritingAtPath(dir / "link"); }),
            kErrno + std::to_string(ELOOP));
  // Reading follows the link.
  EXPECT_EQ(RVFileHandle::forReadingAtPath(dir / "link")->readDataToEnd(), (Bytes{'x'}));
}

TEST(RVFileHandleTest, LocksAreTakenWithoutWaiting) {
  TempDir dir;
  std::string path = dir / "locked";
  int fds = openDescriptors();
  {
    auto writer = RVFileHandle::forWritingAtPath((corvana_test::writeFile(path, "x"), path));
    const std::string busy = kErrno + std::to_string(EWOULDBLOCK);
    EXPECT_EQ(raised([&] { RVFileHandle::forWritingAtPath(path); }), busy);
    EXPECT_EQ(raised([&] { RVFileHandle::forReadingAtPath(path); }), busy);
  }
  // Readers share; a writer is refused while they read. No descriptor leaks.
  auto a = RVFileHandle::forReadingAtPath(path);
  auto b = RVFileHandle::forReadingAtPath(path);
  EXPECT_NE(raised([&] { RVFileHandle::forWritingAtPath(path); }), "");
  a.reset();
  b.reset();
  EXPECT_EQ(openDescriptors(), fds);
  EXPECT_EQ(raised([&] { RVFileHandle::forWritingAtPath(path); }), "");
}

TEST(RVFileHandleTest, DescriptorsAndFullDevice) {
  errno = EBADF;
  EXPECT_EQ(raised([] { RVFileHandle(-1, true); }), kErrno + std::to_string(EBADF));
  // A descriptor not owned is left open.
  int fd = ::open("/dev/null", O_RDWR);
  ASSERT_GE(fd, 0);
  { RVFileHandle h(fd, false); }
  EXPECT_EQ(::close(fd), 0);
  if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  auto full = RVFileHandle::forWritingAtPath("/dev/full");
  EXPECT_EQ(raised([&] { full->writeData(Bytes(10, 1)); }), "RVDiskFullException");
}

}  // namespace
