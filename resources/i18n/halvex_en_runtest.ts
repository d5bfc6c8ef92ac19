<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>RunTest</name>
    <message>
        <source>超过范围</source>
        <translation>Out of Range</translation>
    </message>
    <message>
        <source>第一抗振幅值</source>
        <translation>1st anti-vibration amplitude</translation>
    </message>
    <message>
        <source>第一抗振相位A</source>
        <translation>1st anti-vibration phase A</translation>
    </message>
    <message>
        <source>第一抗振相位B</source>
        <translation>1st anti-vibration phase B</translation>
    </message>
    <message>
        <source>第二抗振幅值</source>
        <translation>2nd anti-vibration amplitude</translation>
    </message>
    <message>
        <source>第二抗振相位A</source>
        <translation>2nd anti-vibration phase A</translation>
    </message>
    <message>
        <source>第二抗振相位B</source>
        <translation>2nd anti-vibration phase B</translation>
    </message>
    <message>
        <source>第三抗振幅值</source>
        <translation>3rd anti-vibration amplitude</translation>
    </message>
    <message>
        <source>第三抗振相位A</source>
        <translation>3rd anti-vibration phase A</translation>
    </message>
    <message>
        <source>第三抗振相位B</source>
        <translation>3rd anti-vibration phase B</translation>
    </message>
    <message>
        <source>第四抗振幅值</source>
        <translation>4th anti-vibration amplitude</translation>
    </message>
    <message>
        <source>第四抗振相位A</source>
        <translation>4th anti-vibration phase A</translation>
    </message>
    <message>
        <source>第四抗振相位B</source>
        <translation>4th anti-vibration phase B</translation>
    </message>
    <message>
        <source>Z轴抗振相位</source>
        <translation>Z-axis anti-vibration phase</translation>
    </message>
    <message>
        <source>第一抗振幅值输入超出范围(0~100).</source>
        <translation>1st anti-vibration amplitude out of range (0~100).</translation>
    </message>
    <message>
        <source>第一抗振相位A输入超出范围(0~255).</source>
        <translation>1st anti-vibration phase A out of range (0~255).</translation>
    </message>
    <message>
        <source>第一抗振相位B输入超出范围(0~255).</source>
        <translation>1st anti-vibration phase B out of range (0~255).</translation>
    </message>
    <message>
        <source>第二抗振幅值输入超出范围(0~100).</source>
        <translation>2nd anti-vibration amplitude out of range (0~100).</translation>
    </message>
    <message>
        <source>第二抗振相位A输入超出范围(0~255).</source>
        <translation>2nd anti-vibration phase A out of range (0~255).</translation>
    </message>
    <message>
        <source>第二抗振相位B输入超出范围(0~255).</source>
        <translation>2nd anti-vibration phase B out of range (0~255).</translation>
    </message>
    <message>
        <source>第三抗振幅值输入超出范围 (0~100).</source>
        <translation>3rd anti-vibration amplitude out of range (0~100).</translation>
    </message>
    <message>
        <source>第三抗振相位A输入超出范围(0~255).</source>
        <translation>3rd anti-vibration phase A out of range (0~255).</translation>
    </message>
    <message>
        <source>第三抗振相位B输入超出范围(0~255).</source>
        <translation>3rd anti-vibration phase B out of range (0~255).</translation>
    </message>
    <message>
        <source>第四抗振幅值输入超出范围(0~100).</source>
        <translation>4th anti-vibration amplitude out of range (0~100).</translation>
    </message>
    <message>
        <source>第四抗振幅值A输入超出范围(0~255)</source>
        <translation>4th anti-vibration phase A out of range (0~255).</translation>
    </message>
    <message>
        <source>第四抗振相B输入超出范围(0~255).</source>
        <translation>4th anti-vibration phase B out of range (0~255).</translation>
    </message>
    <message>
        <source>Z轴抗振相相输入超入范围(0~255)</source>
        <translation>Z-axis anti-vibration phase out of range (0~255).</translation>
    </message>
    <message>
        <source>运行速度超过输入范围(0 ~ 32767),请重新输入!</source>
        <translation>Running speed out of range (0 ~ 32767), please enter again!</translation>
    </message>
    <message>
        <source>运行行程超过输入范围(0 ~ 32767),请重新输入!</source>
        <translation>Running distance out of range (0 ~ 32767), please enter again!</translation>
    </message>
    <message>
        <source>加速度过输入范围(0 ~ 32767),请重新输入!</source>
        <translation>Acceleration out of range (0 ~ 32767), please enter again!</translation>
    </message>
    <message>
        <source>间歇时间输入超过范围(1 ~ 10000),请重新输入!</source>
        <translation>Dwell time out of range (1 ~ 10000), please enter again!</translation>
    </message>
    <message>
        <source>运行次数输入超过范围(1 ~ 65535),请重新输入!</source>
        <translation>Number of runs out of range (1 ~ 65535), please enter again!</translation>
    </message>
</context>
</TS>
