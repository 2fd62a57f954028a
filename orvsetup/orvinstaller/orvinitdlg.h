// The options dialog: agreement, install folder, option check boxes, and the checks before installing.
#pragma once

#include "dialoghost.h"

#include <cstdint>
#include <string>

namespace orv {

class ORVInitDlg : public DialogHost {
public:
    using DialogHost::DialogHost;

    // The last path component of `path` (after the later of "\" and "/") equals `base` exactly.
    static bool CheckDir(const std::wstring& path, const std::wstring& base);
    // What the folder browser's choice becomes: the base name appended unless the choice ends in it.
    static std::wstring CompleteInstallFolder(const std::wstring& chosen, const std::wstring& base);
    // The need in bytes from the global's text: its leading decimal digits; 0 (no need) with a trace line
    // when it does not start with one.
    static uint64_t ParseNeed(const std::wstring& text);
    // The too-little-space message for a need of `bytes`, in megabytes with two decimals.
    static std::wstring SpaceMessage(uint64_t bytes);

protected:
    bool InFocusSet(UINT msg) const override;
    bool TakesSystemCapture() const override { return true; }
    void InitDialog() override;
    void CollectAtClose() override;
    bool OnAction(UINT action, WPARAM wParam, LPARAM lParam) override;

private:
    void FillPlaceholders();
    void OnLeave(LPARAM sender);
    void OnInstall();
    bool FolderIsUsable(const std::wstring& path) const;
    bool EnoughSpace(const std::wstring& folder);
    void ChooseFolder(const wchar_t* boxName, bool backup);
    void ShowOptionBoxes(WPARAM state);
    void SwitchPages();
    ORVUE::ContainerUIObjectImpl* SettingsTwo() const;
    ORVUE::ContainerUIObjectImpl* SettingsOne() const;
};

}  // namespace orv
