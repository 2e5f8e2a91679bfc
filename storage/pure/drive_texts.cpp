#include "storage/pure/drive_texts.h"

#include "storage/pure/le.h"
#include "storage/pure/size_text.h"

CString FormatDiskTag(int diskNumber)
{
    CString tag;
    tag.Format(L" (Disk%d - ", diskNumber);
    return tag;
}

int GetDiskNumberFromText(const CString& text)
{
    const int open = text.Find(L'(');
    if (open < 0)
        return 0;
    CString rest = text.Mid(open + 1);
    rest = rest.GetLength() > 4 ? rest.Mid(4) : CString();
    const int dash = rest.Find(L'-');
    if (dash >= 0)
        rest = rest.Left(dash);
    return StrToInt32(rest.GetString());
}

CString BusTypeName(uint32_t busType)
{
    static const wchar_t* const kNames[] = { L"UNKNOWN", L"SCSI", L"ATAPI", L"ATA", L"IEEE 1394", L"SSA",      L"FIBRE",
                                             L"USB",     L"RAID", L"iSCSI", L"SAS", L"SATA",      L"Reserved", L"" };
    return busType < sizeof(kNames) / sizeof(kNames[0]) ? kNames[busType] : L"UNKNOWN";
}

CString MediaKindText(uint32_t mediaType, const CString& interfaceType)
{
    if (mediaType == 11)
        return L"Removable Media";
    if (mediaType == 12)
        return interfaceType == L"USB" ? L"External hard disk media" : L"Fixed hard disk media";
    return CString();
}

CString DiskItemText(int diskNumber, const CString& mediaKind, const CString& capacityText)
{
    const CString kind = mediaKind.Find(L"Removable media other than") >= 0 ? CString(L"Removable Media") : mediaKind;
    return FormatDiskTag(diskNumber) + kind + capacityText + L")";
}

CString DiskListValue(const CString& model, const CString& mediaKind, const CString& capacityText)
{
    CString value;
    for (CString part : { model, mediaKind, capacityText }) {
        part.Trim();
        if (!part.IsEmpty())
            value += (value.IsEmpty() ? L"" : L", ") + part;
    }
    return value;
}

CString DiskDescription(const CString& model, const CString& capacityText, uint64_t totalSectors,
                        const CString& diskNumberText)
{
    CString text;
    text.Format(L"%s||%s||%llu||%s", model, capacityText, totalSectors, diskNumberText);
    return BlankControlCharacters(text);
}

CString BlankControlCharacters(const CString& text)
{
    CString blanked = text;
    for (int i = 0; i < blanked.GetLength(); ++i)
        if (static_cast<uint32_t>(blanked[i]) < 0x20)
            blanked.SetAt(i, L' ');
    return blanked;
}

bool HasControlCharacter(const CString& text)
{
    for (int i = 0; i < text.GetLength(); ++i)
        if (static_cast<uint32_t>(text[i]) < 0x20)
            return true;
    return false;
}

LogicalDriveTexts MakeLogicalDriveTexts(wchar_t letter, const CString& label, const CString& fsName, bool sizeKnown,
                                        uint64_t totalBytes, uint64_t totalFreeBytes)
{
    LogicalDriveTexts t;
    if (!sizeKnown) {
        totalBytes = 0;
        t.freeSpaceText = L"Unknown Size ";
    } else if (totalFreeBytes > 0) {
        t.freeSpaceText = FormatSize(totalFreeBytes);
    }
    t.sectors = totalBytes >> 9;
    t.key.Format(L"\\\\.\\%c:|%lld", letter, int64_t(t.sectors));
    if (totalBytes > 0) {
        t.sizeText = FormatSize(totalBytes);
        t.sizeText.Trim();
    } else {
        t.sizeText = L"Unknown Size ";
    }
    t.itemText.Format(L"%c:\\ (%s - %s - %s)", letter, t.sizeText, label,
                      fsName.IsEmpty() ? CString(L"Unknown") : fsName);
    t.sizeText.Trim();
    t.freeSpaceText.Trim();
    return t;
}

namespace {

CString DescriptorText(const uint8_t* buf, size_t returned, size_t offsetField)
{
    CString text;
    if (offsetField + 4 > returned)
        return text;
    const uint32_t offset = Le32At(buf + offsetField);
    if (offset == 0)
        return text;
    for (size_t i = offset; i < returned && buf[i] != 0; ++i)
        text += wchar_t(buf[i]);
    return text;
}

} // namespace

StorageDeviceTexts ParseStorageDeviceDescriptor(const uint8_t* buf, size_t returned)
{
    StorageDeviceTexts t;
    t.vendor = DescriptorText(buf, returned, 12);
    t.product = DescriptorText(buf, returned, 16);
    t.revision = DescriptorText(buf, returned, 20);
    t.serial = DescriptorText(buf, returned, 24);
    return t;
}
