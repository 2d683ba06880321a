#include <cstring>

#include <gtest/gtest.h>

#include "platform/double/test_double.h"
#include "platform/win32.h"

namespace {

class Resources : public ::testing::Test {
protected:
    void SetUp() override { testdouble::Install(testdouble::Script()); }
};

TEST_F(Resources, FindLoadLockAndSizeReachTheLinkedBytes) {
    const HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(106), RT_RCDATA);
    ASSERT_NE(found, nullptr);
    const HGLOBAL loaded = LoadResource(nullptr, found);
    const auto* bytes = static_cast<const unsigned char*>(LockResource(loaded));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(SizeofResource(nullptr, found), 7u);
    EXPECT_EQ(std::memcmp(bytes, "RIX3", 4), 0);
    EXPECT_EQ(bytes[6], 3);
}

TEST_F(Resources, TheProgramsModuleHandleAndTheTextFormOfANameWorkToo) {
    const HMODULE self = GetModuleHandleA(nullptr);
    ASSERT_NE(self, nullptr);
    const HRSRC found = FindResourceA(self, "#7", RT_RCDATA);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(SizeofResource(self, found), 1u);
    EXPECT_EQ(*static_cast<const unsigned char*>(LockResource(LoadResource(self, found))), 42);
}

TEST_F(Resources, MissingResourcesAndForeignModulesFindNothing) {
    const HMODULE foreign = reinterpret_cast<HMODULE>(0x1234);
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(105), RT_RCDATA), nullptr);
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(106), MAKEINTRESOURCEA(3)), nullptr);
    EXPECT_EQ(FindResourceA(nullptr, "PICTURE", RT_RCDATA), nullptr);
    EXPECT_EQ(FindResourceA(foreign, MAKEINTRESOURCEA(106), RT_RCDATA), nullptr);
    EXPECT_EQ(GetModuleHandleA("other.dll"), nullptr);
    // A failed lookup flows through the rest as null and zero.
    EXPECT_EQ(LoadResource(nullptr, nullptr), nullptr);
    EXPECT_EQ(LockResource(nullptr), nullptr);
    EXPECT_EQ(SizeofResource(nullptr, nullptr), 0u);
}

}  // namespace
