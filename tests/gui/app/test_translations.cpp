// Every text of the program has its English translation, and the catalogue
// is what the program loads at start.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>
#include <map>
#include <set>

#include "core/i18n/StringTable.h"
#include "support/TestSupport.h"

namespace {

struct Message {
    QString translation;
    bool unfinished = false;
};
using Catalogue = std::map<std::pair<QString, QString>, Message>;  // (context, source)

Catalogue readTs(const QString& path) {
    Catalogue result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return result;
    QXmlStreamReader xml(&file);
    QString context, source;
    Message message;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) continue;
        if (xml.name() == u"name") {
            context = xml.readElementText();
        } else if (xml.name() == u"source") {
            source = xml.readElementText();
        } else if (xml.name() == u"translation") {
            message.unfinished = xml.attributes().value("type") == u"unfinished" ||
                                 xml.attributes().value("type") == u"vanished" ||
                                 xml.attributes().value("type") == u"obsolete";
            message.translation = xml.readElementText();
            result[{context, source}] = message;
        }
    }
    return result;
}

// Each subsystem keeps its own halvex_en*.ts; the program loads them joined.
Catalogue englishCatalogue() {
    Catalogue english;
    const QDir i18n(QStringLiteral(HALVEX_SOURCE_DIR) + "/resources/i18n");
    for (const QString& ts : i18n.entryList({"halvex_en*.ts"}, QDir::Files)) english.merge(readTs(i18n.filePath(ts)));
    return english;
}

}  // namespace

TEST(Translations, EveryTextHasItsEnglishTranslation) {
    const QString lupdate = QLibraryInfo::path(QLibraryInfo::BinariesPath) + "/lupdate";
    ASSERT_TRUE(QFile::exists(lupdate)) << lupdate.toStdString();
    QTemporaryDir tmp;
    const QString scanned = tmp.filePath("scan.ts");
    QProcess p;
    p.start(lupdate, {QStringLiteral(HALVEX_SOURCE_DIR) + "/src", "-no-obsolete", "-locations", "none",
                      "-source-language", "zh_CN", "-target-language", "en", "-ts", scanned});
    ASSERT_TRUE(p.waitForFinished(120000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();

    const Catalogue found = readTs(scanned);
    const Catalogue english = englishCatalogue();
    ASSERT_GT(found.size(), 50u) << "the scan found the program's texts";
    std::vector<std::string> missing;
    for (const auto& [key, unused] : found) {
        auto it = english.find(key);
        if (it == english.end() || it->second.unfinished || it->second.translation.isEmpty())
            missing.push_back((key.first + " | " + key.second).toStdString());
    }
    std::string list;
    for (const auto& m : missing) list += "  " + m + "\n";
    EXPECT_TRUE(missing.empty()) << missing.size() << " texts without English:\n" << list;
}

TEST(Translations, TheBuiltCatalogueTranslatesTheStringTable) {
    QTranslator translator;
    ASSERT_TRUE(translator.load(QString::fromStdString(hx::test::BuildBinFolder()) + "/i18n/halvex_en.qm"));
    EXPECT_EQ(translator.translate("StringTable", "连接"), "Connect");
    int count = 0;
    const hx::StringEntry* entries = hx::StringEntries(&count);
    for (int i = 0; i < count; ++i)
        EXPECT_FALSE(translator.translate(hx::kStringTableContext, entries[i].text).isEmpty()) << entries[i].id;
    // Table names are the same in both languages.
    EXPECT_EQ(translator.translate("StringTable", "ParametersTable"), "ParametersTable");

    QTranslator qtChinese;
    EXPECT_TRUE(qtChinese.load("qtbase_zh_CN", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        << "Qt's own Chinese texts (Yes/No buttons)";
}

namespace {

// The words a user guide quotes: “...”.
QStringList quotedWords(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QString text = QString::fromUtf8(file.readAll());
    QStringList words;
    qsizetype at = 0;
    while ((at = text.indexOf(QChar(0x201C), at)) >= 0) {
        const qsizetype end = text.indexOf(QChar(0x201D), at + 1);
        if (end < 0) break;
        words << text.mid(at + 1, end - at - 1);
        at = end + 1;
    }
    return words;
}

}  // namespace

// The guides name buttons, menus and windows by the words the interface
// shows: each quoted word of the Chinese guide is a built-in text, each of
// the English guide its translation, and the two guides quote the same ones.
TEST(Translations, TheUserGuidesUseTheInterfacesOwnWords) {
    const Catalogue english = englishCatalogue();
    std::multimap<QString, QString> toEnglish;
    std::set<QString> translations;
    for (const auto& [key, message] : english) {
        toEnglish.emplace(key.second, message.translation);
        translations.insert(message.translation);
    }
    const QString help = QStringLiteral(HALVEX_SOURCE_DIR) + "/resources/help/";
    const QStringList chinese = quotedWords(help + "help.html");
    const QStringList englishWords = quotedWords(help + "helpEN.html");
    ASSERT_GT(chinese.size(), 30);
    ASSERT_GT(englishWords.size(), 30);
    std::set<QString> expectedEnglish;
    for (const QString& word : chinese) {
        const auto [first, last] = toEnglish.equal_range(word);
        EXPECT_NE(first, last) << "the Chinese guide quotes \"" << word.toStdString() << "\", which the interface never shows";
        for (auto it = first; it != last; ++it) expectedEnglish.insert(it->second);
    }
    for (const QString& word : englishWords) {
        EXPECT_TRUE(translations.count(word)) << "the English guide quotes \"" << word.toStdString()
                                              << "\", which the interface never shows";
        EXPECT_TRUE(expectedEnglish.count(word)) << "\"" << word.toStdString() << "\" is missing from the Chinese guide";
    }
    const std::set<QString> quotedEnglish(englishWords.begin(), englishWords.end());
    for (const QString& word : chinese) {
        bool found = false;
        const auto [first, last] = toEnglish.equal_range(word);
        for (auto it = first; it != last; ++it) found = found || quotedEnglish.count(it->second);
        EXPECT_TRUE(found) << "\"" << word.toStdString() << "\" has no counterpart in the English guide";
    }
}
