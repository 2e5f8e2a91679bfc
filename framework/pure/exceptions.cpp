#include "exceptions.h"

bool CException::CopyMessage(const CString& text, wchar_t* buf, unsigned max)
{
    if (!buf || max == 0)
        return false;
    unsigned n = static_cast<unsigned>(text.GetLength());
    if (n > max - 1)
        n = max - 1;
    for (unsigned i = 0; i < n; ++i)
        buf[i] = text.GetString()[i];
    buf[n] = 0;
    return true;
}

bool CException::GetErrorMessage(wchar_t* buf, unsigned max, unsigned* helpContext) const
{
    if (helpContext)
        *helpContext = 0;
    return CopyMessage(GetErrorText(), buf, max);
}

CString CException::GetErrorText() const
{
    return CString(L"An unexpected error occurred.");
}

CString CMemoryException::GetErrorText() const
{
    return CString(L"Out of memory.");
}

CString CResourceException::GetErrorText() const
{
    return CString(L"A required resource was unavailable.");
}

CString CInvalidArgException::GetErrorText() const
{
    return CString(L"An invalid argument was encountered.");
}

namespace {

// " in NAME" or "" when there is no name.
CString Where(const wchar_t* preposition, const CString& name)
{
    if (name.IsEmpty())
        return CString();
    CString s;
    s.Format(L" %s \"%s\"", preposition, name);
    return s;
}

} // namespace

CString CArchiveException::GetErrorText() const
{
    const wchar_t* what;
    switch (m_cause) {
    case none:
        what = L"No error occurred";
        break;
    case readOnly:
        what = L"Tried to write to an archive opened for reading";
        break;
    case endOfFile:
        what = L"Unexpected end of data while reading an archive";
        break;
    case writeOnly:
        what = L"Tried to read from an archive opened for writing";
        break;
    case badIndex:
        what = L"An archive holds an invalid length or count";
        break;
    case badClass:
        what = L"An archive holds an object of an unexpected type";
        break;
    case badSchema:
        what = L"An archive was written by an incompatible version";
        break;
    case bufferFull:
        what = L"An archive buffer is full";
        break;
    default:
        what = L"An archive holds data in an invalid format";
        break;
    }
    return CString(what) + Where(L"in", m_strFileName) + L".";
}

CString CFileException::GetErrorText() const
{
    const wchar_t* what;
    switch (m_cause) {
    case none:
        what = L"No error occurred";
        break;
    case fileNotFound:
        what = L"The file was not found";
        break;
    case badPath:
        what = L"The path is invalid";
        break;
    case tooManyOpenFiles:
        what = L"Too many files are open";
        break;
    case accessDenied:
        what = L"Access was denied";
        break;
    case invalidFile:
        what = L"An invalid file handle was used";
        break;
    case removeCurrentDir:
        what = L"The current directory cannot be removed";
        break;
    case directoryFull:
        what = L"The directory is full";
        break;
    case badSeek:
        what = L"The file position could not be set";
        break;
    case hardIO:
        what = L"A hardware I/O error occurred";
        break;
    case sharingViolation:
        what = L"The file is in use by another process";
        break;
    case lockViolation:
        what = L"A locked region was accessed";
        break;
    case diskFull:
        what = L"There is not enough space on the disk";
        break;
    case endOfFile:
        what = L"The end of the file was reached";
        break;
    default:
        what = L"A file error occurred";
        break;
    }
    CString text = CString(what) + Where(L"for", m_strFileName);
    if (m_lOsError != -1 && m_lOsError != 0)
        text.AppendFormat(L" (error %ld)", m_lOsError);
    return text + L".";
}

int CFileException::OsErrorToException(long osError)
{
    switch (osError) {
    case 0:
        return none;
    case 2:
        return fileNotFound; // ERROR_FILE_NOT_FOUND
    case 3:                  // ERROR_PATH_NOT_FOUND
    case 15:                 // ERROR_INVALID_DRIVE
    case 123:                // ERROR_INVALID_NAME
    case 161:                // ERROR_BAD_PATHNAME
    case 206:                // ERROR_FILENAME_EXCED_RANGE
        return badPath;
    case 4:
        return tooManyOpenFiles; // ERROR_TOO_MANY_OPEN_FILES
    case 5:                      // ERROR_ACCESS_DENIED
    case 19:                     // ERROR_WRITE_PROTECT
    case 80:                     // ERROR_FILE_EXISTS
    case 183:                    // ERROR_ALREADY_EXISTS
        return accessDenied;
    case 6:
        return invalidFile; // ERROR_INVALID_HANDLE
    case 16:
        return removeCurrentDir; // ERROR_CURRENT_DIRECTORY
    case 18:                     // ERROR_NO_MORE_FILES
    case 82:                     // ERROR_CANNOT_MAKE
        return directoryFull;
    case 25:  // ERROR_SEEK
    case 131: // ERROR_NEGATIVE_SEEK
    case 132: // ERROR_SEEK_ON_DEVICE
        return badSeek;
    case 21:   // ERROR_NOT_READY
    case 23:   // ERROR_CRC
    case 27:   // ERROR_SECTOR_NOT_FOUND
    case 29:   // ERROR_WRITE_FAULT
    case 30:   // ERROR_READ_FAULT
    case 31:   // ERROR_GEN_FAILURE
    case 1117: // ERROR_IO_DEVICE
        return hardIO;
    case 32: // ERROR_SHARING_VIOLATION
    case 36: // ERROR_SHARING_BUFFER_EXCEEDED
        return sharingViolation;
    case 33:
        return lockViolation; // ERROR_LOCK_VIOLATION
    case 38:
        return endOfFile; // ERROR_HANDLE_EOF
    case 39:              // ERROR_HANDLE_DISK_FULL
    case 112:             // ERROR_DISK_FULL
        return diskFull;
    default:
        return genericException;
    }
}

void CFileException::ThrowOsError(long osError, const wchar_t* fileName)
{
    throw new CFileException(OsErrorToException(osError), osError, fileName);
}

void AfxThrowMemoryException()
{
    throw new CMemoryException;
}
void AfxThrowResourceException()
{
    throw new CResourceException;
}
void AfxThrowInvalidArgException()
{
    throw new CInvalidArgException;
}
void AfxThrowArchiveException(int cause, const wchar_t* archiveName)
{
    throw new CArchiveException(cause, archiveName);
}
void AfxThrowFileException(int cause, long osError, const wchar_t* fileName)
{
    throw new CFileException(cause, osError, fileName);
}
