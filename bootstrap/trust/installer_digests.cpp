#include "bootstrap/trust/installer_digests.h"

namespace setup {

InstallerDigests::InstallerDigests(std::uint64_t expected_size) : expected_size_(expected_size) {
  usable_ = static_cast<bool>(LoadSystemCrypto());
  StartOver();
}

void InstallerDigests::StartOver() {
  failed_ = !usable_;
  if (usable_) {
    file_.emplace();
    image_.emplace();
    feed_.emplace(expected_size_);
  }
}

void InstallerDigests::Add(const char* data, std::size_t size) {
  if (failed_) {
    return;
  }
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
  if (!file_->Add(bytes, size)) {
    failed_ = true;
    return;
  }
  feed_->Add(Bytes(bytes, size), [this](Bytes covered) {
    if (!failed_ && !image_->Add(covered.data(), covered.size())) {
      failed_ = true;
    }
  });
}

void InstallerDigests::Finish(std::uint64_t final_size) {
  if (failed_) {
    return;
  }
  if (Result<Sha256Digest> digest = file_->Finish(); digest) {
    file_digest_ = *digest;
  }
  if (!feed_->Matches(final_size)) {
    return;
  }
  if (Result<Sha256Digest> digest = image_->Finish(); digest) {
    image_digest_ = StreamedImageDigest{*feed_->Layout(), final_size, *digest};
  }
}

}  // namespace setup
