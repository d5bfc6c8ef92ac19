<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Capture</name>
    <message>
        <source>驱动器没有接受采样启动命令，本次没有采样。</source>
        <translation>The drive did not take the start of the capture; nothing was captured.</translation>
    </message>
    <message>
        <source>驱动器没有应答，请检查通信线路!</source>
        <translation>The drive does not answer, please check the line!</translation>
    </message>
    <message>
        <source>采样数据读取失败：通道 %1 第 %2 块（地址 %3）无法读取，本次采样作废。</source>
        <translation>Reading the captured data failed: block %2 of channel %1 (address %3) could not be read; this capture is discarded.</translation>
    </message>
    <message>
        <source>频谱数据读取失败：第 %1 块（地址 %2）无法读取。</source>
        <translation>Reading the spectrum failed: block %1 (address %2) could not be read.</translation>
    </message>
    <message>
        <source>查询超时，请降低采样点数!</source>
        <translation>Query timed out, please lower the number of sampling points!</translation>
    </message>
</context>
<context>
    <name>StringTable</name>
    <message>
        <source>位置误差(p)</source>
        <translation>Position error(p)</translation>
    </message>
    <message>
        <source>速度反馈(0.01rps)</source>
        <translation>Speed feedback(0.01rps)</translation>
    </message>
    <message>
        <source>位置反馈(p)</source>
        <translation>Position feedback(p)</translation>
    </message>
    <message>
        <source>速度参考(0.01rps)</source>
        <translation>Speed reference(0.01rps)</translation>
    </message>
    <message>
        <source>位置参考(p)</source>
        <translation>Position reference(p)</translation>
    </message>
    <message>
        <source>电流Alpha(mA)</source>
        <translation>Current Alpha(mA)</translation>
    </message>
    <message>
        <source>电流Beta(mA)</source>
        <translation>Current Beta(mA)</translation>
    </message>
    <message>
        <source>磁编位置</source>
        <translation>Magnetic encoder position</translation>
    </message>
    <message>
        <source>母线电压(V)</source>
        <translation>Bus voltage(V)</translation>
    </message>
    <message>
        <source>运行模式</source>
        <translation>Run mode</translation>
    </message>
    <message>
        <source>力矩电流(mA)</source>
        <translation>Torque current(mA)</translation>
    </message>
    <message>
        <source>Q轴电流(mA)</source>
        <translation>Q-axis current(mA)</translation>
    </message>
    <message>
        <source>合成电流(mA)</source>
        <translation>Total current(mA)</translation>
    </message>
    <message>
        <source>加速度给定(R/S^2)</source>
        <translation>Acceleration reference(R/S^2)</translation>
    </message>
    <message>
        <source>加速度反馈(R/S^2)</source>
        <translation>Acceleration feedback(R/S^2)</translation>
    </message>
    <message>
        <source>未知通道</source>
        <translation>Unknown channel</translation>
    </message>
    <message>
        <source>&lt;-----空-----&gt;</source>
        <translation>&lt;-----None-----&gt;</translation>
    </message>
</context>
</TS>
