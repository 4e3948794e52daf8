#include "app/tools/vision/vision_service.hpp"

#include <filesystem>
#include <system_error>

#include "app/tools/vision/face_search_results.hpp"
#include "app/tools/vision/face_video_search.hpp"
#include "app/tools/vision/face_search_type.hpp"
#include "async/worker_pool.hpp"

namespace lumenary::app {

namespace {

namespace vision = platform::vision;

ToolError passedOnFaceSearchError(const platform::PlatformError& error) {
    return ToolError(error.domain, error.code, error.description);
}

ToolError listingFailure(const std::string& folderPath, const std::error_code& error) {
    const auto code = error == std::errc::no_such_file_or_directory ? 404 : error == std::errc::not_a_directory ? 400 : 500;
    return ToolError("VisionService", code, "Failed to list folder at path: " + folderPath + " (" + error.message() + ")");
}

// The names in the folder, not its subfolders', with an image extension
// (a subfolder so named too: it fails when loaded, and still counts).
ToolOutcome<std::vector<std::string>> imageFileNamesIn(const std::string& folderPath) {
    std::error_code error;
    std::filesystem::directory_iterator entries(folderPath, error);
    std::vector<std::string> names;
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        auto name = entries->path().filename().string();
        if (hasImageFileExtension(name)) {
            names.push_back(std::move(name));
        }
    }
    if (error) {
        return listingFailure(folderPath, error);
    }
    return names;
}

std::string appendingPathComponent(const std::string& folderPath, const std::string& name) {
    if (folderPath.empty()) {
        return name;
    }
    return folderPath.back() == '/' ? folderPath + name : folderPath + "/" + name;
}

}  // namespace

asio::awaitable<ToolOutcome<PlainDictionary>> VisionService::searchFace(FaceSearchArguments arguments) {
    auto work = [analyzer = analyzer_, path = arguments.targetFacePath] { return analyzer->faceFeaturePrint(path); };
    auto targetPrint = co_await async::runBlockingOn(requestThread_, std::move(work));
    if (!targetPrint) {
        co_return passedOnFaceSearchError(targetPrint.error());
    }
    if (!targetPrint.value()) {
        co_return ToolError("VisionService", 404, "No face detected in target image");
    }
    auto target = std::move(*targetPrint.value());
    const auto searchType = detectSearchType(arguments.searchPath, arguments.searchType);
    if (searchType == "video") {
        co_return co_await searchFaceInVideo(std::move(target), std::move(arguments.searchPath),
                                             arguments.similarityThreshold, arguments.sampleInterval);
    }
    if (searchType == "folder") {
        co_return co_await searchFaceInFolder(std::move(target), std::move(arguments.searchPath),
                                              arguments.similarityThreshold);
    }
    if (searchType == "image") {
        co_return co_await searchFaceInImage(std::move(target), std::move(arguments.searchPath),
                                             arguments.similarityThreshold);
    }
    co_return ToolError("VisionService", 400, "Invalid search type");
}

asio::awaitable<ToolOutcome<PlainDictionary>> VisionService::searchFaceInVideo(vision::FaceFeaturePrint target,
                                                                               std::string videoPath, double threshold,
                                                                               std::int64_t sampleInterval) {
    auto work = [analyzer = analyzer_, target = std::move(target), videoPath = std::move(videoPath), threshold,
                 sampleInterval] {
        return searchedFaceInVideo(*analyzer, target, videoPath, threshold, sampleInterval);
    };
    co_return co_await async::runBlockingOn(requestThread_, std::move(work));
}

asio::awaitable<ToolOutcome<PlainDictionary>> VisionService::searchFaceInImage(vision::FaceFeaturePrint target,
                                                                               std::string imagePath,
                                                                               double threshold) {
    auto work = [analyzer = analyzer_, imagePath] { return analyzer->allFaceFeatures(imagePath); };
    auto faces = co_await async::runBlockingOn(requestThread_, std::move(work));
    if (!faces) {
        co_return passedOnFaceSearchError(faces.error());
    }
    co_return imageFaceSearchResult(imagePath, faces.value(), target, threshold);
}

asio::awaitable<ToolOutcome<PlainDictionary>> VisionService::searchFaceInFolder(vision::FaceFeaturePrint target,
                                                                                std::string folderPath,
                                                                                double threshold) {
    auto work = [analyzer = analyzer_, target = std::move(target), folderPath = std::move(folderPath),
                 threshold]() -> ToolOutcome<PlainDictionary> {
        auto names = imageFileNamesIn(folderPath);
        if (!names) {
            return names.error();
        }
        std::vector<std::string> paths;
        for (const auto& name : names.value()) {
            paths.push_back(appendingPathComponent(folderPath, name));
        }
        // In the order the images finish; the result sorts them.
        std::vector<FolderFileOutcome> outcomes;
        analyzer->allFaceFeaturesOfEach(
            paths, [&](std::size_t index, platform::PlatformOutcome<std::vector<vision::FaceFeature>> faces) {
                outcomes.push_back(bestFaceMatch(names.value().at(index), faces, target, threshold));
            });
        return folderFaceSearchResult(folderPath, outcomes, static_cast<std::int64_t>(names.value().size()));
    };
    co_return co_await async::runBlockingOn(requestThread_, std::move(work));
}

}  // namespace lumenary::app
