// Where the carving searches save what they find, and the in-memory copy of a found picture.
#pragma once

#include <cstdint>
#include <vector>

#include "cstring.h"

enum class CarveSearchKind { Photo, Signature, Video };

// The folder names below the destination folder for the finds of one pass: "Zembrolix Recovery
// (Premium)", "<Photo|Signature|Video> Search", "General" or "Omitted". A found file lies in a
// folder below these named by its type's key (extension without its dot, upper case).
// Nothing is sanitised here.
std::vector<CString> CarvePassFolderNames(CarveSearchKind kind, bool thorough);
std::vector<CString> CarveFolderNames(CarveSearchKind kind, bool thorough, const CString& extension);

// destination\...\General (or Omitted): what "Open Containing Folder" opens. False when the
// destination is not an absolute folder.
bool CarvePassFolder(const CString& destination, CarveSearchKind kind, bool thorough, CString* path);

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
