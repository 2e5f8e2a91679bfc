// Listing a results folder's files in the search dialog's file list, and giving the FAT
// sub-folders in the tree their long names. Columns: 0 name (with its system icon), 1 type,
// 2 size, 3 date, 4 time, 5 record sector or first cluster, 6 parent record, 7 "0" (NTFS),
// 8 short name (FAT), 9 partition index (Deep Search, FAT).
#pragma once
#include "afxwin.h"
#include "app/pure/record_table.h"

class CTreeClass;

// "%llu Folders, %llu Files" of FoundFolderCount and FoundFileCount.
CString FolderCountText();
// The text into the active search dialog's status control (1174 Basic, 1175 Deep).
void ShowFolderCountText();

// The files of NTFS folder `folderRecord` (5: the root) from `table` (rows "parent|sector|",
// name, size, time stamp), inserted from list index firstIndex on. A record is read from
// CurrentDevicePath only while its row has no name or size yet; what is read is kept in the row.
void FillFileListNtfsFrom(ZrRecordTable& table, CListCtrl* list, uint64_t firstIndex, uint64_t folderRecord);
// The same over the main dialog's NtfsFileTable.
void FillFileListNtfs(CListCtrl* list, uint64_t firstIndex, uint64_t folderRecord);

// The files of the FAT folder whose first cluster is folderCluster (0: the root directory) on
// the volume of FatVolumeParams, read from CurrentDevicePath.
void FillFileListFat(CListCtrl* list, uint64_t firstIndex, uint64_t folderCluster, uint32_t deleted,
                     int32_t partitionIndex);

// Reads one directory sector of the FAT folder folderCluster and renames the sub-folders of
// `item` (the root item: the root folders) found there to their long names. 0 at the
// end-of-directory mark, else 1.
int ExpandFolderNode(uint64_t sector, uint32_t folderCluster, HTREEITEM item, CTreeClass* tree);

// Reads every directory sector of the FAT folder of `item` (its FolderNode; the root directory
// for the root item, which has none) through ExpandFolderNode, following the folder's cluster
// chain; StopFolderRead is cleared first and ends the read. The folder is marked expanded only
// when the read was not cancelled. Returns true when it was read to the end.
bool ExpandFatFolder(CTreeClass* tree, HTREEITEM item);
