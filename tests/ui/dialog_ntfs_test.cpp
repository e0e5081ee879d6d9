// The real dialog on real NTFS streams: QUORVANE_NTFS_FOLDER names a folder on
// an NTFS volume whose path:z reaches the stream z (ntfs-3g with the Windows
// stream interface under Wine, or NTFS itself). Create Hashes writes the
// digests and the records beside them, and Start finds the file altered
// afterwards.
#include <windows.h>

#include <algorithm>
#include <cstdlib>

#include "tests/ui/dialog_harness.h"
#include "ui/resource_ids.h"

namespace {

const char AbcDigest[] =
    "4e2448a4c6f486bb16b6562c73b4020bf3043e3a731bce721ae1b303d97e6d4c"
    "7181eebdb6c57e277d0e34957114cbd6c797fc9d95d8b582d225292076d4eef5";

std::wstring WriteFileOn(const std::wstring& path, const std::string& contents) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
    CloseHandle(file);
    return path;
}

std::vector<uint8_t> StreamBytes(const std::wstring& path, const wchar_t* streamName = L":z") {
    std::vector<uint8_t> bytes(128);
    HANDLE stream = CreateFileW((path + streamName).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (stream == INVALID_HANDLE_VALUE) return {};
    DWORD got = 0;
    ReadFile(stream, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(stream);
    bytes.resize(got);
    return bytes;
}

class NtfsDialogTest : public DialogTest {
protected:
    std::wstring folder;
    void SetUp() override {
        DialogTest::SetUp();
        if (IsSkipped()) return;
        const wchar_t* named = _wgetenv(L"QUORVANE_NTFS_FOLDER");
        if (!named || !*named) GTEST_SKIP() << "QUORVANE_NTFS_FOLDER unset: no NTFS folder to run on";
        folder = named;
    }
    void Run(int id) {
        int closed = RunsClosed();
        Click(id);
        ASSERT_TRUE(WaitClosed(closed));
    }
    std::vector<std::wstring> Items(int id) {
        std::vector<std::wstring> items = ListItems(Item(id));
        std::sort(items.begin(), items.end());
        return items;
    }
};

TEST_F(NtfsDialogTest, CreateThenStartFindsAnAlteredFile) {
    std::wstring a = WriteFileOn(folder + L"\\a.txt", "abc");
    std::wstring b = WriteFileOn(folder + L"\\b.bin", std::string(300000, 'b'));
    ASSERT_TRUE(Open(L"Quorvane.exe"));
    SetField(folder);

    Run(ListButtonId);
    EXPECT_EQ(Items(UnhashedListId), std::vector<std::wstring>({a, b}));
    Run(CreateButtonId);
    EXPECT_EQ(Items(HashedListId), std::vector<std::wstring>({a, b}));
    EXPECT_EQ(TextOf(Item(StatusTextId)), L"Ready.");
    EXPECT_EQ(StreamBytes(a), HexBytes(AbcDigest));
    EXPECT_EQ(StreamBytes(b).size(), 64u);
    // The record beside each digest, for a later console run to tell an edit.
    EXPECT_EQ(StreamBytes(a, L":zr").size(), 32u);

    Run(StartButtonId);
    EXPECT_EQ(TextOf(Item(StatusTextId)), L"All files checked successfully.");

    WriteFileOn(b, std::string(299999, 'b') + "B");
    Run(StartButtonId);
    EXPECT_EQ(Items(AlteredListId), std::vector<std::wstring>({b}));
    EXPECT_EQ(TextOf(Item(StatusTextId)), L"Ready. 1 of 1 altered files were edited.");
    CloseIdle();
}

// A file whose path is over 260 characters, in folders made through the
// long-path prefix: Create and Rewrite must reach it as List and Check do.
TEST_F(NtfsDialogTest, CreateAndRewriteReachAPathOverMaxPath) {
    std::wstring top = folder + L"\\long", path = top;
    ASSERT_TRUE(CreateDirectoryW(top.c_str(), nullptr));
    while (path.size() < 300) {
        path += L"\\" + std::wstring(60, L'd');
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + path).c_str(), nullptr));
    }
    std::wstring file = WriteFileOn(L"\\\\?\\" + path + L"\\a.txt", "abc").substr(4);
    ASSERT_TRUE(Open(L"Quorvane.exe"));
    SetField(top);
    Run(ListButtonId);
    Run(CreateButtonId);
    EXPECT_EQ(Items(HashedListId), std::vector<std::wstring>({file}));
    EXPECT_EQ(TextOf(Item(StatusTextId)), L"Ready.");
    EXPECT_EQ(StreamBytes(L"\\\\?\\" + file), HexBytes(AbcDigest));

    WriteFileOn(L"\\\\?\\" + file, "abd");
    Run(StartButtonId);
    EXPECT_EQ(Items(AlteredListId), std::vector<std::wstring>({file}));
    Run(RewriteButtonId);
    EXPECT_EQ(TextOf(Item(StatusTextId)), L"Ready.");
    EXPECT_EQ(Items(AlteredListId), std::vector<std::wstring>());
    CloseIdle();
}

// One file under three names: two hard links in a folder, and one of them
// named again as a target. With several hashing threads each name waits for
// the one before: the digest is written once and no name fails.
TEST_F(NtfsDialogTest, CreateOverOneFileUnderSeveralNames) {
    std::wstring links = folder + L"\\links";
    ASSERT_TRUE(CreateDirectoryW(links.c_str(), nullptr));
    std::wstring a = WriteFileOn(links + L"\\a", "abc");
    std::wstring b = links + L"\\b";
    ASSERT_TRUE(CreateHardLinkW(b.c_str(), a.c_str(), nullptr));
    ASSERT_TRUE(Open(L"Quorvane.exe"));
    SetField(L"\"" + links + L"\" \"" + a + L"\"");

    Run(ListButtonId);
    EXPECT_EQ(Items(UnhashedListId), std::vector<std::wstring>({a, a, b}));
    Run(CreateButtonId);
    EXPECT_EQ(Items(HashedListId), std::vector<std::wstring>({a, a, b}));
    EXPECT_EQ(TextOf(Item(StatusTextId)), L"Ready.");
    EXPECT_EQ(StreamBytes(a), HexBytes(AbcDigest));
    EXPECT_EQ(StreamBytes(a, L":zr").size(), 32u);

    Run(StartButtonId);
    EXPECT_EQ(TextOf(Item(StatusTextId)), L"All files checked successfully.");
    CloseIdle();
}

}  // namespace
