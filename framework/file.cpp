#include "file.h"

#include "devicepath.h"

const HANDLE CFile::hFileNull = INVALID_HANDLE_VALUE;

CFile::CFile() : m_hFile(INVALID_HANDLE_VALUE) { }

CFile::CFile(HANDLE file) : m_hFile(file) { }

CFile::CFile(LPCWSTR fileName, UINT openFlags) : m_hFile(INVALID_HANDLE_VALUE)
{
    CFileException error;
    if (!Open(fileName, openFlags, &error))
        throw new CFileException(error.m_cause, error.m_lOsError, error.m_strFileName);
}

CFile::~CFile()
{
    if (m_hFile != INVALID_HANDLE_VALUE && m_bCloseOnDelete)
        Abort();
}

BOOL CFile::Open(LPCWSTR fileName, UINT openFlags, CFileException* error)
{
    if (m_hFile != INVALID_HANDLE_VALUE)
        Abort();
    m_strFileName = fileName;

    DWORD access = 0;
    switch (openFlags & 3) {
    case modeRead:
        access = GENERIC_READ;
        break;
    case modeWrite:
        access = GENERIC_WRITE;
        break;
    case modeReadWrite:
        access = GENERIC_READ | GENERIC_WRITE;
        break;
    default:
        access = GENERIC_READ;
        break;
    }
    bool writes = (access & GENERIC_WRITE) || (openFlags & modeCreate);
    auto fail = [&](DWORD osError) {
        if (error) {
            error->m_cause = CFileException::OsErrorToException(static_cast<long>(osError));
            error->m_lOsError = static_cast<long>(osError);
            error->m_strFileName = fileName;
        }
        return FALSE;
    };
    if (!fileName || !*fileName)
        return fail(ERROR_INVALID_NAME);
    if (writes && IsRawDevicePath(fileName))
        return fail(ERROR_ACCESS_DENIED);

    DWORD share;
    switch (openFlags & 0x70) {
    case shareDenyWrite:
        share = FILE_SHARE_READ;
        break;
    case shareDenyRead:
        share = FILE_SHARE_WRITE;
        break;
    case shareDenyNone:
        share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        break;
    default:
        share = 0;
        break; // shareCompat and shareExclusive
    }
    DWORD disposition = OPEN_EXISTING;
    if (openFlags & modeCreate)
        disposition = (openFlags & modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    if (openFlags & osNoBuffer)
        attributes |= FILE_FLAG_NO_BUFFERING;
    if (openFlags & osWriteThrough)
        attributes |= FILE_FLAG_WRITE_THROUGH;
    if (openFlags & osRandomAccess)
        attributes |= FILE_FLAG_RANDOM_ACCESS;
    if (openFlags & osSequentialScan)
        attributes |= FILE_FLAG_SEQUENTIAL_SCAN;
    SECURITY_ATTRIBUTES sa = { sizeof sa, nullptr, (openFlags & modeNoInherit) ? FALSE : TRUE };

    HANDLE h = ::CreateFileW(fileName, access, share, &sa, disposition, attributes, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return fail(::GetLastError());
    m_hFile = h;
    m_bCloseOnDelete = true;
    m_writable = (access & GENERIC_WRITE) != 0;
    return TRUE;
}

unsigned CFile::Read(void* buf, unsigned count)
{
    if (count == 0)
        return 0;
    DWORD got = 0;
    if (!::ReadFile(m_hFile, buf, count, &got, nullptr)) {
        DWORD e = ::GetLastError();
        if (e == ERROR_HANDLE_EOF || e == ERROR_BROKEN_PIPE)
            return 0;
        CFileException::ThrowOsError(static_cast<long>(e), m_strFileName);
    }
    return got;
}

void CFile::Write(const void* buf, unsigned count)
{
    if (count == 0)
        return;
    DWORD written = 0;
    if (!::WriteFile(m_hFile, buf, count, &written, nullptr))
        CFileException::ThrowOsError(static_cast<long>(::GetLastError()), m_strFileName);
    if (written < count)
        AfxThrowFileException(CFileException::diskFull, ERROR_DISK_FULL, m_strFileName);
}

uint64_t CFile::Seek(int64_t offset, unsigned from)
{
    DWORD method = from == begin ? FILE_BEGIN : from == current ? FILE_CURRENT : FILE_END;
    LARGE_INTEGER dist, pos;
    dist.QuadPart = offset;
    if (from > end || !::SetFilePointerEx(m_hFile, dist, &pos, method))
        CFileException::ThrowOsError(from > end ? ERROR_INVALID_PARAMETER : static_cast<long>(::GetLastError()),
                                     m_strFileName);
    return static_cast<uint64_t>(pos.QuadPart);
}

uint64_t CFile::GetPosition() const
{
    LARGE_INTEGER zero, pos;
    zero.QuadPart = 0;
    if (!::SetFilePointerEx(m_hFile, zero, &pos, FILE_CURRENT))
        CFileException::ThrowOsError(static_cast<long>(::GetLastError()), m_strFileName);
    return static_cast<uint64_t>(pos.QuadPart);
}

uint64_t CFile::GetLength() const
{
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(m_hFile, &size))
        CFileException::ThrowOsError(static_cast<long>(::GetLastError()), m_strFileName);
    return static_cast<uint64_t>(size.QuadPart);
}

void CFile::SetLength(uint64_t length)
{
    uint64_t pos = GetPosition();
    Seek(static_cast<int64_t>(length), begin);
    if (!::SetEndOfFile(m_hFile)) {
        DWORD e = ::GetLastError();
        Seek(static_cast<int64_t>(pos), begin);
        CFileException::ThrowOsError(static_cast<long>(e), m_strFileName);
    }
    if (pos < length)
        Seek(static_cast<int64_t>(pos), begin);
}

void CFile::Flush()
{
    if (m_hFile == INVALID_HANDLE_VALUE || !m_writable)
        return;
    if (!::FlushFileBuffers(m_hFile))
        CFileException::ThrowOsError(static_cast<long>(::GetLastError()), m_strFileName);
}

void CFile::Close()
{
    if (m_hFile == INVALID_HANDLE_VALUE)
        return;
    BOOL ok = ::CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
    m_bCloseOnDelete = false;
    m_writable = false;
    if (!ok)
        CFileException::ThrowOsError(static_cast<long>(::GetLastError()), m_strFileName);
}

void CFile::Abort()
{
    if (m_hFile != INVALID_HANDLE_VALUE)
        ::CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
    m_bCloseOnDelete = false;
    m_writable = false;
}

CString CFile::GetFileName() const
{
    int slash = -1;
    for (int i = 0; i < m_strFileName.GetLength(); ++i)
        if (m_strFileName[i] == L'\\' || m_strFileName[i] == L'/' || m_strFileName[i] == L':')
            slash = i;
    return m_strFileName.Mid(slash + 1);
}

void CFile::Remove(LPCWSTR fileName)
{
    if (!::DeleteFileW(fileName))
        CFileException::ThrowOsError(static_cast<long>(::GetLastError()), fileName);
}

void CFile::Rename(LPCWSTR oldName, LPCWSTR newName)
{
    if (IsRawDevicePath(oldName) || IsRawDevicePath(newName))
        CFileException::ThrowOsError(ERROR_ACCESS_DENIED, oldName);
    if (!::MoveFileW(oldName, newName))
        CFileException::ThrowOsError(static_cast<long>(::GetLastError()), oldName);
}
