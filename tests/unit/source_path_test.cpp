// The network form of the install-script path, through the posix side's configured drive
// connections and reachable shares.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/bounded_text.h"
#include "launcher/run_state.h"
#include "launcher/source_path.h"
#include "tests/support/pretend_machine.h"
#include "tests/support/test_files.h"

namespace {

namespace fs = std::filesystem;

class SourcePathTest : public testing::Test {
 protected:
  void SetUp() override {
    pretend::ResetMachine();
    Connect('X', "\\\\srv\\pub");
    Share(0, "\\\\srv\\pub", "pub");
    Connect('S', "SERVER_DATA");
    Share(1, "\\\\SERVER\\DATA", "data");
    Connect('M', "MY_SERVER_VOL1");
    Share(2, "\\\\MY_SERVER\\VOL1", "vol1");
    Connect('D', "_DATA");
    Share(3, "\\\\_DATA", "underscore");
    for (const char* folder : {"pub/App", "data/Disk1", "vol1/Setup", "underscore/Setup"}) {
      fs::create_directories(dir_.Join(folder));
    }
  }
  void TearDown() override { pretend::ResetMachine(); }

  static void Connect(char drive, const char* remote) {
    text::Copy(pretend::Machine().network_connection[drive - 'A'], 256, remote);
  }
  void Share(int slot, const char* name, const char* folder) {
    pretend::PretendMachine::Share& share = pretend::Machine().share[slot];
    text::Copy(share.name, sizeof share.name, name);
    text::Copy(share.host_folder, sizeof share.host_folder, dir_.Join(folder).c_str());
  }

  static std::string Resolved(const std::string& path) {
    char buffer[text::kPathCapacity];
    EXPECT_TRUE(text::Copy(buffer, sizeof buffer, path.c_str()));
    ResolveSourcePath(buffer);
    return buffer;
  }

  testing_support::TempDir dir_;
};

TEST_F(SourcePathTest, RewritesOnlyWhenTheNetworkFolderIsFound) {
  const struct Case {
    const char* path;
    const char* resolved;
  } cases[] = {
      // A local disk is not connected.
      {"C:\\App\\setup.cfg", "C:\\App\\setup.cfg"},
      // Already a network path: "\\" is no device name.
      {"\\\\srv\\pub\\App\\setup.cfg", "\\\\srv\\pub\\App\\setup.cfg"},
      {"X:\\App\\setup.cfg", "\\\\srv\\pub\\App\\setup.cfg"},
      {"x:\\App\\setup.cfg", "\\\\srv\\pub\\App\\setup.cfg"},
      // The folder cannot be reached under its network name.
      {"X:\\Gone\\setup.cfg", "X:\\Gone\\setup.cfg"},
      // The share's root has no directory entry of its own.
      {"X:\\setup.cfg", "X:\\setup.cfg"},
      // Server-and-volume names: the last underscore separates them.
      {"S:\\Disk1\\setup.cfg", "\\\\SERVER\\DATA\\Disk1\\setup.cfg"},
      {"M:\\Setup\\setup.cfg", "\\\\MY_SERVER\\VOL1\\Setup\\setup.cfg"},
      // An underscore in the first position only is left alone.
      {"D:\\Setup\\setup.cfg", "\\\\_DATA\\Setup\\setup.cfg"},
      // No backslash, no tail: nothing to rewrite.
      {"X:setup.cfg", "X:setup.cfg"},
      {"X:", "X:"},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(Resolved(c.path), c.resolved);
  }
}

TEST_F(SourcePathTest, PathsBeyondTheWorkingBuffersStayUnchanged) {
  // Folders that exist, so that only the length can refuse them. The network form adds
  // "\\srv\pub" (9 bytes) to the tail; tail and network form each have 255 bytes and a NUL.
  const std::string fits_whole = "\\" + std::string(235, 'a') + "\\setup.cfg";  // 246 + 9 = 255
  const std::string network_too_long = "\\" + std::string(236, 'b') + "\\setup.cfg";
  const std::string tail_too_long =
      "\\" + std::string(200, 'c') + "\\" + std::string(100, 'c') + "\\setup.cfg";
  for (const std::string& tail : {fits_whole, network_too_long, tail_too_long}) {
    std::string folder = tail.substr(0, tail.rfind('\\'));
    std::string host_folder = folder;
    for (char& ch : host_folder)
      ch = ch == '\\' ? '/' : ch;
    fs::create_directories(dir_.path() + "/pub" + host_folder);
  }
  EXPECT_EQ(Resolved("X:" + fits_whole), "\\\\srv\\pub" + fits_whole);
  EXPECT_EQ(Resolved("X:" + network_too_long), "X:" + network_too_long);
  EXPECT_EQ(Resolved("X:" + tail_too_long), "X:" + tail_too_long);
}

TEST_F(SourcePathTest, BackslashSearchesStepOverDoubleByteCharacters) {
  // In code page 932 a trail byte can be 0x5C, the backslash. Read as single bytes, the last
  // "backslash" of this path is the trail byte inside the file name, and the folder to look
  // for would be wrong.
  pretend::SetLeadByteRange(0x81, 0x9F);
  const std::string path = "X:\\App\\set\x81\\.cfg";
  EXPECT_EQ(Resolved(path), "\\\\srv\\pub\\App\\set\x81\\.cfg");
}

}  // namespace
