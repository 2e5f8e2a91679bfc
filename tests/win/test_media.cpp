// The volume and disk devices the test setup links in deliver nothing past their ends, which the
// zero-filling of short reads relies on.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/images.h"

using namespace zr_test;

namespace {

const uint64_t kSector = 512;

const wchar_t* const kDevices[] = {L"\\\\.\\W:", L"\\\\.\\X:", L"\\\\.\\Y:", L"\\\\.\\V:",
                                   L"\\\\.\\PhysicalDrive1", L"\\\\.\\PhysicalDrive2", L"\\\\.\\PhysicalDrive3"};

} // namespace

TEST(Media, ReadsAtOrPastTheEndDeliverNothing) {
    ASSERT_FALSE(ImagesDir().empty()) << "ZR_IMAGES is not set";
    std::vector<std::wstring> paths = {ImagePath(L"fat16.img")};
    for (const wchar_t* device : kDevices) paths.push_back(device);
    for (const std::wstring& path : paths) {
        SCOPED_TRACE(Narrow(path));
        ReadOnlyFile f(path);
        const uint64_t size = f.Size();
        ASSERT_GT(size, 0u);
        for (uint64_t off : {size, size + kSector, size + (1u << 20)}) {
            LARGE_INTEGER at;
            at.QuadPart = LONGLONG(off);
            ASSERT_TRUE(SetFilePointerEx(f.Handle(), at, nullptr, FILE_BEGIN));
            uint8_t buf[kSector];
            DWORD got = 12345;
            BOOL ok = ReadFile(f.Handle(), buf, kSector, &got, nullptr);
            EXPECT_TRUE(!ok || got == 0) << "ReadFile at " << off << " gave " << got << " bytes";
        }
        // A read across the end stops at it.
        std::vector<uint8_t> tail = f.Read(size - 100, 300), last = f.Read(size - kSector, kSector);
        ASSERT_EQ(tail.size(), 100u);
        ASSERT_EQ(last.size(), kSector);
        EXPECT_TRUE(std::equal(tail.begin(), tail.end(), last.end() - 100));
    }
}
