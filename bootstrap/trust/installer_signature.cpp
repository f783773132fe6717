#include "bootstrap/trust/installer_signature.h"

// wintrust.h needs the crypto declarations first.
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>
#include <bcrypt.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "bootstrap/log/support_log.h"
#include "bootstrap/trust/authenticode.h"
#include "bootstrap/vocabulary/failure.h"
#include "bootstrap/vocabulary/short_text.h"
#include "build_settings.h"
#include "framework/handle.h"
#include "framework/module_path.h"
#include "framework/off_window.h"
#include "framework/scope_exit.h"
#include "framework/system_library.h"
#include "framework/text.h"

namespace setup {
namespace {

// The functions of the checks, from the system directory only: a signature check that a planted
// DLL could answer would be none.
struct WinTrust : fw::FunctionTable {
  static constexpr wchar_t kLibrary[] = L"wintrust.dll";
  FW_SYSTEM_FUNCTION(WinVerifyTrust);
  FW_SYSTEM_FUNCTION(WTHelperProvDataFromStateData);
  FW_SYSTEM_FUNCTION(WTHelperGetProvSignerFromChain);
  FW_SYSTEM_FUNCTION(WTHelperGetProvCertFromChain);
};

struct Crypt32 : fw::FunctionTable {
  static constexpr wchar_t kLibrary[] = L"crypt32.dll";
  FW_SYSTEM_FUNCTION(CertDuplicateCertificateContext);
  FW_SYSTEM_FUNCTION(CertFreeCertificateContext);
  FW_SYSTEM_FUNCTION(CertGetCertificateChain);
  FW_SYSTEM_FUNCTION(CertFreeCertificateChain);
  FW_SYSTEM_FUNCTION(CertCompareCertificateName);
  FW_SYSTEM_FUNCTION(CertFindCertificateInStore);
  FW_SYSTEM_FUNCTION(CertCloseStore);
  FW_SYSTEM_FUNCTION(CryptQueryObject);
  FW_SYSTEM_FUNCTION(CryptMsgGetParam);
  FW_SYSTEM_FUNCTION(CryptMsgClose);
};

struct BCrypt : fw::FunctionTable {
  static constexpr wchar_t kLibrary[] = L"bcrypt.dll";
  FW_SYSTEM_FUNCTION(BCryptOpenAlgorithmProvider);
  FW_SYSTEM_FUNCTION(BCryptCloseAlgorithmProvider);
  FW_SYSTEM_FUNCTION(BCryptGetProperty);
  FW_SYSTEM_FUNCTION(BCryptCreateHash);
  FW_SYSTEM_FUNCTION(BCryptHashData);
  FW_SYSTEM_FUNCTION(BCryptFinishHash);
  FW_SYSTEM_FUNCTION(BCryptDestroyHash);
};

// All three or no check: a missing one refuses the installer as one that cannot be checked, with
// the system's code for what was missing.
using TrustLibrary = fw::Library<WinTrust, Crypt32, BCrypt>;

// Handles of the run-time loaded functions exist only once the table is loaded.
void FreeCertificate(PCCERT_CONTEXT certificate) noexcept {
  TrustLibrary::Get()->CertFreeCertificateContext(certificate);
}
void FreeChain(PCCERT_CHAIN_CONTEXT chain) noexcept {
  TrustLibrary::Get()->CertFreeCertificateChain(chain);
}
void CloseStore(HCERTSTORE store) noexcept {
  TrustLibrary::Get()->CertCloseStore(store, 0);
}
void CloseMessage(HCRYPTMSG message) noexcept {
  TrustLibrary::Get()->CryptMsgClose(message);
}
void CloseAlgorithm(BCRYPT_ALG_HANDLE algorithm) noexcept {
  TrustLibrary::Get()->BCryptCloseAlgorithmProvider(algorithm, 0);
}
void DestroyHash(BCRYPT_HASH_HANDLE hash) noexcept {
  TrustLibrary::Get()->BCryptDestroyHash(hash);
}

using Certificate =
    fw::UniqueHandle<PCCERT_CONTEXT, fw::NullHandleTraits<PCCERT_CONTEXT, FreeCertificate>>;
using ChainContext =
    fw::UniqueHandle<PCCERT_CHAIN_CONTEXT, fw::NullHandleTraits<PCCERT_CHAIN_CONTEXT, FreeChain>>;
using CertStore = fw::UniqueHandle<HCERTSTORE, fw::NullHandleTraits<HCERTSTORE, CloseStore>>;
using CryptMessage = fw::UniqueHandle<HCRYPTMSG, fw::NullHandleTraits<HCRYPTMSG, CloseMessage>>;
using HashAlgorithm =
    fw::UniqueHandle<BCRYPT_ALG_HANDLE, fw::NullHandleTraits<BCRYPT_ALG_HANDLE, CloseAlgorithm>>;
using HashHandle =
    fw::UniqueHandle<BCRYPT_HASH_HANDLE, fw::NullHandleTraits<BCRYPT_HASH_HANDLE, DestroyHash>>;

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

SignatureVerdict Passed() {
  return {true, SignatureCheck::kCannotCheck, 0, L""};
}

SignatureVerdict Refused(SignatureCheck check, std::uint32_t code) {
  return {false, check, code, L""};
}

SignatureVerdict By(const wchar_t* step, SignatureVerdict verdict) {
  verdict.step = step;
  return verdict;
}

// Reads exactly size bytes at offset, whatever the handle's position (the system's verification
// reads through the same handle).
bool ReadAt(HANDLE file, std::uint64_t offset, void* buffer, DWORD size) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD count = 0;
  return ::ReadFile(file, buffer, size, &count, &at) && count == size;
}

std::uint64_t FileSize(HANDLE file) {
  LARGE_INTEGER size{};
  return ::GetFileSizeEx(file, &size) && size.QuadPart > 0
             ? static_cast<std::uint64_t>(size.QuadPart)
             : 0;
}

// The leading bytes ReadPeSignatureLayout reads, or fewer when the file is smaller.
std::vector<std::uint8_t> ReadHeader(HANDLE file, std::uint64_t size) {
  std::vector<std::uint8_t> header(
      static_cast<std::size_t>(std::min<std::uint64_t>(size, kPeHeaderReadSize)));
  if (!ReadAt(file, 0, header.data(), static_cast<DWORD>(header.size()))) {
    header.clear();
  }
  return header;
}

// -- check 1: the system's verification -----------------------------------------------------------

// What the system's answer means to the user.
SignatureCheck CheckOfTrustStatus(LONG status) {
  switch (static_cast<HRESULT>(status)) {
    case TRUST_E_NOSIGNATURE:
    case TRUST_E_SUBJECT_FORM_UNKNOWN:
      return SignatureCheck::kNotSigned;
    case CERT_E_UNTRUSTEDROOT:
    case CERT_E_UNTRUSTEDTESTROOT:
    case CERT_E_UNTRUSTEDCA:
    case CERT_E_CHAINING:
    case CERT_E_EXPIRED:
    case CERT_E_VALIDITYPERIODNESTING:
    case CERT_E_WRONG_USAGE:
    case CERT_E_REVOKED:
    case CERT_E_PURPOSE:
    case TRUST_E_EXPLICIT_DISTRUST:
    case TRUST_E_SUBJECT_NOT_TRUSTED:
    case TRUST_E_BASIC_CONSTRAINTS:
      return SignatureCheck::kNotTrusted;
    case TRUST_E_PROVIDER_UNKNOWN:
    case TRUST_E_ACTION_UNKNOWN:
      return SignatureCheck::kCannotCheck;
    default:
      return SignatureCheck::kNotValid;
  }
}

// The signer's certificate and the chain built for it while the system's state holds the
// signature's own certificates; the time its certificates are judged at.
struct SystemVerdict {
  SignatureVerdict verdict;
  Certificate signer;
  std::uint32_t chain_errors = 0;
  bool chain_built = false;
  DWORD chain_code = 0;
};

// Check 3's chain: code signing, no error at all, expiry judged at the signature's timestamp when
// it has one. No revocation and nothing fetched: Setup must not wait on a CA's servers.
void BuildChain(const TrustLibrary& t, PCCERT_CONTEXT signer, FILETIME* at, SystemVerdict& out) {
  LPSTR usages[] = {const_cast<LPSTR>(szOID_PKIX_KP_CODE_SIGNING)};
  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof(para);
  para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  para.RequestedUsage.Usage.cUsageIdentifier = 1;
  para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  PCCERT_CHAIN_CONTEXT raw = nullptr;
  if (!t.CertGetCertificateChain(nullptr, signer, at, signer->hCertStore, &para,
                                 CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL, nullptr, &raw)) {
    out.chain_code = ::GetLastError();
    return;
  }
  const ChainContext chain(raw);
  out.chain_built = true;
  out.chain_errors = chain.get()->TrustStatus.dwErrorStatus;
}

SystemVerdict VerifyWithSystem(const TrustLibrary& t, HANDLE file, const std::wstring& path) {
  SystemVerdict out;
  WINTRUST_FILE_INFO file_info{};
  file_info.cbStruct = sizeof(file_info);
  file_info.pcwszFilePath = path.c_str();
  file_info.hFile = file;
  WINTRUST_DATA data{};
  data.cbStruct = sizeof(data);
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file_info;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_NONE;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const LONG status = t.WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  const fw::ScopeExit close_state([&] {
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    t.WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  });
  if (status != 0) {
    out.verdict = Refused(CheckOfTrustStatus(status), static_cast<std::uint32_t>(status));
    return out;
  }
  CRYPT_PROVIDER_DATA* provider = t.WTHelperProvDataFromStateData(data.hWVTStateData);
  CRYPT_PROVIDER_SGNR* signer =
      provider ? t.WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
  CRYPT_PROVIDER_CERT* certificate = signer ? t.WTHelperGetProvCertFromChain(signer, 0) : nullptr;
  if (!certificate || !certificate->pCert) {
    out.verdict =
        Refused(SignatureCheck::kCannotCheck, static_cast<std::uint32_t>(TRUST_E_NO_SIGNER_CERT));
    return out;
  }
  // Kept past the state's end, which frees the state's own copy.
  out.signer.reset(t.CertDuplicateCertificateContext(certificate->pCert));
  FILETIME timestamp = signer->sftVerifyAsOf;
  BuildChain(t, out.signer.get(), signer->csCounterSigners > 0 ? &timestamp : nullptr, out);
  out.verdict = Passed();
  return out;
}

// -- check 2: our own image digest --------------------------------------------------------------

const wchar_t* AlgorithmName(DigestAlgorithm algorithm) {
  switch (algorithm) {
    case DigestAlgorithm::kSha256:
      return BCRYPT_SHA256_ALGORITHM;
    case DigestAlgorithm::kSha384:
      return BCRYPT_SHA384_ALGORITHM;
    case DigestAlgorithm::kSha512:
      return BCRYPT_SHA512_ALGORITHM;
  }
  return BCRYPT_SHA256_ALGORITHM;
}

// A hash in the making; Valid() false when the system gave none.
class Hasher {
 public:
  Hasher(const TrustLibrary& t, DigestAlgorithm algorithm) : t_(t) {
    BCRYPT_ALG_HANDLE raw_algorithm = nullptr;
    if (t.BCryptOpenAlgorithmProvider(&raw_algorithm, AlgorithmName(algorithm), nullptr, 0) != 0) {
      return;
    }
    algorithm_.reset(raw_algorithm);
    DWORD object_size = 0;
    ULONG got = 0;
    // Windows 7 wants the hash object's memory from the caller.
    if (t.BCryptGetProperty(raw_algorithm, BCRYPT_OBJECT_LENGTH,
                            reinterpret_cast<PUCHAR>(&object_size), sizeof(object_size), &got,
                            0) != 0) {
      return;
    }
    object_.resize(object_size);
    BCRYPT_HASH_HANDLE raw_hash = nullptr;
    if (t.BCryptCreateHash(raw_algorithm, &raw_hash, object_.data(),
                           static_cast<ULONG>(object_.size()), nullptr, 0, 0) == 0) {
      hash_.reset(raw_hash);
    }
  }
  bool Valid() const { return static_cast<bool>(hash_); }
  bool Add(const std::uint8_t* data, std::size_t size) {
    return t_.BCryptHashData(hash_.get(), const_cast<PUCHAR>(data), static_cast<ULONG>(size), 0) ==
           0;
  }
  bool Equals(Bytes expected) {
    std::vector<std::uint8_t> digest(expected.size());
    return t_.BCryptFinishHash(hash_.get(), digest.data(), static_cast<ULONG>(digest.size()), 0) ==
               0 &&
           std::equal(digest.begin(), digest.end(), expected.begin());
  }

 private:
  const TrustLibrary& t_;
  HashAlgorithm algorithm_;  // outlives the hash: members go in reverse order
  std::vector<std::uint8_t> object_;
  HashHandle hash_;
};

// A certificate table holds the signature and its certificates: tens of kilobytes. Anything much
// larger is no signature Setup reads into memory.
constexpr std::uint64_t kMaxTableSize = 1024 * 1024;
constexpr DWORD kHashChunk = 64 * 1024;

SignatureVerdict CheckImageDigest(const TrustLibrary& t, HANDLE file) {
  const std::uint64_t size = FileSize(file);
  const std::vector<std::uint8_t> header = ReadHeader(file, size);
  const std::optional<PeSignatureLayout> layout = ReadPeSignatureLayout(header, size);
  if (!layout) {
    return Refused(SignatureCheck::kNotValid, 0);
  }
  if (layout->table.size == 0) {
    return Refused(SignatureCheck::kNotSigned, 0);
  }
  if (layout->table.size > kMaxTableSize) {
    return Refused(SignatureCheck::kNotValid, 0);
  }
  std::vector<std::uint8_t> table(static_cast<std::size_t>(layout->table.size));
  if (!ReadAt(file, layout->table.offset, table.data(), static_cast<DWORD>(table.size()))) {
    return Refused(SignatureCheck::kCannotCheck, ::GetLastError());
  }
  const std::optional<Bytes> blob = SignatureBlob(table);
  const std::optional<AuthenticodeContent> content =
      blob ? ReadAuthenticodeContent(*blob) : std::nullopt;
  // A signature taken from a catalog, a cabinet or a script vouches for no program.
  if (!content || !content->pe_image) {
    return Refused(SignatureCheck::kNotValid, 0);
  }
  // The signed attributes must vouch for this indirect data; otherwise the digest in it could
  // have been changed to anything.
  Hasher attributes(t, content->signer_algorithm);
  if (!attributes.Valid()) {
    return Refused(SignatureCheck::kCannotCheck, 0);
  }
  if (!attributes.Add(content->indirect_content.data(), content->indirect_content.size()) ||
      !attributes.Equals(content->message_digest)) {
    return Refused(SignatureCheck::kNotValid, 0);
  }
  Hasher image(t, content->image_algorithm);
  if (!image.Valid()) {
    return Refused(SignatureCheck::kCannotCheck, 0);
  }
  std::vector<std::uint8_t> chunk(kHashChunk);
  for (const ByteRange& range : ImageDigestRanges(*layout, size)) {
    for (std::uint64_t done = 0; done < range.size;) {
      const DWORD piece =
          static_cast<DWORD>(std::min<std::uint64_t>(kHashChunk, range.size - done));
      if (!ReadAt(file, range.offset + done, chunk.data(), piece)) {
        return Refused(SignatureCheck::kCannotCheck, ::GetLastError());
      }
      if (!image.Add(chunk.data(), piece)) {
        return Refused(SignatureCheck::kCannotCheck, 0);
      }
      done += piece;
    }
  }
  if (!image.Equals(content->image_digest)) {
    return Refused(SignatureCheck::kNotValid, static_cast<std::uint32_t>(TRUST_E_BAD_DIGEST));
  }
  return Passed();
}

// -- check 4: the publisher ---------------------------------------------------------------------

// The certificate that signed Setup.exe, from its own file's embedded signature.
Result<Certificate> OwnSigner(const TrustLibrary& t) {
  const std::wstring own = fw::ModulePath();
  HCERTSTORE raw_store = nullptr;
  HCRYPTMSG raw_message = nullptr;
  DWORD encoding = 0;
  DWORD content_type = 0;
  DWORD format = 0;
  if (!t.CryptQueryObject(CERT_QUERY_OBJECT_FILE, own.c_str(),
                          CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED, CERT_QUERY_FORMAT_FLAG_BINARY,
                          0, &encoding, &content_type, &format, &raw_store, &raw_message,
                          nullptr)) {
    return Failure{L"CryptQueryObject", ::GetLastError()};
  }
  const CertStore store(raw_store);
  const CryptMessage message(raw_message);
  DWORD size = 0;
  if (!t.CryptMsgGetParam(message.get(), CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size) || size == 0) {
    return Failure{L"CryptMsgGetParam", ::GetLastError()};
  }
  std::vector<std::uint8_t> buffer(size);
  if (!t.CryptMsgGetParam(message.get(), CMSG_SIGNER_INFO_PARAM, 0, buffer.data(), &size)) {
    return Failure{L"CryptMsgGetParam", ::GetLastError()};
  }
  CMSG_SIGNER_INFO info{};
  std::memcpy(&info, buffer.data(), std::min<std::size_t>(sizeof(info), buffer.size()));
  CERT_INFO wanted{};
  wanted.Issuer = info.Issuer;
  wanted.SerialNumber = info.SerialNumber;
  // The context keeps its store alive after the store's handle is closed.
  Certificate signer(t.CertFindCertificateInStore(store.get(), kEncoding, 0, CERT_FIND_SUBJECT_CERT,
                                                  &wanted, nullptr));
  if (!signer) {
    return Failure{L"CertFindCertificateInStore", ::GetLastError()};
  }
  return signer;
}

// The same publisher: the same subject and the same issuer, byte for byte. A renewed certificate
// with a new key and serial number passes; the same subject from another CA does not. (Comparing
// whole certificates by issuer and serial number would refuse every renewal.)
bool SamePublisher(const TrustLibrary& t, PCCERT_CONTEXT a, PCCERT_CONTEXT b) {
  return t.CertCompareCertificateName(X509_ASN_ENCODING, &a->pCertInfo->Subject,
                                      &b->pCertInfo->Subject) &&
         t.CertCompareCertificateName(X509_ASN_ENCODING, &a->pCertInfo->Issuer,
                                      &b->pCertInfo->Issuer);
}

// 0x800B0100: the form the platform's documentation gives its codes in.
std::wstring HexCode(std::uint32_t code) {
  return JoinedText({L"0x", fw::HexPiece(code, 8)});
}

fw::FileHandle& OwnExecutable() {
  static fw::FileHandle file;
  return file;
}

}  // namespace

void HoldOwnExecutable() {
  OwnExecutable().reset(::CreateFileW(fw::ModulePath().c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool InstallerSignatureRequired() {
  if constexpr (kInstallerSignature == InstallerSignatureRule::kOn) {
    return true;
  } else if constexpr (kInstallerSignature == InstallerSignatureRule::kOff) {
    return false;
  } else {
    // Held since the start, or opened now when that failed.
    fw::FileHandle opened;
    HANDLE own = OwnExecutable().get();
    if (!OwnExecutable()) {
      opened.reset(::CreateFileW(fw::ModulePath().c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!opened) {
        return true;
      }
      own = opened.get();
    }
    const std::uint64_t size = FileSize(own);
    const std::optional<PeSignatureLayout> layout =
        ReadPeSignatureLayout(ReadHeader(own, size), size);
    return !layout || layout->table.size != 0;
  }
}

bool LoadSignatureLibraries() {
  return TrustLibrary::Get() != nullptr;
}

SignatureVerdict CheckInstallerSignature(HANDLE file, const std::wstring& path) {
  const TrustLibrary* loaded = TrustLibrary::Get();
  if (loaded == nullptr) {
    return By(L"libraries", Refused(SignatureCheck::kCannotCheck, TrustLibrary::Outcome().error));
  }
  const TrustLibrary& t = *loaded;
  SystemVerdict system = VerifyWithSystem(t, file, path);
  if (!system.verdict.passed) {
    return By(L"WinVerifyTrust", system.verdict);
  }
  if (const SignatureVerdict digest = CheckImageDigest(t, file); !digest.passed) {
    return By(L"image digest", digest);
  }
  if (!system.chain_built) {
    return By(L"chain", Refused(SignatureCheck::kCannotCheck, system.chain_code));
  }
  if (system.chain_errors != CERT_TRUST_NO_ERROR) {
    return By(L"chain", Refused(SignatureCheck::kNotTrusted, system.chain_errors));
  }
  const Result<Certificate> own = OwnSigner(t);
  if (!own) {
    return By(L"Setup's own signer", Refused(SignatureCheck::kCannotCheck, own.Why().code));
  }
  if (!SamePublisher(t, own->get(), system.signer.get())) {
    return By(L"publisher", Refused(SignatureCheck::kOtherPublisher, 0));
  }
  return Passed();
}

SetupResult VerifyInstaller(HANDLE file, const std::wstring& path) {
  SetupResult result = SetupResult::Of(SetupRequest::kDownload, SetupOutcome::kReady, L"");
  if (!InstallerSignatureRequired()) {
    support_log::Write(L"installer signature: not required");
    return result;
  }
  const std::uint64_t started_ms = ::GetTickCount64();
  SignatureVerdict verdict = Refused(SignatureCheck::kCannotCheck, 0);
  // The worker gets a handle of its own to the same held file: were it left behind, it would
  // still read the file the window holds, never a closed or reused handle.
  HANDLE own_handle = nullptr;
  if (!LoadSignatureLibraries()) {
    verdict =
        By(L"libraries", Refused(SignatureCheck::kCannotCheck, TrustLibrary::Outcome().error));
  } else if (!::DuplicateHandle(::GetCurrentProcess(), file, ::GetCurrentProcess(), &own_handle, 0,
                                FALSE, DUPLICATE_SAME_ACCESS)) {
    verdict = By(L"handle", Refused(SignatureCheck::kCannotCheck, ::GetLastError()));
  } else {
    const fw::SharedState<SignatureVerdict> shared;
    const fw::SharedState<fw::KernelHandle> worker_file;
    worker_file->reset(own_handle);
    // Hashing a large installer takes a while: no stall limit, the window pumps meanwhile.
    fw::RunOffWindow(
        [shared, worker_file, path](fw::WorkActivity&) {
          *shared = CheckInstallerSignature(worker_file->get(), path);
        },
        {}, INFINITE);
    verdict = *shared;
  }
  const auto elapsed = static_cast<std::int64_t>(::GetTickCount64() - started_ms);
  if (verdict.passed) {
    support_log::Write(
        {L"installer signature: same publisher, checked in ", DecimalPiece(elapsed), L" ms"});
    return result;
  }
  support_log::Write({L"installer signature: refused by ", verdict.step, L", ",
                      SignatureCheckName(verdict.refused), L" (code ", HexCode(verdict.code),
                      L"), checked in ", DecimalPiece(elapsed), L" ms"});
  result.outcome = SetupOutcome::kSignatureRefused;
  result.signature = verdict.refused;
  result.code = verdict.code;
  result.path = path;
  return result;
}

}  // namespace setup
