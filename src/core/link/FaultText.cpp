#include "core/link/FaultText.h"

#include "core/text/AlarmNumber.h"
#include "core/i18n/StringTable.h"
#include "core/i18n/Translate.h"
#include "core/protocol/Registers.h"

namespace hx {
namespace {

std::string Text(const char* chinese, const char* english, std::initializer_list<std::string> arguments = {}) {
    return FillIn(Translate(kFaultTextContext, chinese, english), arguments);
}

}  // namespace

std::string RefusalReason(int code) {
    switch (code) {
    case 1: return Text(QT_TRANSLATE_NOOP("DriveFault", "驱动器不支持这种请求"), "the drive does not know this request");
    case 2: return Text(QT_TRANSLATE_NOOP("DriveFault", "驱动器没有这个寄存器"), "the drive has no such register");
    case 3:
        return Text(QT_TRANSLATE_NOOP("DriveFault", "驱动器现在不接受这个值"), "the drive does not take this value now");
    case 4: return Text(QT_TRANSLATE_NOOP("DriveFault", "驱动器内部故障"), "the drive reports an internal failure");
    case 6: return Text(QT_TRANSLATE_NOOP("DriveFault", "驱动器正忙"), "the drive is busy");
    default:
        return Text(QT_TRANSLATE_NOOP("DriveFault", "异常码 %1"), "exception %1", {std::to_string(code)});
    }
}

std::string ActiveAlarmText(int alarmCode) {
    if (alarmCode <= 0) return {};
    return Text(QT_TRANSLATE_NOOP("DriveFault", "报警 %1 正在进行。"), "Alarm %1 is active.",
                {AlarmNumberText(alarmCode)});
}

std::string FaultSentence(uint16_t address, const DriveFault& fault, int alarmCode) {
    const std::string reg = std::to_string(address);
    switch (fault.kind) {
    case DriveFaultKind::None: return {};
    case DriveFaultKind::Refused: {
        std::string text = Text(QT_TRANSLATE_NOOP("DriveFault", "驱动器拒绝了请求(寄存器 %1)：%2。"),
                                "The drive refused the request to register %1: %2.",
                                {reg, RefusalReason(fault.exceptionCode)});
        const std::string alarm = ActiveAlarmText(alarmCode);
        return alarm.empty() ? text : text + " " + alarm;
    }
    case DriveFaultKind::NoAnswer:
        return Text(QT_TRANSLATE_NOOP("DriveFault", "驱动器没有应答(寄存器 %1)，请检查连接。"),
                    "The drive did not answer (register %1): check the connection.", {reg});
    case DriveFaultKind::Damaged:
        return Text(QT_TRANSLATE_NOOP("DriveFault", "驱动器的应答已损坏(寄存器 %1)，请检查线路是否受干扰。"),
                    "The drive's reply for register %1 was damaged: check the line for interference.", {reg});
    case DriveFaultKind::PortLost:
        return Text(QT_TRANSLATE_NOOP("DriveFault", "端口已断开(寄存器 %1)，请检查串口设备后重新连接。"),
                    "Port lost (register %1): check the serial device and connect again.", {reg});
    case DriveFaultKind::NotOpen:
        return Text(QT_TRANSLATE_NOOP("DriveFault", "端口没有打开。"), "The port is not open.");
    case DriveFaultKind::InvalidArgument:
        return Text(QT_TRANSLATE_NOOP("DriveFault", "无法发送的请求(寄存器 %1)。"),
                    "A request that cannot be sent (register %1).", {reg});
    }
    return {};
}

std::string FaultSentenceAskingAlarm(DriveHandle drive, uint16_t address, const DriveFault& fault) {
    int alarm = 0;
    if (fault.kind == DriveFaultKind::Refused)
        if (const auto current = drive.Read(reg::kCurrentAlarm)) alarm = *current;
    return FaultSentence(address, fault, alarm);
}

}  // namespace hx
