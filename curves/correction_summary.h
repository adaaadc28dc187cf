// What an import did, in the words the program shows after "Import Correction...".
#pragma once

#include <string>

#include "curves/correction_fit.h"
#include "curves/correction_import.h"

// e.g. "Imported 127 points: RMS error 0.4 dB, largest 1.1 dB at 16 kHz. Output gain -3.5 dB."
std::string FormatImportSummary(const Correction& correction, const CorrectionFit& fit);

// A frequency as people read it: "62.5 Hz", "250 Hz", "1.59 kHz", "16 kHz".
std::string FormatFrequency(double hz);
