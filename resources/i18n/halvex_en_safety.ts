<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Motion</name>
    <message>
        <source>另一个程序(进程 %1)正在这台驱动器上试运行，请等它结束后再开始。</source>
        <translation>Another program (process %1) is running a test on this drive: start once it has ended.</translation>
    </message>
    <message>
        <source>上次试运行没有正常结束，它的运动仍在进行且无法确认已停止：驱动器的通信超时保护保持启用，电机会在通信中断时停止。%1</source>
        <translation>The last test run did not end normally and its motion may still run: the stop could not be confirmed, so the drive's communication watchdog stays armed and stops the motor when the line falls silent. %1</translation>
    </message>
    <message>
        <source>上次试运行没有正常结束：它的运动仍在进行，已停止；已恢复驱动器原来的通信超时设置(%1)。</source>
        <translation>The last test run did not end normally: its motion was still running and has been stopped; the drive's own communication watchdog is back (%1).</translation>
    </message>
    <message>
        <source>驱动器已因通信中断自行停止电机，报警 %1 正在进行。</source>
        <translation>The drive stopped the motor by itself when the line fell silent: alarm %1 is active.</translation>
    </message>
    <message>
        <source>清除报警：%1</source>
        <translation>Clear it with: %1</translation>
    </message>
    <message>
        <source>运行在 %2 秒后结束。</source>
        <translation>The run finished after %2 s.</translation>
    </message>
    <message>
        <source>运行在 %2 秒后被驱动器报警 %3 中断。</source>
        <translation>The run was cut short after %2 s by the drive's alarm %3.</translation>
    </message>
    <message>
        <source>运行在 %2 秒后被驱动器的通信超时保护停止：驱动器有 %3 秒没有收到本程序的请求。</source>
        <translation>The run was cut short after %2 s by the drive's communication watchdog: the drive heard nothing from this program for %3 s.</translation>
    </message>
    <message>
        <source>运行在 %2 秒后提前结束(至少需要 %3 秒)：停止命令不是本程序发出的。</source>
        <translation>The run ended after %2 s, before its runs were done (they take at least %3 s): stopped by a command this program did not send.</translation>
    </message>
    <message>
        <source>运行中驱动器有 %2 秒没有应答；驱动器恢复应答后已确认电机停止。</source>
        <translation>The run was cut short: the drive did not answer for %2 s; the stop was confirmed once it answered again.</translation>
    </message>
    <message>
        <source> 驱动器报警 %1。</source>
        <translation> The drive shows alarm %1.</translation>
    </message>
    <message>
        <source>驱动器没有应答：驱动器的通信超时保护已停止电机，但无法确认停止。</source>
        <translation>The drive does not answer: its communication watchdog has stopped the motor, but the stop could not be confirmed.</translation>
    </message>
    <message>
        <source>驱动器的通信超时保护保持启用(Pr9.17 = %1 ms)，直到确认电机已停止。</source>
        <translation>The drive's communication watchdog stays armed (Pr9.17 = %1 ms) until the motor is seen stopped.</translation>
    </message>
    <message>
        <source>驱动器原来的通信超时设置无法恢复，将在下次连接时恢复：%1</source>
        <translation>The drive's own communication watchdog could not be put back now; it will be at the next connect: %1</translation>
    </message>
</context>
<context>
    <name>StorageMessages</name>
    <message>
        <source>试运行正在进行，没有保存：运行期间驱动器的通信超时设置是试运行临时设定的，保存会使它在下次上电后仍然生效。请在试运行结束后再保存。</source>
        <translation>A test run is on: nothing was saved. During a run the drive's communication watchdog holds the run's values, which a save would keep after the next power-up. Save once the run has ended.</translation>
    </message>
</context>
<context>
    <name>Messages</name>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>hx::gui::CConnectCom</name>
    <message>
        <source>试运行没有正常结束</source>
        <translation>Test run did not end normally</translation>
    </message>
    <message>
        <source>清除报警</source>
        <translation>Clear alarm</translation>
    </message>
    <message>
        <source>报警已清除。</source>
        <translation>The alarm is cleared.</translation>
    </message>
    <message>
        <source>报警没有清除，请在报警窗口中查看。</source>
        <translation>The alarm was not cleared: see the alarm window.</translation>
    </message>
</context>
</TS>
