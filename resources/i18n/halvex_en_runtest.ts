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
        <source>运行后在此显示移动结束后的振荡（请记录位置误差或速度反馈）。</source>
        <translation>After a run, the ringing after the move shows here (record the position error or the speed feedback).</translation>
    </message>
    <message>
        <source>应用并重新运行</source>
        <translation>Apply and run again</translation>
    </message>
    <message>
        <source>第一轮后仍有 %1 Hz 的振荡（%2 → %3）：第二轮写入在其频率 ±20% 内有效的第%4至第%5组抗振，再运行一次。</source>
        <translation>After the first pass it still rings at %1 Hz (%2 → %3): the second pass writes sets %4 to %5, which hold over ±20 % of that frequency, and runs once more.</translation>
    </message>
    <message>
        <source>第二轮（第%1至第%2组抗振）: 峰峰值 %3 → %4，保留。</source>
        <translation>Second pass (sets %1 to %2): peak-to-peak %3 → %4, kept.</translation>
    </message>
    <message>
        <source>第二轮（第%1至第%2组抗振）: 峰峰值 %3 → %4，未减少，已恢复第一轮的设置。</source>
        <translation>Second pass (sets %1 to %2): peak-to-peak %3 → %4, no less; the first pass's settings are back.</translation>
    </message>
    <message>
        <source>恢复之前的设置</source>
        <translation>Put the previous sets back</translation>
    </message>
    <message>
        <source>请在通道中记录位置误差或速度反馈，以测量移动结束后的振荡。</source>
        <translation>Record the position error or the speed feedback on a channel to measure the ringing after the move.</translation>
    </message>
    <message>
        <source>采样在移动结束后不足 200 ms：请加大采样间隔或每通道采样点数。</source>
        <translation>The capture ends less than 200 ms after the move: take a longer sampling interval or more points per channel.</translation>
    </message>
    <message>
        <source>未稳定</source>
        <translation>not settled</translation>
    </message>
    <message>
        <source>应用前  →  应用后</source>
        <translation>Before  →  after</translation>
    </message>
    <message>
        <source>振荡频率</source>
        <translation>Ringing frequency</translation>
    </message>
    <message>
        <source>峰峰值(移动后200ms内)</source>
        <translation>Peak-to-peak (200 ms after the move)</translation>
    </message>
    <message>
        <source>阻尼比</source>
        <translation>Damping ratio</translation>
    </message>
    <message>
        <source>调节时间(±10%)</source>
        <translation>Settling time (±10%)</translation>
    </message>
    <message>
        <source>建议: 第1组抗振 幅值 %1%, 相位A %2, 相位B %3</source>
        <translation>Proposal: 1st anti-vibration set, amplitude %1%, phase A %2, phase B %3</translation>
    </message>
    <message>
        <source>请输入一个整数。</source>
        <translation>Please enter an integer.</translation>
    </message>
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
    <message>
        <source>新设置只在驱动器的 RAM 中，断电后丢失。</source>
        <translation>The new sets are in the drive&apos;s RAM only and are lost at power-off.</translation>
    </message>
    <message>
        <source>保存驱动器参数</source>
        <translation>Save Drive Parameters</translation>
    </message>
</context>
<context>
    <name>hx::gui::CRunTest</name>
    <message>
        <source>驱动器没有应答，电机可能仍在运动！每0.5秒重发停止命令，直到驱动器应答。</source>
        <translation>The drive does not answer: the motor may still be moving! The stop goes out again every 0.5 s until the drive answers.</translation>
    </message>
    <message>
        <source>驱动器拒绝</source>
        <translation>Refused by the drive</translation>
    </message>
    <message>
        <source>无法开始</source>
        <translation>Cannot start</translation>
    </message>
    <message>
        <source>驱动器没有应答，无法确认电机已停止，电机可能仍在运动！</source>
        <translation>The drive does not answer: the stop could not be confirmed and the motor may still be moving!</translation>
    </message>
    <message>
        <source>停止未确认</source>
        <translation>Stop not confirmed</translation>
    </message>
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
        <source>超调量: %1</source>
        <translation>Overshoot: %1</translation>
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
        <source>试运行</source>
        <translation>Trial Run</translation>
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
<context>
    <name>hx::gui::SimulatedMotion</name>
    <message>
        <source>这是模拟驱动器：暂停它的模拟运动控制器吗？当前动作走完后电机即静止，然后可再次开始。(也可在“通 信”菜单中暂停或继续。)</source>
        <translation>This is the simulated drive: pause its simulated motion controller? The motor comes to rest once the current move is done; then start again. (The Communication menu pauses and resumes it too.)</translation>
    </message>
    <message>
        <source>模拟运动控制器仍处于暂停状态。让它继续运动吗？</source>
        <translation>The simulated motion controller is still paused. Let it go on?</translation>
    </message>
    <message>
        <source>模拟运动控制器</source>
        <translation>Simulated Motion Controller</translation>
    </message>
    <message>
        <source>无法开始</source>
        <translation>Cannot start</translation>
    </message>
</context>
<context>
    <name>Motion</name>
    <message>
        <source>电机正在运动，请先停止上位机的运动指令</source>
        <translation>The motor is moving: stop the motion controller first</translation>
    </message>
    <message>
        <source>无法确认电机已停止，电机可能仍在运动。%1</source>
        <translation>The stop could not be confirmed: the motor may still be moving. %1</translation>
    </message>
    <message>
        <source>电机已停止。</source>
        <translation>Stopped.</translation>
    </message>
    <message>
        <source>上次试运行没有正常结束：已恢复驱动器原来的通信超时设置(%1)。</source>
        <translation>The last test run did not end normally: the drive's own communication watchdog is back (%1).</translation>
    </message>
    <message>
        <source>上次试运行没有正常结束，驱动器原来的通信超时设置(%1)无法恢复：%2</source>
        <translation>The last test run did not end normally and the drive's own communication watchdog (%1) could not be put back: %2</translation>
    </message>
</context>
<context>
    <name>DriveFault</name>
    <message>
        <source>驱动器不支持这种请求</source>
        <translation>the drive does not know this request</translation>
    </message>
    <message>
        <source>驱动器没有这个寄存器</source>
        <translation>the drive has no such register</translation>
    </message>
    <message>
        <source>驱动器现在不接受这个值</source>
        <translation>the drive does not take this value now</translation>
    </message>
    <message>
        <source>驱动器内部故障</source>
        <translation>the drive reports an internal failure</translation>
    </message>
    <message>
        <source>驱动器正忙</source>
        <translation>the drive is busy</translation>
    </message>
    <message>
        <source>异常码 %1</source>
        <translation>exception %1</translation>
    </message>
    <message>
        <source>报警 %1 正在进行。</source>
        <translation>Alarm %1 is active.</translation>
    </message>
    <message>
        <source>驱动器拒绝了请求(寄存器 %1)：%2。</source>
        <translation>The drive refused the request to register %1: %2.</translation>
    </message>
    <message>
        <source>驱动器没有应答(寄存器 %1)，请检查连接。</source>
        <translation>The drive did not answer (register %1): check the connection.</translation>
    </message>
    <message>
        <source>驱动器的应答已损坏(寄存器 %1)，请检查线路是否受干扰。</source>
        <translation>The drive's reply for register %1 was damaged: check the line for interference.</translation>
    </message>
    <message>
        <source>端口已断开(寄存器 %1)，请检查串口设备后重新连接。</source>
        <translation>Port lost (register %1): check the serial device and connect again.</translation>
    </message>
    <message>
        <source>端口没有打开。</source>
        <translation>The port is not open.</translation>
    </message>
    <message>
        <source>无法发送的请求(寄存器 %1)。</source>
        <translation>A request that cannot be sent (register %1).</translation>
    </message>
</context>
</TS>
