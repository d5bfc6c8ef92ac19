#include "core/alarms/FaultDetections.h"

#include <iterator>

namespace hx {
namespace {

const FaultDetection kDetections[kDetectionBits] = {
    {0, QT_TRANSLATE_NOOP("FaultDetections", "过流"), "Over-current", alarm::kOverCurrent},
    {1, QT_TRANSLATE_NOOP("FaultDetections", "过压"), "Over-voltage", alarm::kOverVoltage},
    {2, QT_TRANSLATE_NOOP("FaultDetections", "EEPROM"), "EEPROM", alarm::kEeprom},
    {3, QT_TRANSLATE_NOOP("FaultDetections", "缺相"), "Phase loss", alarm::kPhaseLoss},
    {4, QT_TRANSLATE_NOOP("FaultDetections", "过热"), "Over-temperature", alarm::kOverTemperature},
    {5, QT_TRANSLATE_NOOP("FaultDetections", "开环堵转检测"), "Open-loop stall", alarm::kOpenLoopStall},
    {6, QT_TRANSLATE_NOOP("FaultDetections", "码盘"), "Encoder", alarm::kEncoderFault},
    {7, QT_TRANSLATE_NOOP("FaultDetections", "位置超差"), "Position following error", alarm::kFollowingError},
    {8, QT_TRANSLATE_NOOP("FaultDetections", "控制电源故障"), "Control power fault", alarm::kControlPower},
    {9, QT_TRANSLATE_NOOP("FaultDetections", "刹车回路"), "Brake circuit", alarm::kBrakeCircuit},
    {10, QT_TRANSLATE_NOOP("FaultDetections", "欠压"), "Under-voltage", alarm::kUnderVoltage},
    {11, QT_TRANSLATE_NOOP("FaultDetections", "运放故障"), "Amplifier fault", alarm::kAmplifierFault},
    {12, QT_TRANSLATE_NOOP("FaultDetections", "码盘断线检测"), "Encoder disconnection", alarm::kEncoderDisconnected},
    {13, QT_TRANSLATE_NOOP("FaultDetections", "(空)"), "(spare)", 0},
    {14, "(空)", "(spare)", 0},
    {15, "(空)", "(spare)", 0},
};

}  // namespace

const FaultDetection* FaultDetections() { return kDetections; }

const FaultDetection* DetectionOfAlarm(int alarmCode) {
    if (alarmCode <= 0) return nullptr;
    for (const auto& d : kDetections)
        if (d.alarmCode == alarmCode) return &d;
    return nullptr;
}

bool AlarmDetected(int alarmCode, uint16_t mask) {
    const FaultDetection* d = DetectionOfAlarm(alarmCode);
    return !d || (mask & (1u << d->bit)) != 0;
}

}  // namespace hx
