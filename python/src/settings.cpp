// The frame job of synthesize()'s keywords and the waveform it makes, with
// the files dot11a-gen would write for the same options.
#include <filesystem>

#include "dot11a/error.hpp"
#include "dot11a/files.hpp"
#include "dot11a/frame_record.hpp"
#include "veltora.hpp"

namespace veltora {

Made make(const dot11a::JobOptions& options, const Outputs& outputs) {
  const auto mat = dot11a::matContainerOf(outputs.mat);
  if (!mat) dot11a::raise("mat must be \"samples\" or \"wave\", not \"" + outputs.mat + "\".");
  std::optional<dot11a::WaveformFormat> format;
  if (!outputs.output.empty()) {
    format = dot11a::waveformFormatOf(outputs.output, *mat);
    if (!format)
      dot11a::raise("output: the file name must end in " +
                    std::string(dot11a::kWaveformExtensions) + ".");
  }
  dot11a::OptionsJob o = dot11a::jobOf(options, dot11a::OptionSpelling::Keyword);
  Made made{std::move(o.job), std::move(o.test), {}};
  if (!outputs.saveParams.empty())
    dot11a::writeJobFile(std::filesystem::absolute(outputs.saveParams).lexically_normal().string(),
                         made.job, false, o.choice);
  made.waveform = dot11a::make(made.job);
  if (format) {
    dot11a::WaveformFileOptions file;
    if (made.job.carrierKnown) file.carrier = made.job.generator.frequency;
    dot11a::writeWaveform(outputs.output, *format, made.waveform, file);
  }
  return made;
}

}  // namespace veltora
