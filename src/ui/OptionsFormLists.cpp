// The list pages of the options dialog: the black and white lists, edited in the dialog, and the
// restore list over the backup store: Delete acts at once, Undo restores on a worker thread and
// finishes back here.
#include <algorithm>
#include <memory>

#include <windows.h>
#include <shellapi.h>

#include "common/SafeDisplayText.h"
#include "core/ColorList.h"
#include "core/RestoreChanges.h"
#include "monitors/RegistryMonitors.h"
#include "ui/InputBox.h"
#include "ui/MessageBox.h"
#include "ui/OptionsForm.h"
#include "ui/OptionsFormIds.h"
#include "warnings/Backuper.h"

namespace sentrel::ui {

namespace ids = options_ids;

namespace {

constexpr const char* kProgramPrompt = "Enter name of program:";

constexpr std::array<const char*, 3> kLinkAddresses = {
    "https://www.sentrel.example/", "https://www.sentrel.example/sentrel4/", "mailto:support@sentrel.example"};

// The focused entry of a list box with multiple selection, or -1 for an empty list.
int FocusedEntry(HWND list) {
    const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    const LRESULT index = SendMessageA(list, LB_GETCARETINDEX, 0, 0);
    if (count <= 0 || index < 0 || index >= count) return -1;
    return static_cast<int>(index);
}

void SelectOnly(HWND list, int index) {
    SendMessageA(list, LB_SETSEL, FALSE, -1);
    if (index < 0) return;
    SendMessageA(list, LB_SETSEL, TRUE, index);
    SendMessageA(list, LB_SETCARETINDEX, static_cast<WPARAM>(index), FALSE);
}

}  // namespace

void TOptionsForm::FillList(HWND list, const TColorList& colorList) {
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (const std::string& entry : colorList.Entries())
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

void TOptionsForm::RefreshList(HWND list, const TColorList& colorList) {
    const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    const std::vector<std::string>& entries = colorList.Entries();
    bool same = count >= 0 && static_cast<std::size_t>(count) == entries.size();
    for (std::size_t i = 0; same && i < entries.size(); ++i) {
        const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, i, 0);
        std::string text(static_cast<std::size_t>(std::max<LRESULT>(length, 0)) + 1, '\0');
        SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<std::size_t>(std::max<LRESULT>(length, 0)));
        same = text == entries[i];
    }
    if (same) return;
    const int focused = FocusedEntry(list);
    FillList(list, colorList);
    SelectOnly(list, std::min(focused, static_cast<int>(entries.size()) - 1));
}

void TOptionsForm::AddEntry(HWND list, TColorList& colorList, const char* caption) {
    const std::optional<std::string> answer = InputBox::Ask(Handle(), caption, kProgramPrompt, "");
    if (!answer || answer->empty()) return;
    // The file first: an entry that could not be saved does not appear.
    colorList.AddAndSave(*answer);
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(answer->c_str()));
}

void TOptionsForm::EditEntry(HWND list, TColorList& colorList, const char* caption, const char* prompt) {
    const int index = FocusedEntry(list);
    if (index < 0) return;
    const std::string old = colorList.Entries().at(static_cast<std::size_t>(index));
    const std::string text = InputBox::Ask(Handle(), caption, prompt, old).value_or(old);
    colorList.Replace(static_cast<std::size_t>(index), text);
    SendMessageA(list, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
    SendMessageA(list, LB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.c_str()));
    SelectOnly(list, index);
}

void TOptionsForm::DeleteEntry(HWND list, TColorList& colorList) {
    const int index = FocusedEntry(list);
    if (index < 0) return;
    colorList.Delete(static_cast<std::size_t>(index));
    SendMessageA(list, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
}

void TOptionsForm::FillBackups(const std::vector<int>& select) {
    SendMessageA(backupsList_, WM_SETREDRAW, FALSE, 0);
    SendMessageA(backupsList_, LB_RESETCONTENT, 0, 0);
    const int count = context_.backuper.GetCount();
    for (int i = 0; i < count; ++i) {
        // backups.ini is a file any program of the user can write: its lines are shown made safe.
        std::string line = context_.backuper.GetString(i, kBackupDescKey);
        if (const std::string why = context_.backuper.GetString(i, kBackupReasonsKey); !why.empty())
            line += " - why it looked dangerous: " + why;
        const std::string desc = SafeDisplayText(line, kShownLineLength);
        SendMessageA(backupsList_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(desc.c_str()));
    }
    bool caretSet = false;
    for (const int index : select) {
        if (index < 0 || index >= count) continue;
        SendMessageA(backupsList_, LB_SETSEL, TRUE, index);
        if (!caretSet) SendMessageA(backupsList_, LB_SETCARETINDEX, static_cast<WPARAM>(index), FALSE);
        caretSet = true;
    }
    SendMessageA(backupsList_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(backupsList_, nullptr, TRUE);
}

std::vector<int> TOptionsForm::SelectedBackups() const {
    const LRESULT count = SendMessageA(backupsList_, LB_GETSELCOUNT, 0, 0);
    if (count <= 0) return {};
    std::vector<int> selected(static_cast<std::size_t>(count));
    const LRESULT got = SendMessageA(backupsList_, LB_GETSELITEMS, static_cast<WPARAM>(count),
                                     reinterpret_cast<LPARAM>(selected.data()));
    selected.resize(static_cast<std::size_t>(std::max<LRESULT>(got, 0)));
    return selected;
}

void TOptionsForm::UndoSelected() {
    const std::vector<int> selected = SelectedBackups();
    if (selected.empty()) return;
    std::shared_ptr<PlannedUndo> plan = PlannedUndo::Plan(context_.backuper, context_.warnings, selected);
    if (plan->Idle()) return AfterBackupChange(selected, plan->Finish());
    // What an undo puts back is the user's own choice: the monitors take it as known. From the
    // plan to the finish the registry passes are held, so none reports it while it is put back.
    TRegistryWatches& watches = context_.registryWatches;
    const TRegistrySnapshot before = watches.TakeSnapshot();
    watches.HoldPasses();
    ++undosActing_;
    EnableBackupButtons(false);
    auto finish = [this, plan, before, selected] {
        context_.registryWatches.AcceptChangesSince(before);
        context_.registryWatches.ReleasePasses();
        if (--undosActing_ == 0) EnableBackupButtons(true);
        AfterBackupChange(selected, plan->Finish());
    };
    if (!context_.runOffThread) {
        plan->Act();
        return finish();
    }
    try {
        context_.runOffThread([plan] { plan->Act(); }, std::move(finish));
    } catch (const std::exception& error) {
        watches.ReleasePasses();
        if (--undosActing_ == 0) EnableBackupButtons(true);
        plan.reset();  // the records' marks go with it
        ShowError(std::string("The changes could not be undone: ") + error.what(), Handle());
    }
}

void TOptionsForm::EnableBackupButtons(bool enable) {
    const HWND page = Page(kRestorePage);
    for (const int id : {ids::kBackupUndo, ids::kBackupDelete})
        EnableWindow(GetDlgItem(page, id), enable ? TRUE : FALSE);
}

void TOptionsForm::DeleteSelectedBackups() {
    const std::vector<int> selected = SelectedBackups();
    if (selected.empty()) return;
    AfterBackupChange(selected, DeleteBackups(context_.backuper, selected));
}

void TOptionsForm::AfterBackupChange(const std::vector<int>& acted, const std::vector<std::string>& problems) {
    const int first = *std::min_element(acted.begin(), acted.end());
    const int select = SelectionAfterRemoval(first, context_.backuper.GetCount());
    FillBackups(select < 0 ? std::vector<int>{} : std::vector<int>{select});
    if (problems.empty()) return;
    std::string text;
    for (const std::string& problem : problems) text += (text.empty() ? "" : "\n\n") + problem;
    ShowError(text, Handle());
}

void TOptionsForm::OpenLink(int index) {
    ShellExecuteA(Handle(), "open", kLinkAddresses.at(static_cast<std::size_t>(index)), nullptr, nullptr, SW_HIDE);
}

}  // namespace sentrel::ui
