<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>ParameterTransfer</name>
    <message>
        <source>批处理传输出错，请重传！</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>StringTable</name>
    <message>
        <source>未知型号</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>断开</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>连接</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>停 止</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Varnel(脱机使用)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>数据库连接失败，请检查数据库路径或名称!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保存环境参数成功!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>输入延时超出范围!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保存成功</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>超过范围</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>模块正在使用通信串口，请先关闭！</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>资源被占用</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>已保存选择语言,请重新登陆软件,切换语言!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>切换语言</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>当前即是，无需切换!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>确定退出管理软件吗?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>退出</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ErrDescription</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ErrMotor</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ErrTable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ParametersTable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SelfDefineSettingParametersTable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SelfDefineSettingTable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Halvex Configurator </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Model_Mapping</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::gui::CAboutDlg</name>
    <message>
        <source>平台信息</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>电脑软件:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>电机型号:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>驱动器软件:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>驱动器型号:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Halvex Configurator 版权所有 (C) %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>确 定</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::gui::CConnectCom</name>
    <message>
        <source>串口通信</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>查找设备</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>脱机使用</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>通信端口:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>波特率:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>设备号:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>关闭串口失败，请检查线路与设备！</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>关闭串口失败</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>打开串口失败,可能线路异常或端口被占用!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>打开串口失败</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>连接驱动器失败，请检查通信线路或设备机号是否异常！</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>连接失败</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>没有找到相关驱动器!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>完成:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>找到设备:</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::gui::CEnvironmentSetting</name>
    <message>
        <source>环境设置</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保 存</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>等待接收超时(ms)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请输入一个介于 %1 和 %2 之间的整数。</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::gui::CListBoxEx</name>
    <message>
        <source>添加自定义设定</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>删除选中设定</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::gui::CListCtrlEx</name>
    <message>
        <source>参数地址</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>参数名称</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>参数值</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>范 围</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>默认值</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>单 位</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>备 注</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>驱动器没有应答，此数值未经驱动器确认</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>输入错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>输入数值超出参数取值范围!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>查看参数</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>添加到</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>移出</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::gui::CMainFrame</name>
    <message>
        <source>File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save As</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Exit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>通 信</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>连接驱动器</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>退 出</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>显 示</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>参数存储管理</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保存驱动器参数</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>波形显示</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>运行测试</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>警 报</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>环境参数设置</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>设置向导</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>傅里叶分析</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>工 具</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>调试工具</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>计 算 器</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>语 言</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>简体中文</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>English</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>帮 助</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>操作说明</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>平台信息</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>工具栏</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Current settings won&apos;t be recoverable after parameters saved. Do you want to continue?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save Configuration Confirmation</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保存驱动器当前设置成功!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保存成功</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保存驱动器当前设置失败!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保存失败</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>该驱动器不支持向导功能.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>没有找到调试工具: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>没有找到计算器程序。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>没有找到帮助文件: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This operating system don&apos;t support Simplified Chinese,continue ?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Language</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Forced switch to nonsupport language, the user interface display messy code!!!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Switch Language</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::gui::CParameterCompare</name>
    <message>
        <source>参数比较</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>选择比较</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>当前参数一</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>另选参数一</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>选择参数一</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>选择参数二</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>开始比较</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>参数地址</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>参数编号</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>参数名称</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>参数值一</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>参数值二</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>驱动器数据</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>参数列表一尚未准备好，请选择读入参数!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>参数列表二尚未准备好，请选择读入参数!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>两份参数完全相同！</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::gui::CParameterManage</name>
    <message>
        <source>参数管理</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>读文件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>从文件中读取参数配置</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>另 存</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>参数另存为</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>注 释</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保存当前参数到配置文件中</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>读参数</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>读取驱动器[用户参数区]的工作参数</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>写参数</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>将上位机当前参数下发到驱动器[用户参数区]中</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保 存</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保存驱动器当前[用户参数区]参数</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>恢复出厂</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>调[出厂参数区]参数,覆盖[用户参数区]</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>出厂设置</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>烧写当前参数到[出厂参数区](仅管理员使用)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>帮 助</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>参数说明</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>参数比较</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>比较两份参数列表差异</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>参数分类选择</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>添加自定义分类</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>添 加</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>描 述:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>通信模块正在数据交互......请等待完成任务再操作!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>驱动器数据交互尚未完成，停止并关闭窗口吗？</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>参数列表为空，请上传或读入参数后再操作！</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>参数未更新</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>驱动器没有应答（寄存器 %1），参数 %2 的新值未被确认，列表中显示原值。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>写入参数</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保存驱动器当前设置成功!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保存成功</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保存驱动器当前设置失败!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保存失败</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>恢复出厂参数后，驱动器当前参数将被清除，确定继续吗？</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>恢复出厂值</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>恢复驱动器出厂设置成功!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>恢复成功</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>恢复驱动器出厂设置失败!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>恢复失败</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>烧录最原始的出厂设置，当前所有参数将初彻底初始化!确定继续吗？</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>烧录初值</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>烧录出厂参数完毕!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>烧录成功</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>烧录出厂参数失败!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>烧录失败</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>没有找到参数“%1”的说明页。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>另存参数文件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>另存参数文件完成！</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>读取参数列表</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>参数列表信息</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>自定义设定名称长度不符合,请输入一个长度为3 ~ 20 的字符串!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>输入错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>已存在同名的设定项,请新输入!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>名称重复</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>您现在可以从参数列表中选择自已的分类参数!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>添加自定义设定项成功</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>只能删除用户自定义的设定选项,固有的选项不能删除!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>删除设定项</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::gui::CParameterRemark</name>
    <message>
        <source>确  定</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>取  消</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>选择文件时这行描述将被显示。（全角文字100个  半角文字200个）</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
