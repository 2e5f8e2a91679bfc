// Which kind of file-list row an open request is about, read from the row's "Type" cell.
#pragma once
#include "framework/pure/cstring.h"

enum class OpenRowKind {
    None,   // no type, or one that names neither a folder nor a file: nothing is opened
    Folder, // a subfolder row: its results-tree item is selected instead
    File,   // written to the temporary folder and handed to the shell
};

// The type is trimmed first. Folder rows end in "Folder" or "FOLDER"; file rows in "file",
// "FILE" or "File" (the descriptions the listings give, such as "PDF file" or "Image File").
// The comparisons are case-sensitive: any other spelling is no type the listings write.
OpenRowKind ClassifyOpenRowType(CString type);
