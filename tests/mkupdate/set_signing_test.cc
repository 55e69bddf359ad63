#include "set_signing.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "lists/list_file.h"
#include "platform/errors.h"
#include "platform/file_system.h"
#include "publish_fixture.h"
#include "trust/base64.h"
#include "trust/minisign_signature.h"
#include "trust/trusted_comment.h"

namespace mkupdate {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kDay = 24 * 60 * 60;

class SetSigningTest : public PublishTest {
 protected:
  void SetUp() override {
    PublishTest::SetUp();
    key_ = trust::GenerateSecretKey();
    fs::create_directories(root_ / "keys");
    std::ofstream(KeyPath()) << trust::FormatSecretKey(key_);
  }

  std::string KeyPath() const { return (root_ / "keys" / "update.key").string(); }

  // The check of server file `name` against its signature, with its times.
  trust::SignatureCheck Verify(const std::string& name, trust::TrustedTimes* times = nullptr) const {
    std::string path = server() + "/" + name;
    if (!platform::FileExists(path + ".minisig")) return {false, "no signature", ""};
    trust::SignatureCheck check = trust::VerifySignatureFile(key_.Public(), platform::ReadWholeFile(path + ".minisig"),
                                                             platform::ReadWholeFile(path));
    if (times) *times = trust::ParseTrustedTimes(check.trusted_comment);
    return check;
  }

  trust::SecretKey key_;
};

TEST_F(SetSigningTest, APublishSignsTheListAndTheBulletinWithItsTimes) {
  Write("System/Core.u", std::string(5000, 'c'));
  std::ofstream(server() + "/bulletin.htm") << "<p>news</p>\n";
  PublishOptions options = Options(8);
  options.sign_key_path = KeyPath();
  options.expiry_days = 7;
  std::string out = RunWith(options);
  for (const std::string name : {"update3.dat", "bulletin.htm"}) {
    SCOPED_TRACE(name);
    EXPECT_NE(out.find("signed " + name + " with key " + trust::KeyIdText(key_.id) + ", valid until 2026-12-15 12:00 UTC"),
              std::string::npos)
        << out;
    trust::TrustedTimes times;
    trust::SignatureCheck check = Verify(name, &times);
    EXPECT_TRUE(check.valid) << check.problem;
    EXPECT_EQ(times.timestamp, Utc(8));
    EXPECT_EQ(times.expires, Utc(8) + 7 * kDay);
    EXPECT_EQ(trust::SignedFileProblem(times, name), "") << check.trusted_comment;
  }
  {
    SCOPED_TRACE("a publish without a key warns that the signature no longer fits");
    Write("System/Core.int", "[Core]\r\n");
    out = Run(8);
    EXPECT_NE(out.find("warning: update3.dat.minisig signs the list as it was before"), std::string::npos) << out;
    EXPECT_FALSE(Verify("update3.dat").valid);
  }
  {
    SCOPED_TRACE("signing the folder again, with the default expiry");
    std::ostringstream signed_out;
    SignServerFolder(server(), key_, Utc(9), kDefaultExpiryDays, signed_out);
    trust::TrustedTimes times;
    EXPECT_TRUE(Verify("update3.dat", &times).valid);
    EXPECT_EQ(times.expires, Utc(9) + 30 * kDay);
    EXPECT_TRUE(Verify("bulletin.htm").valid);
    EXPECT_NE(signed_out.str().find("signed bulletin.htm"), std::string::npos) << signed_out.str();
  }
  {
    SCOPED_TRACE("a clock behind the set's signature is refused: players would take the new set for a replay");
    const std::string before = platform::ReadWholeFile(server() + "/update3.dat.minisig");
    std::ostringstream ignored;
    try {
      SignServerFolder(server(), key_, Utc(8), kDefaultExpiryDays, ignored);
      ADD_FAILURE() << "signed with a clock behind the signature";
    } catch (const Exception& error) {
      EXPECT_NE(std::string(error.what()).find("dated 2026-12-09 12:00 UTC, after this machine's clock"),
                std::string::npos)
          << error.what();
    }
    Write("System/Core.int", "[Core] changed\r\n");
    const LineList list = List();
    options.now = Utc(8);
    EXPECT_THROW(RunWith(options), Exception);
    EXPECT_EQ(List(), list);
    EXPECT_EQ(platform::ReadWholeFile(server() + "/update3.dat.minisig"), before);

    SCOPED_TRACE("a signature more than a day ahead: how to recover, and nothing written by sign or publish");
    const std::string bulletin_signature = platform::ReadWholeFile(server() + "/bulletin.htm.minisig");
    options.now = Utc(7);
    for (const bool publish : {false, true}) {
      try {
        if (publish)
          RunWith(options);
        else
          SignServerFolder(server(), key_, Utc(7), kDefaultExpiryDays, ignored);
        ADD_FAILURE() << "signed behind a signature dated two days ahead";
      } catch (const Exception& error) {
        const std::string text = error.what();
        EXPECT_NE(text.find("dated 2026-12-09 12:00 UTC, more than a day after this machine's clock "
                            "(2026-12-07 12:00 UTC)"),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find("until they remove update2.sig.ts"), std::string::npos) << text;
      }
      EXPECT_EQ(List(), list);
      EXPECT_EQ(platform::ReadWholeFile(server() + "/update3.dat.minisig"), before);
      EXPECT_EQ(platform::ReadWholeFile(server() + "/bulletin.htm.minisig"), bulletin_signature);
    }
  }
}

TEST_F(SetSigningTest, KeysThatCannotBeUsedAreRefusedBeforeAnythingIsWritten) {
  Write("System/Core.u", std::string(5000, 'c'));
  fs::create_directories(root_ / "server" / "private");
  fs::copy_file(KeyPath(), root_ / "server" / "private" / "update.key");
  fs::create_directory_symlink(root_ / "server" / "private", root_ / "linked");
  fs::copy_file(KeyPath(), root_ / "game" / "update.key");
  std::string text = platform::ReadWholeFile(KeyPath());
  size_t line = text.find('\n') + 1;
  std::string bytes = trust::Base64Decode(text.substr(line, text.size() - line - 1)).value();
  bytes.replace(2, 2, "Sc");
  std::ofstream(root_ / "keys" / "locked.key") << text.substr(0, line) << trust::Base64Encode(bytes) << "\n";
  struct Case {
    std::string key;
    const char* reason;
  };
  const Case cases[] = {
      {server() + "/private/update.key", "lies inside the server folder"},
      {(root_ / "linked" / "update.key").string(), "lies inside the server folder"},
      {game() + "/update.key", "lies inside the game folder"},
      {(root_ / "keys" / "locked.key").string(), "protected by a password"},
      {(root_ / "keys" / "missing.key").string(), "No such file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    PublishOptions options = Options(8);
    options.sign_key_path = c.key;
    try {
      RunWith(options);
      ADD_FAILURE() << "published with this key";
    } catch (const Exception& error) {
      EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << error.what();
    }
    EXPECT_FALSE(fs::exists(server() + "/update3.dat"));
  }
  auto sign_refused = [&](const char* reason) {
    std::ostringstream ignored;
    try {
      SignServerFolder(server(), key_, Utc(8), kDefaultExpiryDays, ignored);
      ADD_FAILURE() << "signed although " << reason;
    } catch (const Exception& error) {
      EXPECT_NE(std::string(error.what()).find(reason), std::string::npos) << error.what();
    }
    EXPECT_FALSE(fs::exists(server() + "/update3.dat.minisig"));
  };
  sign_refused("publish the set first");
  {
    SCOPED_TRACE("a list of an older publisher, without digests");
    fs::remove(game() + "/update.key");
    Run(8);
    LineList list = List();
    // The installed file's digest gone (and the installed size and mode flag that follow it).
    std::string line = LineField(list[1], 1);
    for (int f = 2; f <= 6; ++f) line += " " + LineField(list[1], f);
    list[1] = line;
    SaveListFile(server() + "/update3.dat", list);
    sign_refused("line 2 (System\\Core.u) carries no SHA-256 digests");
  }
}

}  // namespace
}  // namespace mkupdate
