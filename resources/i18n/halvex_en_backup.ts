<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Backup</name>
    <message>
        <source>变更记录中没有 %1 站号 %2 的参数变更</source>
        <translation>the change journal holds no change of the settings of station %2 on %1</translation>
    </message>
    <message>
        <source>最近一次变更（%1，%2）写入前没有备份</source>
        <translation>the last change (%1, %2) was made without a backup</translation>
    </message>
    <message>
        <source>上次写入已写出、未核对：%1 块都已发出，但没有读回核对</source>
        <translation>The last write to this drive was written, not verified: all %1 blocks went out, but they were not read back</translation>
    </message>
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
    <message>
        <source>写入前没有备份。</source>
        <translation>No backup was taken before it.</translation>
    </message>
    <message>
        <source>写入前的备份: %1
用“显 示”菜单的“变更记录”中的“恢复到此前”可把它写回驱动器。</source>
        <translation>The backup taken before it: %1
"Restore backup…" in "Change history" (menu "Display") writes it back to the drive.</translation>
    </message>
    <message>
        <source>上次写入未完成</source>
        <translation>Last write unfinished</translation>
    </message>
</context>
<context>
    <name>hx::gui::CMainFrame</name>
    <message>
        <source>变更记录</source>
        <translation>Change history</translation>
    </message>
</context>
<context>
    <name>hx::gui::CChangeHistory</name>
    <message>
        <source>%1 个参数读回的值与写入的不同，例如地址 %2: 写入 %3，读回 %4。</source>
        <translation>%1 settings read back otherwise than written, e.g. address %2: wrote %3, read %4.</translation>
    </message>
    <message>
        <source>会话:</source>
        <translation>Session:</translation>
    </message>
    <message>
        <source>全部会话</source>
        <translation>All sessions</translation>
    </message>
    <message>
        <source>写入失败</source>
        <translation>Write failed</translation>
    </message>
    <message>
        <source>刷新</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>原值</source>
        <translation>Old value</translation>
    </message>
    <message>
        <source>参数:</source>
        <translation>Parameter:</translation>
    </message>
    <message>
        <source>参数名</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>变更记录</source>
        <translation>Change history</translation>
    </message>
    <message>
        <source>名称或地址</source>
        <translation>name or address</translation>
    </message>
    <message>
        <source>地址 %1（%2）: %3 超出范围 %4</source>
        <translation>Address %1 (%2): %3 is outside %4</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>备份:</source>
        <translation>Backup:</translation>
    </message>
    <message>
        <source>已恢复 %1 个参数，驱动器读回一致。</source>
        <translation>%1 settings restored; the drive reads them back the same.</translation>
    </message>
    <message>
        <source>已撤销：驱动器读回原值。</source>
        <translation>Undone: the drive reads back the old value.</translation>
    </message>
    <message>
        <source>已确认</source>
        <translation>confirmed</translation>
    </message>
    <message>
        <source>恢复到此前</source>
        <translation>Restore backup…</translation>
    </message>
    <message>
        <source>撤销</source>
        <translation>Undo</translation>
    </message>
    <message>
        <source>新值</source>
        <translation>New value</translation>
    </message>
    <message>
        <source>无法读取备份或驱动器，没有写入任何参数: %1</source>
        <translation>The backup or the drive could not be read, so nothing was written: %1</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>未确认</source>
        <translation>unconfirmed</translation>
    </message>
    <message>
        <source>来源</source>
        <translation>Origin</translation>
    </message>
    <message>
        <source>正在写入...</source>
        <translation>Writing...</translation>
    </message>
    <message>
        <source>正在写入驱动器，请等待完成后再关闭。</source>
        <translation>Writing to the drive; close the window when it has finished.</translation>
    </message>
    <message>
        <source>正在撤销...</source>
        <translation>Undoing...</translation>
    </message>
    <message>
        <source>正在读取驱动器参数...</source>
        <translation>Reading the drive's parameters...</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>State</translation>
    </message>
    <message>
        <source>被拒绝</source>
        <translation>refused</translation>
    </message>
    <message>
        <source>该备份来自驱动器型号 “%1”。</source>
        <translation>The backup was taken from drive type "%1".</translation>
    </message>
    <message>
        <source>驱动器参数与该备份相同，没有需要写入的参数。</source>
        <translation>The drive already holds the backup's values: nothing to write.</translation>
    </message>
    <message>
        <source>驱动器没有应答（地址 %1），写入未全部完成: %2</source>
        <translation>The drive did not answer (address %1); not everything was written: %2</translation>
    </message>
    <message>
        <source>编辑</source>
        <translation>edit</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>file</translation>
    </message>
    <message>
        <source>向导</source>
        <translation>wizard</translation>
    </message>
    <message>
        <source>滑块</source>
        <translation>slider</translation>
    </message>
    <message>
        <source>增益</source>
        <translation>gains</translation>
    </message>
    <message>
        <source>命令行</source>
        <translation>command line</translation>
    </message>
    <message>
        <source>整定</source>
        <translation>tune</translation>
    </message>
    <message>
        <source>命令</source>
        <translation>command</translation>
    </message>
    <message>
        <source>恢复</source>
        <translation>restore</translation>
    </message>
    <message>
        <source>以下 %1 个参数与备份不同。将勾选的参数写回驱动器（恢复为备份中的值），确定吗？</source>
        <translation>These %1 parameters differ from the backup. Write the ticked ones back to the drive (as the backup holds them)?</translation>
    </message>
    <message>
        <source>参数</source>
        <translation>Parameter</translation>
    </message>
    <message>
        <source>类别</source>
        <translation>Category</translation>
    </message>
    <message>
        <source>驱动器当前值</source>
        <translation>In the drive</translation>
    </message>
    <message>
        <source>备份中的值</source>
        <translation>In the backup</translation>
    </message>
    <message>
        <source>单位</source>
        <translation>Unit</translation>
    </message>
    <message>
        <source>地址 %1</source>
        <translation>Address %1</translation>
    </message>
</context>
</TS>
