// The sector reader and the partition and volume readers on the test devices, and on a sparse
// file over 4 GiB that the test makes itself.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/images.h"
#include "common/ui_wait.h"
#include "storage/destination_check.h"
#include "storage/partition_table.h"
#include "storage/pure/globals.h"
#include "storage/pure/storage_host.h"
#include "storage/sector_source.h"

using namespace zr_test;

namespace {

const wchar_t kGptDisk[] = L"\\\\.\\PhysicalDrive1";
const wchar_t kMbrDisk[] = L"\\\\.\\PhysicalDrive2";

class StorageTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(ImagesDir().empty()) << "ZR_IMAGES is not set";
        PlatformProbe();
        ASSERT_EQ(PlatformKind, 'N');
    }
};

std::vector<uint8_t> Sectors(const wchar_t* path, uint64_t sector, DWORD count, DWORD* result)
{
    std::vector<uint8_t> buf(size_t(count) * kSectorSize, 0xCC);
    *result = ReadSectors(path, DWORD(sector), DWORD(sector >> 32), count, buf.data());
    return buf;
}

// What ReadSectors gives is what the image file holds; across a device's end it zero-fills.
TEST_F(StorageTest, ReadSectorsMatchesTheImages)
{
    const struct {
        const wchar_t* device;
        const wchar_t* image;
    } media[] = {
        { kMbrDisk, L"mbr.img" },        { kGptDisk, L"gpt.img" },      { L"\\\\.\\PhysicalDrive3", L"carve.img" },
        { L"\\\\.\\X:", L"fat32.img" },  { L"\\\\.\\Y:", L"ntfs.img" }, { L"\\\\.\\W:", L"fat16.img" },
        { L"\\\\.\\V:", L"ntfs512.img" }
    };
    for (const auto& m : media) {
        SCOPED_TRACE(Narrow(m.device));
        ReadOnlyFile file(ImagePath(m.image));
        ASSERT_TRUE(file.IsOpen());
        const uint64_t sectors = file.Size() / kSectorSize;
        EXPECT_EQ(ReadOnlyFile(m.device).Size(), file.Size());
        for (uint64_t sector : { uint64_t(2048), sectors - 8 }) {
            DWORD ok = 0;
            const std::vector<uint8_t> got = Sectors(m.device, sector, 8, &ok);
            ASSERT_EQ(ok, 1u) << sector;
            EXPECT_EQ(got, file.Read(sector * kSectorSize, 8 * kSectorSize)) << sector;
        }
        DWORD ok = 0;
        const std::vector<uint8_t> tail = Sectors(m.device, sectors - 1, 3, &ok);
        ASSERT_EQ(ok, 1u);
        EXPECT_TRUE(std::all_of(tail.begin() + kSectorSize, tail.end(), [](uint8_t b) { return b == 0; }));
    }
}

TEST_F(StorageTest, ShortReadsCountWhatCameAndReadsPastTheEndFail)
{
    const uint64_t sectors = ReadOnlyFile(ImagePath(L"mbr.img")).Size() / kSectorSize;
    DWORD ok = 0;
    std::vector<uint8_t> got(4 * kSectorSize);
    EXPECT_EQ(ReadSectorsCounted(kMbrDisk, sectors - 1, 4, got.data()), kSectorSize);
    KeptHandleSectorSource kept(kMbrDisk);
    std::fill(got.begin(), got.end(), 0xCC);
    EXPECT_EQ(kept.Read(sectors - 1, 4, got.data()), kSectorSize);
    EXPECT_EQ(got.back(), 0);
    EXPECT_EQ(kept.Read(sectors, 1, got.data()), 0u);
    EXPECT_EQ(KeptHandleSectorSource(L"\\\\.\\PhysicalDrive9").Read(0, 1, got.data()), 0u);

    for (uint64_t sector : { sectors, uint64_t(1) << 40 }) {
        Sectors(kMbrDisk, sector, 1, &ok);
        EXPECT_EQ(ok, 0u) << sector;
    }
    Sectors(L"\\\\.\\PhysicalDrive9", 0, 1, &ok);
    EXPECT_EQ(ok, 0u);
    EXPECT_EQ(ReadSectors(kMbrDisk, uint64_t(0), kMaxSectorsPerRead + 1, got.data()), 0u);
    PlatformKind = 0; // before the platform probe every read fails
    Sectors(kMbrDisk, 0, 1, &ok);
    EXPECT_EQ(ok, 0u);
    PlatformProbe();
}

// Sector 2^23 + 7 of a sparse file lies beyond byte offset 4 GiB: the seek must carry the high
// half.
TEST_F(StorageTest, SectorsBeyondFourGiB)
{
    wchar_t path[MAX_PATH];
    swprintf(path, MAX_PATH, L"Z:\\tmp\\zr_storage_sparse_%lu.img", GetCurrentProcessId());
    const uint64_t high = (uint64_t(1) << 23) + 7;
    {
        // The test's own scratch file, the one thing here opened for writing.
        const HANDLE out = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(out, INVALID_HANDLE_VALUE);
        char mark[kSectorSize] = "high";
        LARGE_INTEGER at;
        at.QuadPart = LONGLONG(high * kSectorSize);
        DWORD written = 0;
        ASSERT_TRUE(SetFilePointerEx(out, at, nullptr, FILE_BEGIN));
        ASSERT_TRUE(WriteFile(out, mark, kSectorSize, &written, nullptr));
        CloseHandle(out);
    }
    std::vector<uint8_t> buf(kSectorSize);
    EXPECT_EQ(ReadSectors(path, DWORD(high), DWORD(high >> 32), 1, buf.data()), 1u);
    EXPECT_STREQ(reinterpret_cast<char*>(buf.data()), "high");
    EXPECT_EQ(ReadSectors(path, uint64_t(7), 1, buf.data()), 1u); // the same low half
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(ReadSectors(path, high + 1, 1, buf.data()), 0u);
    const HANDLE h = OpenDeviceForReading(path);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    // A low half of 0xFFFFFFFF is a position, not an error.
    EXPECT_EQ(SetFilePointer64(h, 0xFFFFFFFFu, 0, FILE_BEGIN), 0xFFFFFFFFull);
    CloseHandle(h);
    EXPECT_TRUE(DeleteFileW(path));
}

// The Windows 9x branch: only BIOS drives 0x80-0x83 below sector 2^32, through disk32.dll, which
// is not there: the read fails with the message, and the next read tries to load it again.
TEST_F(StorageTest, Windows9xBranch)
{
    EXPECT_EQ(BiosDriveOfPath(L"\\\\.\\PhysicalDrive3"), 0x83u);
    for (const wchar_t* path :
         { L"\\\\.\\PhysicalDrive4", L"\\\\.\\PhysicalDrive10", L"\\\\.\\X:", L"\\\\.\\PhysicalDrive" })
        EXPECT_EQ(BiosDriveOfPath(path), 0u);

    PlatformKind = 'F';
    std::vector<uint8_t> buf(kSectorSize, 0xCC);
    {
        MessageBoxCatcher boxes;
        EXPECT_EQ(ReadSectors(L"\\\\.\\PhysicalDrive10", uint64_t(0), 1, buf.data()), 0u);
        EXPECT_EQ(ReadSectors(kMbrDisk, uint64_t(1) << 32, 1, buf.data()), 0u);
        EXPECT_EQ(boxes.Count(), 0); // refused before the library is looked for
        EXPECT_EQ(buf[0], 0);
        EXPECT_EQ(ReadSectors(kMbrDisk, uint64_t(0), 1, buf.data()), 0u);
        EXPECT_EQ(ReadSectors(kMbrDisk, uint64_t(0), 1, buf.data()), 0u);
        EXPECT_EQ(boxes.Count(), 2); // "disk32.dll not found." each time
    }
    EXPECT_FALSE(Disk32Loaded());
    PlatformProbe();
}

struct TreeHost : StorageHost {
    TreeItemHandle InsertPartitionItem(TreeItemHandle, const CString& text) override
    {
        texts.push_back(text);
        return reinterpret_cast<TreeItemHandle>(uintptr_t(100 + texts.size()));
    }
    CString LogicalDrivePath() override { return CString(); }
    AutoSearchState QueryAutoSearchState() override { return state; }
    bool StartPartitionSearch() override { return ++started, true; }

    std::vector<CString> texts;
    AutoSearchState state;
    int started = 0;

    TreeHost() { SetStorageHost(this); }
    ~TreeHost() { SetStorageHost(nullptr); }
};

TEST_F(StorageTest, ValidateSelectedVolumeOnTheImages)
{
    TreeHost host;
    // The NTFS partition of the MBR disk, with its exclusive end (the drive letters are
    // validated by every Basic Search scan).
    SelectedItemKind = L"part";
    CurrentDevicePath = kMbrDisk;
    SelectedVolumeRecord SelectedVolumeInfo;
    VolumeGeometryRecord VolumeGeometry;
    SelectedVolumeInfo.fsName = L"NTFS";
    SelectedVolumeInfo.startSector = 206848;
    SelectedVolumeInfo.endSector = 206848 + 131072;
    ASSERT_EQ(ValidateSelectedVolume(SelectedVolumeInfo, VolumeGeometry), 1);
    EXPECT_EQ(VolumeGeometry.cluster0Start, 206848u);
    EXPECT_NE(VolumeGeometry.mftSector, 0u);

    // A whole disk with a partition table is refused without a search; a junk disk starts one.
    host.state.selectedIsWholeDisk = true;
    SelectedVolumeInfo.startSector = 0;
    SelectedVolumeInfo.endSector = 409600;
    EXPECT_EQ(ValidateSelectedVolume(SelectedVolumeInfo, VolumeGeometry), 0);
    EXPECT_EQ(host.started, 0);
    CurrentDevicePath = L"\\\\.\\PhysicalDrive3";
    AutoPartitionSearch = 0;
    EXPECT_EQ(ValidateSelectedVolume(SelectedVolumeInfo, VolumeGeometry), 0);
    EXPECT_EQ(host.started, 1);
    AutoPartitionSearch = 0;
    SelectedItemKind.Empty();
    CurrentDevicePath.Empty();
}

// A drive letter ("Q:") that no test image uses, as subst would take one; "?:" when none is free.
CString FreeDriveLetter()
{
    for (wchar_t c = L'Z'; c >= L'D'; --c)
        if ((::GetLogicalDrives() & (1u << (c - L'A'))) == 0)
            return CString(c) + L":";
    return L"?:";
}

// A folder of a share, as Wine finds one: "\\\\server\\share\\folder" is the folder
// unc/server/share/folder of the prefix's dosdevices. Made when constructed, removed (empty) when
// destroyed; Path() is empty when it could not be made.
class ShareFolder {
public:
    ShareFolder(const std::wstring& server, const std::wstring& share, const std::wstring& folder)
    {
        std::wstring at = DosDeviceFile(L"unc");
        for (const std::wstring& part : { std::wstring(), server, share, folder }) {
            at += part.empty() ? L"" : L"\\" + part;
            if (::CreateDirectoryW(at.c_str(), nullptr))
                m_made.push_back(at);
            else if (::GetLastError() != ERROR_ALREADY_EXISTS)
                return;
        }
        m_path = L"\\\\" + server + L"\\" + share + L"\\" + folder;
    }
    ~ShareFolder()
    {
        for (auto made = m_made.rbegin(); made != m_made.rend(); ++made)
            ::RemoveDirectoryW(made->c_str());
    }
    const std::wstring& Path() const { return m_path; }

private:
    std::vector<std::wstring> m_made; // outermost first
    std::wstring m_path;
};

// The facts of a destination as this system gives them, and the rule on them. A drive's own
// volume (C:) is named and placed (on no disk, under Wine); a letter that stands for another path
// (DefineDosDevice, as subst makes it), a "\\?\Volume{...}\" path and a "\\?\C:\" path belong to
// the volume of what they stand for; a share of this machine is the folder it serves (C$ is C:\),
// and one whose folder the system does not tell is refused while a disk or a volume is read; one
// of another machine (however its path is written, or a letter standing for it) is not.
TEST_F(StorageTest, DestinationFactsAsTheSystemGivesThemAndTheRuleOnThem)
{
    const DestinationFacts system = GatherDestinationFacts(L"C:\\windows");
    EXPECT_TRUE(system.isFolder);
    EXPECT_EQ(CString(L"C:\\"), system.volumeRoot);
    ASSERT_EQ(0, system.volumeName.Find(L"\\\\?\\Volume{")) << ToUtf8(system.volumeName);
    EXPECT_TRUE(system.extentsKnown);
    const CString letter = FreeDriveLetter();
    ASSERT_NE(L'?', letter[0]);
    ASSERT_TRUE(::DefineDosDeviceW(0, letter, L"C:\\windows"));
    const DestinationFacts substituted = GatherDestinationFacts(CString(letter) + L"\\system32");
    ::DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, letter, L"C:\\windows");
    const DestinationFacts byName = GatherDestinationFacts(system.volumeName + L"windows");
    const DestinationFacts prefixed = GatherDestinationFacts(L"\\\\?\\C:\\windows");
    for (const DestinationFacts* facts : { &substituted, &byName, &prefixed }) {
        EXPECT_EQ(system.volumeName, facts->volumeName) << ToUtf8(facts->folder);
        EXPECT_TRUE(facts->extentsKnown) << ToUtf8(facts->folder);
    }
    const DestinationFacts share = GatherDestinationFacts(L"\\\\localhost\\c$\\windows");
    EXPECT_EQ(system.volumeName, share.volumeName);
    EXPECT_TRUE(share.extentsKnown);
    EXPECT_FALSE(share.remote);
    DestinationFacts shareFolder = share; // as a share that answered would say
    shareFolder.isFolder = true;
    // Shares of another machine and of this one by its own name, made where Wine finds them.
    wchar_t ownName[256] = {};
    DWORD ownSize = 256;
    ASSERT_TRUE(::GetComputerNameExW(ComputerNameNetBIOS, ownName, &ownSize));
    const ShareFolder elsewhere(L"zrserver", L"share", L"found"), here(ownName, L"share", L"found");
    ASSERT_FALSE(elsewhere.Path().empty());
    ASSERT_FALSE(here.Path().empty());
    const wchar_t* const shareTarget = L"\\??\\UNC\\zrserver\\share";
    ASSERT_TRUE(::DefineDosDeviceW(DDD_RAW_TARGET_PATH, letter, shareTarget));
    DestinationFacts mapped = GatherDestinationFacts(CString(letter) + L"\\found");
    ::DefineDosDeviceW(DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, letter, shareTarget);
    const DestinationFacts remote = GatherDestinationFacts(elsewhere.Path().c_str());
    const DestinationFacts remotePrefixed = GatherDestinationFacts(L"\\\\?\\UNC\\zrserver\\share\\found");
    for (const DestinationFacts* facts : { &remote, &remotePrefixed }) {
        EXPECT_TRUE(facts->isFolder) << ToUtf8(facts->folder);
        EXPECT_TRUE(facts->remote) << ToUtf8(facts->folder);
    }
    EXPECT_TRUE(mapped.remote);
    mapped.isFolder = true; // Wine opens no file through a letter that stands for a share
    const DestinationFacts ownShare = GatherDestinationFacts(here.Path().c_str());
    EXPECT_TRUE(ownShare.isFolder);
    EXPECT_FALSE(ownShare.remote);

    const ScannedMedium disk = ScannedMediumOf(kMbrDisk, 0, 100000);
    const ScannedMedium letterX = ScannedMediumOf(L"\\\\.\\X:", 0, 100000);
    const ScannedMedium letterC = ScannedMediumOf(L"\\\\.\\C:", 0, 100000);
    const ScannedMedium imageFile = ScannedMediumOf(ImagePath(L"fat16.img").c_str(), 0, 100000);
    EXPECT_EQ(system.volumeName, letterC.volumeName);
    const DestinationCheck on = DestinationCheck::OnScannedMedium, ok = DestinationCheck::Ok;
    const struct {
        const DestinationFacts& facts;
        const ScannedMedium& medium;
        DestinationCheck expect;
    } cases[] = {
        { system, disk, ok },         { system, letterX, ok },        { system, letterC, on },
        { system, imageFile, ok },    { substituted, letterC, on },   { byName, letterC, on },
        { prefixed, letterC, on },    { prefixed, disk, ok },         { shareFolder, disk, ok },
        { shareFolder, letterC, on }, { shareFolder, imageFile, ok },
        { remote, disk, ok },         { remote, letterC, ok },        { remotePrefixed, letterX, ok },
        { mapped, disk, ok },         { ownShare, disk, on },         { ownShare, letterC, on },
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expect, CheckDestinationPlace(c.facts, { c.medium }))
            << ToUtf8(c.facts.folder) << " " << ToUtf8(c.medium.devicePath);
    EXPECT_EQ(on, CheckDestinationFolder(L"X:\\", { letterX }));
    EXPECT_EQ(ok, CheckDestinationFolder(elsewhere.Path().c_str(), { disk, letterX }));
}

// One IPv4 address of this machine's own network interfaces other than loopback, as text; empty
// when it has none.
CString OwnInterfaceAddress()
{
    ULONG size = 65536;
    std::vector<uint8_t> buffer(size);
    auto* adapters = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
    if (::GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST, nullptr, adapters, &size) !=
        NO_ERROR)
        return CString();
    for (auto* adapter = adapters; adapter; adapter = adapter->Next)
        for (auto* unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
            const auto* v4 = reinterpret_cast<const SOCKADDR_IN*>(unicast->Address.lpSockaddr);
            const uint32_t a = ntohl(v4->sin_addr.s_addr);
            if (v4->sin_family == AF_INET && (a >> 24) != 127) {
                CString text;
                text.Format(L"%u.%u.%u.%u", a >> 24, (a >> 16) & 0xFF, (a >> 8) & 0xFF, a & 0xFF);
                return text;
            }
        }
    return CString();
}

// A destination is judged where it leads. A share of this machine, named by any of its names or
// addresses (loopback in every spelling), is the folder it serves; a folder that is a symbolic
// link (C:\zrlink_m, made by the test setup, leads to M:\) is the folder it points to; a letter
// that stands for a share of this machine is that share. Only a server that resolves to none of
// this machine's addresses is another machine.
TEST_F(StorageTest, ADestinationIsJudgedWhereItLeads)
{
    const ScannedMedium letterC = ScannedMediumOf(L"\\\\.\\C:", 0, 100000);
    const ScannedMedium letterM = ScannedMediumOf(L"\\\\.\\M:", 0, 100000);
    ASSERT_FALSE(letterC.volumeName.IsEmpty());
    ASSERT_FALSE(letterM.volumeName.IsEmpty());
    ASSERT_NE(letterC.volumeName, letterM.volumeName);
    const DWORD link = ::GetFileAttributesW(L"C:\\zrlink_m");
    ASSERT_TRUE(link != INVALID_FILE_ATTRIBUTES && (link & FILE_ATTRIBUTE_DIRECTORY)) << "no C:\\zrlink_m";
    wchar_t dnsName[256] = {};
    DWORD dnsSize = 256;
    ASSERT_TRUE(::GetComputerNameExW(ComputerNameDnsHostname, dnsName, &dnsSize));
    const CString own = OwnInterfaceAddress();
    if (own.IsEmpty())
        std::printf("note: this machine has no interface address but loopback; that spelling is not tried\n");
    const CString ownShare = own.IsEmpty() ? CString(L"\\\\127.0.0.1\\m$\\found") : L"\\\\" + own + L"\\m$\\found";
    // A letter no test image uses, standing for a share of this machine.
    const CString letter = FreeDriveLetter();
    ASSERT_NE(L'?', letter[0]);
    const wchar_t* const shareTarget = L"\\??\\UNC\\127.1\\c$";
    ASSERT_TRUE(::DefineDosDeviceW(DDD_RAW_TARGET_PATH, letter, shareTarget));
    const DestinationFacts mapped = GatherDestinationFacts(CString(letter) + L"\\windows");
    ::DefineDosDeviceW(DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, letter, shareTarget);

    const struct {
        CString path;
        wchar_t leadsTo; // the letter of the volume it lies on; 0: another machine
    } cases[] = {
        { L"\\\\localhost\\c$\\windows", L'C' },
        { L"\\\\LOCALHOST.\\C$\\windows", L'C' },
        { L"\\\\127.1\\c$\\windows", L'C' },
        { L"\\\\0x7f000001\\c$\\windows", L'C' },
        { L"\\\\?\\UNC\\2130706433\\c$\\windows", L'C' },
        { L"\\\\[::1]\\c$\\windows", L'C' },
        { L"\\\\0--1.ipv6-literal.net\\c$\\windows", L'C' },
        { L"\\\\" + CString(dnsName) + L"\\m$\\found", L'M' },
        { ownShare, L'M' },
        { L"C:\\zrlink_m", L'M' },
        { L"\\\\?\\C:\\zrlink_m\\", L'M' },
        { L"\\\\127.0.0.1\\c$\\zrlink_m", L'M' },
        { CString(letter) + L"\\windows", L'C' },
        { L"\\\\198.51.100.7\\share\\found", 0 },
        { L"\\\\zrserver.\\share\\found", 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.path));
        DestinationFacts facts = c.path.Left(2) == letter ? mapped : GatherDestinationFacts(c.path);
        facts.isFolder = true; // as the share would say where Wine serves none
        EXPECT_EQ(c.leadsTo == 0, facts.remote);
        const DestinationCheck onC = c.leadsTo == L'C' ? DestinationCheck::OnScannedMedium : DestinationCheck::Ok;
        const DestinationCheck onM = c.leadsTo == L'M' ? DestinationCheck::OnScannedMedium : DestinationCheck::Ok;
        EXPECT_EQ(onC, CheckDestinationPlace(facts, { letterC }));
        EXPECT_EQ(onM, CheckDestinationPlace(facts, { letterM }));
        if (c.leadsTo != 0) {
            EXPECT_EQ((c.leadsTo == L'C' ? letterC : letterM).volumeName, facts.volumeName);
        }
    }
}

} // namespace
