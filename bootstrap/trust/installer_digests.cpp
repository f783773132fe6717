#include "bootstrap/trust/installer_digests.h"

namespace setup {

InstallerDigests::InstallerDigests(std::uint64_t expected_size) : expected_size_(expected_size) {
  usable_ = LoadSystemCrypto();
  StartOver();
}

void InstallerDigests::StartOver() {
  hashing_ = usable_;
  file_digest_ = Failure{L"BCryptFinishHash", ERROR_IO_INCOMPLETE};
  if (usable_) {
    file_.emplace();
    image_.emplace();
    feed_.emplace(expected_size_);
  }
}

void InstallerDigests::Add(const char* data, std::size_t size) {
  if (!hashing_) {
    return;
  }
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
  if (hashing_ = file_->Add(bytes, size); !hashing_) {
    return;
  }
  feed_->Add(Bytes(bytes, size), [this](Bytes covered) {
    if (hashing_) {
      hashing_ = image_->Add(covered.data(), covered.size());
    }
  });
}

void InstallerDigests::Finish(std::uint64_t final_size) {
  if (!hashing_) {
    file_digest_ = hashing_.Why();
    return;
  }
  file_digest_ = file_->Finish();
  if (!feed_->Matches(final_size)) {
    return;
  }
  if (Result<Sha256Digest> digest = image_->Finish(); digest) {
    image_digest_ = StreamedImageDigest{*feed_->Layout(), final_size, *digest};
  }
}

}  // namespace setup
