// Reading a results folder's files, and giving the FAT subfolders in the results tree their long
// names. Everything is read from the folder's own volume in the found-entry store (its device,
// opened once per folder, and its geometry), never from the selection that is current.
#pragma once
#include "afxwin.h"
#include "fsrecovery/pure/volume_listing.h"

class CTreeClass;

// The files of a folder (NTFS record folderId, or FAT first cluster folderId; 0 or 5 the root) of
// `volume` to `sink`, its device opened for the listing. A FAT volume's rows carry volumeColumn in
// their cell 9 when it is 0 or above.
void ListVolumeFolderFiles(FoundStore& store, uint32_t volume, uint64_t folderId, const StopFlag* stop, FileSink& sink,
                           int volumeColumn = -1);

// Reads the directory of the FAT folder of `item` (its FolderNode and that node's volume; for
// the root item, every FAT volume's root directory) and renames the subfolders of `item` found
// there to their long names. The folder is marked expanded only when the read was not stopped.
// Returns true when it was read to the end.
bool ExpandFatFolder(const FoundStore& store, CTreeClass* tree, HTREEITEM item, const StopFlag* stop);

// Names every FAT folder of the tree as ExpandFatFolder does, the root item's subfolders first,
// then each folder's in creation order, until `stop`: read on the calling thread, renamed on the
// tree's thread in batches, each volume's device opened once.
void NameFatFolders(const FoundStore& store, CTreeClass* tree, const StopFlag* stop);
