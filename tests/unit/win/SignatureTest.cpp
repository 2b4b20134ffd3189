// The verifier of signed manifests against published P-256 test vectors (deterministic ECDSA with
// SHA-256 over the messages "sample" and "test", and the curve's generator as a second, unrelated key),
// and the digests of unpacked files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "WinTestSupport.h"
#include "common/DigestU.h"
#include "common/HexU.h"
#include "transfer/SignatureU.h"

namespace sf {
namespace {

// The key of the published vectors: 04‖X‖Y.
constexpr std::string_view kVectorKey =
    "0460FED4BA255A9D31C961EB74C6356D68C049B8923B61FA6CE669622E60F29FB6"
    "7903FE1008B8BC99A41AE9E95628BC64F2F1B20C2D7E9F5177A3C294D4462299";
// The generator point, the public key of the private key 1: a valid key that signed none of the vectors.
constexpr std::string_view kGeneratorKey =
    "046B17D1F2E12C4247F8BCE6E563A440F277037D812DEB33A0F4A13945D898C296"
    "4FE342E2FE1A7F9B8EE7EB4A7C0F9E162BCE33576B315ECECBB6406837BF51F5";
// r‖s of "sample" and of "test" under kVectorKey.
constexpr std::string_view kSampleSignature =
    "EFD48B2AACB6A8FD1140DD9CD45E81D69D2C877B56AAF991C34D0EA84EAF3716"
    "F7CB1C942D657C41D436C7A1B6E29F65F3E900DBB9AFF4064DC4AB2F843ACDA8";
constexpr std::string_view kTestSignature =
    "F1ABB023518351CD71D881567B1EA663ED3EFCF6C5132B354F28D3B0B7D38367"
    "019F4113742A2B14BD25926B49C649155F267E60D3814B4C0CC84250E46F0083";

std::string Bytes(std::string_view hex) {
  const auto bytes = HexToBytes(hex);
  return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

std::string Flipped(std::string bytes, std::size_t at) {
  bytes[at] = static_cast<char>(bytes[at] ^ 0x01);
  return bytes;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

TEST(VerifyP256Signature, PublishedVectors) {
  const std::string sample = Bytes(kSampleSignature);
  const std::string lowerKey = Lower(kVectorKey);
  // The vector key with its last coordinate digit changed: no longer a point of the curve.
  std::string offCurve(kVectorKey);
  offCurve.back() = offCurve.back() == '9' ? '8' : '9';
  struct TCase {
    const char* name;
    std::string message;
    std::string signature;
    std::vector<std::string_view> keys;
    std::optional<std::size_t> key;
    const wchar_t* diagnostic;
  };
  const std::vector<TCase> cases = {
      {"valid", "sample", sample, {kVectorKey}, 1, L"Signature=Valid Key=1"},
      {"valid, second vector", "test", Bytes(kTestSignature), {kVectorKey}, 1, L"Signature=Valid Key=1"},
      {"key in lower case", "sample", sample, {lowerKey}, 1, L"Signature=Valid Key=1"},
      {"r changed", "sample", Flipped(sample, 31), {kVectorKey}, std::nullopt, L"Signature=Invalid"},
      {"s changed", "sample", Flipped(sample, 32), {kVectorKey}, std::nullopt, L"Signature=Invalid"},
      {"another message", "samplE", sample, {kVectorKey}, std::nullopt, L"Signature=Invalid"},
      {"the other vector's signature", "sample", Bytes(kTestSignature), {kVectorKey}, std::nullopt,
       L"Signature=Invalid"},
      {"another key", "sample", sample, {kGeneratorKey}, std::nullopt, L"Signature=Invalid"},
      {"truncated signature", "sample", sample.substr(0, 63), {kVectorKey}, std::nullopt,
       L"Signature=Malformed Size=63"},
      {"signature with a byte more", "sample", sample + '\0', {kVectorKey}, std::nullopt,
       L"Signature=Malformed Size=65"},
      {"no signature", "sample", "", {kVectorKey}, std::nullopt, L"Signature=Missing"},
      {"second key in the list", "sample", sample, {kGeneratorKey, kVectorKey}, 2, L"Signature=Valid Key=2"},
      {"first of two keys", "sample", sample, {kVectorKey, kGeneratorKey}, 1, L"Signature=Valid Key=1"},
      {"no keys", "sample", sample, {}, std::nullopt, L"Signature=Invalid"},
      {"unusable keys are passed over", "sample", sample, {"04ABC", offCurve, kVectorKey}, 3,
       L"Signature=Valid Key=3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto key = VerifyP256Signature(c.message, c.signature, c.keys);
    EXPECT_EQ(key, c.key);
    EXPECT_EQ(SignatureDiagnostic(c.signature, key), c.diagnostic);
  }
}

TEST(FileDigests, OneReadGivesMd5AndSha256) {
  test::TTempFolder temp;
  const auto file = temp.Path() / "abc.bin";
  std::ofstream(file, std::ios::binary) << "abc";
  const TFileDigests digests = FileDigests(file.wstring(), true);
  EXPECT_EQ(digests.strMD5, L"900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(digests.strSHA256, L"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");
  EXPECT_EQ(FileDigests(file.wstring(), false).strSHA256, L"");
  EXPECT_EQ(FileDigests((temp.Path() / "missing.bin").wstring(), true).strSHA256, L"");

  // A file of several read pieces digests as its bytes do in one piece.
  std::string content(600 * 1024 + 7, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 4096);
  const auto large = temp.Path() / "large.bin";
  std::ofstream(large, std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));
  const auto whole = Sha256Of(content);
  const TFileDigests read = FileDigests(large.wstring(), true);
  EXPECT_EQ(read.strSHA256, BytesToHex(whole.data(), whole.size()));

  // Fed in uneven pieces as they are written, the digests are those of the file read back.
  TFileDigester fed(true);
  for (std::size_t at = 0; at < content.size(); at += 100003) {
    fed.Add(content.data() + at, std::min<std::size_t>(100003, content.size() - at));
  }
  const TFileDigests written = fed.Finish();
  EXPECT_EQ(written.strMD5, read.strMD5);
  EXPECT_EQ(written.strSHA256, read.strSHA256);
}

}  // namespace
}  // namespace sf
