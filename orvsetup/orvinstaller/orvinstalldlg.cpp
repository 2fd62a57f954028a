// The progress dialog's worker, pacing and close.
#include "orvinstalldlg.h"

#include "orvscriptengine/lualock.h"
#include "orvscriptengine/orvscriptengine.h"
#include "orvscriptengine/scripterror.h"
#include "orvscriptengine/scriptglobals.h"
#include "ui/carouseluiobject.h"
#include "ui/progressuiobject.h"
#include "utility/resourcedata.h"
#include "utility/trace.h"
#include "utility/uniquehandle.h"

namespace orv {
namespace {

constexpr UINT kRunOutPeriodMs = 30;
// After it has said so the worker only leaves COM and returns.
constexpr DWORD kWorkerEndWaitMs = 5000;

}  // namespace

struct ORVInstallDlg::WorkerStart {
    HWND window;
    lua_State* L;
    std::shared_ptr<WorkerEnd> end;
};

ORVInstallDlg::ORVInstallDlg(pugi::xml_node node, lua_State* L) : DialogHost(node, L) {}

// A worker that has not ended keeps its Lua thread: the reference stays, and the state outlives us all.
ORVInstallDlg::~ORVInstallDlg() {
    if (!State()) return;
    bool workerGone = true;  // also when none was started
    if (workerEnd_) {
        workerGone = workerEnd_->ended &&
                     ::WaitForSingleObject(workerThread_.Get(), kWorkerEndWaitMs) == WAIT_OBJECT_0;
    }
    if (!workerRef_.Empty() && !workerGone) {
        TraceLine(L"the install worker still runs: its Lua thread stays referenced\r\n");
        workerRef_.Keep();
    }
}

UINT ORVInstallDlg::TickPeriod(unsigned long long bytes) {
    return static_cast<UINT>(static_cast<double>(bytes) * 0.000309651279221807 / 100);
}

ORVUE::IORVBaseUIObject* ORVInstallDlg::Carousel() const {
    ORVUE::ContainerUIObjectImpl* body = Body();
    return body ? dynamic_cast<ORVUE::CarouselUIObjectImpl*>(body->FindControl(L"InstallCarousel")) : nullptr;
}

void ORVInstallDlg::BringToForeground() {
    const DWORD own = ::GetCurrentThreadId();
    const DWORD foreground = ::GetWindowThreadProcessId(::GetForegroundWindow(), nullptr);
    const bool attached = foreground && foreground != own && ::AttachThreadInput(own, foreground, TRUE);
    ::ShowWindow(Window(), SW_SHOWNORMAL);
    ::SetWindowPos(Window(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::SetWindowPos(Window(), HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::SetForegroundWindow(Window());
    if (attached) ::AttachThreadInput(own, foreground, FALSE);
}

void ORVInstallDlg::InitDialog() {
    BringToForeground();
    const ResourceBytes payload = LoadResourceBytes(::GetModuleHandleW(nullptr), L"_7Z", L"APP.7Z");
    const UINT period = TickPeriod(payload.status == ResourceStatus::kLoaded ? payload.size : 0);
    if (State()) {
        SetGlobalNumber(State(), "global_install_progress_elapse", period);
        lua_pushstring(State(), "global_install_progress_pos");
        positionKeyRef_ = LuaRef(State());
    }
    if (!StartWorker()) {
        // Nothing would ever report the end of the installation: close instead of waiting for ever.
        TraceLine(L"the install worker could not be started, error %lu\r\n", ::GetLastError());
        PostClose(0);
        return;
    }
    ::SetTimer(Window(), kProgressTimer, period, nullptr);
    if (auto* carousel = dynamic_cast<ORVUE::CarouselUIObjectImpl*>(Carousel())) carousel->Play();
}

bool ORVInstallDlg::StartWorker() {
    if (!State()) return false;
    worker_ = lua_newthread(State());
    workerRef_ = LuaRef(State());  // keeps the thread from the collector
    workerEnd_ = std::make_shared<WorkerEnd>();
    auto start = std::make_unique<WorkerStart>(WorkerStart{Window(), worker_, workerEnd_});
    workerThread_.Reset(::CreateThread(nullptr, 0, InstallWorker, start.get(), 0, nullptr));
    if (!workerThread_) {
        workerEnd_.reset();
        worker_ = nullptr;
        return false;
    }
    start.release();  // the worker's now
    return true;
}

// Runs the install hook on its own Lua thread; Lua's lock lets the dialog in around every action.
DWORD WINAPI ORVInstallDlg::InstallWorker(LPVOID parameter) {
    const std::unique_ptr<WorkerStart> owned(static_cast<WorkerStart*>(parameter));
    const WorkerStart& start = *owned;
    ComInit com;
    lua_State* L = start.L;
    WPARAM failed = 0;
    lua_getglobal(L, "ORVSE_OnInstall");
    if (lua_type(L, -1) == LUA_TFUNCTION) {
        if (ORVScriptEngine::ProtectedCall(L, 0, 0) != LUA_OK) {
            // The call failed without reaching the error handler: still a script error.
            const std::wstring text = ORVScriptEngine::PopErrorText(L);
            TraceLine(L"ORVSE_OnInstall failed: %ls\r\n", text.c_str());
            ::MessageBoxW(nullptr, text.c_str(), kScriptErrorCaption, MB_ICONERROR | MB_OK);
            failed = 1;
        }
    } else {
        lua_pop(L, 1);
    }
    start.end->failed = failed != 0;
    start.end->ended = true;
    ::PostMessageW(start.window, ORVUM_INSTALLFINISHED, failed, 0);
    return 0;
}

bool ORVInstallDlg::OnOwnTimer(UINT_PTR id) {
    if (id != kProgressTimer) return false;
    Tick();
    return true;
}

void ORVInstallDlg::Tick() {
    ORVUE::ContainerUIObjectImpl* body = Body();
    ORVUE::ContainerUIObjectImpl* pro = body ? body->FindContainer(L"BodyPro") : nullptr;
    auto* bar = pro ? dynamic_cast<ORVUE::ProgressUIObjectImpl*>(pro->FindControl(L"InstallProgress")) : nullptr;
    if (!bar) {
        if (finished_) {  // no bar to fill: the end of the hook is the end of the dialog
            ::KillTimer(Window(), kProgressTimer);
            PostClose(1);
        }
        return;
    }
    bar->StepIt();
    // The worker may be inside the script: write only when the state is free, never wait for it. No script
    // code may run on this thread: the write is raw (no metamethod) and its key comes from the registry, as
    // pushing a new string could step the collector and so run the script's finalisers here.
    if (State() && !positionKeyRef_.Empty() && TryHoldScriptState()) {
        lua_rawgeti(State(), LUA_REGISTRYINDEX, LUA_RIDX_GLOBALS);
        positionKeyRef_.Push();
        lua_pushnumber(State(), bar->GetPos());
        lua_rawset(State(), -3);
        lua_pop(State(), 1);
        ReleaseScriptState();
    }
    if (finished_ && bar->GetPos() == 100) {
        PostClose(1);
        ::KillTimer(Window(), kProgressTimer);
    }
}

// Only the worker's own word ends the installation; the message's parameters are not read.
bool ORVInstallDlg::OnOwnMessage(UINT msg, WPARAM, LPARAM) {
    if (msg != ORVUM_INSTALLFINISHED) return false;
    if (finished_) return true;
    if (!workerEnd_ || !workerEnd_->ended) {
        TraceLine(L"an end of the installation not from its worker ignored\r\n");
        return true;
    }
    finished_ = true;
    hookFailed_ = workerEnd_->failed;
    ::KillTimer(Window(), kProgressTimer);
    if (hookFailed_ || closeRequested_) {
        PostClose(0);
        return true;
    }
    ::SetTimer(Window(), kProgressTimer, kRunOutPeriodMs, nullptr);
    return true;
}

// A system close while the hook runs would end the process half way through the installation: it waits
// for the hook and then closes with 0.
void ORVInstallDlg::OnCloseRequest(UINT code) {
    if (code == 0 && !finished_ && worker_) {
        TraceLine(L"close requested while installing: closing when the installation has finished\r\n");
        closeRequested_ = true;
        return;
    }
    CloseDialog(code);
}

void ORVInstallDlg::CollectAtClose() {
    ::KillTimer(Window(), kRepaintTimer);
    if (auto* carousel = dynamic_cast<ORVUE::CarouselUIObjectImpl*>(Carousel())) carousel->Stop();
}

void ORVInstallDlg::TraceTimerSet(UINT id) { TraceLine(L"ORVInstallDlg::OnORVUMSetAnimationTimer %d", id); }
void ORVInstallDlg::TraceTimerKilled(UINT id) { TraceLine(L"ORVInstallDlg::OnORVUMKillAnimationTimer %d", id); }

}  // namespace orv
