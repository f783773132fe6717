#include "bootstrap/trust/installer_digests.h"

#include <algorithm>
#include <cstring>

#include "framework/scope_exit.h"

namespace setup {

// Hashes the queued blocks in order until asked to end. Says when it has gone, however it went,
// so that nobody waits for it for ever.
struct InstallerDigests::Hashing {
  InstallerDigests* digests;

  void operator()(const fw::StopToken&) const {
    Pipe& pipe = *digests->pipe_;
    const fw::ScopeExit gone([&pipe] {
      const fw::Lock lock(pipe.lock);
      pipe.ended = true;
      pipe.changed.WakeAll();
    });
    for (;;) {
      std::size_t block = 0;
      {
        const fw::Lock lock(pipe.lock);
        while (pipe.queued == 0 && !pipe.ending) {
          pipe.changed.Wait(pipe.lock);
        }
        if (pipe.ending) {
          return;
        }
        block = pipe.next_hashed;
      }
      digests->Hash(pipe.bytes.data() + block * kBlockSize, pipe.sizes[block]);
      const fw::Lock lock(pipe.lock);
      pipe.next_hashed = (block + 1) % kBlocks;
      --pipe.queued;
      pipe.changed.WakeAll();
    }
  }

  void Wake() const {
    Pipe& pipe = *digests->pipe_;
    const fw::Lock lock(pipe.lock);
    pipe.ending = true;
    pipe.changed.WakeAll();
  }
};

InstallerDigests::InstallerDigests(std::uint64_t expected_size, WantedDigests wanted)
    : expected_size_(expected_size),
      wanted_(wanted),
      hashing_(Failure{L"BCryptCreateHash", ERROR_NOT_SUPPORTED}),
      file_digest_(Failure{L"BCryptFinishHash", ERROR_NOT_SUPPORTED}) {
  if (!wanted.file_sha256 && !wanted.image) {
    return;
  }
  if (const Result<> loaded = LoadSystemCrypto(); !loaded) {
    hashing_ = loaded;
    file_digest_ = loaded.Why();
    return;
  }
  pipe_ = std::make_unique<Pipe>();
  pipe_->bytes.resize(kBlocks * kBlockSize);
  // Like every worker, a thread the system cannot make is raised for the default error report.
  thread_ = std::make_unique<fw::WorkerThread>(Hashing{this}, fw::WorkerThread::kStartNow);
  StartOver();
}

InstallerDigests::~InstallerDigests() = default;

void InstallerDigests::StartOver() {
  if (!pipe_) {
    return;
  }
  Drain();
  hashing_ = {};
  file_digest_ = Failure{L"BCryptFinishHash", ERROR_IO_INCOMPLETE};
  image_digest_.reset();
  file_.reset();
  image_.reset();
  feed_.reset();
  if (wanted_.file_sha256) {
    file_.emplace();
  }
  if (wanted_.image) {
    image_.emplace();
    feed_.emplace(expected_size_);
  }
}

void InstallerDigests::Add(const char* data, std::size_t size) {
  if (!pipe_) {
    return;
  }
  while (size > 0) {
    const std::size_t piece = std::min(size, kBlockSize - filled_);
    std::memcpy(pipe_->bytes.data() + filling_ * kBlockSize + filled_, data, piece);
    filled_ += piece;
    data += piece;
    size -= piece;
    if (filled_ == kBlockSize) {
      Queue();
    }
  }
}

void InstallerDigests::Queue() {
  Pipe& pipe = *pipe_;
  const fw::Lock lock(pipe.lock);
  const std::size_t filled = std::exchange(filled_, 0);
  if (pipe.ended) {
    return;  // nobody hashes any more: Finish reports the digests as not made
  }
  pipe.sizes[filling_] = filled;
  ++pipe.queued;
  pipe.changed.WakeAll();
  filling_ = (filling_ + 1) % kBlocks;
  // The next block to fill is the oldest queued one while all of them are queued.
  while (pipe.queued == kBlocks && !pipe.ended) {
    pipe.changed.Wait(pipe.lock);
  }
}

void InstallerDigests::Drain() {
  if (filled_ > 0) {
    Queue();
  }
  Pipe& pipe = *pipe_;
  const fw::Lock lock(pipe.lock);
  while (pipe.queued > 0 && !pipe.ended) {
    pipe.changed.Wait(pipe.lock);
  }
  if (pipe.ended && hashing_) {
    // The hashing thread went before the queue was empty (only an allocation inside it can).
    hashing_ = Failure{L"BCryptHashData", ERROR_OPERATION_ABORTED};
  }
}

void InstallerDigests::Hash(const std::uint8_t* data, std::size_t size) {
  if (!hashing_) {
    return;
  }
  if (file_) {
    if (hashing_ = file_->Add(data, size); !hashing_) {
      return;
    }
  }
  if (image_) {
    feed_->Add(Bytes(data, size), [this](Bytes covered) {
      if (hashing_) {
        hashing_ = image_->Add(covered.data(), covered.size());
      }
    });
  }
}

void InstallerDigests::Finish(std::uint64_t final_size) {
  if (!pipe_) {
    return;
  }
  Drain();
  if (!hashing_) {
    file_digest_ = hashing_.Why();
    return;
  }
  if (file_) {
    file_digest_ = file_->FinishSha256();
  }
  if (image_ && feed_->Matches(final_size)) {
    if (Result<Sha256Digest> digest = image_->FinishSha256(); digest) {
      image_digest_ = StreamedImageDigest{*feed_->Layout(), final_size, *digest};
    }
  }
}

}  // namespace setup
