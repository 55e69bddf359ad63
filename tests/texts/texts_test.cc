#include "texts/texts.h"

#include <gtest/gtest.h>

#include "texts/big5_to_gb.h"

namespace {

constexpr char kLetters[] = {'t', 's', 'n'};

// Big5 of 連線中, 還有, 個檔案需要更新, 比對, 無比對檔案.
const std::string kConnecting = "\xB3\x73\xBD\x75\xA4\xA4";
const std::string kStill = "\xC1\xD9\xA6\xB3";
const std::string kFilesToUpdate = "\xAD\xD3\xC0\xC9\xAE\xD7\xBB\xDD\xAD\x6E\xA7\xF3\xB7\x73";
const std::string kCompare = "\xA4\xF1\xB9\xEF";
const std::string kNoCompareFile = "\xB5\x4C\xA4\xF1\xB9\xEF\xC0\xC9\xAE\xD7";

}  // namespace

TEST(SelectText, FollowsTheLanguageLetter) {
  const BilingualText text{"\xB0\xEA\xC0\xC9", "file"};  // 國檔
  EXPECT_EQ(SelectText(text, 't'), "\xB0\xEA\xC0\xC9");
  EXPECT_EQ(SelectText(text, 's'), "\xB9\xFA\xB5\xB5");  // 国档
  EXPECT_EQ(SelectText(text, 'n'), "file");
  for (char other : {'\0', 'T', 'x', 'e'}) EXPECT_EQ(SelectText(text, other), "") << other;
}

// Every catalog text: the Chinese side is a whole number of Big5 characters
// and ASCII, 's' is its conversion, and the English side is byte for byte
// the agreed text.
TEST(TextCatalog, HoldsTheAgreedBytes) {
  const struct {
    const char* name;
    BilingualText text;
    std::string big5;
    std::string english;
  } rows[] = {
      {"exit", kExitQuestion, "\xA7\x41\xBD\x54\xA9\x77\xAD\x6E\xC2\xF7\xB6\x7D\xB6\xDC?",
       "Are you sure to exit ?"},
      {"other", kOtherServer, "\xA8\xE4\xA5\xA6", "Other"},
      {"disconnected", kDisconnected, kConnecting + "\xC2\x5F", "Disconnected"},
      {"nothing", kNothingToUpdate,
       "\xA5\xD8\xAB\x65\xA8\x53\xA6\xB3\xBB\xDD\xAD\x6E\xA7\xF3\xB7\x73\xAA\xBA\xC0\xC9\xAE\xD7",
       "No files updateing needed"},
      {"updated", kFilesUpdated, "\xA7\xF3\xB7\x73\xA7\xB9\xA6\xA8", "files updated"},
      {"in use", kFileInUse,
       "\xC0\xC9\xAE\xD7\xA8\xCF\xA5\xCE\xA4\xA4\xB5\x4C\xAA\x6B\xA7\xF3\xB7\x73",
       "The file is useing"},
      {"checked", kFilesChecked, kCompare + "\xA7\xB9\xA6\xA8", "files checked"},
      // 按下『強制更新』後,所有下載將完全更新一次,會耗用較長時間,您是否願意?
      {"forced update", kForcedUpdateQuestion,
       "\xAB\xF6\xA4\x55\xA1\x79\xB1\x6A\xA8\xEE\xA7\xF3\xB7\x73\xA1\x7A\xAB\xE1,\xA9\xD2\xA6"
       "\xB3\xA4\x55\xB8\xFC\xB1\x4E\xA7\xB9\xA5\xFE\xA7\xF3\xB7\x73\xA4\x40\xA6\xB8,\xB7\x7C"
       "\xAF\xD3\xA5\xCE\xB8\xFB\xAA\xF8\xAE\xC9\xB6\xA1,\xB1\x7A\xAC\x4F\xA7\x5F\xC4\x40\xB7"
       "\x4E?",
       "After pushing \"Compulsive update\" button, it will update all downloads completely and "
       "will take longer time. Are you sure you want to do it?"},
      // 無法完全比對,請重新執行檔案檢查或回報問題
      {"unrepaired", kCheckUnrepaired,
       "\xB5\x4C\xAA\x6B\xA7\xB9\xA5\xFE" + kCompare +
           ",\xBD\xD0\xAD\xAB\xB7\x73\xB0\xF5\xA6\xE6\xC0\xC9\xAE\xD7\xC0\xCB\xAC\x64\xA9\xCE"
           "\xA6\x5E\xB3\xF8\xB0\xDD\xC3\x44",
       "files can,t check, please try again"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(SelectText(row.text, 't'), row.big5);
    EXPECT_EQ(SelectText(row.text, 's'), Big5ToGB(row.big5));
    EXPECT_NE(SelectText(row.text, 's'), row.big5);
    EXPECT_EQ(SelectText(row.text, 'n'), row.english);
  }
  EXPECT_EQ(kPleaseWait, "please wait...");
}

TEST(TextCatalog, LongQuestionsKeepTheirPunctuation) {
  {
    SCOPED_TRACE("forced update");
    const std::string big5(kForcedUpdateQuestion.big5);
    // 按下『 ... 』後, ... 願意? with ASCII commas and question mark.
    EXPECT_EQ(big5.substr(0, 6), "\xAB\xF6\xA4\x55\xA1\x79");
    EXPECT_EQ(big5.substr(14, 5), "\xA1\x7A\xAB\xE1,");
    EXPECT_EQ(big5.back(), '?');
    EXPECT_EQ(big5.size(), 68u);
    EXPECT_EQ(kForcedUpdateQuestion.english,
              "After pushing \"Compulsive update\" button, it will update all downloads "
              "completely and will take longer time. Are you sure you want to do it?");
    // 『 and 』 have GB2312 forms, so the conversion leaves no gaps.
    EXPECT_EQ(SelectText(kForcedUpdateQuestion, 's').find("  "), std::string::npos);
  }
  {
    SCOPED_TRACE("unrepaired files");
    const std::string big5(kCheckUnrepaired.big5);
    EXPECT_EQ(big5.size(), 41u);
    EXPECT_EQ(big5.substr(0, 12), "\xB5\x4C\xAA\x6B\xA7\xB9\xA5\xFE" + kCompare);
    EXPECT_EQ(big5[12], ',');
    EXPECT_EQ(kCheckUnrepaired.english, "files can,t check, please try again");
  }
}

TEST(PiecesTexts, NumbersAreNeverConverted) {
  {
    SCOPED_TRACE("connecting");
    EXPECT_EQ(ConnectingText(1, 't'), kConnecting + "1...");
    EXPECT_EQ(ConnectingText(12, 't'), kConnecting + "12...");
    EXPECT_EQ(ConnectingText(3, 's'), Big5ToGB(kConnecting) + "...");
    EXPECT_EQ(ConnectingText(3, 'n'), "connecting...");
    EXPECT_EQ(ConnectingText(3, 'x'), "");
  }
  {
    SCOPED_TRACE("files remain");
    EXPECT_EQ(FilesRemainText(1, 'n'), "1file remain to be updated");
    EXPECT_EQ(FilesRemainText(0, 'n'), "0files remain to be updated");
    EXPECT_EQ(FilesRemainText(5, 'n'), "5files remain to be updated");
    EXPECT_EQ(FilesRemainText(5, 't'), kStill + "5" + kFilesToUpdate);
    EXPECT_EQ(FilesRemainText(120, 's'), Big5ToGB(kStill) + "120" + Big5ToGB(kFilesToUpdate));
    EXPECT_EQ(FilesRemainText(5, '?'), "");
  }
  {
    SCOPED_TRACE("file check remain");
    EXPECT_EQ(FilesCheckRemainText(1, 'n'), "1files check to be updated");
    EXPECT_EQ(FilesCheckRemainText(3, 'n'), "3files check to be updated");
    EXPECT_EQ(FilesCheckRemainText(3, 't'), kCompare + "3" + kFilesToUpdate);
    EXPECT_EQ(FilesCheckRemainText(3, 's'), Big5ToGB(kCompare) + "3" + Big5ToGB(kFilesToUpdate));
  }
  {
    SCOPED_TRACE("check list missing");
    EXPECT_EQ(CheckListMissingText('t'), kNoCompareFile + "datec.dat");
    EXPECT_EQ(CheckListMissingText('s'), Big5ToGB(kNoCompareFile) + "datec.dat");
    EXPECT_EQ(CheckListMissingText('n'), "can not files checked");
    EXPECT_EQ(CheckListMissingText('\0'), "");
  }
  for (char letter : kLetters) {
    SCOPED_TRACE(letter);
    // A Chinese text never ends on half a character, whatever the number.
    EXPECT_EQ(Big5ToGB(FilesRemainText(7, letter)).size(), FilesRemainText(7, letter).size());
  }
}
