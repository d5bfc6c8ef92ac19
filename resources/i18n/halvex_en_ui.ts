<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>StorageMessages</name>
    <message>
        <source>保存驱动器当前设置成功!</source>
        <translation>The drive's current settings were saved!</translation>
    </message>
    <message>
        <source>保存成功</source>
        <translation>Saved</translation>
    </message>
    <message>
        <source>保存命令的应答丢失，驱动器可能已经保存了参数。驱动器现在没有在保存（地址 90 已回到 0），但无法确认是否保存成功，请再保存一次。</source>
        <translation>The reply to the store command was lost: the drive may have stored its settings. It is not storing now (register 90 is back at 0), but whether it stored cannot be told; please save again.</translation>
    </message>
    <message>
        <source>保存结果不确定</source>
        <translation>Store uncertain</translation>
    </message>
    <message>
        <source>保存驱动器当前设置失败!</source>
        <translation>Saving the drive's current settings failed!</translation>
    </message>
    <message>
        <source>保存失败</source>
        <translation>Save Failed</translation>
    </message>
</context>
<context>
    <name>ParameterFile</name>
    <message>
        <source>适用驱动器类型:</source>
        <translation>Drive type:</translation>
    </message>
    <message>
        <source>驱动器软件版本:</source>
        <translation>Drive software version:</translation>
    </message>
    <message>
        <source>描述信息:</source>
        <translation>Description:</translation>
    </message>
    <message>
        <source>无法创建文件 %1: %2</source>
        <translation>Cannot create the file %1: %2</translation>
    </message>
    <message>
        <source>写入文件 %1 失败: %2。原有的同名文件保持不变。</source>
        <translation>Writing the file %1 failed: %2. An earlier file of that name is unchanged.</translation>
    </message>
    <message>
        <source>无法打开文件 %1: %2</source>
        <translation>Cannot open the file %1: %2</translation>
    </message>
    <message>
        <source>读取文件 %1 失败: %2</source>
        <translation>Cannot read the file %1: %2</translation>
    </message>
    <message>
        <source>文件 %1 过大, 不是参数文件。</source>
        <translation>The file %1 is too large to be a parameter file.</translation>
    </message>
    <message>
        <source>无法解码文件 %1: 其内容既不是代码页 936 (中文) 文本, 也不是 UTF-8 文本。</source>
        <translation>Cannot decode the file %1: its text is neither code page 936 (Chinese) nor UTF-8.</translation>
    </message>
</context>
<context>
    <name>hx::gui::ChangesQuestion</name>
    <message>
        <source>将要更改的设置 (%1):</source>
        <translation>Settings that will change (%1):</translation>
    </message>
    <message>
        <source>(没有设置会改变)</source>
        <translation>(no setting changes)</translation>
    </message>
    <message>
        <source>不变的设置 (%1)</source>
        <translation>Unchanged settings (%1)</translation>
    </message>
</context>
<context>
    <name>hx::gui::ChoiceQuestion</name>
    <message>
        <source>全选</source>
        <translation>Tick all</translation>
    </message>
    <message>
        <source>全不选</source>
        <translation>Untick all</translation>
    </message>
</context>
</TS>
