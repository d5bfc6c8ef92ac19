#include "cli/CaptureCommands.h"

#include <algorithm>
#include <cmath>
#include <cctype>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <cstdio>
#include <ostream>
#include <sstream>

#include "cli/CliCommands.h"
#include "cli/CliContext.h"
#include "core/analysis/SpectrumPeaks.h"
#include "cli/WavePlot.h"
#include "core/capture/CaptureJob.h"
#include "core/capture/SpectrumJob.h"
#include "core/capture/WaveFile.h"
#include "core/link/CQXCOM.h"
#include "core/protocol/Registers.h"
#include "core/util/AtomicFile.h"
#include "core/util/BoundedFile.h"
#include "core/util/CommandLine.h"
#include "core/util/TextProgress.h"

namespace {

bool EndsWith(const std::string& s, const std::string& suffix) {
    if (s.size() < suffix.size()) return false;
    return std::equal(suffix.rbegin(), suffix.rend(), s.rbegin(),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

// Progress on standard error: a bar rewritten in place on a terminal, whole
// lines in a log, where a carriage return would glue the next message onto
// the progress. The bar's line is ended when the transfer is over, however
// it ended.
hx::BlockProgress ProgressLine(const CliContext& ctx, const char* what) {
    auto progress = std::make_shared<hx::TextProgress>(ctx.Err(), what, hx::TextProgress::StderrIsTerminal());
    return [progress](int done, int total) { progress->Update(done, total); };
}

// The reason a capture or spectrum request failed, for the one-line message.
std::string FailureReason(hx::CaptureStatus status, const hx::BlockFailure& block, bool spectrum) {
    switch (status) {
    case hx::CaptureStatus::TimedOut:
        return spectrum ? "time-out: the drive did not report the spectrum ready within 12 s"
                        : "time-out: the drive did not report the capture complete within 12 s";
    case hx::CaptureStatus::NoAnswer: return "the drive does not answer";
    case hx::CaptureStatus::NotStarted:
        return "the drive did not take the start (its reply was lost and it shows no capture); the start was not "
               "sent again";
    case hx::CaptureStatus::Failed: {
        std::ostringstream s;
        s << "block " << block.block + 1;
        if (block.channel) s << " of channel " << block.channel;
        s << " (" << block.count << " registers from " << block.address << ") could not be read";
        return s.str();
    }
    case hx::CaptureStatus::Stopped: return "stopped";
    case hx::CaptureStatus::Completed: break;
    }
    return {};
}

bool KnownSource(uint16_t code) {
    return std::any_of(hx::kChannelSources.begin(), hx::kChannelSources.end(),
                       [code](const hx::ChannelSource& s) { return s.code == code; });
}

// The firmware decides whether the points register exists.
std::optional<float> ReadFirmware(const CliContext& ctx) {
    const auto v = ctx.Drive().Read(hx::reg::kFirmwareVersion);
    if (!v) return std::nullopt;
    return std::max(100.0f, static_cast<float>(*v));
}

int WriteOutput(const CliContext& ctx, const std::string& path, const std::string& csv,
                const std::function<bool(std::string*)>& save) {
    if (path.empty()) {
        ctx.Out() << csv;
        ctx.Out().flush();
        return ctx.Out() ? kExitOk : ctx.Fail("cannot write to standard output", kExitNoAnswer);
    }
    std::string error;
    if (!save(&error)) return ctx.Fail("cannot write " + error, kExitNoAnswer);
    return kExitOk;
}

}  // namespace

std::optional<hx::ChannelCodes> ParseChannelCodes(const std::string& text) {
    hx::ChannelCodes codes{};
    std::stringstream s(text);
    std::string item;
    int n = 0;
    while (std::getline(s, item, ',')) {
        const auto v = CliContext::ParseNumber(item);
        if (n >= 4 || !v || *v < 0 || *v > 0xFFFF) return std::nullopt;
        codes[n++] = static_cast<uint16_t>(*v);
    }
    if (n == 0 || (!text.empty() && text.back() == ',')) return std::nullopt;
    return codes;
}

int RunCaptureCommand(const CliContext& ctx, const CaptureCommandOptions& options) {
    const auto codes = ParseChannelCodes(options.channels);
    if (!codes) return ctx.Usage("--channels needs 1 to 4 source codes separated by commas: " + options.channels);
    for (uint16_t c : *codes)
        if (c != 0 && !KnownSource(c)) return ctx.Usage("not a source code: " + std::to_string(c));
    if (hx::ActiveChannelCount(*codes) == 0) return ctx.Usage("--channels selects no source (all 0)");
    if (options.intervalUs < 1 || options.intervalUs > 32767)
        return ctx.Usage("--interval must be 1..32767 us: " + std::to_string(options.intervalUs));
    if (options.points < 100 || options.points > 65500 || options.points % 100 != 0)
        return ctx.Usage("--points must be a multiple of 100: " + std::to_string(options.points));
    const std::string output = ctx.Expand(options.output);
    const bool toFile = !output.empty();
    const bool asWave = toFile && EndsWith(output, ".wave");
    if (toFile && !asWave && !EndsWith(output, ".csv"))
        return ctx.Usage("-o needs a file ending in .wave or .csv: " + output);

    if (!ctx.OpenLink()) return kExitPortError;
    const std::optional<float> firmware = ReadFirmware(ctx);
    hx::DriveHandle drive = ctx.Drive(firmware.value_or(100.0f));
    hx::SamplingLimits limits;
    if (!firmware || !hx::ReadSamplingLimits(drive, &limits))
        return ctx.Fail("capture failed: the drive does not answer", kExitNoAnswer);

    // Everything is checked against what the drive reports before anything
    // is written to it.
    for (uint16_t c : *codes)
        if (c != 0 && !(limits.sourceMask & c))
            return ctx.Fail("the drive cannot capture source " + std::to_string(c) + " (source mask 0x" +
                                [&] {
                                    char t[8];
                                    std::snprintf(t, sizeof t, "%04X", limits.sourceMask);
                                    return std::string(t);
                                }() + ")",
                            kExitNoAnswer);
    const int offered = limits.channelCount >= 2 && limits.channelCount <= 4 ? limits.channelCount : 1;
    for (int k = offered; k < 4; ++k)
        if ((*codes)[k] != 0)
            return ctx.Fail("the drive captures " + std::to_string(offered) + " channel(s) at once; channel " +
                                std::to_string(k + 1) + " is not available",
                            kExitNoAnswer);
    const int active = hx::ActiveChannelCount(*codes);
    if (!drive.newLayout() && options.points != hx::reg::kSampleLegacyPoints)
        return ctx.Fail("this drive's firmware always captures 200 points a channel", kExitNoAnswer);
    if (static_cast<long>(options.points) * active > limits.capacity)
        return ctx.Fail(std::to_string(active) + " channel(s) x " + std::to_string(options.points) +
                            " points exceed the drive's capacity of " + std::to_string(limits.capacity) + " points",
                        kExitNoAnswer);

    hx::CaptureRequest request;
    request.codes = *codes;
    request.pointsPerChannel = static_cast<uint16_t>(options.points);
    request.intervalUs = static_cast<int16_t>(options.intervalUs);
    const hx::CaptureResult result = hx::RunCapture(drive, request, {}, ProgressLine(ctx, "capture"));
    if (result.status != hx::CaptureStatus::Completed)
        return ctx.Fail("capture failed: " + FailureReason(result.status, result.failedBlock, false), kExitNoAnswer);

    hx::WaveRecording recording;
    hx::RecordCapture(recording, result.codes, result.pointsPerChannel, result.intervalUs, result.samples);
    if (asWave)
        return WriteOutput(ctx, output, {}, [&](std::string* e) { return hx::SaveWaveFile(output, recording, e); });
    if (options.table) {
        UseCliLanguage({});
        return WriteOutput(ctx, output, hx::FormatWaveTableCsv(recording),
                           [&](std::string* e) { return hx::ExportWaveTableCsv(output, recording, e); });
    }
    return WriteOutput(ctx, output, hx::FormatWaveCsv(recording),
                       [&](std::string* e) { return hx::ExportWaveCsv(output, recording, e); });
}

// Two decimals, as the peak lines print a frequency.
static std::string Fixed2(double v) {
    char t[32];
    std::snprintf(t, sizeof t, "%.2f", v);
    return t;
}

std::string FormatSpectrumPeaks(const hx::analysis::SpectrumAnalysis& analysis) {
    std::string out;
    for (const auto& p : analysis.peaks) out += Fixed2(p.frequencyHz) + "," + std::to_string(std::lround(p.level)) + "\n";
    return out;
}

std::string FormatSpectrumCsv(const std::vector<float>& bins) {
    std::string out = "Bin,Frequency(Hz),Value\r\n";
    char line[64];
    for (size_t i = 0; i < bins.size(); ++i) {
        // Bin frequencies are multiples of 4000 / 2048 Hz, exact in six decimals.
        char freq[32];
        std::snprintf(freq, sizeof freq, "%.6f", hx::SpectrumBinFrequency(static_cast<int>(i)));
        std::string f = freq;
        f.erase(f.find_last_not_of('0') + 1);
        if (!f.empty() && f.back() == '.') f.pop_back();
        // An average of whole words is rounded back to one.
        std::snprintf(line, sizeof line, "%zu,%s,%ld\r\n", i, f.c_str(), std::lround(bins[i]));
        out += line;
    }
    return out;
}

int RunFftCommand(const CliContext& ctx, const FftCommandOptions& options) {
    const std::string output = ctx.Expand(options.output);
    if (!output.empty() && !EndsWith(output, ".csv")) return ctx.Usage("-o needs a file ending in .csv: " + output);
    if (options.averages < 1 || options.averages > hx::analysis::kMaxAverages)
        return ctx.Usage("--average must be 1.." + std::to_string(hx::analysis::kMaxAverages));
    if (options.peaks < 0 || options.peaks > 100) return ctx.Usage("--peaks must be 0..100");
    if (!ctx.OpenLink()) return kExitPortError;
    hx::DriveHandle drive = ctx.Drive();
    // A drive that does not answer at all is told at once, not after the
    // whole ready wait.
    if (!drive.Read(hx::reg::kSpectrumStatus))
        return ctx.Fail("spectrum failed: the drive does not answer", kExitNoAnswer);
    hx::SpectrumRequest request;
    request.averages = options.averages;
    const hx::SpectrumResult result = hx::RunAveragedSpectrum(drive, request, {}, ProgressLine(ctx, "spectrum"));
    if (result.status != hx::CaptureStatus::Completed)
        return ctx.Fail("spectrum failed: " + FailureReason(result.status, result.failedBlock, true), kExitNoAnswer);
    const std::vector<float>& bins = result.bins;
    const std::string csv = FormatSpectrumCsv(bins);
    std::string peaks;
    if (options.peaks > 0) {
        const auto analysis = hx::analysis::AnalyseSpectrum(bins, hx::SpectrumBinFrequency(1), options.peaks);
        peaks = FormatSpectrumPeaks(analysis);
        if (!analysis.peaks.empty() && analysis.peaks.front().likelyResonance)
            ctx.Err() << "likely resonance: " << Fixed2(analysis.peaks.front().frequencyHz) << " Hz\n";
    }
    // Without a file the peaks stand alone on standard output when asked
    // for; with one, the table goes there and the peaks here.
    if (output.empty()) return WriteOutput(ctx, output, options.peaks > 0 ? peaks : csv, {});
    const int status = WriteOutput(ctx, output, csv, [&](std::string* e) {
        hx::AtomicFile::Step step;
        int err = 0;
        if (hx::WriteFileAtomically(output, csv, &step, &err)) return true;
        *e = output + ": " + hx::FileErrorText(err);
        return false;
    });
    if (status != kExitOk || peaks.empty()) return status;
    return WriteOutput(ctx, {}, peaks, {});
}

struct WaveCommandOptions {
    bool table = false;
    std::string lang;
    std::string output;
    std::string size = "1200x600";
};

int RunWaveExportCommand(const CliContext& ctx, const std::string& input, const std::string& output,
                         const WaveCommandOptions& options) {
    if (!options.lang.empty() && options.lang != "zh" && options.lang != "en")
        return ctx.Usage("--lang takes zh or en, not " + options.lang);
    if (options.table) UseCliLanguage(options.lang);
    // The export would replace the waveform with its own table.
    if (hx::SameFile(input, output))
        return ctx.Fail(output + " is the waveform file itself; give another name for the CSV", kExitNoAnswer);
    hx::WaveRecording recording;
    std::string error;
    // A damaged file is refused, as a damaged parameter file is: exported, its
    // gaps would read as blanks and its junk as zeros.
    if (!hx::LoadWaveFile(input, &recording, &error, true)) return ctx.Fail("cannot read " + error, kExitNoAnswer);
    if (recording.Empty()) return ctx.Fail(input + " holds no samples", kExitNoAnswer);
    const bool written = options.table ? hx::ExportWaveTableCsv(output, recording, &error)
                                       : hx::ExportWaveCsv(output, recording, &error);
    if (!written) return ctx.Fail("cannot write " + error, kExitNoAnswer);
    return kExitOk;
}

int RunWavePlotCommand(const CliContext& ctx, const std::string& input, const WaveCommandOptions& options) {
    if (!UseCliLanguage(options.lang)) return ctx.Usage("--lang takes zh or en, not " + options.lang);
    if (!EndsWith(options.output, ".png") && !EndsWith(options.output, ".svg"))
        return ctx.Usage("-o needs a file ending in .png or .svg: " + options.output);
    int width = 0, height = 0;
    char rest = 0;
    if (std::sscanf(options.size.c_str(), "%dx%d%c", &width, &height, &rest) != 2 || width < 16 || height < 16 ||
        width > 20000 || height > 20000)
        return ctx.Usage("--size takes WIDTHxHEIGHT in pixels, 16 to 20000 each: " + options.size);
    hx::WaveRecording recording;
    std::string error;
    if (!hx::LoadWaveFile(input, &recording, &error, true)) return ctx.Fail("cannot read " + error, kExitNoAnswer);
    if (recording.Empty()) return ctx.Fail(input + " holds no samples", kExitNoAnswer);
    if (!PlotWaveFile(recording, options.output, width, height, &error)) return ctx.Fail(error, kExitNoAnswer);
    return kExitOk;
}

void AddCaptureCommands(CliCommands& commands) {
    // The options' values live until the command has run, after registration.
    static CaptureCommandOptions capture;
    CLI::App* c = commands.Add("capture", "have the drive capture up to four signals and fetch them",
                               [](const CliContext& ctx) { return RunCaptureCommand(ctx, capture); });
    c->add_option("--channels", capture.channels, "source codes of up to four channels, 0 = channel off")
        ->required()
        ->type_name("C1[,C2[,C3[,C4]]]");
    hx::cmdline::AddNumberOption(*c, "--interval", capture.intervalUs, 0, 65535,
                                 "sampling interval in microseconds (default 100)")
        ->type_name("US");
    hx::cmdline::AddNumberOption(*c, "--points", capture.points, 0, 65535, "points per channel (default 200)");
    c->add_option("-o,--output", capture.output,
                  "FILE.wave (waveform file) or FILE.csv ({port} and {station} are filled\n"
                  "in); without it the CSV goes to standard output")
        ->type_name("FILE");
    c->add_flag("--table", capture.table,
                "the CSV as a table for spreadsheets: Time(ms) and the channels by name, signed values");
    commands.OnEveryDrive(c, &capture.output);

    static FftCommandOptions spectrum;
    CLI::App* f = commands.Add("fft", "the drive's spectrum as CSV: Bin,Frequency(Hz),Value",
                               [](const CliContext& ctx) { return RunFftCommand(ctx, spectrum); });
    f->add_option("-o,--output", spectrum.output,
                  "FILE.csv ({port} and {station} are filled in); without it the CSV\n"
                  "goes to standard output")
        ->type_name("FILE");
    commands.OnEveryDrive(f, &spectrum.output);
    hx::cmdline::AddNumberOption(*f, "--average", spectrum.averages, 1, hx::analysis::kMaxAverages,
                                 "request the spectrum N times and average the magnitudes (1..16, default 1)");
    hx::cmdline::AddNumberOption(*f, "--peaks", spectrum.peaks, 0, 100,
                                 "print the N highest peaks above 20 Hz as frequency_hz,level lines, highest\n"
                                 "first: alone on standard output, or there after the table went to -o FILE");

    CLI::App& wave = *commands.AddGroup("wave", "waveform files");
    static WaveCommandOptions exportOptions, plotOptions;
    CLI::App* e = commands.AddWithWords(wave, "export", "the CSV export of a waveform file",
                                        {{"IN.wave", "waveform file to read", true}, {"OUT.csv", "CSV file to write", true}},
                                        [](const CliContext& ctx, const std::vector<std::string>& files) {
                                            return RunWaveExportCommand(ctx, files[0], files[1], exportOptions);
                                        });
    e->add_flag("--table", exportOptions.table,
                "a table for spreadsheets: Time(ms) and the channels by name, signed values");
    e->add_option("--lang", exportOptions.lang, "zh or en: the language of the channel names (with --table)")
        ->type_name("zh|en");
    CLI::App* p = commands.AddWithWords(wave, "plot", "draw a waveform file as the waveform window shows it",
                                        {{"IN.wave", "waveform file to read", true}},
                                        [](const CliContext& ctx, const std::vector<std::string>& files) {
                                            return RunWavePlotCommand(ctx, files[0], plotOptions);
                                        });
    p->add_option("-o,--output", plotOptions.output, "FILE.png or FILE.svg")->required()->type_name("FILE");
    p->add_option("--size", plotOptions.size, "image size in pixels (default 1200x600)")->type_name("WxH");
    p->add_option("--lang", plotOptions.lang, "zh or en: the language of the captions")->type_name("zh|en");
}
