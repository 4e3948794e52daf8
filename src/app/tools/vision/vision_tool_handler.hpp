#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/tools/tool_category.hpp"
#include "app/tools/vision/vision_service.hpp"

namespace lumenary::app {

// The vision category: nine tools that analyse image files (text, barcodes,
// animals, body and hand poses, saliency, comparison of two images) and,
// later, videos and faces. Arguments of the wrong kind count as missing
// ("VisionTool" 400, checked before any file is touched); every path has a
// leading tilde expanded. The answer is the analysis's result as JSON,
// indented, keys sorted, slashes escaped; a result JSON cannot carry is
// "VisionService" 500.
class VisionToolHandler final : public ToolCategory {
public:
    explicit VisionToolHandler(std::shared_ptr<VisionService> service);

    std::vector<MCPTool> tools() const override;
    asio::awaitable<ToolOutcome<std::string>> handle(std::string name, PlainDictionary arguments) override;

private:
    asio::awaitable<ToolOutcome<PlainDictionary>> analysis(const std::string& name, const PlainDictionary& arguments);
    asio::awaitable<ToolOutcome<PlainDictionary>> imageAnalysis(const std::string& name, const std::string& imagePath,
                                                                const PlainDictionary& arguments);

    std::shared_ptr<VisionService> service_;
};

}  // namespace lumenary::app
