#include "app/pure/descriptions.h"

#include <cwchar>

std::vector<PropertyRow> PartitionPropertyRows(const PartitionPropertyTexts& t)
{
    return {
        { L"1. Start Sector :", CString(L"0") },
        { L"2. End Sector : ", t.endSector },
        { L"3. Partition Type : ", t.partitionType },
        { L"4. Volume : ", t.volume },
        { L"5. Label : ", t.label },
        { L"6. Size : ", t.size },
        { L"7. Free Space : ", t.freeSpace },
        { L"8. Search Mode : ", t.searchMode },
        { L"9. Serial Number : ", t.serialNumber },
    };
}

std::vector<PropertyRow> DiskPropertyRows(const DiskPropertyTexts& t)
{
    return {
        { L"1. Model :", t.model },
        { L"2. MediaType :", t.mediaType },
        { L"3. Interface Type :", t.interfaceType },
        { L"4. Capacity(size) :", t.capacity },
        { L"5. Cylinders :", t.cylinders },
        { L"6. Heads :", t.heads },
        { L"7. Sectors :", t.sectors },
        { L"8. Bytes per Sector :", t.bytesPerSector },
        { L"9. Sector per Track :", t.sectorsPerTrack },
        { L"10. Firmware Revision ID :", t.firmwareRevision },
        { L"11. Serial Number :", t.serialNumber },
        { L"12. System Name :", t.systemName },
        { L"13. Physical Device ID :", t.deviceId },
    };
}

namespace {

struct TypeEntry {
    const wchar_t* description;
    const wchar_t* extensions; // upper-case, each ends with a blank
};

const TypeEntry kTypes[] = {
    { L"Microsoft Word File", L".DOC .DOCX " },
    { L"Microsoft Power Point File", L".PPT .PPTX .PPSX .PPS " },
    { L"Microsoft Excel File", L".XLS .XLSX " },
    { L"Icon file", L".ICO " },
    { L"PDF file", L".PDF " },
    { L"Executable file", L".EXE .BAT .COM " },
    { L"Font file", L".TTF .FON .FNT .OTF " },
    { L"Image File", L".PS .AI .BMP .GIF .PNG .PSD .PSP .THM .TIF .DRW .DXF .EPS .SVG .JPG .MNG .PCT .JPEG " },
    { L"Winzip File", L".ZIP .RAR .7Z .DEB .GZ .PKG .SEA .SIT .SITX " },
    { L"Web file", L".HTM .HTML .ASP .ASPX .CSS .JS .JSP .PHP .XHTML " },
    { L"Help File", L".CHM " },
    { L"Registry file", L".REG " },
    { L"Sound file", L".WAV .AU .MP3 .M4A .MID .MIDI .MPA .WMA .AMR .RA .RAM .M3U .IFF .AIF .AAC " },
    { L"Video File", L".AVI .MOV .MKV .FLV .ASX .ASF .3GP .3G2 .MP4 .MPG .SWF .VOB .WMV .QT .RM " },
    { L"C++ file", L".CPP .C " },
    { L"Backup File", L".BAK .BUP .GHO .OLD .ORI " },
    { L"Scripting File", L".VB .WS " },
    { L"System File", L".LNK .SYS " },
    { L"Disk File", L".ISO .VCD " },
    { L"Database File", L".MDBX .SQL .MDB .DB " },
    { L"Java Source Code File", L".JAVA " },
    { L"Program Information File", L".PIF " },
    { L"BitTorrent File", L".TORRENT " },
    { L"Perl Script File", L".PL " },
    { L"Temporary File", L".TMP " },
    { L"Header file", L".H " },
    { L"Windows Installer Package File", L".MSI " },
    { L"Rich Text Format File", L".RTF " },
    { L"Mail Message File", L".MSG " },
    { L"Comma Separated Values File", L".CSV " },
    { L"Data File", L".DAT " },
    { L"Dynamic Link Library File", L".DLL " },
    { L"XML File", L".XML " },
    { L"Microsoft Works Spreadsheet File", L".WKS " },
    { L"Text file", L".TXT .LOG " },
    { L"vCard File", L".VCF " },
    { L"Contact File", L".CONTACT " },
};

// A listed extension matches in all capitals or all small letters, never in mixed case.
bool IsSingleCase(const CString& text)
{
    CString upper = text, lower = text;
    upper.MakeUpper();
    lower.MakeLower();
    return text == upper || text == lower;
}

} // namespace

CString GetFileTypeDescription(CString extension)
{
    extension.Trim();
    if (extension.IsEmpty())
        return CString(L"File");
    CString upper = extension;
    upper.MakeUpper();
    if (IsSingleCase(extension) && upper.Find(L' ') < 0) {
        const CString key = upper + L" ";
        for (const TypeEntry& entry : kTypes) {
            const wchar_t* list = entry.extensions;
            for (const wchar_t* at = wcsstr(list, key); at; at = wcsstr(at + 1, key))
                if (at == list || at[-1] == L' ')
                    return CString(entry.description);
        }
    }
    return upper.Mid(1) + L" File";
}
