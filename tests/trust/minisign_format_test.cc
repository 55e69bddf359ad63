// The minisign files as this library writes and reads them, and every way
// a key or signature file can be refused or a signature fail.
#include <gtest/gtest.h>

#include <functional>

#include "trust/base64.h"
#include "trust/minisign_keys.h"
#include "trust/minisign_signature.h"
#include "trust/trust_error.h"

namespace trust {
namespace {

// Line index of a file's text, without its end.
std::string Line(const std::string& text, size_t index) {
  size_t start = 0;
  for (size_t i = 0; i < index; ++i) start = text.find('\n', start) + 1;
  return text.substr(start, text.find('\n', start) - start);
}

std::string ReplaceLine(const std::string& text, size_t index, const std::string& line) {
  size_t start = 0;
  for (size_t i = 0; i < index; ++i) start = text.find('\n', start) + 1;
  return text.substr(0, start) + line + text.substr(text.find('\n', start));
}

// The file with its base64 line `index` decoded, changed by patch and encoded again.
std::string PatchBytes(const std::string& text, size_t index, const std::function<void(std::string&)>& patch) {
  std::string bytes = Base64Decode(Line(text, index)).value();
  patch(bytes);
  return ReplaceLine(text, index, Base64Encode(bytes));
}

std::string ErrorOf(const std::function<void()>& parse) {
  try {
    parse();
  } catch (const ETrustError& error) {
    return error.what();
  }
  return "<accepted>";
}

class MinisignFormatTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    key_ = new SecretKey(GenerateSecretKey());
    other_ = new SecretKey(GenerateSecretKey());
  }
  static void TearDownTestSuite() {
    delete key_;
    delete other_;
  }
  static const SecretKey& key() { return *key_; }
  static const SecretKey& other() { return *other_; }

  static SecretKey* key_;
  static SecretKey* other_;
};

SecretKey* MinisignFormatTest::key_ = nullptr;
SecretKey* MinisignFormatTest::other_ = nullptr;

TEST_F(MinisignFormatTest, KeysAndSignaturesReadBackAsWritten) {
  const std::string public_text = FormatPublicKey(key().Public());
  EXPECT_EQ(Line(public_text, 0), "untrusted comment: minisign public key " + KeyIdText(key().id));
  EXPECT_EQ(ParsePublicKey(public_text), key().Public());
  SecretKey read = ParseSecretKey(FormatSecretKey(key()));
  EXPECT_EQ(read.Public(), key().Public());
  EXPECT_EQ(read.seed, key().seed);
  EXPECT_NE(key().Public(), other().Public());

  Signature signature = SignBytes(key(), "the list", "timestamp:1\texpires:2");
  const std::string signature_text = FormatSignature(signature);
  EXPECT_EQ(Line(signature_text, 2), "trusted comment: timestamp:1\texpires:2");
  Signature parsed = ParseSignature(signature_text);
  EXPECT_EQ(parsed.algorithm, SignatureAlgorithm::kHashed);
  EXPECT_EQ(parsed.key_id, key().id);
  EXPECT_EQ(FormatSignature(parsed), signature_text);
  SignatureCheck check = VerifySignatureFile(key().Public(), signature_text, "the list");
  EXPECT_TRUE(check.valid) << check.problem;
  EXPECT_EQ(check.trusted_comment, "timestamp:1\texpires:2");
  {
    SCOPED_TRACE("line ends of Windows and no final line end are read alike");
    std::string crlf;
    for (char c : signature_text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_TRUE(VerifySignatureFile(key().Public(), crlf, "the list").valid);
    EXPECT_TRUE(VerifySignatureFile(key().Public(), signature_text.substr(0, signature_text.size() - 1), "the list").valid);
    EXPECT_EQ(ParsePublicKey(public_text + "\n\n"), key().Public());
    SCOPED_TRACE("every CR before a line end goes, so what is read writes back the same");
    std::string extra_crs = signature_text;
    extra_crs.insert(extra_crs.find('\n'), "\r\r\r");
    const Signature read_back = ParseSignature(extra_crs);
    EXPECT_EQ(ParseSignature(FormatSignature(read_back)).untrusted_comment, read_back.untrusted_comment);
    EXPECT_TRUE(VerifySignatureFile(key().Public(), extra_crs, "the list").valid);
  }
  {
    SCOPED_TRACE("the key id is read as a little-endian number");
    KeyId id = {0x44, 0x04, 0xCA, 0xEF, 0xAF, 0x22, 0x31, 0xF1};
    EXPECT_EQ(KeyIdText(id), "F13122AFEFCA0444");
  }
  EXPECT_NE(ErrorOf([] { (void)SignBytes(key(), "x", "two\nlines"); }).find("line break"), std::string::npos);
}

TEST_F(MinisignFormatTest, EveryChangeMadeAfterSigningIsRefusedWithItsReason) {
  const std::string file = "E Core.GZP System\\Core.u 2026120800 1234\r\n";
  const std::string signed_text = FormatSignature(SignBytes(key(), file, "timestamp:100\texpires:200"));
  auto problem = [&](const PublicKey& with, const std::string& signature_text, const std::string& bytes) {
    SignatureCheck check = VerifySignatureFile(with, signature_text, bytes);
    EXPECT_FALSE(check.valid);
    EXPECT_EQ(check.trusted_comment, "");
    return check.problem;
  };
  EXPECT_NE(problem(key().Public(), signed_text, file + "x").find("does not match the file"), std::string::npos);
  EXPECT_NE(problem(key().Public(), FormatSignature(SignBytes(key(), "another list", "timestamp:100")), file)
                .find("does not match the file"),
            std::string::npos);
  EXPECT_NE(problem(other().Public(), signed_text, file).find("key id differs"), std::string::npos);
  {
    SCOPED_TRACE("another key under the same key id");
    PublicKey impostor = other().Public();
    impostor.id = key().id;
    EXPECT_NE(problem(impostor, signed_text, file).find("does not match the file"), std::string::npos);
  }
  {
    SCOPED_TRACE("a later expiry written into the trusted comment");
    std::string changed = ReplaceLine(signed_text, 2, "trusted comment: timestamp:100\texpires:999999");
    EXPECT_NE(problem(key().Public(), changed, file).find("trusted comment does not match"), std::string::npos);
  }
  {
    SCOPED_TRACE("a signature of another kind of the same bytes");
    std::string legacy = PatchBytes(signed_text, 1, [](std::string& b) { b[1] = 'd'; });
    EXPECT_NE(problem(key().Public(), legacy, file).find("does not match the file"), std::string::npos);
  }
  {
    SCOPED_TRACE("the global signature of another signature");
    std::string mixed = ReplaceLine(signed_text, 3, Line(FormatSignature(SignBytes(key(), "x", "y")), 3));
    EXPECT_NE(problem(key().Public(), mixed, file).find("trusted comment does not match"), std::string::npos);
  }
  {
    SCOPED_TRACE("the untrusted comment is not protected: changing it changes nothing");
    std::string changed = ReplaceLine(signed_text, 0, "untrusted comment: anything");
    EXPECT_TRUE(VerifySignatureFile(key().Public(), changed, file).valid);
  }
  EXPECT_NE(problem(key().Public(), "", file).find("not a minisign signature: the file is empty"), std::string::npos);
}

struct RefusedFile {
  const char* what;
  std::function<std::string(const std::string&)> change;  // of a good file's text
  const char* reason;                                      // a part of the refusal's text
};

std::string Trimmed(const std::string& text, size_t lines) {
  size_t end = 0;
  for (size_t i = 0; i < lines; ++i) end = text.find('\n', end) + 1;
  return text.substr(0, end);
}

TEST_F(MinisignFormatTest, MalformedFilesAreRefusedSayingWhatIsWrong) {
  const std::string public_text = FormatPublicKey(key().Public());
  const std::string secret_text = FormatSecretKey(key());
  const std::string signature_text = FormatSignature(SignBytes(key(), "bytes", "timestamp:1"));
  const std::vector<RefusedFile> public_cases = {
      {"empty", [](const std::string&) { return std::string(); }, "public key: the file is empty"},
      {"comment label", [](const std::string& t) { return "comment: x\n" + Line(t, 1) + "\n"; }, "untrusted comment"},
      {"key line missing", [](const std::string& t) { return Trimmed(t, 1); }, "the key line is missing"},
      {"text after it", [](const std::string& t) { return t + "more\n"; }, "more text after the key line"},
      {"not base64", [](const std::string& t) { return ReplaceLine(t, 1, "RWQ*" + Line(t, 1).substr(4)); },
       "not base64"},
      {"short", [](const std::string& t) { return PatchBytes(t, 1, [](std::string& b) { b.pop_back(); }); },
       "41 bytes instead of 42"},
      {"algorithm", [](const std::string& t) { return PatchBytes(t, 1, [](std::string& b) { b[1] = 'D'; }); },
       "the algorithm is \"ED\", not Ed25519"},
  };
  for (const RefusedFile& c : public_cases) {
    SCOPED_TRACE(std::string("public key, ") + c.what);
    std::string error = ErrorOf([&] { (void)ParsePublicKey(c.change(public_text)); });
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }

  const std::vector<RefusedFile> secret_cases = {
      {"a public key", [&](const std::string&) { return public_text; }, "42 bytes instead of 158"},
      {"password", [](const std::string& t) { return PatchBytes(t, 1, [](std::string& b) { b[2] = 'S', b[3] = 'c'; }); },
       "protected by a password"},
      {"protection", [](const std::string& t) { return PatchBytes(t, 1, [](std::string& b) { b[2] = 'X'; }); },
       "unknown key protection"},
      {"checksum kind", [](const std::string& t) { return PatchBytes(t, 1, [](std::string& b) { b[5] = '3'; }); },
       "unknown checksum algorithm \"B3\""},
      {"checksum", [](const std::string& t) { return PatchBytes(t, 1, [](std::string& b) { b[54] ^= 1; }); },
       "checksum does not match"},
      {"halves", [](const std::string& t) {
         return PatchBytes(t, 1, [](std::string& b) { b[100] ^= 1, b.replace(126, 32, 32, '\0'); });
       },
       "public half does not belong to its secret half"},
  };
  for (const RefusedFile& c : secret_cases) {
    SCOPED_TRACE(std::string("secret key, ") + c.what);
    std::string error = ErrorOf([&] { (void)ParseSecretKey(c.change(secret_text)); });
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }
  {
    SCOPED_TRACE("the refusal of a password says how to make a key without one");
    std::string error = ErrorOf([&] { (void)ParseSecretKey(secret_cases[1].change(secret_text)); });
    EXPECT_NE(error.find("minisign -G -W"), std::string::npos) << error;
    EXPECT_NE(error.find("mkupdate keygen"), std::string::npos) << error;
  }

  const std::vector<RefusedFile> signature_cases = {
      {"three lines", [](const std::string& t) { return Trimmed(t, 3); }, "3 lines instead of 4"},
      {"first label", [](const std::string& t) { return ReplaceLine(t, 0, "comment: x"); }, "\"untrusted comment: \""},
      {"third label", [](const std::string& t) { return ReplaceLine(t, 2, "trusted comment:x"); },
       "\"trusted comment: \""},
      {"algorithm", [](const std::string& t) { return PatchBytes(t, 1, [](std::string& b) { b[0] = 1, b[1] = 2; }); },
       "unknown algorithm 0x0102"},
      {"signature size", [](const std::string& t) { return PatchBytes(t, 1, [](std::string& b) { b += "xyz"; }); },
       "(second line): 77 bytes instead of 74"},
      {"global signature", [](const std::string& t) { return PatchBytes(t, 3, [](std::string& b) { b += "xyz"; }); },
       "(fourth line): 67 bytes instead of 64"},
      {"non-canonical base64", [](const std::string& t) {
         // 64 bytes end in one character and "==": that character's last four bits are unused.
         const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
         std::string line = Line(t, 3);
         char& last = line[line.size() - 3];
         last = alphabet[alphabet.find(last) ^ 1];
         return ReplaceLine(t, 3, line);
       },
       "(fourth line): the line is not base64"},
  };
  for (const RefusedFile& c : signature_cases) {
    SCOPED_TRACE(std::string("signature, ") + c.what);
    std::string error = ErrorOf([&] { (void)ParseSignature(c.change(signature_text)); });
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }
}

TEST(Base64Test, RoundTripsAndRefusesAllButCanonicalText) {
  std::string bytes;
  for (int length = 0; length < 12; ++length) {
    SCOPED_TRACE(length);
    EXPECT_EQ(Base64Decode(Base64Encode(bytes)), bytes);
    bytes += static_cast<char>(0xF0 + length);
  }
  EXPECT_EQ(Base64Encode("foob"), "Zm9vYg==");
  EXPECT_EQ(Base64Decode("Zm9vYg=="), "foob");
  EXPECT_EQ(Base64Decode("Zm9vYmE="), "fooba");
  for (const char* bad : {"Zm9vYg=", "Zm9vYh==", "Zm9vYmF=", "Zg==Zm9v", "Zm9v Yg==", "Zm=v", "===="}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(Base64Decode(bad).has_value());
  }
}

}  // namespace
}  // namespace trust
