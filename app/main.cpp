// The program's entry: the one application object, and the searches it wires in. Start-up itself
// is CDelvaneApp::InitInstance; this is the only file that names the searches, each of which
// registers its dialog with the launcher.
#include "app/startup.h"
#include "fsrecovery/basicsearch.h"
#include "fsrecovery/deepsearch.h"
#include "sigrecovery/sigfiles.h"
#include "sigrecovery/sigsearch.h"

namespace {

void WireSearches()
{
    // The Photo, Signature and Video searches read their data files: a file that cannot be
    // opened ends the program after its message.
    CheckDataFiles();
    LoadFileTypeList(L"\\QORVENExt2.dll", L"General");
    LoadFileTypeList(L"\\QORVENExt2Adv.dll", L"Advance");
    RegisterBasicSearchDialog();
    RegisterDeepSearchDialog();
    RegisterCarveSearchDialogs();
}

} // namespace

CDelvaneApp theApp(WireSearches);
