// The signature data files beside the program: finding them, checking them at start-up, and
// loading them into the signature lists. The format and the lists are in pure/filetype.h.
#pragma once

#include <functional>
#include <vector>

#include "afxwin.h"
#include "sigrecovery/pure/filetype.h"

// Exit code of the process when a data file cannot be opened.
constexpr int kDataFileExitCode = 3;

// The program's folder followed by name, which carries its leading backslash
// ("\QORVENExt2.dll"). A program path without any backslash gives the folder "\".
CString DataFilePath(const CString& name);

// Reads and parses a data file, opened for reading only. When it cannot be opened, shows
// "Couldn't open source file: " with the reason and ends the process at once with
// kDataFileExitCode: the searches cannot work without it.
SignatureFileContent ReadDataFileOrExit(const CString& fullPath);

// At start-up: the two Photo and the two Signature files must open (the Video files are
// needed only by their search).
void CheckDataFiles();

// At start-up: loads "\QORVENExt2.dll" with category "General" into the General lists and
// "\QORVENExt2Adv.dll" with "Advance" into the Advance lists; another category loads nothing.
void LoadFileTypeList(CString fileName, CString category);

// The type-list rows of a Signature or Video Search dialog from its two files (full paths):
// every type once, with the description of its first record.
std::vector<FileTypeRow> ReadFileTypeRows(const CString& firstPath, const CString& secondPath);

// The records of the file (name with its leading backslash) whose type key isTicked accepts,
// extensions upper-cased, in file order: the signatures of one Signature or Video pass, as the
// scan asks for them (CarveScanHost::SignaturesForPass).
std::vector<FileType1> ReadTickedSignatures(const CString& fileName,
                                            const std::function<bool(const CString& key)>& isTicked);

// Appends the same records to SignatureFileTypeList and SignatureOffsetList.
void LoadSignatureFile(const CString& fileName, const std::function<bool(const CString& key)>& isTicked);
