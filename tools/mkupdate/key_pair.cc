#include "key_pair.h"

#include <filesystem>

#include "file_io.h"
#include "platform/errors.h"
#include "platform/file_system.h"
#include "server_folder.h"
#include "trust/minisign_keys.h"

namespace mkupdate {

namespace fs = std::filesystem;

void WriteKeyPair(const std::string& folder, std::ostream& out) {
  std::string public_path = InFolder(folder, kPublicKeyName), secret_path = InFolder(folder, kSecretKeyName);
  for (const std::string& path : {public_path, secret_path})
    if (fs::exists(fs::symlink_status(path)))
      throw Exception(path + " exists already; keygen never overwrites a key");
  if (!platform::DirectoryExists(folder)) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (!error) fs::permissions(folder, fs::perms::owner_all, error);
    if (error) throw Exception("Cannot create the key folder " + folder + ": " + error.message());
  }
  trust::SecretKey key = trust::GenerateSecretKey();
  WriteNewFile(secret_path, trust::FormatSecretKey(key), 0600);
  WriteNewFile(public_path, trust::FormatPublicKey(key.Public()), 0644);
  out << "wrote " << secret_path << ": the secret key " << trust::KeyIdText(key.id)
      << ". Keep it outside the game and server folders: whoever has it can sign sets your players install.\n"
      << "wrote " << public_path << ": the public key. Players' game folders need it as " << kPublicKeyName
      << ".\n";
}

}  // namespace mkupdate
