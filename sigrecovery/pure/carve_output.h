// Where the carving searches save what they find, and the in-memory copy of a found picture.
#pragma once

#include <cstdint>
#include <vector>

#include "cstring.h"

enum class CarveSearchKind { Photo, Signature, Video };

// The folder names below the destination folder for a found file of the given extension:
// "Zembrolix Recovery (Premium)", "<Photo|Signature|Video> Search", "General" or "Omitted", and
// the type's key (extension without its dot, upper case). Nothing is sanitised here.
std::vector<CString> CarveFolderNames(CarveSearchKind kind, bool thorough, const CString& extension);

// destination\...\name through the one name sanitiser; false when the result would not lie
// inside the destination (or the destination is not an absolute folder).
bool CarveFilePath(const CString& destination, CarveSearchKind kind, bool thorough, const CString& extension,
                   const CString& name, CString* path);

// The bytes of one found picture, kept for its thumbnail. At most kPictureLimit bytes are kept;
// a picture that grows beyond that is marked truncated (its saved file still holds it all).
class PhotoPictureBuffer {
public:
    static constexpr size_t kPictureLimit = size_t(64) << 20;

    void Clear()
    {
        m_bytes.clear();
        m_truncated = false;
    }
    void Append(const uint8_t* data, size_t n);
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    bool Truncated() const { return m_truncated; }

private:
    std::vector<uint8_t> m_bytes;
    bool m_truncated = false;
};
