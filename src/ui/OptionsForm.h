#pragma once
// "Options": the dialog that edits every behaviour of the shield (what to do with a finding,
// start-up, the database reminder, the close button, the security level and the monitors of the
// Custom level, the default action of each kind of finding), the black and white lists, and the
// undo list of every change the shield made. Not modal; one instance for the whole run, hidden
// rather than destroyed. It owns SetOptions, the switch of the security level.

#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/OptionsSettings.h"
#include "platform/UniqueHandle.h"
#include "ui/DpiLayout.h"
#include "ui/MainForm.h"
#include "ui/Window.h"

namespace sentrel {
class TBackuper;
class TColorList;
class TOptions;
class TRegistryWatches;
class TShieldLevel;
struct WarningContext;
}  // namespace sentrel

namespace sentrel::ui {

inline constexpr const char* kOptionsFormClass = "TOptionsForm";
inline constexpr const char* kOptionsPageClass = "TOptionsPage";

// The pages in their order.
enum OptionsPageIndex : int {
    kGeneralPage,
    kSecurityLevelPage,
    kDefaultsPage,
    kBlackListPage,
    kWhiteListPage,
    kRestorePage,
    kAboutPage,
    kOptionsPageCount
};

// The page of the dialog a request of the main window opens.
int PageIndexOf(OptionsPage page);
// The long part of a hint: the text after its first "|", or the whole hint without one.
std::string LongHint(const std::string& hint);
// The help topic of a page, appended to the help file's path (empty for About).
const char* HelpTopicOf(int page);

class TOptionsForm : public Window {
public:
    struct Context {
        TOptions& options;
        TShieldLevel& shieldLevel;
        TColorList& whiteList;
        TColorList& blackList;
        TBackuper& backuper;
        const WarningContext& warnings;  // what the undo of a change reaches
        TRegistryWatches& registryWatches;
        TMainForm& mainForm;  // shows the level
        HelpEngine& help;
        std::string helpFile;  // full path of Help.chm
        // Brings the main window's database lines up to date.
        std::function<void()> showDatabase;
        // Runs an undo's act on a worker and its finish back on the window thread (throws when
        // no worker can start); left empty, both run at once on the window thread.
        std::function<void(std::function<void()> act, std::function<void()> finish)> runOffThread;
    };

    explicit TOptionsForm(Context context);
    ~TOptionsForm() override;

    // The hidden dialog, owned by the main window.
    void Create();

    // Shows the dialog over the main window: at `page` when given, else at the page last shown
    // (the first time: Default Actions).
    void Present(std::optional<int> page);

    // Applies and records a security level (0 Low to 4 Disabled): the monitors, the autorun
    // entry, the main window's signs and database lines.
    void SetOptions(int level);

    // Reads the database lines of the About page again (after an update).
    void ShowDataBaseState();

    // The main loop offers every message here first: F1, the hints of the status bar and the
    // dialog keys (Tab, arrows, Alt+letter, Enter, Escape). True when it was used.
    bool PreviewMessage(MSG& message);

    // What the tests and the user see.
    int CurrentPage() const noexcept { return page_; }
    HWND Page(int index) const { return pages_.at(static_cast<std::size_t>(index)); }
    HWND StatusBar() const noexcept { return statusBar_; }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // Building the pages (OptionsFormPages.cpp).
    static constexpr FontSpec kDialogFont{"Tahoma", 11};
    static constexpr FontSpec kNameFont{"Tahoma", 16, true};
    static constexpr FontSpec kLinkFont{"Tahoma", 11, false, true};

    void CreatePages();
    HWND NewPage(int index);
    // Where the pages lie: the display area of the tab control.
    RECT PageArea() const;
    // The About page's picture, loaded at the size of the current DPI.
    void LoadAboutIcon();
    LRESULT OnDpiChanged(const DpiChange& change);
    HWND Add(int page, const char* className, const std::string& text, DWORD style, const DesignRect& place, int id,
             const std::string& hint = {}, DWORD exStyle = 0);
    HWND Group(int page, const std::string& caption, const DesignRect& place, const std::string& hint = {});
    void RadioGroup(int page, const std::string& caption, const std::vector<const char*>& items,
                    const DesignRect& place, int firstId, const std::string& hint, std::vector<HWND>& radios);
    void CreateGeneralPage();
    void CreateLevelPage();
    void CreateDefaultsPage();
    void CreateListPage(int page, const char* label, const char* listHint, int firstId,
                        const std::array<const char*, 3>& hints);
    void CreateRestorePage();
    void CreateAboutPage();

    // The option controls (OptionsForm.cpp).
    void FormSHow();
    void SetOptionsToControls();
    void ShowSettings(const OptionsDialogSettings& settings);
    // Brings what the dialog shows up to date with the store and the lists after they changed
    // behind it (an alert answered while it is open), keeping what the user changed in it.
    void RefreshFromStore();
    // Selects the level row of `level` (none for Disabled) when another one is selected.
    void ShowLevelRow(int level);
    // False when the options file could not be written.
    bool GetOptionsFromControls();
    OptionsDialogSettings ControlSettings() const;
    std::optional<int> SelectedLevelRow() const;
    void ShowLevelDescription(std::string_view text);
    void ok2CliCk();
    void CancelButtonClick();
    void HelpButtonClick();
    void pages1Change();
    void ShowPage(int index);
    void CheckBox1Click();
    void listBox1Click();
    void ListBox1Enter();
    // The level list's own messages: it stores the settings when the focus comes to it from
    // another control of the dialog, not when the dialog is merely activated again.
    static LRESULT CALLBACK LevelListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                          DWORD_PTR form);
    void DisplayHint(HWND control);
    void OnCommand(int id, int code, HWND control);
    void OnContextMenu(HWND control, LPARAM position);

    // The lists (OptionsFormLists.cpp).
    void FillList(HWND list, const TColorList& colorList);
    // Refills `list` when it no longer shows the entries of `colorList`, keeping the selection.
    void RefreshList(HWND list, const TColorList& colorList);
    void AddEntry(HWND list, TColorList& colorList, const char* caption);
    void EditEntry(HWND list, TColorList& colorList, const char* caption, const char* prompt);
    void DeleteEntry(HWND list, TColorList& colorList);
    void FillBackups(const std::vector<int>& select);
    std::vector<int> SelectedBackups() const;
    void UndoSelected();
    // Undo and Delete of the restore page, off while an undo acts.
    void EnableBackupButtons(bool enable);
    void DeleteSelectedBackups();
    void AfterBackupChange(const std::vector<int>& acted, const std::vector<std::string>& problems);
    void OpenLink(int index);

    Context context_;
    DpiLayout layout_;
    platform::UniqueHicon icon_;
    HWND aboutIcon_ = nullptr;

    HWND tabs_ = nullptr;
    std::array<HWND, kOptionsPageCount> pages_{};
    HWND okButton_ = nullptr;
    HWND helpButton_ = nullptr;
    HWND statusBar_ = nullptr;
    std::map<HWND, std::string> hints_;
    HWND hintShown_ = nullptr;

    std::vector<HWND> whatDo_;
    HWND autorun_ = nullptr;
    HWND runMinimized_ = nullptr;
    HWND remindPeriod_ = nullptr;
    std::vector<HWND> closeAction_;
    std::array<HWND, kSwitchWords.size()> watches_{};
    HWND levelList_ = nullptr;
    HWND description_ = nullptr;
    std::array<std::vector<HWND>, kDefaultActionKeys.size()> actions_;
    HWND list1_ = nullptr;
    HWND list2_ = nullptr;
    HWND backupsList_ = nullptr;
    HWND lastUpdate_ = nullptr;
    HWND numberThreads_ = nullptr;
    HWND testKeyNote_ = nullptr;  // the About page's line of a development build
    std::vector<HWND> links_;

    OptionsDialogSettings shown_;  // what the option controls were last set to from the store
    int page_ = kDefaultsPage;
    bool filling_ = false;
    int undosActing_ = 0;
};

}  // namespace sentrel::ui
