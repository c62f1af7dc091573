// Converting a WAV file into an AU file: Kestrilo_wav2au.
//
// The WAV file is read, reduced to its first (left) channel, resampled to 8012 frames per second
// and written as 8-bit µ-law AU. 1 when the AU file was written whole and put in place; 0 when a
// name is refused (longer than 255 characters, or a character outside U+0001 to U+00FF), the WAV
// file cannot be read, a conversion cannot get its memory, or the AU file cannot be created or
// written whole ("Cannot write file" shown for a failed write). In every case that gives 0, no AU
// file is created or touched.
#include <memory>
#include <new>

#include "library/audio/sound.h"
#include "library/boundary/file_name.h"
#include "library/exports/export_guard.h"
#include "library/exports/exports.h"

namespace {

std::int32_t wav2au(StringHandle wavFile, StringHandle auFile) {
  FileName wavPath;
  FileName auPath;
  const bool wavWhole = convertFileName(wavFile, wavPath);
  const bool auWhole = convertFileName(auFile, auPath);
  if (!wavWhole || !auWhole) return 0;

  // Owned, so that an exception on the way still closes the WAV file and frees the samples.
  std::unique_ptr<Sound> sound(new (std::nothrow) Sound);
  if (!sound) return 0;
  if (sound->loadWav(wavPath) && sound->setChannels(1) && sound->setSampleRate(kAuSampleRate)) {
    return sound->saveAu(auPath) != 0 ? 1 : 0;
  }
  return 0;
}

}  // namespace

std::int32_t Kestrilo_wav2au(Receiver, StringHandle wavFile, StringHandle auFile) {
  return guardExport(kWav2AuFailure, [&] { return wav2au(wavFile, auFile); });
}
