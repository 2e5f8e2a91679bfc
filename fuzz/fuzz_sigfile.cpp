// Fuzzes the signature data-file parser: any bytes parse without a crash or an overread, and
// every record it accepts is one the carving scan can use without further checks (position
// 1..512, 1..50 signature bytes of 0..255 matching the hex text, a size above 0, a type key).
// The lists built from the result keep one entry per distinct offset and one row per type.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "sigrecovery/pure/filetype.h"

#define CHECK(cond)                                                                                                    \
    do {                                                                                                               \
        if (!(cond))                                                                                                   \
            std::abort();                                                                                              \
    } while (0)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const SignatureFileContent content = ParseSignatureFile(bytes);

    for (const SignatureFileEntry& e : content.entries) {
        const FileType1& t = e.type;
        CHECK(t.offset >= kMinSignatureOffset && t.offset <= kMaxSignatureOffset);
        CHECK(t.signatureLength >= 1 && t.signatureLength <= kMaxSignatureBytes);
        CHECK(t.firstByte == t.signature[0]);
        CHECK((t.hexText.GetLength() + 1) / 2 == t.signatureLength);
        for (int i = 0; i < t.signatureLength; ++i)
            CHECK(t.signature[i] >= 0 && t.signature[i] <= 255);
        CHECK(MaxSizeBytes(t) > 0);
        CHECK(!e.key.IsEmpty() && e.key == MakeTypeKey(t.extension));
        CHECK(e.firstLine >= 1 && (e.firstLine - 1) % 6 == 0);
    }

    std::vector<FileType1> list;
    std::vector<int32_t> offsets;
    AddAllEntries(content, list, offsets);
    CHECK(list.size() == content.entries.size());
    for (const FileType1& t : list)
        CHECK(std::count(offsets.begin(), offsets.end(), t.offset) == 1);
    CHECK(offsets.size() <= list.size());

    std::vector<FileTypeRow> rows;
    AddFileTypeRows(content, rows);
    AddFileTypeRows(content, rows); // a second file with the same types adds nothing
    for (size_t i = 0; i < rows.size(); ++i)
        for (size_t j = i + 1; j < rows.size(); ++j)
            CHECK(rows[i].key.CompareNoCase(rows[j].key) != 0);
    return 0;
}
