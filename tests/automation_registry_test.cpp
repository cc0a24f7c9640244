// The file-backed registry: the export format on disk, letter case, whole-key
// removal, and writers that do not lose each other's changes.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "q3_registry.h"

namespace {

namespace fs = std::filesystem;
using q3::registry::Hive;

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quarnel3-registry-XXXXXX").string();
    root_ = ::mkdtemp(pattern.data());
    ::setenv("QUARNEL3_REGISTRY_ROOT", root_.c_str(), 1);
  }
  void TearDown() override { fs::remove_all(root_); }

  std::string fileText(Hive hive) {
    std::ifstream in(q3::registry::hiveFile(hive));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::string root_;
};

TEST_F(Registry, HivesAreWrittenInTheRegistryExportFormat) {
  ASSERT_TRUE(q3::registry::setString(Hive::LocalMachine, "SOFTWARE\\Pellum\\quarnel", "Path", "C:\\a \"b\""));
  ASSERT_TRUE(q3::registry::setNumber(Hive::LocalMachine, "SOFTWARE\\Pellum\\quarnel", "logLevel", 10));
  ASSERT_TRUE(q3::registry::setString(Hive::LocalMachine, "SOFTWARE\\Pellum\\quarnel", "", "default"));
  ASSERT_TRUE(q3::registry::createKey(Hive::LocalMachine, "SOFTWARE\\Empty"));
  EXPECT_EQ(q3::registry::hiveFile(Hive::LocalMachine), root_ + "/HKEY_LOCAL_MACHINE.reg");
  EXPECT_EQ(fileText(Hive::LocalMachine),
            "Windows Registry Editor Version 5.00\n"
            "\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n"
            "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Empty]\n"
            "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Pellum]\n"
            "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Pellum\\quarnel]\n"
            "\"Path\"=\"C:\\\\a \\\"b\\\"\"\n"
            "\"logLevel\"=dword:0000000a\n"
            "@=\"default\"\n");
}

TEST_F(Registry, AFileWrittenByHandIsReadWithoutRegardToLetterCase) {
  std::ofstream(root_ + "/HKEY_CLASSES_ROOT.reg")
      << "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CLASSES_ROOT\\Quarnel3.KxServer\\CLSID]\r\n"
         "@=\"{4D6935F3-EF91-4317-977F-41763329E0F4}\"\r\n\"Flags\"=dword:00000003\r\n"
         "[HKEY_LOCAL_MACHINE\\Elsewhere]\r\n@=\"ignored\"\r\n";
  EXPECT_EQ(q3::registry::getString(Hive::ClassesRoot, "quarnel3.kxserver\\clsid", ""),
            "{4D6935F3-EF91-4317-977F-41763329E0F4}");
  const auto values = q3::registry::values(Hive::ClassesRoot, "QUARNEL3.KXSERVER\\CLSID");
  ASSERT_TRUE(values.has_value());
  ASSERT_EQ(values->size(), 2u);
  EXPECT_TRUE((*values)[1].isNumber);
  EXPECT_EQ((*values)[1].number, 3u);
  EXPECT_FALSE(q3::registry::keyExists(Hive::ClassesRoot, "Elsewhere"));
  EXPECT_FALSE(q3::registry::values(Hive::CurrentUser, "Quarnel3.KxServer").has_value());
}

TEST_F(Registry, RemovingAKeyRemovesEverythingBelowItAndNothingBeside) {
  for (const char* key : {"CLSID\\{A}\\InprocServer32", "CLSID\\{A}\\ProgID", "CLSID\\{AB}", "CLSID\\{B}"}) {
    ASSERT_TRUE(q3::registry::createKey(Hive::ClassesRoot, key));
  }
  ASSERT_TRUE(q3::registry::removeKey(Hive::ClassesRoot, "clsid\\{a}"));
  EXPECT_FALSE(q3::registry::keyExists(Hive::ClassesRoot, "CLSID\\{A}"));
  EXPECT_FALSE(q3::registry::keyExists(Hive::ClassesRoot, "CLSID\\{A}\\ProgID"));
  const auto left = q3::registry::subkeys(Hive::ClassesRoot, "CLSID");
  EXPECT_EQ(left, (std::vector<std::string>{"{AB}", "{B}"}));
  EXPECT_TRUE(q3::registry::removeKey(Hive::ClassesRoot, "Nothing\\Here"));
}

TEST_F(Registry, ConcurrentWritersKeepEveryValue) {
  constexpr int kWriters = 4;
  constexpr int kValues = 25;
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([w] {
      for (int v = 0; v < kValues; ++v) {
        q3::registry::setNumber(Hive::CurrentUser, "Software\\Test", std::to_string(w) + "-" + std::to_string(v),
                                static_cast<uint32_t>(v));
      }
    });
  }
  for (std::thread& t : writers) t.join();
  const auto values = q3::registry::values(Hive::CurrentUser, "Software\\Test");
  ASSERT_TRUE(values.has_value());
  EXPECT_EQ(values->size(), static_cast<size_t>(kWriters * kValues));
}

}  // namespace
