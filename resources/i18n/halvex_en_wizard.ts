<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>StringTable</name>
    <message>
        <source>1:原点信号</source>
        <translation>1:Origin signal</translation>
    </message>
    <message>
        <source>2:正限位</source>
        <translation>2:Positive limit</translation>
    </message>
    <message>
        <source>4:负限位</source>
        <translation>4:Negative limit</translation>
    </message>
    <message>
        <source>8:快速停止</source>
        <translation>8:Quick stop</translation>
    </message>
    <message>
        <source>16:自定义</source>
        <translation>16:Custom</translation>
    </message>
    <message>
        <source>32:Probe1功能</source>
        <translation>32:Probe 1</translation>
    </message>
    <message>
        <source>64:Probe2功能</source>
        <translation>64:Probe 2</translation>
    </message>
    <message>
        <source>无输出</source>
        <translation>No output</translation>
    </message>
    <message>
        <source>1:报警输出</source>
        <translation>1:Alarm output</translation>
    </message>
    <message>
        <source>2:到位输出</source>
        <translation>2:In-position output</translation>
    </message>
    <message>
        <source>4:主站控制输出</source>
        <translation>4:Master-controlled output</translation>
    </message>
    <message>
        <source>8:抱闸输出</source>
        <translation>8:Brake output</translation>
    </message>
    <message>
        <source>16:主站输出</source>
        <translation>16:Master output</translation>
    </message>
</context>
<context>
    <name>SetupWizard</name>
    <message>
        <source>站点别名数据</source>
        <translation>Station alias</translation>
    </message>
    <message>
        <source>别名来源</source>
        <translation>Alias source</translation>
    </message>
    <message>
        <source>峰值电流(mA)</source>
        <translation>Peak current (mA)</translation>
    </message>
    <message>
        <source>待机时间(ms)</source>
        <translation>Standby time (ms)</translation>
    </message>
    <message>
        <source>待机电流百分比(%)</source>
        <translation>Standby current (%)</translation>
    </message>
    <message>
        <source>每转脉冲数(Pluse)</source>
        <translation>Pulses per revolution</translation>
    </message>
    <message>
        <source>指令极性的反转</source>
        <translation>Invert command polarity</translation>
    </message>
    <message>
        <source>SI%1 功能</source>
        <translation>SI%1 function</translation>
    </message>
    <message>
        <source>SI%1 滤波时间(us)</source>
        <translation>SI%1 filter time (us)</translation>
    </message>
    <message>
        <source>输入极性</source>
        <translation>Input polarity</translation>
    </message>
    <message>
        <source>SO%1 功能</source>
        <translation>SO%1 function</translation>
    </message>
    <message>
        <source>输出极性</source>
        <translation>Output polarity</translation>
    </message>
    <message>
        <source>%1: 未定义</source>
        <translation>%1: undefined</translation>
    </message>
</context>
<context>
    <name>hx::gui::CGuideComParameter</name>
    <message>
        <source>前面板拨码</source>
        <translation>Front-panel switch</translation>
    </message>
    <message>
        <source>对象字典</source>
        <translation>Object dictionary</translation>
    </message>
    <message>
        <source>别名来源</source>
        <translation>Alias source</translation>
    </message>
    <message>
        <source>站点别名数据</source>
        <translation>Station alias</translation>
    </message>
</context>
<context>
    <name>hx::gui::CGuideCurrent</name>
    <message>
        <source>运行设置</source>
        <translation>Running</translation>
    </message>
    <message>
        <source>峰值电流(mA)</source>
        <translation>Peak current (mA)</translation>
    </message>
    <message>
        <source>待机设置</source>
        <translation>Standby</translation>
    </message>
    <message>
        <source>待机电流百分比(%)</source>
        <translation>Standby current (%)</translation>
    </message>
    <message>
        <source>待机时间(ms)</source>
        <translation>Standby time (ms)</translation>
    </message>
</context>
<context>
    <name>hx::gui::CGuideSubdevision</name>
    <message>
        <source>指令极性的反转</source>
        <translation>Invert command polarity</translation>
    </message>
    <message>
        <source>每转脉冲数(Pluse)</source>
        <translation>Pulses per revolution</translation>
    </message>
</context>
<context>
    <name>hx::gui::CGuideInput</name>
    <message>
        <source>输入信号分配</source>
        <translation>Input signal assignment</translation>
    </message>
    <message>
        <source>引脚</source>
        <translation>Pin</translation>
    </message>
    <message>
        <source>功能</source>
        <translation>Function</translation>
    </message>
    <message>
        <source>滤波时间</source>
        <translation>Filter time</translation>
    </message>
    <message>
        <source>极性</source>
        <translation>Polarity</translation>
    </message>
    <message>
        <source>取反</source>
        <translation>Invert</translation>
    </message>
</context>
<context>
    <name>hx::gui::CGuideOutput</name>
    <message>
        <source>引脚</source>
        <translation>Pin</translation>
    </message>
    <message>
        <source>功能</source>
        <translation>Function</translation>
    </message>
    <message>
        <source>极性</source>
        <translation>Polarity</translation>
    </message>
    <message>
        <source>取反</source>
        <translation>Invert</translation>
    </message>
</context>
<context>
    <name>hx::gui::CGuideIOSetting</name>
    <message>
        <source>输入信号</source>
        <translation>Inputs</translation>
    </message>
    <message>
        <source>输出信号</source>
        <translation>Outputs</translation>
    </message>
</context>
<context>
    <name>hx::gui::CGuideSettings</name>
    <message>
        <source>设置向导</source>
        <translation>Setup Wizard</translation>
    </message>
    <message>
        <source>上一步</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>下一步</source>
        <translation>Next</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>正在读取驱动器...</source>
        <translation>Reading the drive...</translation>
    </message>
    <message>
        <source>驱动器没有应答（地址 %1），页面显示的不是驱动器的当前设置。</source>
        <translation>The drive did not answer (address %1); the page does not show the drive's current settings.</translation>
    </message>
    <message>
        <source>读取失败</source>
        <translation>Read Failed</translation>
    </message>
    <message>
        <source>%1 (地址 %2): %3 → %4</source>
        <translation>%1 (address %2): %3 → %4</translation>
    </message>
    <message>
        <source>然后存储参数 (地址 90 ← 1)</source>
        <translation>Then store the parameters (address 90 ← 1)</translation>
    </message>
    <message>
        <source>“%1”不是数字，没有写入任何参数。请回到该页面重新输入。</source>
        <translation>"%1" is not a number; nothing was written. Go back to its page and enter it again.</translation>
    </message>
    <message>
        <source>输入错误</source>
        <translation>Input Error</translation>
    </message>
    <message>
        <source>已完成向导参数设定，是否下发并保存刚才设定的参数？</source>
        <translation>The wizard settings are complete. Write the settings to the drive and store them?</translation>
    </message>
    <message>
        <source>完成向导</source>
        <translation>Finish Wizard</translation>
    </message>
    <message>
        <source>正在写入参数...</source>
        <translation>Writing the settings...</translation>
    </message>
    <message>
        <source>正在写入参数... %1/%2</source>
        <translation>Writing the settings... %1/%2</translation>
    </message>
    <message>
        <source>正在存储参数...</source>
        <translation>Storing the settings...</translation>
    </message>
    <message>
        <source>向导参数已设置完成!</source>
        <translation>The wizard settings have been written and stored!</translation>
    </message>
    <message>
        <source>驱动器没有应答：“%1”（地址 %2）没有写入，其后的设置也没有写入，参数没有存储。</source>
        <translation>The drive did not answer: "%1" (address %2) was not written, nor were the settings after it, and nothing was stored.</translation>
    </message>
    <message>
        <source>写入失败</source>
        <translation>Write Failed</translation>
    </message>
    <message>
        <source>驱动器不接受“%1”（地址 %2）的值 %3：该设置及其后的设置没有写入，参数没有存储。</source>
        <translation>The drive does not take %3 for "%1" (address %2): that setting and the ones after it were not written, and nothing was stored.</translation>
    </message>
    <message>
        <source>保存驱动器当前设置失败!</source>
        <translation>Saving the drive's current settings failed!</translation>
    </message>
    <message>
        <source>保存失败</source>
        <translation>Save Failed</translation>
    </message>
    <message>
        <source>通信模块正在数据交互......请等待完成任务再操作!</source>
        <translation>The communication module is busy... please wait until the task has finished!</translation>
    </message>
    <message>
        <source>第 %1 步，共 %2 步</source>
        <translation>Step %1 of %2</translation>
    </message>
</context>
</TS>
