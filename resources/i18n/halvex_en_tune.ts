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
        <source>相位裕度 (≥ %1°)</source>
        <translation>Phase margin (≥ %1°)</translation>
    </message>
    <message>
        <source>增益裕度 (≥ %1 dB)</source>
        <translation>Gain margin (≥ %1 dB)</translation>
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
        <source>这台机械要求更大的裕度：探测运动测得的惯量远大于速度环带内所见，测量的误差须留有余地。</source>
        <translation>This machine needs larger margins: the probe weighs it well above what the speed loop&apos;s band sees, so the measurement&apos;s error needs room.</translation>
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
<context>
    <name>hx::gui::TuningWindow</name>
    <message>
        <source>一键整定</source>
        <translation>One-button tuning</translation>
    </message>
    <message>
        <source>整定</source>
        <translation>Tuning</translation>
    </message>
    <message>
        <source> 圈（每侧）</source>
        <translation> rev (each side)</translation>
    </message>
    <message>
        <source>行程</source>
        <translation>Travel</translation>
    </message>
    <message>
        <source>柔和</source>
        <translation>Soft</translation>
    </message>
    <message>
        <source>中等</source>
        <translation>Medium</translation>
    </message>
    <message>
        <source>刚硬</source>
        <translation>Stiff</translation>
    </message>
    <message>
        <source>刚性</source>
        <translation>Stiffness</translation>
    </message>
    <message>
        <source>开始整定</source>
        <translation>Start tuning</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>读取当前设置</source>
        <translation>Read the present settings</translation>
    </message>
    <message>
        <source>标准运动（调整前）</source>
        <translation>Standard move (before)</translation>
    </message>
    <message>
        <source>探测运动：惯量与摩擦</source>
        <translation>Probe move: inertia and friction</translation>
    </message>
    <message>
        <source>测量速度环开环</source>
        <translation>Measure the speed loop's open loop</translation>
    </message>
    <message>
        <source>频谱激励：对象与共振</source>
        <translation>Spectrum excitation: plant and resonances</translation>
    </message>
    <message>
        <source>选择增益与陷波器</source>
        <translation>Choose gains and notches</translation>
    </message>
    <message>
        <source>写入（RAM）</source>
        <translation>Write (RAM)</translation>
    </message>
    <message>
        <source>标准运动（调整后）</source>
        <translation>Standard move (after)</translation>
    </message>
    <message>
        <source>再次测量频率响应</source>
        <translation>Measure the frequency response again</translation>
    </message>
    <message>
        <source>新设置只在驱动器的 RAM 中：不存储到驱动器，断电后即不保留。</source>
        <translation>The new settings are in the drive's RAM only: nothing is kept at power-off unless you store them in the drive.</translation>
    </message>
    <message>
        <source>存储到驱动器</source>
        <translation>Store in drive</translation>
    </message>
    <message>
        <source>恢复之前的设置</source>
        <translation>Put the previous settings back</translation>
    </message>
    <message>
        <source>整定完成：新设置已写入 RAM 并已验证。</source>
        <translation>Tuned: the new settings are in RAM and proven.</translation>
    </message>
    <message>
        <source>已停止：之前的设置已恢复。</source>
        <translation>Stopped: the previous settings are back.</translation>
    </message>
    <message>
        <source>已停止：没有写入任何设置。</source>
        <translation>Stopped: nothing was written.</translation>
    </message>
    <message>
        <source>没有满足裕度的设置：之前的设置已恢复。</source>
        <translation>No setting reaches the margins: the previous settings are back.</translation>
    </message>
    <message>
        <source>没有满足裕度的设置：没有写入任何设置。</source>
        <translation>No setting reaches the margins: nothing was written.</translation>
    </message>
    <message>
        <source>无法辨识惯量比：之前的设置已恢复。</source>
        <translation>The inertia ratio could not be identified: the previous settings are back.</translation>
    </message>
    <message>
        <source>无法辨识惯量比：没有写入任何设置。</source>
        <translation>The inertia ratio could not be identified: nothing was written.</translation>
    </message>
    <message>
        <source>电机在运动后持续振荡：测量前速度环带宽降低了一次。</source>
        <translation>The motor kept hunting after a move: the speed loop&apos;s band was lowered once before measuring.</translation>
    </message>
    <message>
        <source>电机在运动后持续振荡：测量前速度环带宽降低了 %1 次。</source>
        <translation>The motor kept hunting after a move: the speed loop&apos;s band was lowered %1 times before measuring.</translation>
    </message>
    <message>
        <source>整定失败：%1</source>
        <translation>Tuning failed: %1</translation>
    </message>
    <message>
        <source>整定失败于“%1”：%2</source>
        <translation>Tuning failed at “%1”: %2</translation>
    </message>
    <message>
        <source>驱动器没有应答寄存器 %1</source>
        <translation>the drive did not answer register %1</translation>
    </message>
    <message>
        <source>驱动器没有应答采样限制</source>
        <translation>the drive did not answer its sampling limits</translation>
    </message>
    <message>
        <source>转矩前馈已开启（Pr1.10 = %1）：请将 Pr1.10 设为 0 后再整定</source>
        <translation>torque feed-forward is on (Pr1.10 = %1): set Pr1.10 to 0 and tune again</translation>
    </message>
    <message>
        <source>驱动器拒绝了运动：%1</source>
        <translation>the drive refused the move: %1</translation>
    </message>
    <message>
        <source>采集没有完成：%1</source>
        <translation>the capture did not complete: %1</translation>
    </message>
    <message>
        <source>测量运动会超出行程</source>
        <translation>a measuring move would leave the travel</translation>
    </message>
    <message>
        <source>参数未写入：%1</source>
        <translation>the settings were not written: %1</translation>
    </message>
    <message>
        <source>驱动器没有接受写入</source>
        <translation>the drive did not take a write</translation>
    </message>
    <message>
        <source>新设置下标准运动的整定没有更快</source>
        <translation>the standard move settles no faster with the new settings</translation>
    </message>
    <message>
        <source>新设置下标准运动的跟随更差</source>
        <translation>the standard move follows worse with the new settings</translation>
    </message>
    <message>
        <source>新设置下标准运动的超调更大</source>
        <translation>the standard move overshoots more with the new settings</translation>
    </message>
    <message>
        <source>再次测量的环路没有满足裕度</source>
        <translation>the loop measured again does not hold the margins</translation>
    </message>
    <message>
        <source>之前的设置未能全部恢复！</source>
        <translation>The previous settings could not all be put back!</translation>
    </message>
    <message>
        <source>惯量比 %1</source>
        <translation>Inertia ratio %1</translation>
    </message>
    <message>
        <source>机械低频模态 %1 Hz</source>
        <translation>Low machine mode %1 Hz</translation>
    </message>
    <message>
        <source>共振 %1 Hz</source>
        <translation>Resonance %1 Hz</translation>
    </message>
    <message>
        <source>整定时间 %1，超调 %2，最大跟随误差 %3</source>
        <translation>settling %1, overshoot %2, peak following error %3</translation>
    </message>
    <message>
        <source>调整前：</source>
        <translation>Before: </translation>
    </message>
    <message>
        <source>调整后：</source>
        <translation>After: </translation>
    </message>
    <message>
        <source>已存储到驱动器：断电后保留。</source>
        <translation>Stored in the drive: kept at power-off.</translation>
    </message>
    <message>
        <source>存储未完成：设置仍只在 RAM 中。</source>
        <translation>Storing did not complete: the settings are still in RAM only.</translation>
    </message>
    <message>
        <source>之前的设置已恢复。</source>
        <translation>The previous settings are back.</translation>
    </message>
</context>
<context>
    <name>hx::gui::MoveTraceView</name>
    <message>
        <source>标准运动的跟随误差 (p)</source>
        <translation>Standard move: following error (p)</translation>
    </message>
    <message>
        <source>%1 ms</source>
        <translation>%1 ms</translation>
    </message>
    <message>
        <source>调整前</source>
        <translation>Before</translation>
    </message>
    <message>
        <source>调整后</source>
        <translation>After</translation>
    </message>
</context>
<context>
    <name>hx::gui::CMainFrame</name>
    <message>
        <source>一键整定</source>
        <translation>One-button tuning</translation>
    </message>
</context>
</TS>
