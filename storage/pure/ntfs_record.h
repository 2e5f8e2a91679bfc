// NTFS file records: the update-sequence fix-up, a bounded attribute walk, the mapping pairs
// of non-resident attributes, and the small number helpers the record parsers share.
// Everything takes bytes and returns values; nothing here reads a device.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "storage/pure/le.h"

constexpr size_t kMftRecordSize = 1024;
constexpr uint32_t kAttrStandardInfo = 0x10;
constexpr uint32_t kAttrAttributeList = 0x20;
constexpr uint32_t kAttrFileName = 0x30;
constexpr uint32_t kAttrData = 0x80;
constexpr uint32_t kAttrIndexRoot = 0x90;
constexpr uint32_t kAttrIndexAllocation = 0xA0;
constexpr uint32_t kAttrReparsePoint = 0xC0;
constexpr uint32_t kAttrEnd = 0xFFFFFFFF;

// The compression method in an attribute header's flags (LZNT1 is 1).
constexpr uint16_t kAttrFlagCompressionMask = 0x00FF;
constexpr uint16_t kAttrFlagLznt1 = 0x0001;
// The reparse tag of a file that Windows keeps compressed in a named stream of its own (WOF).
constexpr uint32_t kReparseTagWof = 0x80000017;

// Restores the last two bytes of every 512-byte sector of a multi-sector structure from its
// update-sequence array, over the whole buffer. Sectors the array does not cover and array
// entries that would lie outside the buffer are left alone. A torn record (a sector tail that
// does not hold the sequence number) is still fixed up; the result says whether the record is
// whole: every sector of the buffer covered by the array and its tail matched, for callers that
// want to know.
bool ApplyNtfsFixup(uint8_t* buffer, size_t length);

// True when the buffer starts with the "FILE" signature.
bool IsFileRecord(const uint8_t* record, size_t length);

// A file reference: the record number in its low 48 bits, the record's sequence number in the top 16.
inline uint64_t NtfsReferenceRecord(uint64_t reference)
{
    return reference & 0xFFFFFFFFFFFFull;
}
inline uint16_t NtfsReferenceSequence(uint64_t reference)
{
    return uint16_t(reference >> 48);
}

// Fields of a file record's header (at least 48 bytes).
struct NtfsRecordHeader {
    uint16_t sequence = 0;       // 0x10: counts the times the record was freed
    uint8_t flags = 0;           // 0x16: bit 0 in use, bit 1 directory
    uint64_t baseReference = 0;  // 0x20: 0 in a base record; in an extension record, its base's reference
    bool numbered = false;       // NTFS 3.1 headers keep the record's own number
    uint32_t number = 0;         // 0x2C, when numbered

    bool InUse() const { return (flags & 1) != 0; }
    // An extension record holds attributes of the file its base reference names: never a file of
    // its own.
    bool IsExtension() const { return NtfsReferenceRecord(baseReference) != 0; }
};
// Inline: every record a scan reads is asked whether it is an extension record.
inline NtfsRecordHeader ReadNtfsRecordHeader(const uint8_t* record)
{
    NtfsRecordHeader h;
    h.sequence = Le16At(record + 0x10);
    h.flags = record[0x16];
    h.baseReference = Le64At(record + 0x20);
    // The record's own number follows the header's fields from NTFS 3.1 on, where the update
    // sequence array moved to 0x30; in older headers 0x2C is part of that array.
    h.numbered = Le16At(record + 4) >= 0x30;
    h.number = h.numbered ? Le32At(record + 0x2C) : 0;
    return h;
}

// One attribute of a record, every part of it checked to lie inside the attribute and the
// attribute inside the record.
struct NtfsAttribute {
    size_t offset = 0; // of the header, from the record's start
    uint32_t type = 0;
    uint32_t length = 0;
    bool nonResident = false;
    uint8_t nameLength = 0; // characters
    size_t nameOffset = 0;  // from the record's start
    uint16_t flags = 0;     // kAttrFlag...
    // Resident: the value. Non-resident: valueOffset is where the mapping pairs begin and
    // valueLength the bytes to the attribute's end.
    size_t valueOffset = 0;
    size_t valueLength = 0;
    // Non-resident only.
    uint64_t lowestVcn = 0;
    uint64_t dataSize = 0; // kept in the extent that begins at VCN 0 only
    uint8_t compressionUnit = 0; // log2 of the clusters of a compression unit
};

// Walks the attributes of a record (after its fix-up). Each call to Next yields the next
// attribute whose header, name and value (or mapping pairs) lie inside both the attribute and
// the record; the walk ends at the end marker, at type 0, at a zero or oversized length, at a
// header that does not fit or at any malformed attribute.
class NtfsAttributeWalker {
public:
    NtfsAttributeWalker(const uint8_t* record, size_t length);
    bool Next(NtfsAttribute& out);

private:
    const uint8_t* m_rec;
    size_t m_len;
    size_t m_pos;
    bool m_done;
};

// The bytes of a non-resident attribute that were written (its initialized size, kept beside its
// data size in the extent that begins at VCN 0): those after it read as zeros. Read here rather than
// by the walk, which every record of a scan goes through.
inline uint64_t NtfsInitializedSize(const uint8_t* record, const NtfsAttribute& attribute)
{
    return Le64At(record + attribute.offset + 56);
}

// The first attribute of the given type, optionally only an unnamed one.
bool FindNtfsAttribute(const uint8_t* record, size_t length, uint32_t type, bool unnamedOnly, NtfsAttribute& out);

// One entry of an $ATTRIBUTE_LIST value: which attribute lies in which record.
struct AttributeListEntry {
    uint32_t type = 0;
    uint8_t nameLength = 0; // characters; 0 for the unnamed attribute
    uint64_t lowestVcn = 0;
    uint64_t recordNumber = 0; // low 48 bits of the file reference
    uint16_t sequence = 0;     // its top 16 bits: the record's sequence number when listed (0: not given)
};
// The fixed part of an entry: type, length, name length and offset, first VCN, file reference
// and attribute id.
constexpr size_t kAttributeListEntryHeader = 0x1A;

// Hands the entries of an attribute list value to visit in order, until visit returns false.
// An entry counts only when its fixed part and its whole length lie inside the value; the
// walk ends at the first that does not and at a type 0 or the end marker. Returns the number of
// entries handed over.
size_t WalkAttributeList(const uint8_t* value, size_t length,
                         const std::function<bool(const AttributeListEntry&)>& visit);

// The first unnamed $DATA attribute of a 1024-byte record: 1 resident, 2 non-resident, 0 none
// (or a walk that fails); on 1 or 2 its offset within the record is stored.
int FindUnnamedDataAttribute(const uint8_t* record, size_t* attributeOffset);

// One extent of a non-resident attribute. A sparse run has no clusters (firstCluster 0).
struct ClusterRun {
    uint64_t firstCluster = 0;
    uint64_t clusterCount = 0;
    bool sparse = false;
};

// Decodes mapping pairs: the first offset is absolute, later ones signed deltas from the
// last run that had clusters; sparse runs keep their place. Ends at a header byte 0 or at a
// run whose fields would pass `length`. Runs with a zero count or a cluster number that
// would go below 0 or past 2^63 end the list; false then, and for a missing terminator. When
// memory runs out the list is released, the storage host told (ReportListMemoryExhausted) and
// the answer is false.
bool DecodeMappingPairs(const uint8_t* pairs, size_t length, std::vector<ClusterRun>& runs);

// Decodes the mapping pairs of the non-resident attribute at attributeOffset of a record into
// `runs`. False when the attribute or its pairs lie outside the record (an empty list is true).
bool DecodeAttributeRuns(size_t recordLength, const uint8_t* record, size_t attributeOffset,
                         std::vector<ClusterRun>& runs);

// '0'..'9', 'a'..'f', 'A'..'F' give their value; every other character 0. Only the low 8 bits
// of a character count.
int HexDigitValue(uint32_t ch);
// A string of hexadecimal digits, most significant first, as a signed 32-bit value (values
// from 2^31 are truncated, so "80000000" gives INT32_MIN). Empty gives 0.
int32_t HexToInt(const wchar_t* text);
