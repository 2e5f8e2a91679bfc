// CFile: a file of the program's own (scan logs, reports) over a Win32 handle, usable as the
// stream of a CArchive. Raw disks are read elsewhere; CFile refuses to open a device path for
// writing, so no mistake in a path can make the program write to a disk it is recovering from.
#pragma once

#include <windows.h>

#include "archive.h"

class CFile : public CByteStream {
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000,
        osNoBuffer = 0x10000,
        osWriteThrough = 0x20000,
        osRandomAccess = 0x40000,
        osSequentialScan = 0x80000,
    };
    static const HANDLE hFileNull;

    CFile();
    explicit CFile(HANDLE file);             // attaches; the handle is not closed on destruction
    CFile(LPCWSTR fileName, UINT openFlags); // throws CFileException* on failure
    ~CFile() override;
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Returns FALSE on failure and, when given one, fills *error (cause, OS error, file name).
    BOOL Open(LPCWSTR fileName, UINT openFlags, CFileException* error = nullptr);

    unsigned Read(void* buf, unsigned count) override;
    void Write(const void* buf, unsigned count) override; // a short write throws diskFull
    uint64_t Seek(int64_t offset, unsigned from) override;
    uint64_t GetPosition() const override;
    uint64_t GetLength() const override;
    void SetLength(uint64_t length);
    void Flush() override;
    void Close() override; // throws if the handle cannot be closed
    void Abort();          // closes, ignoring errors

    const CString& GetFilePath() const { return m_strFileName; }
    CString GetFileName() const;
    operator HANDLE() const { return m_hFile; }

    static void Remove(LPCWSTR fileName);                 // throws CFileException*
    static void Rename(LPCWSTR oldName, LPCWSTR newName); // throws CFileException*

    HANDLE m_hFile;

private:
    CString m_strFileName;
    bool m_bCloseOnDelete = false;
    bool m_writable = false;
};
