#pragma once
// The text builders of the shield's warning kinds (WarningTexts.cpp): each makes a warning's
// texts from its data, with no side effect; the rows of warnings/WarningKinds.cpp name them.

#include "warnings/WarningKinds.h"

namespace sentrel::texts {

WarningTexts KeyHookTexts(const TWarning& warning);
WarningTexts MouseHookTexts(const TWarning& warning);
WarningTexts ProcessTexts(const TWarning& warning);
WarningTexts FileTexts(const TWarning& warning);
WarningTexts FileChangeTexts(const TWarning& warning);
WarningTexts AutorunTexts(const TWarning& warning);
WarningTexts BrowserSettingTexts(const TWarning& warning);
WarningTexts RegistryEntryTexts(const TWarning& warning);
WarningTexts CookieTexts(const TWarning& warning);
WarningTexts FolderTexts(const TWarning& warning);

}  // namespace sentrel::texts
