// Reading and encoding the next picture files of a batch ahead of the store, on worker threads,
// while the store work stays in order on the caller's thread. What the store receives (keys,
// order, bytes) and how failures show are exactly those of reading and encoding one file after
// the other with one picture host: results come back in the files' order, and a file without a
// resolution of its own is encoded with the one the file before it left, as one host would.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "imaging/Picture.h"
#include "platform/MemoryStream.h"
#include "vault/AddPicture.h"

namespace sk {

// One file of the batch, read and encoded.
struct TPipelineResult {
  std::string file_name;
  // The reader's failure: the file could not be read (nothing else is set). Batches end here.
  std::exception_ptr load_error;
  // The encoder's failure (the stream is not set).
  std::exception_ptr encode_error;
  // The framed JPEG at the stored quality.
  TMemoryStream stream;
};

// Stores a result under key as StoreEncodedPicture does, and returns the key used; raises the
// result's own failure instead (the reader's, else the encoder's), and then the store is not
// touched.
std::string StorePipelineResult(TKES& store, TPipelineResult& result, const std::string& key,
                                TUniqueKeyRule rule);

class TPicturePipeline {
 public:
  // Reads files in order, at most lookahead of them ahead of the caller, with workers threads
  // (0: everything on the caller's thread, as EncodePictureFile one file after the other).
  // picture: the caller's host; after each Next it holds that file's picture and resolution, as
  // a load into it would have left them, and metafiles (which need the caller's painter) are
  // read into it on the caller's thread. It must outlive the pipeline.
  TPicturePipeline(std::vector<std::string> files, int preference_quality,
                   TOffscreenPicture& picture, int workers = DefaultWorkers(),
                   size_t lookahead = 3);
  // Stops the workers; files not handed out yet are dropped.
  ~TPicturePipeline();
  TPicturePipeline(const TPicturePipeline&) = delete;
  TPicturePipeline& operator=(const TPicturePipeline&) = delete;

  // True while files are left to hand out.
  bool HasNext() const { return next_ < files_.size(); }
  // The next file's result, in order; waits for it when a worker has not finished it yet.
  TPipelineResult Next();

  // Two workers on two cores, else one fewer than the cores (at most eight).
  static int DefaultWorkers();

 private:
  struct TJob {
    size_t index = 0;
    bool done = false;
    std::exception_ptr load_error;
    std::exception_ptr encode_error;
    TPicture picture;
    bool own_resolution = false;  // the file carries its resolution
    TResolution resolution;
    uint32_t background = 0;  // what the load left as the host's background
    TMemoryStream stream;     // encoded by the worker when own_resolution
  };

  void Work();
  void Refill();  // queues jobs up to the lookahead (lock held)
  static bool ReadOnCallersThread(const std::string& file_name);
  TPipelineResult FinishHere(size_t index);
  TPipelineResult FinishJob(TJob& job);

  std::vector<std::string> files_;
  int quality_;
  TOffscreenPicture& picture_;
  size_t lookahead_;
  size_t next_ = 0;    // the next file to hand out
  size_t queued_ = 0;  // files given to the workers so far

  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable job_done_;
  std::deque<std::shared_ptr<TJob>> jobs_;     // in file order, not yet handed out
  std::deque<std::shared_ptr<TJob>> pending_;  // not yet taken by a worker
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace sk
