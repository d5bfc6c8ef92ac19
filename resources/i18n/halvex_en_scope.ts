<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>StringTable</name>
    <message>
        <source>打开波形文件</source>
        <translation>Open waveform file</translation>
    </message>
    <message>
        <source>保存波形文件</source>
        <translation>Save waveform file</translation>
    </message>
    <message>
        <source>电流(mA)</source>
        <translation>Current(mA)</translation>
    </message>
    <message>
        <source>时间(us)</source>
        <translation>Time(us)</translation>
    </message>
    <message>
        <source>通信模块正在数据交互......请等待完成任务再操作!</source>
        <translation>The communication module is exchanging data... Please wait until the task has finished!</translation>
    </message>
    <message>
        <source>正在通信</source>
        <translation>Communicating</translation>
    </message>
    <message>
        <source>保存波形</source>
        <translation>Save Waveform</translation>
    </message>
    <message>
        <source>非法路径:</source>
        <translation>Invalid path:</translation>
    </message>
    <message>
        <source>采样数据为空,请勾选[录制波形]后启动[波形采样]!</source>
        <translation>No sampled data. Check [Record waveform] and then start sampling!</translation>
    </message>
    <message>
        <source>没有采样数据</source>
        <translation>No sample data</translation>
    </message>
    <message>
        <source>开 始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>查询超时，请降低采样周期!</source>
        <translation>Query timed out, please lower the sampling period!</translation>
    </message>
    <message>
        <source>读取波形</source>
        <translation>Load Waveform</translation>
    </message>
    <message>
        <source>已放大到最大倍数</source>
        <translation>Already zoomed in to the maximum</translation>
    </message>
    <message>
        <source>背景颜色</source>
        <translation>Background colour</translation>
    </message>
    <message>
        <source>通道一曲线颜色</source>
        <translation>Channel 1 curve colour</translation>
    </message>
    <message>
        <source>通道二曲线颜色</source>
        <translation>Channel 2 curve colour</translation>
    </message>
    <message>
        <source>通道三曲线颜色</source>
        <translation>Channel 3 curve colour</translation>
    </message>
    <message>
        <source>通道四曲线颜色</source>
        <translation>Channel 4 curve colour</translation>
    </message>
    <message>
        <source>正在读数据，请稍等...</source>
        <translation>Reading data, please wait...</translation>
    </message>
</context>
<context>
    <name>hx::gui::CDisplayWaveform</name>
    <message>
        <source>读入为参考</source>
        <translation>Load as reference</translation>
    </message>
    <message>
        <source>一</source>
        <translation>1</translation>
    </message>
    <message>
        <source>二</source>
        <translation>2</translation>
    </message>
    <message>
        <source>三</source>
        <translation>3</translation>
    </message>
    <message>
        <source>四</source>
        <translation>4</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>读入</source>
        <translation>Load</translation>
    </message>
    <message>
        <source>导出为CSV文件</source>
        <translation>Export as CSV file</translation>
    </message>
    <message>
        <source>导出表格 CSV…</source>
        <translation>Export table CSV…</translation>
    </message>
    <message>
        <source>导出表格 CSV</source>
        <translation>Export table CSV</translation>
    </message>
    <message>
        <source>录制波形</source>
        <translation>Record waveform</translation>
    </message>
    <message>
        <source>循环采样</source>
        <translation>Cyclic sampling</translation>
    </message>
    <message>
        <source>循环采样周期(ms)</source>
        <translation>Cyclic period(ms)</translation>
    </message>
    <message>
        <source>无法保存文件 %1: %2</source>
        <translation>Cannot save the file %1: %2</translation>
    </message>
    <message>
        <source>无法读取文件 %1: %2</source>
        <translation>Cannot read the file %1: %2</translation>
    </message>
    <message>
        <source>每通道采样点数</source>
        <translation>Points per channel</translation>
    </message>
    <message>
        <source>波形显示</source>
        <translation>Waveform</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>读取数据 %v/%m</source>
        <translation>Reading data %v/%m</translation>
    </message>
    <message>
        <source>通道选择</source>
        <translation>Channels</translation>
    </message>
    <message>
        <source>采样 %1 秒，读取约 %2 秒</source>
        <translation>Capture %1 s, fetch about %2 s</translation>
    </message>
    <message>
        <source>采样间隔(us)</source>
        <translation>Sampling interval(us)</translation>
    </message>
    <message>
        <source>csv Files(*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
</context>
<context>
    <name>hx::gui::CFFTAnalyze</name>
    <message>
        <source>FFT分析</source>
        <translation>FFT Analysis</translation>
    </message>
    <message>
        <source>幅值</source>
        <translation>Magnitude</translation>
    </message>
    <message>
        <source>幅值(dB)</source>
        <translation>Magnitude(dB)</translation>
    </message>
    <message>
        <source>峰值</source>
        <translation>Peaks</translation>
    </message>
    <message>
        <source>平均次数</source>
        <translation>Averages</translation>
    </message>
    <message>
        <source>采样点数:</source>
        <translation>Sampling points:</translation>
    </message>
    <message>
        <source>采样设置</source>
        <translation>Sampling settings</translation>
    </message>
    <message>
        <source>采样频率:</source>
        <translation>Sampling frequency:</translation>
    </message>
    <message>
        <source>频率(Hz)</source>
        <translation>Frequency(Hz)</translation>
    </message>
</context>
<context>
    <name>Analysis</name>
    <message>
        <source>可能的共振</source>
        <translation>Likely resonance</translation>
    </message>
    <message>
        <source>未发现振荡</source>
        <translation>No ringing</translation>
    </message>
    <message>
        <source>振荡频率 %1 Hz 过低：四组抗振叠加也无法抑制到五分之一以下（相位A最大 255，对应 9.8 Hz）</source>
        <translation>The ringing at %1 Hz is too slow: even the four anti-vibration sets combined leave more than a fifth of it (phase A reaches at most 255, 9.8 Hz)</translation>
    </message>
    <message>
        <source>振荡频率 %1 Hz 低于单组抗振的下限 9.8 Hz：第一至第%2组抗振叠加，各取相位A 255</source>
        <translation>The ringing at %1 Hz is below the 9.8 Hz one set can reach: sets 1 to %2 combined, each at phase A 255</translation>
    </message>
</context>
<context>
    <name>hx::gui::Cscope</name>
    <message>
        <source>设为参考</source>
        <translation>Keep as reference</translation>
    </message>
    <message>
        <source>读入为参考</source>
        <translation>Load as reference</translation>
    </message>
    <message>
        <source>清除参考</source>
        <translation>Clear reference</translation>
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
        <source>复制图片</source>
        <translation>Copy image</translation>
    </message>
    <message>
        <source>保存图片</source>
        <translation>Save image</translation>
    </message>
    <message>
        <source>图片大小</source>
        <translation>Image size</translation>
    </message>
    <message>
        <source>宽度</source>
        <translation>Width</translation>
    </message>
    <message>
        <source>高度</source>
        <translation>Height</translation>
    </message>
    <message>
        <source>无法保存图片：%1</source>
        <translation>Cannot save the image: %1</translation>
    </message>
</context>
<context>
    <name>Scope</name>
    <message>
        <source>最小</source>
        <translation>min</translation>
    </message>
    <message>
        <source>最大</source>
        <translation>max</translation>
    </message>
    <message>
        <source>平均</source>
        <translation>mean</translation>
    </message>
    <message>
        <source>均方根</source>
        <translation>RMS</translation>
    </message>
    <message>
        <source>峰峰值</source>
        <translation>p-p</translation>
    </message>
    <message>
        <source>频率</source>
        <translation>freq</translation>
    </message>
    <message>
        <source>峰值位置</source>
        <translation>peak at</translation>
    </message>
    <message>
        <source>%1 参考</source>
        <translation>%1 ref</translation>
    </message>
</context>
</TS>
