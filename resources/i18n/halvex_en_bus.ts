<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>hx::gui::CBusOverview</name>
    <message>
        <source>总线概览</source>
        <translation>Bus overview</translation>
    </message>
    <message>
        <source>不比较参数</source>
        <translation>No comparison of parameters</translation>
    </message>
    <message>
        <source>选择...</source>
        <translation>Choose...</translation>
    </message>
    <message>
        <source>清除</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>搜 索</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>刷新报警</source>
        <translation>Refresh alarms</translation>
    </message>
    <message>
        <source>端口</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>站号</source>
        <translation>Station</translation>
    </message>
    <message>
        <source>型号</source>
        <translation>Model</translation>
    </message>
    <message>
        <source>固件版本</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>当前报警</source>
        <translation>Current alarm</translation>
    </message>
    <message>
        <source>参数与参考文件</source>
        <translation>Parameters against the reference</translation>
    </message>
    <message>
        <source>通信端口:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>波特率:</source>
        <translation>Baud rate:</translation>
    </message>
    <message>
        <source>参考文件:</source>
        <translation>Reference file:</translation>
    </message>
    <message>
        <source>停 止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>参考文件</source>
        <translation>Reference file</translation>
    </message>
    <message>
        <source>请选择要搜索的端口。</source>
        <translation>Choose the ports to search.</translation>
    </message>
    <message>
        <source>等待</source>
        <translation>waiting</translation>
    </message>
    <message>
        <source>正在读取报警...</source>
        <translation>Reading the alarms...</translation>
    </message>
    <message>
        <source>读取中...</source>
        <translation>Reading...</translation>
    </message>
    <message>
        <source>无应答</source>
        <translation>No answer</translation>
    </message>
    <message>
        <source>无</source>
        <translation>None</translation>
    </message>
    <message>
        <source>比较中...</source>
        <translation>Comparing...</translation>
    </message>
    <message>
        <source>相同</source>
        <translation>Same</translation>
    </message>
    <message>
        <source>不同 (%1 个参数)</source>
        <translation>Differs (parameters: %1)</translation>
    </message>
    <message>
        <source>读取失败</source>
        <translation>Reading failed</translation>
    </message>
    <message>
        <source>找到 %1 台驱动器</source>
        <translation>%1 drives found</translation>
    </message>
    <message>
        <source>连接</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>连接选中的驱动器（也可双击该行）</source>
        <translation>Connect to the chosen drive (or double-click its row)</translation>
    </message>
    <message>
        <source>断开并搜索</source>
        <translation>Disconnect and search</translation>
    </message>
    <message>
        <source>设备不存在 (%1)</source>
        <translation>no such device (%1)</translation>
    </message>
    <message>
        <source>端口被其他程序占用 (%1)</source>
        <translation>the port is in use by another program (%1)</translation>
    </message>
    <message>
        <source>没有打开端口的权限 (%1)</source>
        <translation>no permission to open the port (%1)</translation>
    </message>
    <message>
        <source>无法打开 (%1)</source>
        <translation>it cannot be opened (%1)</translation>
    </message>
    <message>
        <source>打开失败：%1</source>
        <translation>cannot open: %1</translation>
    </message>
    <message>
        <source>已连接驱动器：“断开并搜索”先断开连接，再搜索总线。</source>
        <translation>A drive is connected: “Disconnect and search” lets it go, then searches the bus.</translation>
    </message>
    <message>
        <source>关闭串口失败，请检查线路与设备！</source>
        <translation>Failed to close the serial port, please check the line and the device!</translation>
    </message>
    <message>
        <source>关闭串口失败</source>
        <translation>Close Port Failed</translation>
    </message>
</context>
<context>
    <name>hx::gui::CMainFrame</name>
    <message>
        <source>总线概览</source>
        <translation>Bus overview</translation>
    </message>
</context>
</TS>
