#include "core/i18n/StringTable.h"

#include <atomic>
#include <iterator>

namespace hx {
namespace {

// lupdate reads these QT_TRANSLATE_NOOP marks into the English catalogue.
const StringEntry kEntries[] = {
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
    {50005, QT_TRANSLATE_NOOP("StringTable", "断开")},
    {50006, QT_TRANSLATE_NOOP("StringTable", "连接")},
    {50014, QT_TRANSLATE_NOOP("StringTable", "停 止")},
    {50019, QT_TRANSLATE_NOOP("StringTable", "Varnel(脱机使用)")},
    {50022, QT_TRANSLATE_NOOP("StringTable", "数据库连接失败，请检查数据库路径或名称!")},
    {50062, QT_TRANSLATE_NOOP("StringTable", "保存环境参数成功!")},
    {50063, QT_TRANSLATE_NOOP("StringTable", "输入延时超出范围!")},
    {50090, QT_TRANSLATE_NOOP("StringTable", "保存成功")},
    {50134, QT_TRANSLATE_NOOP("StringTable", "超过范围")},
    {50141, QT_TRANSLATE_NOOP("StringTable", "模块正在使用通信串口，请先关闭！")},
    {50142, QT_TRANSLATE_NOOP("StringTable", "资源被占用")},
    {50156, QT_TRANSLATE_NOOP("StringTable", "已保存选择语言,请重新登陆软件,切换语言!")},
    {50157, QT_TRANSLATE_NOOP("StringTable", "切换语言")},
    {50158, QT_TRANSLATE_NOOP("StringTable", "当前即是，无需切换!")},
    {50161, QT_TRANSLATE_NOOP("StringTable", "确定退出管理软件吗?")},
    {50162, QT_TRANSLATE_NOOP("StringTable", "退出")},
    {50165, QT_TRANSLATE_NOOP("StringTable", "ErrDescription")},
    {50166, QT_TRANSLATE_NOOP("StringTable", "ErrMotor")},
    {50167, QT_TRANSLATE_NOOP("StringTable", "ErrTable")},
    {50168, QT_TRANSLATE_NOOP("StringTable", "ParametersTable")},
    {50169, QT_TRANSLATE_NOOP("StringTable", "SelfDefineSettingParametersTable")},
    {50170, QT_TRANSLATE_NOOP("StringTable", "SelfDefineSettingTable")},
    {50195, QT_TRANSLATE_NOOP("StringTable", "Halvex Configurator ")},
    {50196, QT_TRANSLATE_NOOP("StringTable", "Model_Mapping")},
};

std::atomic<Translator> g_translator{nullptr};

}  // namespace

void SetTranslator(Translator translator) { g_translator = translator; }

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

const StringEntry* StringEntries(int* count) {
    *count = static_cast<int>(std::size(kEntries));
    return kEntries;
}

}  // namespace hx
