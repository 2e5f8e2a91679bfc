// The class library: include this one header.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "types.h"
#include "cstring.h"
#include "archive.h"
#include "wnd.h"
#include "gdi.h"
#include "msgmap.h"
#include "controls.h"
#include "dialog.h"
#include "thread.h"
#include "app.h"
#include "file.h"
