#pragma once
// Command identifiers of the menu and toolbar, kept as the actions' data.

namespace hx::gui::cmd {

enum : int {
    FileOpen = 32794,
    FileSave = 32795,
    FileSaveAs = 32796,
    FileExit = 32797,
    Connect = 32771,
    BusOverview = 32799,
    CommExit = 57665,
    ParameterManager = 32773,
    SaveDriveParameters = 155,
    Waveform = 32774,
    RunTest = 32775,
    Tuning = 32801,
    Alarm = 32776,
    Environment = 32780,
    Wizard = 32787,
    ChangeHistory = 32800,
    Fourier = 32781,
    DebugTool = 32777,
    Calculator = 32778,
    LanguageChinese = 32784,
    LanguageEnglish = 32785,
    Help = 57670,
    About = 57664,
};

}  // namespace hx::gui::cmd
