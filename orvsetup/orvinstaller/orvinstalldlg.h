// The progress dialog: runs the install hook on a worker thread while a paced bar and slides show.
#pragma once

#include "dialoghost.h"
#include "orvscriptengine/luaref.h"
#include "utility/uniquehandle.h"

#include <atomic>
#include <memory>

namespace orv {

constexpr UINT_PTR kProgressTimer = 12024;

class ORVInstallDlg : public DialogHost {
public:
    ORVInstallDlg(pugi::xml_node node, lua_State* L);
    ~ORVInstallDlg() override;

    // Tick period in ms for a payload of `bytes`: the bar takes bytes x 0.000309651279221807 ms in all.
    static UINT TickPeriod(unsigned long long bytes);

protected:
    void InitDialog() override;
    void CollectAtClose() override;
    bool OnOwnTimer(UINT_PTR id) override;
    bool OnOwnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnCloseRequest(UINT code) override;
    void TraceTimerSet(UINT id) override;
    void TraceTimerKilled(UINT id) override;

private:
    // What the worker leaves for the dialog. It sets `ended` after its last use of the script and before it
    // posts ORVUM_INSTALLFINISHED: a message of that number while `ended` is unset comes from elsewhere.
    struct WorkerEnd {
        std::atomic<bool> ended{false};
        std::atomic<bool> failed{false};
    };

    struct WorkerStart;

    static DWORD WINAPI InstallWorker(LPVOID parameter);
    void BringToForeground();
    bool StartWorker();
    void Tick();
    ORVUE::IORVBaseUIObject* Carousel() const;

    lua_State* worker_ = nullptr;  // the hook's own Lua thread, anchored in the registry until the worker ended
    LuaRef workerRef_;
    std::shared_ptr<WorkerEnd> workerEnd_;  // shared with the worker, which may outlive the dialog
    UniqueHandle workerThread_;
    LuaRef positionKeyRef_;  // the name global_install_progress_pos, made before the worker starts
    bool finished_ = false;
    bool hookFailed_ = false;
    bool closeRequested_ = false;  // a system close while the hook runs waits for its end
};

}  // namespace orv
