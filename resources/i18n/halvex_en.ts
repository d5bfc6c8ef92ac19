<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>ParameterGroups</name>
    <message>
        <source>全部参数</source>
        <translation>All Parameters</translation>
    </message>
</context>
<context>
    <name>ParameterTransfer</name>
    <message>
        <source>批处理传输出错，请重传！</source>
        <translation>Batch transfer error, please send again!</translation>
    </message>
</context>
<context>
    <name>StringTable</name>
    <message>
        <source>未知型号</source>
        <translation>Unknown model</translation>
    </message>
    <message>
        <source>断开</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>连接</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>停 止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Varnel(脱机使用)</source>
        <translation>Varnel(Offline)</translation>
    </message>
    <message>
        <source>数据库连接失败，请检查数据库路径或名称!</source>
        <translation>Database connection failed, please check the database path or name!</translation>
    </message>
    <message>
        <source>保存环境参数成功!</source>
        <translation>Environment settings saved!</translation>
    </message>
    <message>
        <source>输入延时超出范围!</source>
        <translation>The time-out is out of range!</translation>
    </message>
    <message>
        <source>保存成功</source>
        <translation>Saved</translation>
    </message>
    <message>
        <source>超过范围</source>
        <translation>Out of Range</translation>
    </message>
    <message>
        <source>模块正在使用通信串口，请先关闭！</source>
        <translation> is using the serial port, please close it first!</translation>
    </message>
    <message>
        <source>资源被占用</source>
        <translation>Resource Busy</translation>
    </message>
    <message>
        <source>已保存选择语言,请重新登陆软件,切换语言!</source>
        <translation>The language choice is saved; restart the program to switch the language!</translation>
    </message>
    <message>
        <source>切换语言</source>
        <translation>Switch Language</translation>
    </message>
    <message>
        <source>当前即是，无需切换!</source>
        <translation>This is the current language already!</translation>
    </message>
    <message>
        <source>确定退出管理软件吗?</source>
        <translation>Do you really want to quit the program?</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>ErrDescription</source>
        <translation>ErrDescription</translation>
    </message>
    <message>
        <source>ErrMotor</source>
        <translation>ErrMotor</translation>
    </message>
    <message>
        <source>ErrTable</source>
        <translation>ErrTable</translation>
    </message>
    <message>
        <source>ParametersTable</source>
        <translation>ParametersTable</translation>
    </message>
    <message>
        <source>SelfDefineSettingParametersTable</source>
        <translation>SelfDefineSettingParametersTable</translation>
    </message>
    <message>
        <source>SelfDefineSettingTable</source>
        <translation>SelfDefineSettingTable</translation>
    </message>
    <message>
        <source>Halvex Configurator </source>
        <translation>Halvex Configurator </translation>
    </message>
    <message>
        <source>Model_Mapping</source>
        <translation>Model_Mapping</translation>
    </message>
</context>
<context>
    <name>hx::gui::CAboutDlg</name>
    <message>
        <source>平台信息</source>
        <translation>About</translation>
    </message>
    <message>
        <source>电脑软件:</source>
        <translation>PC software:</translation>
    </message>
    <message>
        <source>电机型号:</source>
        <translation>Motor model:</translation>
    </message>
    <message>
        <source>驱动器软件:</source>
        <translation>Drive software:</translation>
    </message>
    <message>
        <source>驱动器型号:</source>
        <translation>Drive model:</translation>
    </message>
    <message>
        <source>Halvex Configurator 版权所有 (C) %1</source>
        <translation>Halvex Configurator Copyright (C) %1</translation>
    </message>
    <message>
        <source>确 定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>hx::gui::CConnectCom</name>
    <message>
        <source>串口通信</source>
        <translation>Serial Communication</translation>
    </message>
    <message>
        <source>查找设备</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>脱机使用</source>
        <translation>Offline</translation>
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
        <source>设备号:</source>
        <translation>Station:</translation>
    </message>
    <message>
        <source>关闭串口失败，请检查线路与设备！</source>
        <translation>Failed to close the serial port, please check the line and the device!</translation>
    </message>
    <message>
        <source>关闭串口失败</source>
        <translation>Close Port Failed</translation>
    </message>
    <message>
        <source>打开串口失败,可能线路异常或端口被占用!</source>
        <translation>Failed to open the serial port; the line may be faulty or the port in use!</translation>
    </message>
    <message>
        <source>打开串口失败</source>
        <translation>Open Port Failed</translation>
    </message>
    <message>
        <source>连接驱动器失败，请检查通信线路或设备机号是否异常！</source>
        <translation>Connecting to the drive failed, please check the line and the station number!</translation>
    </message>
    <message>
        <source>连接失败</source>
        <translation>Connection Failed</translation>
    </message>
    <message>
        <source>没有找到相关驱动器!</source>
        <translation>No drive found!</translation>
    </message>
    <message>
        <source>完成:</source>
        <translation>Done:</translation>
    </message>
    <message>
        <source>找到设备:</source>
        <translation>Found drive:</translation>
    </message>
</context>
<context>
    <name>hx::gui::CEnvironmentSetting</name>
    <message>
        <source>环境设置</source>
        <translation>Environment</translation>
    </message>
    <message>
        <source>保 存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>等待接收超时(ms)</source>
        <translation>Receive time-out (ms)</translation>
    </message>
    <message>
        <source>请输入一个介于 %1 和 %2 之间的整数。</source>
        <translation>Please enter an integer between %1 and %2.</translation>
    </message>
    <message>
        <source>允许范围: %1 ~ %2 ms</source>
        <translation>Allowed range: %1 to %2 ms</translation>
    </message>
</context>
<context>
    <name>hx::gui::CListBoxEx</name>
    <message>
        <source>添加自定义设定</source>
        <translation>Add Own Setting</translation>
    </message>
    <message>
        <source>删除选中设定</source>
        <translation>Delete Selected Setting</translation>
    </message>
</context>
<context>
    <name>hx::gui::CListCtrlEx</name>
    <message>
        <source>参数地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>参数名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>参数值</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>范 围</source>
        <translation>Range</translation>
    </message>
    <message>
        <source>默认值</source>
        <translation>Default</translation>
    </message>
    <message>
        <source>单 位</source>
        <translation>Unit</translation>
    </message>
    <message>
        <source>备 注</source>
        <translation>Remark</translation>
    </message>
    <message>
        <source>驱动器没有应答，此数值未经驱动器确认</source>
        <translation>The drive did not answer; this value is not confirmed by the drive</translation>
    </message>
    <message>
        <source>输入错误</source>
        <translation>Input Error</translation>
    </message>
    <message>
        <source>输入数值超出参数取值范围!</source>
        <translation>The value is out of the parameter's range!</translation>
    </message>
    <message>
        <source>查看参数</source>
        <translation>Parameter Help</translation>
    </message>
    <message>
        <source>添加到</source>
        <translation>Add to </translation>
    </message>
    <message>
        <source>移出</source>
        <translation>Remove from </translation>
    </message>
</context>
<context>
    <name>hx::gui::CMainFrame</name>
    <message>
        <source>暂停模拟运动控制器</source>
        <translation>Pause the simulated motion controller</translation>
    </message>
    <message>
        <source>File</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Save As</source>
        <translation>Save As</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>通 信</source>
        <translation>Communication</translation>
    </message>
    <message>
        <source>连接驱动器</source>
        <translation>Connect Drive</translation>
    </message>
    <message>
        <source>退 出</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>显 示</source>
        <translation>View</translation>
    </message>
    <message>
        <source>参数存储管理</source>
        <translation>Parameter Manager</translation>
    </message>
    <message>
        <source>保存驱动器参数</source>
        <translation>Save Drive Parameters</translation>
    </message>
    <message>
        <source>波形显示</source>
        <translation>Waveform</translation>
    </message>
    <message>
        <source>运行测试</source>
        <translation>Run Test</translation>
    </message>
    <message>
        <source>警 报</source>
        <translation>Alarm</translation>
    </message>
    <message>
        <source>环境参数设置</source>
        <translation>Environment Settings</translation>
    </message>
    <message>
        <source>设置向导</source>
        <translation>Setup Wizard</translation>
    </message>
    <message>
        <source>傅里叶分析</source>
        <translation>Fourier Analysis</translation>
    </message>
    <message>
        <source>工 具</source>
        <translation>Tools</translation>
    </message>
    <message>
        <source>调试工具</source>
        <translation>Debug Tool</translation>
    </message>
    <message>
        <source>计 算 器</source>
        <translation>Calculator</translation>
    </message>
    <message>
        <source>语 言</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>简体中文</source>
        <translation>Simplified Chinese</translation>
    </message>
    <message>
        <source>English</source>
        <translation>English</translation>
    </message>
    <message>
        <source>帮 助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>操作说明</source>
        <translation>User Guide</translation>
    </message>
    <message>
        <source>平台信息</source>
        <translation>About</translation>
    </message>
    <message>
        <source>工具栏</source>
        <translation>Toolbar</translation>
    </message>
    <message>
        <source>Current settings won't be recoverable after parameters saved. Do you want to continue?</source>
        <translation>Current settings won't be recoverable after parameters saved. Do you want to continue?</translation>
    </message>
    <message>
        <source>Save Configuration Confirmation</source>
        <translation>Save Configuration Confirmation</translation>
    </message>
    <message>
        <source>保存驱动器当前设置成功!</source>
        <translation>The drive's current settings were saved!</translation>
    </message>
    <message>
        <source>保存成功</source>
        <translation>Saved</translation>
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
        <source>该驱动器不支持向导功能.</source>
        <translation>This drive does not support the wizard.</translation>
    </message>
    <message>
        <source>没有找到调试工具: %1</source>
        <translation>Debug tool not found: %1</translation>
    </message>
    <message>
        <source>没有找到计算器程序。</source>
        <translation>No calculator program is installed.</translation>
    </message>
    <message>
        <source>没有找到帮助文件: %1</source>
        <translation>Help file not found: %1</translation>
    </message>
    <message>
        <source>This operating system don't support Simplified Chinese,continue ?</source>
        <translation>This operating system don't support Simplified Chinese,continue ?</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>Forced switch to nonsupport language, the user interface display messy code!!!</source>
        <translation>Forced switch to nonsupport language, the user interface display messy code!!!</translation>
    </message>
    <message>
        <source>Switch Language</source>
        <translation>Switch Language</translation>
    </message>
</context>
<context>
    <name>hx::gui::CParameterCompare</name>
    <message>
        <source>参数比较</source>
        <translation>Compare</translation>
    </message>
    <message>
        <source>选择比较</source>
        <translation>Compare what</translation>
    </message>
    <message>
        <source>当前参数一</source>
        <translation>Current parameters as set 1</translation>
    </message>
    <message>
        <source>另选参数一</source>
        <translation>Set 1 from a file</translation>
    </message>
    <message>
        <source>选择参数一</source>
        <translation>Choose Set 1</translation>
    </message>
    <message>
        <source>选择参数二</source>
        <translation>Choose Set 2</translation>
    </message>
    <message>
        <source>开始比较</source>
        <translation>Compare</translation>
    </message>
    <message>
        <source>参数地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>参数编号</source>
        <translation>Category</translation>
    </message>
    <message>
        <source>参数名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>参数值一</source>
        <translation>Value 1</translation>
    </message>
    <message>
        <source>参数值二</source>
        <translation>Value 2</translation>
    </message>
    <message>
        <source>驱动器数据</source>
        <translation>Drive Data</translation>
    </message>
    <message>
        <source>参数列表一尚未准备好，请选择读入参数!</source>
        <translation>Parameter set 1 is not ready, please choose a parameter set to load!</translation>
    </message>
    <message>
        <source>参数列表二尚未准备好，请选择读入参数!</source>
        <translation>Parameter set 2 is not ready, please choose a parameter set to load!</translation>
    </message>
    <message>
        <source>两份参数完全相同！</source>
        <translation>The two parameter sets are identical!</translation>
    </message>
</context>
<context>
    <name>hx::gui::CParameterManage</name>
    <message>
        <source>参数列表是从另一台驱动器读出的，不能写入现在连接的驱动器（站号 %1）。列表已清空，请重新读参数。</source>
        <translation>The parameter list was read from another drive and cannot be written to the drive connected now (station %1). The list was cleared; read the parameters again.</translation>
    </message>
    <message>
        <source>已连接到 %1 站号 %2。参数列表是从原来的驱动器读出的，已清空，以免写入这台驱动器。请重新读参数。</source>
        <translation>Connected to %1 station %2. The parameter list was read from the drive connected before; it was cleared so that it cannot be written to this one. Read the parameters again.</translation>
    </message>
    <message>
        <source>读参数期间连接的驱动器已更换，读出的参数已丢弃。请重新读参数。</source>
        <translation>The connected drive changed while the parameters were read; what was read was dropped. Read the parameters again.</translation>
    </message>
    <message>
        <source>参数管理</source>
        <translation>Parameter Manager</translation>
    </message>
    <message>
        <source>读文件</source>
        <translation>Load</translation>
    </message>
    <message>
        <source>从文件中读取参数配置</source>
        <translation>Load a parameter set from a file</translation>
    </message>
    <message>
        <source>另 存</source>
        <translation>Save As</translation>
    </message>
    <message>
        <source>参数另存为</source>
        <translation>Save Parameters As</translation>
    </message>
    <message>
        <source>注 释</source>
        <translation>Memo</translation>
    </message>
    <message>
        <source>保存当前参数到配置文件中</source>
        <translation>Describe the current parameter set for its file</translation>
    </message>
    <message>
        <source>读参数</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>读取驱动器[用户参数区]的工作参数</source>
        <translation>Read the drive's working parameters from its [user area]</translation>
    </message>
    <message>
        <source>写参数</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>将上位机当前参数下发到驱动器[用户参数区]中</source>
        <translation>Send the PC's current parameters to the drive's [user area]</translation>
    </message>
    <message>
        <source>保 存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>保存驱动器当前[用户参数区]参数</source>
        <translation>Store the drive's current [user area] parameters</translation>
    </message>
    <message>
        <source>恢复出厂</source>
        <translation>Restore</translation>
    </message>
    <message>
        <source>调[出厂参数区]参数,覆盖[用户参数区]</source>
        <translation>Copy the [factory area] parameters over the [user area]</translation>
    </message>
    <message>
        <source>出厂设置</source>
        <translation>Factory Set</translation>
    </message>
    <message>
        <source>烧写当前参数到[出厂参数区](仅管理员使用)</source>
        <translation>Burn the current parameters into the [factory area] (administrators only)</translation>
    </message>
    <message>
        <source>帮 助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>参数说明</source>
        <translation>Parameter help</translation>
    </message>
    <message>
        <source>参数比较</source>
        <translation>Compare</translation>
    </message>
    <message>
        <source>比较两份参数列表差异</source>
        <translation>Compare two parameter sets</translation>
    </message>
    <message>
        <source>参数分类选择</source>
        <translation>Categories</translation>
    </message>
    <message>
        <source>添加自定义分类</source>
        <translation>Add Own Category</translation>
    </message>
    <message>
        <source>添 加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>描 述:</source>
        <translation>Notes:</translation>
    </message>
    <message>
        <source>通信模块正在数据交互......请等待完成任务再操作!</source>
        <translation>The link is busy exchanging data...... please wait until the task is finished!</translation>
    </message>
    <message>
        <source>驱动器数据交互尚未完成，停止并关闭窗口吗？</source>
        <translation>A data exchange with the drive is still running. Stop it and close the window?</translation>
    </message>
    <message>
        <source>参数列表为空，请上传或读入参数后再操作！</source>
        <translation>The parameter list is empty, please read the drive or load a file first!</translation>
    </message>
    <message>
        <source>参数未更新</source>
        <translation>Parameters Not Updated</translation>
    </message>
    <message>
        <source>驱动器没有应答（寄存器 %1），参数 %2 的新值未被确认，列表中显示原值。</source>
        <translation>The drive did not answer (register %1); the new value of parameter %2 is not confirmed and the list shows the old value.</translation>
    </message>
    <message>
        <source>写入参数</source>
        <translation>Write Parameter</translation>
    </message>
    <message>
        <source>保存驱动器当前设置成功!</source>
        <translation>The drive's current settings were saved!</translation>
    </message>
    <message>
        <source>保存成功</source>
        <translation>Saved</translation>
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
        <source>恢复出厂参数后，驱动器当前参数将被清除，确定继续吗？</source>
        <translation>Restoring the factory values clears the drive's current parameters. Continue?</translation>
    </message>
    <message>
        <source>恢复出厂值</source>
        <translation>Restore Factory Values</translation>
    </message>
    <message>
        <source>恢复驱动器出厂设置成功!</source>
        <translation>The drive's factory settings were restored!</translation>
    </message>
    <message>
        <source>恢复成功</source>
        <translation>Restored</translation>
    </message>
    <message>
        <source>恢复驱动器出厂设置失败!</source>
        <translation>Restoring the drive's factory settings failed!</translation>
    </message>
    <message>
        <source>恢复失败</source>
        <translation>Restore Failed</translation>
    </message>
    <message>
        <source>烧录最原始的出厂设置，当前所有参数将初彻底初始化!确定继续吗？</source>
        <translation>Burning the original factory settings initialises every current parameter! Continue?</translation>
    </message>
    <message>
        <source>烧录初值</source>
        <translation>Burn Factory Values</translation>
    </message>
    <message>
        <source>烧录出厂参数完毕!</source>
        <translation>The factory parameters were burnt!</translation>
    </message>
    <message>
        <source>烧录成功</source>
        <translation>Burnt</translation>
    </message>
    <message>
        <source>烧录出厂参数失败!</source>
        <translation>Burning the factory parameters failed!</translation>
    </message>
    <message>
        <source>烧录失败</source>
        <translation>Burn Failed</translation>
    </message>
    <message>
        <source>没有找到参数“%1”的说明页。</source>
        <translation>There is no help page for the parameter "%1".</translation>
    </message>
    <message>
        <source>另存参数文件</source>
        <translation>Save Parameter File</translation>
    </message>
    <message>
        <source>另存参数文件完成！</source>
        <translation>The parameter file was saved!</translation>
    </message>
    <message>
        <source>读取参数列表</source>
        <translation>Load Parameter Set</translation>
    </message>
    <message>
        <source>参数列表信息</source>
        <translation>Parameter Set Information</translation>
    </message>
    <message>
        <source>自定义设定名称长度不符合,请输入一个长度为3 ~ 20 的字符串!</source>
        <translation>Wrong name length, please enter a name of 3 ~ 20 characters!</translation>
    </message>
    <message>
        <source>输入错误</source>
        <translation>Input Error</translation>
    </message>
    <message>
        <source>已存在同名的设定项,请新输入!</source>
        <translation>A setting of that name exists already, please enter another!</translation>
    </message>
    <message>
        <source>名称重复</source>
        <translation>Duplicate Name</translation>
    </message>
    <message>
        <source>您现在可以从参数列表中选择自已的分类参数!</source>
        <translation>You can now add parameters to your category from the parameter list!</translation>
    </message>
    <message>
        <source>添加自定义设定项成功</source>
        <translation>Setting Added</translation>
    </message>
    <message>
        <source>只能删除用户自定义的设定选项,固有的选项不能删除!</source>
        <translation>Only user-defined settings can be deleted; built-in entries cannot!</translation>
    </message>
    <message>
        <source>删除设定项</source>
        <translation>Delete Setting</translation>
    </message>
</context>
<context>
    <name>hx::gui::CParameterRemark</name>
    <message>
        <source>确  定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取  消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>选择文件时这行描述将被显示。（全角文字100个  半角文字200个）</source>
        <translation>This line is shown when the file is chosen. (100 full-width or 200 half-width characters)</translation>
    </message>
</context>
</TS>
