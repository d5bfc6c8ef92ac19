#pragma once
// The parts of the wave commands that speak the interface's language and
// draw: channel names in the chosen language, and the picture of a waveform
// file, drawn by the drawing module (cli/draw/DrawModule.h) loaded for it.

#include <string>

#include "core/capture/WaveRecording.h"

// "zh", "en" or empty (the settings file's language). false for another word.
bool UseCliLanguage(const std::string& lang);

// Draws the recording as the waveform window shows it into a PNG or SVG of
// width x height; false with a one-line reason.
bool PlotWaveFile(const hx::WaveRecording& recording, const std::string& output, int width, int height,
                  std::string* error);
