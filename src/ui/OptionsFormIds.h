#pragma once
// Control identifiers of the options dialog (a context-menu item has the id of the button it
// stands for).

namespace sentrel::ui::options_ids {

inline constexpr int kTabs = 100;
inline constexpr int kHelp = 102;
inline constexpr int kStatus = 103;

inline constexpr int kWhatDo = 200;  // + row
inline constexpr int kAutorun = 210;
inline constexpr int kRunMinimized = 211;
inline constexpr int kRemindPeriod = 212;
inline constexpr int kCloseAction = 220;  // + row

inline constexpr int kWatch = 300;  // + check box
inline constexpr int kLevelList = 310;
inline constexpr int kDescription = 311;

inline constexpr int kAction = 400;  // + group * 10 + row

inline constexpr int kBlackList = 500;
inline constexpr int kBlackAdd = 501;
inline constexpr int kBlackEdit = 502;
inline constexpr int kBlackDelete = 503;
inline constexpr int kWhiteList = 600;
inline constexpr int kWhiteAdd = 601;
inline constexpr int kWhiteEdit = 602;
inline constexpr int kWhiteDelete = 603;

inline constexpr int kBackups = 700;
inline constexpr int kBackupDelete = 701;
inline constexpr int kBackupUndo = 702;

inline constexpr int kLink = 800;  // + link

}  // namespace sentrel::ui::options_ids
