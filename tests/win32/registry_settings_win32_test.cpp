// SPDX-License-Identifier: Apache-2.0
// The settings store on the registry, against the system's own (under Wine, the prefix's):
// which root holds the program key, and the remembered folder as the registry keeps it, read
// back with the registry calls themselves.
#include "app/win32/registry_settings_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>

#include "platform/platform.h"
#include "tests/scratch_folder.h"

namespace veskar {

namespace {

constexpr const char* kMakerKey = "Software\\Quorvane";
constexpr const char* kProgramKey = "Software\\Quorvane\\VESKAR";
constexpr const char* kLastFolderKey = "Software\\Quorvane\\VESKAR\\Reper";

bool KeyExists(HKEY root, const char* path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

// A key's default value as stored, a terminating zero included; nullopt when it is absent or
// not of type REG_SZ.
std::optional<std::string> StoredText(HKEY root, const char* path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
    char data[1024];
    DWORD size = sizeof data;
    DWORD type = REG_NONE;
    const LONG status =
        ::RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
    return std::string(data, size);
}

void SetStoredBytes(HKEY root, const char* path, const std::string& bytes) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyA(root, path, &key), ERROR_SUCCESS);
    ::RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()),
                     static_cast<DWORD>(bytes.size()));
    ::RegCloseKey(key);
}

class MachineRootTest : public testing::Test {
  protected:
    void SetUp() override {
        // Settings of a VESKAR in use are not the test's to change.
        if (KeyExists(HKEY_LOCAL_MACHINE, kMakerKey))
            GTEST_SKIP() << "HKEY_LOCAL_MACHINE\\" << kMakerKey << " exists; left alone";
        HKEY software = nullptr;
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_CREATE_SUB_KEY, &software) !=
            ERROR_SUCCESS)
            GTEST_SKIP() << "HKEY_LOCAL_MACHINE cannot be written here";
        ::RegCloseKey(software);
        made_ = true;
        store.SelectSettingsRoot();
    }
    void TearDown() override {
        if (made_) ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kMakerKey);
    }

    bool made_ = false;
    RegistrySettingsBackend backend;
    SettingsStore store{backend};
};

TEST_F(MachineRootTest, TheMachinesRootIsChosenAndOnlyTheProgramKeyStays) {
    EXPECT_EQ(store.Root(), SettingsRoot::Machine);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kProgramKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Quorvane\\VESKAR\\wxyz"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kLastFolderKey));

    store.StoreLastFolder("N:\\R\xE9sum\xE9\\Out");
    EXPECT_EQ(StoredText(HKEY_LOCAL_MACHINE, kLastFolderKey),
              std::string("N:\\R\xE9sum\xE9\\") + '\0');
    EXPECT_EQ(store.ReadLastFolder(), "N:\\R\xE9sum\xE9\\");
}

// What another program, or an older VESKAR, may have left in the key.
TEST_F(MachineRootTest, ValuesReadAsTheyAreStoredOrAsNothingWhenTheyDoNotFit) {
    ScratchFolder here;
    const std::string former = platform::CurrentFolder();
    ASSERT_TRUE(platform::SetCurrentFolder(here.Path().string()));
    const std::string fallback = platform::CurrentFolder() + "\\";
    // Reading with nothing stored leaves the key, without a value.
    EXPECT_EQ(store.ReadLastFolder(), fallback);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kLastFolderKey));
    EXPECT_EQ(StoredText(HKEY_LOCAL_MACHINE, kLastFolderKey), std::nullopt);

    const std::string fits = "N:\\" + std::string(251, 'a') + "\\";  // 255 and the zero
    const struct {
        const char* what;
        std::string bytes;
        std::string read;
    } rows[] = {
        {"without its zero", "N:\\Raw\\", "N:\\Raw\\"},
        {"a zero inside", std::string("N:\\In\\\0junk", 11), "N:\\In\\"},
        {"255 characters", fits + '\0', fits},
        {"256 characters", fits + "b" + '\0', fallback},
        {"empty", std::string(1, '\0'), fallback},
    };
    for (const auto& row : rows) {
        SetStoredBytes(HKEY_LOCAL_MACHINE, kLastFolderKey, row.bytes);
        EXPECT_EQ(store.ReadLastFolder(), row.read) << row.what;
    }
    platform::SetCurrentFolder(former);
}

// Under Wine every program may write HKEY_LOCAL_MACHINE and key permissions are not
// enforced, so a machine's root that refuses the probe is made another way: for this process
// HKEY_LOCAL_MACHINE stands for a volatile key, under which the registry refuses to create
// lasting keys (ERROR_CHILD_MUST_BE_VOLATILE), and HKEY_CURRENT_USER for a key of the test's.
struct RedirectedRoots {
    std::string path = "Software\\veskar-test-" + std::to_string(std::random_device()());
    HKEY scratch = nullptr, machine = nullptr, user = nullptr;
    ~RedirectedRoots() {
        ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        for (HKEY key : {machine, user, scratch})
            if (key != nullptr) ::RegCloseKey(key);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
    }
};

TEST(UserRootTest, TheUsersRootWhenNoKeyCanBeCreatedUnderTheMachines) {
    RedirectedRoots roots;
    ASSERT_EQ(::RegCreateKeyA(HKEY_CURRENT_USER, roots.path.c_str(), &roots.scratch),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegCreateKeyExA(roots.scratch, "machine", 0, nullptr, REG_OPTION_VOLATILE,
                                KEY_ALL_ACCESS, nullptr, &roots.machine, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegCreateKeyA(roots.scratch, "user", &roots.user), ERROR_SUCCESS);
    ASSERT_EQ(::RegOverridePredefKey(HKEY_LOCAL_MACHINE, roots.machine), ERROR_SUCCESS);
    ASSERT_EQ(::RegOverridePredefKey(HKEY_CURRENT_USER, roots.user), ERROR_SUCCESS);

    RegistrySettingsBackend backend;
    SettingsStore store(backend);
    store.SelectSettingsRoot();
    EXPECT_EQ(store.Root(), SettingsRoot::User);
    // The user's key is made on first use, not by the choice.
    EXPECT_FALSE(KeyExists(roots.user, kMakerKey));
    store.StoreLastFolder("N:\\Out\\");
    EXPECT_EQ(StoredText(roots.user, kLastFolderKey), std::string("N:\\Out\\") + '\0');
    EXPECT_EQ(store.ReadLastFolder(), "N:\\Out\\");
    EXPECT_FALSE(KeyExists(roots.machine, "Software"));
}

}  // namespace

}  // namespace veskar
