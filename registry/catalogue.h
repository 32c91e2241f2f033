// Every registry value the program reads, writes or deletes: the one place
// where roots, key paths, value names and types are spelled out. Other code
// names a row, never its strings.
#pragma once

#include <array>
#include <cstdint>

#include "winreg/winreg.h"

namespace catalogue {

inline constexpr std::uint32_t HKCR = HKEY_CLASSES_ROOT_VALUE;
inline constexpr std::uint32_t HKCU = HKEY_CURRENT_USER_VALUE;
inline constexpr std::uint32_t HKLM = HKEY_LOCAL_MACHINE_VALUE;

struct Row {
    int number;
    std::uint32_t root;
    const char* keyPath;
    const char* valueName;
    DWORD type;         // REG_SZ or REG_DWORD
    const char* label;  // what the window calls the setting
};

// The info tips of My Computer, Network Neighborhood, Briefcase, The
// Internet, My Documents and the Recycle Bin (text boxes 1 to 6).
inline constexpr Row InfoTip1{1,         HKCR,   "CLSID\\{20D04FE0-3AEA-1069-A2D8-08002B30309D}",
                              "InfoTip", REG_SZ, "My Computer info tip"};
inline constexpr Row InfoTip2{
    2,         HKLM,   "Software\\CLASSES\\CLSID\\{208D2C60-3AEA-1069-A2D7-08002B30309D}",
    "InfoTip", REG_SZ, "Network Neighborhood info tip"};
inline constexpr Row InfoTip3{3,         HKCR,   "CLSID\\{85BBD920-42A0-1069-A2E4-08002B30309D}",
                              "InfoTip", REG_SZ, "Briefcase info tip"};
inline constexpr Row InfoTip4{4,         HKCR,   "CLSID\\{3DC7A020-0ACD-11CF-A9BB-00AA004AE837}",
                              "InfoTip", REG_SZ, "The Internet info tip"};
inline constexpr Row InfoTip5{5,         HKCR,   "CLSID\\{450D8FBA-AD25-11D0-98A8-0800361B1103}",
                              "Infotip", REG_SZ, "My Documents info tip"};
inline constexpr Row InfoTip6{6,         HKCR,   "CLSID\\{645FF040-5081-101B-9F08-00AA002F954E}",
                              "InfoTip", REG_SZ, "Recycle Bin info tip"};
inline constexpr Row ShowInfoTip{7,
                                 HKCU,
                                 "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced",
                                 "ShowInfoTip",
                                 REG_DWORD,
                                 "Show Info Tips"};
inline constexpr Row IsShortcutLnk{8, HKCR, "lnkfile", "IsShortcut", REG_SZ, "Use Shortcut Icons"};
inline constexpr Row IsShortcutPif{9, HKCR, "piffile", "IsShortcut", REG_SZ, "Use Shortcut Icons"};
inline constexpr Row NoFavoritesMenu{
    10,
    HKCU,
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer",
    "NoFavoritesMenu",
    REG_DWORD,
    "Don't Show Favorites on Start Menu"};
inline constexpr Row NoRecentDocsHistory{
    11,
    HKCU,
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer",
    "NoRecentDocsHistory",
    REG_DWORD,
    "Don't Show Documents on Start Menu"};
inline constexpr Row BackBitmap{
    12,           HKCU,   "Software\\Microsoft\\Internet Explorer\\Toolbar",
    "BackBitmap", REG_SZ, "Use Backbitmaps"};
inline constexpr Row HeartsZB{
    13,   HKCU,   "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Hearts",
    "ZB", REG_SZ, "Enable Cheating at Hearts"};
inline constexpr Row Startup{
    14,        HKCU,   "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
    "Startup", REG_SZ, "Startup"};
inline constexpr Row DefaultUserName{
    15,     HKLM,      "Software\\Microsoft\\Windows\\CurrentVersion\\WinLogon", "DefaultUserName",
    REG_SZ, "UserName"};
inline constexpr Row DefaultPassword{
    16,     HKLM,      "Software\\Microsoft\\Windows\\CurrentVersion\\WinLogon", "DefaultPassword",
    REG_SZ, "Password"};
inline constexpr Row AutoAdminLogon{17,
                                    HKLM,
                                    "Software\\Microsoft\\Windows\\CurrentVersion\\WinLogon",
                                    "AutoAdminLogon",
                                    REG_SZ,
                                    "Use Auto Login"};

inline constexpr std::array<Row, 17> kRows = {InfoTip1,
                                              InfoTip2,
                                              InfoTip3,
                                              InfoTip4,
                                              InfoTip5,
                                              InfoTip6,
                                              ShowInfoTip,
                                              IsShortcutLnk,
                                              IsShortcutPif,
                                              NoFavoritesMenu,
                                              NoRecentDocsHistory,
                                              BackBitmap,
                                              HeartsZB,
                                              Startup,
                                              DefaultUserName,
                                              DefaultPassword,
                                              AutoAdminLogon};

// The six info-tip rows in the order of their text boxes.
inline constexpr std::array<Row, 6> kInfoTips = {InfoTip1, InfoTip2, InfoTip3,
                                                 InfoTip4, InfoTip5, InfoTip6};

}  // namespace catalogue
