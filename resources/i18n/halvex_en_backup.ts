<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Backup</name>
    <message>
        <source>上次写入未完成：%2 块中的 %1 块</source>
        <translation>The last write to this drive stopped after block %1 of %2</translation>
    </message>
    <message>
        <source>写入前无法保存驱动器参数的备份，没有写入任何参数。
%1</source>
        <translation>The drive's parameters could not be backed up before writing, so nothing was written.
%1</translation>
    </message>
    <message>
        <source>无法保存备份文件 %1: %2</source>
        <translation>Cannot save the backup %1: %2</translation>
    </message>
    <message>
        <source>无法在变更记录中记下这次写入，没有写入任何参数。
%1</source>
        <translation>The change could not be recorded in the change journal, so nothing was written.
%1</translation>
    </message>
    <message>
        <source>无法打开变更记录 %1: %2</source>
        <translation>Cannot open the change journal %1: %2</translation>
    </message>
    <message>
        <source>读取驱动器参数以备份时失败，没有写入任何参数: %1</source>
        <translation>Reading the drive's parameters for the backup failed, so nothing was written: %1</translation>
    </message>
    <message>
        <source>读取驱动器型号以备份时驱动器没有应答: %1</source>
        <translation>The drive did not answer when its identity was read for the backup: %1</translation>
    </message>
</context>
<context>
    <name>BackupGate</name>
    <message>
        <source>参数未写入</source>
        <translation>Nothing written</translation>
    </message>
    <message>
        <source>不备份、仅此一次写入驱动器吗？写入前的参数将无法恢复。</source>
        <translation>Write to the drive this once without a backup? The values it holds now could not be brought back.</translation>
    </message>
</context>
</TS>
