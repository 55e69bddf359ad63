#include "update/updater_files.h"

#include "platform/ascii_case.h"
#include "update/install_journal.h"
#include "update/signed_set.h"

// The names of the table are the ones the rest of the engine uses.
static_assert(kUpdaterOwnFiles[0] == kGameKeyName);
static_assert(kUpdaterOwnFiles[3] == kInstallJournalName);
static_assert(kUpdaterOwnFiles[4] == kAcceptedStampName);
static_assert(kUpdaterOwnFiles[7] == std::string_view(kGameFolderLockName));

std::string GameFileKey(const std::string& windows_name) {
  std::string key;
  size_t start = 0;
  while (start <= windows_name.size()) {
    size_t end = windows_name.find_first_of("\\/", start);
    if (end == std::string::npos) end = windows_name.size();
    const std::string_view component = std::string_view(windows_name).substr(start, end - start);
    if (!component.empty() && component != ".") {
      if (!key.empty()) key += '\\';
      key += component;
    }
    start = end + 1;
  }
  return platform::UpperAsciiCase(std::move(key));
}

bool IsUpdaterStateFile(const std::string& windows_name) {
  const std::string key = GameFileKey(windows_name);
  static constexpr std::string_view kStateFiles[] = {"update2.dat", "update3.dat", kInstallJournalName,
                                                      kAcceptedStampName, kGameFolderLockName};
  for (const std::string_view state : kStateFiles) {
    if (platform::EqualIgnoringAsciiCase(key, state)) return true;
  }
  return false;
}

bool IsUpdaterOwnFile(const std::string& windows_name) {
  std::string key = GameFileKey(windows_name);
  if (key.find('\\') != std::string::npos) return false;
  constexpr std::string_view kSignature = ".MINISIG";
  if (key.ends_with(kSignature)) key.resize(key.size() - kSignature.size());
  for (const std::string_view own : kUpdaterOwnFiles) {
    if (platform::EqualIgnoringAsciiCase(key, own)) return true;
  }
  return false;
}
