#include "texts/texts.h"

#include "texts/big5_to_gb.h"

namespace {

constexpr std::string_view kConnectingBig5 = "\xB3\x73\xBD\x75\xA4\xA4";  // 連線中
constexpr std::string_view kStillBig5 = "\xC1\xD9\xA6\xB3";                // 還有
constexpr std::string_view kCompareBig5 = "\xA4\xF1\xB9\xEF";              // 比對
// 個檔案需要更新
constexpr std::string_view kFilesToUpdateBig5 =
    "\xAD\xD3\xC0\xC9\xAE\xD7\xBB\xDD\xAD\x6E\xA7\xF3\xB7\x73";
// 無比對檔案
constexpr std::string_view kNoCompareFileBig5 = "\xB5\x4C\xA4\xF1\xB9\xEF\xC0\xC9\xAE\xD7";
constexpr std::string_view kCheckListName = "datec.dat";

// One Chinese piece in the form the letter asks for ('t' or 's' only).
std::string ChinesePiece(std::string_view big5, char lang_letter) {
  std::string piece(big5);
  return lang_letter == 's' ? Big5ToGB(piece) : piece;
}

bool IsChinese(char lang_letter) { return lang_letter == 't' || lang_letter == 's'; }

// "<big5 before><count><big5 after>" in Chinese, "<count><english>" in English.
std::string CountText(std::string_view before, int count, std::string_view after,
                      std::string_view english, char lang_letter) {
  const std::string number = std::to_string(count);
  if (lang_letter == 'n') return number + std::string(english);
  if (!IsChinese(lang_letter)) return {};
  return ChinesePiece(before, lang_letter) + number + ChinesePiece(after, lang_letter);
}

}  // namespace

std::string SelectText(const BilingualText& text, char lang_letter) {
  switch (lang_letter) {
    case 'n':
      return std::string(text.english);
    case 't':
      return std::string(text.big5);
    case 's':
      return Big5ToGB(std::string(text.big5));
    default:
      return {};
  }
}

std::string ConnectingText(int attempt, char lang_letter) {
  switch (lang_letter) {
    case 'n':
      return "connecting...";
    case 't':
      return std::string(kConnectingBig5) + std::to_string(attempt) + "...";
    case 's':
      return ChinesePiece(kConnectingBig5, 's') + "...";
    default:
      return {};
  }
}

std::string FilesRemainText(int count, char lang_letter) {
  return CountText(kStillBig5, count, kFilesToUpdateBig5,
                   count == 1 ? "file remain to be updated" : "files remain to be updated",
                   lang_letter);
}

std::string FilesCheckRemainText(int count, char lang_letter) {
  return CountText(kCompareBig5, count, kFilesToUpdateBig5, "files check to be updated",
                   lang_letter);
}

std::string CheckListMissingText(char lang_letter) {
  if (lang_letter == 'n') return "can not files checked";
  if (!IsChinese(lang_letter)) return {};
  return ChinesePiece(kNoCompareFileBig5, lang_letter) + std::string(kCheckListName);
}
