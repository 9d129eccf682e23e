// SPDX-License-Identifier: Apache-2.0
// The settings store on QSettings: which scope holds the program key, what a store and a read
// leave in it, and the current-folder fallback. Each test has scopes of its own.
#include "app/core/settings_store.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <string>

#include "app/qt/qt_settings.h"
#include "app/qt/qt_text.h"
#include "platform/platform.h"
#include "tests/mac_fixtures.h"
#include "tests/window/window_fixture.h"

namespace veskar {

namespace {

QSettings ScopeFile(const QString& file) {
    return QSettings(file, QSettings::IniFormat);
}

QVariant Stored(const QString& file) {
    return ScopeFile(file).value(QStringLiteral("Reper/Default"));
}

class SettingsStoreTest : public testing::Test {
  protected:
    SettingsSandbox sandbox;
    QtSettingsBackend backend;
    SettingsStore store{backend};
};

TEST_F(SettingsStoreTest, MachineRootWhenWritableLeavesTheProgramKeyAndNoProbe) {
    // Before the root is chosen no key opens, so nothing is written anywhere.
    EXPECT_EQ(store.ReadLastFolder(), "");
    EXPECT_FALSE(QDir(sandbox.SystemPath()).exists());

    store.SelectSettingsRoot();
    EXPECT_EQ(store.Root(), SettingsRoot::Machine);
    ASSERT_TRUE(QFile::exists(sandbox.SystemFile()));
    EXPECT_TRUE(ScopeFile(sandbox.SystemFile()).allKeys().isEmpty());

    store.StoreLastFolder("/mnt/ntfs/Out/");
    EXPECT_EQ(Stored(sandbox.SystemFile()).toString(), "/mnt/ntfs/Out/");
    EXPECT_EQ(store.ReadLastFolder(), "/mnt/ntfs/Out/");
    EXPECT_FALSE(QDir(sandbox.UserPath()).exists());
}

TEST_F(SettingsStoreTest, UserRootWhenNothingCanBeCreatedInTheSystemScope) {
    sandbox.MakeSystemUnwritable();
    store.SelectSettingsRoot();
    EXPECT_EQ(store.Root(), SettingsRoot::User);
    // The user's key is made on first use, not by the choice.
    EXPECT_FALSE(QFile::exists(sandbox.UserFile()));
    store.StoreLastFolder("/mnt/ntfs/Out/");
    EXPECT_EQ(Stored(sandbox.UserFile()).toString(), "/mnt/ntfs/Out/");
    EXPECT_EQ(store.ReadLastFolder(), "/mnt/ntfs/Out/");
    EXPECT_FALSE(QDir(sandbox.SystemPath()).exists());
}

// QSettings' user scope reads the system scope where it has no value of its own; a key under
// the user's root must not, as HKEY_CURRENT_USER never reads HKEY_LOCAL_MACHINE.
TEST_F(SettingsStoreTest, UserRootDoesNotReadTheMachinesFolder) {
    store.SelectSettingsRoot();
    store.StoreLastFolder("/machine/Out/");
    const auto key = backend.CreateKey(SettingsRoot::User, "Software\\Quorvane\\VESKAR\\Reper");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->DefaultValue(), "");
}

TEST_F(SettingsStoreTest, StoresThePathUpToAndIncludingItsLastSeparator) {
    store.SelectSettingsRoot();
    const struct {
        const char* given;
        const char* stored;
    } rows[] = {
        {"/mnt/ntfs/Out/", "/mnt/ntfs/Out/"},
        {"/mnt/ntfs/Out", "/mnt/ntfs/"},
        {"/", "/"},
        {"Out", "Out"},
        {"/mnt/ntfs/Résumé été/", "/mnt/ntfs/Résumé été/"},
    };
    for (const auto& row : rows) {
        store.StoreLastFolder(row.given);
        EXPECT_EQ(store.ReadLastFolder(), row.stored) << "stored '" << row.given << "'";
    }
}

TEST_F(SettingsStoreTest, ReadingWithNothingStoredGivesTheCurrentFolderAndLeavesAnEmptyKey) {
    store.SelectSettingsRoot();
    CurrentFolderGuard guard;
    TempDir folder;
    ASSERT_TRUE(platform::SetCurrentFolder(folder.Path()));
    EXPECT_EQ(store.ReadLastFolder(), platform::CurrentFolder() + "/");
    const QVariant left = Stored(sandbox.SystemFile());
    EXPECT_TRUE(left.isValid());
    EXPECT_EQ(left.toString(), "");

    ASSERT_TRUE(platform::SetCurrentFolder("/"));
    EXPECT_EQ(store.ReadLastFolder(), "/");
}

TEST_F(SettingsStoreTest, AValueTooLongForItsBufferReadsAsNothingStored) {
    store.SelectSettingsRoot();
    CurrentFolderGuard guard;
    ASSERT_TRUE(platform::SetCurrentFolder("/"));
    const std::string fits = "/" + std::string(253, 'a') + "/";  // 255 characters
    store.StoreLastFolder(fits);
    EXPECT_EQ(store.ReadLastFolder(), fits);
    store.StoreLastFolder("/" + std::string(254, 'a') + "/");
    EXPECT_EQ(store.ReadLastFolder(), "/");
}

}  // namespace

}  // namespace veskar
