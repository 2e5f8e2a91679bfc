// The destination rule's parts that decide where a folder lies: whether a share's server is this
// machine, the folder a share of this machine serves, the range a scan reads, and the folder's
// path exactly as the save uses it.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>

#include "storage/pure/destination_check.h"

namespace {

NetAddress V6(std::initializer_list<uint16_t> groups)
{
    NetAddress a{};
    size_t at = 0;
    for (uint16_t g : groups) {
        a[at++] = uint8_t(g >> 8);
        a[at++] = uint8_t(g);
    }
    return a;
}

// Every spelling the resolver takes for an address is that address; a name is none.
TEST(DestinationServer, EverySpellingOfAnAddressIsThatAddress)
{
    const NetAddress loop4 = Ipv4NetAddress(0x7F000001), loop6 = V6({ 0, 0, 0, 0, 0, 0, 0, 1 });
    const struct {
        const wchar_t* spelling;
        NetAddress address;
    } addresses[] = {
        { L"127.0.0.1", loop4 },
        { L"127.1", loop4 },
        { L"127.0.1", loop4 },
        { L"0x7f000001", loop4 },
        { L"0X7F.1", loop4 },
        { L"2130706433", loop4 },
        { L"017700000001", loop4 },
        { L"0177.0.0.01", loop4 },
        { L"127.0.0.1.", loop4 },
        { L"127.65535", Ipv4NetAddress(0x7F00FFFF) },
        { L"3221225986", Ipv4NetAddress(0xC0000202) },
        { L"0", Ipv4NetAddress(0) },
        { L"4294967295", Ipv4NetAddress(0xFFFFFFFF) },
        { L"::1", loop6 },
        { L"[::1]", loop6 },
        { L"0:0:0:0:0:0:0:1", loop6 },
        { L"0--1.ipv6-literal.net", loop6 },
        { L"0--1.IPV6-Literal.NET.", loop6 },
        { L"::ffff:127.0.0.1", loop4 },
        { L"::FFFF:7f00:1", loop4 },
        { L"fe80::1%4", V6({ 0xFE80, 0, 0, 0, 0, 0, 0, 1 }) },
        { L"fe80--1s4.ipv6-literal.net", V6({ 0xFE80, 0, 0, 0, 0, 0, 0, 1 }) },
        { L"::", NetAddress{} },
        { L"1::", V6({ 1, 0, 0, 0, 0, 0, 0, 0 }) },
        { L"2001:db8::ff00:42:8329", V6({ 0x2001, 0xDB8, 0, 0, 0, 0xFF00, 0x42, 0x8329 }) },
        { L"1:2:3:4:5:6:1.2.3.4", V6({ 1, 2, 3, 4, 5, 6, 0x102, 0x304 }) },
    };
    for (const auto& a : addresses) {
        NetAddress parsed{};
        parsed.fill(0xAA);
        EXPECT_TRUE(ParseServerAddress(a.spelling, &parsed)) << ToUtf8(a.spelling);
        EXPECT_EQ(parsed, a.address) << ToUtf8(a.spelling);
    }
    for (const wchar_t* name :
         { L"", L".", L"localhost", L"desk-7", L"4294967296", L"256.0.0.1", L"127.0.0.256", L"127.0.0.1.5", L"1270.0.0.1",
           L"127..1", L"127.16777216", L"1.2.65536", L"08", L"0x", L"0x1g", L" 127.0.0.1", L"-1", L"1e100", L":::",
           L"1::2::3", L"1:2:3:4:5:6:7:8:9", L"12345::1", L"::1%", L"[::1", L"1:", L":1", L"::ffff:127.1", L"g::1",
           L"%4", L"1-2.ipv6-literal.net.x", L"ipv6-literal.net" }) {
        NetAddress parsed{};
        EXPECT_FALSE(ParseServerAddress(name, &parsed)) << ToUtf8(name);
    }
}

// A server is this machine when it names it or resolves to one of its addresses, loopback in
// every spelling included; only a server that resolves to none of them is another machine.
TEST(DestinationServer, AServerIsAnotherMachineOnlyWhenItResolvesToNoneOfThisMachinesAddresses)
{
    const std::vector<CString> names = { L"DESK-7", L"desk-7.home.example" };
    const NetAddress lan = Ipv4NetAddress(0xC0000202), lan6 = V6({ 0xFD00, 0, 0, 0, 0, 0, 0, 2 });
    const std::vector<NetAddress> own = { lan, lan6 };
    const NetAddress other = Ipv4NetAddress(0xC000024D), loop = Ipv4NetAddress(0x7F000001);
    const struct {
        const wchar_t* server;
        std::vector<NetAddress> resolved;
        bool thisMachine;
    } cases[] = {
        { L"localhost", {}, true },
        { L"LOCALHOST.", {}, true },
        { L"127.1", {}, true },
        { L"0x7f000001", {}, true },
        { L"2130706433", {}, true },
        { L"127.255.255.254", {}, true },
        { L"::1", {}, true },
        { L"[::1]", {}, true },
        { L"0--1.ipv6-literal.net", {}, true },
        { L"::ffff:127.0.0.1", {}, true },
        { L"0.0.0.0", {}, true },
        { L"::", {}, true },
        { L"192.0.2.2", {}, true },
        { L"3221225986", {}, true },
        { L"fd00::2", {}, true },
        { L"fd00--2.ipv6-literal.net", {}, true },
        { L"desk-7.", {}, true },
        { L"DESK-7.HOME.EXAMPLE.", {}, true },
        { L"zrserver", { loop }, true },
        { L"alias", { other, lan6 }, true },
        { L"nas", { other }, false },
        { L"nas", {}, false },
        { L"192.0.2.3", {}, false },
        { L"192.0.2.3", { loop }, false }, // an address is what it says, whatever a lookup gives
        { L"128.0.0.1", {}, false },
        { L"fd00::3", {}, false },
        { L"localhost2", {}, false },
        { L"desk-70", {}, false },
        { L"", { loop }, false },
        { L".", {}, false },
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsThisMachine(c.server, names, own, c.resolved), c.thisMachine) << ToUtf8(c.server);
}

// A share of this machine is the folder it serves: an administrative share of a drive serves
// the drive's root; any other share serves what the system says of it.
TEST(DestinationServer, AShareOfThisMachineIsTheFolderItServes)
{
    const struct {
        const wchar_t* path;
        const wchar_t *server, *share, *rest;
        const wchar_t* served; // as the system says it (empty: only the share's name tells)
        const wchar_t* local;  // empty: not known
    } cases[] = {
        { L"\\\\localhost\\c$\\x", L"localhost", L"c$", L"x", L"", L"C:\\x" },
        { L"\\\\?\\UNC\\127.1\\D$\\found\\deep", L"127.1", L"D$", L"found\\deep", L"", L"D:\\found\\deep" },
        { L"//[::1]/e$/", L"[::1]", L"e$", L"", L"", L"E:\\" },
        { L"\\\\srv\\c$", L"srv", L"c$", L"", L"", L"C:\\" },
        { L"\\\\srv\\data\\a\\b", L"srv", L"data", L"a\\b", L"E:\\shared\\", L"E:\\shared\\a\\b" },
        { L"\\\\srv\\c$\\x", L"srv", L"c$", L"x", L"F:\\elsewhere", L"F:\\elsewhere\\x" },
        { L"\\\\srv\\data\\x", L"srv", L"data", L"x", L"", L"" },
        { L"\\\\srv\\cd$\\x", L"srv", L"cd$", L"x", L"", L"" },
        { L"\\\\srv\\1$\\x", L"srv", L"1$", L"x", L"", L"" },
        { L"\\\\srv\\ADMIN$\\x", L"srv", L"ADMIN$", L"x", L"", L"" },
        { L"\\\\srv", L"srv", L"", L"", L"", L"" },
    };
    for (const auto& c : cases) {
        UncPath parts;
        ASSERT_TRUE(SplitUncPath(c.path, &parts)) << ToUtf8(c.path);
        EXPECT_EQ(parts.server, CString(c.server)) << ToUtf8(c.path);
        EXPECT_EQ(parts.share, CString(c.share)) << ToUtf8(c.path);
        EXPECT_EQ(parts.rest, CString(c.rest)) << ToUtf8(c.path);
        const CString served = *c.served ? CString(c.served) : AdministrativeShareFolder(parts.share);
        EXPECT_EQ(served.IsEmpty() ? CString() : PathBelowServedFolder(served, parts.rest), CString(c.local))
            << ToUtf8(c.path);
    }
    UncPath parts;
    for (const wchar_t* path : { L"C:\\x", L"\\\\?\\C:\\x", L"\\\\.\\C:", L"\\\\?\\Volume{abc}\\x", L"\\\\\\x", L"\\x" })
        EXPECT_FALSE(SplitUncPath(path, &parts)) << ToUtf8(path);
}

DestinationFacts FolderOn(std::vector<DiskExtent> extents, const wchar_t* folder = L"E:\\out")
{
    DestinationFacts d;
    d.folder = folder;
    d.isFolder = d.writable = true;
    d.volumeRoot = L"E:\\";
    d.volumeName = L"\\\\?\\Volume{E}\\";
    d.extentsKnown = true;
    d.volumeExtents = std::move(extents);
    return d;
}

// A scan reads from its first sector up to the sector after its range: a volume that begins at
// that sector, or ends where the range begins, lies outside it. The same for the range of a disk
// and for the place of a scanned volume on its disk.
TEST(DestinationRange, ARangeEndsAtTheSectorAfterIt)
{
    const uint64_t first = 2048, end = 206848;
    const struct {
        uint64_t start, count;
        bool on;
    } cases[] = {
        { end, 1000, false },         // begins at the sector after the range
        { end + 1, 1000, false },     // begins past it
        { end - 1, 1000, true },      // begins on its last sector
        { 0, first, false },          // ends where the range begins
        { 0, first + 1, true },       // ends on its first sector
        { first, end - first, true }, // the range itself
        { first + 10, 10, true },     // inside it
        { 0, UINT64_MAX, true },      // around it, to the top without wrapping
        { end - 1, 0, false },        // an empty extent is nothing
    };
    ScannedMedium volume;
    volume.devicePath = L"\\\\.\\M:";
    volume.volumeExtents = { { 6, first, end - first } };
    for (const auto& c : cases) {
        const DestinationFacts facts = FolderOn({ { 6, c.start, c.count } });
        const DestinationCheck expect = c.on ? DestinationCheck::OnScannedMedium : DestinationCheck::Ok;
        EXPECT_EQ(CheckDestination(facts, ScannedRange(L"\\\\.\\PhysicalDrive6", first, end)), expect)
            << c.start << "+" << c.count;
        EXPECT_EQ(CheckDestination(facts, volume), expect) << "volume " << c.start << "+" << c.count;
        // Another disk's sectors are apart from either.
        EXPECT_EQ(CheckDestination(FolderOn({ { 5, c.start, c.count } }), volume), DestinationCheck::Ok);
    }
    // A range that is empty or given backwards counts as its first sector.
    for (const uint64_t rangeEnd : { first, first - 1 }) {
        const ScannedMedium range = ScannedRange(L"\\\\.\\PhysicalDrive6", first, rangeEnd);
        EXPECT_EQ(CheckDestination(FolderOn({ { 6, first, 1 } }), range), DestinationCheck::OnScannedMedium);
        EXPECT_EQ(CheckDestination(FolderOn({ { 6, first + 1, 1 } }), range), DestinationCheck::Ok);
    }
}

// The folder is judged exactly as the save will use it: blanks around it make no folder's path,
// so that a check never lets through a string every file then fails on.
TEST(DestinationRange, TheFolderIsJudgedAsTheSaveWillUseIt)
{
    const ScannedMedium disk = ScannedRange(L"\\\\.\\PhysicalDrive6", 0, 1000);
    const struct {
        const wchar_t* folder;
        DestinationCheck expect;
    } cases[] = {
        { L"E:\\out", DestinationCheck::Ok },
        { L" E:\\out", DestinationCheck::NotAFolderPath },
        { L"E:\\out ", DestinationCheck::NotAFolderPath },
        { L"\tE:\\out\t", DestinationCheck::NotAFolderPath },
        { L"E:\\out\r\n", DestinationCheck::NotAFolderPath },
        { L" \t ", DestinationCheck::Empty },
    };
    for (const auto& c : cases)
        EXPECT_EQ(CheckDestination(FolderOn({}, c.folder), disk), c.expect) << ToUtf8(c.folder);
}

} // namespace
