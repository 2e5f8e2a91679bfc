// Carving signatures: the record the carving scan matches sector bytes against, the parser of
// the six-line signature data files, and the signature lists the scan walks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cstring.h"

constexpr int kMaxSignatureBytes = 50;
constexpr int kMinSignatureOffset = 1; // 1-based position in a 512-byte sector
constexpr int kMaxSignatureOffset = 512;

// One signature. A value type; the lists hold copies. Two records are equal when their offset
// and first byte agree: the scan finds its candidates with a probe record carrying only these.
struct FileType1 {
    int32_t offset = 0;                         // 1..512, position of the first byte in a sector
    int32_t firstByte = 0;                      // 0..255, value of signature[0]
    int32_t signature[kMaxSignatureBytes] = {}; // byte values 0..255; slots from signatureLength on unused
    int32_t signatureLength = 0;                // 1..50
    CString extension;                          // dot and extension, e.g. ".jpg"
    CString maxSize;                            // largest size of a found file, decimal text (> 0)
    CString hexText;                            // the signature as upper-case hex text

    bool operator==(const FileType1& other) const { return offset == other.offset && firstByte == other.firstByte; }
    bool operator!=(const FileType1& other) const { return !(*this == other); }
};

// The type key of an extension text: trimmed, one leading "." dropped, trimmed again, upper
// case (" .jpg" -> "JPG"). Every place that names a type (type list rows, summary rows,
// ticked-type lookups) uses this one function so they always agree.
CString MakeTypeKey(const CString& extensionText);
// The type as a row shows it: the same without the upper-casing (" .jpg" -> "jpg").
CString TypeRowText(const CString& extensionText);

// maxSize as a number; the parser only accepts records where this is above 0.
int64_t MaxSizeBytes(const FileType1& type);

// One accepted record of a data file, with what the type list needs besides the signature.
struct SignatureFileEntry {
    FileType1 type;      // extension as written in the file (not upper-cased)
    CString key;         // MakeTypeKey(type.extension)
    CString description; // line 6, trimmed (may be empty)
    int firstLine = 0;   // 1-based line number of the record's first line
};

// A record the parser refused, for tests and diagnostics.
struct SignatureFileRefusal {
    int firstLine = 0;
    std::string reason;
};

struct SignatureFileContent {
    std::vector<SignatureFileEntry> entries; // file order
    std::vector<SignatureFileRefusal> refused;
};

// Parses a data file's bytes: records of six lines (LF or CR LF), each line's value is the text
// after its last ':' (the whole line without one), trimmed; bytes are 8-bit characters.
// A record is refused (and its six lines skipped) unless all six lines are present, the
// extension gives a non-empty key, the offset is a decimal 1..512, the signature is 1..50
// bytes of hex digits (two a byte; a last odd digit is a byte of its own) and the maximum size
// is a decimal number above 0.
SignatureFileContent ParseSignatureFile(const std::string& bytes);

// ---- Signature lists ------------------------------------------------------------------------
// Records in file order; each offset list holds the distinct offsets of its record list in the
// order of first appearance since it was last emptied.

// Photo Search lists: filled once at start-up, never emptied.
extern std::vector<FileType1> GeneralFileTypeList;
extern std::vector<int32_t> GeneralOffsetList;
extern std::vector<FileType1> AdvanceFileTypeList;
extern std::vector<int32_t> AdvanceOffsetList;
// Signature and Video Search: one shared pair, loaded per pass with the ticked types.
extern std::vector<FileType1> SignatureFileTypeList;
extern std::vector<int32_t> SignatureOffsetList;

// Appends a copy of type to list, and its offset to offsets unless already there.
void AddSignature(const FileType1& type, std::vector<FileType1>& list, std::vector<int32_t>& offsets);

// Adds every entry, extension as written (the Photo loaders).
void AddAllEntries(const SignatureFileContent& content, std::vector<FileType1>& list, std::vector<int32_t>& offsets);

// Adds the entries whose type is ticked, extension upper-cased (the Signature and Video
// loaders). isTicked gets the type key; a key without a row in the type list counts as
// ticked, which is the caller's answer to give.
template <class IsTicked>
void AddTickedEntries(const SignatureFileContent& content, std::vector<FileType1>& list, std::vector<int32_t>& offsets,
                      IsTicked isTicked)
{
    for (const SignatureFileEntry& e : content.entries) {
        if (!isTicked(e.key))
            continue;
        FileType1 t = e.type;
        t.extension.MakeUpper();
        AddSignature(t, list, offsets);
    }
}

// A row of the Signature/Video type list.
struct FileTypeRow {
    CString key;
    CString description;
};

// Appends to rows the types of content not yet in rows (compared case-insensitively), with
// the description of their first record; used for both files of a dialog in turn.
void AddFileTypeRows(const SignatureFileContent& content, std::vector<FileTypeRow>& rows);
