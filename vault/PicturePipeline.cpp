// The batch pipeline: workers read and encode ahead, the caller takes results in order.
#include "vault/PicturePipeline.h"

#include <algorithm>

#include "imaging/ImageIO.h"
#include "imaging/JpegFrame.h"

namespace sk {

namespace {

// A resolution no file gives: the mark that a load left the host's resolution alone.
constexpr int kNoResolution = -1;

}  // namespace

std::string StorePipelineResult(TKES& store, TPipelineResult& result, const std::string& key,
                                TUniqueKeyRule rule) {
  if (result.load_error) std::rethrow_exception(result.load_error);
  if (result.encode_error) std::rethrow_exception(result.encode_error);
  return StoreEncodedPicture(store, result.stream, key, rule);
}

int TPicturePipeline::DefaultWorkers() {
  // The caller's thread mostly waits on the store's writes, so on two cores both go to reading
  // and encoding; beyond that, one core is left to the caller.
  const int cores = static_cast<int>(std::thread::hardware_concurrency());
  return cores <= 2 ? 2 : std::min(cores - 1, 8);
}

TPicturePipeline::TPicturePipeline(std::vector<std::string> files, int preference_quality,
                                   TOffscreenPicture& picture, int workers, size_t lookahead)
    : files_(std::move(files)),
      quality_(preference_quality),
      picture_(picture),
      lookahead_(std::max<size_t>(lookahead, 1)) {
  if (workers <= 0) return;
  {
    const std::lock_guard lock(mutex_);
    Refill();
  }
  for (int i = 0; i < workers; ++i) workers_.emplace_back([this] { Work(); });
}

TPicturePipeline::~TPicturePipeline() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  work_ready_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

bool TPicturePipeline::ReadOnCallersThread(const std::string& file_name) {
  // Metafiles are drawn with the caller's painter, which lives on the caller's thread.
  return IsMetafileName(file_name);
}

void TPicturePipeline::Refill() {
  while (queued_ < files_.size() && queued_ < next_ + lookahead_) {
    auto job = std::make_shared<TJob>();
    job->index = queued_++;
    jobs_.push_back(job);
    if (ReadOnCallersThread(files_[job->index])) {
      job->done = true;  // finished by the caller
    } else {
      pending_.push_back(job);
    }
  }
  work_ready_.notify_all();
}

void TPicturePipeline::Work() {
  TOffscreenPicture host;
  for (;;) {
    std::shared_ptr<TJob> job;
    {
      std::unique_lock lock(mutex_);
      work_ready_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
      if (stopping_) return;
      job = pending_.front();
      pending_.pop_front();
    }
    host.SetLoadBackground(picture_.LoadBackground());
    host.Host().SetDPI(kNoResolution, kNoResolution);
    try {
      host.LoadFromFile(files_[job->index]);
      job->own_resolution = host.Host().DpiX() != kNoResolution;
      job->resolution = {host.Host().DpiX(), host.Host().DpiY()};
      job->background = host.Host().Background();
      if (job->own_resolution) {
        try {
          EncodeFramedJpeg(job->stream, host.Picture(), job->resolution, StoredQuality(quality_));
        } catch (...) {
          job->encode_error = std::current_exception();
        }
      }
      job->picture = std::move(host.Host().Bitmap());
    } catch (...) {
      job->load_error = std::current_exception();
    }
    {
      const std::lock_guard lock(mutex_);
      job->done = true;
    }
    job_done_.notify_all();
  }
}

TPipelineResult TPicturePipeline::Next() {
  const size_t index = next_;
  if (workers_.empty()) {
    ++next_;
    return FinishHere(index);
  }
  std::shared_ptr<TJob> job;
  {
    std::unique_lock lock(mutex_);
    job = jobs_.front();
    job_done_.wait(lock, [&job] { return job->done; });
    jobs_.pop_front();
    ++next_;
    Refill();
  }
  if (ReadOnCallersThread(files_[index])) return FinishHere(index);
  return FinishJob(*job);
}

TPipelineResult TPicturePipeline::FinishHere(size_t index) {
  TPipelineResult result;
  result.file_name = files_[index];
  try {
    LoadPictureFile(picture_, result.file_name);
  } catch (...) {
    result.load_error = std::current_exception();
    return result;
  }
  try {
    EncodeLoadedPicture(picture_, quality_, result.stream);
  } catch (...) {
    result.encode_error = std::current_exception();
  }
  return result;
}

TPipelineResult TPicturePipeline::FinishJob(TJob& job) {
  TPipelineResult result;
  result.file_name = files_[job.index];
  if (job.load_error) {
    result.load_error = job.load_error;
    return result;
  }
  // The caller's host ends up as a load into it would have left it.
  TPictureHost& host = picture_.Host();
  host.Bitmap() = std::move(job.picture);
  host.SetBackground(job.background);
  if (job.own_resolution) {
    host.SetDPI(job.resolution.x, job.resolution.y);
    result.stream = std::move(job.stream);
    result.encode_error = job.encode_error;
  } else {
    // Encoded with the resolution the file before left, as one host would.
    try {
      EncodeLoadedPicture(picture_, quality_, result.stream);
    } catch (...) {
      result.encode_error = std::current_exception();
    }
  }
  return result;
}

}  // namespace sk
