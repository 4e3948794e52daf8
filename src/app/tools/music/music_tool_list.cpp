#include "app/tools/music/music_tool_handler.hpp"
#include "app/tools/tool_input_schema.hpp"

namespace lumenary::app {

std::vector<MCPTool> MusicToolHandler::tools() const {
    return {
        {.name = "music_play",
         .description = "Resume or start playing music.",
         .displayDescription = "恢复或开始播放音乐。",
         .inputSchema = objectSchema({}, {})},
        {.name = "music_pause",
         .description = "Pause music playback.",
         .displayDescription = "暂停播放音乐。",
         .inputSchema = objectSchema({}, {})},
        {.name = "music_next",
         .description = "Skip to the next track.",
         .displayDescription = "跳到下一首。",
         .inputSchema = objectSchema({}, {})},
        {.name = "music_prev",
         .description = "Return to the previous track.",
         .displayDescription = "返回上一首。",
         .inputSchema = objectSchema({}, {})},
        {.name = "music_set_volume",
         .description = "Set the playback volume (0-100).",
         .displayDescription = "设置音量 (0-100)。",
         .inputSchema = objectSchema({{"level", schemaProperty("integer", "Volume level (0-100)")}}, {"level"})},
        {.name = "music_get_current_track",
         .description = "Get information about the currently playing track.",
         .displayDescription = "获取当前播放的曲目信息。",
         .inputSchema = objectSchema({}, {})},
        {.name = "music_get_library_stats",
         .description = "Get music library statistics (count of tracks and playlists).",
         .displayDescription = "获取音乐库统计信息（曲目数量和播放列表数量）。",
         .inputSchema = objectSchema({}, {})},
        {.name = "music_list_playlists",
         .description = "List playlists in the user's music library.",
         .displayDescription = "列出用户音乐库中的播放列表。",
         .inputSchema = objectSchema(
             {{"limit", schemaProperty("integer", "Maximum number of results to return (default: 25)")}}, {})},
        {.name = "music_search",
         .description = "Search for songs in the music library.",
         .displayDescription = "在音乐库中搜索歌曲。",
         .inputSchema =
             objectSchema({{"query", schemaProperty("string", "Search keyword")},
                           {"limit", schemaProperty("integer", "Maximum number of results to return (default: 10)")}},
                          {"query"})},
        {.name = "music_play_song",
         .description = "Search for and play a specific song.",
         .displayDescription = "搜索并播放指定的歌曲。",
         .inputSchema = objectSchema({{"song", schemaProperty("string", "The name of the song to play")}}, {"song"})},
        {.name = "music_play_playlist",
         .description = "Play a specific playlist.",
         .displayDescription = "播放指定的播放列表。",
         .inputSchema =
             objectSchema({{"playlist", schemaProperty("string", "Playlist name")},
                           {"shuffle", schemaProperty("boolean", "Whether to shuffle playback (default: false)")}},
                          {"playlist"})},
    };
}

}  // namespace lumenary::app
