// Recognising paths that name a device rather than a file.
#pragma once

// True for paths that open a disk, volume or other device instead of a file: "\\.\..."
// (PhysicalDrive0, C:, ...), "\\?\GLOBALROOT\...", "\??\...", and "\\?\" followed by a bare
// volume ("\\?\C:", "\\?\Volume{...}") or a device name (PhysicalDrive, Harddisk, CdRom, Device).
// Either slash counts. "\\?\C:\dir\file" and "\\?\UNC\..." are ordinary files.
bool IsRawDevicePath(const wchar_t* path);
