#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QFont>
#include <QFontInfo>
#include <QRawFont>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QRegularExpression>

#include "app/ui/panel_qml_engine.hpp"
#include "app/ui/permissions_content_view_model.hpp"
#include "app/ui/qml_warning_log.hpp"
#include "platform/program/updater.hpp"

namespace lumenary::app::ui {
namespace {

using testing::QmlWarningLog;

// The family every panel text names, read from the token singleton so that
// the test checks what the QML uses.
QString panelFontFamily() {
    QQmlEngine engine;
    preparePanelEngine(engine);
    QQmlComponent component(&engine);
    component.setData("import QtQml\nimport Lumenary.Ui\nQtObject { property string family: Tokens.fontFamily }",
                      QUrl(QStringLiteral("qrc:/lumenary_tests/font_family.qml")));
    std::unique_ptr<QObject> probe(component.create());
    EXPECT_NE(probe, nullptr) << "status " << component.status() << ": " << component.errorString().toStdString();
    return probe ? probe->property("family").toString() : QString();
}

struct QmlText {
    QString file;
    QString text;
};

// Every quoted text with a character beyond ASCII in the module's QML files.
std::vector<QmlText> chineseTextsOfTheQmlFiles() {
    static const QRegularExpression quoted(QString::fromUtf8(R"re("((?:[^"\\\n]|\\.)*)")re"));
    std::vector<QmlText> texts;
    QDirIterator files(QStringLiteral(":/"), {QStringLiteral("*.qml")}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        if (!path.contains(QStringLiteral("Lumenary/Ui/"))) {
            continue;
        }
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        const QString source = QString::fromUtf8(file.readAll());
        for (const QRegularExpressionMatch& match : quoted.globalMatch(source)) {
            const QString text = match.captured(1);
            const bool beyondAscii = std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() > 0x7f; });
            if (beyondAscii) {
                texts.push_back({path, text});
            }
        }
    }
    return texts;
}

TEST(PanelFontTest, ThePanelFamilyResolvesToTheInstalledNotoFaceInBothWeights) {
    const QmlWarningLog log;
    const QString family = panelFontFamily();
    ASSERT_EQ(family.toStdString(), "Noto Sans CJK SC");

    // A missing family falls back silently to another face, which a pixel
    // count alone cannot tell from the real one.
    QFont regular(family);
    EXPECT_EQ(QFontInfo(regular).family().toStdString(), family.toStdString());
    QFont bold(family);
    bold.setWeight(QFont::Bold);
    const QFontInfo boldInfo(bold);
    EXPECT_EQ(boldInfo.family().toStdString(), family.toStdString());
    EXPECT_GE(boldInfo.weight(), static_cast<int>(QFont::Bold));
    EXPECT_TRUE(log.warnings().isEmpty()) << log.warnings().join('\n').toStdString();
}

TEST(PanelFontTest, EveryChineseTextOfTheQmlFilesHasItsGlyphsInThePanelFont) {
    const QString family = panelFontFamily();
    const std::vector<QmlText> texts = chineseTextsOfTheQmlFiles();
    // The pages' fixed texts at least: a scan that finds nothing proves nothing.
    ASSERT_GE(texts.size(), 15u);
    const bool hasNote = std::any_of(texts.begin(), texts.end(), [](const QmlText& entry) {
        return entry.text == QStringLiteral("调整开关后，部分 ai 客户端需要重新链接下服务才会生效");
    });
    EXPECT_TRUE(hasNote);

    for (const QFont::Weight weight : {QFont::Normal, QFont::Bold}) {
        QFont font(family);
        font.setWeight(weight);
        ASSERT_EQ(QFontInfo(font).family().toStdString(), family.toStdString());
        // The face itself, without the fallback faces that QFontMetrics
        // would also ask.
        const QRawFont face = QRawFont::fromFont(font);
        ASSERT_EQ(face.familyName().toStdString(), family.toStdString());
        for (const QmlText& entry : texts) {
            for (const char32_t character : entry.text.toUcs4()) {
                EXPECT_TRUE(face.supportsCharacter(character))
                    << "U+" << std::hex << static_cast<unsigned>(character) << " of \"" << entry.text.toStdString()
                    << "\" in " << entry.file.toStdString() << " (weight " << std::dec << weight << ")";
            }
        }
    }
}

TEST(PanelFontTest, EveryChineseTextMadeInCodeHasItsGlyphsInThePanelFontOrTheSymbolFace) {
    const QString family = panelFontFamily();
    const QStringList texts{PermissionsContentViewModel::statusText(PermissionStatus::granted),
                            PermissionsContentViewModel::statusText(PermissionStatus::denied),
                            PermissionsContentViewModel::statusText(PermissionStatus::notDetermined),
                            QString::fromStdString(platform::Updater().checkForUpdatesMessage())};
    const QRawFont face = QRawFont::fromFont(QFont(family));
    ASSERT_EQ(face.familyName().toStdString(), family.toStdString());
    // The status marks are not in the CJK face; the desktop falls back to
    // the one installed face that has them.
    const QRawFont symbols = QRawFont::fromFont(QFont(QStringLiteral("Symbola")));
    ASSERT_EQ(symbols.familyName().toStdString(), "Symbola");
    for (const QString& text : texts) {
        for (const char32_t character : text.toUcs4()) {
            EXPECT_TRUE(face.supportsCharacter(character) || symbols.supportsCharacter(character))
                << "U+" << std::hex << static_cast<unsigned>(character) << " of \"" << text.toStdString() << "\"";
        }
    }
}

}  // namespace
}  // namespace lumenary::app::ui
