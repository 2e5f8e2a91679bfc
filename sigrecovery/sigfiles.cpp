#include "sigrecovery/sigfiles.h"

#include <unistd.h>

namespace {

// Far above any real data file; reading stops here so a wrong file cannot exhaust memory.
constexpr unsigned kMaxDataFileBytes = 4u << 20;

[[noreturn]] void ReportAndExit(const CFileException& error)
{
    CString text = L"Couldn't open source file: ";
    text += error.GetErrorText().Left(1024);
    AfxMessageBox(text, MB_OK);
    _exit(kDataFileExitCode);
}

} // namespace

CString DataFilePath(const CString& name)
{
    wchar_t buffer[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    CString path(buffer);
    const int slash = path.ReverseFind(L'\\');
    return (slash < 0 ? CString(L"\\") : path.Left(slash)) + name;
}

SignatureFileContent ReadDataFileOrExit(const CString& fullPath)
{
    CFile file;
    CFileException error;
    if (!file.Open(fullPath, CFile::modeRead | CFile::shareDenyWrite, &error))
        ReportAndExit(error);
    std::string bytes;
    char chunk[16384];
    unsigned got = 0;
    while (bytes.size() < kMaxDataFileBytes && (got = file.Read(chunk, sizeof chunk)) > 0)
        bytes.append(chunk, got);
    file.Abort();
    return ParseSignatureFile(bytes);
}

void CheckDataFiles()
{
    for (const wchar_t* name :
         { L"\\QORVENExt2.dll", L"\\QORVENExt2Adv.dll", L"\\QORVENSig.dll", L"\\QORVENSigAdv.dll" }) {
        CFile file;
        CFileException error;
        if (!file.Open(DataFilePath(name), CFile::modeRead | CFile::shareDenyWrite, &error))
            ReportAndExit(error);
        file.Abort();
    }
}

void LoadFileTypeList(CString fileName, CString category)
{
    const SignatureFileContent content = ReadDataFileOrExit(DataFilePath(fileName));
    if (category == L"General")
        AddAllEntries(content, GeneralFileTypeList, GeneralOffsetList);
    else if (category == L"Advance")
        AddAllEntries(content, AdvanceFileTypeList, AdvanceOffsetList);
}

std::vector<FileTypeRow> ReadFileTypeRows(const CString& firstPath, const CString& secondPath)
{
    std::vector<FileTypeRow> rows;
    AddFileTypeRows(ReadDataFileOrExit(firstPath), rows);
    AddFileTypeRows(ReadDataFileOrExit(secondPath), rows);
    return rows;
}

std::vector<FileType1> ReadTickedSignatures(const CString& fileName,
                                            const std::function<bool(const CString& key)>& isTicked)
{
    std::vector<FileType1> list;
    std::vector<int32_t> offsets;
    AddTickedEntries(ReadDataFileOrExit(DataFilePath(fileName)), list, offsets, isTicked);
    return list;
}

void LoadSignatureFile(const CString& fileName, const std::function<bool(const CString& key)>& isTicked)
{
    for (const FileType1& type : ReadTickedSignatures(fileName, isTicked))
        AddSignature(type, SignatureFileTypeList, SignatureOffsetList);
}
