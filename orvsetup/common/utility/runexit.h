// The one way a run ends before its sequence returns: os.exit from a script, the script error box, the
// Abort answer of the delete question and the handler of uncaught exceptions all come here.
//
// The process ends with TerminateProcess once the trace has the line and the C runtime's buffers are
// flushed. Nothing else of ours runs afterwards: no static destructor (the script engine's would close the
// script state), no atexit handler, no DLL's detach code. Those would run while another thread (the install
// worker, the dialogs' thread) still uses the script state or a window, as exit() would make them do.
#pragma once

namespace orv {

// Exit codes of the ends that do not choose their own.
constexpr int kExitScriptError = 0;     // the script error box was answered
constexpr int kExitDeleteAborted = 0;   // Abort in the delete question
constexpr int kExitUncaught = 0;        // an exception nobody caught

// Called by EndRun before the process goes, on the ending thread, while the process's other threads still
// run (they may hold any lock of ours, the script state's included: a callback must not wait for one).
// This is where an install transaction's rollback belongs. `exitCode` is the code the run ends with.
using AbnormalEndCallback = void (*)(int exitCode, void* context);

// Registers `callback`; callbacks run newest first, each once. False when the fixed list (8 places) is
// full. Callbacks cannot be removed: register one that checks its own state.
bool OnAbnormalEnd(AbnormalEndCallback callback, void* context);

// Ends the process with `exitCode` as described above; never returns. A second thread that gets here
// while the first is ending waits for the end; a callback that calls it ends the process at once.
[[noreturn]] void EndRun(int exitCode);

}  // namespace orv
