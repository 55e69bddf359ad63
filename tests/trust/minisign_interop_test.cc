// The library against the real minisign tool, both ways: what minisign
// writes is read and verified here, and what is written here minisign
// reads and verifies.
#include <gtest/gtest.h>

#include <ctime>

#include "support/shell_tool.h"
#include "support/temp_folder.h"
#include "trust/minisign_keys.h"
#include "trust/minisign_signature.h"
#include "trust/trust_error.h"
#include "trust/trusted_comment.h"

namespace trust {
namespace {

using test_support::RunTool;
using test_support::ShellQuoted;
using test_support::ToolRun;

class MinisignInteropTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return folder_.path() + name; }
  std::string Arg(const std::string& name) const { return ShellQuoted(Path(name)); }

  // Runs minisign with arguments, no terminal and nothing on standard input.
  ToolRun Minisign(const std::string& arguments) const { return RunTool("minisign " + arguments + " </dev/null"); }

  // A key pair without a password made by minisign: "<name>.pub", "<name>.key".
  void MinisignKeyPair(const std::string& name) const {
    ToolRun made = Minisign("-G -W -p " + Arg(name + ".pub") + " -s " + Arg(name + ".key"));
    ASSERT_EQ(made.status, 0) << made.output;
  }

  SignatureCheck Verify(const std::string& public_name, const std::string& file, const std::string& signature) {
    return VerifySignatureFile(ReadPublicKeyFile(Path(public_name)), folder_.Read(signature), folder_.Read(file));
  }

  test_support::TempFolder folder_;
};

TEST_F(MinisignInteropTest, KeysAndSignaturesOfMinisignVerifyHere) {
  MinisignKeyPair("tool");
  folder_.Write("update3.dat", "AVWSEN mkupdate 2026120800\r\nE Core.GZP System\\Core.u 2026120800 1234\r\n");
  PublicKey key = ReadPublicKeyFile(Path("tool.pub"));
  SecretKey secret = ReadSecretKeyFile(Path("tool.key"));
  EXPECT_EQ(secret.Public(), key);
  EXPECT_NE(folder_.Read("tool.pub").find("minisign public key " + KeyIdText(key.id) + "\n"), std::string::npos)
      << folder_.Read("tool.pub");

  const int64_t before = std::time(nullptr);
  ToolRun signed_default = Minisign("-S -s " + Arg("tool.key") + " -m " + Arg("update3.dat"));
  ASSERT_EQ(signed_default.status, 0) << signed_default.output;
  SignatureCheck check = Verify("tool.pub", "update3.dat", "update3.dat.minisig");
  ASSERT_TRUE(check.valid) << check.problem;
  EXPECT_EQ(ParseSignature(folder_.Read("update3.dat.minisig")).algorithm, SignatureAlgorithm::kHashed);
  {
    SCOPED_TRACE("minisign's own trusted comment: timestamp, file name, no expiry");
    EXPECT_NE(check.trusted_comment.find("\tfile:update3.dat\thashed"), std::string::npos) << check.trusted_comment;
    TrustedTimes times = ParseTrustedTimes(check.trusted_comment);
    EXPECT_EQ(times.problem, "");
    ASSERT_TRUE(times.timestamp.has_value());
    EXPECT_GE(*times.timestamp, before);
    EXPECT_LE(*times.timestamp, std::time(nullptr));
    EXPECT_FALSE(times.expires.has_value());
    EXPECT_EQ(SignedFileProblem(times, "update3.dat"), "");
    EXPECT_NE(SignedFileProblem(times, "bulletin.htm"), "");
  }
  {
    SCOPED_TRACE("a trusted comment given with -t");
    ToolRun signed_times = Minisign("-S -s " + Arg("tool.key") + " -m " + Arg("update3.dat") + " -x " +
                                    Arg("times.minisig") + " -t \"$(printf 'timestamp:100\\texpires:200')\"");
    ASSERT_EQ(signed_times.status, 0) << signed_times.output;
    SignatureCheck times_check = Verify("tool.pub", "update3.dat", "times.minisig");
    ASSERT_TRUE(times_check.valid) << times_check.problem;
    EXPECT_EQ(times_check.trusted_comment, "timestamp:100\texpires:200");
    EXPECT_EQ(ParseTrustedTimes(times_check.trusted_comment).expires, 200);
  }
  {
    SCOPED_TRACE("the legacy kind, which signs the file itself");
    ToolRun signed_legacy =
        Minisign("-S -l -s " + Arg("tool.key") + " -m " + Arg("update3.dat") + " -x " + Arg("legacy.minisig"));
    ASSERT_EQ(signed_legacy.status, 0) << signed_legacy.output;
    EXPECT_EQ(ParseSignature(folder_.Read("legacy.minisig")).algorithm, SignatureAlgorithm::kLegacy);
    SignatureCheck legacy_check = Verify("tool.pub", "update3.dat", "legacy.minisig");
    EXPECT_TRUE(legacy_check.valid) << legacy_check.problem;
    folder_.Write("changed.dat", folder_.Read("update3.dat") + " ");
    EXPECT_FALSE(Verify("tool.pub", "changed.dat", "legacy.minisig").valid);
  }
}

TEST_F(MinisignInteropTest, SignaturesOfMinisignFailForAnotherFileKeyCommentOrContent) {
  MinisignKeyPair("tool");
  MinisignKeyPair("other");
  folder_.Write("update3.dat", "E Core.GZP System\\Core.u 2026120800 1234\r\n");
  folder_.Write("bulletin.htm", "<p>news</p>\n");
  for (const char* file : {"update3.dat", "bulletin.htm"}) {
    ToolRun made = Minisign(std::string("-S -s ") + Arg("tool.key") + " -m " + Arg(file));
    ASSERT_EQ(made.status, 0) << made.output;
  }
  ASSERT_TRUE(Verify("tool.pub", "update3.dat", "update3.dat.minisig").valid);
  struct Case {
    const char* what;
    const char* public_key;
    const char* file;
    const char* signature;
    const char* reason;
  };
  folder_.Write("edited.dat", "E Core.GZP System\\Core.u 2026120800 1235\r\n");
  std::string signature = folder_.Read("update3.dat.minisig");
  size_t comment = signature.find("\ntrusted comment: ") + 18;
  folder_.Write("comment.minisig", signature.substr(0, comment) + "timestamp:9" +
                                       signature.substr(signature.find('\n', comment)));
  const Case cases[] = {
      {"the signature of another file", "tool.pub", "update3.dat", "bulletin.htm.minisig", "does not match the file"},
      {"another key", "other.pub", "update3.dat", "update3.dat.minisig", "key id differs"},
      {"a changed trusted comment", "tool.pub", "update3.dat", "comment.minisig", "trusted comment does not match"},
      {"a changed file of the same size", "tool.pub", "edited.dat", "update3.dat.minisig", "does not match the file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SignatureCheck check = Verify(c.public_key, c.file, c.signature);
    EXPECT_FALSE(check.valid);
    EXPECT_NE(check.problem.find(c.reason), std::string::npos) << check.problem;
  }
}

TEST_F(MinisignInteropTest, KeysAndSignaturesMadeHereVerifyWithMinisign) {
  SecretKey key = GenerateSecretKey();
  folder_.Write("ours.pub", FormatPublicKey(key.Public()));
  folder_.Write("ours.key", FormatSecretKey(key));
  folder_.Write("update3.dat", "E Core.GZP System\\Core.u 2026120800 1234\r\n");
  const std::string comment = MakeTrustedComment(1796729826, "update3.dat", 1799321826);
  folder_.Write("update3.dat.minisig", FormatSignature(SignBytes(key, folder_.Read("update3.dat"), comment)));

  ToolRun verified = Minisign("-V -p " + Arg("ours.pub") + " -m " + Arg("update3.dat"));
  EXPECT_EQ(verified.status, 0) << verified.output;
  EXPECT_NE(verified.output.find("Trusted comment: " + comment), std::string::npos) << verified.output;
  {
    SCOPED_TRACE("minisign refuses them once changed");
    folder_.Write("update3.dat", "E Core.GZP System\\Core.u 2026120800 1235\r\n");
    EXPECT_NE(Minisign("-V -p " + Arg("ours.pub") + " -m " + Arg("update3.dat")).status, 0);
  }
  {
    SCOPED_TRACE("minisign rebuilds the same public key from the secret key, and signs with it");
    ToolRun rebuilt = Minisign("-R -s " + Arg("ours.key") + " -p " + Arg("rebuilt.pub"));
    ASSERT_EQ(rebuilt.status, 0) << rebuilt.output;
    EXPECT_EQ(ReadPublicKeyFile(Path("rebuilt.pub")), key.Public());
    ToolRun signed_by_tool = Minisign("-S -s " + Arg("ours.key") + " -m " + Arg("update3.dat"));
    ASSERT_EQ(signed_by_tool.status, 0) << signed_by_tool.output;
    SignatureCheck check = Verify("ours.pub", "update3.dat", "update3.dat.minisig");
    EXPECT_TRUE(check.valid) << check.problem;
  }
}

TEST_F(MinisignInteropTest, AKeyWithAPasswordIsRefusedUntilThePasswordIsRemoved) {
  // minisign reads the password twice from standard input when it is no terminal.
  ToolRun made = RunTool("printf 'secret\\nsecret\\n' | minisign -G -p " + Arg("locked.pub") + " -s " +
                         Arg("locked.key"));
  ASSERT_EQ(made.status, 0) << made.output;
  try {
    (void)ReadSecretKeyFile(Path("locked.key"));
    ADD_FAILURE() << "a key protected by a password was read";
  } catch (const ETrustError& error) {
    std::string text = error.what();
    EXPECT_EQ(text.rfind(Path("locked.key") + ": the secret key is protected by a password", 0), 0u) << text;
    EXPECT_NE(text.find("minisign -G -W"), std::string::npos) << text;
  }
  ToolRun unlocked = RunTool("printf 'secret\\n' | minisign -C -W -s " + Arg("locked.key"));
  ASSERT_EQ(unlocked.status, 0) << unlocked.output;
  SecretKey key = ReadSecretKeyFile(Path("locked.key"));  // its checksum is set now
  EXPECT_EQ(key.Public(), ReadPublicKeyFile(Path("locked.pub")));
}

}  // namespace
}  // namespace trust
