#include "updater/app_paths.h"

#include <gtest/gtest.h>

namespace {

TEST(AppPaths, FilesInTheFolderNeverDoubleTheSeparator) {
#ifdef _WIN32
  EXPECT_EQ(updater::InFolder("C:\\Tarnwick", "Tarnwick.exe"), "C:\\Tarnwick\\Tarnwick.exe");
  EXPECT_EQ(updater::InFolder("C:\\", "bak.exe"), "C:\\bak.exe");
  EXPECT_EQ(updater::InFolder("D:\\", "tarn.dat"), "D:\\tarn.dat");
  EXPECT_EQ(updater::InFolder("C:\\用户\\带 空格", "bak.exe"), "C:\\用户\\带 空格\\bak.exe");
#else
  EXPECT_EQ(updater::InFolder("/opt/tarnwick", "Tarnwick.exe"), "/opt/tarnwick/Tarnwick.exe");
  EXPECT_EQ(updater::InFolder("/", "bak.exe"), "/bak.exe");
  EXPECT_EQ(updater::InFolder("/", "tarn.dat"), "/tarn.dat");
  EXPECT_EQ(updater::InFolder("/home/用户/带 空格", "bak.exe"), "/home/用户/带 空格/bak.exe");
#endif
}

TEST(AppPaths, ServerAddressIsHttpHostAndTheFixedFolder) {
  EXPECT_EQ(updater::ServerAddress("example.org:8080", "tarnwick.jpg"),
            "http://example.org:8080/soft/tarnwick/tarnwick.jpg");
}

}  // namespace
