<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>BodePlot</name>
    <message>
        <source>幅值(dB)</source>
        <translation>Magnitude(dB)</translation>
    </message>
    <message>
        <source>相位(°)</source>
        <translation>Phase(°)</translation>
    </message>
    <message>
        <source>相干</source>
        <translation>Coherence</translation>
    </message>
    <message>
        <source>频率(Hz)</source>
        <translation>Frequency(Hz)</translation>
    </message>
    <message>
        <source>穿越 %1 Hz</source>
        <translation>Crossover %1 Hz</translation>
    </message>
    <message>
        <source>相位裕度 %1°</source>
        <translation>Phase margin %1°</translation>
    </message>
    <message>
        <source>增益裕度 %1 dB</source>
        <translation>Gain margin %1 dB</translation>
    </message>
    <message>
        <source>陷波 %1 Hz</source>
        <translation>Notch %1 Hz</translation>
    </message>
</context>
<context>
    <name>Tuning</name>
    <message>
        <source>对象</source>
        <translation>Plant</translation>
    </message>
    <message>
        <source>开环（调整前）</source>
        <translation>Open loop (before)</translation>
    </message>
    <message>
        <source>开环（调整后）</source>
        <translation>Open loop (after)</translation>
    </message>
</context>
<context>
    <name>hx::gui::FrequencyResponseView</name>
    <message>
        <source>保存图片</source>
        <translation>Save image</translation>
    </message>
    <message>
        <source>无法保存图片：%1</source>
        <translation>Cannot save the image: %1</translation>
    </message>
    <message>
        <source>导出 CSV</source>
        <translation>Export CSV</translation>
    </message>
    <message>
        <source>无法保存文件：%1</source>
        <translation>Cannot save the file: %1</translation>
    </message>
    <message>
        <source>测量光标</source>
        <translation>Measurement cursors</translation>
    </message>
    <message>
        <source>适合全部</source>
        <translation>Fit all</translation>
    </message>
    <message>
        <source>保存图片…</source>
        <translation>Save image…</translation>
    </message>
    <message>
        <source>导出 CSV…</source>
        <translation>Export CSV…</translation>
    </message>
</context>
<context>
    <name>hx::gui::FrequencyResponseWindow</name>
    <message>
        <source>频率响应</source>
        <translation>Frequency response</translation>
    </message>
    <message>
        <source>速度环</source>
        <translation>Speed loop</translation>
    </message>
    <message>
        <source>穿越频率</source>
        <translation>Crossover</translation>
    </message>
    <message>
        <source>相位裕度 (≥ 45°)</source>
        <translation>Phase margin (≥ 45°)</translation>
    </message>
    <message>
        <source>增益裕度 (≥ 8 dB)</source>
        <translation>Gain margin (≥ 8 dB)</translation>
    </message>
    <message>
        <source>陷波器</source>
        <translation>Notches</translation>
    </message>
    <message>
        <source>曲线</source>
        <translation>Curves</translation>
    </message>
    <message>
        <source>适合全部</source>
        <translation>Fit all</translation>
    </message>
    <message>
        <source>测量光标</source>
        <translation>Measurement cursors</translation>
    </message>
    <message>
        <source>保存图片…</source>
        <translation>Save image…</translation>
    </message>
    <message>
        <source>导出 CSV…</source>
        <translation>Export CSV…</translation>
    </message>
    <message>
        <source>带内无 (%1 Hz 处 %2)</source>
        <translation>none in band (%2 at %1 Hz)</translation>
    </message>
    <message>
        <source>没有可用的开环测量。</source>
        <translation>No usable open-loop measurement.</translation>
    </message>
    <message>
        <source>裕度满足要求。</source>
        <translation>The margins are met.</translation>
    </message>
    <message>
        <source>裕度不足：不要使用这组参数。</source>
        <translation>Margins too small: do not use these settings.</translation>
    </message>
    <message>
        <source>%1 Hz，深度 %2 dB</source>
        <translation>%1 Hz, depth %2 dB</translation>
    </message>
    <message>
        <source>无</source>
        <translation>None</translation>
    </message>
</context>
</TS>
