<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>hx::gui::LinkStatusBar</name>
    <message>
        <source>端口已断开</source>
        <translation>Port lost</translation>
    </message>
    <message>
        <source>重新连接</source>
        <translation>Reconnect</translation>
    </message>
    <message>
        <source>端口已回来：在连接窗口中重新连接</source>
        <translation>The port is back: connect again in the connection window</translation>
    </message>
    <message>
        <source>点击打开警报窗口</source>
        <translation>Click to open the alarm window</translation>
    </message>
    <message>
        <source>报警 %1</source>
        <translation>Alarm %1</translation>
    </message>
    <message>
        <source>报警 %1 %2</source>
        <translation>Alarm %1 %2</translation>
    </message>
    <message>
        <source>站号 %1</source>
        <translation>Station %1</translation>
    </message>
    <message>
        <source>脱机使用</source>
        <translation>Offline</translation>
    </message>
    <message>
        <source>未连接</source>
        <translation>Not connected</translation>
    </message>
    <message>
        <source>驱动器无应答（自 %1 起）</source>
        <translation>Drive not answering (since %1)</translation>
    </message>
    <message>
        <source>已连接</source>
        <translation>Connected</translation>
    </message>
    <message>
        <source>请求 %1  重发 %2  无应答 %3  损坏 %4  迟到 %5</source>
        <translation>Requests %1  Retries %2  Unanswered %3  Damaged %4  Late replies %5</translation>
    </message>
    <message>
        <source>模拟运动控制器已暂停</source>
        <translation>Simulated motion controller paused</translation>
    </message>
    <message>
        <source>点击继续模拟运动（也可在“通 信”菜单中继续）</source>
        <translation>Click to let it go on (or in the Communication menu)</translation>
    </message>
</context>
<context>
    <name>hx::gui::CParameterManage</name>
    <message>
        <source>上次读参数没有完成，参数列表不完整。请重新读参数或读文件后再写参数！</source>
        <translation>The last read did not complete, so the parameter list is incomplete. Read the parameters again or load a file before writing!</translation>
    </message>
    <message>
        <source>数值超出参数取值范围 %1</source>
        <translation>Value outside the parameter's range %1</translation>
    </message>
    <message>
        <source>没有当前驱动器型号的参数定义（数据库不可用），无法得知各参数的数据类型，32位参数会被存错或读错，因此不能保存或读入参数文件。</source>
        <translation>There are no parameter definitions for this drive model (the database is not usable), so the parameters' data types are unknown and 32-bit parameters would be saved or loaded wrongly. Parameter files cannot be saved or loaded.</translation>
    </message>
    <message>
        <source>参数列表中有 %1 个参数超出取值范围，例如 %2。</source>
        <translation>%1 parameters in the list are outside their ranges, for example %2.</translation>
    </message>
    <message>
        <source>参数文件取自驱动器型号 %1，当前驱动器为 %2。</source>
        <translation>The parameter file was taken from drive type %1; the connected drive is %2.</translation>
    </message>
    <message>
        <source>仍然将这些参数写入驱动器吗？</source>
        <translation>Write these parameters to the drive all the same?</translation>
    </message>
    <message>
        <source>参数文件中有些行无法读入，已跳过：</source>
        <translation>Some lines of the parameter file could not be loaded and were skipped:</translation>
    </message>
    <message>
        <source>参数文件没有包含全部参数，其余参数不是这台驱动器的值，不能写参数。请先读参数，再读入此文件。</source>
        <translation>The parameter file does not hold every parameter, and the others in the list are not this drive&apos;s values, so the parameters cannot be written. Read the parameters first, then load this file.</translation>
    </message>
</context>
<context>
    <name>ParameterFile</name>
    <message>
        <source>不完整 (缺少行结束符)</source>
        <translation>is cut off (no line ending)</translation>
    </message>
    <message>
        <source>不是参数地址 (0..149, 30000..31999)</source>
        <translation>has no parameter address (0..149, 30000..31999)</translation>
    </message>
    <message>
        <source>不是普通文件</source>
        <translation>not a regular file</translation>
    </message>
    <message>
        <source>已读入 %1 行参数, 跳过 %2 行</source>
        <translation>Applied %1 parameter lines, skipped %2</translation>
    </message>
    <message>
        <source>数值不是十进制数</source>
        <translation>has no decimal value</translation>
    </message>
    <message>
        <source>数值超出 16 位范围</source>
        <translation>has a value outside 16 bits</translation>
    </message>
    <message>
        <source>数值超出 32 位范围</source>
        <translation>has a value outside 32 bits</translation>
    </message>
    <message>
        <source>文件 %1 中没有可读入的参数行。</source>
        <translation>The file %1 holds no parameter line that can be loaded.</translation>
    </message>
    <message>
        <source>没有 &quot;=&quot;</source>
        <translation>has no &quot;=&quot;</translation>
    </message>
    <message>
        <source>第 %1 行 &quot;%2&quot; %3</source>
        <translation>line %1 &quot;%2&quot; %3</translation>
    </message>
</context>
</TS>
