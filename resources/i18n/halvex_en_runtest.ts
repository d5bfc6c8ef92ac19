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
<context>
    <name>hx::gui::CResonateAdjust</name>
    <message>
        <source>采样间隔</source>
        <translation>Sampling Interval</translation>
    </message>
    <message>
        <source>启动时电机按驱动器中保存的梯形运行，但驱动器没有应答梯形参数的读取。</source>
        <translation>Start runs the trapezoid the drive holds, but the drive did not answer when it was read.</translation>
    </message>
    <message>
        <source>启动时电机按驱动器中的梯形运行: 速度 %1 (0.01rps), 行程 %2 (0.01r), 加速度 %3 r/s/s, 间歇 %4 ms, %5 次, %6, %7。可在“速度梯形”页修改。</source>
        <translation>Start runs the trapezoid the drive holds: speed %1 (0.01 rps), distance %2 (0.01 r), acceleration %3 r/s², dwell %4 ms, runs: %5, %6, %7. The Velocity Trapezoid page changes it.</translation>
    </message>
    <message>
        <source>往复</source>
        <translation>back and forth</translation>
    </message>
    <message>
        <source>单向</source>
        <translation>one way</translation>
    </message>
    <message>
        <source>反方向</source>
        <translation>reverse</translation>
    </message>
    <message>
        <source>正方向</source>
        <translation>forward</translation>
    </message>
</context>
<context>
    <name>hx::gui::CRunTest</name>
    <message>
        <source>力矩电流(mA)</source>
        <translation>Torque Current(mA)</translation>
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
        <source>上升时间(10%~90%): %1</source>
        <translation>Rise time (10%~90%): %1</translation>
    </message>
    <message>
        <source>停 止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>开 始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>共振调整</source>
        <translation>Resonance</translation>
    </message>
    <message>
        <source>切换模式</source>
        <translation>Switch Mode</translation>
    </message>
    <message>
        <source>力矩模式</source>
        <translation>Torque Mode</translation>
    </message>
    <message>
        <source>峰值跟随误差: %1 p</source>
        <translation>Peak following error: %1 p</translation>
    </message>
    <message>
        <source>循环采样 </source>
        <translation>Cyclic Sampling </translation>
    </message>
    <message>
        <source>循环采样周期(ms)</source>
        <translation>Cyclic Period(ms)</translation>
    </message>
    <message>
        <source>时间(ms)</source>
        <translation>Time(ms)</translation>
    </message>
    <message>
        <source>时间(us)</source>
        <translation>Time(us)</translation>
    </message>
    <message>
        <source>未稳定</source>
        <translation>not settled</translation>
    </message>
    <message>
        <source>未达到</source>
        <translation>not reached</translation>
    </message>
    <message>
        <source>查询超时，请降低采样周期!</source>
        <translation>Query timed out, please lower the sampling interval!</translation>
    </message>
    <message>
        <source>正在通信</source>
        <translation>Communicating</translation>
    </message>
    <message>
        <source>每通道采样点数</source>
        <translation>Points per Channel</translation>
    </message>
    <message>
        <source>电流(mA)</source>
        <translation>Current(mA)</translation>
    </message>
    <message>
        <source>稳态误差: %1 mA (%2 %)</source>
        <translation>Steady-state error: %1 mA (%2 %)</translation>
    </message>
    <message>
        <source>请先停止另一运行模式，然后再切换为当前模式。</source>
        <translation>Please stop the other run mode first, then switch to this mode.</translation>
    </message>
    <message>
        <source>调节时间(±5%): %1</source>
        <translation>Settling time (±5%): %1</translation>
    </message>
    <message>
        <source>超调量: %1 %</source>
        <translation>Overshoot: %1 %</translation>
    </message>
    <message>
        <source>跟随误差均方根: %1 p</source>
        <translation>RMS following error: %1 p</translation>
    </message>
    <message>
        <source>通信模块正在数据交互......请等待完成任务再操作!</source>
        <translation>The communication module is exchanging data...... Please wait until the task is finished!</translation>
    </message>
    <message>
        <source>通讯错误</source>
        <translation>Communication Error</translation>
    </message>
    <message>
        <source>通道选择</source>
        <translation>Channels</translation>
    </message>
    <message>
        <source>速度梯形</source>
        <translation>Velocity Trapezoid</translation>
    </message>
    <message>
        <source>速度超调: %1 %</source>
        <translation>Speed overshoot: %1 %</translation>
    </message>
    <message>
        <source>驱动器没有应答(寄存器 %1)，请检查连接。</source>
        <translation>The drive did not answer (register %1), please check the connection.</translation>
    </message>
    <message>
        <source>运行测试</source>
        <translation>Run Test</translation>
    </message>
</context>
<context>
    <name>hx::gui::CTorqueMode</name>
    <message>
        <source>电流环PI自动整定使能</source>
        <translation>Current-loop PI auto-tuning</translation>
    </message>
    <message>
        <source>Kp :</source>
        <translation>Kp :</translation>
    </message>
    <message>
        <source>Ki :</source>
        <translation>Ki :</translation>
    </message>
    <message>
        <source>Kc :</source>
        <translation>Kc :</translation>
    </message>
    <message>
        <source>I-Test (mA):</source>
        <translation>I-Test (mA):</translation>
    </message>
    <message>
        <source>请输入一个整数。</source>
        <translation>Please enter an integer.</translation>
    </message>
</context>
<context>
    <name>hx::gui::CVelocityMode</name>
    <message>
        <source>梯形参数</source>
        <translation>Trapezoid</translation>
    </message>
    <message>
        <source>运行速度(0.01rps)</source>
        <translation>Speed(0.01rps)</translation>
    </message>
    <message>
        <source>行程(0.01r)</source>
        <translation>Distance(0.01r)</translation>
    </message>
    <message>
        <source>加速度(r/s/s)</source>
        <translation>Acceleration(r/s/s)</translation>
    </message>
    <message>
        <source>间歇时间(ms)</source>
        <translation>Dwell(ms)</translation>
    </message>
    <message>
        <source>运行次数</source>
        <translation>Runs</translation>
    </message>
    <message>
        <source>是否往复运动</source>
        <translation>Back and Forth</translation>
    </message>
    <message>
        <source>否</source>
        <translation>No</translation>
    </message>
    <message>
        <source>是</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>运动方向</source>
        <translation>Direction</translation>
    </message>
    <message>
        <source>反方向</source>
        <translation>Reverse</translation>
    </message>
    <message>
        <source>正方向</source>
        <translation>Forward</translation>
    </message>
    <message>
        <source>采样间隔(us)</source>
        <translation>Sampling Interval(us)</translation>
    </message>
    <message>
        <source>请输入一个整数。</source>
        <translation>Please enter an integer.</translation>
    </message>
</context>
</TS>
