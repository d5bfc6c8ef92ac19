#pragma once
// The capture commands of halvex-cli, on the same core code as the
// waveform and frequency-analysis windows:
//
//   capture --channels C1[,C2[,C3[,C4]]] [--interval US] [--points N] [-o FILE]
//   fft [--average N] [--peaks N] [-o FILE.csv]
//   wave export IN.wave OUT.csv
//
// Each returns the exit status (CliExit) and prints a one-line reason on
// failure.

#include <optional>
#include <string>
#include <vector>

#include "core/capture/ChannelSources.h"

class CliCommands;
class CliContext;

// Registers capture, fft and "wave export" with halvex-cli.
void AddCaptureCommands(CliCommands& commands);

struct CaptureCommandOptions {
    std::string channels;  // "C1[,C2[,C3[,C4]]]": source codes, 0 = channel off
    int intervalUs = 100;
    int points = 200;
    std::string output;  // .wave or .csv; empty: the CSV on standard output
    bool table = false;  // the spreadsheet table instead of the classic CSV
};

struct FftCommandOptions {
    int averages = 1;    // requests averaged
    int peaks = 0;       // peak lines to print; 0 none
    std::string output;  // .csv; empty: standard output
};

// "1,2,32,256" to channel codes; nullopt for anything but 1..4 numbers of 0..65535.
std::optional<hx::ChannelCodes> ParseChannelCodes(const std::string& text);

// The spectrum as CSV: "Bin,Frequency(Hz),Value", one row per bin, CR LF.
std::string FormatSpectrumCsv(const std::vector<float>& bins);
// "frequency_hz,level" per peak, highest first: "301.27,118\n".
namespace hx::analysis {
struct SpectrumAnalysis;
}
std::string FormatSpectrumPeaks(const hx::analysis::SpectrumAnalysis& analysis);

int RunCaptureCommand(const CliContext& ctx, const CaptureCommandOptions& options);
int RunFftCommand(const CliContext& ctx, const FftCommandOptions& options);
int RunWaveExportCommand(const CliContext& ctx, const std::string& input, const std::string& output);

