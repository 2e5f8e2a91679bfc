#include "sigrecovery/pure/filetype.h"

#include <algorithm>

std::vector<FileType1> GeneralFileTypeList;
std::vector<int32_t> GeneralOffsetList;
std::vector<FileType1> AdvanceFileTypeList;
std::vector<int32_t> AdvanceOffsetList;
std::vector<FileType1> SignatureFileTypeList;
std::vector<int32_t> SignatureOffsetList;

namespace {

// A decimal number of digits only; false when empty, not all digits or above limit.
bool ParseDecimal(const CString& text, int64_t limit, int64_t& value)
{
    if (text.IsEmpty())
        return false;
    value = 0;
    for (int i = 0; i < text.GetLength(); ++i) {
        wchar_t ch = text[i];
        if (ch < L'0' || ch > L'9')
            return false;
        if (value > (limit - (ch - L'0')) / 10)
            return false;
        value = value * 10 + (ch - L'0');
    }
    return true;
}

// The file's lines, line endings removed. A last line without its LF still counts; the empty
// text after a final LF does not. Each byte is one character.
std::vector<CString> SplitLines(const std::string& bytes)
{
    std::vector<CString> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        size_t stop = end == std::string::npos ? bytes.size() : end;
        size_t len = stop - start;
        if (len > 0 && bytes[start + len - 1] == '\r')
            --len;
        std::wstring line(len, L'\0');
        for (size_t i = 0; i < len; ++i)
            line[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[start + i]));
        lines.emplace_back(line);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return lines;
}

CString LineValue(const CString& line)
{
    CString value = line.Mid(line.ReverseFind(L':') + 1);
    value.Trim();
    return value;
}

// Fills the signature fields from upper-cased hex text, two digits a byte; the digit left over
// at the end of an odd-length text is a byte of its own ("ABC" gives 0xAB, 0x0C). The reason on
// refusal: a character that is not a hex digit would otherwise match whatever byte it read as.
const char* ParseSignatureHex(const CString& hex, FileType1& t)
{
    const int digits = hex.GetLength();
    if (digits == 0)
        return "empty signature";
    if ((digits + 1) / 2 > kMaxSignatureBytes)
        return "signature longer than 50 bytes";
    for (int i = 0; i < digits; i += 2) {
        const int hi = HexDigit(hex[i]);
        const int lo = i + 1 < digits ? HexDigit(hex[i + 1]) : 0;
        if (hi < 0 || lo < 0)
            return "signature is not hex";
        t.signature[i / 2] = i + 1 < digits ? hi * 16 + lo : hi;
    }
    t.signatureLength = (digits + 1) / 2;
    t.firstByte = t.signature[0];
    return nullptr;
}

} // namespace

CString TypeRowText(const CString& extensionText)
{
    CString text = extensionText;
    text.Trim();
    if (text.GetLength() > 0 && text[0] == L'.')
        text.Delete(0);
    text.Trim();
    return text;
}

CString MakeTypeKey(const CString& extensionText)
{
    CString key = TypeRowText(extensionText);
    key.MakeUpper();
    return key;
}

int64_t MaxSizeBytes(const FileType1& type)
{
    int64_t value = 0;
    return ParseDecimal(type.maxSize, INT64_MAX, value) ? value : 0;
}

SignatureFileContent ParseSignatureFile(const std::string& bytes)
{
    SignatureFileContent content;
    const std::vector<CString> lines = SplitLines(bytes);
    constexpr size_t kLinesPerRecord = 6;
    for (size_t first = 0; first < lines.size(); first += kLinesPerRecord) {
        const int lineNo = static_cast<int>(first) + 1;
        auto refuse = [&](const char* reason) { content.refused.push_back({ lineNo, reason }); };
        if (lines.size() - first < kLinesPerRecord) {
            refuse("record cut short by the end of the file");
            break;
        }
        SignatureFileEntry e;
        e.firstLine = lineNo;
        e.type.extension = LineValue(lines[first]);
        e.key = MakeTypeKey(e.type.extension);
        if (e.key.IsEmpty()) {
            refuse("empty extension");
            continue;
        }

        e.type.maxSize = LineValue(lines[first + 1]);
        int64_t maxSize = 0;
        if (!ParseDecimal(e.type.maxSize, INT64_MAX, maxSize) || maxSize <= 0) {
            refuse("maximum size is not a number above 0");
            continue;
        }

        e.type.hexText = LineValue(lines[first + 2]);
        e.type.hexText.MakeUpper();
        if (const char* why = ParseSignatureHex(e.type.hexText, e.type)) {
            refuse(why);
            continue;
        }

        int64_t offset = 0;
        if (!ParseDecimal(LineValue(lines[first + 3]), kMaxSignatureOffset, offset) || offset < kMinSignatureOffset) {
            refuse("offset is not a number from 1 to 512");
            continue;
        }
        e.type.offset = static_cast<int32_t>(offset);
        e.description = LineValue(lines[first + 5]);
        content.entries.push_back(e);
    }
    return content;
}

void AddSignature(const FileType1& type, std::vector<FileType1>& list, std::vector<int32_t>& offsets)
{
    list.push_back(type);
    if (std::find(offsets.begin(), offsets.end(), type.offset) == offsets.end())
        offsets.push_back(type.offset);
}

void AddAllEntries(const SignatureFileContent& content, std::vector<FileType1>& list, std::vector<int32_t>& offsets)
{
    for (const SignatureFileEntry& e : content.entries)
        AddSignature(e.type, list, offsets);
}

void AddFileTypeRows(const SignatureFileContent& content, std::vector<FileTypeRow>& rows)
{
    for (const SignatureFileEntry& e : content.entries) {
        bool known = std::any_of(rows.begin(), rows.end(),
                                 [&](const FileTypeRow& r) { return r.key.CompareNoCase(e.key) == 0; });
        if (!known)
            rows.push_back({ e.key, e.description });
    }
}
