// Uninstall.exe: the sample product's uninstaller. Started from the install folder that a machine-wide
// uninstall entry registers for it, it runs a copy of itself from a private folder in the temporary
// folder and passes on that copy's exit code; the copy, once it has checked that this uninstaller started
// it for that folder, runs the uninstall script left in the install folder.
//
//   Uninstall.exe [/S] [/contact:TEXT] [/suggest:TEXT] [/vote:N,N...] [/clearuserdata] [/keepsettings]
//
//   /S               no confirmation
//   /contact:TEXT    contact text of the reason report (no report without it)
//   /suggest:TEXT    suggestion text of the reason report
//   /vote:2,4        the reasons checked, 1 to 5
//   /clearuserdata   also delete the user's data folder
//   /keepsettings    keep the user's settings
//   /_from:FOLDER    internal: this process is the copy, FOLDER the install folder
//   /_parent:N       internal: the copy's inherited handle to the uninstaller that started it
//
// Exit codes: 1 uninstalled, 0 stopped (missing or failing chunk, script error), 2 cancelled.
#include <windows.h>
#include <shellapi.h>

#include "orvscriptengine/orvscriptengine.h"
#include "parentcheck.h"
#include "registration.h"
#include "selfcopy.h"
#include "uninstalloptions.h"
#include "uninstallrun.h"
#include "utility/trace.h"
#include "utility/uniquehandle.h"

namespace {

int RunCopy(const quellby::UninstallOptions& options) {
    const std::wstring self = quellby::OwnProgramPath();
    const int exitCode = quellby::RunUninstall(options, self);
    // The script deletes this program at its end, which fails while it runs.
    quellby::DeleteNowOrAtRestart(self);
    return exitCode;
}

// The uninstaller, run from the install folder, works only on the folder it is registered for.
bool MayCopyItself() {
    const std::wstring self = quellby::OwnProgramPath();
    if (!self.empty() && quellby::IsRegisteredInstall(self, quellby::FolderOf(self))) return true;
    orv::TraceLine(L"refused: this uninstaller is not the one registered for its folder\r\n");
    return false;
}

// The copy works only for the registered uninstaller that started it, and only on that one's folder, which
// it then names as the registration was compared with it.
bool CopyMayRun(quellby::UninstallOptions* options) {
    std::wstring starter;
    if (quellby::HandleIsCreator(options->parentHandle, &starter) &&
        quellby::IsRegisteredInstall(starter, options->fromFolder)) {
        options->fromFolder = quellby::CanonicalPath(options->fromFolder);
        return true;
    }
    orv::TraceLine(L"refused: /_from: is taken only from the registered uninstaller of that folder\r\n");
    return false;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    quellby::UninstallOptions options;
    {
        int argc = 0;
        wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
        const orv::UniqueLocalMemory ownArgv(argv);
        if (!argv) {
            orv::TraceLine(L"CommandLineToArgvW failed, err=%lu\r\n", ::GetLastError());
            return quellby::kExitStopped;
        }
        options = quellby::ParseUninstallOptions(argc, argv);
    }
    if (!options.hasFrom && quellby::IsTemporaryCopy()) {
        orv::TraceLine(L"the uninstaller's copy was started without its install folder\r\n");
        return quellby::kExitStopped;
    }
    if (!options.hasFrom) {
        if (!MayCopyItself()) return quellby::kExitStopped;
        return static_cast<int>(quellby::RunFromTemporaryCopy(quellby::ArgumentsAfterProgram(::GetCommandLineW())));
    }
    if (!CopyMayRun(&options)) return quellby::kExitStopped;
    try {
        return RunCopy(options);
    } catch (const orv::NoLuaState& failure) {
        orv::TraceLine(L"script engine could not be created, hr=0x%08X\r\n", static_cast<unsigned>(failure.hr));
        return quellby::kExitStopped;
    }
}
