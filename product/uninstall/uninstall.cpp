// Uninstall.exe: the sample product's uninstaller. Started from the install folder it runs a copy of
// itself from the temporary folder and passes on that copy's exit code; the copy runs the uninstall
// script left in the install folder.
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
//
// Exit codes: 1 uninstalled, 0 stopped (missing or failing chunk, script error), 2 cancelled.
#include <windows.h>
#include <shellapi.h>

#include "orvscriptengine/orvscriptengine.h"
#include "selfcopy.h"
#include "uninstalloptions.h"
#include "uninstallrun.h"
#include "utility/trace.h"

namespace {

// Owns the array CommandLineToArgvW returns.
struct ArgvHolder {
    int argc = 0;  // before argv: the call that sets argv fills it in
    wchar_t** argv = nullptr;
    ArgvHolder() : argv(::CommandLineToArgvW(::GetCommandLineW(), &argc)) {}
    ~ArgvHolder() {
        if (argv) ::LocalFree(argv);
    }
    ArgvHolder(const ArgvHolder&) = delete;
    ArgvHolder& operator=(const ArgvHolder&) = delete;
};

int RunCopy(const quellby::UninstallOptions& options) {
    const std::wstring self = quellby::OwnProgramPath();
    const int exitCode = quellby::RunUninstall(options, self);
    // The script deletes this program at its end, which fails while it runs.
    quellby::DeleteNowOrAtRestart(self);
    return exitCode;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    quellby::UninstallOptions options;
    {
        const ArgvHolder args;
        if (!args.argv) {
            orv::TraceLine(L"CommandLineToArgvW failed, err=%lu\r\n", ::GetLastError());
            return quellby::kExitStopped;
        }
        options = quellby::ParseUninstallOptions(args.argc, args.argv);
    }
    if (!options.hasFrom && quellby::IsTemporaryCopy()) {
        orv::TraceLine(L"the uninstaller's copy was started without its install folder\r\n");
        return quellby::kExitStopped;
    }
    if (!options.hasFrom)
        return static_cast<int>(quellby::RunFromTemporaryCopy(quellby::ArgumentsAfterProgram(::GetCommandLineW())));
    try {
        return RunCopy(options);
    } catch (const orv::NoLuaState& failure) {
        orv::TraceLine(L"script engine could not be created, hr=0x%08X\r\n", static_cast<unsigned>(failure.hr));
        return quellby::kExitStopped;
    }
}
