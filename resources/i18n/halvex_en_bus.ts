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
        <source>已连接驱动器：断开连接后才能搜索总线。</source>
        <translation>A drive is connected: disconnect it to search the bus.</translation>
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
        <source>打开失败 (%1)</source>
        <translation>cannot open (%1)</translation>
    </message>
    <message>
        <source>找到 %1 台驱动器</source>
        <translation>%1 drives found</translation>
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
