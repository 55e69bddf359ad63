// The texts with which the updater talks to the user. Each exists as Big5
// bytes (Traditional Chinese) and as English; the language letter chosen
// at start-up picks one, and Simplified Chinese users get the Big5 text
// through Big5ToGB. Technical messages (FTP, gzip) are English only and do
// not live here.
#pragma once

#include <string>
#include <string_view>

// A user text in its two stored forms, both byte strings.
struct BilingualText {
  std::string_view big5;
  std::string_view english;
};

// The text to show for `lang_letter`: 'n' the English text, 't' the Big5
// text as stored, 's' Big5ToGB of the Big5 text (converted on every call),
// any other letter an empty text.
std::string SelectText(const BilingualText& text, char lang_letter);

// Exit question of the exit button: 你確定要離開嗎?
inline constexpr BilingualText kExitQuestion{
    "\xA7\x41\xBD\x54\xA9\x77\xAD\x6E\xC2\xF7\xB6\x7D\xB6\xDC\x3F", "Are you sure to exit ?"};

// Shown after the exit question is answered Yes, the same in every language.
inline constexpr std::string_view kPleaseWait = "please wait...";

// Last entry of the server choice list (no particular server): 其它
inline constexpr BilingualText kOtherServer{"\xA8\xE4\xA5\xA6", "Other"};

// No server could be used: 連線中斷
inline constexpr BilingualText kDisconnected{"\xB3\x73\xBD\x75\xA4\xA4\xC2\x5F", "Disconnected"};

// The comparison found nothing to update: 目前沒有需要更新的檔案
inline constexpr BilingualText kNothingToUpdate{
    "\xA5\xD8\xAB\x65\xA8\x53\xA6\xB3\xBB\xDD\xAD\x6E\xA7\xF3\xB7\x73\xAA\xBA\xC0\xC9\xAE\xD7",
    "No files updateing needed"};

// The update run installed its last entry: 更新完成
inline constexpr BilingualText kFilesUpdated{"\xA7\xF3\xB7\x73\xA7\xB9\xA6\xA8", "files updated"};

// A file could not be replaced because it is in use: 檔案使用中無法更新
inline constexpr BilingualText kFileInUse{
    "\xC0\xC9\xAE\xD7\xA8\xCF\xA5\xCE\xA4\xA4\xB5\x4C\xAA\x6B\xA7\xF3\xB7\x73",
    "The file is useing"};

// Confirmation of the forced update:
// 按下『強制更新』後,所有下載將完全更新一次,會耗用較長時間,您是否願意?
inline constexpr BilingualText kForcedUpdateQuestion{
    "\xAB\xF6\xA4\x55\xA1\x79\xB1\x6A\xA8\xEE\xA7\xF3\xB7\x73\xA1\x7A\xAB\xE1\x2C\xA9\xD2\xA6"
    "\xB3\xA4\x55\xB8\xFC\xB1\x4E\xA7\xB9\xA5\xFE\xA7\xF3\xB7\x73\xA4\x40\xA6\xB8\x2C\xB7\x7C"
    "\xAF\xD3\xA5\xCE\xB8\xFB\xAA\xF8\xAE\xC9\xB6\xA1\x2C\xB1\x7A\xAC\x4F\xA7\x5F\xC4\x40\xB7"
    "\x4E\x3F",
    "After pushing \"Compulsive update\" button, it will update all downloads completely and "
    "will take longer time. Are you sure you want to do it?"};

// The file check found every file in order: 比對完成
inline constexpr BilingualText kFilesChecked{"\xA4\xF1\xB9\xEF\xA7\xB9\xA6\xA8", "files checked"};

// The file check left files it could not repair:
// 無法完全比對,請重新執行檔案檢查或回報問題
inline constexpr BilingualText kCheckUnrepaired{
    "\xB5\x4C\xAA\x6B\xA7\xB9\xA5\xFE\xA4\xF1\xB9\xEF\x2C\xBD\xD0\xAD\xAB\xB7\x73\xB0\xF5\xA6"
    "\xE6\xC0\xC9\xAE\xD7\xC0\xCB\xAC\x64\xA9\xCE\xA6\x5E\xB3\xF8\xB0\xDD\xC3\x44",
    "files can,t check, please try again"};

// Texts assembled from pieces. Each Chinese piece is selected (and for 's'
// converted) on its own; numbers are written in decimal without leading
// zeros and never converted. Any letter other than 't', 's', 'n' gives an
// empty text.

// Connection attempt `attempt` (1 for the first): 't' 連線中 + attempt +
// "...", 's' the converted 連線中 + "..." (no number), 'n' "connecting...".
std::string ConnectingText(int attempt, char lang_letter);

// Files still to update: 't'/'s' 還有 + count + 個檔案需要更新; 'n' count
// directly followed by "file remain to be updated" when count is 1, else by
// "files remain to be updated".
std::string FilesRemainText(int count, char lang_letter);

// Files the file check still has to repair: 't'/'s' 比對 + count +
// 個檔案需要更新; 'n' count directly followed by "files check to be updated".
std::string FilesCheckRemainText(int count, char lang_letter);

// The file check's reference list is missing: 't'/'s' 無比對檔案 followed by
// the file name "datec.dat" (never converted); 'n' "can not files checked".
std::string CheckListMissingText(char lang_letter);
