// The end of temporaries: the objects the class library lends for a handle that has no object of
// its own (CWnd::FromHandle, GetDlgItem, GetParent; CGdiObject and CDC::FromHandle, GetFont,
// GetDC; CMenu and CImageList::FromHandle, GetSubMenu...). Each kind keeps the calling thread's
// temporaries in a map of its own; all of them go together when the thread's message loop goes
// idle (CWnd::DeleteTempMap). What becomes of one its map lets go, and which maps there are to
// empty, is decided here once for every kind, below the classes that lend them.
#pragma once
#include <memory>

// Ends a temporary its map lets go, its handle already cleared so that its destructor touches
// nothing: deleted at once, or, while freed temporaries are kept, held on the calling thread until
// ZrFreeKeptTemporaries.
void ZrRetireTemporary(std::shared_ptr<void> object);

// Switches keeping freed temporaries on or off for the whole process (CWnd::KeepFreedTemporaries
// says what it is for); returns whether it was on.
bool ZrKeepFreedTemporaries(bool keep);

// Deletes what ZrRetireTemporary kept for the calling thread; for a thread that is ending, when
// nothing of it can still be held.
void ZrFreeKeptTemporaries();

// A kind of temporary signs up, before it lends its first one, the function that empties the
// calling thread's map of that kind through ZrRetireTemporary. Signing the same function up
// again changes nothing. Returns true, so that a function-local static can sign up once.
bool ZrRegisterTempMap(void (*deleteThreadTemps)());

// Empties the calling thread's maps of every kind signed up (in no particular order).
void ZrDeleteRegisteredTempMaps();
