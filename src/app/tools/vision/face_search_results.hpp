#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/tools/plain_value.hpp"
#include "app/tools/tool_outcome.hpp"
#include "platform/platform_error.hpp"
#include "platform/vision/vision_observations.hpp"

// The answers of the face search in one image and in a folder, built from
// the faces the analyzer found. A face matches when its similarity to the
// target (1 - distance) is at least the threshold; a similarity that is not
// a number never matches. File names that are not UTF-8 are repaired.
namespace lumenary::app {

// Absent when the two prints cannot be compared.
std::optional<double> faceSimilarity(const platform::vision::FaceFeaturePrint& face,
                                     const platform::vision::FaceFeaturePrint& target);

// {"search_type": "image", "image_path", "matches": [{"filename",
// "similarity", "bounding_box"}] in face order, "summary": {"total_matches",
// "found"}}. A face that cannot be compared fails the whole search.
ToolOutcome<PlainDictionary> imageFaceSearchResult(const std::string& imagePath,
                                                   const std::vector<platform::vision::FaceFeature>& faces,
                                                   const platform::vision::FaceFeaturePrint& target, double threshold);

// What one file of a folder gave: its best match, if any, and how many
// faces it showed (those below the threshold too).
struct FolderFileOutcome {
    struct Match {
        std::string filename;
        double similarity = 0;
    };
    std::optional<Match> match;
    std::int64_t faceCount = 0;
};

// The file's best face: it must reach the threshold and beat 0 and every
// earlier face strictly, so a tie keeps the first and a similarity of 0 or
// less never matches. A file that failed to load or analyse, or a face that
// cannot be compared, counts as nothing.
FolderFileOutcome bestFaceMatch(const std::string& filename,
                                const platform::PlatformOutcome<std::vector<platform::vision::FaceFeature>>& faces,
                                const platform::vision::FaceFeaturePrint& target, double threshold);

// {"search_type": "folder", "folder_path", "matches": [{"filename",
// "similarity"}], "summary": {"total_matches", "total_scanned",
// "total_faces_detected_in_folder"}}: the matches most similar first, ties
// in the order the outcomes came.
PlainDictionary folderFaceSearchResult(const std::string& folderPath, const std::vector<FolderFileOutcome>& outcomes,
                                       std::int64_t totalScanned);

}  // namespace lumenary::app
