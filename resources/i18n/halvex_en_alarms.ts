<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>StringTable</name>
    <message>
        <source>当前报警</source>
        <translation>Current Alarm</translation>
    </message>
    <message>
        <source>历史报警</source>
        <translation>Alarm History</translation>
    </message>
    <message>
        <source>报警编号</source>
        <translation>Alarm No.</translation>
    </message>
    <message>
        <source>报警名称</source>
        <translation>Alarm Name</translation>
    </message>
    <message>
        <source>没有报警</source>
        <translation>No alarm</translation>
    </message>
    <message>
        <source>----------------可能性</source>
        <translation>----------------Possibility </translation>
    </message>
    <message>
        <source>原因：</source>
        <translation>Cause: </translation>
    </message>
    <message>
        <source>处理:</source>
        <translation>Remedy: </translation>
    </message>
    <message>
        <source>序号</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>清除历史报警失败!</source>
        <translation>Clearing the alarm history failed!</translation>
    </message>
    <message>
        <source>报警设置</source>
        <translation>Alarm Settings</translation>
    </message>
    <message>
        <source>设置完成!</source>
        <translation>Settings done!</translation>
    </message>
</context>
<context>
    <name>FaultDetections</name>
    <message>
        <source>过流</source>
        <translation>Over-current</translation>
    </message>
    <message>
        <source>过压</source>
        <translation>Over-voltage</translation>
    </message>
    <message>
        <source>EEPROM</source>
        <translation>EEPROM</translation>
    </message>
    <message>
        <source>缺相</source>
        <translation>Phase loss</translation>
    </message>
    <message>
        <source>过热</source>
        <translation>Over-temperature</translation>
    </message>
    <message>
        <source>开环堵转检测</source>
        <translation>Open-loop stall detection</translation>
    </message>
    <message>
        <source>码盘</source>
        <translation>Encoder</translation>
    </message>
    <message>
        <source>位置超差</source>
        <translation>Position following error</translation>
    </message>
    <message>
        <source>控制电源故障</source>
        <translation>Control power fault</translation>
    </message>
    <message>
        <source>刹车回路</source>
        <translation>Brake circuit</translation>
    </message>
    <message>
        <source>欠压</source>
        <translation>Under-voltage</translation>
    </message>
    <message>
        <source>运放故障</source>
        <translation>Amplifier fault</translation>
    </message>
    <message>
        <source>码盘断线检测</source>
        <translation>Encoder disconnection detection</translation>
    </message>
    <message>
        <source>(空)</source>
        <translation>(spare)</translation>
    </message>
</context>
<context>
    <name>hx::gui::CAlarm</name>
    <message>
        <source>警报</source>
        <translation>Alarm</translation>
    </message>
</context>
<context>
    <name>hx::gui::CCurrentAlarm</name>
    <message>
        <source>清除当前故障</source>
        <translation>Clear Current Fault</translation>
    </message>
    <message>
        <source>报警原因与处理方法</source>
        <translation>Causes and remedies</translation>
    </message>
    <message>
        <source>无应答</source>
        <translation>No answer</translation>
    </message>
    <message>
        <source>驱动器没有应答，请检查通信线路</source>
        <translation>The drive does not answer; check the cable and the station number</translation>
    </message>
    <message>
        <source>清除当前故障失败：驱动器没有应答!</source>
        <translation>Clearing the current fault failed: the drive does not answer!</translation>
    </message>
    <message>
        <source>清除报警</source>
        <translation>Clear Alarm</translation>
    </message>
</context>
<context>
    <name>hx::gui::CHistoryAlarm</name>
    <message>
        <source>读历史报警</source>
        <translation>Read History</translation>
    </message>
    <message>
        <source>清除历史报警</source>
        <translation>Clear History</translation>
    </message>
    <message>
        <source>报警原因与处理方法</source>
        <translation>Causes and remedies</translation>
    </message>
    <message>
        <source>读取失败</source>
        <translation>Read failed</translation>
    </message>
    <message>
        <source>驱动器没有应答 (寄存器 %1)</source>
        <translation>The drive does not answer (register %1)</translation>
    </message>
    <message>
        <source>----------------可能性</source>
        <translation>----------------Possibility </translation>
    </message>
    <message>
        <source>原因:</source>
        <translation>Cause: </translation>
    </message>
    <message>
        <source>处理:</source>
        <translation>Remedy: </translation>
    </message>
    <message>
        <source>清除报警</source>
        <translation>Clear Alarm</translation>
    </message>
    <message>
        <source>清除历史报警失败：驱动器没有应答!</source>
        <translation>Clearing the alarm history failed: the drive does not answer!</translation>
    </message>
    <message>
        <source>清除驱动器中保存的全部历史报警？清除后无法恢复。</source>
        <translation>Clear every alarm stored in the drive&apos;s history? This cannot be undone.</translation>
    </message>
</context>
<context>
    <name>hx::gui::CAlarmSettings</name>
    <message>
        <source>故障检测选择</source>
        <translation>Fault detections</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>读取故障检测设置失败：驱动器没有应答!</source>
        <translation>Reading the fault detections failed: the drive does not answer!</translation>
    </message>
    <message>
        <source>设置失败：驱动器没有应答!</source>
        <translation>Setting failed: the drive does not answer!</translation>
    </message>
    <message>
        <source>设置未确认：驱动器没有应答读回请求!</source>
        <translation>Setting not confirmed: the drive did not answer the read-back!</translation>
    </message>
    <message>
        <source>设置失败：写入 0x%1，驱动器读回 0x%2!</source>
        <translation>Setting failed: wrote 0x%1, the drive reads back 0x%2!</translation>
    </message>
</context>
</TS>
