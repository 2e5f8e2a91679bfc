#include "storage/pure/scan_target.h"

FsKind FsKindFromName(const CString& name)
{
    if (name == L"FAT16")
        return FsKind::Fat16;
    if (name == L"FAT32")
        return FsKind::Fat32;
    if (name == L"NTFS")
        return FsKind::Ntfs;
    return FsKind::Unknown;
}

CString FsKindName(FsKind kind)
{
    switch (kind) {
    case FsKind::Fat16:
        return L"FAT16";
    case FsKind::Fat32:
        return L"FAT32";
    case FsKind::Ntfs:
        return L"NTFS";
    default:
        return L"Unknown";
    }
}
