// Resource identifiers. Dialog templates keep the numbers the dialogs are known by.
#pragma once

#define IDD_MAIN_DIALOG        102
