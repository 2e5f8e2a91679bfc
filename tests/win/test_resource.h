// Identifiers of the dialog templates that only the tests use.
#pragma once

#define IDD_TEST_DIALOG 9001
#define IDD_TEST_CHILD 9002
#define IDC_TEST_EDIT 9101
#define IDC_TEST_LIST 9106
#define IDC_TEST_TREE 9107
#define IDC_TEST_COMBO 9108
// Bitmap-button faces (scripts/make_test_bitmaps.py) and controls the control tests create.
#define IDB_TEST_BUTTON_UP 9201
#define IDB_TEST_BUTTON_DOWN 9202
#define IDC_TEST_BITMAP_BUTTON 9211
#define IDC_TEST_CREATED 9212
