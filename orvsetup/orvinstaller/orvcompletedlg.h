// The finish dialog: start the installed program, contact and web links, check boxes written back.
#pragma once

#include "dialoghost.h"

#include <string>

namespace orv {

// The customer-service contact identifiers: the names and captions of the finish dialog's contact links.
extern const wchar_t kContactFirst[];
extern const wchar_t kContactSecond[];

class ORVCompleteDlg : public DialogHost {
public:
    using DialogHost::DialogHost;

    // The command line that starts `program` through the desktop shell.
    static std::wstring ShellLevelCommand(const std::wstring& program, const std::wstring& parameters);
    // Starts `program` with the shell's rights rather than ours.
    static UINT LaunchAtShellLevel(const std::wstring& program, const std::wstring& parameters);

protected:
    bool AnswersObjectTimers() const override { return false; }
    void InitDialog() override;
    void CollectAtClose() override;
    bool OnAction(UINT action, WPARAM wParam, LPARAM lParam) override;

private:
    void FillRows();
    void OpenWebLink(LPARAM sender);
    void OpenContact(LPARAM sender);
    void LaunchMainApp();
};

}  // namespace orv
