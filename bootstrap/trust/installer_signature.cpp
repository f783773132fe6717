// CERT_CHAIN_PARA's URL retrieval timeout is one of its later fields.
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#include "bootstrap/trust/installer_signature.h"

// wintrust.h needs the crypto declarations first.
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>
#include <bcrypt.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "bootstrap/files/system_crypto.h"
#include "bootstrap/log/support_log.h"
#include "bootstrap/trust/authenticode.h"
#include "bootstrap/trust/publisher_subject.h"
#include "bootstrap/vocabulary/short_text.h"
#include "bootstrap/vocabulary/test_seam.h"
#include "build_settings.h"
#include "framework/handle.h"
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

// With crypt32's certificate functions and bcrypt's hashes (files/system_crypto.h), or no check:
// a missing one refuses the installer as one that cannot be checked, with the system's code for
// what was missing.
using TrustLibrary = fw::Library<WinTrust>;

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
    case CRYPT_E_REVOKED:
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

// The revocation server could not be reached, or the certificate names none: the status is
// unknown, not "revoked". Setup goes on (and logs it): a customer offline, or behind a proxy that
// blocks the CA's servers, must still be able to install, and Setup's own download already came
// from the maker's server over HTTPS. A certificate known to be revoked is refused.
bool RevocationUnknown(LONG status) {
  switch (static_cast<HRESULT>(status)) {
    case CERT_E_REVOCATION_FAILURE:
    case CRYPT_E_REVOCATION_OFFLINE:
    case CRYPT_E_NO_REVOCATION_CHECK:
      return true;
    default:
      return false;
  }
}

// What the chain engine may leave unknown: the same two, as chain status bits.
constexpr DWORD kRevocationUnknownBits =
    CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;

// The engine may fetch what the signature does not carry (an intermediate, a root through the
// system's root update) and each certificate's revocation status. Each fetch ends after the stall
// limit, and all of revocation together too (the accumulative timeout), so an unreachable CA holds
// the check up for about that long, like a silent server holds up a request.
constexpr DWORD kRetrievalLimitMs = static_cast<DWORD>(kStallLimitSeconds) * 1000;

// The signer's certificate and the chain built for it while the system's state holds the
// signature's own certificates; the time its certificates are judged at.
struct SystemVerdict {
  SignatureVerdict verdict;
  CertificateHandle signer;
  ChainHandle chain;
  DWORD chain_code = 0;
};

// Check 3's chain: code signing, no error but an unknown revocation status, expiry judged at the
// signature's timestamp when it has one, revocation checked for every certificate but the root
// (a root is trusted by being in the store, and names no one who could revoke it).
void BuildChain(PCCERT_CONTEXT signer, FILETIME* at, SystemVerdict& out) {
  LPSTR usages[] = {const_cast<LPSTR>(szOID_PKIX_KP_CODE_SIGNING)};
  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof(para);
  para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  para.RequestedUsage.Usage.cUsageIdentifier = 1;
  para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  para.dwUrlRetrievalTimeout = kRetrievalLimitMs;
  PCCERT_CHAIN_CONTEXT raw = nullptr;
  if (!Crypt32Library::Get()->CertGetCertificateChain(
          nullptr, signer, at, signer->hCertStore, &para,
          CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT |
              CERT_CHAIN_REVOCATION_ACCUMULATIVE_TIMEOUT,
          nullptr, &raw)) {
    out.chain_code = ::GetLastError();
    return;
  }
  out.chain.reset(raw);
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
  data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file_info;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwProvFlags = WTD_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const LONG status = t.WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  const fw::ScopeExit close_state([&] {
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    t.WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  });
  // An unknown revocation status goes on to the other checks, which still judge the digest, the
  // chain (with its own revocation check) and the publisher: any problem besides revocation that
  // the system's answer may have hidden behind it is refused there.
  if (status != 0 && !RevocationUnknown(status)) {
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
  out.signer.reset(Crypt32Library::Get()->CertDuplicateCertificateContext(certificate->pCert));
  FILETIME timestamp = signer->sftVerifyAsOf;
  BuildChain(out.signer.get(), signer->csCounterSigners > 0 ? &timestamp : nullptr, out);
  out.verdict = Passed();
  out.verdict.revocation_unknown = static_cast<std::uint32_t>(status);
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

// Whether the hash of what was added is expected: a mismatch refuses the file as not valid, a
// hash the system could not make as one that cannot be checked.
SignatureVerdict DigestVerdict(SystemHash& hash, Bytes expected) {
  std::vector<std::uint8_t> digest(expected.size());
  if (const Result<> finished = hash.Finish(digest); !finished) {
    return Refused(SignatureCheck::kCannotCheck, finished.Why().code);
  }
  if (!std::ranges::equal(digest, expected)) {
    return Refused(SignatureCheck::kNotValid, static_cast<std::uint32_t>(TRUST_E_BAD_DIGEST));
  }
  return Passed();
}

// A certificate table holds the signature and its certificates: tens of kilobytes. Anything much
// larger is no signature Setup reads into memory.
constexpr std::uint64_t kMaxTableSize = 1024 * 1024;
constexpr DWORD kHashChunk = 64 * 1024;

SignatureVerdict CheckImageDigest(HANDLE file, const std::optional<StreamedImageDigest>& streamed) {
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
  SystemHash attributes(AlgorithmName(content->signer_algorithm));
  if (const Result<> added =
          attributes.Add(content->indirect_content.data(), content->indirect_content.size());
      !added) {
    return Refused(SignatureCheck::kCannotCheck, added.Why().code);
  }
  if (const SignatureVerdict vouched = DigestVerdict(attributes, content->message_digest);
      !vouched.passed) {
    return vouched;
  }
  // Made from the bytes as they were written: the same file, no second read.
  if (streamed && streamed->size == size && streamed->layout == *layout &&
      content->image_algorithm == DigestAlgorithm::kSha256) {
    if (!std::equal(streamed->sha256.begin(), streamed->sha256.end(), content->image_digest.begin(),
                    content->image_digest.end())) {
      return Refused(SignatureCheck::kNotValid, static_cast<std::uint32_t>(TRUST_E_BAD_DIGEST));
    }
    return Passed();
  }
  SystemHash image(AlgorithmName(content->image_algorithm));
  std::vector<std::uint8_t> chunk(kHashChunk);
  for (const ByteRange& range : ImageDigestRanges(*layout, size)) {
    for (std::uint64_t done = 0; done < range.size;) {
      const DWORD piece =
          static_cast<DWORD>(std::min<std::uint64_t>(kHashChunk, range.size - done));
      if (!ReadAt(file, range.offset + done, chunk.data(), piece)) {
        return Refused(SignatureCheck::kCannotCheck, ::GetLastError());
      }
      if (const Result<> added = image.Add(chunk.data(), piece); !added) {
        return Refused(SignatureCheck::kCannotCheck, added.Why().code);
      }
      done += piece;
    }
  }
  return DigestVerdict(image, content->image_digest);
}

// -- check 3: the chain
// ----------------------------------------------------------------------------

SignatureVerdict CheckChain(const SystemVerdict& system) {
  if (!system.chain) {
    return Refused(SignatureCheck::kCannotCheck, system.chain_code);
  }
  const DWORD errors = system.chain.get()->TrustStatus.dwErrorStatus;
  // Revoked is among the errors: refused like an untrusted root.
  if ((errors & ~kRevocationUnknownBits) != CERT_TRUST_NO_ERROR) {
    return Refused(SignatureCheck::kNotTrusted, errors);
  }
  SignatureVerdict verdict = Passed();
  verdict.revocation_unknown = errors;
  return verdict;
}

// -- check 4: the publisher ---------------------------------------------------------------------

// Whether the certificate's key is one the publisher pinned: the SHA-256 of its
// SubjectPublicKeyInfo exactly as encoded in the certificate, as scripts/publisher-pins.py computes
// it.
Result<bool> KeyPinned(PCCERT_CONTEXT certificate) {
  const std::optional<CertificateParts> parts =
      ReadCertificateParts(Bytes(certificate->pbCertEncoded, certificate->cbCertEncoded));
  if (!parts) {
    return false;
  }
  SystemHash hash;
  if (const Result<> added = hash.Add(parts->public_key_info.data(), parts->public_key_info.size());
      !added) {
    return added.Why();
  }
  const Result<Sha256Digest> digest = hash.FinishSha256();
  if (!digest) {
    return digest.Why();
  }
  return std::ranges::any_of(kPublisherKeys,
                             [&](const auto& pin) { return std::ranges::equal(pin, *digest); });
}

// The publisher's subject, read when Setup is built: its attributes' types and values one after
// another in one array, their sizes in another. A subject Setup could never match does not build.
struct PinnedSubjectSize {
  std::size_t attributes = 0;
  std::size_t bytes = 0;
};

constexpr PinnedSubjectSize kPinnedSubjectSize = [] {
  PinnedSubjectSize size;
  if (const auto wanted = ParsePublisherSubject(kPublisherSubject)) {
    size.attributes = wanted->size();
    for (const NameAttribute& attribute : *wanted) {
      size.bytes += attribute.type.size() + attribute.value->size();
    }
  }
  return size;
}();
static_assert(kPublisherKeys.empty() || kPinnedSubjectSize.attributes > 0,
              "SETUP_PUBLISHER_SUBJECT cannot be read");

struct PinnedSubject {
  std::array<std::uint8_t, kPinnedSubjectSize.bytes> bytes{};
  std::array<std::size_t, 2 * kPinnedSubjectSize.attributes> sizes{};
};

constexpr PinnedSubject kPinnedSubject = [] {
  PinnedSubject pinned;
  if (const auto wanted = ParsePublisherSubject(kPublisherSubject)) {
    std::size_t at = 0;
    std::size_t i = 0;
    for (const NameAttribute& attribute : *wanted) {
      for (const std::uint8_t byte : attribute.type) {
        pinned.bytes[at++] = byte;
      }
      for (const char c : *attribute.value) {
        pinned.bytes[at++] = static_cast<std::uint8_t>(c);
      }
      pinned.sizes[i++] = attribute.type.size();
      pinned.sizes[i++] = attribute.value->size();
    }
  }
  return pinned;
}();

std::vector<NameAttribute> WantedSubject() {
  std::vector<NameAttribute> wanted;
  const std::uint8_t* at = kPinnedSubject.bytes.data();
  for (std::size_t i = 0; i < kPinnedSubject.sizes.size(); i += 2) {
    const std::size_t type = kPinnedSubject.sizes[i];
    const std::size_t value = kPinnedSubject.sizes[i + 1];
    wanted.push_back({std::vector<std::uint8_t>(at, at + type),
                      std::string(reinterpret_cast<const char*>(at + type), value)});
    at += type + value;
  }
  return wanted;
}

// The pinned publisher: a pinned key anywhere in the chain the engine built (the signer's own, an
// intermediate's or the root's, so that a renewal under a pinned CA passes), and the publisher's
// subject on the signer's certificate (a pinned CA signs for others too). A rogue root with the
// real CA's name, or a leaf with the publisher's name from any other CA, holds no pinned key.
SignatureVerdict CheckPublisher(const SystemVerdict& system) {
  const CERT_CHAIN_CONTEXT& chain = *system.chain.get();
  bool pinned = false;
  for (DWORD i = 0; i < chain.cChain && !pinned; ++i) {
    const CERT_SIMPLE_CHAIN& simple = *chain.rgpChain[i];
    for (DWORD k = 0; k < simple.cElement && !pinned; ++k) {
      const Result<bool> found = KeyPinned(simple.rgpElement[k]->pCertContext);
      if (!found) {
        return Refused(SignatureCheck::kCannotCheck, found.Why().code);
      }
      pinned = *found;
    }
  }
  if (!pinned) {
    return By(L"publisher key", Refused(SignatureCheck::kOtherPublisher, 0));
  }
  PCCERT_CONTEXT signer = system.signer.get();
  const std::optional<CertificateParts> parts =
      ReadCertificateParts(Bytes(signer->pbCertEncoded, signer->cbCertEncoded));
  const std::optional<std::vector<NameAttribute>> subject =
      parts ? DecodeName(parts->subject) : std::nullopt;
  if (!subject || !SubjectMatches(WantedSubject(), *subject)) {
    return By(L"publisher subject", Refused(SignatureCheck::kOtherPublisher, 0));
  }
  return Passed();
}

// 0x800B0100: the form the platform's documentation gives its codes in.
std::wstring HexCode(std::uint32_t code) {
  return JoinedText({L"0x", fw::HexPiece(code, 8)});
}

}  // namespace

bool InstallerSignatureRequired(const wchar_t** why) {
  const auto not_required = [why](const wchar_t* reason) {
    if (why != nullptr) {
      *why = reason;
    }
    return false;
  };
  if constexpr (kInstallerSignature == InstallerSignatureRule::kOff) {
    return not_required(L"NOT checked (SETUP_INSTALLER_SIGNATURE=OFF): any installer starts");
  }
  if constexpr (kInstallerSignature == InstallerSignatureRule::kAuto && kPublisherKeys.empty()) {
    return not_required(L"NOT checked (no publisher keys pinned)");
  }
  if constexpr (kTestSeams) {
    if (TestSeamNumber(L"SETUP_TEST_CHECK_SIGNATURE") != 1u) {
      return not_required(L"not checked (a test build, not asked to)");
    }
  }
  return true;
}

Result<> LoadSignatureLibraries() {
  if (TrustLibrary::Get() == nullptr) {
    return Failure{L"LoadLibrary", TrustLibrary::Outcome().error};
  }
  if (Crypt32Library::Get() == nullptr) {
    return Failure{L"LoadLibrary", Crypt32Library::Outcome().error};
  }
  return LoadSystemCrypto();
}

SignatureVerdict CheckInstallerSignature(HANDLE file, const std::wstring& path,
                                         const std::optional<StreamedImageDigest>& streamed) {
  if (const Result<> loaded = LoadSignatureLibraries(); !loaded) {
    return By(L"libraries", Refused(SignatureCheck::kCannotCheck, loaded.Why().code));
  }
  const TrustLibrary& t = *TrustLibrary::Get();
  SystemVerdict system = VerifyWithSystem(t, file, path);
  if (!system.verdict.passed) {
    return By(L"WinVerifyTrust", system.verdict);
  }
  if (const SignatureVerdict digest = CheckImageDigest(file, streamed); !digest.passed) {
    return By(L"image digest", digest);
  }
  SignatureVerdict chain = CheckChain(system);
  if (!chain.passed) {
    return By(L"chain", chain);
  }
  SignatureVerdict publisher = CheckPublisher(system);
  if (!publisher.passed) {
    return publisher.step[0] != 0 ? publisher : By(L"publisher", publisher);
  }
  // The first unknown revocation status, for the log: the system's answer's, or the chain's bits.
  publisher.revocation_unknown = system.verdict.revocation_unknown != 0
                                     ? system.verdict.revocation_unknown
                                     : chain.revocation_unknown;
  return publisher;
}

SetupResult VerifyInstaller(HANDLE file, const std::wstring& path,
                            const std::optional<StreamedImageDigest>& streamed) {
  SetupResult result = SetupResult::Of(SetupRequest::kDownload, SetupOutcome::kReady, L"");
  const wchar_t* why = L"";
  if (!InstallerSignatureRequired(&why)) {
    support_log::Write({L"installer signature: ", why});
    return result;
  }
  const std::uint64_t started_ms = ::GetTickCount64();
  SignatureVerdict verdict = Refused(SignatureCheck::kCannotCheck, 0);
  // The worker gets a handle of its own to the same held file: were it left behind, it would
  // still read the file the window holds, never a closed or reused handle.
  HANDLE own_handle = nullptr;
  if (const Result<> loaded = LoadSignatureLibraries(); !loaded) {
    verdict = By(L"libraries", Refused(SignatureCheck::kCannotCheck, loaded.Why().code));
  } else if (!::DuplicateHandle(::GetCurrentProcess(), file, ::GetCurrentProcess(), &own_handle, 0,
                                FALSE, DUPLICATE_SAME_ACCESS)) {
    verdict = By(L"handle", Refused(SignatureCheck::kCannotCheck, ::GetLastError()));
  } else {
    const fw::SharedState<SignatureVerdict> shared;
    const fw::SharedState<fw::KernelHandle> worker_file;
    worker_file->reset(own_handle);
    // Hashing a large installer takes a while: no stall limit, the window pumps meanwhile.
    fw::RunOffWindow(
        [shared, worker_file, path, streamed](fw::WorkActivity&) {
          *shared = CheckInstallerSignature(worker_file->get(), path, streamed);
        },
        {}, INFINITE);
    verdict = *shared;
  }
  const auto elapsed = static_cast<std::int64_t>(::GetTickCount64() - started_ms);
  if (verdict.passed) {
    if (verdict.revocation_unknown != 0) {
      support_log::Write({L"installer signature: revocation status unknown (code ",
                          HexCode(verdict.revocation_unknown), L"), went on"});
    }
    support_log::Write({L"installer signature: the pinned publisher's, checked in ",
                        DecimalPiece(elapsed), L" ms"});
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
