// The generated test media for tests under Wine: where the images are, their layout and carve
// manifest files, and read-only access to images and devices. tests/setup_images.sh links them
// into the prefix: \\.\X: fat32, \\.\Y: ntfs, \\.\W: fat16, \\.\V: ntfs512, \\.\PhysicalDrive1 gpt,
// \\.\PhysicalDrive2 mbr, \\.\PhysicalDrive3 carve.
#pragma once
#include "../../pure/sha256_util.h"
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "storage/pure/le.h"

namespace zr_test {

// The images folder (environment ZR_IMAGES, a Unix path) on Wine's Z: drive; empty when unset.
std::wstring ImagesDir();
// ImagesDir() + "\" + name.
std::wstring ImagePath(const std::wstring& name);
// The file at the link name Wine looks up for a device ("physicaldrive7" for
// "\\.\PhysicalDrive7") in the prefix's dosdevices folder; empty when WINEPREFIX is unset.
std::wstring DosDeviceFile(const wchar_t* name);

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& text);

// A file or device opened for reading only: nothing in the tests ever writes to the media.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::wstring& path);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool IsOpen() const { return m_h != INVALID_HANDLE_VALUE; }
    // Size in bytes: GetFileSizeEx, else the disk length IOCTL (raw volumes); 0 if unknown.
    uint64_t Size() const;
    // Up to n bytes from offset (fewer at the end, none past it), read in whole sectors.
    std::vector<uint8_t> Read(uint64_t offset, size_t n) const;

private:
    HANDLE m_h;
};

// n bytes at offset of path (fewer at its end); empty when it cannot be opened.
std::vector<uint8_t> ReadAt(const std::wstring& path, uint64_t offset, size_t n);

// mbr.img's volumes without their partition table (sector 0 stays zero), plus a copy of the
// FAT32 boot sectors at sector 63, written to `path` (a file at a device's link name). Only the
// sectors a partition search reads are written. False when something could not be copied.
bool MakeWipedMbrDisk(const std::wstring& path);

// A disk made by a test: a file at the name Wine looks up for "\\.\PhysicalDriveN" holding
// `image` from sector `at` on, `bytes` long at least (the rest never written: a sparse file).
// Deleted when the object goes.
class DiskFile {
public:
    DiskFile(int number, const wchar_t* image, uint64_t bytes, uint64_t at = 0);
    ~DiskFile() { Remove(); }
    DiskFile(const DiskFile&) = delete;
    DiskFile& operator=(const DiskFile&) = delete;
    bool Made() const { return m_made; }
    const std::wstring& Path() const { return m_path; }
    // Writes `bytes` over the disk's copy at `offset`.
    bool Patch(uint64_t offset, const std::vector<uint8_t>& bytes);
    void Remove();

private:
    std::wstring m_path;
    bool m_made = false;
};

// The volume columns of IMAGE.layout.tsv (index, type, start, count, fs, ...), one per line.
struct LayoutEntry {
    uint64_t start = 0; // first sector
    uint64_t count = 0; // sectors
    std::string fs;     // fat16, fat32, ntfs or extended
};
std::vector<LayoutEntry> LoadLayout(const std::wstring& image);

// One line of carve.img.manifest.tsv: a file written whole at a sector-aligned offset.
struct CarveEntry {
    uint64_t offset = 0;
    uint64_t size = 0;
    std::string sha256;
    std::string type; // jpeg, png, gif, bmp, pdf, zip, wav, rtf
    std::string name; // the sample it was copied from
};
std::vector<CarveEntry> LoadCarveManifest(const std::wstring& image);

// SHA-256 in lower-case hex, to compare bytes read back with the truth and manifest files.
std::string Sha256Hex(const void* data, size_t n);
inline std::string Sha256Hex(const std::vector<uint8_t>& v)
{
    return Sha256Hex(v.data(), v.size());
}

// carvemedia.img.truth.tsv (\\.\PhysicalDrive6, \\.\M:): the files planted for the carving
// searches, and every item each search pass finds over the whole image (fixtures/README.md).
struct CarvePlanted {
    std::string name, type;
    uint64_t offset = 0, size = 0;
    std::string sha256, note; // note: "-", overlapped-by:NAME, cut-by-image-end, not-carved
};
struct CarveFind {
    std::string search, pass, key, name; // search photo, sig, video; pass general, thorough
    uint64_t start = 0, end = 0;         // a saved file holds image[start, end)
    std::string close, sha256, planted;  // planted: the file starting there, "-" for none
};
struct CarveMediaTruth {
    std::vector<CarvePlanted> planted;
    std::vector<CarveFind> found;
};
CarveMediaTruth LoadCarveMediaTruth(const std::wstring& image);

} // namespace zr_test
