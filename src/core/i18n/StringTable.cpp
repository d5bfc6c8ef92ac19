#include "core/i18n/StringTable.h"
#include "core/i18n/Translate.h"

#include <atomic>
#include <iterator>

namespace hx {
namespace {

// lupdate reads these QT_TRANSLATE_NOOP marks into the English catalogue.
const StringEntry kEntries[] = {
    {40100, QT_TRANSLATE_NOOP("StringTable", "位置误差(p)")},
    {40101, QT_TRANSLATE_NOOP("StringTable", "速度反馈(0.01rps)")},
    {40102, QT_TRANSLATE_NOOP("StringTable", "位置反馈(p)")},
    {40103, QT_TRANSLATE_NOOP("StringTable", "速度参考(0.01rps)")},
    {40104, QT_TRANSLATE_NOOP("StringTable", "位置参考(p)")},
    {40105, QT_TRANSLATE_NOOP("StringTable", "电流Alpha(mA)")},
    {40106, QT_TRANSLATE_NOOP("StringTable", "电流Beta(mA)")},
    {40107, QT_TRANSLATE_NOOP("StringTable", "磁编位置")},
    {40108, QT_TRANSLATE_NOOP("StringTable", "母线电压(V)")},
    {40109, QT_TRANSLATE_NOOP("StringTable", "运行模式")},
    {40115, QT_TRANSLATE_NOOP("StringTable", "力矩电流(mA)")},
    {40116, QT_TRANSLATE_NOOP("StringTable", "Q轴电流(mA)")},
    {40117, QT_TRANSLATE_NOOP("StringTable", "合成电流(mA)")},
    {40118, QT_TRANSLATE_NOOP("StringTable", "加速度给定(R/S^2)")},
    {40119, QT_TRANSLATE_NOOP("StringTable", "加速度反馈(R/S^2)")},
    {40120, QT_TRANSLATE_NOOP("StringTable", "未知通道")},
    {40121, QT_TRANSLATE_NOOP("StringTable", "<-----空----->")},
    // Function lists of the setup wizard: inputs 40123..40129, outputs 40130..40135.
    {40123, QT_TRANSLATE_NOOP("StringTable", "1:原点信号")},
    {40124, QT_TRANSLATE_NOOP("StringTable", "2:正限位")},
    {40125, QT_TRANSLATE_NOOP("StringTable", "4:负限位")},
    {40126, QT_TRANSLATE_NOOP("StringTable", "8:快速停止")},
    {40127, QT_TRANSLATE_NOOP("StringTable", "16:自定义")},
    {40128, QT_TRANSLATE_NOOP("StringTable", "32:Probe1功能")},
    {40129, QT_TRANSLATE_NOOP("StringTable", "64:Probe2功能")},
    {40130, QT_TRANSLATE_NOOP("StringTable", "无输出")},
    {40131, QT_TRANSLATE_NOOP("StringTable", "1:报警输出")},
    {40132, QT_TRANSLATE_NOOP("StringTable", "2:到位输出")},
    {40133, QT_TRANSLATE_NOOP("StringTable", "4:主站控制输出")},
    {40134, QT_TRANSLATE_NOOP("StringTable", "8:抱闸输出")},
    {40135, QT_TRANSLATE_NOOP("StringTable", "16:主站输出")},
    {50002, QT_TRANSLATE_NOOP("StringTable", "未知型号")},
    {50003, QT_TRANSLATE_NOOP("StringTable", "当前报警")},
    {50004, QT_TRANSLATE_NOOP("StringTable", "历史报警")},
    {50005, QT_TRANSLATE_NOOP("StringTable", "断开")},
    {50006, QT_TRANSLATE_NOOP("StringTable", "连接")},
    {50014, QT_TRANSLATE_NOOP("StringTable", "停 止")},
    {50019, QT_TRANSLATE_NOOP("StringTable", "Varnel(脱机使用)")},
    {50020, QT_TRANSLATE_NOOP("StringTable", "报警编号")},
    {50021, QT_TRANSLATE_NOOP("StringTable", "报警名称")},
    {50022, QT_TRANSLATE_NOOP("StringTable", "数据库连接失败，请检查数据库路径或名称!")},
    {50023, QT_TRANSLATE_NOOP("StringTable", "没有报警")},
    {50024, QT_TRANSLATE_NOOP("StringTable", "----------------可能性")},
    {50025, QT_TRANSLATE_NOOP("StringTable", "原因：")},
    {50027, QT_TRANSLATE_NOOP("StringTable", "处理:")},
    {50039, QT_TRANSLATE_NOOP("StringTable", "打开波形文件")},
    {50040, QT_TRANSLATE_NOOP("StringTable", "保存波形文件")},
    {50041, QT_TRANSLATE_NOOP("StringTable", "电流(mA)")},
    {50042, QT_TRANSLATE_NOOP("StringTable", "时间(us)")},
    {50043, QT_TRANSLATE_NOOP("StringTable", "通信模块正在数据交互......请等待完成任务再操作!")},
    {50044, QT_TRANSLATE_NOOP("StringTable", "正在通信")},
    {50055, QT_TRANSLATE_NOOP("StringTable", "保存波形")},
    {50056, QT_TRANSLATE_NOOP("StringTable", "非法路径:")},
    {50057, QT_TRANSLATE_NOOP("StringTable", "采样数据为空,请勾选[录制波形]后启动[波形采样]!")},
    {50058, QT_TRANSLATE_NOOP("StringTable", "没有采样数据")},
    {50059, QT_TRANSLATE_NOOP("StringTable", "开 始")},
    {50060, QT_TRANSLATE_NOOP("StringTable", "查询超时，请降低采样周期!")},
    {50061, QT_TRANSLATE_NOOP("StringTable", "读取波形")},
    {50062, QT_TRANSLATE_NOOP("StringTable", "保存环境参数成功!")},
    {50063, QT_TRANSLATE_NOOP("StringTable", "输入延时超出范围!")},
    {50066, QT_TRANSLATE_NOOP("StringTable", "序号")},
    {50090, QT_TRANSLATE_NOOP("StringTable", "保存成功")},
    {50134, QT_TRANSLATE_NOOP("StringTable", "超过范围")},
    {50141, QT_TRANSLATE_NOOP("StringTable", "模块正在使用通信串口，请先关闭！")},
    {50142, QT_TRANSLATE_NOOP("StringTable", "资源被占用")},
    {50143, QT_TRANSLATE_NOOP("StringTable", "已放大到最大倍数")},
    {50144, QT_TRANSLATE_NOOP("StringTable", "背景颜色")},
    {50145, QT_TRANSLATE_NOOP("StringTable", "通道一曲线颜色")},
    {50146, QT_TRANSLATE_NOOP("StringTable", "通道二曲线颜色")},
    {50147, QT_TRANSLATE_NOOP("StringTable", "通道三曲线颜色")},
    {50148, QT_TRANSLATE_NOOP("StringTable", "通道四曲线颜色")},
    {50149, QT_TRANSLATE_NOOP("StringTable", "正在读数据，请稍等...")},
    {50156, QT_TRANSLATE_NOOP("StringTable", "已保存选择语言,请重新登陆软件,切换语言!")},
    {50157, QT_TRANSLATE_NOOP("StringTable", "切换语言")},
    {50158, QT_TRANSLATE_NOOP("StringTable", "当前即是，无需切换!")},
    {50161, QT_TRANSLATE_NOOP("StringTable", "确定退出管理软件吗?")},
    {50162, QT_TRANSLATE_NOOP("StringTable", "退出")},
    {50163, QT_TRANSLATE_NOOP("StringTable", "清除历史报警失败!")},
    {50165, QT_TRANSLATE_NOOP("StringTable", "ErrDescription")},
    {50166, QT_TRANSLATE_NOOP("StringTable", "ErrMotor")},
    {50167, QT_TRANSLATE_NOOP("StringTable", "ErrTable")},
    {50168, QT_TRANSLATE_NOOP("StringTable", "ParametersTable")},
    {50169, QT_TRANSLATE_NOOP("StringTable", "SelfDefineSettingParametersTable")},
    {50170, QT_TRANSLATE_NOOP("StringTable", "SelfDefineSettingTable")},
    {50191, QT_TRANSLATE_NOOP("StringTable", "报警设置")},
    {50192, QT_TRANSLATE_NOOP("StringTable", "设置完成!")},
    {50195, QT_TRANSLATE_NOOP("StringTable", "Halvex Configurator ")},
    {50196, QT_TRANSLATE_NOOP("StringTable", "Model_Mapping")},
};

std::atomic<Translator> g_translator{nullptr};

}  // namespace

void SetTranslator(Translator translator) { g_translator = translator; }

bool HasTranslator() { return g_translator.load() != nullptr; }

const char* BuiltinString(int id) {
    for (const auto& e : kEntries)
        if (e.id == id) return e.text;
    return nullptr;
}

std::string LoadString(int id) {
    const char* text = BuiltinString(id);
    if (!text) return {};
    Translator t = g_translator.load();
    return t ? t(kStringTableContext, text) : std::string(text);
}

std::string Translate(const char* context, const char* source) {
    Translator t = g_translator.load();
    return t ? t(context, source) : std::string(source);
}

std::string Translate(const char* context, const char* source, const char* withoutCatalogue) {
    Translator t = g_translator.load();
    return t ? t(context, source) : std::string(withoutCatalogue);
}

std::string FillIn(std::string text, std::initializer_list<std::string> arguments) {
    int n = 1;
    for (const std::string& argument : arguments) {
        const std::string mark = std::string(1, '%').append(std::to_string(n++));
        for (auto at = text.find(mark); at != std::string::npos; at = text.find(mark, at + argument.size()))
            text.replace(at, mark.size(), argument);
    }
    return text;
}

const StringEntry* StringEntries(int* count) {
    *count = static_cast<int>(std::size(kEntries));
    return kEntries;
}

}  // namespace hx
