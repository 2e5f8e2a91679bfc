// The exception classes of our class library. As in the library our code is written against,
// they are thrown by pointer and the handler deletes them:
//
//     try { ar >> value; }
//     catch (CException* e) { wchar_t msg[256]; e->GetErrorMessage(msg, 256); ...; e->Delete(); }
#pragma once

#include "cstring.h"

class CException {
public:
    virtual ~CException() = default;
    // Copies a readable English description into buf (always NUL-terminated when max > 0).
    virtual bool GetErrorMessage(wchar_t* buf, unsigned max, unsigned* helpContext = nullptr) const;
    // The same text as a string.
    virtual CString GetErrorText() const;
    void Delete() { delete this; }

protected:
    CException() = default;
    static bool CopyMessage(const CString& text, wchar_t* buf, unsigned max);
};

class CMemoryException : public CException {
public:
    CString GetErrorText() const override;
};

class CInvalidArgException : public CException {
public:
    CString GetErrorText() const override;
};

// A window class, icon or other system resource could not be had.
class CResourceException : public CException {
public:
    CString GetErrorText() const override;
};

class CArchiveException : public CException {
public:
    enum {
        none,
        genericException,
        readOnly,  // tried to write into an archive opened for loading
        endOfFile, // the data ended before the value being read
        writeOnly, // tried to read from an archive opened for storing
        badIndex,  // a malformed length or count
        badClass,
        badSchema,
        bufferFull,
    };
    explicit CArchiveException(int cause = none, const wchar_t* archiveName = nullptr)
        : m_cause(cause), m_strFileName(archiveName)
    { }
    CString GetErrorText() const override;

    int m_cause;
    CString m_strFileName;
};

class CFileException : public CException {
public:
    enum {
        none,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile,
    };
    explicit CFileException(int cause = none, long osError = -1, const wchar_t* fileName = nullptr)
        : m_cause(cause), m_lOsError(osError), m_strFileName(fileName)
    { }
    CString GetErrorText() const override;

    // Maps a Windows error code (GetLastError) to one of the causes above.
    static int OsErrorToException(long osError);
    [[noreturn]] static void ThrowOsError(long osError, const wchar_t* fileName = nullptr);

    int m_cause;
    long m_lOsError; // the Windows error code, or -1
    CString m_strFileName;
};

[[noreturn]] void AfxThrowMemoryException();
[[noreturn]] void AfxThrowResourceException();
[[noreturn]] void AfxThrowArchiveException(int cause, const wchar_t* archiveName = nullptr);
[[noreturn]] void AfxThrowFileException(int cause, long osError = -1, const wchar_t* fileName = nullptr);
