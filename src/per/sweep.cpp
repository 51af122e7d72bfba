// The sweep: its checks, its points, chunks of frames and their sum, and the
// local run on threads.
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <thread>

#include "dot11a/error.hpp"
#include "dot11a/impair.hpp"
#include "dot11a/num2str.hpp"
#include "dot11a/per.hpp"
#include "dot11a/rate_table.hpp"
#include "per/internal.hpp"

namespace dot11a::per {

void validate(const Sweep& s, const std::function<std::string(std::string_view)>& names) {
  const auto name = [&](std::string_view n) { return names ? names(n) : std::string(n); };
  // The rates of the frame's spacing, as a list for the messages.
  const ChannelSpacing spacing = s.job.frame.spacing;
  std::string rates;
  for (std::size_t i = 0; i < kRateTable.size(); ++i)
    rates += (i == 0                       ? ""
              : i + 1 == kRateTable.size() ? " and "
                                           : ", ") +
             num2str(kRateTable[i].mbps * clockFactor(spacing));
  rates += " Mbit/s" + std::string(spacing == ChannelSpacing::MHz20
                                       ? ""
                                       : " at " + std::to_string(spacingMHz(spacing)) + " MHz");
  if (s.ratesMbps.empty()) raise(name("rates") + " needs at least one rate: " + rates + ".");
  for (std::size_t i = 0; i < s.ratesMbps.size(); ++i) {
    const double r = s.ratesMbps[i];
    if (tableRate(r, spacing) == nullptr)
      raise(name("rates") + " takes " + rates + ", not " + num2str(r) + ".");
    if (std::find(s.ratesMbps.begin(), s.ratesMbps.begin() + static_cast<std::ptrdiff_t>(i), r) !=
        s.ratesMbps.begin() + static_cast<std::ptrdiff_t>(i))
      raise(name("rates") + " names " + num2str(r) + " Mbit/s twice.");
  }
  if (s.snrDb.empty()) raise(name("snr") + " needs at least one SNR in dB.");
  if (s.ratesMbps.size() * s.snrDb.size() > kMaxPoints)
    raise("The sweep has " + std::to_string(s.ratesMbps.size() * s.snrDb.size()) +
          " points (rates times SNRs); at most " + std::to_string(kMaxPoints) +
          " are run at once.");
  if (s.frames < 1 || s.frames > kMaxFramesPerPoint)
    raise(name("frames") + " must be from 1 to " + std::to_string(kMaxFramesPerPoint) + ", not " +
          std::to_string(s.frames) + ".");
  if (s.job.impairments.snrDb)
    raise("The noise is set by each point's SNR (" + name("snr") + "), not by the impairments.");
  if (s.job.sequence.active())
    raise("The bench makes one frame at a time: a sequence cannot be swept.");
  if (!s.job.frame.framed)
    raise("The bench needs framed frames: the receiver synchronises on the preamble.");
  const FrameJob job = jobAtRate(s.job, s.ratesMbps.front());
  const std::string problem = frameProblem(job.frame);
  if (!problem.empty()) raise("The frame cannot be made: " + problem + ".");
  impair::Settings withNoise = job.impairments;
  impair::validate(withNoise, job.frame.sampleRate(), job.frame.spacing);
  for (const double snr : s.snrDb) {
    withNoise.snrDb = snr;
    try {
      impair::validate(withNoise, job.frame.sampleRate(), job.frame.spacing);
    } catch (const Error& e) {
      raise(name("snr") + ": " + e.what());
    }
  }
}

std::vector<Point> points(const Sweep& s) {
  std::vector<Point> p;
  for (const double rate : s.ratesMbps)
    for (const double snr : s.snrDb) p.push_back({rate, snr});
  return p;
}

Chunk runChunk(const Sweep& s, std::size_t point, std::uint64_t first, std::uint64_t count,
               const std::atomic<bool>* cancel) {
  const std::vector<Point> all = points(s);
  if (point >= all.size()) raise("The sweep has no point " + std::to_string(point) + ".");
  Chunk c;
  c.point = point;
  c.first = first;
  for (std::uint64_t i = first; i < first + count; ++i) {
    if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) break;
    const Outcome o = runFrame(s, all[point], i);
    ++c.frames;
    if (o == Outcome::Received) continue;
    ++c.errors;
    c.missed += o == Outcome::Missed ? 1 : 0;
    if (c.errorsAt.size() < s.stopAfterErrors) {
      c.errorsAt.push_back(i);
      c.missedAt.push_back(o == Outcome::Missed ? 1 : 0);
    }
  }
  return c;
}

double PointResult::per() const {
  return frames > 0 ? static_cast<double>(errors) / static_cast<double>(frames) : 0.0;
}

namespace {

// A point's count as its chunks come in, from its first frame on.
class Tally {
 public:
  Tally(const Sweep& s, const Point& p) : frames_(s.frames), stopAfter_(s.stopAfterErrors) {
    r_.rateMbps = p.rateMbps;
    r_.snrDb = p.snrDb;
  }

  // The next frame the count needs.
  std::uint64_t next() const { return r_.frames; }
  bool complete() const { return r_.complete; }
  const PointResult& result() const { return r_; }

  // Adds a chunk that starts at next(); a chunk cut short by a
  // cancellation is counted as far as it ran.
  void add(const Chunk& c) {
    if (r_.complete) return;
    if (c.first != r_.frames || c.first + c.frames > frames_)
      raise("A chunk of frames " + std::to_string(c.first) + " to " +
            std::to_string(c.first + c.frames) + " does not follow the " +
            std::to_string(r_.frames) + " counted of " + std::to_string(frames_) + ".");
    const std::uint64_t needed = stopAfter_ - r_.errors;
    if (stopAfter_ > 0 && c.errors >= needed) {
      if (c.errorsAt.size() < needed || c.missedAt.size() < needed)
        raise("A chunk of frames does not say where its errors were.");
      r_.frames = c.errorsAt[needed - 1] + 1;
      r_.errors = stopAfter_;
      for (std::size_t i = 0; i < needed; ++i) r_.missed += c.missedAt[i];
      r_.complete = true;
      return;
    }
    r_.frames += c.frames;
    r_.errors += c.errors;
    r_.missed += c.missed;
    r_.complete = r_.frames == frames_;
  }

 private:
  std::uint64_t frames_, stopAfter_;
  PointResult r_;
};

}  // namespace

PointResult combine(const Sweep& s, std::size_t point, std::span<const Chunk> chunks) {
  const std::vector<Point> all = points(s);
  if (point >= all.size()) raise("The sweep has no point " + std::to_string(point) + ".");
  std::vector<const Chunk*> mine;
  for (const Chunk& c : chunks)
    if (c.point == point) mine.push_back(&c);
  std::sort(mine.begin(), mine.end(),
            [](const Chunk* a, const Chunk* b) { return a->first < b->first; });
  Tally t(s, all[point]);
  for (const Chunk* c : mine) {
    if (t.complete() || c->first != t.next()) break;
    t.add(*c);
    // A chunk cut short leaves a gap behind it.
    if (c->first + c->frames != t.next() && !t.complete()) break;
  }
  return t.result();
}

namespace {

// The local run: workers take chunks from the earliest point that needs
// frames, hand them back, and the calling thread reports.
class LocalRun {
 public:
  LocalRun(const Sweep& s, const RunOptions& o) : s_(s), o_(o), points_(points(s)) {
    for (const Point& p : points_) states_.push_back({Tally(s, p), 0, {}, false});
  }

  std::vector<PointResult> run() {
    unsigned workers = o_.workers > 0 ? o_.workers : std::thread::hardware_concurrency();
    workers = std::max(1u, workers);
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < workers; ++i) threads.emplace_back([this] { work(); });
    report(workers);
    for (std::thread& t : threads) t.join();
    if (failure_) std::rethrow_exception(failure_);
    std::vector<PointResult> results;
    for (const State& st : states_) results.push_back(st.tally.result());
    return results;
  }

 private:
  struct State {
    Tally tally;
    std::uint64_t issued;                  // frames handed out from the first on
    std::map<std::uint64_t, Chunk> early;  // chunks back before those in front of them
    bool reported;
  };

  // The next chunk to run, or none when every point has all it needs.
  bool take(std::size_t& point, std::uint64_t& first, std::uint64_t& count) {
    const std::uint64_t chunk = std::max<std::size_t>(1, o_.chunkFrames);
    for (; cursor_ < states_.size(); ++cursor_) {
      State& st = states_[cursor_];
      if (st.tally.complete() || st.issued >= s_.frames) continue;
      point = cursor_;
      first = st.issued;
      count = std::min<std::uint64_t>(chunk, s_.frames - st.issued);
      st.issued += count;
      return true;
    }
    return false;
  }

  void work() {
    for (;;) {
      std::size_t point = 0;
      std::uint64_t first = 0, count = 0;
      {
        const std::lock_guard lock(m_);
        if (stop_ || !take(point, first, count)) break;
      }
      Chunk c;
      try {
        c = runChunk(s_, point, first, count, &stop_);
      } catch (...) {
        const std::lock_guard lock(m_);
        if (!failure_) failure_ = std::current_exception();
        stop_ = true;
        break;
      }
      const std::lock_guard lock(m_);
      State& st = states_[point];
      framesRun_ += c.frames;
      if (!st.tally.complete()) {
        st.early.emplace(c.first, std::move(c));
        // Everything that now follows on without a gap.
        for (auto it = st.early.begin(); it != st.early.end() && it->first == st.tally.next();
             it = st.early.erase(it)) {
          const std::uint64_t end = it->second.first + it->second.frames;
          st.tally.add(it->second);
          if (st.tally.complete() || end != st.tally.next()) break;
        }
        if (st.tally.complete()) st.early.clear();
      }
      changed_.notify_one();
    }
    const std::lock_guard lock(m_);
    ++finished_;
    changed_.notify_one();
  }

  // On the calling thread: points as they are complete, the progress, the
  // poll, until every worker has finished.
  void report(unsigned workers) {
    std::unique_lock lock(m_);
    for (;;) {
      const bool last = finished_ == workers;
      std::vector<std::pair<std::size_t, PointResult>> done;
      std::uint64_t planned = 0;
      for (std::size_t i = 0; i < states_.size(); ++i) {
        State& st = states_[i];
        planned += st.tally.complete() ? st.tally.next() : s_.frames;
        if (st.tally.complete() && !st.reported) {
          st.reported = true;
          done.emplace_back(i, st.tally.result());
        }
      }
      const std::uint64_t run = std::min(framesRun_, planned);
      lock.unlock();
      for (const auto& [i, r] : done)
        if (o_.onPoint) o_.onPoint(i, r);
      if (o_.onProgress) o_.onProgress(run, planned);
      const bool cancelled = (o_.cancel != nullptr && o_.cancel->load()) || (o_.poll && !o_.poll());
      lock.lock();
      if (cancelled) stop_ = true;
      if (last) return;
      changed_.wait_for(lock, std::chrono::milliseconds(100));
    }
  }

  const Sweep& s_;
  const RunOptions& o_;
  const std::vector<Point> points_;
  std::vector<State> states_;
  std::mutex m_;
  std::condition_variable changed_;
  std::size_t cursor_ = 0;
  std::uint64_t framesRun_ = 0;
  unsigned finished_ = 0;
  std::atomic<bool> stop_ = false;
  std::exception_ptr failure_;
};

}  // namespace

void keepFreedMemory() {
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  mallopt(M_TOP_PAD, 64 << 20);
}

std::vector<PointResult> run(const Sweep& sweep, const RunOptions& options) {
  validate(sweep, nullptr);
  if (options.workers > kMaxWorkers)
    raise("A local run takes at most " + std::to_string(kMaxWorkers) + " workers, not " +
          std::to_string(options.workers) + ".");
  return LocalRun(sweep, options).run();
}

}  // namespace dot11a::per
