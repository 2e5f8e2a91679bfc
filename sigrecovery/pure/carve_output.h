// Where the carving searches save what they find.
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

// destination\...\General (or Omitted). False when the destination is not an absolute folder.
bool CarvePassFolder(const CString& destination, CarveSearchKind kind, bool thorough, CString* path);
// destination\Zembrolix Recovery (Premium)\<kind> Search, holding both passes' folders: what
// "Open Containing Folder" opens.
bool CarveSearchFolder(const CString& destination, CarveSearchKind kind, CString* path);

// destination\...\name through the one name sanitiser; false when the result would not lie
// inside the destination (or the destination is not an absolute folder).
bool CarveFilePath(const CString& destination, CarveSearchKind kind, bool thorough, const CString& extension,
                   const CString& name, CString* path);
