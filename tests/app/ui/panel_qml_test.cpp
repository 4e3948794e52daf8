#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

#include <QFontInfo>
#include <QRawFont>

#include "app/ui/panel_qml_fixture.hpp"

namespace lumenary::app::ui::testing {
namespace {

const QStringList categoryNames{"日历", "提醒事项", "通讯录", "信息", "邮件",
                                "备忘录", "音乐", "地图", "macOS Control", "视觉识别"};

std::size_t toolListLength(const PanelModels& models, int row) {
    const auto kind = ToolCategoriesViewModel::kindAt(row);
    return const_cast<PanelModels&>(models).bridge().snapshot().categoryTools->at(static_cast<std::size_t>(kind)).size();
}

// The entry of the tools page or the section of the records page that
// shows `name`.
QQuickItem* entryShowing(QQuickItem* root, const QString& entryName, const QString& labelName, const QString& name) {
    for (QQuickItem* entry : shownItemsNamed(root, entryName)) {
        const QStringList labels = textsOf(shownItemsNamed(entry, labelName));
        if (labels.contains(name)) {
            return entry;
        }
    }
    ADD_FAILURE() << "no shown " << entryName.toStdString() << " for " << name.toStdString();
    return nullptr;
}

TEST_F(PanelQmlTest, AFreshPanelShowsTheLogoTheStoppedBadgeAndTheMainPage) {
    EXPECT_EQ(root()->width(), 400);
    EXPECT_NE(shown("logo"), nullptr);
    EXPECT_TRUE(shownItemsNamed(root(), "backButton").empty());
    EXPECT_EQ(shownTexts("badgeText"), QStringList{"已关闭"});
    EXPECT_NE(shown("mainPage"), nullptr);
    for (const char* page : {"toolsPage", "settingsPage", "recordsPage"}) {
        EXPECT_TRUE(shownItemsNamed(root(), page).empty()) << page;
    }
    EXPECT_EQ(shownTexts("tileLabel"), (QStringList{"已启用工具", "调用次数"}));
    EXPECT_EQ(shownTexts("tileFigure"), (QStringList{QString::number(models.serviceCard()->enabledToolCount()),
                                                     QString::number(models.serviceCard()->toolCallCount())}));
    EXPECT_EQ(shownTexts("menuRowTitle"), (QStringList{"工具列表", "设置"}));
    EXPECT_TRUE(shownItemsNamed(root(), "endpointList").empty());
}

TEST_F(PanelQmlTest, EachPageOpensFromTheMainPageUnderItsBackButtonAndTheBackButtonReturns) {
    struct Case {
        const char* opener;
        const char* title;
        const char* page;
    };
    for (const Case& entry : {Case{"toolsRow", "工具列表", "toolsPage"}, Case{"settingsRow", "设置", "settingsPage"},
                              Case{"callCountTile", "调用记录", "recordsPage"}}) {
        SCOPED_TRACE(entry.opener);
        scene->click(shown(entry.opener));
        EXPECT_EQ(shownTexts("headerTitle"), QStringList{entry.title});
        EXPECT_TRUE(shownItemsNamed(root(), "logo").empty());
        EXPECT_TRUE(shownItemsNamed(root(), "mainPage").empty());
        EXPECT_EQ(shownItemsNamed(root(), entry.page).size(), 1u);
        EXPECT_EQ(root()->width(), 400);
        EXPECT_EQ(scene->window().width(), 400);

        scene->click(shown("backButton"));
        EXPECT_NE(shown("mainPage"), nullptr);
        EXPECT_NE(shown("logo"), nullptr);
        EXPECT_TRUE(shownItemsNamed(root(), entry.page).empty());
    }
}

TEST_F(PanelQmlTest, TheRunningServiceShowsItsThreeEndpointRowsAndTheirCopyButtonsCopy) {
    scene->click(shown("serviceSwitch"));
    ASSERT_TRUE(waitUntil([this] { return !shownItemsNamed(root(), "endpointList").empty(); }));
    EXPECT_EQ(shownTexts("badgeText"), QStringList{"已开启"});
    const auto [mcpURL, sseURL, httpConfig] = harness.onCore([this] {
        return std::tuple{harness.manager->mcpURL(), harness.manager->sseURL(), harness.manager->httpConfigJSON()};
    });
    EXPECT_EQ(shownTexts("endpointContent"), (QStringList{QString::fromStdString(mcpURL), QString::fromStdString(sseURL),
                                                          "适用于仅支持命令模式的客户端"}));

    // The Stdio row offers the configuration only.
    QQuickItem* stdioRow = shown("stdioRow");
    ASSERT_NE(stdioRow, nullptr);
    EXPECT_FALSE(itemsNamed(stdioRow, "copyLinkButton").front()->isVisible());
    EXPECT_TRUE(itemsNamed(stdioRow, "copyJsonButton").front()->isVisible());

    // The buttons show while the pointer is over the row.
    QQuickItem* mcpRow = shown("mcpRow");
    ASSERT_NE(mcpRow, nullptr);
    // The rows slide in under the pointer left on the switch; a move away
    // settles where it is before the hover is checked.
    scene->hover(shown("logo"));
    EXPECT_TRUE(shownItemsNamed(mcpRow, "copyButtons").empty());
    scene->hover(mcpRow);
    ASSERT_NE(shownIn(mcpRow, "copyButtons"), nullptr);
    scene->click(shownIn(mcpRow, "copyLinkButton"));
    EXPECT_EQ(harness.pasted, QStringList{QString::fromStdString(mcpURL)});
    EXPECT_EQ(textsOf(shownItemsNamed(mcpRow, "copiedTip")), QStringList{"已复制"});
    EXPECT_TRUE(shownItemsNamed(mcpRow, "copyButtons").empty());

    // The SSE row's configuration is the one that names the /mcp address.
    QQuickItem* sseRow = shown("sseRow");
    scene->hover(sseRow);
    scene->click(shownIn(sseRow, "copyJsonButton"));
    EXPECT_EQ(harness.pasted.last(), QString::fromStdString(httpConfig));
    EXPECT_TRUE(harness.pasted.last().contains(QString::fromStdString(mcpURL)));

    scene->click(shown("serviceSwitch"));
    ASSERT_TRUE(waitUntil([this] { return shownItemsNamed(root(), "endpointList").empty(); }));
    EXPECT_EQ(shownTexts("badgeText"), QStringList{"已关闭"});
}

TEST_F(PanelQmlTest, AFailedStartShowsItsReasonUnderTheSwitch) {
    asio::io_context io;
    asio::ip::tcp::acceptor taken(io, {asio::ip::make_address("127.0.0.1"), 0});
    const auto port = taken.local_endpoint().port();
    harness.onCore([this, port] { harness.manager->setCustomPort(port); });
    EXPECT_TRUE(shownItemsNamed(root(), "serviceFailure").empty());
    scene->click(shown("serviceSwitch"));
    ASSERT_TRUE(waitUntil([this] { return !shownItemsNamed(root(), "serviceFailure").empty(); }));
    EXPECT_TRUE(shownTexts("serviceFailure").front().startsWith("启动失败："));
    EXPECT_TRUE(shownItemsNamed(root(), "endpointList").empty());
}

TEST_F(PanelQmlTest, TheToolsPageListsTheTenCategoriesWithTheLengthsOfTheirWholeLists) {
    scene->click(shown("toolsRow"));
    EXPECT_EQ(shownTexts("categoryName"), categoryNames);
    QStringList counts;
    for (int row = 0; row < categoryNames.size(); ++row) {
        counts << QStringLiteral("%1 个工具").arg(toolListLength(models, row));
    }
    EXPECT_EQ(shownTexts("categoryToolCount"), counts);
    // A divider under every row but the last; the note after a full one.
    const auto entries = shownItemsNamed(root(), "categoryEntry");
    ASSERT_EQ(entries.size(), 10u);
    for (std::size_t index = 0; index < entries.size(); ++index) {
        EXPECT_EQ(shownItemsNamed(entries[index], "categoryDivider").size(), index < 9 ? 1u : 0u) << index;
    }
    EXPECT_EQ(shownTexts("reconnectNote"), QStringList{"调整开关后，部分 ai 客户端需要重新链接下服务才会生效"});
    EXPECT_TRUE(shownItemsNamed(root(), "toolLine").empty());
}

TEST_F(PanelQmlTest, UnfoldingACategoryListsItsToolsAndUnfoldsItOnTheRecordsPageToo) {
    recordCalls("music_play", "音乐", 2);
    scene->click(shown("toolsRow"));
    QQuickItem* music = entryShowing(root(), "categoryEntry", "categoryName", "音乐");
    ASSERT_NE(music, nullptr);
    scene->click(shownIn(music, "categoryHeader"));
    const auto lines = shownItemsNamed(music, "toolLine");
    EXPECT_EQ(lines.size(), toolListLength(models, 6));
    for (QQuickItem* description : shownItemsNamed(music, "toolDescription")) {
        EXPECT_EQ(description->property("maximumLineCount").toInt(), 2);
    }

    scene->click(shown("backButton"));
    scene->click(shown("callCountTile"));
    QQuickItem* section = entryShowing(root(), "recordSection", "sectionCategory", "音乐");
    ASSERT_NE(section, nullptr);
    EXPECT_EQ(textsOf(shownItemsNamed(section, "recordToolName")), QStringList{"music_play"});
    EXPECT_NE(shownIn(section, "chevronUp"), nullptr);

    // Folding it here folds it on the tools page.
    scene->click(shownIn(section, "sectionHeader"));
    EXPECT_TRUE(shownItemsNamed(section, "recordRow").empty());
    EXPECT_NE(shownIn(section, "chevronDown"), nullptr);
    scene->click(shown("backButton"));
    scene->click(shown("toolsRow"));
    EXPECT_TRUE(shownItemsNamed(root(), "toolLine").empty());
}

TEST_F(PanelQmlTest, WithoutRecordsTheRecordsPageShowsOnlyTheEmptyState) {
    scene->click(shown("callCountTile"));
    QQuickItem* empty = shown("emptyRecords");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->height(), 200);
    EXPECT_EQ(textsOf(shownTextItems(shown("recordsPage"))), QStringList{"暂无调用记录"});
    EXPECT_TRUE(shownItemsNamed(root(), "recordSection").empty());
}

TEST_F(PanelQmlTest, RecordSectionsFollowTheServiceOrderAndAnUnknownCategoryShowsTheWrench) {
    recordCalls("calendar_list", "日历", 1);
    recordCalls("music_play", "音乐", 3);
    recordCalls("music_pause", "音乐", 1);
    recordCalls("legacy_tool", "旧工具", 2);
    scene->click(shown("callCountTile"));
    ASSERT_TRUE(waitUntil([this] { return shownItemsNamed(root(), "recordSection").size() == 3; }));
    EXPECT_EQ(shownTexts("sectionCategory"), (QStringList{"音乐", "旧工具", "日历"}));
    EXPECT_EQ(shownTexts("totalCount"), (QStringList{"4", "2", "1"}));
    EXPECT_EQ(shownTexts("sectionToolCount"), (QStringList{"2 个工具", "1 个工具", "1 个工具"}));
    QQuickItem* unknown = entryShowing(root(), "recordSection", "sectionCategory", "旧工具");
    ASSERT_NE(unknown, nullptr);
    EXPECT_NE(shownIn(unknown, "wrenchIcon"), nullptr);
    EXPECT_TRUE(shownItemsNamed(unknown, "categoryImage").empty());

    QQuickItem* music = entryShowing(root(), "recordSection", "sectionCategory", "音乐");
    scene->click(shownIn(music, "sectionHeader"));
    EXPECT_EQ(textsOf(shownItemsNamed(music, "recordToolName")), (QStringList{"music_play", "music_pause"}));
    EXPECT_EQ(textsOf(shownItemsNamed(music, "recordCallCount")), (QStringList{"3", "1"}));
}

TEST_F(PanelQmlTest, ARefusedPermissionOpensTheAlertWithTheProbeHint) {
    struct Case {
        const char* name;
        std::optional<std::string> settingsLocation;
        bool closeByBackdrop;
    };
    const std::string hint = "日历文件夹不可读写：请检查它的权限。";
    permissions.setStatus(PermissionCategory::Kind::calendar, PermissionStatus::denied);
    scene->click(shown("toolsRow"));
    for (const Case& entry : {Case{"with a place to open", "/home/user/.local/share/calendars", false},
                              Case{"with nothing to open", std::nullopt, true}}) {
        SCOPED_TRACE(entry.name);
        permissions.setGuidance(PermissionCategory::Kind::calendar, {hint, entry.settingsLocation, std::nullopt});
        const auto openedBefore = permissions.opened().size();
        QQuickItem* calendar = entryShowing(root(), "categoryEntry", "categoryName", "日历");
        scene->click(shownIn(calendar, "categorySwitch"));
        ASSERT_TRUE(waitUntil([this] { return !shownItemsNamed(root(), "permissionAlert").empty(); }));
        EXPECT_EQ(shownTexts("alertTitle"), QStringList{"权限被拒绝"});
        EXPECT_TRUE(shownTexts("alertMessage").front().endsWith(QString::fromStdString(hint)));
        EXPECT_TRUE(shownTexts("alertMessage").front().startsWith("无法开启日历工具"));
        EXPECT_EQ(shownItemsNamed(root(), "openSettingsButton").size(), entry.settingsLocation ? 1u : 0u);

        if (entry.closeByBackdrop) {
            scene->clickAt({8, 8});
            harness.settleProbes();
            EXPECT_EQ(permissions.opened().size(), openedBefore);
        } else {
            scene->click(shown("openSettingsButton"));
            ASSERT_TRUE(waitUntil([&] { return permissions.opened().size() == openedBefore + 1; }));
            EXPECT_EQ(permissions.opened().back().kind, PermissionCategory::Kind::calendar);
        }
        EXPECT_TRUE(shownItemsNamed(root(), "permissionAlert").empty());
        EXPECT_FALSE(models.toolCategories()->data(models.toolCategories()->index(0), ToolCategoriesViewModel::IsEnabledRole).toBool());
    }
}

TEST_F(PanelQmlTest, TheCopyToastDrawsAboveAnOpenAlert) {
    permissions.setStatus(PermissionCategory::Kind::calendar, PermissionStatus::denied);
    scene->click(shown("toolsRow"));
    scene->click(shownIn(entryShowing(root(), "categoryEntry", "categoryName", "日历"), "categorySwitch"));
    ASSERT_TRUE(waitUntil([this] { return !shownItemsNamed(root(), "permissionAlert").empty(); }));
    models.panel()->setShowCopySuccess(true);
    QQuickItem* toast = shown("copyToast");
    ASSERT_NE(toast, nullptr);
    // The toast's layer is drawn last, so at the toast's middle it is the topmost.
    const QList<QQuickItem*> layers = root()->childItems();
    EXPECT_GT(layers.indexOf(shown("copyToastLayer")), layers.indexOf(shown("permissionAlert")));
    const QPointF middle = toast->mapToItem(root(), QPointF(toast->width() / 2, toast->height() / 2));
    EXPECT_EQ(root()->childAt(middle.x(), middle.y()), shown("copyToastLayer"));
}

// A pixel count passes with empty boxes; the texts the view-models make
// (badge, counts, alert) are checked here in the face each item resolves,
// without the fallback faces that would hide a missing glyph.
TEST_F(PanelQmlTest, EveryShownTextIsDrawnInThePanelFamilyWithAllItsGlyphs) {
    recordCalls("music_play", "音乐", 1);
    permissions.setStatus(PermissionCategory::Kind::contacts, PermissionStatus::denied);
    permissions.setGuidance(PermissionCategory::Kind::contacts,
                            {"通讯录文件夹是一个文件：请把它换成文件夹。", "/tmp", std::nullopt});
    const auto checkShownTexts = [this](const char* state) {
        SCOPED_TRACE(state);
        const auto texts = shownTextItems(root());
        EXPECT_FALSE(texts.empty());
        for (QQuickItem* item : texts) {
            const QFont font = item->property("font").value<QFont>();
            const QString text = item->property("text").toString();
            EXPECT_EQ(QFontInfo(font).family().toStdString(), "Noto Sans CJK SC") << text.toStdString();
            const QRawFont face = QRawFont::fromFont(font);
            EXPECT_EQ(face.familyName().toStdString(), "Noto Sans CJK SC") << text.toStdString();
            for (const char32_t character : text.toUcs4()) {
                EXPECT_TRUE(face.supportsCharacter(character)) << text.toStdString();
            }
        }
    };
    checkShownTexts("main page");
    scene->click(shown("toolsRow"));
    scene->click(shownIn(entryShowing(root(), "categoryEntry", "categoryName", "音乐"), "categoryHeader"));
    checkShownTexts("tools page");
    scene->click(shownIn(entryShowing(root(), "categoryEntry", "categoryName", "通讯录"), "categorySwitch"));
    ASSERT_TRUE(waitUntil([this] { return !shownItemsNamed(root(), "permissionAlert").empty(); }));
    checkShownTexts("alert");
    scene->click(shown("cancelButton"));
    scene->click(shown("backButton"));
    scene->click(shown("callCountTile"));
    checkShownTexts("records page");
}

}  // namespace
}  // namespace lumenary::app::ui::testing
