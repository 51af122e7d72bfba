// A frame sequence of a parameter set record (see frame_sequence.hpp).
#include "dot11a/frame_sequence.hpp"

#include "dot11a/frame_record.hpp"
#include "dot11a/waveform.hpp"

namespace dot11a {

SequenceResult buildSequence(const Value& p, const SequenceRequest& r) {
  FrameJob job;
  job.frame = fromRecord(p);
  job.sequence.frames = r.frames;
  job.sequence.gap.us = r.gapUs;
  job.sequence.seedStep = r.seedStep;
  job.sequence.file = r.file;
  job.memorySamples = r.memorySamples;
  Waveform w = make(job);
  SequenceResult out;
  out.sampleRate = w.sampleRate;
  for (WaveformFrame& f : w.frames) {
    out.sequence.bursts.push_back({f.start, f.burstEnd});
    out.psdus.push_back(std::move(f.psdu));
  }
  out.sequence.waveform = std::move(w.samples);
  out.sequence.marker1 = std::move(w.marker1);
  out.sequence.marker2 = std::move(w.marker2);
  return out;
}

}  // namespace dot11a
