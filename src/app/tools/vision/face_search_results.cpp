#include "app/tools/vision/face_search_results.hpp"

#include <algorithm>

#include "system/utf8.hpp"

namespace lumenary::app {

namespace {

namespace vision = platform::vision;

PlainValue faceBoundingBoxValue(const vision::NormalizedRect& box) {
    return PlainDictionary{{"x", box.x}, {"y", box.y}, {"width", box.width}, {"height", box.height}};
}

// As a file URL names its last component: trailing slashes do not count.
std::string lastPathComponent(const std::string& path) {
    const auto end = path.find_last_not_of('/');
    if (end == std::string::npos) {
        return path.empty() ? path : "/";
    }
    const auto slash = path.rfind('/', end);
    return path.substr(slash == std::string::npos ? 0 : slash + 1, end - (slash == std::string::npos ? 0 : slash + 1) + 1);
}

}  // namespace

std::optional<double> faceSimilarity(const vision::FaceFeaturePrint& face, const vision::FaceFeaturePrint& target) {
    const auto distance = vision::faceFeatureDistance(face, target);
    if (!distance) {
        return std::nullopt;
    }
    return 1.0 - *distance;
}

ToolOutcome<PlainDictionary> imageFaceSearchResult(const std::string& imagePath,
                                                   const std::vector<vision::FaceFeature>& faces,
                                                   const vision::FaceFeaturePrint& target, double threshold) {
    const auto filename = system::repairUTF8(lastPathComponent(imagePath));
    PlainList matches;
    for (const auto& face : faces) {
        const auto similarity = faceSimilarity(face.print, target);
        if (!similarity) {
            return ToolError("VisionService", 500, "Failed to compare the face feature prints of " + filename);
        }
        if (*similarity >= threshold) {
            matches.push_back(PlainDictionary{{"filename", filename},
                                              {"similarity", *similarity},
                                              {"bounding_box", faceBoundingBoxValue(face.boundingBox)}});
        }
    }
    const auto totalMatches = matches.size();
    return PlainDictionary{{"search_type", "image"},
                           {"image_path", system::repairUTF8(imagePath)},
                           {"matches", std::move(matches)},
                           {"summary", PlainDictionary{{"total_matches", totalMatches}, {"found", totalMatches != 0}}}};
}

FolderFileOutcome bestFaceMatch(const std::string& filename,
                                const platform::PlatformOutcome<std::vector<vision::FaceFeature>>& faces,
                                const vision::FaceFeaturePrint& target, double threshold) {
    if (!faces) {
        return {};
    }
    FolderFileOutcome outcome;
    outcome.faceCount = static_cast<std::int64_t>(faces.value().size());
    double best = 0.0;
    for (const auto& face : faces.value()) {
        const auto similarity = faceSimilarity(face.print, target);
        if (similarity && *similarity >= threshold && *similarity > best) {
            best = *similarity;
            outcome.match = FolderFileOutcome::Match{filename, *similarity};
        }
    }
    return outcome;
}

PlainDictionary folderFaceSearchResult(const std::string& folderPath, const std::vector<FolderFileOutcome>& outcomes,
                                       std::int64_t totalScanned) {
    std::vector<FolderFileOutcome::Match> found;
    std::int64_t totalFaces = 0;
    for (const auto& outcome : outcomes) {
        if (outcome.match) {
            found.push_back(*outcome.match);
        }
        totalFaces += outcome.faceCount;
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& first, const auto& second) { return first.similarity > second.similarity; });
    PlainList matches;
    for (const auto& match : found) {
        matches.push_back(
            PlainDictionary{{"filename", system::repairUTF8(match.filename)}, {"similarity", match.similarity}});
    }
    const auto totalMatches = matches.size();
    return PlainDictionary{{"search_type", "folder"},
                           {"folder_path", system::repairUTF8(folderPath)},
                           {"matches", std::move(matches)},
                           {"summary", PlainDictionary{{"total_matches", totalMatches},
                                                       {"total_scanned", totalScanned},
                                                       {"total_faces_detected_in_folder", totalFaces}}}};
}

}  // namespace lumenary::app
